#pragma once
// Who keeps a device from us, as far as the system tells, and the words for it that
// the scan and the port check both use.
#include <string>

struct TDeviceHolder {
    enum TKind {
        Unknown,           // held, but the system does not say by whom
        Process,           // a running process: pid, and its name where it may be seen
        LockBeingWritten,  // a lock file made moments ago, its PID not in it yet
        LockUnreadable,    // a lock file this user may not read
        LockNotAFile,      // something other than a file under the lock file's name
    };
    TKind kind = Unknown;
    long pid = 0;
    std::string program;   // "" when it may not be seen
    std::string lockFile;  // the lock file it holds the device by; "" for none
};

// "minicom (PID 4711)", "PID 4711" (its name hidden), "another program", or what its
// lock file says.
std::string HolderWords(const TDeviceHolder& holder);
