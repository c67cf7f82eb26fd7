// WriteFile on a disk handle: whole sectors only (from sector-aligned memory at sector
// boundaries when unbuffered), written through (the node is open with O_DSYNC), so a call
// returns when its bytes are on the device. A disk that left the host fails with
// ERROR_DEVICE_NOT_CONNECTED; a disk with a mounted file system or swap is never written.

#include "device_handles.h"
#include "errno_error.h"
#include "hooked_call.h"

#include <cerrno>

#include <unistd.h>

namespace {

DWORD checked_write(win32::disk_handle& disk, const char* buffer, DWORD length, DWORD& written)
{
    if (DWORD error = disk.transfer_refusal(buffer, length, true))
        return error;
    if (disk.fd < 0 || disk.in_use())
        return ERROR_ACCESS_DENIED;
    if (disk.position + length > disk.state.size_bytes)
        return ERROR_SECTOR_NOT_FOUND;
    while (written < length) {
        ssize_t done = pwrite(disk.fd, buffer + written, length - written,
                              static_cast<off_t>(disk.position + written));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return disk.failure_of(done < 0 ? errno : ENOSPC);
        written += static_cast<DWORD>(done);
    }
    return ERROR_SUCCESS;
}

} // namespace

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD number_of_bytes_to_write,
                      LPDWORD number_of_bytes_written, LPOVERLAPPED)
{
    return win32::run_transfer(
        file, true, buffer, number_of_bytes_to_write, number_of_bytes_written,
        [&](win32::disk_handle& disk, DWORD& written) {
            // The hooks take the position before the write moves it.
            const DWORD error = win32::run_hooked(
                win32::hooks::call::write, disk.target,
                [&] {
                    return checked_write(disk, static_cast<const char*>(buffer),
                                         number_of_bytes_to_write, written);
                },
                disk.position, number_of_bytes_to_write);
            // A write succeeds whole; a dropped one reports every byte written as well.
            if (error == ERROR_SUCCESS)
                written = number_of_bytes_to_write;
            return error;
        });
}
