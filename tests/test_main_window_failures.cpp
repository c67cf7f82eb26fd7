// Runs through the real window that end early: stopped, unplugged, refused or mistyped.

#include "window_driver.h"

#include "qt_warnings.h"
#include "unwritable_folder.h"

#include "device/device_windows.h"
#include "gui/device_selection.h"
#include "gui/device_selection_widget.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "gui/titlebar.h"
#include "image/image_manipulator.h"
#include "win32/test_control.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include <QFile>
#include <QLabel>
#include <QTest>
#include <QThread>

#include <thread>
#include <tuple>
#include <utility>

namespace {

using namespace std::chrono_literals;
using win32::test_control::call;

// What a step taken at once may take on a machine under any load.
const int at_once_ms = 120000;

// Lets a held call go, from a thread of its own, once `stopping` holds: a stop that waits for
// the held call is then under way, so the call ends and nothing follows it.
class release_when {
public:
    explicit release_when(std::function<bool()> stopping)
        : m_thread([stopping = std::move(stopping)] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(at_once_ms);
            while (!stopping() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(5ms);
            win32::test_control::release_held();
        })
    {
    }
    ~release_when() { m_thread.join(); }
    release_when(const release_when&) = delete;
    release_when& operator=(const release_when&) = delete;

private:
    std::thread m_thread;
};

// Lets the held call go once the log has one more `line` than now.
std::unique_ptr<release_when> release_once_logged(const window_driver& driver, const QString& line)
{
    const int before = driver.log_count(line);
    return std::make_unique<release_when>([&driver, line, before] { return driver.log_count(line) > before; });
}

enum class stage { downloading, preparing, decompressing, writing };
enum class action { stop, close, unplug_chosen, unplug_other, server_error };

// Three chunks of about 8 MB, so that a copy can be caught midway.
release_fixture three_chunk_release()
{
    return release_fixture::make("v3", 20 << 20, 1 << 20);
}

int journal_count(call what)
{
    int count = 0;
    for (const auto& entry : win32::test_control::journal())
        if (entry.what == what && entry.target == window_driver::stick_path)
            ++count;
    return count;
}

std::shared_ptr<device> disk_record(std::uint64_t size)
{
    auto record = std::make_shared<device_windows>();
    record->path = "\\\\.\\PhysicalDrive7";
    record->name = "Made-up USB Device";
    record->size = size;
    record->bytes_per_sector = 512;
    record->number = 7;
    return record;
}

// Ready to flash: the image cached, the form filled.
void prepare(window_driver& driver)
{
    driver.open_window();
    QVERIFY(driver.accept_download());
    driver.fill_form("rig(%d)");
    QTRY_VERIFY(driver.flash_clickable());
}

// Starts a flash and stops its copy just before the second chunk.
void flash_until_the_second_chunk(window_driver& driver)
{
    prepare(driver);
    win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
    QVERIFY(driver.press_flash());
    QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
}

// The path of the removable volume on disk `number`.
std::string stick_volume(DWORD number)
{
    char roots[MAX_PATH] = {};
    GetLogicalDriveStringsA(sizeof roots, roots);
    for (const char* root = roots; *root; root += strlen(root) + 1) {
        std::string path = std::string("\\\\?\\") + root[0] + ":";
        HANDLE volume = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (volume == INVALID_HANDLE_VALUE)
            continue;
        STORAGE_DEVICE_NUMBER device {};
        DWORD returned = 0;
        const bool on_disk = DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                             &device, sizeof device, &returned, nullptr)
            && device.DeviceNumber == number;
        CloseHandle(volume);
        if (on_disk)
            return path;
    }
    return std::string();
}

// Whether the stick's volume can be locked, that is, whether nothing holds it locked.
bool stick_volume_lockable()
{
    char roots[MAX_PATH] = {};
    GetLogicalDriveStringsA(sizeof roots, roots);
    for (const char* root = roots; *root; root += strlen(root) + 1) {
        if (GetDriveTypeA(root) != DRIVE_REMOVABLE)
            continue;
        std::string path = std::string("\\\\?\\") + root[0] + ":";
        HANDLE volume = CreateFileA(path.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (volume == INVALID_HANDLE_VALUE)
            return false;
        DWORD returned = 0;
        bool locked = DeviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
        CloseHandle(volume);
        return locked;
    }
    return false;
}

} // namespace

