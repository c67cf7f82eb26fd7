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
    std::string path = resolve_host_path(host_path);
    if (path.empty())
        return lines;
    std::ifstream file(path);
    std::string text;
    while (std::getline(file, text))
        lines.push_back(text);
    return lines;
}

// The device number names the file system's device; only file systems without one device of
// their own (btrfs shows 0:N) are found through their source's node.
std::string mounted_device(const block_device_map& devices, const mountinfo_line& line)
{
    std::string name = devices.name_of_number(line.device_number);
    if (name.empty() && !line.source.empty() && line.source[0] == '/')
        name = devices.name_of_node(line.source);
    return name;
}

std::vector<mount_line> read_mount_lines(const block_device_map& devices)
{
    std::vector<mount_line> lines;
    for (const std::string& text : host_file_lines("/proc/self/mountinfo")) {
        mountinfo_line parsed;
        if (!parse_mountinfo_line(text, parsed))
            continue;
        std::string name = mounted_device(devices, parsed);
        lines.push_back({text, {name.empty() ? std::vector<std::string>()
                                             : devices.with_devices_below(name),
                                parsed.mount_point}});
    }
    return lines;
}

std::vector<std::string> swap_devices(const block_device_map& devices)
{
    std::vector<std::string> names;
    for (const std::string& text : host_file_lines("/proc/swaps")) {
        std::string name = devices.name_of_node(swap_path(text));
        if (name.empty())
            continue;
        for (const std::string& below : devices.with_devices_below(name))
            names.push_back(below);
    }
    return names;
}

bool rests_on(const mount_entry& entry, const std::string& block_device)
{
    return std::find(entry.block_devices.begin(), entry.block_devices.end(), block_device)
        != entry.block_devices.end();
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

mount_table read_mount_table()
{
    block_device_map devices;
    mount_table table;
    for (const mount_line& line : read_mount_lines(devices)) {
        table.mounts.push_back(line.entry);
        table.used_devices.insert(line.entry.block_devices.begin(), line.entry.block_devices.end());
        if (is_system_mount_point(line.entry.mount_point))
            table.system_devices.insert(line.entry.block_devices.begin(),
                                        line.entry.block_devices.end());
    }
    for (const std::string& name : swap_devices(devices)) {
        table.used_devices.insert(name);
        table.system_devices.insert(name);
    }
    return table;
}

unsigned long unmount_block_device(const std::string& block_device)
{
    block_device_map devices;
    std::vector<std::string> swaps = swap_devices(devices);
    if (std::find(swaps.begin(), swaps.end(), block_device) != swaps.end())
        return ERROR_ACCESS_DENIED;
    std::vector<mount_line> lines = read_mount_lines(devices);
    std::vector<mount_line> kept;
    std::set<std::string> removed;
    for (const mount_line& line : lines) {
        if (!rests_on(line.entry, block_device)) {
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
        if (!rests_on(line->entry, block_device))
            continue;
        const char* mount_point = line->entry.mount_point.c_str();
        if (umount2(mount_point, 0) != 0 && umount2(mount_point, MNT_DETACH) != 0)
            result = error_from_errno(errno);
    }
    return result;
}

} // namespace win32
