#include "errno_error.h"

#include <cerrno>

namespace win32 {

DWORD error_from_errno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EPERM:
    case EACCES:
        return ERROR_ACCESS_DENIED;
    case EBUSY:
        return ERROR_BUSY;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    case ENXIO:
    case ENODEV:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ENOSPC:
        return ERROR_SECTOR_NOT_FOUND;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOTTY:
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_IO_DEVICE;
    }
}

} // namespace win32
