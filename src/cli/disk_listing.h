#pragma once
// What `--cli list` prints.

#include "cli/disk_choice.h"

#include <string>
#include <vector>

namespace cli {

// One line per disk under a heading: number, physical-drive path, kernel device, size, serial
// number, USB port, name.
std::string disk_table(const std::vector<listed_disk>& disks);

// A JSON array of {"number", "path", "device", "serial", "port", "name", "size"} objects, size
// in bytes; serial and port are empty where the disk tells none.
std::string disk_json(const std::vector<listed_disk>& disks);

} // namespace cli
