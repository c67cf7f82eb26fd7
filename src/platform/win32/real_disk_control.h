#pragma once
// The two requests that only a real block device understands. Called on the real host only.

#include <windows.h>

#include <string>

namespace win32 {

// Asks the kernel to read the partition table again (BLKRRPART).
DWORD reread_partition_table(const std::string& node_path);

// Flushes the device, then asks it to eject its medium (SCSI START STOP UNIT).
DWORD eject_medium(const std::string& node_path);

} // namespace win32
