#pragma once
// Tells a folder that may not be written (no rights, a read-only file system) from a full disk
// by the error the system gave: the first is the user's to fix where the folder is, the second
// by making room.

#include <string>
#include <system_error>

namespace write_refusal {

bool is_refusal(const std::error_code& error);
// For an errno value, as the C library's file calls leave it.
bool is_refusal(int error_number);

// The folder a file at `path` could not be written in: the nearest of its parent folders that
// exists.
std::string failed_folder(const std::string& path);

} // namespace write_refusal
