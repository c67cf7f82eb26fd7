#include "cli/stick_contents_command.h"

#include "cli/disk_choice.h"
#include "cli/exit_status.h"
#include "cli/text_table.h"
#include "device/device_manager.h"
#include "run/stick_contents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>
#include <vector>

namespace {

using stick_found = std::pair<cli::listed_disk, stick_contents::finding>;

QString or_dash(const std::string& text)
{
    return text.empty() ? QString("-") : QString::fromStdString(text);
}

// "partition table", "no partition table" or "unreadable".
QString image_state(const stick_contents::finding& found)
{
    return !found.readable ? "unreadable" : found.partition_table ? "partition table" : "no partition table";
}

std::string table(const std::vector<stick_found>& sticks)
{
    QList<QStringList> rows {{"DISK", "DEVICE", "PORT", "WORKER", "GROUP", "LOCATION", "RELEASE", "START"}};
    for (const auto& [disk, found] : sticks) {
        const bool known = found.configuration_found;
        rows.append({QString::number(disk.number), or_dash(disk.record->system_name), or_dash(disk.record->port),
                     known ? or_dash(found.worker) : QString("-"), known ? or_dash(found.group) : QString("-"),
                     known ? or_dash(found.location) : QString("-"),
                     found.flashed ? or_dash(found.flashed->image) : QString("-"), image_state(found)});
    }
    return cli::text_table(rows, {0});
}

std::string json(const std::vector<stick_found>& sticks)
{
    QJsonArray array;
    for (const auto& [disk, found] : sticks) {
        QJsonObject stick {
            {"number", static_cast<qint64>(disk.number)},
            {"device", QString::fromStdString(disk.record->system_name)},
            {"port", QString::fromStdString(disk.record->port)},
            {"serial", QString::fromStdString(disk.record->serial)},
            {"readable", found.readable},
            {"partition_table", found.partition_table},
            {"configuration_found", found.configuration_found},
        };
        if (found.configuration_found) {
            stick["worker"] = QString::fromStdString(found.worker);
            stick["group"] = QString::fromStdString(found.group);
            stick["location"] = QString::fromStdString(found.location);
        }
        if (found.flashed) {
            stick["release"] = QString::fromStdString(found.flashed->image);
            stick["md5"] = QString::fromStdString(found.flashed->md5);
            stick["flashed_at"] = QString::fromStdString(found.flashed->time);
        }
        array.append(stick);
    }
    return QJsonDocument(array).toJson().toStdString();
}

} // namespace

namespace cli {

int show_stick_contents(const request& asked, const std::string& data_folder, console& io)
{
    device_manager devices;
    const std::vector<listed_disk> offered = disk_offer::offered(devices.get_devices());
    std::vector<listed_disk> chosen = offered;
    if (!asked.disks.empty()) {
        // Named disks, large ones too: looking writes nothing.
        request named = asked;
        named.yes = true;
        const disk_choice choice = choose_disks(named, offered);
        if (!choice.error.empty()) {
            io.err << choice.error << std::endl;
            return exit_status::refused;
        }
        chosen = choice.chosen;
    }
    if (chosen.empty()) {
        io.out << "No USB disk found\n";
        return exit_status::done;
    }
    std::vector<stick_found> sticks;
    for (const listed_disk& disk : chosen)
        sticks.emplace_back(disk, stick_contents::read(data_folder, *disk.record));
    io.out << (asked.json ? json(sticks) : table(sticks));
    return exit_status::done;
}

} // namespace cli
