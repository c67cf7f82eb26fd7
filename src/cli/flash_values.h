#pragma once
// The rig configuration of a flash from the command line: the saved settings with the given
// values in place, held to the form's rules, and numbered on from disk to disk.

#include "cli/cli_request.h"
#include "config/inputs.h"
#include "run/flash_job.h"

#include <cstddef>
#include <string>

namespace cli {

struct flash_values {
    inputs values;
    // The form's text for the first value refused; empty when every value passes.
    std::string error;
};

flash_values values_for(const request& asked, const inputs& saved);

// Why a flash as `asked` cannot start, before any disk is looked at: an image file that cannot
// be read. Empty when it can.
std::string image_refusal(const request& asked);

// What FLASH asks the flash job for: the values, with the worker counter the settings hold
// unless --worker names another.
flash_request request_for(const request& asked, const inputs& values);

// `values` as the window holds them after `flashes` successful flashes: the worker template
// counted on once per flash (an empty one stays empty). The k-th disk of a batch, from 0,
// gets counted_on(values, k).
inputs counted_on(inputs values, std::size_t flashes);

} // namespace cli
