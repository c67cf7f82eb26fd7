#include "device/volume_queries.h"

#include <winioctl.h>

#include <cstring>

namespace volume_queries {

std::string volume_path(const std::string& root)
{
    return "\\\\?\\" + root.substr(0, 2);
}

std::vector<std::string> removable_roots()
{
    char buffer[260] = {};
    const DWORD length = GetLogicalDriveStringsA(sizeof buffer, buffer);
    std::vector<std::string> roots;
    if (length == 0 || length >= sizeof buffer)
        return roots;
    for (const char* root = buffer; *root; root += std::strlen(root) + 1)
        if (GetDriveTypeA(root) == DRIVE_REMOVABLE)
            roots.emplace_back(root);
    return roots;
}

HANDLE open_read_write(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool disk_number(HANDLE handle, DWORD& number)
{
    STORAGE_DEVICE_NUMBER device_number {};
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &device_number,
                         sizeof device_number, &returned, nullptr))
        return false;
    number = device_number.DeviceNumber;
    return true;
}

} // namespace volume_queries
