#pragma once
// The host root R under which the layer reads sysfs, /dev and the mount table: "/" unless
// KESTREL_HOST_ROOT names another folder. It is read once per process.

#include <string>
#include <vector>

namespace win32 {

// The root without a trailing slash; empty for "/".
std::string host_root();

// True when the root is "/": only then are real devices mounted, unmounted or sent ioctls.
bool host_is_real();

// Where the absolute host path `path` (for example "/sys/block/sda") lives, with every
// symbolic link resolved inside the root (an absolute link target counts from R). Empty when
// the path does not exist or would lead outside the root.
std::string resolve_host_path(const std::string& path);

// The host path (relative to R) that `path` resolves to, or empty; see resolve_host_path.
std::string resolve_in_host(const std::string& path);

// Reads a small text file of the host, without its trailing whitespace; empty when missing.
std::string read_host_file(const std::string& path);

// The names in a host folder, unsorted; empty when it is missing.
std::vector<std::string> host_folder_entries(const std::string& path);

// Forgets the root read before so that the next call reads KESTREL_HOST_ROOT again.
void reread_host_root();

} // namespace win32
