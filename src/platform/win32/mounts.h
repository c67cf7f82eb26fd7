#pragma once
// The host's mount table, R/proc/self/mounts, seen by block device.

#include <string>
#include <vector>

namespace win32 {

struct mount_entry {
    // The block device (partition or disk name, as in R/sys/block) the file system is on;
    // empty for a source that is no block device of the host.
    std::string block_device;
    std::string mount_point;
};

std::vector<mount_entry> read_mounts();

// Takes every file system on `block_device` away: umount on the real host, the lines of the
// mount table in a fake root. Returns 0 or a Windows error code.
unsigned long unmount_block_device(const std::string& block_device);

} // namespace win32
