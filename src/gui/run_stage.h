#pragma once
// Where the main window's flashing run stands. Every step of the run reads and sets this one
// value, so that a late signal from an earlier step is recognised and ignored.

enum class run_stage {
    // The form: editable; FLASH usable once it is complete.
    idle,
    // FLASH was pressed; the form folds before the run looks at the chosen disk.
    folding,
    // "Confirm flashing" asks about a large disk.
    confirming,
    // The latest release is being asked for.
    querying,
    // The download of a newer image is offered.
    offering,
    // The image downloads (also a download accepted at start-up, outside a run).
    downloading,
    // The image is checked and the disk cleared for writing.
    preparing,
    // The burner thread decompresses and writes.
    burning,
    // The run is over; the window waits for what it started to end before the form returns.
    finishing,
};

namespace run_stages {

// A download or a flash is under way: closing the window asks first.
inline bool busy(run_stage stage)
{
    return stage != run_stage::idle && stage != run_stage::folding
        && stage != run_stage::confirming;
}

} // namespace run_stages
