#pragma once
// The worker names of a run, handed out under the settings lock before the first write, so
// that no name goes to two rigs: not across a failed stick, an open window, nor several runs or
// processes on one data folder.

#include "config/inputs.h"

#include <cstddef>
#include <string>
#include <vector>

namespace worker_names {

struct reservation {
    // Why nothing was handed out: a field's text, or the settings that could not be locked;
    // empty when the names are the run's.
    std::string refusal;
    // The run's values for each disk, in order: the worker template each one's name is the
    // expansion of.
    std::vector<inputs> per_disk;
    // What the settings hold now: the values with the template counted on past every name
    // handed out.
    inputs saved;
};

// Hands out `count` names. The template is the one in `values`, or, with `from_saved_counter`,
// the one the settings file holds at this moment (the counter another run may have moved on).
// The settings keep `values`, their do-not-show-again flag as the file has it, and the template
// counted on once per disk: a gap when a disk then fails is harmless, a name twice is not. An
// empty template names nothing and is not counted on. Nothing is written when the values do not
// pass the form's rules.
reservation reserve(const std::string& data_folder, const inputs& values, bool from_saved_counter,
                    std::size_t count);

} // namespace worker_names
