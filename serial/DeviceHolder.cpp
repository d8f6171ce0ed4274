#include "serial/DeviceHolder.h"

std::string HolderWords(const TDeviceHolder& holder) {
    const std::string pid = "PID " + std::to_string(holder.pid);
    switch (holder.kind) {
        case TDeviceHolder::Process:
            return holder.program.empty() ? pid : holder.program + " (" + pid + ")";
        case TDeviceHolder::LockBeingWritten:
            return "another program (its lock file " + holder.lockFile +
                   " was made just now, its PID not yet in it)";
        case TDeviceHolder::LockUnreadable:
            return "another program (its lock file " + holder.lockFile + " you may not read)";
        case TDeviceHolder::LockNotAFile:
            return "another program (" + holder.lockFile + " stands in place of a lock file)";
        case TDeviceHolder::Unknown:
            break;
    }
    return "another program";
}
