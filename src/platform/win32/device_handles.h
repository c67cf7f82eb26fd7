#pragma once
// What a disk or volume handle of CreateFileA stands for.

#include "kernel_object.h"
#include "sysfs_disks.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace win32 {

class disk_handle : public kernel_object {
public:
    ~disk_handle() override;

    // Whether the disk this handle was opened on is still there; `now` gets its state.
    bool present(sysfs_disk& now) const;

    // The check before each read or write: whether the disk is still there, with `state` as it
    // is. Once the state is known, one read of the disk's diskseq tells that nothing changed; a
    // kernel without diskseq has the disk read in full each time.
    bool still_present();
    // Whether a file system on the disk is mounted, or swap is on it: the mount tables are read
    // again, the disk's devices are those of `state`.
    bool in_use() const;
    // ERROR_INVALID_PARAMETER for a transfer that is not whole sectors (at sector boundaries of
    // memory and disk, when unbuffered), as Windows refuses it.
    DWORD misaligned(const void* buffer, DWORD length) const;
    // The checks a read or (`writing`) a write begins with: the disk still there with a medium,
    // writable when written, and the transfer whole sectors. 0 when it may go on.
    DWORD transfer_refusal(const void* buffer, DWORD length, bool writing);
    // The error of a transfer that failed with errno `error`: ERROR_DEVICE_NOT_CONNECTED when the
    // disk left meanwhile.
    DWORD failure_of(int error) const;
    // The descriptor reads go through: the one writes use, else one opened at the first read.
    int read_descriptor();
    // Opens the disk's node, unbuffered when the handle is; where the file system refuses
    // direct I/O, through the page cache instead, which `through_page_cache` then tells.
    int open_node(int access);

    // "\\.\PhysicalDriveN", the target the hooks are told.
    std::string target;
    std::uint32_t number = 0;
    std::string name;
    std::string identity;
    // The disk's node: R/dev/X.
    std::string node_path;
    bool can_read = false;
    bool can_write = false;
    // FILE_FLAG_NO_BUFFERING: transfers go to the device, not through the page cache.
    bool unbuffered = false;
    // Unbuffered, but the file system refused direct I/O: the rules of unbuffered transfers hold
    // all the same.
    bool through_page_cache = false;
    // Open for writing through when the handle may write and the disk, at the open, had a
    // writable medium; else opened read-only at the handle's first read, -1 until then.
    int fd = -1;
    std::uint64_t position = 0;
    sysfs_disk state;
    bool state_known = false;
    // Of the disk, its partitions and what is stacked on them, as `state` was read.
    std::set<std::string> device_numbers;
};

// The frame of ReadFile and WriteFile on a disk handle: the handle, its access and the buffer
// checked, then `run` moves up to `length` bytes at the handle's position, sets how many it
// moved and returns the error; the position moves on by that much, and the count and the error
// are given back as Windows gives them.
BOOL run_transfer(HANDLE file, bool writing, const void* buffer, DWORD length, LPDWORD transferred,
                  const std::function<DWORD(disk_handle& disk, DWORD& moved)>& run);

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
