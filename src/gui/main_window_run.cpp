// The flashing run, stage by stage: from the press of FLASH through the image and the disk's
// preparation to the write, and back to the form however it ends.

#include "gui/main_window.h"

#include "config/field_rules.h"
#include "config/image_configurator.h"
#include "config/worker_name.h"
#include "device/device_manager.h"
#include "gui/device_selection.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window_layout.h"
#include "gui/market_selection.h"
#include "gui/more_settings.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "image/background_work.h"
#include "image/burner_thread.h"
#include "image/cached_image.h"
#include "image/image_burner.h"
#include "image/image_retriever.h"
#include "logger.h"
#include "settings_store.h"

#include <QPropertyAnimation>
#include <QThread>

#include <utility>

using namespace main_window_layout;

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
    // A download accepted at start-up is no run: the form stays open meanwhile.
    return m_stage != run_stage::idle
        && !(m_stage == run_stage::downloading && !m_selected_device);
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

QString main_window::m_invalid_field_text() const
{
    return QString::fromStdString(field_rules::refusal(m_form_values()));
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
    m_selected_device = m_device_list->selected_device();
    // The disk may have gone while the fold animation ran.
    if (!m_selected_device) {
        disconect_cancel();
        return;
    }
    if (m_selected_device->size <= confirmation_threshold) {
        on_button_click();
        return;
    }
    m_set_stage(run_stage::confirming);
    auto* dialog = new dialog_window(
        "Large storage device selected, are you sure you would like to write on this device? "
        "<font color=\"#3a3939\">All data on selected USB device will be lost!</font>",
        tr("Confirm flashing").toStdString(), tr("CONTINUE").toStdString(),
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
        m_set_stage(run_stage::querying);
        m_image_retriever->check_latest();
    }
    KESTREL_LOG(logger::fatal, "pressed");
}

void main_window::image_not_downloaded(uint64_t size, std::string name)
{
    if (m_stage == run_stage::querying)
        m_set_stage(run_stage::offering);
    else if (m_stage != run_stage::idle)
        // A late answer to the start-up check: the run asks again itself.
        return;
    auto* dialog = new download_dialog(size >> 20, name, this);
    connect(dialog, SIGNAL(accepted()), m_image_retriever.get(), SLOT(download_image()));
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
    if (m_stage == run_stage::offering)
        m_return_to_form();
}

void main_window::m_retriever_message(QString error_msg, bool is_err)
{
    // A notice (the cached release used offline) concerns a run only.
    if (!is_err && m_stage != run_stage::querying)
        return;
    set_error_msg_text(error_msg, is_err);
    if (is_err)
        cancel();
}

void main_window::download_finished(std::string file_name)
{
    KESTREL_LOG(logger::fatal, "Download finished");
    m_image_file_name = file_name;
    if (m_stage == run_stage::downloading && !m_selected_device)
        // A download accepted at start-up, outside a run.
        m_set_stage(run_stage::idle);
    else if (m_stage == run_stage::querying || m_stage == run_stage::downloading)
        m_begin_preparation();
    update_window();
}

void main_window::m_begin_preparation()
{
    const std::shared_ptr<device> shown = m_device_list->selected_device();
    if (!shown || !same_disk(*shown, *m_selected_device)) {
        m_end_run("Device disconected!");
        return;
    }
    // Everything that can refuse the run is settled before the disk is touched.
    const QString invalid = m_invalid_field_text();
    if (!invalid.isEmpty()) {
        m_end_run(invalid);
        return;
    }
    *m_settings = m_form_values();
    m_configuration = image_configurator::configure_image(m_data_folder, *m_settings);
    if (m_configuration.isEmpty()) {
        m_end_run("Config file exceeds 2kB");
        return;
    }
    m_set_stage(run_stage::preparing);
    m_progress_button->started_progress();
    m_start_image_check();
}

void main_window::m_start_image_check()
{
    auto result = std::make_shared<cached_image::state>(cached_image::state::stopped);
    m_image_check->start(
        [result, path = m_image_file_name](const std::atomic<bool>& stop) {
            *result = cached_image::check(path, stop);
        },
        this, [this, result] { m_image_checked(static_cast<int>(*result)); });
}

void main_window::m_image_checked(int state)
{
    if (m_stage != run_stage::preparing)
        return;
    switch (static_cast<cached_image::state>(state)) {
    case cached_image::state::whole:
        m_device_manager->unmount_device(m_selected_device.get(), false);
        break;
    case cached_image::state::missing:
    case cached_image::state::damaged:
        m_end_run("Downloaded image is damaged");
        break;
    case cached_image::state::stopped:
        break;
    }
}

void main_window::m_preparation_refused()
{
    if (m_stage != run_stage::preparing)
        return;
    // Volumes locked before the refusal must not stay locked.
    m_device_manager->release_device(m_selected_device.get());
    m_end_run(m_device_manager->is_attached(*m_selected_device) ? "Cannot prepare the device"
                                                                : "Device disconected!");
}

