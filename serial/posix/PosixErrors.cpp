#include "posix/PosixErrors.h"

#include "ComErrorCodes.h"

#include <cerrno>

namespace serial {

std::uint32_t ErrnoToSystemError(int errnoValue) {
    switch (errnoValue) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ENOTTY:
        return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG:
    case EILSEQ:
        return ERROR_INVALID_NAME;
    case EIO:
    case EPIPE:
    case ESHUTDOWN:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ECANCELED:
        return ERROR_OPERATION_ABORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace serial
