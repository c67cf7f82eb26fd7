#pragma once
// Drives the real main window over a fake host with one USB stick and the local release server
// that the test build's endpoints point at, the way a user would: through clicks and typing.

#include "fake_host.h"
#include "release_fixture.h"
#include "release_server.h"

#include <QPoint>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class QPushButton;
class dialog_window;
class download_dialog;
class main_window;
class progress_button;
class text_input;

class window_driver {
public:
    // The stick is the host's first disk, \\.\PhysicalDrive0.
    static const char* const stick_path;

    // How the stick answers the deletion of its layout: its volume comes back at once, or, as
    // real hardware, nothing comes back.
    enum class stick_kind { volume_comes_back, like_hardware };

    explicit window_driver(const release_fixture& release, qint64 stick_size = 16'000'000'000,
                           stick_kind kind = stick_kind::volume_comes_back);
    ~window_driver();
    window_driver(const window_driver&) = delete;
    window_driver& operator=(const window_driver&) = delete;

    fake_host& host() { return m_host; }
    // Another stick like the first, with a volume that comes back after its layout was
    // deleted; returns its kernel name.
    QString add_stick(const QString& model);
    // Unplugs the first stick and plugs it in again: a new disk to the system.
    void replug_stick();
    release_server& server() { return m_server; }
    const release_fixture& release() const { return m_release; }
    QString stick() const { return m_stick; }
    const std::string& data_folder() const { return m_data_folder; }
    QString downloads() const;

    main_window* open_window();
    // Closes the window as the title bar's cross does, and deletes it.
    void close_window();
    main_window* window() const { return m_window.get(); }

    text_input* input(const QString& placeholder) const;
    // The card on show (answered cards linger hidden until they are deleted), or nullptr.
    download_dialog* offer() const;
    dialog_window* question() const;
    // Whichever card is on show: the offer, a question or the success page.
    QWidget* card() const;
    progress_button* flash_button() const;
    // The topmost click surface at `position` of `widget`, or nullptr when something else
    // covers that place (a disabled face, for instance).
    static QPushButton* click_surface(QWidget* widget, const QPoint& position);
    // Clicks what lies at `position` of `widget`; false when no click surface is there.
    static bool click(QWidget* widget, const QPoint& position);
    static bool clickable(QWidget* widget, const QPoint& position);
    bool flash_clickable() const;
    // The name of the progress button's face on show ("ready", "done", "disabled", ...).
    QString flash_face() const;
    bool press_flash();
    // Clicks the button of the card on show whose face reads `text` ("UPDATE", "CANCEL",
    // "STOP FLASHING", "CONTINUE", "FLASH NEW USB", "Dont show this again"), where it shows;
    // false when no card shows it or something else takes the click there.
    bool press_card_button(const QString& text);
    // The close cross of the card on show.
    bool press_card_close();
    // The close cross of the title bar.
    bool press_window_close();
    // Unfolds the device list, as a click on its header does, unless it is unfolded.
    void open_device_list();
    // Waits until the device watch has reported the disks it found when the window opened, so
    // that no late report rebuilds the list a test changed.
    bool wait_for_start_up_reports();

    // Accepts the start-up download offer and waits until the image is in the cache.
    bool accept_download();
    // Answers the download offer with "CANCEL" once it shows.
    bool decline_download();
    // Picks the disk whose name holds `model` from the unfolded device list.
    bool pick(const QString& model);
    // Picks "All USB sticks" from the unfolded device list.
    bool pick_all();
    // Types a valid BTC address and `worker` into the form.
    void fill_form(const QString& worker);

    // The text of the message line under the form (kept after the line is hidden).
    QString last_message() const;
    int log_count(const QString& text) const;
    QByteArray settings_text() const;
    // What the stick holds where the image went, with `extra` bytes after it.
    QByteArray stick_content(qint64 extra = 0) const;
    // The worker name in the configuration block on the stick `name` (the first by default).
    QString written_worker(const QString& name = QString()) const;

    static const char* const btc_address;

private:
    void m_watch_layout_deletions();

    release_fixture m_release;
    fake_host m_host;
    QString m_stick;
    release_server m_server;
    QTemporaryDir m_folder;
    std::string m_data_folder;
    std::unique_ptr<main_window> m_window;
    // The stick's volume comes back after its layout was deleted, as with a real stick, so
    // that preparation need not wait for it in vain.
    QTimer m_volume_watch;
    size_t m_layout_deletions = 0;
    // The device watch's looks when the window was opened.
    std::uint64_t m_watch_polls_at_open = 0;
};
