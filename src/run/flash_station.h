#pragma once
// A flashing station: the image made ready once, then every USB stick plugged in from then on
// is flashed as soon as it comes, each by a flash job of its own, several at once when several
// come. Every stick takes the next name from the worker counter in the settings, as a batch
// does; a template named for the station is made the settings' own once, at the start, and
// counted on from there. Sticks attached before it started are never touched, and a stick it
// leaves alone is told with the reason: too small, larger than 64 GiB, being flashed by another
// station on the data folder, or flashed and verified a moment ago (by this station or
// another), which a farm otherwise takes for a new stick when it is plugged in again.

#include "device/device.h"
#include "run/flash_job.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <list>
#include <memory>
#include <set>
#include <string>

class device_manager;

// Why the station leaves a stick alone.
enum class station_leave {
    // 2 GB or less, as the window and the list leave it out.
    too_small,
    // Over 64 GiB: more likely a hard disk than a stick.
    too_large,
    // Another station on the data folder is flashing it.
    claimed_elsewhere,
    // Flashed and verified a moment ago.
    just_flashed,
};

// A stick at the station, as the front end shows it.
struct station_stick {
    std::shared_ptr<device> disk;
    // Its disk number, as in its physical-drive path.
    unsigned number = 0;
    // Empty until the stick's name is handed out.
    std::string worker_name;
    disk_outcome outcome = disk_outcome::pending;
    // Why it failed: the failure's text.
    std::string failure;
};

class flash_station : public QObject {
    Q_OBJECT

public:
    struct options {
        // The values, the image file and whether to read back; the disks are the station's.
        flash_request request;
        // The worker template in the values was named for the station, not taken from the
        // settings.
        bool worker_named = false;
        // A stick flashed and verified a moment ago is flashed again all the same.
        bool again = false;
    };

    // How long a stick flashed and verified counts as just flashed.
    static const std::chrono::minutes just_flashed;

    flash_station(const std::string& data_folder, const options& asked);
    // Stops whatever runs and waits for the writers.
    ~flash_station() override;

    // Makes the image ready, then watches; finished() once it cannot go on, or after stop().
    void start();
    // Stops the writes in flight; finished(stopped) follows once every stick has let go.
    void stop();
    // Why the station could not start: the image or the settings; empty otherwise.
    const QString& failure() const;

signals:
    void download_started(QString tag);
    // The cached release used offline, or a failure, told as it happens.
    void message(QString text, bool is_error);
    // The image is ready: sticks plugged in from now on are flashed.
    void watching();
    void stick_started(const station_stick& stick);
    // `done` of `total` bytes of the stick's write or read-back.
    void stick_progress(const station_stick& stick, disk_progress_kind kind, qint64 done, qint64 total);
    void stick_ended(const station_stick& stick);
    // `words`: the station's for `why`.
    void stick_left_alone(const station_stick& stick, station_leave why, QString words);
    void finished(run_outcome outcome);

private:
    // One stick being flashed: its job, the device manager that prepares it, and its claim.
    struct stick_run;

    void m_image_ready(run_outcome outcome);
    void m_look_for_sticks();
    void m_take(const std::shared_ptr<device>& stick);
    void m_stick_ended(stick_run& run);
    void m_end(run_outcome outcome);

    const std::string m_data_folder;
    const options m_asked;
    // Watches the sticks come and go.
    std::unique_ptr<device_manager> m_watch;
    // Fetches the image before the first stick; it prepares no disk.
    std::unique_ptr<flash_job> m_image_job;
    // The disks seen so far, by path: those there at the start, and each one looked at since.
    std::set<std::string> m_seen;
    std::list<std::unique_ptr<stick_run>> m_runs;
    bool m_watching = false;
    bool m_stopping = false;
    bool m_finished = false;
    QString m_failure;
};
