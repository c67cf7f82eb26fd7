#pragma once
// The flash job's transition table: in each stage, what each event leads to and does. An event
// that a stage has no row for is left alone: it is a late answer to a step given up.

#include "run/job_stage.h"

#include <vector>

struct transition {
    job_stage from;
    job_event event;
    job_stage to;
    job_action action;
};

namespace transitions {

const std::vector<transition>& table();
// The row for `event` in `stage`, or null.
const transition* find(job_stage stage, job_event event);

} // namespace transitions
