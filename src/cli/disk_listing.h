#pragma once
// What `--cli list` prints.

#include "cli/disk_choice.h"

#include <string>
#include <vector>

namespace cli {

// One line per disk under a heading: number, physical-drive path, size, name.
std::string disk_table(const std::vector<listed_disk>& disks);

// A JSON array of {"number", "path", "name", "size"} objects, size in bytes.
std::string disk_json(const std::vector<listed_disk>& disks);

} // namespace cli
