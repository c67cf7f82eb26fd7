#pragma once
// The command-line mode: the same core as the window, driven from a terminal.

#include "app/command_line.h"
#include "cli/cli_request.h"
#include "cli/console.h"

#include <string>

namespace cli {

// The whole mode as the program starts it: checks the arguments and the rights, opens the
// log, runs the command on a core application (no display needed); the exit status.
int run_command_line(const command_line::options& options);

// One command over `data_folder`, once the application object and the log exist; the exit
// status is one of exit_status's.
int run(const request& asked, const std::string& data_folder, console& io);

} // namespace cli
