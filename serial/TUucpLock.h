#pragma once
// The UUCP lock file of a serial device, the claim that terminal programs which use
// neither flock nor TIOCEXCL look for: LCK..<device path below /dev, "/" as "_"> in the
// lock directory, holding the owner's PID (ten characters right-aligned, then a
// newline). The path is the device's real one, so that a link in /dev/serial/by-id and
// a program using /dev/ttyUSB0 meet in one file. POSIX only.
#include <string>

// Who a lock file says holds a device.
struct TLockHolder {
    enum TKind {
        None,          // no lock file, or a stale one
        Process,       // a live process: pid
        BeingWritten,  // no PID in it yet, and made moments ago: its locker is writing it
        Unreadable,    // a file this user may not read
        NotAFile,      // a FIFO, a device or a folder under the lock name: nobody's to judge
    };
    TKind kind = None;
    long pid = 0;
    std::string file;  // the lock file ("" when the device can have none)

    bool Held() const { return kind != None; }
};

class TUucpLock {
public:
    // The lock directory that other programs use, or "" when this system has none.
    static std::string SystemDirectory();

    // Lock files in directory; "" reads none and makes every claim without one.
    explicit TUucpLock(std::string directory);
    ~TUucpLock();  // gives up our claim
    TUucpLock(const TUucpLock&) = delete;
    TUucpLock& operator=(const TUucpLock&) = delete;

    // Who holds devicePath by its lock file. Looks only: a stale file stays.
    TLockHolder Holder(const std::string& devicePath) const;

    // Claims devicePath for this process: of any number of claimers at once, one wins.
    // A stale file is removed first. Gives false, and claims nothing, when the device
    // is held. Where no lock file can be written (a lock directory this user may not
    // write, a stale file this user may not remove) the claim is made without one.
    bool Claim(const std::string& devicePath);
    // Removes our lock file, but only while it is still the very file we made.
    void Release();

private:
    // The lock file that claims devicePath, or "" when it can have none (not a path
    // below /dev, no lock directory).
    std::string FileOf(const std::string& devicePath) const;

    std::string dir_;
    std::string file_;  // ours, "" when none
    unsigned long long device_ = 0, inode_ = 0;
};
