#include "device_paths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace win32 {
namespace {

const std::string disk_interface_prefix = "\\\\?\\block#disk&";
const std::string disk_interface_class = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool parse_number(const std::string& digits, std::uint32_t& number)
{
    if (digits.empty() || digits.size() > 9
        || !std::all_of(digits.begin(), digits.end(),
                        [](unsigned char c) { return std::isdigit(c); }))
        return false;
    number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    return true;
}

} // namespace

device_path parse_device_path(const std::string& path)
{
    device_path result;
    std::string lower = lower_case(path);
    const std::string drive_prefix = "\\\\.\\physicaldrive";
    if (lower.compare(0, drive_prefix.size(), drive_prefix) == 0) {
        if (parse_number(lower.substr(drive_prefix.size()), result.disk_number))
            result.what = device_path::disk;
        return result;
    }
    if (lower.compare(0, disk_interface_prefix.size(), disk_interface_prefix) == 0) {
        std::string rest = lower.substr(disk_interface_prefix.size());
        size_t first = rest.find('#');
        size_t second = first == std::string::npos ? first : rest.find('#', first + 1);
        if (second != std::string::npos && rest.substr(second + 1) == disk_interface_class
            && parse_number(rest.substr(first + 1, second - first - 1), result.disk_number))
            result.what = device_path::disk;
        return result;
    }
    if (lower.size() == 6 && (lower.compare(0, 4, "\\\\?\\") == 0 || lower.compare(0, 4, "\\\\.\\") == 0)
        && std::isalpha(static_cast<unsigned char>(lower[4])) && lower[5] == ':') {
        result.what = device_path::volume;
        result.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[4])));
    }
    return result;
}

std::string physical_drive_path(std::uint32_t number)
{
    return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

std::string volume_path(char letter)
{
    return std::string("\\\\?\\") + letter + ":";
}

std::string disk_interface_path(const std::string& name, std::uint32_t number)
{
    return disk_interface_prefix + name + "#" + std::to_string(number) + "#" + disk_interface_class;
}

} // namespace win32
