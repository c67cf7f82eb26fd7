#pragma once
// The device paths CreateFileA accepts: \\.\PhysicalDriveN, \\?\E: (or \\.\E:), and the
// disk interface paths the disk interface set hands out.

#include <cstdint>
#include <string>

namespace win32 {

struct device_path {
    enum kind { none, disk, volume } what = none;
    std::uint32_t disk_number = 0;
    char letter = 0;
};

device_path parse_device_path(const std::string& path);

std::string physical_drive_path(std::uint32_t number);
std::string volume_path(char letter);
std::string disk_interface_path(const std::string& name, std::uint32_t number);

} // namespace win32
