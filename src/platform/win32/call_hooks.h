#pragma once
// The points where the layer lets a process watch and steer its calls. The program links
// no_call_hooks.cpp, which lets every call run unwatched and holds no lock; the tests link their
// machinery in its place (journal, injected failures, drops and holds, listing counts).
//
// A target is the path the handle was opened with, as "\\.\PhysicalDrive1" or "\\?\E:"
// (interface paths stand for the physical drive).

#include <windows.h>

#include <cstdint>
#include <string>

namespace win32 {
namespace hooks {

// The device-changing calls (lock to write), then the others that can be steered: the
// unbuffered open of a disk (`direct_io`), a read of a disk, the two listings that code
// polls: the USB storage devices (target "USBSTOR") and the drive letters (target ""), a look
// at every disk of the host (`host_scan`, target ""), which each listing takes and anything
// that finds a disk or volume no earlier look saw, and each path looked up under the host root
// (`host_lookup`, target the path), what every answer of the layer costs. Neither can fail.
enum class call { lock, dismount, delete_layout, update_properties, eject, write, direct_io,
                  usb_storage_listing, drive_listing, read, host_scan, host_lookup };

// What a call is to do, as decided before it does anything.
struct verdict {
    // False: the call does nothing and ends with `error`; ERROR_SUCCESS reports a success.
    bool run = true;
    DWORD error = ERROR_SUCCESS;
};

// Asked by every call above before it does anything. It may wait.
verdict before(call what, const std::string& target);

// Told when a device-changing call has ended with `error`; a write with where it began and how
// much was asked for.
void after(call what, const std::string& target, DWORD error, std::uint64_t offset = 0,
           std::uint64_t length = 0);

// In a fake root a disk is a file whose partition table no kernel reads: asked at each update of
// the properties of the disk at `node_path` to read it instead.
void reread_fake_partition_table(const std::string& node_path);

} // namespace hooks
} // namespace win32
