#include "window_driver.h"

#include "base/app_paths.h"
#include "device/device.h"
#include "gui/all_sticks_row.h"
#include "gui/device_selection.h"
#include "gui/device_selection_widget.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window.h"
#include "gui/progress_button.h"
#include "gui/resources_loader.h"
#include "gui/text_input.h"
#include "gui/titlebar.h"
#include "local_endpoints.h"
#include "base/logger.h"
#include "memory_folder.h"
#include "win32/test_control.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

const QList<fake_host::partition> stick_partitions {{1 << 20, 64 << 20, QString()}};

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <class card>
card* visible_child(QWidget* window)
{
    for (card* candidate : window->findChildren<card*>())
        if (candidate->isVisible())
            return candidate;
    return nullptr;
}

// What a step taken at once may take on a machine under any load.
const int at_once_ms = 120000;

// Clicks the middle of what shows of `target` inside `surface_owner`.
bool click_shown_part(QWidget* surface_owner, QWidget* target)
{
    const QRect shown = target->visibleRegion().boundingRect();
    if (shown.isEmpty())
        return false;
    return window_driver::click(surface_owner, target->mapTo(surface_owner, shown.center()));
}

} // namespace

const char* const window_driver::stick_path = "\\\\.\\PhysicalDrive0";
const char* const window_driver::btc_address = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

window_driver::window_driver(const release_fixture& release, qint64 stick_size, stick_kind kind)
    : m_release(release)
    , m_folder(memory_folder() + "/kestrel-data-XXXXXX")
{
    load_resources();
    fake_host::disk stick = fake_host::usb_stick(stick_size);
    stick.partitions = stick_partitions;
    stick.rereads_partition_table = kind == stick_kind::like_hardware;
    m_stick = m_host.add(stick);
    m_release.serve(m_server);
    if (!m_server.start())
        qFatal("the release server cannot listen on 127.0.0.1");
    local_endpoints::announce_port(m_server.port());
    m_data_folder = m_folder.path().toStdString();
    app_paths::prepare_data_folder(m_data_folder);
    logger::init(m_data_folder);

    QObject::connect(&m_volume_watch, &QTimer::timeout, [this] { m_watch_layout_deletions(); });
    if (kind == stick_kind::volume_comes_back)
        m_volume_watch.start(20);
}

window_driver::~window_driver()
{
    win32::test_control::release_held();
    m_server.release_held();
    m_window.reset();
    logger::close();
}

QString window_driver::add_stick(const QString& model)
{
    fake_host::disk stick = fake_host::usb_stick();
    stick.model = model;
    stick.partitions = stick_partitions;
    return m_host.add(stick);
}

void window_driver::replug_stick()
{
    m_host.remove(m_stick);
    m_stick = m_host.plug_back(m_stick);
    m_host.set_partitions(m_stick, stick_partitions);
}

QString window_driver::downloads() const
{
    return m_folder.path() + "/downloads";
}

main_window* window_driver::open_window()
{
    m_watch_polls_at_open = win32::test_control::usb_storage_listings();
    m_window = std::make_unique<main_window>(app_paths::application_name, m_data_folder,
                                             app_paths::version);
    m_window->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint
                             | Qt::FramelessWindowHint);
    m_window->showNormal();
    return m_window.get();
}

void window_driver::close_window()
{
    m_window->close();
    m_window.reset();
}

text_input* window_driver::input(const QString& placeholder) const
{
    for (text_input* candidate : m_window->findChildren<text_input*>())
        if (candidate->placeholderText() == placeholder)
            return candidate;
    return nullptr;
}

download_dialog* window_driver::offer() const
{
    return visible_child<download_dialog>(m_window.get());
}

dialog_window* window_driver::question() const
{
    return visible_child<dialog_window>(m_window.get());
}

QWidget* window_driver::card() const
{
    if (QWidget* shown = offer())
        return shown;
    if (QWidget* shown = question())
        return shown;
    return visible_child<end_dialog>(m_window.get());
}

progress_button* window_driver::flash_button() const
{
    return m_window->findChild<progress_button*>();
}

QPushButton* window_driver::click_surface(QWidget* widget, const QPoint& position)
{
    return qobject_cast<QPushButton*>(widget->childAt(position));
}

bool window_driver::clickable(QWidget* widget, const QPoint& position)
{
    QPushButton* surface = click_surface(widget, position);
    return surface && surface->isEnabled() && surface->isVisible() && widget->isEnabled();
}

bool window_driver::click(QWidget* widget, const QPoint& position)
{
    if (!clickable(widget, position))
        return false;
    QPushButton* surface = click_surface(widget, position);
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, surface->rect().center());
    return true;
}

bool window_driver::flash_clickable() const
{
    progress_button* button = flash_button();
    return clickable(button, QPoint(button->width() / 2, button->height() / 2));
}

