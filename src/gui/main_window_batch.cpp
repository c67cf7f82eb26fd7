// A batch of sticks as the window shows it while it runs: a row per stick over the locked form,
// from the job's report of each disk and the progress the window keeps of it.

#include "gui/main_window.h"

#include "gui/batch_panel.h"
#include "gui/device_size_text.h"
#include "gui/more_settings.h"
#include "gui/stick_identity.h"
#include "gui/transfer_rate.h"
#include "gui/ui_style.h"
#include "run/flash_job.h"
#include "run/outcome_words.h"

#include <QScrollArea>

#include <algorithm>

namespace {

// Settled, what became of the stick; a stop is the user's own doing, not a cancel.
QString stage_text(const disk_report& disk)
{
    switch (disk.stage) {
    case disk_stage::waiting:
        return main_window::tr("waiting");
    case disk_stage::preparing:
        return main_window::tr("preparing");
    case disk_stage::writing:
        return main_window::tr("writing");
    case disk_stage::verifying:
        return main_window::tr("verifying");
    case disk_stage::done:
        break;
    }
    return disk.outcome == disk_outcome::canceled ? main_window::tr("stopped")
                                                  : QString::fromUtf8(outcome_word(disk.outcome));
}

const char* stage_colour(const disk_report& disk)
{
    if (disk.stage == disk_stage::waiting || disk.outcome == disk_outcome::canceled)
        return ui_style::colour::secondary_text;
    if (disk.stage != disk_stage::done)
        return ui_style::colour::main_text;
    return disk.outcome == disk_outcome::verified || disk.outcome == disk_outcome::written ? ui_style::colour::success
                                                                                           : ui_style::colour::error;
}

} // namespace

void main_window::m_show_batch()
{
    // One stick shows on the button alone.
    if (m_run_disks.size() < 2)
        return;
    const std::vector<disk_report>& reports = m_job->disks();
    // Every stick gets the same image: one that has not told its size yet has that of the others.
    qint64 image = 0;
    for (const disk_progress& disk : m_progress)
        image = std::max(image, disk.total);
    std::vector<batch_panel::stick_row> rows;
    qint64 moved = 0;
    qint64 left = 0;
    for (std::size_t index = 0; index < reports.size() && index < m_progress.size(); ++index) {
        const disk_report& report = reports[index];
        const disk_progress& progress = m_progress[index];
        batch_panel::stick_row row;
        row.name = stick_identity::text(*report.disk, m_run_disks);
        row.size = device_size_text::gigabytes(report.disk->size);
        row.worker = QString::fromStdString(report.worker_name);
        row.stage = stage_text(report);
        row.stage_colour = stage_colour(report);
        if (progress.total > 0)
            row.percent = QString("%1%").arg(progress.done * 100 / progress.total);
        rows.push_back(row);
        // Each stick is written, then read back: both count.
        const qint64 through =
            progress.kind == disk_progress_kind::verifying ? progress.total + progress.done : progress.done;
        moved += through;
        if (report.outcome == disk_outcome::pending && !progress.gone)
            left += 2 * (progress.total > 0 ? progress.total : image) - through;
    }
    m_batch_panel->show_rows(rows);
    m_batch_panel->show_rate(
        m_write_clock.isValid() ? transfer_rate::text(moved, left, m_write_clock.nsecsElapsed()) : QString());
    m_form_area->hide();
    m_more_settings->hide();
    m_batch_panel->show();
}
