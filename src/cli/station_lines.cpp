#include "cli/station_lines.h"

#include <QJsonArray>

namespace {

// "sdc, port 1-3": what tells the stick apart at the hub.
std::string where(const device& disk)
{
    std::string place = disk.system_name.rfind("/dev/", 0) == 0 ? disk.system_name.substr(5) : disk.system_name;
    if (place.empty())
        place = disk.path;
    if (!disk.port.empty())
        place += ", port " + disk.port;
    return place;
}

std::string counted(const std::vector<std::string>& names)
{
    std::string text = std::to_string(names.size());
    for (std::size_t index = 0; index < names.size(); ++index)
        text += (index == 0 ? " (" : ", ") + names[index];
    return names.empty() ? text : text + ')';
}

QJsonArray array_of(const std::vector<std::string>& names)
{
    QJsonArray array;
    for (const std::string& name : names)
        array.append(QString::fromStdString(name));
    return array;
}

} // namespace

namespace cli {

std::string stick_place(const station_stick& stick)
{
    return "disk " + std::to_string(stick.number) + " (" + where(*stick.disk) + ")";
}

std::string stick_name(const station_stick& stick)
{
    return stick.worker_name.empty() ? stick_place(stick) : stick_place(stick) + ": \"" + stick.worker_name + '"';
}

QJsonObject stick_event(const char* event, const station_stick& stick)
{
    return QJsonObject {
        {"event", event},
        {"disk", static_cast<qint64>(stick.number)},
        {"device", QString::fromStdString(stick.disk->system_name)},
        {"port", QString::fromStdString(stick.disk->port)},
        {"serial", QString::fromStdString(stick.disk->serial)},
        {"worker", QString::fromStdString(stick.worker_name)},
    };
}

void station_tally::count(const station_stick& stick)
{
    // A stick refused before it had a name is counted by its place.
    const std::string name = stick.worker_name.empty() ? stick_place(stick) : stick.worker_name;
    switch (stick.outcome) {
    case disk_outcome::verified:
    case disk_outcome::written:
        flashed.push_back(name);
        break;
    case disk_outcome::canceled:
        stopped.push_back(name);
        break;
    case disk_outcome::failed:
    case disk_outcome::pending:
        failed.push_back(name);
        break;
    }
}

std::string station_tally::text() const
{
    return "Flashed " + counted(flashed) + ", failed " + counted(failed) + ", stopped " + counted(stopped)
        + ", left alone " + std::to_string(left_alone);
}

QJsonObject station_tally::json() const
{
    return QJsonObject {
        {"event", "stopped"},
        {"flashed", array_of(flashed)},
        {"failed", array_of(failed)},
        {"stopped", array_of(stopped)},
        {"left_alone", left_alone},
    };
}

} // namespace cli
