#include "disk_rules.h"

#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

namespace win32 {
namespace {

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool has_component(const std::string& path, bool (*matches)(const std::string&))
{
    std::stringstream stream(path);
    std::string component;
    while (std::getline(stream, component, '/'))
        if (matches(component))
            return true;
    return false;
}

bool numbered(const std::string& component, const std::string& prefix)
{
    return component.size() > prefix.size() && starts_with(component, prefix)
        && std::all_of(component.begin() + prefix.size(), component.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::vector<std::string> fields_of(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> fields;
    std::string field;
    while (stream >> field)
        fields.push_back(field);
    return fields;
}

} // namespace

bool is_whole_disk_name(const std::string& name)
{
    for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "sr", "nbd"})
        if (starts_with(name, prefix))
            return false;
    return !name.empty() && name[0] != '.';
}

std::uint32_t bus_of(const std::string& device_path)
{
    if (has_component(device_path, [](const std::string& c) { return numbered(c, "usb"); }))
        return BusTypeUsb;
    if (has_component(device_path, [](const std::string& c) { return c == "nvme"; }))
        return BusTypeNvme;
    if (has_component(device_path, [](const std::string& c) { return c == "mmc_host"; }))
        return BusTypeSd;
    if (has_component(device_path, [](const std::string& c) { return numbered(c, "ata"); }))
        return BusTypeSata;
    if (starts_with(device_path, "/sys/devices/virtual/")
        || has_component(device_path, [](const std::string& c) { return numbered(c, "virtio"); }))
        return BusTypeVirtual;
    if (has_component(device_path, [](const std::string& c) { return numbered(c, "host"); }))
        return BusTypeScsi;
    return BusTypeUnknown;
}

std::string unescaped_mount_field(const std::string& field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        std::string digits = field.substr(i + 1, 3);
        if (field[i] == '\\' && digits.size() == 3
            && digits.find_first_not_of("01234567") == std::string::npos) {
            text += static_cast<char>(std::stoi(digits, nullptr, 8));
            i += 3;
            continue;
        }
        text += field[i];
    }
    return text;
}

bool parse_mountinfo_line(const std::string& line, mountinfo_line& parsed)
{
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::vector<std::string> fields = fields_of(line);
    auto separator = std::find(fields.begin() + std::min<size_t>(fields.size(), 6), fields.end(), "-");
    if (separator == fields.end() || fields.end() - separator < 3
        || fields[2].find(':') == std::string::npos)
        return false;
    parsed.device_number = fields[2];
    parsed.mount_point = unescaped_mount_field(fields[4]);
    parsed.source = unescaped_mount_field(*(separator + 2));
    return true;
}

std::string swap_path(const std::string& line)
{
    std::vector<std::string> fields = fields_of(line);
    if (fields.empty() || fields[0].empty() || fields[0][0] != '/')
        return "";
    return unescaped_mount_field(fields[0]);
}

bool is_system_mount_point(const std::string& mount_point)
{
    for (const char* path : {"/", "/boot", "/usr", "/var", "/home"})
        if (mount_point == path)
            return true;
    for (const char* below : {"/boot/", "/usr/", "/var/"})
        if (starts_with(mount_point, below))
            return true;
    return false;
}

} // namespace win32
