#include "mounts.h"

#include "errno_error.h"
#include "host_root.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <cerrno>
#include <sys/mount.h>

namespace win32 {
namespace {

// Undoes the octal escapes the kernel writes for spaces, tabs and backslashes.
std::string unescaped(const std::string& field)
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

std::string last_component(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A device-mapper or md device stands for the first partition or disk below it.
std::string underlying_device(const std::string& name, int depth = 0)
{
    if (depth > 8 || (name.compare(0, 3, "dm-") != 0 && name.compare(0, 2, "md") != 0))
        return name;
    std::vector<std::string> slaves = host_folder_entries("/sys/block/" + name + "/slaves");
    if (slaves.empty())
        return name;
    std::sort(slaves.begin(), slaves.end());
    return underlying_device(slaves.front(), depth + 1);
}

std::string block_device_of(const std::string& source)
{
    if (source.compare(0, 5, "/dev/") != 0)
        return "";
    std::string resolved = resolve_in_host(source);
    return underlying_device(last_component(resolved.empty() ? source : resolved));
}

struct mount_line {
    std::string text;
    mount_entry entry;
};

std::vector<mount_line> read_mount_lines()
{
    std::vector<mount_line> lines;
    std::string path = resolve_host_path("/proc/self/mounts");
    if (path.empty())
        return lines;
    std::ifstream file(path);
    std::string text;
    while (std::getline(file, text)) {
        std::istringstream fields(text);
        std::string source;
        std::string mount_point;
        fields >> source >> mount_point;
        lines.push_back({text, {block_device_of(unescaped(source)), unescaped(mount_point)}});
    }
    return lines;
}

} // namespace

std::vector<mount_entry> read_mounts()
{
    std::vector<mount_entry> entries;
    for (const mount_line& line : read_mount_lines())
        entries.push_back(line.entry);
    return entries;
}

unsigned long unmount_block_device(const std::string& block_device)
{
    std::vector<mount_line> lines = read_mount_lines();
    if (!host_is_real()) {
        std::string kept;
        for (const mount_line& line : lines)
            if (line.entry.block_device != block_device)
                kept += line.text + "\n";
        std::ofstream file(resolve_host_path("/proc/self/mounts"), std::ios::trunc);
        file << kept;
        return file.good() ? 0 : ERROR_GEN_FAILURE;
    }
    unsigned long result = 0;
    // Deepest mounts first, the reverse of the order they were made in.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->entry.block_device != block_device)
            continue;
        const char* mount_point = line->entry.mount_point.c_str();
        if (umount2(mount_point, 0) != 0 && umount2(mount_point, MNT_DETACH) != 0)
            result = error_from_errno(errno);
    }
    return result;
}

} // namespace win32
