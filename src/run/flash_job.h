#pragma once
// One flash run below the window and the command line alike: the image got (run/image_source.h),
// the worker names handed out (run/worker_names.h), then the disks prepared, written and read
// back (run/disk_batch.h). The job moves through the stages of its transition table
// (run/transitions.h), handing each step to the part that does it, and reports a stage and an
// outcome per disk and one for the run; the front ends only present them.
//
// Who may touch a disk record's handles and volumes, stage by stage: device/device_windows.h.

#include "config/inputs.h"
#include "device/device.h"
#include "run/job_stage.h"
#include "run/worker_names.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class device_manager;
class disk_batch;
class image_source;

struct flash_request {
    // The form's values; the worker template numbers the disks in their order.
    inputs values;
    // Whose worker template that is.
    worker_names::template_source worker_template = worker_names::template_source::given;
    std::vector<std::shared_ptr<device>> disks;
    // A gzip image to flash; empty: the latest release, through the cache.
    std::string image_file;
    bool verify = true;
    // Only the latest release will do: a release in the cache does not stand in for one that
    // cannot be had.
    bool latest_only = false;
    // Asked before the disks are prepared: false when the front end's choice changed meanwhile
    // (the window's list shows another disk), which ends the run with nothing touched.
    std::function<bool()> still_chosen;
};

// What the front ends show of one disk of a run.
struct disk_report {
    std::shared_ptr<device> disk;
    // Empty until the names are handed out.
    std::string worker_name;
    disk_stage stage = disk_stage::waiting;
    disk_outcome outcome = disk_outcome::pending;
    // Why it failed: the failure's text.
    std::string failure;
    // Refused before anything of it was touched, and before it had a name.
    bool untouched = false;
};

class flash_job : public QObject {
    Q_OBJECT

public:
    // The retriever asks the endpoints of the build, or those given on the command line.
    flash_job(const std::string& data_folder, device_manager& devices);
    // Stops whatever runs and waits for the writers: no disk is written once the job is gone.
    ~flash_job() override;

    // The check for the latest release when a front end starts.
    void check_at_start();
    // FLASH: ignored unless the job is idle or only checking at start.
    void flash(const flash_request& request);
    // The answer to download_offered().
    void accept_download();
    void decline_download();
    // Stops the run at whatever stage: nothing is written after it. The writers see it at
    // their next block; finished() follows once they have let go of their disks.
    void stop();
    // stop(), then waits until every writer has let go of its disk.
    void stop_and_wait();

    job_stage stage() const;
    // A run is under way (the start-up check is none).
    bool running() const;
    const std::vector<disk_report>& disks() const;
    // Why the run failed before its disks: a network error, a damaged image, a field or
    // configuration refused; empty otherwise.
    const QString& failure() const;
    // What the settings hold since this run handed out its names (the worker template counted
    // on past them); null when it handed out none.
    const inputs* saved_settings() const;

signals:
    void stage_changed(job_stage stage);
    // The latest release is not cached: `size` bytes of release `tag` to download.
    void download_offered(quint64 size, QString tag);
    void download_progress(qint64 done, qint64 total);
    // The image of the run is in the cache (also after the start-up check): its path.
    void image_ready(QString path);
    // Told under the form or on the terminal: the cached release used offline (not an error),
    // or the start-up check that failed.
    void message(QString text, bool is_error);
    // Every disk of the run has its worker name.
    void names_reserved();
    void writing_started();
    void disk_changed(int index);
    void disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total);
    void finished(run_outcome outcome);

private:
    // What an event brings with it.
    struct event_data {
        // FLASH: what it asks for.
        const flash_request* request = nullptr;
        // The release in the cache.
        std::string path;
        // Why a step failed; for a writer that ended, empty unless it failed of itself.
        QString text;
        // A writer that ended: its disk, and whether it succeeded.
        int disk = -1;
        bool succeeded = false;
    };

    void m_handle(job_event event);
    void m_handle(job_event event, const event_data& data);
    // `was_running`: a run was under way when the event came, which a stop ends.
    void m_act(job_action action, const event_data& data, bool was_running);
    void m_begin_run(const flash_request& request);
    void m_reserve_names();
    void m_end_run();

    const std::string m_data_folder;
    job_stage m_stage = job_stage::idle;
    flash_request m_request;
    std::unique_ptr<inputs> m_saved_settings;
    bool m_stopped = false;
    QString m_failure;
    // Declared before the batch, which writes with its image.
    std::unique_ptr<image_source> m_source;
    std::unique_ptr<disk_batch> m_batch;
};
