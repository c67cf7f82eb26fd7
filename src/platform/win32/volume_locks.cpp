#include "volume_locks.h"

#include <mutex>
#include <set>

namespace win32 {
namespace {

std::mutex locks_mutex;
std::set<std::string> locked_volumes;

} // namespace

bool take_volume_lock(const std::string& block_device)
{
    std::lock_guard<std::mutex> lock(locks_mutex);
    return locked_volumes.insert(block_device).second;
}

void release_volume_lock(const std::string& block_device)
{
    std::lock_guard<std::mutex> lock(locks_mutex);
    locked_volumes.erase(block_device);
}

} // namespace win32
