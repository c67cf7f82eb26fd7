#pragma once
// What `--cli history` prints: the record of sticks flashed, oldest first.

#include "run/flash_record.h"

#include <string>
#include <vector>

namespace cli {

// One line per entry under a heading: time, kernel device, USB port, serial number, size,
// worker name, image, outcome (a failed one with its failure's text); "No stick flashed yet"
// without any.
std::string history_table(const std::vector<flash_record::entry>& entries);

// A JSON array of the entries, each with the members of its line in the record.
std::string history_json(const std::vector<flash_record::entry>& entries);

} // namespace cli
