#include "block_devices.h"

#include "host_root.h"

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace win32 {
namespace {

// Deeper stacks than this are a loop in a broken tree, not a real host.
const int deepest_stack = 8;

void add_with_devices_below(const std::string& name, int depth, std::vector<std::string>& names)
{
    if (depth > deepest_stack || std::find(names.begin(), names.end(), name) != names.end())
        return;
    names.push_back(name);
    for (const std::string& below : host_folder_entries("/sys/class/block/" + name + "/slaves"))
        add_with_devices_below(below, depth + 1, names);
}

} // namespace

block_device_map::block_device_map()
{
    for (const std::string& name : host_folder_entries("/sys/class/block")) {
        std::string number = read_host_file("/sys/class/block/" + name + "/dev");
        if (!number.empty())
            m_names_by_number[number] = name;
    }
}

std::string block_device_map::name_of_number(const std::string& number) const
{
    auto found = m_names_by_number.find(number);
    return found == m_names_by_number.end() ? "" : found->second;
}

std::string block_device_map::name_of_node(const std::string& path) const
{
    if (host_is_real()) {
        struct stat status;
        if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode))
            return "";
        return name_of_number(std::to_string(major(status.st_rdev)) + ":"
                              + std::to_string(minor(status.st_rdev)));
    }
    std::string resolved = resolve_in_host(path);
    std::string name = resolved.substr(resolved.find_last_of('/') + 1);
    bool known = std::any_of(m_names_by_number.begin(), m_names_by_number.end(),
                             [&](const auto& entry) { return entry.second == name; });
    return resolved.compare(0, 5, "/dev/") == 0 && known ? name : "";
}

std::vector<std::string> block_device_map::with_devices_below(const std::string& name) const
{
    std::vector<std::string> names;
    add_with_devices_below(name, 0, names);
    return names;
}

} // namespace win32
