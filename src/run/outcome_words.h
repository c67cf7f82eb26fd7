#pragma once
// The words for what became of one disk, the same in every front end.

#include "run/job_stage.h"

// For a disk's own line or row: "verified", "written", "canceled", "failed" (a disk that never
// got its turn failed with the run).
const char* outcome_word(disk_outcome outcome);

// For a summary, where "written" alone would pass for the whole of a flash: "written, not
// verified" for a disk that was not read back, otherwise outcome_word.
const char* outcome_summary(disk_outcome outcome);
