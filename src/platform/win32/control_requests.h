#pragma once
// DeviceIoControl, split by the kind of handle it is sent to.

#include "device_handles.h"

#include <windows.h>

namespace win32 {

struct control_request {
    DWORD code = 0;
    LPVOID in_buffer = nullptr;
    DWORD in_size = 0;
    LPVOID out_buffer = nullptr;
    DWORD out_size = 0;
    DWORD returned = 0;
};

// Each returns ERROR_SUCCESS or the error the call fails with.
DWORD disk_control(disk_handle& disk, control_request& request);
DWORD volume_control(volume_handle& volume, control_request& request);

} // namespace win32
