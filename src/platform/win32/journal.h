#pragma once
// The layer's side of test_control.h.

#include "test_control.h"

#include <functional>

namespace win32 {

// Waits while a hold set by test_control::hold_call() matches this call.
void wait_if_held(test_control::call what, const std::string& target);

// Returns the error injected for this call, 0 when the call is to run.
DWORD injected_failure(test_control::call what, const std::string& target);
// Whether this call is to report success without doing anything.
bool injected_drop(test_control::call what, const std::string& target);

// Lets the tests' fake host read the partition table of the disk at `node_path` again.
void reread_fake_partition_table(const std::string& node_path);

void note_drive_listing();
void note_usb_storage_listing();

void journal_call(test_control::call what, const std::string& target, DWORD error,
                  std::uint64_t offset = 0, std::uint64_t length = 0);

// A device-changing call as tests see it: it waits in a hold, takes an injected failure or (a
// write) a drop, which report without `run`, else runs; then it is journaled with `offset` and
// `length`, and its error returned.
DWORD run_journaled(test_control::call what, const std::string& target,
                    const std::function<DWORD()>& run, std::uint64_t offset = 0,
                    std::uint64_t length = 0);

} // namespace win32
