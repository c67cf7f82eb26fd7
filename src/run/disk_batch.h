#pragma once
// The disks of a flash run: each given its name and configuration, prepared one after another,
// each written as soon as it is prepared, while the next are prepared, side by side (a first
// flash inflating the image once for all of them while they write) and read back; each settled
// as its writer ends, and a line for each in the record of sticks flashed. It does the steps the
// flash job's table (run/transitions.h) asks for and tells what came of them; the table decides
// what follows.

#include "config/inputs.h"
#include "device/device.h"
#include "run/flash_job.h"
#include "run/job_stage.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class device_manager;
class image_source;
class image_stream;

class disk_batch : public QObject {
    Q_OBJECT

public:
    // The disks are written with the image `image` made ready.
    disk_batch(const std::string& data_folder, device_manager& devices, image_source& image);
    // A writer still running is stopped and waited for: no disk is written once it is gone.
    ~disk_batch() override;

    // A run's disks, each waiting; with `verify` each is read back after its write.
    void begin(const std::vector<std::shared_ptr<device>>& disks, bool verify);
    const std::vector<disk_report>& reports() const;
    // Before any name is handed out: a disk that is gone, or that another run writes, fails at
    // once, untouched and unnamed. How many disks are left to name.
    std::size_t refuse_unavailable();
    // The values of each disk left, in order, the worker template its name is the expansion of.
    // False at the first disk whose configuration is too large: the disks up to it keep their
    // names.
    bool take_names(const std::vector<inputs>& per_disk);
    // The next disk waiting is prepared, which disk_prepared() or disk_refused() answers, or
    // all_prepared() tells that none is left.
    void prepare_next();
    // The disk being prepared is ready: its writer starts (writing_started() at the first), and
    // the next is prepared.
    void write_prepared();
    // The disk being prepared was refused: it fails, and the next is prepared.
    void fail_refused();
    // No disk is left to prepare; all_done() when none is being written.
    void end_preparation();
    // The disk `index` whose writer ended; all_done() once no disk is being written and none is
    // left to prepare.
    void settle(int index, bool succeeded, const QString& failure_found);
    void stop_preparation();
    // No disk is prepared after it, and the writers see it at their next block; each then tells
    // disk_done(), or all_done() follows at once when none is being written.
    void stop_writers();
    // Returns once every writer has let go of its disk; their disk_done() comes first.
    void wait_for_writers();
    // The run has ended: whatever a disk still holds is let go, and a disk still pending ends
    // canceled when `stopped`, failed with `failure_found` otherwise.
    void end(bool stopped, const QString& failure_found);
    // A line in the record of sticks flashed for each disk whose preparation began. Why the
    // record could not be written; empty when it was.
    std::string record() const;

signals:
    void disk_prepared();
    void disk_refused();
    void all_prepared();
    void writing_started();
    // A writer ended: `failure_found` is empty when it succeeded or was stopped.
    void disk_done(int index, bool succeeded, QString failure_found);
    void all_done();
    void disk_changed(int index);
    void disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total);

private:
    struct disk_run;

    // The stream the run's disks share, made when the first of them is written; false, every
    // disk left failed, when the image cannot be had.
    bool m_make_stream();
    void m_start_writer(disk_run& disk);
    // A disk the stream counted on that will not be written.
    void m_give_up_share(disk_run& disk);
    bool m_writing() const;
    void m_writer_done(int index, bool succeeded, const QString& failure_found);
    void m_fail_disk(disk_run& disk, const QString& failure_found);
    void m_set_disk(disk_run& disk, disk_stage stage);
    int m_index(const disk_run& disk) const;

    const std::string m_data_folder;
    device_manager& m_devices;
    image_source& m_image;
    bool m_verify = true;
    std::vector<std::unique_ptr<disk_run>> m_disks;
    std::vector<disk_report> m_reports;
    // The disk being prepared, or null.
    disk_run* m_preparing = nullptr;
    // Until the batch ends: every disk it counts takes its share or gives it up, and what it
    // read of the download tells its checksum.
    std::shared_ptr<image_stream> m_stream;
    // No disk is left to prepare, or none will be: the run ends once the writers have.
    bool m_preparation_over = false;
};
