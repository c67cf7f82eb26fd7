#include "writing/disk_transfer.h"

#include <algorithm>

namespace {

// The error of a call that failed; some report none.
DWORD transfer_error()
{
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

} // namespace

disk_transfer::disk_transfer(HANDLE disk, std::uint32_t bytes_per_sector)
    : m_disk(disk)
    , m_bytes_per_sector(bytes_per_sector)
{
}

std::size_t disk_transfer::padded(std::size_t length) const
{
    return (length + m_bytes_per_sector - 1) / m_bytes_per_sector * m_bytes_per_sector;
}

bool disk_transfer::m_move_to(std::uint64_t offset)
{
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(m_disk, position, nullptr, FILE_BEGIN);
}

DWORD disk_transfer::write(std::uint64_t offset, char* buffer, std::size_t length,
                           std::size_t& written)
{
    std::fill(buffer + length, buffer + padded(length), '\0');
    return write_padded(offset, buffer, length, written);
}

DWORD disk_transfer::write_padded(std::uint64_t offset, const char* buffer, std::size_t length,
                                  std::size_t& written)
{
    written = 0;
    const std::size_t whole = padded(length);
    if (!m_move_to(offset))
        return transfer_error();
    DWORD done = 0;
    // Judged by its own outcome, never by an error left from earlier calls.
    const BOOL succeeded = WriteFile(m_disk, buffer, static_cast<DWORD>(whole), &done, nullptr);
    written = std::min<std::size_t>(done, length);
    return succeeded ? ERROR_SUCCESS : transfer_error();
}

DWORD disk_transfer::read(std::uint64_t offset, char* buffer, std::size_t length)
{
    const std::size_t whole = padded(length);
    DWORD done = 0;
    if (!m_move_to(offset) || !ReadFile(m_disk, buffer, static_cast<DWORD>(whole), &done, nullptr))
        return transfer_error();
    return done == whole ? ERROR_SUCCESS : ERROR_HANDLE_EOF;
}
