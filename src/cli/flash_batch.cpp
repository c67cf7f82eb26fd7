#include "cli/flash_batch.h"

#include "base/logger.h"
#include "cli/exit_status.h"
#include "cli/interruption.h"
#include "run/outcome_words.h"

#include <algorithm>

namespace {

const int redraw_ms = 250;

} // namespace

namespace cli {

flash_batch::flash_batch(const std::string& data_folder, device_manager& devices,
                         std::vector<flash_target> targets, const flash_request& request, console& io)
    : m_job(data_folder, devices)
    , m_targets(std::move(targets))
    , m_request(request)
    , m_io(io)
    , m_progress(io.out, io.err, io.terminal)
{
    connect(&m_interrupt_poll, &QTimer::timeout, this, [this] { m_look_for_interrupt(); });
    connect(&m_redraw, &QTimer::timeout, this, [this] { m_progress.draw(); });
    connect(&m_job, &flash_job::stage_changed, this, [this](job_stage stage) { m_stage_changed(stage); });
    connect(&m_job, &flash_job::download_offered, this,
            [this](quint64 size, const QString& tag) { m_download_offered(size, tag); });
    connect(&m_job, &flash_job::download_progress, this, [this](qint64 done, qint64 total) {
        if (m_download_shown)
            m_progress.report(m_download_line, "downloading", done, total);
    });
    connect(&m_job, &flash_job::image_ready, this, [this] {
        if (m_download_shown)
            m_progress.settle(m_download_line, "done");
        m_download_shown = false;
    });
    // A failure, or the notice that the cached release stands in for the latest: both on the
    // error stream, where a script looks for what did not go as asked.
    connect(&m_job, &flash_job::message, this,
            [this](const QString& text) { m_progress.error(text.toStdString()); });
    connect(&m_job, &flash_job::names_reserved, this, [this] { m_names_reserved(); });
    connect(&m_job, &flash_job::disk_changed, this, [this](int index) { m_disk_changed(index); });
    connect(&m_job, &flash_job::disk_progress, this,
            [this](int index, disk_progress_kind kind, qint64 done, qint64 total) {
                m_disk_progress(index, kind, done, total);
            });
    connect(&m_job, &flash_job::finished, this, [this](run_outcome outcome) { m_finished(outcome); });
}

int flash_batch::run()
{
    m_interrupt_poll.start(interruption::poll_ms);
    m_redraw.start(redraw_ms);
    QTimer::singleShot(0, this, [this] { m_job.flash(m_request); });
    m_loop.exec();
    return m_status;
}

void flash_batch::m_stage_changed(job_stage stage)
{
    if (stage == job_stage::querying)
        m_progress.note("Looking for the latest release");
    else if (stage == job_stage::checking_image && !m_request.image_file.empty())
        m_progress.note("Reading " + m_request.image_file);
}

void flash_batch::m_download_offered(quint64 size, const QString& tag)
{
    m_progress.note("Downloading release " + tag.toStdString() + " (" + size_text(size) + ")");
    m_download_line = m_progress.add("download " + tag.toStdString());
    m_download_shown = true;
    m_job.accept_download();
}

void flash_batch::m_names_reserved()
{
    for (std::size_t index = 0; index < m_targets.size(); ++index)
        m_disk_lines.push_back(m_progress.add(m_label(index)));
}

void flash_batch::m_disk_changed(int index)
{
    if (std::size_t(index) >= m_disk_lines.size())
        return;
    const disk_report& report = m_job.disks()[std::size_t(index)];
    const std::size_t line = m_disk_lines[std::size_t(index)];
    if (report.stage == disk_stage::preparing) {
        m_progress.report(line, "preparing", 0, 0);
        return;
    }
    if (report.outcome == disk_outcome::pending)
        return;
    m_progress.settle(line, outcome_word(report.outcome));
    if (report.outcome == disk_outcome::failed)
        m_progress.error(m_disk_name(std::size_t(index)) + " failed: " + report.failure);
}

void flash_batch::m_disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total)
{
    if (std::size_t(index) < m_disk_lines.size())
        m_progress.report(m_disk_lines[std::size_t(index)],
                          kind == disk_progress_kind::verifying ? "verifying" : "writing", done, total);
}

void flash_batch::m_look_for_interrupt()
{
    if (!interruption::requested() || m_interrupted)
        return;
    m_interrupted = true;
    m_progress.note("Interrupted: stopping");
    KESTREL_LOG(logger::fatal, "Flashing canceled from the command line");
    m_job.stop();
}

void flash_batch::m_finished(run_outcome outcome)
{
    if (m_download_shown)
        m_progress.settle(m_download_line, "failed");
    // Refused before the names, such a disk had no line of its own: why is told here, and the
    // run's failure, which only repeats it when every disk was, is not.
    const bool untouched = std::all_of(m_job.disks().begin(), m_job.disks().end(),
                                       [](const disk_report& report) { return report.untouched; });
    for (std::size_t index = 0; index < m_targets.size(); ++index)
        if (m_job.disks()[index].untouched)
            m_progress.error(m_disk_name(index) + " failed: " + m_job.disks()[index].failure);
    if (!m_job.failure().isEmpty() && !untouched)
        m_progress.error(m_job.failure().toStdString());
    m_progress.draw();
    m_io.out << "Summary:\n";
    // Why one failed is told on the error stream as it happens.
    for (std::size_t index = 0; index < m_targets.size(); ++index)
        m_io.out << "  " << m_disk_name(index) << ' ' << outcome_summary(m_job.disks()[index].outcome) << '\n';
    m_io.out.flush();
    // Refused before anything was touched, every disk: a script may simply try again.
    m_status = outcome == run_outcome::stopped ? exit_status::interrupted
        : outcome == run_outcome::succeeded    ? exit_status::done
        : untouched                            ? exit_status::refused
                                               : exit_status::failed;
    m_loop.quit();
}

std::string flash_batch::m_label(std::size_t index) const
{
    return "disk " + std::to_string(m_targets[index].disk.number) + "  " + m_worker_name(index);
}

// 'disk 2 (\\.\PhysicalDrive2): "rig2"'; a disk refused before the names has none.
std::string flash_batch::m_disk_name(std::size_t index) const
{
    if (m_job.disks()[index].untouched)
        return "disk " + std::to_string(m_targets[index].disk.number) + " (" + m_targets[index].disk.record->path + ")";
    return "disk " + std::to_string(m_targets[index].disk.number) + " (" + m_targets[index].disk.record->path
        + "): \"" + m_worker_name(index) + '"';
}

// The name handed out, or the one planned while none is.
std::string flash_batch::m_worker_name(std::size_t index) const
{
    const std::string& handed_out = m_job.disks()[index].worker_name;
    return handed_out.empty() ? m_targets[index].planned_worker_name : handed_out;
}

} // namespace cli
