#include "mounts.h"

#include "block_devices.h"
#include "disk_rules.h"
#include "errno_error.h"
#include "host_root.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <cerrno>
#include <sys/mount.h>

namespace win32 {
namespace {

struct mount_line {
    std::string text;
    mount_entry entry;
};

std::vector<std::string> host_file_lines(const std::string& host_path)
{
    std::vector<std::string> lines;
    std::istringstream file(read_host_file(host_path));
    std::string text;
    while (std::getline(file, text))
        lines.push_back(text);
    return lines;
}

std::vector<mount_line> read_mount_lines()
{
    std::vector<mount_line> lines;
    for (const std::string& text : host_file_lines("/proc/self/mountinfo")) {
        mountinfo_line parsed;
        if (!parse_mountinfo_line(text, parsed))
            continue;
        std::string number = parsed.device_number;
        if (number.compare(0, 2, "0:") == 0 && !parsed.source.empty() && parsed.source[0] == '/') {
            std::string node_number = device_number_of_node(parsed.source);
            if (!node_number.empty())
                number = node_number;
        }
        lines.push_back({text, {number, parsed.mount_point}});
    }
    return lines;
}

std::set<std::string> read_swaps()
{
    std::set<std::string> numbers;
    for (const std::string& text : host_file_lines("/proc/swaps")) {
        std::string number = device_number_of_node(swap_path(text));
        if (!number.empty())
            numbers.insert(number);
    }
    return numbers;
}

bool any_of_in(const std::set<std::string>& numbers, const std::set<std::string>& among)
{
    return std::any_of(numbers.begin(), numbers.end(),
                       [&](const std::string& number) { return among.count(number); });
}

// A fake root's tables without the mounts at `removed`: both tables, as the kernel keeps them.
unsigned long rewrite_fake_tables(const std::vector<mount_line>& kept,
                                  const std::set<std::string>& removed)
{
    std::string mountinfo;
    for (const mount_line& line : kept)
        mountinfo += line.text + "\n";
    std::string mounts;
    for (const std::string& text : host_file_lines("/proc/self/mounts")) {
        std::istringstream fields(text);
        std::string source;
        std::string mount_point;
        fields >> source >> mount_point;
        if (!removed.count(unescaped_mount_field(mount_point)))
            mounts += text + "\n";
    }
    std::ofstream mountinfo_file(resolve_host_path("/proc/self/mountinfo"), std::ios::trunc);
    mountinfo_file << mountinfo;
    std::ofstream mounts_file(resolve_host_path("/proc/self/mounts"), std::ios::trunc);
    mounts_file << mounts;
    return mountinfo_file.good() && mounts_file.good() ? 0 : ERROR_GEN_FAILURE;
}

} // namespace

bool mount_table::uses(const std::set<std::string>& numbers) const
{
    return any_of_in(numbers, swaps)
        || std::any_of(mounts.begin(), mounts.end(),
                       [&](const mount_entry& mount) { return numbers.count(mount.device_number); });
}

bool mount_table::uses_for_system(const std::set<std::string>& numbers) const
{
    return any_of_in(numbers, swaps)
        || std::any_of(mounts.begin(), mounts.end(), [&](const mount_entry& mount) {
               return is_system_mount_point(mount.mount_point) && numbers.count(mount.device_number);
           });
}

mount_table read_mount_table()
{
    mount_table table;
    for (const mount_line& line : read_mount_lines())
        table.mounts.push_back(line.entry);
    table.swaps = read_swaps();
    return table;
}

unsigned long unmount_block_device(const std::string& block_device)
{
    std::set<std::string> numbers = device_numbers_with_holders(block_device);
    if (any_of_in(numbers, read_swaps()))
        return ERROR_ACCESS_DENIED;
    std::vector<mount_line> lines = read_mount_lines();
    std::vector<mount_line> kept;
    std::set<std::string> removed;
    for (const mount_line& line : lines) {
        if (!numbers.count(line.entry.device_number)) {
            kept.push_back(line);
            continue;
        }
        if (is_system_mount_point(line.entry.mount_point))
            return ERROR_ACCESS_DENIED;
        removed.insert(line.entry.mount_point);
    }
    if (!host_is_real())
        return removed.empty() ? 0 : rewrite_fake_tables(kept, removed);
    unsigned long result = 0;
    // Deepest mounts first, the reverse of the order they were made in.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (!numbers.count(line->entry.device_number))
            continue;
        const char* mount_point = line->entry.mount_point.c_str();
        if (umount2(mount_point, 0) != 0 && umount2(mount_point, MNT_DETACH) != 0)
            result = error_from_errno(errno);
    }
    return result;
}

} // namespace win32
