// The flashing run as the window shows it: the fold and the large-disk question are the
// window's own; from FLASH on, the flash job runs it and the window presents each stage.

#include "gui/main_window.h"

#include "base/logger.h"
#include "config/field_rules.h"
#include "config/settings_store.h"
#include "device/device_manager.h"
#include "gui/batch_notice.h"
#include "gui/batch_panel.h"
#include "gui/device_selection.h"
#include "gui/device_size_text.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window_layout.h"
#include "gui/market_selection.h"
#include "gui/more_settings.h"
#include "gui/progress_button.h"
#include "gui/stick_identity.h"
#include "gui/text_input.h"
#include "run/disk_offer.h"
#include "run/flash_job.h"
#include "run/outcome_words.h"

#include <QPropertyAnimation>
#include <QScrollArea>

#include <algorithm>

using namespace main_window_layout;

namespace {

// How the window shows the job's stage while the job runs.
run_stage shown_stage(job_stage stage)
{
    switch (stage) {
    case job_stage::idle:
    case job_stage::startup_checking:
    case job_stage::startup_offering:
        return run_stage::idle;
    case job_stage::querying:
        return run_stage::querying;
    case job_stage::offering:
        return run_stage::offering;
    case job_stage::startup_downloading:
    case job_stage::downloading:
        return run_stage::downloading;
    case job_stage::checking_image:
    case job_stage::preparing:
        return run_stage::preparing;
    case job_stage::writing:
        return run_stage::burning;
    case job_stage::stopping:
        return run_stage::finishing;
    }
    return run_stage::idle;
}

} // namespace

void main_window::m_connect_job()
{
    connect(m_job.get(), &flash_job::stage_changed, this, [this](job_stage stage) { m_job_stage_changed(stage); });
    connect(m_job.get(), &flash_job::download_offered, this,
            [this](quint64 size, const QString& tag) { image_not_downloaded(size, tag.toStdString()); });
    connect(m_job.get(), &flash_job::download_progress, m_progress_button,
            &progress_button::report_download_progress);
    connect(m_job.get(), &flash_job::image_ready, this,
            [this](const QString& path) { download_finished(path.toStdString()); });
    connect(m_job.get(), &flash_job::message, this, &main_window::m_job_message);
    connect(m_job.get(), &flash_job::writing_started, this, &main_window::start_burning);
    connect(m_job.get(), &flash_job::disk_progress, this,
            [this](int index, disk_progress_kind kind, qint64 done, qint64 total) {
                m_disk_progress(index, kind, done, total);
            });
    connect(m_job.get(), &flash_job::disk_changed, this, [this] {
        m_show_slowest();
        m_show_batch();
    });
    connect(m_job.get(), &flash_job::finished, this, [this](run_outcome outcome) { m_run_finished(outcome); });
}

void main_window::m_set_stage(run_stage stage)
{
    if (stage == m_stage)
        return;
    m_stage = stage;
    // A confirmation asks about the stage it was opened in; once that is over it is moot. A
    // stop question asks about the run, and stays while the run goes on: it stops whatever
    // stage the run has reached when it is answered.
    const bool run_goes_on = run_stages::busy(stage) && stage != run_stage::finishing;
    for (dialog_window* card : findChildren<dialog_window*>())
        if (!(run_goes_on && card->asks_about_run()))
            card->dismiss();
    m_apply_form_lock();
}

bool main_window::m_form_locked() const
{
    if (m_covered)
        return true;
    // A download accepted at start-up is no run: the form stays open meanwhile.
    return m_stage != run_stage::idle
        && !(m_stage == run_stage::downloading && m_run_disks.empty());
}

void main_window::m_apply_form_lock()
{
    const bool locked = m_form_locked();
    for (QWidget* field : std::initializer_list<QWidget*> {m_btc, m_worker, m_group, m_wireless_ssid,
                                                           m_wireless_key, m_ssh_key, m_market})
        field->setEnabled(!locked);
    m_btc->setCursor(locked ? Qt::ForbiddenCursor : Qt::IBeamCursor);
    m_device_list->setEnabled(!locked);
    m_device_list->setCursor(locked ? Qt::ForbiddenCursor : Qt::PointingHandCursor);
    if (locked)
        m_more_settings->disable();
    else if (m_unfolded)
        m_more_settings->show_less();
    else
        m_more_settings->show_more();
}

