#pragma once
// Whole-sector transfers at chosen places of a disk opened unbuffered, through the disk handle:
// the disk takes and gives whole sectors only, from sector-aligned memory.

#include <windows.h>

#include <cstddef>
#include <cstdint>

class disk_transfer {
public:
    disk_transfer(HANDLE disk, std::uint32_t bytes_per_sector);

    // `length` rounded up to whole sectors.
    std::size_t padded(std::size_t length) const;

    // Writes the `length` bytes of `buffer` at `offset`, the last partial sector padded with
    // zeros: `buffer` must hold padded(length) bytes and be aligned. Returns 0 or the error the
    // write ended with; `written` gets the bytes of the `length` that the disk took.
    DWORD write(std::uint64_t offset, char* buffer, std::size_t length, std::size_t& written);
    // As write(), for an aligned buffer that holds zeros already up to whole sectors past
    // `length`, and stays as it is: other copies may be writing it at the same time.
    DWORD write_padded(std::uint64_t offset, const char* buffer, std::size_t length, std::size_t& written);
    // Reads padded(length) bytes at `offset` into the aligned `buffer`; 0 or the error.
    DWORD read(std::uint64_t offset, char* buffer, std::size_t length);

private:
    bool m_move_to(std::uint64_t offset);

    HANDLE m_disk;
    std::uint32_t m_bytes_per_sector;
};
