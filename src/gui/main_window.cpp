#include "gui/main_window.h"

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
#include "gui/titlebar.h"
#include "gui/ui_style.h"
#include "image/image_burner.h"
#include "image/image_retriever.h"
#include "logger.h"
#include "settings_store.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPauseAnimation>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QThread>

using namespace main_window_layout;

main_window::main_window(const std::string& application_name, const std::string& data_folder,
                         const std::string& version, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings_store::load_settings(data_folder))
    , m_data_folder(data_folder)
{
    setWindowTitle(QCoreApplication::translate("mainWindow", application_name.c_str()));
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet("main_window {background: transparent}");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    resize(window_width, building_height);

    m_body = new QFrame(this);
    m_body->setObjectName("white_background");
    m_body->setStyleSheet(
        "QFrame#white_background {background: #ffffff; border-radius: 5px;border: none;}");
    m_body->setGeometry(5, 5, 600, 655);
    m_body->setGraphicsEffect(ui_style::window_shadow(m_body));

    m_titlebar = new titlebar(this, [this] { return m_busy; });
    m_titlebar->move(5, 5);

    m_build_form();
    m_build_footer(version);

    m_device_manager = new device_manager;
    m_connect_widgets();

    update_window();
    m_fill_form();

    m_image_retriever = std::make_shared<image_retriever>(m_data_folder);
    connect(m_image_retriever.get(), SIGNAL(progress_updated(qint64, qint64)), m_progress_button,
            SLOT(report_download_progress(qint64, qint64)));
    connect(m_image_retriever.get(), SIGNAL(finished_download(std::string)), this,
            SLOT(download_finished(std::string)));
    connect(m_image_retriever.get(), SIGNAL(image_not_downloaded(uint64_t, std::string)), this,
            SLOT(image_not_downloaded(uint64_t, std::string)));
    connect(m_image_retriever.get(), SIGNAL(error_msg(QString, bool)), this,
            SLOT(set_error_msg_text(QString, bool)));
    connect(m_image_retriever.get(), SIGNAL(error_msg(QString, bool)), this, SLOT(cancel()));
    m_image_retriever->check_latest();
}

main_window::~main_window()
{
    m_stop_burner_thread();
    delete m_device_manager;
}

bool main_window::is_busy() const
{
    return m_busy;
}

void main_window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_layout_blocks();
}

void main_window::m_connect_widgets()
{
    connect(m_more_settings, SIGNAL(clicked()), this, SLOT(os_configuration()));
    connect(m_progress_button, SIGNAL(clicked()), this, SLOT(start_burning_animation()));
    connect(this, SIGNAL(error(const QString, bool)), this,
            SLOT(set_error_msg_text(const QString&, bool)));
    connect(m_device_manager, SIGNAL(unmount_finished()), this, SLOT(start_burning()));
    connect(m_device_manager, SIGNAL(devices_changed()), this, SLOT(update_window()));
    connect(m_device_manager, SIGNAL(close()), this, SLOT(close()));
    connect(m_device_list, SIGNAL(item_selected()), this, SLOT(update_window()));
    for (text_input* input : {m_btc, m_worker, m_group, m_wireless_ssid, m_wireless_key, m_ssh_key})
        connect(input, SIGNAL(textChanged(const QString&)), this, SLOT(input_fields_changed()));
    connect(m_progress_button, SIGNAL(cancel()), this, SLOT(cancel()));
}

void main_window::m_fill_form()
{
    m_btc->setText(QString::fromStdString(m_settings->btc));
    m_worker->setText(QString::fromStdString(m_settings->worker));
    m_group->setText(QString::fromStdString(m_settings->group));
    m_wireless_ssid->setText(QString::fromStdString(m_settings->ssid));
    m_wireless_key->setText(QString::fromStdString(m_settings->wireless_key));
    m_ssh_key->setText(QString::fromStdString(m_settings->ssh_key));
    m_market->set_code(m_settings->location);
}

void main_window::m_read_form()
{
    m_settings->btc = m_btc->text().toStdString();
    m_settings->ssid = m_wireless_ssid->text().toStdString();
    m_settings->wireless_key = m_wireless_key->text().toStdString();
    m_settings->ssh_key = m_ssh_key->text().toStdString();
    m_settings->worker = m_worker->text().toStdString();
    m_settings->group = m_group->text().toStdString();
    m_settings->location = m_market->code();
}

void main_window::m_unlock_form()
{
    m_btc->setEnabled(true);
    m_btc->setCursor(Qt::IBeamCursor);
    m_device_list->setEnabled(true);
    m_device_list->setCursor(Qt::PointingHandCursor);
}

void main_window::update_window()
{
    m_device_list->update_devices_list(m_device_manager->get_devices());
    m_message_shown = false;
    m_unfolded = false;
    m_device_list->collapse();
    m_message->hide();
    m_btc->setEnabled(true);
    m_more_settings->show_more();
    m_warning->show();
    if (!m_busy)
        m_progress_button->disable();
    input_fields_changed();
    resize(window_width, folded_height);
    m_layout_blocks();
    KESTREL_LOG(logger::debug, "Updated window");
}

