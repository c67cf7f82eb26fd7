#pragma once
// `--cli flash`: from the arguments to the disks that will be written, each with its own
// configuration block, after the user's "yes".

#include "cli/cli_request.h"
#include "cli/console.h"

#include <string>

namespace cli {

class flash_command {
public:
    flash_command(const request& asked, const std::string& data_folder, console& io);

    // The exit status.
    int run();

private:
    bool m_confirmed();

    const request& m_asked;
    const std::string m_data_folder;
    console& m_io;
};

} // namespace cli
