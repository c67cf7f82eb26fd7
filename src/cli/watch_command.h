#pragma once
// `--cli watch`: from the arguments to a flashing station, after the user's "yes".

#include "cli/cli_request.h"
#include "cli/console.h"

#include <string>

namespace cli {

// The exit status.
int run_watch(const request& asked, const std::string& data_folder, console& io);

} // namespace cli