void main_window::start_burning()
{
    KESTREL_LOG(logger::debug, "Started burning");
    if (m_stage != run_stage::preparing)
        return;
    // The form is locked, but what goes onto the stick is checked once more right here.
    const QString invalid = m_invalid_field_text();
    if (!invalid.isEmpty()) {
        m_device_manager->release_device(m_selected_device.get());
        m_end_run(invalid);
        return;
    }
    try {
        m_image_burner =
            std::make_shared<image_burner>(m_image_file_name, m_selected_device, m_configuration);
        m_burner_thread = burner_thread::make(*m_image_burner);
        connect(m_image_burner.get(), SIGNAL(finished()), this, SLOT(m_burner_succeeded()));
        connect(m_image_burner.get(), SIGNAL(device_disconected()), this,
                SLOT(disconect_cancel()));
        // Queued behind every signal of the burner: the run ends once all of them are seen.
        connect(m_burner_thread, SIGNAL(finished()), this, SLOT(m_burner_stopped()));
        connect(m_image_burner.get(), SIGNAL(error_msg(const QString, bool)), this,
                SLOT(set_error_msg_text(const QString&, bool)));
        connect(m_image_burner.get(), SIGNAL(report_progress(qint64, qint64)),
                m_progress_button, SLOT(report_progress(qint64, qint64)));
        connect(m_image_burner.get(), SIGNAL(report_progress_inflate(qint64, qint64)),
                m_progress_button, SLOT(report_progress_inflate(qint64, qint64)));
        connect(m_image_burner.get(), SIGNAL(report_progress_verify(qint64, qint64)),
                m_progress_button, SLOT(report_progress_verify(qint64, qint64)));
        m_set_stage(run_stage::burning);
        burner_thread::start(m_burner_thread);
    } catch (...) {
        m_device_manager->release_device(m_selected_device.get());
        m_end_run("Could not write to device");
    }
}

void main_window::m_burner_succeeded()
{
    if (m_stage != run_stage::burning)
        return;
    m_run_succeeded = true;
    m_set_stage(run_stage::finishing);
}

void main_window::m_burner_stopped()
{
    m_image_burner.reset();
    // A run refused before its copy leaves the prepared disk open; let it go.
    if (m_selected_device)
        m_device_manager->release_device(m_selected_device.get());
    if (m_run_succeeded)
        burning_finished();
    m_return_to_form();
}

void main_window::burning_finished()
{
    KESTREL_LOG(logger::debug, "Flashing finished");
    if (!m_worker->text().isEmpty()) {
        advance_worker_name(*m_settings);
        m_fill_form();
        settings_store::save_settings(m_data_folder, *m_settings);
    }
    m_device_manager->unmount_device(m_selected_device.get(), true);
    if (!m_settings->dont_show_again)
        (new end_dialog(this))->show();
}

void main_window::cancel()
{
    switch (m_stage) {
    case run_stage::idle:
        // A failed start-up check: nothing of it may report later.
        m_image_retriever->cancel();
        return;
    case run_stage::folding:
    case run_stage::confirming:
        break;
    case run_stage::querying:
    case run_stage::offering:
    case run_stage::downloading:
        m_image_retriever->cancel();
        KESTREL_LOG(logger::fatal, "Download canceled");
        break;
    case run_stage::preparing:
        m_image_check->stop();
        m_stop_preparation();
        break;
    case run_stage::burning:
        // The burner stops at its next block; the form returns once its thread has ended.
        m_image_burner->cancel();
        KESTREL_LOG(logger::fatal, "Burning canceled");
        m_set_stage(run_stage::finishing);
        m_progress_button->disable();
        return;
    case run_stage::finishing:
        return;
    }
    m_return_to_form();
}

void main_window::disconect_cancel()
{
    if (m_stage == run_stage::burning) {
        // The burner has stopped by itself; the form returns once its thread has ended.
        m_set_stage(run_stage::finishing);
        m_progress_button->disable();
        return;
    }
    if (m_stage == run_stage::folding || m_stage == run_stage::confirming)
        m_return_to_form();
}

void main_window::m_end_run(const QString& error_msg)
{
    m_return_to_form();
    set_error_msg_text(error_msg, true);
}

void main_window::m_return_to_form()
{
    m_selected_device.reset();
    m_configuration.clear();
    m_run_succeeded = false;
    m_set_stage(run_stage::idle);
    m_progress_button->reset();
    update_window();
}

void main_window::m_stop_preparation()
{
    KESTREL_LOG(logger::fatal, "Preparation canceled");
    m_device_manager->stop_preparation();
    m_device_manager->release_device(m_selected_device.get());
}

void main_window::m_stop_burner_thread()
{
    if (!m_burner_thread)
        return;
    // The disk's handles are released only when the burner has seen the cancel.
    if (m_image_burner && m_burner_thread->isRunning()) {
        m_image_burner->cancel();
        KESTREL_LOG(logger::fatal, "Burning canceled");
    }
    m_burner_thread->wait();
}
