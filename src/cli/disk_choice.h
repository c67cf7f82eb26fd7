#pragma once
// Which USB disks the command line offers and which of them a flash takes.

#include "cli/cli_request.h"
#include "device/device.h"

#include <memory>
#include <string>
#include <vector>

namespace cli {

struct listed_disk {
    // The disk number, as in its physical-drive path.
    unsigned number = 0;
    std::shared_ptr<device> record;
};

// The disks the window would offer: what enumeration lists (USB disks, never the system's)
// above the size floor, in number order.
std::vector<listed_disk> offered_disks(const std::vector<std::shared_ptr<device>>& attached);

struct disk_choice {
    // In the order the worker names go to them: as named, or in number order for --all.
    std::vector<listed_disk> chosen;
    // Disks over 64 GiB that --all does not take.
    std::vector<listed_disk> left_out;
    // Why the request cannot be flashed; empty when it can.
    std::string error;
};

disk_choice choose_disks(const request& asked, const std::vector<listed_disk>& offered);

// "16.00 GB".
std::string size_text(std::uint64_t size);

} // namespace cli
