#pragma once
// The command-line mode: the same core as the window, driven from a terminal.

#include "cli/cli_request.h"
#include "cli/console.h"

#include <string>

namespace cli {

// One command over `data_folder`, once the application object and the log exist; the exit
// status is one of exit_status's.
int run(const request& asked, const std::string& data_folder, console& io);

} // namespace cli