class test_main_window_failures : public QObject {
    Q_OBJECT

private slots:
    // A run stopped, cut short or disturbed at each of its stages ends cleanly: no crash,
    // nothing written once it stopped, the right message, the form back, and the next FLASH
    // flashes.
    void run_interrupted_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("message");
        const std::pair<stage, const char*> stages[] = {
            {stage::downloading, "downloading"}, {stage::preparing, "preparing"},
            {stage::decompressing, "decompressing"}, {stage::writing, "writing"}};
        const std::tuple<action, const char*, const char*> actions[] = {
            {action::stop, "STOP", ""},
            {action::close, "close the window", ""},
            {action::unplug_chosen, "unplug the chosen stick", "Device disconected!"},
            {action::unplug_other, "unplug another stick", ""},
            {action::server_error, "server error", ""}};
        for (const auto& [at, stage_name] : stages)
            for (const auto& [what, action_name, message] : actions) {
                QString expected = message;
                if (what == action::server_error && at == stage::downloading)
                    expected = "Network error";
                QTest::addRow("%s, %s", stage_name, action_name)
                    << int(at) << int(what) << expected;
            }
    }

    void run_interrupted()
    {
        QFETCH(int, stage);
        QFETCH(int, action);
        QFETCH(QString, message);
        const auto at = static_cast<enum stage>(stage);
        const auto what = static_cast<enum action>(action);
        window_driver driver(three_chunk_release());
        const QString other = what == action::unplug_other ? driver.add_stick("Other Stick") : QString();
        driver.open_window();
        if (at == stage::downloading) {
            QVERIFY(driver.decline_download());
            release_server::answer held_image;
            held_image.body = driver.release().compressed;
            held_image.hold_after = 1000;
            driver.server().set_answer(release_server::image_path("v3"), held_image);
        } else {
            QVERIFY(driver.accept_download());
        }
        if (at == stage::writing) {
            // Decompressed by an earlier flash: the run only copies.
            const QString image = driver.downloads() + "/v3";
            QFile decompressed(image);
            QVERIFY(decompressed.open(QIODevice::WriteOnly));
            decompressed.write(driver.release().image);
            decompressed.close();
            QVERIFY(image_manipulator::record_complete(image.toStdString()));
        }
        driver.fill_form("rig(%d)");
        if (what == action::unplug_other)
            QVERIFY(driver.pick("DataTraveler"));
        QTRY_VERIFY(driver.flash_clickable());

        if (at == stage::preparing)
            // The volume finder's lock, after the one of the preparation itself.
            win32::test_control::hold_call(call::lock, stick_volume(0), 1);
        // A first flash writes each chunk as it is inflated: held at its second chunk, the
        // image is being decompressed.
        if (at == stage::decompressing || at == stage::writing)
            win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
        QVERIFY(driver.press_flash());
        if (at == stage::downloading) {
            QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 10000);
            QVERIFY(driver.press_card_button("UPDATE"));
            QTRY_COMPARE_WITH_TIMEOUT(driver.server().held_transfers(), 1, 10000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
        }
        const int writes_before = journal_count(call::write);
        const quint16 port = driver.server().port();

        const int refreshes = driver.log_count("Updated window");
        switch (what) {
        case action::stop:
        case action::close: {
            // A stop may wait for what is held: that is let go once the stop is under way.
            const char* stopping = at == stage::downloading ? "Download canceled"
                : at == stage::preparing                   ? "Preparation canceled"
                                                           : "Burning canceled";
            const auto release = release_once_logged(driver, stopping);
            if (what == action::stop)
                QVERIFY(driver.press_flash());
            else
                QVERIFY(driver.press_window_close());
            QVERIFY(driver.press_card_button("STOP FLASHING"));
            break;
        }
        case action::unplug_chosen:
        case action::unplug_other:
            driver.host().remove(what == action::unplug_chosen ? driver.stick() : other);
            // The window has seen the stick go before the run goes on.
            QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") > refreshes, 10000);
            break;
        case action::server_error:
            driver.server().stop();
            break;
        }
        win32::test_control::release_held();
        driver.server().release_held();

        const bool stopped = what == action::stop || what == action::close;
        const bool completes = !stopped && message.isEmpty();
        if (completes)
            QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 1, 30000);
        else if (!message.isEmpty())
            QTRY_VERIFY2_WITH_TIMEOUT(driver.last_message().startsWith(message),
                                      qPrintable(driver.last_message()), 30000);
        // Once the run is over, what it started has ended; a closed window ended it as it closed.
        if (what != action::close)
            QTRY_VERIFY_WITH_TIMEOUT(!driver.window()->is_busy(), at_once_ms);
        QCOMPARE(driver.log_count("Flashing finished"), completes ? 1 : 0);
        if (stopped) {
            // The write held when the stop came still ends; none follows it.
            const bool copying = at == stage::decompressing || at == stage::writing;
            QCOMPARE(journal_count(call::write), copying ? writes_before + 1 : 0);
            QCOMPARE(journal_count(call::eject), 0);
            // A stop keeps a complete download.
            QCOMPARE(QFile::exists(driver.downloads() + "/v3.gz"), at != stage::downloading);
        }
        if (at == stage::downloading && !completes)
            QCOMPARE(journal_count(call::delete_layout), 0);

        // The form is back, and the next FLASH flashes.
        release_server::answer whole_image;
        whole_image.body = driver.release().compressed;
        driver.server().set_answer(release_server::image_path("v3"), whole_image);
        const bool download_lost = at == stage::downloading && !completes
            && what != action::unplug_chosen;
        if (what == action::close) {
            QVERIFY(!driver.window()->isVisible());
            driver.close_window();
            driver.open_window();
            if (download_lost)
                QVERIFY(driver.accept_download());
        }
        if (what == action::server_error)
            QVERIFY(driver.server().start(port));
        if (what == action::unplug_chosen)
            driver.replug_stick();
        QTRY_VERIFY(!driver.window()->is_busy());
        if (!message.isEmpty())
            // Still there after the device watch refreshed the list.
            QVERIFY(driver.window()->findChild<QLabel*>("message")->isVisible());
        // A flash that went through ends on its page: the form under it waits for the page's
        // own button.
        if (completes) {
            QVERIFY(!driver.flash_clickable());
            QVERIFY(!driver.input("BTC Address")->isEnabled());
            QVERIFY(driver.press_card_button("FLASH NEW USB"));
        }
        QVERIFY(driver.input("BTC Address")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(driver.flash_clickable(), 10000);
        QVERIFY(driver.press_flash());
        if (download_lost && what != action::close)
            QVERIFY(driver.accept_download());
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), completes ? 2 : 1, 60000);
        // Names are handed out once the image is checked, before the disk is touched: a run
        // stopped after that has used its name.
        const bool name_used = completes || at != stage::downloading;
        QCOMPARE(driver.written_worker(), name_used ? QString("rig2") : QString("rig1"));
    }

    // STOP while every stick at once is written: each stick stops at its next block, and none is
    // left with a layout that boots.
    void stop_during_the_write_of_a_batch()
    {
        // Six blocks of a first flash: held at its second, one stick keeps the others from
        // going more than a block ahead of it, far from their ends.
        window_driver driver(release_fixture::make("v3", 48 << 20, 1 << 20));
        driver.add_stick("Stick 2");
        driver.add_stick("Stick 3");
        driver.open_window();
        QVERIFY(driver.accept_download());
        driver.fill_form("rig(%d)");
        QVERIFY(driver.pick_all());
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), at_once_ms);
        {
            const auto release = release_once_logged(driver, "Burning canceled");
            QVERIFY(driver.press_flash());
            QVERIFY(driver.press_card_button("STOP FLASHING"));
        }
        const int writes_at_stop = int(win32::test_control::journal().size());
        QTRY_VERIFY_WITH_TIMEOUT(!driver.window()->is_busy(), at_once_ms);
        // At most the write each stick had under way when the stop came.
        int writes_after = 0;
        const auto entries = win32::test_control::journal();
        for (std::size_t index = std::size_t(writes_at_stop); index < entries.size(); ++index)
            writes_after += entries[index].what == call::write;
        QVERIFY2(writes_after <= 3, qPrintable(QString::number(writes_after)));
        for (const auto& entry : entries)
            QVERIFY(!(entry.what == call::write && entry.offset == 0));
        QCOMPARE(journal_count(call::eject), 0);
        QCOMPARE(driver.log_count("Flashing finished"), 0);
        QVERIFY(!driver.window()->findChild<end_dialog*>());
    }

    // What goes onto the stick is what the form held at FLASH: the form stays locked through
    // the run, and a value changed behind its back changes nothing of it.
    void form_stays_locked_through_the_run()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        win32::test_control::hold_call(call::lock, stick_volume(0), 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
        const int refreshes = driver.log_count("Updated window");
        driver.add_stick("Other Stick");
        QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") > refreshes, 10000);
        for (text_input* input : driver.window()->findChildren<text_input*>())
            QVERIFY2(!input->isEnabled(), qPrintable(input->placeholderText()));

        // A value changed behind the form's back does not reach the stick.
        driver.input("BTC Address")->setText("1bad");
        win32::test_control::release_held();
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 1, at_once_ms);
        const QByteArray block = driver.host().read(driver.stick(), qint64(driver.release().config_offset), 2048);
        QVERIFY(block.contains(QByteArray("\"btc\": \"") + window_driver::btc_address + "\""));
        QCOMPARE(driver.last_message(), QString("Worker name on the stick: rig1"));
        // The message stays until the user acts, through the device watch's refreshes.
        const int seen = driver.log_count("Updated window");
        driver.add_stick("Third Stick");
        QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") > seen, at_once_ms);
        driver.window()->update_window();
        QVERIFY(driver.window()->findChild<QLabel*>("message")->isVisible());
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        driver.input("BTC Address")->clear();
        QTest::keyClicks(driver.input("BTC Address"), window_driver::btc_address);
        QTRY_VERIFY(!driver.window()->findChild<QLabel*>("message")->isVisible());
    }

    void declining_the_offer_during_a_run_returns_to_the_form()
    {
        window_driver driver(three_chunk_release());
        driver.open_window();
        QVERIFY(driver.decline_download());
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QVERIFY(driver.decline_download());
        QTRY_VERIFY(driver.input("BTC Address")->isEnabled());
        QVERIFY(!driver.window()->is_busy());
        // FLASH starts a run again rather than asking to stop one.
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QVERIFY(!driver.question());
        QTRY_COMPARE(driver.log_count("Animation"), 2);
    }

    // A stop asks about the run, not about the stage it was pressed in: answered once the
    // download is over, it stops the write, and the complete download is kept.
    void stop_question_outlives_its_download()
    {
        window_driver driver(three_chunk_release());
        release_server::answer held_image;
        held_image.body = driver.release().compressed;
        held_image.hold_after = 1000;
        driver.server().set_answer(release_server::image_path("v3"), held_image);
        driver.open_window();
        QVERIFY(driver.decline_download());
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 10000);
        QVERIFY(driver.press_card_button("UPDATE"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.server().held_transfers(), 1, 10000);
        QVERIFY(driver.press_flash());
        QVERIFY(driver.question());
        driver.server().release_held();
        // The question was asked about the run: it is still there while the image is written.
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
        QVERIFY(driver.question());
        {
            const auto release = release_once_logged(driver, "Burning canceled");
            QVERIFY(driver.press_card_button("STOP FLASHING"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!driver.window()->is_busy(), at_once_ms);
        QCOMPARE(driver.log_count("Flashing finished"), 0);
        QCOMPARE(driver.host().read(driver.stick(), 0, 512), QByteArray(512, '\0'));
        QVERIFY(QFile::exists(driver.downloads() + "/v3.gz"));
    }

    // A cache whose checksum still matches but whose image the user deleted is downloaded
    // again, before any disk is touched.
    void missing_image_is_offered_again()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(QFile::remove(driver.downloads() + "/v3.gz"));
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 10000);
        QCOMPARE(journal_count(call::delete_layout), 0);
    }

    // A stick that lost a write is not called flashed: no success card.
    void a_stick_that_fails_its_read_back_is_not_called_flashed()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        win32::test_control::drop_call(call::write, window_driver::stick_path, 1);
        QVERIFY(driver.press_flash());
        QTRY_COMPARE_WITH_TIMEOUT(driver.last_message(),
                                  QString("Verification failed: the stick may be faulty"), 30000);
        QTRY_VERIFY(!driver.window()->is_busy());
        QCOMPARE(driver.log_count("Flashing finished"), 0);
        QVERIFY(!driver.window()->findChild<end_dialog*>());
        // Its name was handed out all the same: the next rig gets the next one.
        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,2)"));
        QCOMPARE(journal_count(call::eject), 0);
    }

    void continue_keeps_the_write_going()
    {
        window_driver driver(three_chunk_release());
        flash_until_the_second_chunk(driver);
        QVERIFY(driver.press_flash());
        QVERIFY(driver.press_card_button("CONTINUE"));
        win32::test_control::release_held();
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 1, 30000);
        QCOMPARE(journal_count(call::eject), 1);
        QCOMPARE(driver.stick_content().mid(0, 1 << 20), driver.release().image.left(1 << 20));
    }

    // "Stop flashing?" left unanswered until FLASH ANOTHER?'s flash is through: the question
    // goes with the run, and the form under the success page, which came first, takes no click
    // until the page's own button is pressed; no second page stacks on it.
    void stop_question_left_open_until_the_flash_ends()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), at_once_ms);
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), at_once_ms);
        QVERIFY(driver.press_flash());
        QVERIFY(driver.question());
        win32::test_control::release_held();
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 2, at_once_ms);
        QTRY_VERIFY(!driver.window()->is_busy());
        QVERIFY(!driver.question());
        int pages = 0;
        for (end_dialog* page : driver.window()->findChildren<end_dialog*>())
            pages += page->isVisible();
        QCOMPARE(pages, 1);
        QVERIFY(!driver.flash_clickable());
        QVERIFY(!driver.input("BTC Address")->isEnabled());
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QVERIFY(driver.flash_clickable());
        QVERIFY(driver.input("BTC Address")->isEnabled());
    }

    void configuration_over_its_slot_writes_nothing()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        driver.input("SSH key")->setText("ssh-rsa " + QString(2100, 'A'));
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Config file exceeds 2kB", 30000);
        // Refused before the stick was touched.
        QCOMPARE(journal_count(call::delete_layout), 0);
        QCOMPARE(journal_count(call::write), 0);
        // The stick is let go, not kept locked until the program ends.
        QVERIFY(stick_volume_lockable());
        QVERIFY(!driver.window()->is_busy());
        QVERIFY(driver.input("BTC Address")->isEnabled());
    }

    void damaged_image_lets_the_stick_go()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QFile compressed(driver.downloads() + "/v3.gz");
        QVERIFY(compressed.resize(compressed.size() / 2));
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Downloaded image is damaged", 30000);
        QCOMPARE(journal_count(call::delete_layout), 0);
        QCOMPARE(journal_count(call::write), 0);
        QTRY_VERIFY(stick_volume_lockable());
        QVERIFY(!QFile::exists(driver.downloads() + "/v3.gz"));
    }

    // A downloads folder that may not be written is named, not taken for a full disk.
    // The unpacked image is kept only to spare the next run the work: a downloads folder that
    // may not be written is no reason to fail a stick, which is flashed from the download.
    void read_only_downloads_folder_still_flashes()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        const qt_warnings warnings;
        const unwritable_folder read_only(driver.downloads());
        QVERIFY(driver.press_flash());
        QTRY_COMPARE_WITH_TIMEOUT(driver.last_message(), QString("Worker name on the stick: rig1"), 30000);
        QTRY_VERIFY(!driver.window()->is_busy());
        QCOMPARE(driver.written_worker(), QString("rig1"));
        QCOMPARE(QDir(driver.downloads()).entryList(QDir::Files), QStringList({"checksum.md5", "v3.gz"}));
        QTRY_VERIFY(stick_volume_lockable());
        QCOMPARE(warnings.texts().filter("device not open"), QStringList());
    }

    void stick_swapped_while_the_image_downloads_data()
    {
        QTest::addColumn<bool>("picked");
        // Picked from two: the other stick is never selected in its place.
        QTest::newRow("picked by the user") << true;
        // The only stick, chosen by the list; another plugged in is chosen in turn, and the
        // window must see that it is not the disk of the run.
        QTest::newRow("chosen by the list, another plugged in") << false;
    }

    // The run's disk is gone when its image arrives: nothing of the preparation starts.
    void stick_swapped_while_the_image_downloads()
    {
        QFETCH(bool, picked);
        window_driver driver(three_chunk_release());
        fake_host::disk other = fake_host::usb_stick(32'000'000'000);
        other.model = "Other Stick";
        if (picked)
            driver.host().add(other);
        release_server::answer held_image;
        held_image.body = driver.release().compressed;
        held_image.hold_after = 1000;
        driver.server().set_answer(release_server::image_path("v3"), held_image);

        driver.open_window();
        // Not now: the start-up offer is declined.
        QVERIFY(driver.decline_download());
        QVERIFY(driver.wait_for_start_up_reports());

        auto* list = driver.window()->findChild<device_selection*>();
        if (picked)
            QVERIFY(driver.pick("DataTraveler"));
        QCOMPARE(QString::fromStdString(list->selected_device()->path), QString(window_driver::stick_path));
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());

        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 10000);
        QVERIFY(driver.press_card_button("UPDATE"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.server().held_transfers(), 1, 10000);
        driver.host().remove(driver.stick());
        QTRY_VERIFY_WITH_TIMEOUT(!list->selected_device(), at_once_ms);
        if (!picked) {
            driver.host().add(other);
            QTRY_VERIFY_WITH_TIMEOUT(list->selected_device()
                                         && QString::fromStdString(list->selected_device()->name).contains("Other Stick"),
                                     at_once_ms);
        }
        driver.server().release_held();

        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Device disconected!", at_once_ms);
        QVERIFY(!driver.window()->is_busy());
        QCOMPARE(driver.log_count("Format:"), 0);
        QVERIFY(win32::test_control::journal().empty());
    }

    void large_disk_asks_first_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("asks");
        QTest::newRow("64 GiB exactly") << quint64(68719476736ULL) << false;
        QTest::newRow("one byte more") << quint64(68719476737ULL) << true;
    }

    void large_disk_asks_first()
    {
        QFETCH(quint64, size);
        QFETCH(bool, asks);
        window_driver driver(three_chunk_release());
        prepare(driver);
        // After the start-up reports of the USB watch, which would rebuild the list.
        QVERIFY(driver.wait_for_start_up_reports());
        auto* list = driver.window()->findChild<device_selection*>();
        list->update_devices_list({disk_record(size)});
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        // Once folded, the run either asks or goes on.
        QTRY_VERIFY(driver.question() || driver.log_count("pressed") > 0);
        QCOMPARE(driver.question() != nullptr, asks);
        QCOMPARE(driver.log_count("pressed"), asks ? 0 : 2);
    }

    void declining_the_large_disk_returns_to_the_form_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("goes_on");
        QTest::newRow("CANCEL") << "CANCEL" << false;
        QTest::newRow("close cross") << "close" << false;
        QTest::newRow("CONTINUE") << "CONTINUE" << true;
    }

    void declining_the_large_disk_returns_to_the_form()
    {
        QFETCH(QString, button);
        QFETCH(bool, goes_on);
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(driver.wait_for_start_up_reports());
        driver.window()->findChild<device_selection*>()->update_devices_list(
            {disk_record(128'000'000'000)});
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY(driver.question());
        // The answer is acted on as it is clicked.
        QVERIFY(button == "close" ? driver.press_card_close() : driver.press_card_button(button));
        QVERIFY(!driver.question());
        QCOMPARE(driver.log_count("pressed"), goes_on ? 2 : 0);
        QCOMPARE(journal_count(call::write), 0);
        if (goes_on) {
            // The made-up disk cannot be opened: the run ends with a message, not in a wait.
            QTRY_COMPARE(driver.last_message(), QString("Device disconected!"));
            QVERIFY(!driver.window()->is_busy());
            return;
        }
        QVERIFY(!driver.window()->is_busy());
        QTRY_VERIFY(driver.flash_clickable());
        QCOMPARE(driver.log_count("Format:"), 0);
    }

    void stick_gone_during_the_fold_returns_to_the_form()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(driver.press_flash());
        driver.host().remove(driver.stick());
        driver.window()->findChild<device_selection*>()->update_devices_list({});
        // Folded, the run finds no disk and gives the form back.
        QTRY_VERIFY(driver.input("BTC Address")->isEnabled());
        QCOMPARE(driver.log_count("pressed"), 0);
        QVERIFY(!driver.window()->is_busy());
        QCOMPARE(journal_count(call::delete_layout), 0);
    }

    void empty_btc_address_keeps_the_form_open()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(driver.press_flash());
        // Cleared while the fold animation runs, before the run checks it.
        driver.input("BTC Address")->clear();
        QString expected = QString("Empty BTC address!") + QChar(0xFE0F);
        QTRY_VERIFY(driver.last_message() == expected);
        QVERIFY(driver.input("BTC Address")->isEnabled());
        QVERIFY(!driver.window()->is_busy());
        QCOMPARE(journal_count(call::delete_layout), 0);
    }
};

QTEST_MAIN(test_main_window_failures)
#include "test_main_window_failures.moc"
