#pragma once
// What is checked before a run touches anything, the same for every front end: the values by
// the form's rules, the image file, and the configuration's room in its block.

#include "config/inputs.h"

#include <string>
#include <vector>

namespace run_checks {

// Why a run of `values` cannot start: the form's text for the first value refused with its rule
// (no field shows which value is meant), an image
// file (where one is given) that cannot be read, or a configuration too large for its block.
// Empty when it can.
std::string refusal(const inputs& values, const std::string& image_file);

// Why one disk's configuration, with the values as counted on for it, does not fit its block;
// empty when each one fits. A longer name further on can make a fitting first one overflow.
std::string configuration_refusal(const std::vector<inputs>& per_disk);

} // namespace run_checks
