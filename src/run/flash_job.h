#pragma once
// One flash run below the window and the command line alike: the latest release asked for,
// its download offered and fetched (or an image file taken), the image checked, the worker
// names handed out, the disks prepared one after another, then written side by side (a first
// flash inflating the image once for all of them while they write) and read back. The job
// moves through the stages of its transition table (run/transitions.h) and reports a stage and
// an outcome per disk and one for the run; the front ends only present them.
//
// Who may touch a disk record's handles and volumes, stage by stage:
// - listed, and until its preparation starts: the GUI thread, reading only;
// - preparing: the GUI thread locks the volumes, opens the disk and clears it; once the volume
//   finder starts, the finder's thread alone adds the volumes that come back, until it signals
//   (its thread ends with that signal, and a stop waits for the thread before the GUI thread
//   releases what it holds);
// - writing: the burner's thread alone, from the thread's start until it ends, closing every
//   handle as it finishes;
// - afterwards: the GUI thread, which releases whatever a run that ended early still holds.

#include "base/background_work.h"
#include "config/inputs.h"
#include "device/device.h"
#include "image/image_manipulator.h"
#include "run/job_stage.h"
#include "run/worker_names.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class cache_hold;
class device_manager;
class disk_writer;
class image_retriever;
class image_stream;

struct flash_request {
    // The form's values; the worker template numbers the disks in their order.
    inputs values;
    // Whose worker template that is.
    worker_names::template_source worker_template = worker_names::template_source::given;
    std::vector<std::shared_ptr<device>> disks;
    // A gzip image to flash; empty: the latest release, through the cache.
    std::string image_file;
    bool verify = true;
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
    struct disk_run;

    void m_handle(job_event event);
    void m_act(job_action action);
    void m_begin_run();

    void m_image_ready(const std::string& path);
    void m_download_offered(quint64 size, const std::string& tag);
    void m_retriever_message(const QString& text, bool is_error);
    void m_check_image();
    void m_image_checked(unsigned generation, const QString& failure_found);
    void m_record_checksum();
    void m_reserve_names();
    void m_prepare_next_disk();
    void m_fail_refused_disk();
    void m_fail_disk(disk_run& disk, const QString& failure_found);
    void m_start_writers();
    void m_writer_done(int index, bool succeeded, const QString& failure_found);
    void m_settle_disk();
    void m_stop_preparation();
    void m_end_run();
    // A line in the record of sticks flashed for each disk the run started, once the image's
    // checksum is known.
    void m_record_disks();
    void m_set_disk(disk_run& disk, disk_stage stage);
    // What a disk is told when the image turns out damaged: a download, which is forgotten so
    // that the next run fetches it again, or the user's file, which stays as it is.
    QString m_image_found_damaged();
    // What every disk is told when the image could not be made ready, for `why`.
    QString m_output_failure_text(image_manipulator::failure why);
    int m_index(const disk_run& disk) const;

    const std::string m_data_folder;
    device_manager& m_devices;
    std::unique_ptr<image_retriever> m_retriever;
    job_stage m_stage = job_stage::idle;
    // A run was under way when the last event came: a stop ends it.
    bool m_was_running = false;

    flash_request m_request;
    // What the next FLASH asks for, until the table lets it begin.
    flash_request m_pending_request;
    // Counts the runs: an answer for an earlier one is dropped.
    unsigned m_generation = 0;
    std::vector<std::unique_ptr<disk_run>> m_disks;
    std::vector<disk_report> m_reports;
    std::unique_ptr<inputs> m_saved_settings;
    // The disk being prepared, or null.
    disk_run* m_preparing = nullptr;
    bool m_stopped = false;
    QString m_failure;

    // What came with the event at hand.
    QString m_event_text;
    std::string m_delivered;
    quint64 m_offer_size = 0;
    std::string m_offer_tag;
    int m_settling = -1;
    bool m_settled_success = false;

    // The compressed image of the run, and where its decompressed image is or is made.
    std::string m_image;
    std::string m_decompressed;
    std::shared_ptr<image_stream> m_stream;
    // The run's hold on its image's entry in the cache, from the moment the image is known until
    // the run has ended: no other process prunes it meanwhile.
    std::shared_ptr<cache_hold> m_image_hold;
    background_work m_check;
    background_work m_checksum_work;
};
