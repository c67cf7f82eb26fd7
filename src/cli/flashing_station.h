#pragma once
// `--cli watch` on the terminal: what the flashing station reports, for a person standing at
// it. A line per event names the stick by its number, kernel device and USB port, with its
// worker name; a stick's start and end ring the bell; on a terminal a progress line per stick
// being flashed; a failure is told once, on the error stream; the tally when the station stops.
// With --json, one JSON object per event and line instead, for scripts. Ctrl-C stops the writes
// in flight and ends the station.

#include "cli/console.h"
#include "cli/progress_lines.h"
#include "cli/station_lines.h"
#include "run/flash_station.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <map>
#include <string>

namespace cli {

class flashing_station : public QObject {
    Q_OBJECT

public:
    flashing_station(const std::string& data_folder, const flash_station::options& asked, bool json,
                     console& io);

    // Runs until Ctrl-C, or until the station cannot go on: 130 interrupted, 1 no image.
    int run();

private:
    void m_started(const station_stick& stick);
    void m_progress_of(const station_stick& stick, disk_progress_kind kind, qint64 done, qint64 total);
    void m_ended(const station_stick& stick);
    void m_left_alone(const station_stick& stick, station_leave why, const QString& words);
    void m_finished(run_outcome outcome);
    void m_look_for_interrupt();
    void m_line(const std::string& text);
    void m_event(const QJsonObject& event);

    const bool m_fetches_release;
    const bool m_json;
    console& m_io;
    flash_station m_station;
    progress_lines m_progress;
    // The progress line of each stick being flashed, by its physical-drive path; on a terminal.
    std::map<std::string, std::size_t> m_lines;
    station_tally m_tally;
    bool m_interrupted = false;
    int m_status = 0;
    QTimer m_interrupt_poll;
    QEventLoop m_loop;
};

} // namespace cli
