#include "run/disk_offer.h"

#include "device/device_windows.h"
#include "device/disk_sizes.h"

#include <algorithm>

namespace disk_offer {

verdict verdict_for(const device& disk)
{
    if (disk.size <= disk_sizes::minimum_size)
        return verdict::too_small;
    if (disk.size > disk_sizes::confirmation_threshold)
        return verdict::large;
    return verdict::offered;
}

const char* verdict_text(verdict why)
{
    switch (why) {
    case verdict::too_small:
        return "too small, 2 GB or less";
    case verdict::large:
        return "larger than 64 GiB";
    case verdict::offered:
        break;
    }
    return "";
}

unsigned number_of(const device& disk)
{
    // Every record the device layer makes is a Windows disk; the number is in its path too.
    return static_cast<const device_windows&>(disk).number;
}

std::vector<offered_disk> offered(const std::vector<std::shared_ptr<device>>& attached)
{
    std::vector<offered_disk> result;
    for (const std::shared_ptr<device>& disk : attached)
        if (verdict_for(*disk) != verdict::too_small)
            result.push_back({number_of(*disk), disk});
    std::sort(result.begin(), result.end(),
              [](const offered_disk& a, const offered_disk& b) { return a.number < b.number; });
    return result;
}

} // namespace disk_offer
