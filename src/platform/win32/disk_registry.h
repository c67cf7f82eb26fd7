#pragma once
// Disk numbers and drive letters. A disk gets its number on first sight (in name order) and
// keeps it for the life of the process; a disk that left and came back is a new disk with a
// new number, so an old \\.\PhysicalDriveN never opens another disk. A volume (a partition,
// or a whole disk mounted without partition table) keeps its letter while it exists; the one
// holding "/" is C:.

#include "sysfs_disks.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace win32 {

struct host_disk {
    std::uint32_t number = 0;
    sysfs_disk info;
    // It holds "/", another system mount point or swap: never offered, never written.
    bool holds_system = false;
};

struct host_volume {
    char letter = 0;
    std::uint32_t disk_number = 0;
    // The partition (or disk) name in R/sys/block terms, and its partition number (0 for a
    // whole disk).
    std::string block_device;
    std::uint32_t partition_number = 0;
    bool removable = false;
};

struct host_snapshot {
    std::vector<host_disk> disks;    // in name order
    std::vector<host_volume> volumes; // in letter order
};

// Looks at the host now and brings numbers and letters up to date.
host_snapshot scan_host();

// The disk numbered `number`, and the volume lettered `letter`, as they are now. One given its
// number or letter before is read alone, not with the whole host: opening one of many disks
// costs a look at that disk. Only what no earlier look saw takes a new look at the host.
bool find_disk(std::uint32_t number, sysfs_disk& disk);
bool find_volume(char letter, host_volume& volume);

// The device numbers of the disk, of its partitions and of what is stacked on them.
std::set<std::string> device_numbers_of(const sysfs_disk& disk);

// True when a file system on the disk or one of its partitions is mounted, or swap is on it.
bool disk_is_in_use(const sysfs_disk& disk);
// True when the disk holds "/", another system mount point or swap.
bool disk_holds_system(const sysfs_disk& disk);

// Forgets every number and letter given so far.
void forget_disk_registry();

} // namespace win32
