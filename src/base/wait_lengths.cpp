#include "base/wait_lengths.h"

#include <mutex>

namespace {

// Read by the device watch and volume finder threads as well.
std::mutex lengths_mutex;

wait_lengths& lengths()
{
    static wait_lengths process_lengths;
    return process_lengths;
}

} // namespace

wait_lengths wait_lengths::current()
{
    std::lock_guard<std::mutex> lock(lengths_mutex);
    return lengths();
}

void wait_lengths::set(const wait_lengths& new_lengths)
{
    std::lock_guard<std::mutex> lock(lengths_mutex);
    lengths() = new_lengths;
}
