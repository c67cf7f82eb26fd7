#include "host_root.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include <climits>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win32 {
namespace {

std::mutex root_mutex;
bool root_known = false;
std::string root;

std::string read_root()
{
    const char* value = std::getenv("KESTREL_HOST_ROOT");
    if (!value || !*value)
        return "";
    std::string path = std::filesystem::absolute(value).lexically_normal().string();
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

std::vector<std::string> split_path(const std::string& path)
{
    std::vector<std::string> parts;
    std::stringstream stream(path);
    std::string part;
    while (std::getline(stream, part, '/'))
        if (!part.empty() && part != ".")
            parts.push_back(part);
    return parts;
}

// Follows the host path one component at a time, as the kernel would inside a chroot at R.
std::string resolve_inside(const std::string& base, const std::string& path)
{
    std::vector<std::string> pending = split_path(path);
    std::vector<std::string> resolved;
    int links_followed = 0;
    while (!pending.empty()) {
        std::string part = pending.front();
        pending.erase(pending.begin());
        if (part == "..") {
            if (!resolved.empty())
                resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
        std::string real_path = base;
        for (const std::string& component : resolved)
            real_path += "/" + component;
        struct stat status;
        if (lstat(real_path.c_str(), &status) != 0)
            return "";
        if (!S_ISLNK(status.st_mode))
            continue;
        if (++links_followed > 40)
            return "";
        char target[PATH_MAX];
        ssize_t length = readlink(real_path.c_str(), target, sizeof target - 1);
        if (length <= 0)
            return "";
        target[length] = '\0';
        resolved.pop_back();
        if (target[0] == '/')
            resolved.clear();
        std::vector<std::string> target_parts = split_path(target);
        pending.insert(pending.begin(), target_parts.begin(), target_parts.end());
    }
    std::string result;
    for (const std::string& component : resolved)
        result += "/" + component;
    return result.empty() ? "/" : result;
}

} // namespace

std::string host_root()
{
    std::lock_guard<std::mutex> lock(root_mutex);
    if (!root_known) {
        root = read_root();
        root_known = true;
    }
    return root;
}

bool host_is_real()
{
    return host_root().empty();
}

std::string resolve_in_host(const std::string& path)
{
    return resolve_inside(host_root(), path);
}

std::string resolve_host_path(const std::string& path)
{
    std::string inside = resolve_in_host(path);
    if (inside.empty())
        return "";
    return host_root() + (inside == "/" ? "" : inside);
}

std::string read_host_file(const std::string& path)
{
    std::string real_path = resolve_host_path(path);
    if (real_path.empty())
        return "";
    std::ifstream file(real_path);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::vector<std::string> host_folder_entries(const std::string& path)
{
    std::vector<std::string> names;
    std::string real_path = resolve_host_path(path);
    DIR* folder = real_path.empty() ? nullptr : opendir(real_path.c_str());
    if (!folder)
        return names;
    while (dirent* entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(folder);
    return names;
}

void reread_host_root()
{
    std::lock_guard<std::mutex> lock(root_mutex);
    root_known = false;
}

} // namespace win32
