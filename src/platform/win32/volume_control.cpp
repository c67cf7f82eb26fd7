// The control codes a volume handle answers. A lock is an exclusive open of the partition on
// the real host and a mark of this process in a fake root; a dismount unmounts every mount
// point of the partition (in a fake root: takes them out of R/proc/self/mounts).

#include "control_requests.h"
#include "errno_error.h"
#include "host_root.h"
#include "hooked_call.h"
#include "mounts.h"
#include "volume_locks.h"

#include <winioctl.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace win32 {
namespace {

using hooks::call;

DWORD lock(volume_handle& volume)
{
    if (volume.locked)
        return ERROR_SUCCESS;
    if (!volume.present())
        return ERROR_DEVICE_NOT_CONNECTED;
    if (!take_volume_lock(volume.block_device))
        return ERROR_ACCESS_DENIED;
    if (host_is_real()) {
        volume.lock_fd = open(volume.node_path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
        if (volume.lock_fd < 0) {
            DWORD error = errno == EBUSY ? ERROR_ACCESS_DENIED : error_from_errno(errno);
            release_volume_lock(volume.block_device);
            return error;
        }
    }
    volume.locked = true;
    return ERROR_SUCCESS;
}

DWORD unlock(volume_handle& volume)
{
    if (!volume.locked)
        return ERROR_NOT_LOCKED;
    if (volume.lock_fd >= 0)
        close(volume.lock_fd);
    volume.lock_fd = -1;
    volume.locked = false;
    release_volume_lock(volume.block_device);
    return ERROR_SUCCESS;
}

DWORD dismount(volume_handle& volume)
{
    if (!volume.present())
        return ERROR_DEVICE_NOT_CONNECTED;
    DWORD error = unmount_block_device(volume.block_device);
    // Once nothing is mounted the lock can be taken, and it keeps automounters away.
    if (!error && !volume.locked)
        lock(volume);
    return error;
}

DWORD hooked(call what, volume_handle& volume, DWORD (*run)(volume_handle&))
{
    return run_hooked(what, volume.target, [&] { return run(volume); });
}

} // namespace

DWORD volume_control(volume_handle& volume, control_request& request)
{
    switch (request.code) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
        if (!volume.present())
            return ERROR_DEVICE_NOT_CONNECTED;
        if (!request.out_buffer || request.out_size < sizeof(STORAGE_DEVICE_NUMBER))
            return ERROR_INSUFFICIENT_BUFFER;
        STORAGE_DEVICE_NUMBER number = {FILE_DEVICE_DISK, volume.disk_number,
                                        volume.partition_number};
        std::memcpy(request.out_buffer, &number, sizeof number);
        request.returned = sizeof number;
        return ERROR_SUCCESS;
    }
    case FSCTL_LOCK_VOLUME:
        return hooked(call::lock, volume, lock);
    case FSCTL_DISMOUNT_VOLUME:
        return hooked(call::dismount, volume, dismount);
    case FSCTL_UNLOCK_VOLUME:
        return unlock(volume);
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

} // namespace win32
