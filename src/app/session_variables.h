#pragma once
// The variables of the user's session that the elevated copy needs and that pkexec clears: the
// display to open the window on, and where the user's data folder is. The relaunch hands them
// over as options, `--session-variable NAME=VALUE`; no other name is taken, so that whoever may
// start the program elevated cannot set anything else in its environment this way. The list
// is kept here, beside the option that takes them, rather than in the Win32 layer that starts
// pkexec: the layer only passes on the parameters it is given, and the sender and the receiver
// of the option cannot then disagree on the names. Windows keeps the environment for the
// elevated copy and finds the display and the data folder without these variables: there they
// change nothing.

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

// The options that hand this process's session variables on, `option` and NAME=VALUE for each
// that is set, in the order of names(); XDG_DATA_HOME, where unset, as its default under HOME:
// root's own default would point at root's data folder, not the user's.
std::vector<std::string> to_pass_on();

} // namespace session_variables
