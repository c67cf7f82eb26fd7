#include "device/volume_queries.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

namespace volume_queries {

std::string physical_drive_path(DWORD number)
{
    return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

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

HANDLE open_unbuffered(const std::string& path)
{
    // Cleared first: most opens that succeed leave the last error as it was.
    SetLastError(ERROR_SUCCESS);
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
}

HANDLE lock_volume(const std::string& path)
{
    HANDLE volume = CreateFileA(path.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return volume;
    DWORD returned = 0;
    DeviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    return volume;
}

bool is_attached(const std::string& path)
{
    HANDLE opened = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    CloseHandle(opened);
    return true;
}

bool holds_no_partition(HANDLE disk)
{
    // Room for the 128 entries of a GPT.
    std::vector<BYTE> answer(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)
                             + 128 * sizeof(PARTITION_INFORMATION_EX));
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, answer.data(),
                         static_cast<DWORD>(answer.size()), &returned, nullptr))
        return false;
    const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(answer.data());
    // An MBR lists its four slots, empty ones with no length.
    for (DWORD index = 0; index < layout->PartitionCount; ++index)
        if (layout->PartitionEntry[index].PartitionLength.QuadPart > 0)
            return false;
    return true;
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

bool is_usb_disk(HANDLE disk)
{
    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_DEVICE_DESCRIPTOR descriptor {};
    DWORD returned = 0;
    return DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                           sizeof descriptor, &returned, nullptr)
        && descriptor.BusType == BusTypeUsb;
}

std::string serial_number(HANDLE disk)
{
    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    // The descriptor, then the strings it points into.
    std::vector<DWORD> answer(1024 / sizeof(DWORD), 0);
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer.data(),
                         static_cast<DWORD>(answer.size() * sizeof(DWORD)), &returned, nullptr)
        || returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
        return std::string();
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer.data());
    const char* bytes = reinterpret_cast<const char*>(answer.data());
    if (descriptor->SerialNumberOffset == 0 || descriptor->SerialNumberOffset >= returned)
        return std::string();
    return std::string(bytes + descriptor->SerialNumberOffset,
                       strnlen(bytes + descriptor->SerialNumberOffset, returned - descriptor->SerialNumberOffset));
}

bool disk_size(HANDLE disk, std::uint64_t& size, std::uint32_t& bytes_per_sector)
{
    DISK_GEOMETRY geometry {};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                         &returned, nullptr))
        return false;
    bytes_per_sector = geometry.BytesPerSector;
    size = static_cast<std::uint64_t>(geometry.Cylinders.QuadPart)
        * (static_cast<std::uint64_t>(geometry.TracksPerCylinder) * geometry.SectorsPerTrack
           * geometry.BytesPerSector);
    return true;
}

disk_probe probe_disk(const std::string& path, disk_facts& facts)
{
    HANDLE disk = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (disk == INVALID_HANDLE_VALUE)
        return disk_probe::cannot_open;
    DWORD returned = 0;
    disk_probe probe = disk_probe::usb_disk;
    if (!DeviceIoControl(disk, IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned, nullptr))
        probe = disk_probe::not_writable;
    else if (!is_usb_disk(disk))
        probe = disk_probe::not_usb;
    else if (!disk_number(disk, facts.number) || !disk_size(disk, facts.size, facts.bytes_per_sector))
        probe = disk_probe::unreadable;
    else
        facts.serial = serial_number(disk);
    const DWORD error = GetLastError();
    CloseHandle(disk);
    SetLastError(error);
    return probe;
}

std::vector<removable_volume> removable_volumes()
{
    std::vector<removable_volume> volumes;
    for (const std::string& root : removable_roots()) {
        const std::string path = volume_path(root);
        HANDLE volume = open_read_write(path);
        if (volume == INVALID_HANDLE_VALUE)
            continue;
        DWORD volume_disk = 0;
        if (disk_number(volume, volume_disk))
            volumes.push_back({path, volume_disk});
        CloseHandle(volume);
    }
    return volumes;
}

std::vector<std::string> volumes_on(const std::vector<removable_volume>& volumes, DWORD number)
{
    std::vector<std::string> paths;
    for (const removable_volume& volume : volumes)
        if (volume.disk == number)
            paths.push_back(volume.path);
    return paths;
}

std::vector<std::string> removable_volumes_of(DWORD number)
{
    return volumes_on(removable_volumes(), number);
}

} // namespace volume_queries
