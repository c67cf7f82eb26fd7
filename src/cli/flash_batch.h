#pragma once
// One flash of several disks from the command line: the flash job runs it, this shows it on
// the terminal, a progress line per disk and a summary line per disk, and turns Ctrl-C into
// the job's stop.

#include "cli/console.h"
#include "cli/disk_choice.h"
#include "cli/progress_lines.h"
#include "run/flash_job.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <string>
#include <vector>

class device_manager;

namespace cli {

struct flash_target {
    listed_disk disk;
    // The name the disk is expected to get; the job hands out the real one before writing.
    std::string planned_worker_name;
};

class flash_batch : public QObject {
    Q_OBJECT

public:
    flash_batch(const std::string& data_folder, device_manager& devices,
                std::vector<flash_target> targets, const flash_request& request, console& io);

    // Runs until every disk has its outcome: 0 all written, 1 some failed, 130 interrupted.
    int run();

private:
    void m_stage_changed(job_stage stage);
    void m_download_offered(quint64 size, const QString& tag);
    void m_names_reserved();
    void m_disk_changed(int index);
    void m_disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total);
    void m_finished(run_outcome outcome);
    void m_look_for_interrupt();
    std::string m_label(std::size_t index) const;
    std::string m_disk_name(std::size_t index) const;
    std::string m_worker_name(std::size_t index) const;

    flash_job m_job;
    std::vector<flash_target> m_targets;
    const flash_request m_request;
    console& m_io;
    progress_lines m_progress;

    std::size_t m_download_line = 0;
    bool m_download_shown = false;
    // A line per disk once its name is known.
    std::vector<std::size_t> m_disk_lines;
    bool m_interrupted = false;
    int m_status = 0;
    QTimer m_interrupt_poll;
    QTimer m_redraw;
    QEventLoop m_loop;
};

} // namespace cli
