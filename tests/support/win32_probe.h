#pragma once
// Looks at the host through the Win32 layer, the way the device code does, for tests.

#include <windows.h>
#include <winioctl.h>

#include <string>
#include <vector>

namespace win32_probe {

struct disk_interface {
    std::string device_path;
    // Empty when the registry has no such property.
    std::string friendly_name;
    std::string description;
};

// The disk interface set, in the order the layer lists it.
std::vector<disk_interface> disk_interfaces();

// Present devices of the "USBSTOR" enumerator.
int usb_storage_count();
// Their device instance IDs, in the order the layer lists them.
std::vector<std::string> usb_storage_ids();

// The roots GetLogicalDriveStringsA lists, as "E:\".
std::vector<std::string> logical_drive_roots();

// Opens `path` read-only and asks IOCTL_STORAGE_GET_DEVICE_NUMBER; returns the error, 0 on
// success.
DWORD device_number(const std::string& path, STORAGE_DEVICE_NUMBER& number);

// The disk number of an open disk or volume handle; -1 when the query fails.
DWORD disk_number_of(HANDLE handle);

// Closes every handle and empties the list, as the writer does at its end.
void close_handles(std::vector<HANDLE>& handles);

// The open flags of the descriptor this process holds on the file at `path`, or -1: how the
// layer opened a disk's node.
int open_flags_of(const std::string& path);

} // namespace win32_probe
