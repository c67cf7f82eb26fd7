#pragma once
// Queries shared by enumeration, preparation and the volume finder: what a disk is, which
// removable volumes exist and which disk each one lives on.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace volume_queries {

// "\\.\PhysicalDrive" followed by the disk number in decimal.
std::string physical_drive_path(DWORD number);

// "\\?\" followed by the drive letter and colon of `root`, for example \\?\E: for "E:\".
std::string volume_path(const std::string& root);

// The drive roots ("E:\") whose drive type is removable, in the system's order.
std::vector<std::string> removable_roots();

// Opens a disk or volume for reading and writing; INVALID_HANDLE_VALUE on failure.
HANDLE open_read_write(const std::string& path);

// Opens a disk for the raw copy and its read-back, unbuffered and written through as Windows
// wants raw disks written, so that what is read back comes from the device: transfers must be
// whole sectors from sector-aligned memory. INVALID_HANDLE_VALUE on failure. A disk whose
// file system cannot go round the page cache (a fake host's files on Linux may not) opens all
// the same, with ERROR_NOT_SUPPORTED as the last error.
HANDLE open_unbuffered(const std::string& path);

// Opens, locks and dismounts one volume; the open handle keeps the lock. The last error is
// the dismount's. INVALID_HANDLE_VALUE when the volume cannot be opened.
HANDLE lock_volume(const std::string& path);

// Whether the disk at a physical-drive path can still be opened: once pulled out, its path
// names nothing.
bool is_attached(const std::string& path);

// Whether the layout of an open disk holds no partition: no volume can come up on it then.
bool holds_no_partition(HANDLE disk);

// The number of the disk that an open disk or volume belongs to.
bool disk_number(HANDLE handle, DWORD& number);

// Whether an open disk sits on the USB bus.
bool is_usb_disk(HANDLE disk);

// The serial number an open disk tells; empty when it tells none.
std::string serial_number(HANDLE disk);

// The capacity of an open disk as its geometry gives it (a little below its true length; the
// size every other part uses) and its sector size.
bool disk_size(HANDLE disk, std::uint64_t& size, std::uint32_t& bytes_per_sector);

// What a disk opened for reading tells of itself; only a USB disk the system lets us write is
// read as far as its number and size.
enum class disk_probe { cannot_open, not_writable, not_usb, unreadable, usb_disk };
struct disk_facts {
    DWORD number = 0;
    std::uint64_t size = 0;
    std::uint32_t bytes_per_sector = 0;
    std::string serial;
};
// Opens the disk at `path` for reading and fills `facts` as far as it gets. The last error is
// the failed call's when the answer is not_writable or unreadable.
disk_probe probe_disk(const std::string& path, disk_facts& facts);

// A removable volume ("\\?\E:") and the number of the disk it lives on.
struct removable_volume {
    std::string path;
    DWORD disk = 0;
};
// Every removable volume with its disk, in the order the system lists its drive letters: one
// look at each volume, however many disks are asked about.
std::vector<removable_volume> removable_volumes();
// Those of `volumes` on disk `number`, in their order.
std::vector<std::string> volumes_on(const std::vector<removable_volume>& volumes, DWORD number);

// The removable volumes on disk `number`, in the order the system lists its drive letters.
std::vector<std::string> removable_volumes_of(DWORD number);

} // namespace volume_queries
