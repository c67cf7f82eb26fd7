#include "control_requests.h"

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD io_control_code, LPVOID in_buffer,
                            DWORD in_buffer_size, LPVOID out_buffer, DWORD out_buffer_size,
                            LPDWORD bytes_returned, LPOVERLAPPED)
{
    if (bytes_returned)
        *bytes_returned = 0;
    win32::control_request request {io_control_code, in_buffer, in_buffer_size, out_buffer,
                                    out_buffer_size, 0};
    DWORD error = ERROR_INVALID_HANDLE;
    win32::kernel_object* object = win32::find_object(device);
    if (auto* disk = dynamic_cast<win32::disk_handle*>(object))
        error = win32::disk_control(*disk, request);
    else if (auto* volume = dynamic_cast<win32::volume_handle*>(object))
        error = win32::volume_control(*volume, request);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (bytes_returned)
        *bytes_returned = request.returned;
    return TRUE;
}
