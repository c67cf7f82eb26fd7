#include "device_handles.h"

#include "volume_locks.h"

#include <algorithm>

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
