#pragma once
// The platform half of a disk record: every `device` the program handles is one of these.
//
// Who may touch `volumes`, `handles` and `layout_reread`, by the stage of the job that flashes
// the disk ("the job's thread" is the thread its flash job and device manager live in: the GUI
// thread of the window, the main thread of the command line):
// - listed, and until its preparation starts: the job's thread, reading only;
// - preparing: the job's thread locks the volumes, opens the disk and clears it; once the volume
//   finder starts, the finder's thread alone adds the volumes that come back, until it signals
//   (its thread ends with that signal, and a stop waits for the thread before the job's thread
//   releases what it holds);
// - writing: the burner's thread alone, from the thread's start until it ends, closing every
//   handle as it finishes;
// - afterwards: the job's thread, which releases whatever a run that ended early still holds.
// The other members are set by enumeration and never change.

#include "device/device.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct device_windows : device {
    std::uint32_t bytes_per_sector = 0;
    std::uint16_t number = 0;
    std::vector<std::string> volumes;
    std::vector<HANDLE> handles;
    // The system read the layout again once preparation deleted it: only partitions it found
    // then can bring volumes back.
    bool layout_reread = false;
};