QString window_driver::flash_face() const
{
    // Children are kept in stacking order: the last face is the one on top.
    QString shown;
    for (QObject* child : flash_button()->children())
        if (qobject_cast<QFrame*>(child))
            shown = child->objectName();
    return shown;
}

bool window_driver::press_flash()
{
    progress_button* button = flash_button();
    return click(button, QPoint(button->width() / 2, button->height() / 2));
}

bool window_driver::press_card_button(const QString& text)
{
    QWidget* shown = card();
    if (!shown)
        return false;
    for (QLabel* label : shown->findChildren<QLabel*>())
        if (label->text() == text && label->isVisible())
            return click_shown_part(shown, label);
    return false;
}

bool window_driver::press_card_close()
{
    QWidget* shown = card();
    QPushButton* cross = shown ? shown->findChild<QPushButton*>("close") : nullptr;
    return cross && click_shown_part(shown, cross);
}

bool window_driver::press_window_close()
{
    auto* bar = m_window->findChild<titlebar*>();
    QPushButton* cross = bar ? bar->findChild<QPushButton*>("close") : nullptr;
    return cross && click_shown_part(bar, cross);
}

void window_driver::open_device_list()
{
    auto* list = m_window->findChild<device_selection*>();
    if (list->findChild<QListWidget*>()->isVisible())
        return;
    auto* header = list->findChild<QFrame*>("header");
    QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier, header->geometry().center());
}

bool window_driver::wait_for_start_up_reports()
{
    // The watch reports twice as its first look finds the disks, and only then looks again.
    const bool looked_again = QTest::qWaitFor(
        [this] { return win32::test_control::usb_storage_listings() >= m_watch_polls_at_open + 2; },
        at_once_ms);
    // Its reports were sent before that look.
    QCoreApplication::sendPostedEvents();
    return looked_again;
}

bool window_driver::accept_download()
{
    if (!QTest::qWaitFor([this] { return offer() != nullptr; }, 20000))
        return false;
    if (!press_card_button("UPDATE"))
        return false;
    const QString image = downloads() + "/" + m_release.tag + ".gz";
    return QTest::qWaitFor([this, image] {
        return read_file(image) == m_release.compressed && log_count("Download finished") > 0;
    }, 30000);
}

bool window_driver::decline_download()
{
    if (!QTest::qWaitFor([this] { return offer() != nullptr; }, 20000))
        return false;
    return press_card_button("CANCEL");
}

bool window_driver::pick(const QString& model)
{
    auto* list = m_window->findChild<device_selection*>();
    open_device_list();
    for (auto* row : list->findChildren<device_selection_widget*>()) {
        const QList<QLabel*> labels = row->findChildren<QLabel*>();
        const bool named = std::any_of(labels.begin(), labels.end(),
                                       [&](QLabel* label) { return label->text().contains(model); });
        if (!row->isVisible() || !named)
            continue;
        QTest::mouseClick(row, Qt::LeftButton);
        return list->selected_device()
            && QString::fromStdString(list->selected_device()->name).contains(model);
    }
    return false;
}

bool window_driver::pick_all()
{
    auto* list = m_window->findChild<device_selection*>();
    open_device_list();
    auto* all = list->findChild<all_sticks_row*>();
    if (!all || !all->isVisible())
        return false;
    QTest::mouseClick(all, Qt::LeftButton);
    return list->all_selected();
}

void window_driver::fill_form(const QString& worker)
{
    text_input* btc = input("BTC Address");
    btc->clear();
    QTest::keyClicks(btc, btc_address);
    input("Worker name")->setText(worker);
}

QString window_driver::last_message() const
{
    return m_window->findChild<QLabel*>("message")->text();
}

int window_driver::log_count(const QString& text) const
{
    int count = 0;
    for (const QByteArray& line : read_file(m_folder.path() + "/Kestrel Flash tool.log").split('\n'))
        if (line.endsWith("] " + text.toUtf8()))
            ++count;
    return count;
}

QByteArray window_driver::settings_text() const
{
    return read_file(m_folder.path() + "/configuration.txt");
}

QByteArray window_driver::stick_content(qint64 extra) const
{
    return m_host.read(m_stick, 0, m_release.image.size() + extra);
}

QString window_driver::written_worker(const QString& name) const
{
    const QByteArray block = m_host.read(name.isEmpty() ? m_stick : name,
                                         qint64(m_release.config_offset), 2048);
    return QJsonDocument::fromJson(block).object()["rig"].toObject()["worker"].toString();
}

void window_driver::m_watch_layout_deletions()
{
    size_t deletions = 0;
    for (const auto& entry : win32::test_control::journal())
        if (entry.what == win32::test_control::call::delete_layout && entry.target == stick_path
            && entry.error == 0)
            ++deletions;
    if (deletions > m_layout_deletions)
        m_host.set_partitions(m_stick, stick_partitions);
    m_layout_deletions = deletions;
}
