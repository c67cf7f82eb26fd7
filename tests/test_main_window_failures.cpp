// Runs through the real window that end early: stopped, unplugged, refused or mistyped.

#include "window_driver.h"

#include "device/device_windows.h"
#include "gui/device_selection.h"
#include "gui/device_selection_widget.h"
#include "gui/download_dialog.h"
#include "gui/dialog_window.h"
#include "gui/main_window.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "gui/titlebar.h"
#include "platform/win32/test_control.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include <QFile>
#include <QTest>
#include <QThread>

#include <thread>

namespace {

using win32::test_control::call;

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
    void stop_flashing_during_the_write()
    {
        window_driver driver(three_chunk_release());
        flash_until_the_second_chunk(driver);

        // The running button asks first.
        QVERIFY(driver.press_flash());
        auto* question = driver.window()->findChild<dialog_window*>();
        QVERIFY(question);
        QVERIFY(window_driver::click(question, QPoint(113, 178))); // "STOP FLASHING"
        win32::test_control::release_held();

        QTRY_COMPARE_WITH_TIMEOUT(journal_count(call::update_properties), 2, 10000);
        QTest::qWait(200);
        QCOMPARE(journal_count(call::eject), 0);
        QCOMPARE(journal_count(call::write), 2);
        QVERIFY(driver.input("BTC Address")->isEnabled());
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(!driver.window()->is_busy());
    }

    void closing_during_the_write_stops_the_copy_first()
    {
        window_driver driver(three_chunk_release());
        flash_until_the_second_chunk(driver);
        QVERIFY(window_driver::click(driver.window()->findChild<titlebar*>(), QPoint(577, 24)));
        auto* question = driver.window()->findChild<dialog_window*>();
        QVERIFY(question);
        // The held write goes on once the window waits for the copy to stop.
        std::thread release([] {
            QThread::msleep(300);
            win32::test_control::release_held();
        });
        QVERIFY(window_driver::click(question, QPoint(113, 178))); // "STOP FLASHING"
        release.join();
        QVERIFY(!driver.window()->isVisible());
        QCOMPARE(journal_count(call::write), 2);
        QCOMPARE(journal_count(call::eject), 0);
        QCOMPARE(journal_count(call::update_properties), 2);
        QVERIFY(driver.settings_text().contains("\"worker\": \"rig(%d)\""));
    }

