#pragma once
// Block devices known by device number ("major:minor"): what the mount tables and /proc/swaps
// refer to is matched through these numbers against R/sys/class/block, never through the
// names the tables show (/dev/root, by-uuid links).

#include <set>
#include <string>

namespace win32 {

// The device numbers of the block device `name` and of every device-mapper or md device
// stacked on it (its holders, and theirs).
std::set<std::string> device_numbers_with_holders(const std::string& name);

// The device number of the node that the host path `path` (/dev/sda1, a /dev/disk/by-* link)
// is; empty when it is none. On the real host the node's own number; in a fake root, where
// regular files stand for nodes, that of the block device it is named after.
std::string device_number_of_node(const std::string& path);

} // namespace win32
