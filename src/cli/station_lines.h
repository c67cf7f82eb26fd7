#pragma once
// The words of the flashing station on the terminal, and its events as JSON for scripts: which
// stick (its number, kernel device and USB port, as one finds it at the hub), what became of it,
// and the tally when the station stops.

#include "run/flash_station.h"

#include <QJsonObject>

#include <string>
#include <vector>

namespace cli {

// "disk 5 (sdc, port 1-3)".
std::string stick_place(const station_stick& stick);
// 'disk 5 (sdc, port 1-3): "rig5"'; the place alone while it has no name.
std::string stick_name(const station_stick& stick);

// One station event for scripts: {"event": `event`, "disk": 5, "device": "/dev/sdc", "port":
// "1-3", "serial": ..., "worker": ...}.
QJsonObject stick_event(const char* event, const station_stick& stick);

// What the station did until it stopped.
struct station_tally {
    std::vector<std::string> flashed;
    std::vector<std::string> failed;
    std::vector<std::string> stopped;
    int left_alone = 0;

    void count(const station_stick& stick);
    // "Flashed 2 (rig1, rig2), failed 1 (rig3), stopped 0, left alone 1".
    std::string text() const;
    QJsonObject json() const;
};

} // namespace cli
