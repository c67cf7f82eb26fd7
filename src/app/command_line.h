#pragma once
// The program's command line: its options, the data-folder argument, and what is left for
// the toolkit.
//
//   kestrel-flash-tool [--release-service URL] [--file-server URL] [data folder] [Qt options]
//   kestrel-flash-tool [--release-service URL] [--file-server URL] --cli COMMAND ...
//   kestrel-flash-tool --help
//   kestrel-flash-tool --version
//
// Each URL option also takes the form --option=URL and may stand anywhere; so does
// --session-variable NAME=VALUE, which the elevated relaunch gives (see session_variables.h).

#include <string>
#include <vector>

namespace command_line {

struct options {
    // Empty when not given: the built-in base stays.
    std::string release_service;
    std::string file_server;
    // NAME=VALUE of --session-variable, in the order given, each of a name it may set.
    std::vector<std::string> session_variables;
    // The arguments without the options: the program path, then the data folder when given,
    // then whatever else the toolkit may use. They point into the parsed argv.
    std::vector<char*> remaining;
    // --help was given: the usage is all the user asked for.
    bool help = false;
    // --version was given: the version is all the user asked for.
    bool version = false;
    // --cli was given: the command line, not the window, does the work, with the arguments
    // that follow --cli (the URL options taken out).
    bool cli = false;
    std::vector<std::string> cli_arguments;
    // Why the command line was refused; empty when it was accepted.
    std::string error;

    // The options in the form that starts another copy of the program the same way.
    std::vector<std::string> to_pass_on() const;
};

options parse(int argc, char* argv[]);

// The arguments as one Windows command-line string, quoted so that the started program's
// argument vector holds them unchanged.
std::string windows_parameters(const std::vector<std::string>& arguments);

} // namespace command_line
