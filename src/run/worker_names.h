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

// Whose worker template numbers the disks.
enum class template_source {
    // The one in the values, as the user typed it.
    given,
    // The one the settings file holds at this moment: the user did not name one, and another
    // run may have counted it on meanwhile.
    saved,
    // The one in the values, or the settings' where that is the same template counted further
    // on: named again, a template goes on rather than naming rigs a second time.
    given_or_further,
};

// The values of `count` disks in order: the template in `values` counted on once per disk (an
// empty one stays empty). What a run plans before it reserves the names.
std::vector<inputs> counted_on(inputs values, std::size_t count);

// Hands out `count` names from the template `source` names. The settings keep `values`, their
// do-not-show-again flag as the file has it, and the template counted on once per disk: a gap
// when a disk then fails is harmless, a name twice is not. An empty template names nothing and
// is not counted on. Nothing is written when the values do not pass the form's rules. With a
// `count` of 0 it only makes the template the settings' own, for the runs to count on from.
reservation reserve(const std::string& data_folder, const inputs& values, template_source source,
                    std::size_t count);

} // namespace worker_names
