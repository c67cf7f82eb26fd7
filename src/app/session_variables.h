#pragma once
// The variables of the user's session that the elevated copy needs and that pkexec clears: the
// display to open the window on, and where the user's data folder is. The relaunch hands them
// over as options, `--session-variable NAME=VALUE`; no other name is taken, so that whoever may
// start the program elevated cannot set anything else in its environment this way.

#include <string>
#include <vector>

namespace session_variables {

extern const char* const option;

// DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, HOME, XDG_DATA_HOME.
const std::vector<std::string>& names();

// Why the option's value `assignment` (NAME=VALUE) is refused; empty when it is taken.
std::string refusal(const std::string& assignment);

// Sets every NAME=VALUE, each taken by refusal(), in this process's environment.
void apply(const std::vector<std::string>& assignments);

} // namespace session_variables
