// ReadFile and SetFilePointerEx on a disk handle. Reads follow the rules of writes (whole
// sectors; sector-aligned memory and positions when unbuffered) and, on an unbuffered handle,
// come from the device, not from the page cache. Past the disk's end nothing more is read.

#include "call_hooks.h"
#include "device_handles.h"
#include "errno_error.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {

DWORD checked_read(win32::disk_handle& disk, char* buffer, DWORD length, DWORD& read)
{
    if (DWORD error = disk.transfer_refusal(buffer, length, false))
        return error;
    const win32::hooks::verdict verdict =
        win32::hooks::before(win32::hooks::call::read, disk.target);
    if (!verdict.run)
        return verdict.error;
    const int descriptor = disk.read_descriptor();
    if (descriptor < 0)
        return win32::error_from_errno(errno);
    const std::uint64_t left =
        disk.state.size_bytes - std::min(disk.position, disk.state.size_bytes);
    const DWORD wanted = static_cast<DWORD>(std::min<std::uint64_t>(length, left));
    while (read < wanted) {
        ssize_t done = pread(descriptor, buffer + read, wanted - read,
                             static_cast<off_t>(disk.position + read));
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0)
            break;
        if (done < 0)
            return disk.failure_of(errno);
        read += static_cast<DWORD>(done);
    }
    return ERROR_SUCCESS;
}

BOOL failed(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

} // namespace

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD number_of_bytes_to_read,
                     LPDWORD number_of_bytes_read, LPOVERLAPPED)
{
    return win32::run_transfer(file, false, buffer, number_of_bytes_to_read, number_of_bytes_read,
                               [&](win32::disk_handle& disk, DWORD& read) {
                                   return checked_read(disk, static_cast<char*>(buffer),
                                                       number_of_bytes_to_read, read);
                               });
}

BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance_to_move,
                             PLARGE_INTEGER new_file_pointer, DWORD move_method)
{
    auto* disk = win32::object_of<win32::disk_handle>(file);
    if (!disk)
        return FALSE;
    LONGLONG base = 0;
    switch (move_method) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = static_cast<LONGLONG>(disk->position);
        break;
    case FILE_END:
        if (!disk->still_present())
            return failed(ERROR_DEVICE_NOT_CONNECTED);
        base = static_cast<LONGLONG>(disk->state.size_bytes);
        break;
    default:
        return failed(ERROR_INVALID_PARAMETER);
    }
    const LONGLONG position = base + distance_to_move.QuadPart;
    if (position < 0)
        return failed(ERROR_NEGATIVE_SEEK);
    disk->position = static_cast<std::uint64_t>(position);
    if (new_file_pointer)
        new_file_pointer->QuadPart = position;
    return TRUE;
}
