#include "cli/disk_choice.h"

#include <QString>

#include <algorithm>

namespace cli {

namespace {

// By its number as listed (leading zeros allowed) or its kernel device.
bool is_named(const listed_disk& disk, const std::string& name)
{
    if (name.rfind("/dev/", 0) == 0)
        return disk.record->system_name == name;
    return std::stoul(name) == disk.number;
}

} // namespace

disk_choice choose_disks(const request& asked, const std::vector<listed_disk>& offered)
{
    disk_choice choice;
    auto large = [](const listed_disk& disk) {
        return disk_offer::verdict_for(*disk.record) == disk_offer::verdict::large;
    };
    if (asked.all) {
        for (const listed_disk& disk : offered)
            (large(disk) ? choice.left_out : choice.chosen).push_back(disk);
    } else {
        for (const std::string& name : asked.disks) {
            auto found = std::find_if(offered.begin(), offered.end(),
                                      [&name](const listed_disk& disk) { return is_named(disk, name); });
            if (found == offered.end()) {
                choice.error = "There is no USB disk " + name + " to flash: see --cli list";
                return choice;
            }
            const std::string number = std::to_string(found->number);
            if (std::any_of(choice.chosen.begin(), choice.chosen.end(),
                            [&found](const listed_disk& disk) { return disk.number == found->number; })) {
                choice.error = "Disk " + number + " (" + found->record->system_name + ") is named twice";
                return choice;
            }
            if (large(*found) && !asked.yes) {
                choice.error = "Disk " + number + " is larger than 64 GiB ("
                    + size_text(found->record->size) + "): flash it only with --yes";
                return choice;
            }
            choice.chosen.push_back(*found);
        }
    }
    if (choice.chosen.empty())
        choice.error = "No USB disk to flash";
    return choice;
}

std::string size_text(std::uint64_t size)
{
    return QString::number(size / 1e9, 'f', 2).toStdString() + " GB";
}

} // namespace cli
