#pragma once
// What a disk or volume handle of CreateFileA stands for.

#include "kernel_object.h"
#include "sysfs_disks.h"

#include <cstdint>
#include <string>

namespace win32 {

class disk_handle : public kernel_object {
public:
    ~disk_handle() override;

    // Whether the disk this handle was opened on is still there; `now` gets its state.
    bool present(sysfs_disk& now) const;

    // "\\.\PhysicalDriveN", the name the journal and injected failures use.
    std::string target;
    std::uint32_t number = 0;
    std::string name;
    std::string identity;
    // The disk's node: R/dev/X.
    std::string node_path;
    bool can_read = false;
    bool can_write = false;
    // Open for writing through when the handle may write; -1 otherwise.
    int fd = -1;
    std::uint64_t position = 0;
};

class volume_handle : public kernel_object {
public:
    ~volume_handle() override;

    bool present() const;

    // "\\?\E:".
    std::string target;
    std::uint32_t disk_number = 0;
    std::string disk_name;
    std::string disk_identity;
    std::string block_device;
    std::uint32_t partition_number = 0;
    std::string node_path;
    bool can_write = false;
    bool locked = false;
    // The exclusive open that holds a lock on the real host.
    int lock_fd = -1;
};

} // namespace win32
