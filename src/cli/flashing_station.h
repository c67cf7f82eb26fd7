#pragma once
// `--cli watch` on the terminal: what the flashing station reports, a line per event. A line
// tells when a stick starts, when it ends (with a bell) and why a stick is left alone; Ctrl-C
// stops the writes in flight and ends the station.

#include "cli/console.h"
#include "run/flash_station.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <string>

namespace cli {

class flashing_station : public QObject {
    Q_OBJECT

public:
    flashing_station(const std::string& data_folder, const flash_station::options& asked, console& io);

    // Runs until Ctrl-C, or until the station cannot go on: 130 interrupted, 1 no image.
    int run();

private:
    void m_ended(const station_stick& stick);
    void m_left_alone(const station_stick& stick, station_leave why, const QString& words);
    void m_finished(run_outcome outcome);
    void m_look_for_interrupt();
    void m_line(const std::string& text);
    static std::string m_name(const station_stick& stick);

    const bool m_fetches_release;
    console& m_io;
    flash_station m_station;
    bool m_interrupted = false;
    int m_status = 0;
    QTimer m_interrupt_poll;
    QEventLoop m_loop;
};

} // namespace cli
