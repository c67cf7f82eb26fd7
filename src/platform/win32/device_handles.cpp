#include "device_handles.h"

#include "call_hooks.h"
#include "disk_registry.h"
#include "errno_error.h"
#include "host_root.h"
#include "mounts.h"
#include "volume_locks.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <unistd.h>

namespace win32 {

disk_handle::~disk_handle()
{
    if (fd >= 0)
        close(fd);
}

bool disk_handle::present(sysfs_disk& now) const
{
    return read_sysfs_disk(name, now) && now.identity == identity;
}

bool disk_handle::still_present()
{
    // An identity without diskseq is never one that diskseq_identity gives.
    if (state_known && diskseq_identity(state.device_path) == identity)
        return true;
    state_known = present(state);
    device_numbers = state_known ? device_numbers_of(state) : std::set<std::string>();
    return state_known;
}

bool disk_handle::in_use() const
{
    return read_mount_table().uses(device_numbers);
}

DWORD disk_handle::misaligned(const void* buffer, DWORD length) const
{
    const std::uint32_t sector = state.logical_block_size;
    if (length % sector != 0)
        return ERROR_INVALID_PARAMETER;
    if (unbuffered
        && (reinterpret_cast<std::uintptr_t>(buffer) % sector != 0 || position % sector != 0))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

DWORD disk_handle::transfer_refusal(const void* buffer, DWORD length, bool writing)
{
    if (!still_present())
        return ERROR_DEVICE_NOT_CONNECTED;
    if (state.size_bytes == 0)
        return ERROR_NOT_READY;
    if (writing && state.read_only)
        return ERROR_WRITE_PROTECT;
    return misaligned(buffer, length);
}

DWORD disk_handle::failure_of(int error) const
{
    sysfs_disk now;
    return present(now) ? error_from_errno(error) : ERROR_DEVICE_NOT_CONNECTED;
}

int disk_handle::read_descriptor()
{
    if (fd < 0)
        fd = open_node(O_RDONLY);
    return fd;
}

int disk_handle::open_node(int access)
{
    const int flags = access | O_DSYNC | O_CLOEXEC;
    if (unbuffered) {
        const bool refused = !hooks::before(hooks::call::direct_io, target).run;
        const int direct = refused ? -1 : open(node_path.c_str(), flags | O_DIRECT);
        if (direct >= 0 || (!refused && errno != EINVAL))
            return direct;
        through_page_cache = true;
    }
    return open(node_path.c_str(), flags);
}

BOOL run_transfer(HANDLE file, bool writing, const void* buffer, DWORD length, LPDWORD transferred,
                  const std::function<DWORD(disk_handle& disk, DWORD& moved)>& run)
{
    if (transferred)
        *transferred = 0;
    auto* disk = object_of<disk_handle>(file);
    if (!disk)
        return FALSE;
    DWORD moved = 0;
    DWORD error = ERROR_SUCCESS;
    if (!(writing ? disk->can_write : disk->can_read))
        error = ERROR_ACCESS_DENIED;
    else if (!buffer && length > 0)
        error = ERROR_INVALID_USER_BUFFER;
    else
        error = run(*disk, moved);
    disk->position += moved;
    if (transferred)
        *transferred = moved;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

volume_handle::~volume_handle()
{
    if (lock_fd >= 0)
        close(lock_fd);
    if (locked)
        release_volume_lock(block_device);
}

bool volume_handle::present() const
{
    sysfs_disk now;
    if (!read_sysfs_disk(disk_name, now) || now.identity != disk_identity)
        return false;
    if (partition_number == 0)
        return true;
    return std::any_of(now.partitions.begin(), now.partitions.end(),
                       [&](const sysfs_partition& partition) {
                           return partition.name == block_device;
                       });
}

} // namespace win32