void main_window::start_burning_animation()
{
    if (m_stage != run_stage::idle)
        return;
    m_clear_message();
    m_set_stage(run_stage::folding);
    KESTREL_LOG(logger::fatal, "Animation");
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    m_device_list->collapse();
    m_unfolded = false;
    m_more_settings->disable();
    auto* animation = new QPropertyAnimation(this, "size", this);
    animation->setDuration(fold_duration_ms);
    animation->setEndValue(QSize(window_width, folded_height));
    connect(animation, SIGNAL(finished()), this, SLOT(check_size()));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void main_window::check_size()
{
    if (m_stage != run_stage::folding)
        return;
    // Every stick attached now, when all are chosen; one plugged in later is not added.
    m_run_disks = m_device_list->selected_devices();
    // The disk may have gone while the fold animation ran.
    if (m_run_disks.empty()) {
        disconect_cancel();
        return;
    }
    QStringList large;
    for (const std::shared_ptr<device>& disk : m_run_disks)
        if (disk_offer::verdict_for(*disk) == disk_offer::verdict::large)
            large << QString::fromStdString(disk->name);
    if (large.isEmpty()) {
        on_button_click();
        return;
    }
    m_set_stage(run_stage::confirming);
    // Asked once for a batch, naming the sticks it is about.
    const std::string question = m_run_disks.size() == 1
        ? "Large storage device selected, are you sure you would like to write on this device? "
          "<font color=\"#3a3939\">All data on selected USB device will be lost!</font>"
        : ("Large storage devices selected (" + large.join(", ")
           + "), are you sure you would like to write on these devices? "
             "<font color=\"#3a3939\">All data on them will be lost!</font>").toStdString();
    auto* dialog = new dialog_window(question, tr("Confirm flashing").toStdString(), tr("CONTINUE").toStdString(),
                                     tr("CANCEL").toStdString(), false, this);
    connect(dialog, SIGNAL(accepted()), this, SLOT(disconect_cancel()));
    connect(dialog, SIGNAL(declined()), this, SLOT(on_button_click()));
    connect(dialog, SIGNAL(closed()), this, SLOT(disconect_cancel()));
    dialog->show();
}

void main_window::on_button_click()
{
    if (m_stage != run_stage::folding && m_stage != run_stage::confirming)
        return;
    KESTREL_LOG(logger::fatal, "pressed");
    if (m_btc->text().isEmpty()) {
        m_return_to_form();
        m_btc->setFocus(Qt::OtherFocusReason);
        set_error_msg_text(QString::fromUtf8(field_rules::empty_btc_text), true);
        m_progress_button->reset();
    } else {
        flash_request request;
        request.values = m_form_values();
        // Untouched here, the counter is the settings' own: another run may have moved it on.
        request.worker_template = request.values.worker == m_settings->worker ? worker_names::template_source::saved
                                                                               : worker_names::template_source::given;
        request.disks = m_run_disks;
        // One disk picked must still be the one shown; a batch is the sticks there were at
        // FLASH, each refused alone by its preparation when it has gone.
        if (m_run_disks.size() == 1)
            request.still_chosen = [this] {
                const std::shared_ptr<device> shown = m_device_list->selected_device();
                return !m_run_disks.empty() && shown && same_disk(*shown, *m_run_disks.front());
            };
        m_progress.assign(m_run_disks.size(), disk_progress());
        if (m_device_list->all_selected())
            m_device_list->hold_batch(m_run_disks);
        m_set_stage(run_stage::querying);
        m_write_clock.invalidate();
        m_job->flash(request);
        if (!m_job->running())
            m_return_to_form();
        else
            m_show_batch();
    }
    KESTREL_LOG(logger::fatal, "pressed");
}

void main_window::image_not_downloaded(uint64_t size, std::string name)
{
    // The start-up offer while the window folds for a run is asked again by the run.
    if (m_stage == run_stage::querying)
        m_set_stage(run_stage::offering);
    else if (m_stage != run_stage::idle && m_stage != run_stage::offering)
        return;
    auto* dialog = new download_dialog(size >> 20, name, this);
    connect(dialog, &download_dialog::accepted, m_job.get(), &flash_job::accept_download);
    connect(dialog, SIGNAL(accepted()), m_progress_button, SLOT(started_download()));
    connect(dialog, SIGNAL(accepted()), this, SLOT(started_download()));
    connect(dialog, SIGNAL(declined()), this, SLOT(m_offer_declined()));
    connect(dialog, SIGNAL(closed()), this, SLOT(m_offer_declined()));
    dialog->show();
}

void main_window::started_download()
{
    if (m_stage == run_stage::idle || m_stage == run_stage::offering)
        m_set_stage(run_stage::downloading);
}

void main_window::m_offer_declined()
{
    // Without the image the run cannot go on; the form returns.
    m_job->decline_download();
}

void main_window::m_job_message(QString error_msg, bool is_err)
{
    set_error_msg_text(error_msg, is_err);
    // A start-up check that failed leaves FLASH as the form allows it: FLASH asks again.
    if (is_err && !m_job->running() && m_run_disks.empty())
        input_fields_changed();
}

void main_window::download_finished(std::string file_name)
{
    KESTREL_LOG(logger::fatal, "Download finished");
    KESTREL_LOG(logger::debug, "Image: " << file_name);
    update_window();
}

void main_window::m_job_stage_changed(job_stage stage)
{
    if (!m_job->running()) {
        // The fold and the large-disk question are the window's own, and the end of a run is
        // the job's finished(); only the start-up check's stages show at once.
        if (m_stage == run_stage::folding || m_stage == run_stage::confirming || !m_run_disks.empty())
            return;
        m_set_stage(shown_stage(stage));
        // The start-up download is over: FLASH as the form allows.
        if (m_stage == run_stage::idle)
            input_fields_changed();
        return;
    }
    if (stage == job_stage::checking_image)
        m_progress_button->started_progress();
    m_set_stage(shown_stage(stage));
    if (stage == job_stage::stopping)
        m_progress_button->disable();
}

void main_window::start_burning()
{
    KESTREL_LOG(logger::debug, "Started burning");
    m_set_stage(run_stage::burning);
    m_write_clock.start();
}

void main_window::m_disk_progress(int index, disk_progress_kind kind, qint64 done, qint64 total)
{
    if (std::size_t(index) >= m_progress.size() || total <= 0)
        return;
    disk_progress& disk = m_progress[std::size_t(index)];
    disk.kind = kind;
    disk.done = done;
    disk.total = total;
    m_show_slowest();
    m_show_batch();
}

void main_window::m_note_gone_disks(const std::vector<std::shared_ptr<device>>& attached)
{
    // A stick pulled out midway has failed to the user at once, though its writer may take a
    // while yet to give up on it.
    for (std::size_t index = 0; index < m_progress.size() && index < m_run_disks.size(); ++index)
        if (std::none_of(attached.begin(), attached.end(),
                         [&](const std::shared_ptr<device>& disk) { return same_disk(*disk, *m_run_disks[index]); }))
            m_progress[index].gone = true;
    m_show_slowest();
}

void main_window::m_show_slowest()
{
    if (m_stage != run_stage::burning)
        return;
    // The button shows the slowest disk still running: the least way through its write and
    // read-back. A disk that failed, is gone or is through stays where it ended and no longer
    // holds the others' bar back; once none runs, the bar shows where the flashed ones ended.
    const auto way = [](const disk_progress& disk) {
        const double part = disk.total > 0 ? double(disk.done) / double(disk.total) : 0;
        return disk.kind == disk_progress_kind::verifying ? 1 + part : part;
    };
    const std::vector<disk_report>& reports = m_job->disks();
    const auto slowest_of = [&](auto counts) {
        const disk_progress* slowest = nullptr;
        for (std::size_t index = 0; index < m_progress.size() && index < reports.size(); ++index)
            if (counts(reports[index], m_progress[index]) && (!slowest || way(m_progress[index]) < way(*slowest)))
                slowest = &m_progress[index];
        return slowest;
    };
    const disk_progress* slowest = slowest_of([](const disk_report& report, const disk_progress& disk) {
        return report.outcome == disk_outcome::pending && !disk.gone;
    });
    if (!slowest)
        slowest = slowest_of([](const disk_report& report, const disk_progress&) {
            return report.outcome == disk_outcome::verified || report.outcome == disk_outcome::written;
        });
    if (!slowest || slowest->total <= 0)
        return;
    const qint64 done = slowest->done;
    const qint64 total = slowest->total;
    switch (slowest->kind) {
    case disk_progress_kind::inflating:
        m_progress_button->report_progress_inflate(done, total);
        break;
    case disk_progress_kind::writing:
        m_progress_button->report_progress(done, total);
        break;
    case disk_progress_kind::verifying:
        m_progress_button->report_progress_verify(done, total);
        break;
    }
}

void main_window::m_run_finished(run_outcome outcome)
{
    // The names were handed out: the form shows the counter where the settings have it now.
    if (const inputs* saved = m_job->saved_settings()) {
        const bool dont_show_again = m_settings->dont_show_again;
        *m_settings = *saved;
        m_settings->dont_show_again = dont_show_again;
        m_worker->setText(QString::fromStdString(saved->worker));
    }
    const disk_report* disk = m_job->disks().empty() ? nullptr : &m_job->disks().front();
    // A batch that reached its sticks ends on the page that lists them, whatever each came to;
    // stopped, it does so when a stick was through before the stop.
    const bool reached = std::any_of(m_job->disks().begin(), m_job->disks().end(), [](const disk_report& report) {
        return report.outcome != disk_outcome::canceled && report.outcome != disk_outcome::pending;
    });
    if (m_run_disks.size() > 1 && m_job->failure().isEmpty() && (outcome != run_outcome::stopped || reached)) {
        if (outcome == run_outcome::succeeded)
            m_progress_button->report_progress(1, 1);
        burning_finished();
        m_show_batch_end();
        m_return_to_form();
        return;
    }
    switch (outcome) {
    case run_outcome::succeeded:
        // The copy is whole: the button turns to "FLASH ANOTHER?".
        m_progress_button->report_progress(1, 1);
        burning_finished();
        if (!m_settings->dont_show_again)
            m_show_end_page(new end_dialog(this, disk ? QString::fromStdString(disk->worker_name) : QString()));
        m_return_to_form();
        if (disk && !disk->worker_name.empty())
            set_error_msg_text("Worker name on the stick: " + QString::fromStdString(disk->worker_name), false);
        break;
    case run_outcome::failed:
        m_end_run(!m_job->failure().isEmpty() ? m_job->failure()
                  : disk                      ? QString::fromStdString(disk->failure)
                                              : QString());
        break;
    case run_outcome::stopped:
        m_return_to_form();
        break;
    }
}

void main_window::burning_finished()
{
    KESTREL_LOG(logger::debug, "Flashing finished");
    for (const std::shared_ptr<device>& disk : m_run_disks)
        m_device_manager->unmount_device(disk.get(), true);
}

void main_window::m_show_batch_end()
{
    std::vector<end_dialog::stick_row> rows;
    std::vector<std::shared_ptr<device>> batch;
    for (const disk_report& disk : m_job->disks())
        batch.push_back(disk.disk);
    int flashed = 0;
    for (const disk_report& disk : m_job->disks()) {
        end_dialog::stick_row row;
        row.name = stick_identity::text(*disk.disk, batch);
        row.size = device_size_text::gigabytes(disk.disk->size);
        row.worker = QString::fromStdString(disk.worker_name);
        row.flashed = disk.outcome == disk_outcome::verified || disk.outcome == disk_outcome::written;
        row.failed = !row.flashed && disk.outcome != disk_outcome::canceled;
        // A failed stick shows why; a stop is the window's STOP FLASHING.
        row.outcome = disk.outcome == disk_outcome::canceled ? tr("stopped")
            : QString::fromStdString(row.flashed ? outcome_word(disk.outcome) : disk.failure);
        flashed += row.flashed;
        rows.push_back(row);
    }
    m_show_end_page(new end_dialog(this, rows));
    const QString summary = tr("%1 of %2 USB sticks flashed").arg(flashed).arg(rows.size());
    set_error_msg_text(summary, flashed < int(rows.size()));
    // A batch takes minutes: whoever started it may be at other work meanwhile.
    if (!isActiveWindow()) {
        KESTREL_LOG(logger::info, "Batch ended while the window was not active: " << summary.toStdString());
        batch_notice::tell(summary);
    }
}

void main_window::m_show_end_page(end_dialog* page)
{
    // One card at a time: a question left open about the run that ended is moot.
    for (dialog_window* question : findChildren<dialog_window*>())
        question->dismiss();
    page->show();
    m_cover_form(true);
}

void main_window::cancel()
{
    switch (m_stage) {
    case run_stage::folding:
    case run_stage::confirming:
        m_return_to_form();
        return;
    case run_stage::burning:
    case run_stage::finishing:
        // The writer stops at its next block; the form returns once it has let go of the disk.
        m_progress_button->disable();
        break;
    default:
        break;
    }
    m_job->stop();
}

void main_window::disconect_cancel()
{
    if (m_stage == run_stage::folding || m_stage == run_stage::confirming)
        m_return_to_form();
}

void main_window::m_end_run(const QString& error_msg)
{
    m_return_to_form();
    set_error_msg_text(error_msg, true);
    // The message stays until the user's next action; FLASH may be that action.
    input_fields_changed();
}

void main_window::m_return_to_form()
{
    m_run_disks.clear();
    m_batch_panel->hide();
    m_form_area->show();
    m_more_settings->show();
    m_device_list->hold_batch({});
    m_set_stage(run_stage::idle);
    m_progress_button->reset();
    update_window();
}
