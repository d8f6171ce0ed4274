#pragma once
// The UUCP lock file of a serial device, the claim that terminal programs which use
// neither flock nor TIOCEXCL look for: /var/lock/LCK..<device path below /dev, "/" as
// "_"> holding the owner's PID (ten characters right-aligned, then a newline). The
// path is the device's real one, so that a link in /dev/serial/by-id and a program
// using /dev/ttyUSB0 meet in one file.
#include <string>

class TUucpLock {
public:
    TUucpLock() = default;
    ~TUucpLock();  // gives up our claim
    TUucpLock(const TUucpLock&) = delete;
    TUucpLock& operator=(const TUucpLock&) = delete;

    // The lock file that claims devicePath, or "" when it has none (not a path below
    // /dev, no lock directory).
    static std::string FileOf(const std::string& devicePath);
    // The PID of the live process that a lock file for devicePath names, or 0. Looks
    // only: a stale file stays where it is.
    static long Holder(const std::string& devicePath);

    // Claims devicePath for this process. A stale file is removed first. Gives false,
    // and claims nothing, when a live process holds it. Where no lock file can be
    // written (no lock directory, or one this user may not write) the claim is made
    // without one.
    bool Claim(const std::string& devicePath);
    // Removes our lock file, if we wrote one.
    void Release();

private:
    std::string file_;  // ours, "" when none
};
