#include "block_devices.h"

#include "host_root.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace win32 {
namespace {

// Deeper stacks than this are a loop in a broken tree, not a real host.
const int deepest_stack = 8;

void add_with_holders(const std::string& name, int depth, std::set<std::string>& numbers)
{
    std::string number = read_host_file("/sys/class/block/" + name + "/dev");
    if (depth > deepest_stack || number.empty() || !numbers.insert(number).second)
        return;
    for (const std::string& holder : host_folder_entries("/sys/class/block/" + name + "/holders"))
        add_with_holders(holder, depth + 1, numbers);
}

} // namespace

std::set<std::string> device_numbers_with_holders(const std::string& name)
{
    std::set<std::string> numbers;
    add_with_holders(name, 0, numbers);
    return numbers;
}

std::string device_number_of_node(const std::string& path)
{
    if (host_is_real()) {
        struct stat status;
        if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode))
            return "";
        return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    }
    std::string resolved = resolve_in_host(path);
    if (resolved.compare(0, 5, "/dev/") != 0)
        return "";
    return read_host_file("/sys/class/block/" + resolved.substr(resolved.find_last_of('/') + 1) + "/dev");
}

} // namespace win32
