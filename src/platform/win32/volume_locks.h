#pragma once
// Which volumes are locked by a handle of this process: a second lock is refused.

#include <string>

namespace win32 {

bool take_volume_lock(const std::string& block_device);
void release_volume_lock(const std::string& block_device);

} // namespace win32
