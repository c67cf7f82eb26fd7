#pragma once
// What is on a stick already, read without writing: the configuration block a flash wrote
// (where the record of sticks flashed says it went), the release it was flashed with, and
// whether the stick starts with a partition table, as a whole image does.

#include "device/device.h"
#include "run/flash_record.h"

#include <optional>
#include <string>

namespace stick_contents {

struct finding {
    // The disk could be read at all.
    bool readable = false;
    // The stick's first sector ends with the boot signature of a partition table.
    bool partition_table = false;
    // The newest line of the record for this stick, where the stick still holds what that
    // flash wrote.
    std::optional<flash_record::entry> flashed;
    // The configuration block found where that flash wrote it, with its worker name; its values.
    bool configuration_found = false;
    std::string worker;
    std::string group;
    std::string location;
};

finding read(const std::string& data_folder, const device& stick);

} // namespace stick_contents
