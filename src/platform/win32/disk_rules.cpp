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

namespace {

// "1-1", "2-3.4": a bus number, a dash, port numbers joined by dots; an interface ("1-1:1.0") is
// no port.
bool usb_port_name(const std::string& component)
{
    const std::string::size_type dash = component.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == component.size())
        return false;
    const auto digits = [](const std::string& text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    };
    if (!digits(component.substr(0, dash)))
        return false;
    std::stringstream ports(component.substr(dash + 1));
    std::string port;
    while (std::getline(ports, port, '.'))
        if (!digits(port))
            return false;
    return component.back() != '.';
}

} // namespace

std::string usb_device_folder_of(const std::string& device_path)
{
    // The port nearest the disk: a hub's port comes before it.
    std::string folder;
    for (std::string::size_type start = 0; start <= device_path.size();) {
        std::string::size_type end = device_path.find('/', start);
        if (end == std::string::npos)
            end = device_path.size();
        if (usb_port_name(device_path.substr(start, end - start)))
            folder = device_path.substr(0, end);
        start = end + 1;
    }
    return folder;
}

std::string usb_port_of(const std::string& device_path)
{
    const std::string folder = usb_device_folder_of(device_path);
    return folder.substr(folder.find_last_of('/') + 1);
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
