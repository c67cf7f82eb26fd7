#include "device/disk_reading.h"

#include "device/device_windows.h"

#include <windows.h>

namespace disk_reading {

QByteArray read(const device& disk, std::uint64_t offset, std::size_t length)
{
    const auto& record = static_cast<const device_windows&>(disk);
    const std::uint64_t sector = record.bytes_per_sector ? record.bytes_per_sector : 512;
    const std::uint64_t start = offset / sector * sector;
    const std::uint64_t end = (offset + length + sector - 1) / sector * sector;
    // Shared both ways: a disk another run writes is looked at as it is, and left to it.
    HANDLE opened = CreateFileA(record.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return QByteArray();
    QByteArray sectors(int(end - start), '\0');
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(start);
    DWORD done = 0;
    const bool read_whole = SetFilePointerEx(opened, position, nullptr, FILE_BEGIN)
        && ReadFile(opened, sectors.data(), DWORD(sectors.size()), &done, nullptr) && done == DWORD(sectors.size());
    CloseHandle(opened);
    return read_whole ? sectors.mid(int(offset - start), int(length)) : QByteArray();
}

} // namespace disk_reading
