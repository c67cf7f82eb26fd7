#include "gui/main_window.h"

#include "base/logger.h"
#include "config/settings_store.h"
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
#include "run/flash_job.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPauseAnimation>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSequentialAnimationGroup>

#include <algorithm>

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

    m_titlebar = new titlebar(this, [this] { return is_busy(); });
    m_titlebar->move(5, 5);

    m_build_form();
    m_build_footer(version);

    m_device_manager = new device_manager;
    m_connect_widgets();

    update_window();
    m_fill_form();

    m_job = std::make_unique<flash_job>(m_data_folder, *m_device_manager);
    m_connect_job();
    m_job->check_at_start();
}

main_window::~main_window()
{
    // Stops whatever runs and waits for the writers before the disks' manager goes.
    m_job.reset();
    delete m_device_manager;
}

bool main_window::is_busy() const
{
    return run_stages::busy(m_stage);
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
    connect(m_device_manager, SIGNAL(devices_changed()), this, SLOT(update_window()));
    connect(m_device_manager, SIGNAL(close()), this, SLOT(close()));
    connect(m_device_list, SIGNAL(item_selected()), this, SLOT(m_clear_message()));
    connect(m_device_list, SIGNAL(item_selected()), this, SLOT(update_window()));
    connect(m_market, SIGNAL(item_selected()), this, SLOT(m_clear_message()));
    for (text_input* input : {m_btc, m_worker, m_group, m_wireless_ssid, m_wireless_key, m_ssh_key}) {
        connect(input, SIGNAL(textChanged(const QString&)), this, SLOT(input_fields_changed()));
        // Only what the user types counts as a new action, not the form being refilled.
        connect(input, SIGNAL(textEdited(const QString&)), this, SLOT(m_clear_message()));
    }
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

inputs main_window::m_form_values() const
{
    inputs values = *m_settings;
    values.btc = m_btc->text().toStdString();
    values.ssid = m_wireless_ssid->text().toStdString();
    values.wireless_key = m_wireless_key->text().toStdString();
    values.ssh_key = m_ssh_key->text().toStdString();
    values.worker = m_worker->text().toStdString();
    values.group = m_group->text().toStdString();
    values.location = m_market->code();
    return values;
}

void main_window::update_window()
{
    const std::vector<std::shared_ptr<device>> attached = m_device_manager->get_devices();
    m_device_list->update_devices_list(attached);
    m_note_gone_disks(attached);
    m_unfolded = false;
    m_device_list->collapse();
    m_warning->show();
    m_apply_form_lock();
    // Decides between FLASH (or "FLASH ANOTHER?" after a flash) and the disabled face.
    input_fields_changed();
    resize(window_width, m_window_height());
    m_layout_blocks();
    KESTREL_LOG(logger::debug, "Updated window");
}

void main_window::input_fields_changed()
{
    if (m_stage != run_stage::idle)
        return;
    bool ready = true;
    for (text_input* input : {m_btc, m_worker, m_group, m_wireless_ssid, m_wireless_key, m_ssh_key})
        ready = ready && input->is_valid();
    ready = ready && !m_btc->text().isEmpty() && m_device_list->is_device_ok()
        && !m_device_list->selected_devices().empty();
    if (ready)
        m_progress_button->reset();
    else
        m_progress_button->disable();
}

void main_window::set_error_msg_text(QString error_msg, bool is_err)
{
    m_message->setText(error_msg);
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_message->show();
    m_message->setStyleSheet(QString(message_style).arg(is_err ? "#e92424" : "#68b641"));
    if (is_err) {
        m_progress_button->reset();
        m_progress_button->disable();
    }
    // The message stays until the user's next action; the window makes room for it.
    m_message_shown = true;
    m_animate_window_height(m_window_height(), message_animation_ms);
}

void main_window::m_clear_message()
{
    if (!m_message_shown)
        return;
    m_message_shown = false;
    m_message->hide();
    m_animate_window_height(m_window_height(), message_animation_ms);
}

void main_window::os_configuration()
{
    m_clear_message();
    m_device_list->collapse();
    m_unfolded = !m_unfolded;
    m_layout_blocks();
    m_animate_window_height(m_window_height(), fold_duration_ms);
    if (m_unfolded)
        m_more_settings->show_less();
    else
        m_more_settings->show_more();
}

int main_window::m_window_height() const
{
    const int message_room = m_message_shown ? message_height - folded_height : 0;
    if (!m_unfolded)
        return folded_height + message_room;
    // Never shorter than the folded form, nor taller than the screen: there the form scrolls.
    const int screen_room = screen()->availableGeometry().height();
    return std::max(folded_height + message_room, std::min(unfolded_height + message_room, screen_room));
}

void main_window::m_animate_window_height(int height, int duration_ms)
{
    // Grown past the foot of the screen, the window moves up: FLASH stays in sight.
    const QRect screen_area = screen()->availableGeometry();
    QRect target(geometry().topLeft(), QSize(window_width, height));
    if (target.bottom() > screen_area.bottom())
        target.moveBottom(screen_area.bottom());
    if (target.top() < screen_area.top())
        target.moveTop(screen_area.top());
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(duration_ms);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void main_window::hide_window()
{
    showMinimized();
}

void main_window::dialog_window_open()
{
    // Called as the card is made, before it shows.
    m_cover_form(true);
}

void main_window::dialog_window_closed()
{
    // Cards close in any order, and a run's end may close one under another: the form comes
    // back only when none is left on show.
    m_cover_form(m_card_shown());
}

bool main_window::m_card_shown() const
{
    // An answered card hides before it tells the window.
    const auto shown = [](const auto& cards) {
        return std::any_of(cards.begin(), cards.end(), [](const QWidget* card) { return !card->isHidden(); });
    };
    return shown(findChildren<dialog_window*>()) || shown(findChildren<download_dialog*>())
        || shown(findChildren<end_dialog*>());
}

void main_window::m_cover_form(bool covered)
{
    m_covered = covered;
    m_apply_form_lock();
    m_progress_button->setEnabled(!covered);
    // The end page leaves the foot of the button in sight when a message makes the window
    // taller than the page: hidden, it neither shows through nor takes a click.
    const QList<end_dialog*> pages = findChildren<end_dialog*>();
    m_progress_button->setVisible(
        std::none_of(pages.begin(), pages.end(), [](const end_dialog* page) { return !page->isHidden(); }));
    if (covered)
        m_titlebar->set_close_forbidden_cursor();
    else
        m_titlebar->set_close_pointing_cursor();
}

void main_window::dont_show_again()
{
    m_settings->dont_show_again = true;
    settings_store::update_settings(m_data_folder, [](inputs& saved) {
        saved.dont_show_again = true;
        return true;
    });
}

void main_window::closeEvent(QCloseEvent* event)
{
    // Nothing the run started may go on writing once the window is gone.
    m_job->stop_and_wait();
    // Only what the user changed here: the rest, a counter above all, is what the file holds,
    // whoever wrote it last.
    const inputs shown = m_form_values();
    const inputs loaded = *m_settings;
    settings_store::update_settings(m_data_folder, [&shown, &loaded](inputs& saved) {
        for (auto field : {&inputs::btc, &inputs::worker, &inputs::group, &inputs::location,
                           &inputs::ssh_key, &inputs::ssid, &inputs::wireless_key})
            if (shown.*field != loaded.*field)
                saved.*field = shown.*field;
        return true;
    });
    *m_settings = shown;
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
