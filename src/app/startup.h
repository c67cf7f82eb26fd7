#pragma once
// The steps of a start, the window's and the command line's alike; main() takes them in order,
// so that both find the data folder, the log and the rights the same way.

#include "app/command_line.h"
#include "cli/cli_request.h"

#include <optional>
#include <string>

namespace startup {

// Gives the process a private runtime folder where none is set, as under sudo or pkexec: the
// one Qt would take, made with the rights it wants, so that Qt has no cause to warn at every
// start.
void give_runtime_folder();

// The command line's request; nothing, with why told on the error stream, when an argument is
// left over, the options are refused, or the rights are missing (the data folder read under
// sudo is root's, not the user's own).
std::optional<cli::request> command_line_request(const command_line::options& options);

// The window's start without administrator rights: the program started again, asking for them.
// The exit status: 0 once the elevated copy runs; otherwise why not is told, on the terminal and,
// where there is a screen, in a message box.
int relaunch_elevated(const command_line::options& options, const char* program);

// The run's data folder: the one the first argument names, or the user's own, made ready; the
// log is open in it.
std::string open_data_folder(const command_line::options& options);

// The command on a core application (no display needed); the exit status.
int run_command(const cli::request& request, const std::string& data_folder);

// The window, until it is closed.
int run_window(command_line::options& options, const std::string& data_folder);

} // namespace startup
