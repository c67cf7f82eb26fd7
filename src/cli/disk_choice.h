#pragma once
// Which USB disks the command line offers and which of them a flash takes.

#include "cli/cli_request.h"
#include "run/disk_offer.h"

#include <memory>
#include <string>
#include <vector>

namespace cli {

using listed_disk = disk_offer::offered_disk;

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
