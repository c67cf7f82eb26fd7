#pragma once
// `--cli inspect`: what is on each stick already, read and never written: the worker name, group
// and location its configuration block holds, the release it was flashed with where the record
// of sticks flashed knows it, and whether it starts with a partition table as a whole image does.

#include "cli/cli_request.h"
#include "cli/console.h"

#include <string>

namespace cli {

// The disks named, or every USB disk listed; the exit status.
int show_stick_contents(const request& asked, const std::string& data_folder, console& io);

} // namespace cli
