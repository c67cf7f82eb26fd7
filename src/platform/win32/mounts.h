#pragma once
// What the host has mounted and uses as swap, by device number: R/proc/self/mountinfo and
// R/proc/swaps.

#include <set>
#include <string>
#include <vector>

namespace win32 {

struct mount_entry {
    // mountinfo's device number; for a file system without a device of its own (btrfs shows
    // 0:N), that of the node it was mounted from.
    std::string device_number;
    std::string mount_point;
};

struct mount_table {
    std::vector<mount_entry> mounts;
    // The device numbers of the block devices in use as swap.
    std::set<std::string> swaps;

    // Whether a file system is mounted, or swap is on, one of the devices `numbers`.
    bool uses(const std::set<std::string>& numbers) const;
    // Whether one of the devices `numbers` holds a system mount point or swap.
    bool uses_for_system(const std::set<std::string>& numbers) const;
};

mount_table read_mount_table();

// Takes every file system on `block_device` (or stacked on it) away: umount on the real host,
// the lines of the mount tables in a fake root. A device that holds a system mount point or
// swap is refused with ERROR_ACCESS_DENIED and left alone. Returns 0 or a Windows error code.
unsigned long unmount_block_device(const std::string& block_device);

} // namespace win32
