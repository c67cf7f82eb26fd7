#pragma once
// What the host has mounted and uses as swap, seen by block device: R/proc/self/mountinfo
// (each file system's device number) and R/proc/swaps.

#include <set>
#include <string>
#include <vector>

namespace win32 {

struct mount_entry {
    // The block device (as in R/sys/class/block) the file system is mounted from and, through
    // device-mapper and md, every one below it; empty for a source that is no block device.
    std::vector<std::string> block_devices;
    std::string mount_point;
};

struct mount_table {
    std::vector<mount_entry> mounts;
    // Block devices that hold a mounted file system or swap, with those below them.
    std::set<std::string> used_devices;
    // The part of used_devices that holds a system mount point or swap.
    std::set<std::string> system_devices;
};

mount_table read_mount_table();

// Takes every file system on `block_device` away: umount on the real host, the lines of the
// mount tables in a fake root. A device that holds a system mount point or swap is refused
// with ERROR_ACCESS_DENIED and left alone. Returns 0 or a Windows error code.
unsigned long unmount_block_device(const std::string& block_device);

} // namespace win32
