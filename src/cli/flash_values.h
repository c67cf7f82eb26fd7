#pragma once
// The rig configuration of a flash from the command line: the saved settings with the given
// values in place, held to the checks before a run.

#include "cli/cli_request.h"
#include "config/inputs.h"
#include "run/flash_job.h"

#include <string>

namespace cli {

struct flash_values {
    inputs values;
    // Why the run cannot start: the checks' refusal, or a location not known; empty when it can.
    std::string error;
};

flash_values values_for(const request& asked, const inputs& saved);

// What FLASH asks the flash job for: the values, with the worker counter the settings hold
// unless --worker names another.
flash_request request_for(const request& asked, const inputs& values);

} // namespace cli
