#pragma once
// The whole disks of the host as the kernel lists them in R/sys/block.

#include <cstdint>
#include <string>
#include <vector>

namespace win32 {

struct sysfs_partition {
    std::string name;
    std::uint32_t number = 0;
};

struct sysfs_disk {
    std::string name;
    // The disk's own folder under R/sys/devices, relative to R.
    std::string device_path;
    // Tells this disk apart from an earlier one of the same name: its diskseq, else its dev,
    // place, size and model.
    std::string identity;
    std::uint64_t size_bytes = 0;
    std::uint32_t logical_block_size = 512;
    bool read_only = false;
    bool removable = false;
    std::string vendor;
    std::string model;
    // A STORAGE_BUS_TYPE value.
    std::uint32_t bus_type = 0;
    // On USB: the port as the kernel names it ("1-1.2") and the device's serial number.
    std::string usb_port;
    std::string serial;
    std::vector<sysfs_partition> partitions;
};

// Whole disks (no loop, ram, zram, dm, md, optical or network block devices), in natural
// name order.
std::vector<sysfs_disk> scan_sysfs_disks();

// Reads one disk; false when R/sys/block/`name` is gone.
bool read_sysfs_disk(const std::string& name, sysfs_disk& disk);

// "diskseq N" for the disk whose folder is `device_path`, as its identity begins; empty on a
// kernel without diskseq.
std::string diskseq_identity(const std::string& device_path);

// Name order with digit runs compared as numbers, so that nvme2n1 comes before nvme10n1.
bool natural_less(const std::string& a, const std::string& b);

} // namespace win32
