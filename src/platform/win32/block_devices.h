#pragma once
// The host's block devices known by device number ("major:minor"), as R/sys/class/block lists
// them: what the mount tables and /proc/swaps refer to is found through these numbers, never
// through the names the tables show (/dev/root, by-uuid links).

#include <map>
#include <string>
#include <vector>

namespace win32 {

class block_device_map {
public:
    // Reads R/sys/class/block.
    block_device_map();

    // The block device with device number `number`; empty when there is none.
    std::string name_of_number(const std::string& number) const;
    // The block device that the host path `path` (/dev/sda1, a /dev/disk/by-* link) is the
    // node of; empty when it is none. On the real host the node's own device number tells; in
    // a fake root, where regular files stand for nodes, the name the path resolves to.
    std::string name_of_node(const std::string& path) const;
    // `name` and, through device-mapper and md, every block device below it.
    std::vector<std::string> with_devices_below(const std::string& name) const;

private:
    std::map<std::string, std::string> m_names_by_number;
};

} // namespace win32