void main_window::input_fields_changed()
{
    if (m_busy)
        return;
    bool ready = true;
    for (text_input* input : {m_btc, m_worker, m_group, m_wireless_ssid, m_wireless_key, m_ssh_key})
        ready = ready && input->is_valid();
    ready = ready && !m_btc->text().isEmpty() && m_device_list->is_device_ok()
        && m_device_list->selected_device();
    if (ready)
        m_progress_button->reset();
    else
        m_progress_button->disable();
}

void main_window::start_burning_animation()
{
    m_flash_requested = true;
    KESTREL_LOG(logger::fatal, "Animation");
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    m_device_list->collapse();
    m_unfolded = false;
    m_more_settings->show_more();
    auto* animation = new QPropertyAnimation(this, "size", this);
    animation->setDuration(fold_duration_ms);
    animation->setEndValue(QSize(window_width, folded_height));
    connect(animation, SIGNAL(finished()), this, SLOT(check_size()));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void main_window::check_size()
{
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
    KESTREL_LOG(logger::fatal, "pressed");
    if (m_btc->text().isEmpty()) {
        m_flash_requested = false;
        m_btc->setFocus(Qt::OtherFocusReason);
        m_btc->setEnabled(true);
        set_error_msg_text(QString("Empty BTC address!") + QChar(0xFE0F), true);
        m_progress_button->reset();
    } else {
        m_busy = true;
        m_btc->setCursor(Qt::ForbiddenCursor);
        m_btc->setEnabled(false);
        m_device_list->setCursor(Qt::ForbiddenCursor);
        m_device_list->setEnabled(false);
        m_more_settings->disable();
        m_image_retriever->check_latest();
    }
    KESTREL_LOG(logger::fatal, "pressed");
}

void main_window::image_not_downloaded(uint64_t size, std::string name)
{
    auto* dialog = new download_dialog(size >> 20, name, this);
    connect(dialog, SIGNAL(accepted()), m_image_retriever.get(), SLOT(download_image()));
    connect(dialog, SIGNAL(accepted()), m_progress_button, SLOT(started_download()));
    connect(dialog, SIGNAL(accepted()), this, SLOT(started_download()));
    dialog->show();
}

void main_window::started_download()
{
    m_busy = true;
}

void main_window::download_finished(std::string file_name)
{
    KESTREL_LOG(logger::fatal, "Download finished");
    m_image_file_name = file_name;
    // An answer to the start-up check may arrive while a run is still being confirmed; the
    // run asks again itself once it waits for the image.
    if (m_flash_requested && m_busy) {
        if (m_device_list->selected_device() == m_selected_device) {
            m_device_manager->unmount_device(m_selected_device.get(), false);
            m_flash_requested = false;
            m_progress_button->started_progress();
        } else {
            cancel();
            set_error_msg_text("Device disconected!", true);
            m_flash_requested = false;
        }
    } else {
        // The image came from the start-up check or from a download accepted before FLASH.
        m_busy = false;
    }
    update_window();
}

void main_window::start_burning()
{
    KESTREL_LOG(logger::debug, "Started burning");
    try {
        m_read_form();
        QByteArray configuration = image_configurator::configure_image(m_data_folder, *m_settings);
        if (!configuration.isEmpty() && m_busy) {
            m_image_burner.reset();
            m_image_burner =
                std::make_shared<image_burner>(m_image_file_name, m_selected_device, configuration);
            m_busy = true;
            m_burner_thread = new QThread;
            m_image_burner->moveToThread(m_burner_thread);
            connect(m_burner_thread, SIGNAL(started()), m_image_burner.get(), SLOT(burn_image()));
            // The thread has nothing left to do once the run is over, whatever its outcome.
            connect(m_burner_thread, &QThread::started, m_burner_thread, &QThread::quit,
                    Qt::DirectConnection);
            connect(m_image_burner.get(), SIGNAL(finished()), this, SLOT(burning_finished()));
            connect(m_image_burner.get(), SIGNAL(device_disconected()), this,
                    SLOT(disconect_cancel()));
            connect(m_burner_thread, SIGNAL(finished()), m_burner_thread, SLOT(deleteLater()));
            // A run refused before its copy leaves the prepared disk open; let it go.
            connect(m_burner_thread, &QThread::finished, this,
                    [this, disk = m_selected_device] { m_device_manager->release_device(disk.get()); });
            connect(m_image_burner.get(), SIGNAL(error_msg(const QString, bool)), this,
                    SLOT(set_error_msg_text(const QString&, bool)));
            connect(m_image_burner.get(), SIGNAL(report_progress(qint64, qint64)),
                    m_progress_button, SLOT(report_progress(qint64, qint64)));
            connect(m_image_burner.get(), SIGNAL(report_progress_inflate(qint64, qint64)),
                    m_progress_button, SLOT(report_progress_inflate(qint64, qint64)));
            connect(m_progress_button, SIGNAL(cancel()), m_image_burner.get(), SLOT(cancel()));
            m_burner_thread->setStackSize(0x1000000);
            m_burner_thread->start(QThread::InheritPriority);
            m_burner_thread->setPriority(QThread::TimeCriticalPriority);
            return;
        }
        if (configuration.isEmpty())
            emit error("Config file exceeds 2kB", true);
        m_progress_button->reset();
        m_device_manager->release_device(m_selected_device.get());
        m_device_manager->unmount_device(m_selected_device.get(), true);
        m_unlock_form();
    } catch (...) {
        emit error("Could not write to device", true);
    }
}

void main_window::burning_finished()
{
    KESTREL_LOG(logger::debug, "Flashing finished");
    if (!m_worker->text().isEmpty()) {
        advance_worker_name(*m_settings);
        m_fill_form();
        settings_store::save_settings(m_data_folder, *m_settings);
    }
    m_unlock_form();
    m_device_manager->unmount_device(m_selected_device.get(), true);
    m_busy = false;
    if (!m_settings->dont_show_again)
        (new end_dialog(this))->show();
    m_device_manager->get_devices();
    update_window();
}

void main_window::cancel()
{
    m_busy = false;
    m_flash_requested = false;
    if (m_image_burner) {
        m_image_burner->cancel();
        KESTREL_LOG(logger::fatal, "Burning canceled");
    }
    if (m_image_retriever) {
        m_image_retriever->cancel();
        KESTREL_LOG(logger::fatal, "Download canceled");
    }
    m_device_manager->get_devices();
    m_progress_button->reset();
    m_unlock_form();
    m_more_settings->show_more();
}

void main_window::disconect_cancel()
{
    // Back at the form nothing waits for an image, so a later download cannot start a flash.
    m_busy = false;
    m_flash_requested = false;
    m_progress_button->reset();
    m_unlock_form();
    m_more_settings->show_more();
}

void main_window::set_error_msg_text(QString error_msg, bool is_err)
{
    m_more_settings->disable();
    m_message->setText(error_msg);
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_message->show();
    m_message->setStyleSheet(QString(message_style).arg(is_err ? "#e92424" : "#68b641"));
    if (is_err) {
        m_busy = false;
        m_progress_button->reset();
        m_progress_button->disable();
    }
    m_message_shown = true;

    auto* sequence = new QSequentialAnimationGroup(this);
    auto* open = new QPropertyAnimation(this, "size");
    open->setDuration(message_animation_ms);
    open->setEndValue(QSize(window_width, message_height));
    sequence->addAnimation(open);
    sequence->addPause(message_pause_ms);
    auto* close = new QPropertyAnimation(this, "size");
    close->setDuration(message_animation_ms);
    close->setEndValue(QSize(window_width, folded_height));
    sequence->addAnimation(close);
    connect(sequence, SIGNAL(finished()), this, SLOT(update_window()));
    sequence->start(QAbstractAnimation::DeleteWhenStopped);
}

void main_window::os_configuration()
{
    m_device_list->collapse();
    m_unfolded = !m_unfolded;
    m_layout_blocks();
    m_animate_window_height(m_unfolded ? unfolded_height : folded_height, fold_duration_ms);
    if (m_unfolded)
        m_more_settings->show_less();
    else
        m_more_settings->show_more();
}

void main_window::m_animate_window_height(int height, int duration_ms)
{
    auto* animation = new QPropertyAnimation(this, "size", this);
    animation->setDuration(duration_ms);
    animation->setEndValue(QSize(window_width, height));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void main_window::hide_window()
{
    showMinimized();
}

void main_window::dialog_window_open()
{
    m_progress_button->setEnabled(false);
    m_titlebar->set_close_forbidden_cursor();
}

void main_window::dialog_window_closed()
{
    m_progress_button->setEnabled(true);
    m_titlebar->set_close_pointing_cursor();
}

void main_window::dont_show_again()
{
    m_settings->dont_show_again = true;
    settings_store::save_settings(m_data_folder, *m_settings);
}

void main_window::m_stop_burner_thread()
{
    if (!m_burner_thread)
        return;
    // The disk's handles are released only when the copy loop has seen the cancel.
    if (m_image_burner)
        m_image_burner->cancel();
    m_burner_thread->wait();
}

void main_window::closeEvent(QCloseEvent* event)
{
    m_stop_burner_thread();
    QDir downloads(QString::fromStdString(m_data_folder + "/downloads"));
    for (const QString& name : downloads.entryList({"*.img"}, QDir::Files))
        downloads.remove(name);
    m_read_form();
    settings_store::save_settings(m_data_folder, *m_settings);
    QWidget::closeEvent(event);
}

void main_window::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized()) {
            KESTREL_LOG(logger::info, "Window hiden");
        } else {
            showNormal();
            KESTREL_LOG(logger::info, "Window shown");
        }
    }
    QWidget::changeEvent(event);
}

void main_window::showEvent(QShowEvent* event)
{
    KESTREL_LOG(logger::fatal, "visible");
    QWidget::showEvent(event);
}

void main_window::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (QWidget* focused = focusWidget())
            focused->clearFocus();
        m_device_list->collapse();
        m_market->collapse();
    }
    QWidget::mousePressEvent(event);
}
