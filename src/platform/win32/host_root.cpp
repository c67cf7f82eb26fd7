#include "host_root.h"

#include "call_hooks.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace win32 {
namespace {

std::mutex root_mutex;
bool root_known = false;
std::string root;
// The root as the kernel names it, every link in it resolved: what /proc/self/fd shows.
std::string canonical_root;
// The root folder, open for the lookups below it: opening it for each would double what a
// lookup costs. Shared, so that a lookup under way keeps it open while the root is read again.
std::shared_ptr<const int> root_folder;

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

struct root_names {
    std::string given;
    std::string canonical;
    // Null for "/", and while the folder cannot be opened.
    std::shared_ptr<const int> folder;
};

std::shared_ptr<const int> open_root_folder(const std::string& path)
{
    const int folder = path.empty() ? -1 : open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return nullptr;
    return std::shared_ptr<const int>(new int(folder), [](const int* opened) {
        close(*opened);
        delete opened;
    });
}

root_names current_root()
{
    std::lock_guard<std::mutex> lock(root_mutex);
    if (!root_known) {
        root = read_root();
        std::error_code ignored;
        canonical_root = root.empty() ? root : std::filesystem::weakly_canonical(root, ignored).string();
        root_folder = nullptr;
        root_known = true;
    }
    // A root made after the first look (a test builds its tree later) is opened once it is there.
    if (!root_folder)
        root_folder = open_root_folder(root);
    return {root, canonical_root, root_folder};
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

// Opens the host path `path` with every link resolved inside the root. The kernel does that in
// one call (openat2 with RESOLVE_IN_ROOT); older kernels get the walk above, a call per component.
int open_in_host(const std::string& path, int flags)
{
    hooks::before(hooks::call::host_lookup, path);
    const root_names names = current_root();
    const std::string& base = names.given;
    flags |= O_CLOEXEC;
    if (base.empty())
        return open(path.c_str(), flags);
    if (!names.folder)
        return -1;
    open_how how {};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_IN_ROOT;
    // The kernel resolves a link's ".." inside the root only when nothing on the system was
    // renamed or mounted meanwhile, and asks for another try otherwise: on a busy machine a
    // sysfs read would fail now and then, and a disk's model or write protection read wrong.
    int file = -1;
    do
        file = static_cast<int>(syscall(SYS_openat2, *names.folder, path.c_str(), &how, sizeof how));
    while (file < 0 && errno == EAGAIN);
    if (file < 0 && errno == ENOSYS) {
        const std::string inside = resolve_inside(base, path);
        file = inside.empty() ? -1 : open((base + inside).c_str(), flags);
    }
    return file;
}

} // namespace

std::string host_root()
{
    return current_root().given;
}

bool host_is_real()
{
    return host_root().empty();
}

std::string resolve_in_host(const std::string& path)
{
    const int file = open_in_host(path, O_PATH);
    if (file < 0)
        return "";
    char target[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(file)).c_str(), target,
                                    sizeof target - 1);
    close(file);
    if (length <= 0)
        return "";
    const std::string resolved(target, static_cast<std::size_t>(length));
    const std::string inside_of = current_root().canonical;
    if (resolved.compare(0, inside_of.size(), inside_of) != 0)
        return "";
    const std::string inside = resolved.substr(inside_of.size());
    if (inside.empty())
        return "/";
    return inside[0] == '/' ? inside : "";
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
    const int file = open_in_host(path, O_RDONLY);
    if (file < 0)
        return "";
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t length = read(file, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(length));
    }
    close(file);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::vector<std::string> host_folder_entries(const std::string& path)
{
    std::vector<std::string> names;
    const int file = open_in_host(path, O_RDONLY | O_DIRECTORY);
    DIR* folder = file < 0 ? nullptr : fdopendir(file);
    if (!folder) {
        if (file >= 0)
            close(file);
        return names;
    }
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
