#pragma once
// `--cli watch`: a flashing station. The image is made ready once; from then on every USB stick
// plugged in is flashed as soon as it comes, each by a flash job of its own with the next worker
// name, several at once when several come. A line tells when a stick starts and when it ends,
// with a bell on the terminal at each end. Sticks attached before the station started, and disks
// that are not USB sticks the window would offer, are never touched. Ctrl-C stops the writes in
// flight and ends the station.

#include "cli/console.h"
#include "run/flash_job.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <list>
#include <memory>
#include <set>
#include <string>

class device_manager;

namespace cli {

class flashing_station : public QObject {
    Q_OBJECT

public:
    flashing_station(const std::string& data_folder, const flash_request& request, console& io);
    ~flashing_station() override;

    // Runs until Ctrl-C, or until the image cannot be had: 130 interrupted, 1 no image.
    int run();

private:
    // One stick at the station: its job and the device manager that prepares it.
    struct station_run;

    void m_image_ready(run_outcome outcome);
    void m_look_for_sticks();
    void m_start(const std::shared_ptr<device>& stick, unsigned number);
    void m_ended(station_run& run);
    void m_look_for_interrupt();
    void m_line(const std::string& text);

    const std::string m_data_folder;
    const flash_request m_request;
    console& m_io;
    // Watches the sticks come and go.
    std::unique_ptr<device_manager> m_watch;
    // Fetches the image before the first stick.
    std::unique_ptr<flash_job> m_image_job;
    // The disks seen so far, by path: those there at the start, and each one taken.
    std::set<std::string> m_seen;
    std::list<std::unique_ptr<station_run>> m_runs;
    bool m_watching = false;
    bool m_interrupted = false;
    int m_status = 0;
    QTimer m_interrupt_poll;
    QEventLoop m_loop;
};

} // namespace cli
