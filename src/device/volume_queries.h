#pragma once
// Queries shared by enumeration, preparation and the volume finder: which removable volumes
// exist and which disk each one lives on.

#include <windows.h>

#include <string>
#include <vector>

namespace volume_queries {

// "\\?\" followed by the drive letter and colon of `root`, for example \\?\E: for "E:\".
std::string volume_path(const std::string& root);

// The drive roots ("E:\") whose drive type is removable, in the system's order.
std::vector<std::string> removable_roots();

// Opens a disk or volume for reading and writing; INVALID_HANDLE_VALUE on failure.
HANDLE open_read_write(const std::string& path);

// The number of the disk that an open disk or volume belongs to.
bool disk_number(HANDLE handle, DWORD& number);

} // namespace volume_queries