    void continue_keeps_the_write_going()
    {
        window_driver driver(three_chunk_release());
        flash_until_the_second_chunk(driver);
        QVERIFY(driver.press_flash());
        QVERIFY(window_driver::click(driver.window()->findChild<dialog_window*>(), QPoint(297, 178)));
        win32::test_control::release_held();
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 1, 30000);
        QCOMPARE(journal_count(call::eject), 1);
        QCOMPARE(driver.stick_content().mid(0, 1 << 20), driver.release().image.left(1 << 20));
    }

    void stick_removed_during_the_write()
    {
        window_driver driver(three_chunk_release());
        flash_until_the_second_chunk(driver);
        driver.host().remove(driver.stick());
        win32::test_control::release_held();

        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Device disconected!", 10000);
        QCOMPARE(driver.log_count("Burning interupted 'Device disconected'"), 1);
        QVERIFY(!driver.window()->is_busy());
        QVERIFY(driver.input("BTC Address")->isEnabled());
        QCOMPARE(journal_count(call::eject), 0);
    }

    void configuration_over_its_slot_writes_nothing()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        driver.input("SSH key")->setText("ssh-rsa " + QString(2100, 'A'));
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Config file exceeds 2kB", 30000);
        QCOMPARE(journal_count(call::delete_layout), 1);
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
        QCOMPARE(journal_count(call::write), 0);
        QTRY_VERIFY(stick_volume_lockable());
        QVERIFY(!QFile::exists(driver.downloads() + "/v3.gz"));
    }

    void stick_swapped_while_the_image_downloads()
    {
        window_driver driver(three_chunk_release());
        fake_host::disk other = fake_host::usb_stick(32'000'000'000);
        other.model = "Other Stick";
        driver.host().add(other);
        release_server::answer held_image;
        held_image.body = driver.release().compressed;
        held_image.hold_after = 1000;
        driver.server().set_answer(release_server::image_path("v3"), held_image);

        driver.open_window();
        // Not now: the start-up offer is declined.
        QTRY_VERIFY(driver.window()->findChild<download_dialog*>());
        QVERIFY(window_driver::click(driver.window()->findChild<download_dialog*>(), QPoint(113, 178)));
        QTest::qWait(2500);

        auto* list = driver.window()->findChild<device_selection*>();
        QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier, QPoint(276, 36));
        QList<device_selection_widget*> rows = list->findChildren<device_selection_widget*>();
        QCOMPARE(rows.size(), 2);
        QTest::mouseClick(rows.first(), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(list->selected_device()->path), QString(window_driver::stick_path));
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());

        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<download_dialog*>(), 10000);
        QVERIFY(window_driver::click(driver.window()->findChild<download_dialog*>(), QPoint(300, 178)));
        QTRY_COMPARE_WITH_TIMEOUT(driver.server().held_transfers(), 1, 10000);
        driver.host().remove(driver.stick());
        // The other stick is never selected in its place.
        QTRY_VERIFY_WITH_TIMEOUT(!list->selected_device(), 10000);
        driver.server().release_held();

        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message() == "Device disconected!", 10000);
        QVERIFY(!driver.window()->is_busy());
        QCOMPARE(journal_count(call::delete_layout), 0);
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
        QTest::qWait(2500);
        auto* list = driver.window()->findChild<device_selection*>();
        list->update_devices_list({disk_record(size)});
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTest::qWait(600);
        auto* question = driver.window()->findChild<dialog_window*>();
        QCOMPARE(question != nullptr, asks);
        QCOMPARE(driver.log_count("pressed"), asks ? 0 : 2);
    }

    void declining_the_large_disk_returns_to_the_form_data()
    {
        QTest::addColumn<QPoint>("button");
        QTest::addColumn<bool>("goes_on");
        QTest::newRow("CANCEL") << QPoint(113, 178) << false;
        QTest::newRow("close cross") << QPoint(382, 37) << false;
        QTest::newRow("CONTINUE") << QPoint(297, 178) << true;
    }

    void declining_the_large_disk_returns_to_the_form()
    {
        QFETCH(QPoint, button);
        QFETCH(bool, goes_on);
        window_driver driver(three_chunk_release());
        prepare(driver);
        QTest::qWait(2500);
        driver.window()->findChild<device_selection*>()->update_devices_list(
            {disk_record(128'000'000'000)});
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY(driver.window()->findChild<dialog_window*>());
        QVERIFY(window_driver::click(driver.window()->findChild<dialog_window*>(), button));
        QTRY_VERIFY(!driver.window()->findChild<dialog_window*>());
        QTest::qWait(300);
        QCOMPARE(driver.log_count("pressed"), goes_on ? 2 : 0);
        QCOMPARE(driver.window()->is_busy(), goes_on);
        QCOMPARE(journal_count(call::write), 0);
        if (goes_on)
            return;
        QTRY_VERIFY(driver.flash_clickable());

        // Back at the form, an image that arrives later starts nothing.
        driver.window()->image_not_downloaded(quint64(driver.release().compressed.size()), "v3");
        QVERIFY(window_driver::click(driver.window()->findChild<download_dialog*>(), QPoint(300, 178)));
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Download finished"), 2, 10000);
        QTest::qWait(300);
        QCOMPARE(driver.log_count("Format:"), 0);
        QVERIFY(!driver.window()->is_busy());
    }

    void stick_gone_during_the_fold_returns_to_the_form()
    {
        window_driver driver(three_chunk_release());
        prepare(driver);
        QVERIFY(driver.press_flash());
        driver.host().remove(driver.stick());
        driver.window()->findChild<device_selection*>()->update_devices_list({});
        QTest::qWait(600);
        QCOMPARE(driver.log_count("pressed"), 0);
        QVERIFY(!driver.window()->is_busy());
        QVERIFY(driver.input("BTC Address")->isEnabled());
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
