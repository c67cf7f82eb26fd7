#pragma once
// Which attached disks a run may flash, and why not: the one rule behind the window's list, the
// command line's list and flash, and the station. Enumeration lists USB disks only, never the
// system's, so the size is what is left to decide.

#include "device/device.h"

#include <memory>
#include <vector>

namespace disk_offer {

enum class verdict {
    offered,
    // 2 GB or less: the image does not fit.
    too_small,
    // Larger than 64 GiB: more likely a hard disk than a stick, so flashed only when the user
    // confirms it by name; never as one of every stick at once.
    large,
};

verdict verdict_for(const device& disk);

// Why a disk is not offered as is, in the words of a line that names the disk:
// "too small, 2 GB or less", "larger than 64 GiB"; empty for an offered disk.
const char* verdict_text(verdict why);

struct offered_disk {
    // The disk number, as in its physical-drive path.
    unsigned number = 0;
    std::shared_ptr<device> record;
};

unsigned number_of(const device& disk);

// The disks of `attached` that may be flashed, large ones included, in number order.
std::vector<offered_disk> offered(const std::vector<std::shared_ptr<device>>& attached);

} // namespace disk_offer
