#include "serial/PosixErrors.h"

#include <cerrno>

#include "serial/VarnExceptions.h"

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
        case EPERM:
            return -EACCES;
        default:
            break;
    }
    return VarnTableNames(err) ? kVarnGeneralFailure : -err;
}

bool UnsupportedByDevice(int err) {
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}
