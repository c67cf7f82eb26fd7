#pragma once
// What tests see of the Win32 layer: the journal of device-changing calls and one-shot
// failures injected on a target. A target is the path the handle was opened with, as
// "\\.\PhysicalDrive1" or "\\?\E:" (interface paths are journaled as the physical drive).
// It works through the layer's hooks (platform/win32/call_hooks.h): the test programs link it
// in place of the program's no-op.

#include "platform/win32/call_hooks.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace win32 {
namespace test_control {

// `direct_io` is the unbuffered open of a disk: never journaled, its injected failure stands for
// a file system without direct I/O. `read` is a ReadFile on a disk: never journaled, its injected
// failure stands for a disk that is there but cannot be read. The listings are never journaled, their holds stop a
// thread before it looks: `usb_storage_listing` at the USB storage devices (target "USBSTOR"),
// as the device watch does, `drive_listing` at the drive letters (target ""), as the volume
// finder does; an injected failure fails the listing. `host_scan`, a look at every disk of the
// host, and `host_lookup`, a path looked up under the host root, are only counted. Only writes
// are dropped.
using call = hooks::call;

struct journal_entry {
    call what = call::write;
    std::string target;
    // For writes: where and how much was asked for.
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    // The error the call ended with, 0 on success.
    DWORD error = 0;
};

std::vector<journal_entry> journal();
void clear_journal();

// The next call `what` on `target` fails with `error` and does nothing, after `calls_to_pass`
// matching calls went through.
void fail_call(call what, const std::string& target, DWORD error, int calls_to_pass = 0);

// The next call `what` on `target` reports success but does nothing, after `calls_to_pass`
// matching calls went through: a disk that loses a write.
void drop_call(call what, const std::string& target, int calls_to_pass = 0);

// The call `what` on `target` after `calls_to_pass` matching calls waits, before it does
// anything, until release_held(): a test can act while a long operation is known to be midway.
void hold_call(call what, const std::string& target, int calls_to_pass = 0);
// True while a call waits in a hold.
bool call_held();
void release_held();

// In a fake root a disk is a file whose partition table no kernel reads: after each
// IOCTL_DISK_UPDATE_PROPERTIES that succeeds there, `reread` is called with the disk's node to
// do it instead. An empty function leaves the partitions as they are.
void on_partition_table_reread(std::function<void(const std::string& node_path)> reread);

// How many times the drive letters were listed (GetLogicalDriveStringsA), since the process
// started: tests count the polls of code that looks for volumes.
std::uint64_t drive_listings();
// How many times the USB storage devices were listed: the polls of the device watch.
std::uint64_t usb_storage_listings();
// How many times the layer looked at every disk of the host (`host_scan`): what listing,
// opening and preparing many disks cost grows with these.
std::uint64_t host_scans();
// How many paths the layer looked up under the host root: what its answers cost.
std::uint64_t host_lookups();

// Starts over with the host root named by KESTREL_HOST_ROOT now: disk numbers, drive letters,
// journal and pending failures are forgotten. Handles still open go on naming their disks.
void reset();

} // namespace test_control
} // namespace win32
