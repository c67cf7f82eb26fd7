#pragma once
// The layer's rules about disks and mounts that need no host: which block devices are whole
// disks, which bus a disk is on, how the kernel's mount tables read, and which mount points the
// running system cannot do without.

#include <cstdint>
#include <string>

namespace win32 {

// A R/sys/block name that is a whole disk: not loop, ram, zram, dm-, md, optical or network.
bool is_whole_disk_name(const std::string& name);

// The STORAGE_BUS_TYPE of a disk, told by its resolved sysfs folder (relative to R): a disk
// below a usbN root hub is on USB whatever the controller inside the enclosure.
std::uint32_t bus_of(const std::string& device_path);

// The USB device a disk's sysfs folder lies below, as the kernel names its port ("1-1.2"), and
// that device's folder; empty when it lies below none.
std::string usb_port_of(const std::string& device_path);
std::string usb_device_folder_of(const std::string& device_path);

// Undoes the octal escapes (\040, \011, \012, \134) of the kernel's mount tables and /proc/swaps.
std::string unescaped_mount_field(const std::string& field);

struct mountinfo_line {
    // "major:minor" of the mounted file system; 0:N for file systems without one device (btrfs).
    std::string device_number;
    std::string mount_point;
    // The source as the mount was asked for: /dev/sda1, /dev/root, a by-uuid link, "proc"...
    std::string source;
};

// Reads one line of /proc/self/mountinfo; false when it is not one.
bool parse_mountinfo_line(const std::string& line, mountinfo_line& parsed);

// The device or file of one /proc/swaps line; empty for its header.
std::string swap_path(const std::string& line);

// "/", /boot, /usr, /var, /home and what is mounted below /boot, /usr or /var: a disk holding
// one of them holds the running system.
bool is_system_mount_point(const std::string& mount_point);

} // namespace win32
