#include "serial/PosixErrors.h"

#include <cerrno>

#include "serial/VarnExceptions.h"

// The code keeps the system's number, and so the system's text ("Permission denied").
static_assert(kVarnNotPermitted == -EACCES);

int VarnCodeOfErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTTY:
        case EISDIR:
            return kVarnNotFound;
        case ENOTDIR:
            return kVarnPathNotFound;
        case EMFILE:
        case ENFILE:
            return kVarnTooManyFiles;
        case EBUSY:
            return kVarnAccessDenied;
        case EBADF:
            return kVarnBadHandle;
        case ENOMEM:
            return kVarnOutOfMemory;
        case EACCES:
        case EPERM:
            return kVarnNotPermitted;
        default:
            break;
    }
    return VarnTableNames(err) ? kVarnGeneralFailure : -err;
}

bool UnsupportedByDevice(int err) {
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}
