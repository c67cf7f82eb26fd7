// Drive letters as the disk registry gives them out, and the system folder on the volume that
// holds "/".

#include "call_hooks.h"
#include "disk_registry.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

DWORD WINAPI GetLogicalDrives()
{
    DWORD drives = 0;
    for (const win32::host_volume& volume : win32::scan_host().volumes)
        drives |= 1u << (volume.letter - 'A');
    return drives;
}

DWORD WINAPI GetLogicalDriveStringsA(DWORD buffer_length, LPSTR buffer)
{
    const win32::hooks::verdict verdict =
        win32::hooks::before(win32::hooks::call::drive_listing, "");
    if (!verdict.run) {
        SetLastError(verdict.error);
        return 0;
    }
    std::string strings;
    for (const win32::host_volume& volume : win32::scan_host().volumes)
        strings += std::string(1, volume.letter) + ":\\" + '\0';
    if (!buffer || buffer_length < strings.size() + 1)
        return static_cast<DWORD>(strings.size() + 1);
    std::memcpy(buffer, strings.data(), strings.size());
    buffer[strings.size()] = '\0';
    return static_cast<DWORD>(strings.size());
}

UINT WINAPI GetDriveTypeA(LPCSTR root_path_name)
{
    if (!root_path_name || !std::isalpha(static_cast<unsigned char>(root_path_name[0]))
        || root_path_name[1] != ':'
        || (root_path_name[2] != '\0' && (root_path_name[2] != '\\' || root_path_name[3] != '\0')))
        return DRIVE_NO_ROOT_DIR;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root_path_name[0])));
    win32::host_volume volume;
    if (!win32::find_volume(letter, volume))
        return DRIVE_NO_ROOT_DIR;
    return volume.removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    static const char system_directory[] = "C:\\Windows\\System32";
    const UINT length = sizeof system_directory - 1;
    if (!buffer || size < length + 1)
        return length + 1;
    std::memcpy(buffer, system_directory, length + 1);
    return length;
}
