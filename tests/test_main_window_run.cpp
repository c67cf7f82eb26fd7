// The whole flashing run through the real window, over a fake host and the local release server.

#include "window_driver.h"

#include "cli/cli_main.h"
#include "cli/cli_request.h"
#include "cli/console.h"
#include "config/settings_store.h"

#include "gui/batch_panel.h"
#include "gui/device_selection.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window.h"
#include "gui/more_settings.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "win32/test_control.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScreen>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <sstream>

namespace {

const quint64 config_offset = 1 << 20;

// The form as saved settings fill it when the window opens: the address, `worker`, Europe.
void save_form(const window_driver& driver, const std::string& worker)
{
    inputs saved;
    saved.btc = window_driver::btc_address;
    saved.worker = worker;
    saved.location = "eu";
    settings_store::save_settings(driver.data_folder(), saved);
}

QJsonObject block_document(const QByteArray& stick, quint64 offset)
{
    QByteArray block = stick.mid(int(offset), 2048);
    return QJsonDocument::fromJson(block).object();
}

// What the progress button's bar says ("FLASHING - 53%"), or what its faces disagree on.
QString flash_bar(const window_driver& driver)
{
    QStringList texts;
    for (QLabel* label : driver.flash_button()->findChildren<QLabel*>())
        if (label->text().contains(" - "))
            texts << label->text();
    texts.removeDuplicates();
    return texts.join(" / ");
}

// The rows over the form while a batch runs, cell by cell; none when they do not show.
QList<QStringList> batch_rows(const window_driver& driver)
{
    QList<QStringList> rows;
    auto* panel = driver.window()->findChild<batch_panel*>();
    if (!panel || !panel->isVisible())
        return rows;
    auto* grid = panel->findChild<QGridLayout*>();
    for (int row = 0; row < grid->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < grid->columnCount(); ++column)
            if (QLayoutItem* item = grid->itemAtPosition(row, column))
                if (auto* label = qobject_cast<QLabel*>(item->widget()))
                    cells << label->text();
        if (!cells.isEmpty())
            rows << cells;
    }
    return rows;
}

// The batch's speed and time left over its rows.
QString batch_rate(const window_driver& driver)
{
    for (QLabel* label : driver.window()->findChild<batch_panel*>()->findChildren<QLabel*>())
        if (label->isVisible() && label->text().contains("MB/s"))
            return label->text();
    return QString();
}

bool shows_text(QWidget* parent, const QString& text)
{
    const QList<QLabel*> labels = parent->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&text](const QLabel* label) { return label->isVisible() && label->text() == text; });
}

} // namespace

class test_main_window_run : public QObject {
    Q_OBJECT

private slots:
    void whole_run_twice_with_a_restart()
    {
        window_driver driver(release_fixture::make("v2.0.0", 3 << 20, config_offset));
        driver.open_window();

        // The start-up check offers the image before anything was pressed.
        QVERIFY(driver.accept_download());
        QCOMPARE(QDir(driver.downloads()).entryList(QDir::Files),
                 (QStringList {"checksum.md5", "v2.0.0.gz"}));

        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), 60000);
        // The page names the worker written, while it covers the line under the form.
        QVERIFY(shows_text(driver.window()->findChild<end_dialog*>(), "Worker name on the stick: rig1"));

        const QByteArray& image = driver.release().image;
        QByteArray stick = driver.stick_content(4096);
        QCOMPARE(stick.left(int(config_offset)), image.left(int(config_offset)));
        QJsonObject rig = block_document(stick, config_offset)["rig"].toObject();
        QCOMPARE(rig["worker"].toString(), QString("rig1"));
        QCOMPARE(rig["btc"].toString(), QString(window_driver::btc_address));
        QCOMPARE(rig["location"].toString(), QString("eu"));
        QCOMPARE(stick.mid(int(config_offset) + 2048, image.size() - int(config_offset) - 2048),
                 image.mid(int(config_offset) + 2048));
        QCOMPARE(stick.mid(image.size()), QByteArray(4096, '\0'));

        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,2)"));
        QVERIFY(driver.settings_text().contains("\"worker\": \"rig(%d,2)\""));

        QVERIFY(driver.press_card_button("Dont show this again"));
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(!driver.window()->findChild<end_dialog*>());
        QVERIFY(driver.settings_text().contains("\"dont_show_again\": true"));

        driver.close_window();
        driver.open_window();
        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,2)"));
        QCOMPARE(driver.input("BTC Address")->text(), QString(window_driver::btc_address));
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 2, 60000);
        // The success card would show with the run's end.
        QTRY_VERIFY(!driver.window()->is_busy());
        QVERIFY(!driver.window()->findChild<end_dialog*>());
        rig = block_document(driver.stick_content(), config_offset)["rig"].toObject();
        QCOMPARE(rig["worker"].toString(), QString("rig2"));
        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,3)"));
        // The cached image served the second run.
        QCOMPARE(driver.server().requests().count("GET " + release_server::image_path("v2.0.0")), 1);

        // A newer release whose download is cut leaves the cached one ready to flash, told as
        // when the servers are down; FLASH offers the newer one again, and its CANCEL flashes
        // the cached release rather than nothing.
        driver.close_window();
        release_fixture::make("v2.1.0", 3 << 20, config_offset).serve(driver.server());
        driver.server().answer_for(release_server::image_path("v2.1.0")).cut_after = 4096;
        driver.open_window();
        QVERIFY(driver.accept_download());
        QTRY_COMPARE_WITH_TIMEOUT(driver.last_message(), QString("Release server unreachable: flashing the cached v2.0.0"),
                                  30000);
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 30000);
        QVERIFY(driver.press_card_button("CANCEL"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 3, 60000);
        QCOMPARE(block_document(driver.stick_content(), config_offset)["rig"].toObject()["worker"].toString(),
                 QString("rig3"));
    }

    // A start-up download that failed, with nothing cached, says why and leaves FLASH to the
    // form: FLASH offers the download again.
    void a_failed_download_at_start_leaves_flash_to_ask_again()
    {
        window_driver driver(release_fixture::make("v2.0.0", 3 << 20, config_offset));
        driver.server().answer_for(release_server::image_path("v2.0.0")).cut_after = 4096;
        // The form as the settings fill it: nothing is edited after the failure.
        save_form(driver, "rig(%d)");
        driver.open_window();
        QVERIFY(driver.wait_for_start_up_reports());
        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 30000);
        QVERIFY(driver.press_card_button("UPDATE"));
        QTRY_VERIFY_WITH_TIMEOUT(driver.last_message().startsWith("Network error"), 30000);
        QTRY_VERIFY(driver.flash_clickable());
        driver.server().answer_for(release_server::image_path("v2.0.0")).cut_after = -1;
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(driver.offer(), 30000);
    }

    // A farm flashes one stick after another in the same window: "FLASH ANOTHER?" takes the
    // next stick at once, and the image is downloaded only once.
    void three_sticks_in_a_row()
    {
        window_driver driver(release_fixture::make("v2.0.0", 3 << 20, config_offset));
        driver.open_window();
        QVERIFY(driver.accept_download());
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QString stick = driver.stick();
        QStringList written;
        for (int next = 2; next <= 4; ++next) {
            QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), next - 1, 60000);
            written << driver.written_worker(stick);
            if (driver.window()->findChild<end_dialog*>()) {
                // "Dont show this again" on the second card.
                if (next == 3)
                    QVERIFY(driver.press_card_button("Dont show this again"));
                QVERIFY(driver.press_card_button("FLASH NEW USB"));
            }
            QTRY_VERIFY(!driver.window()->findChild<end_dialog*>());
            // "FLASH ANOTHER?" answers right away, before anything else changed.
            QCOMPARE(driver.flash_face(), QString("done"));
            QVERIFY(driver.flash_clickable());
            if (next == 4)
                break;
            driver.host().remove(stick);
            QTRY_VERIFY_WITH_TIMEOUT(!driver.flash_clickable(), 10000);
            stick = driver.add_stick(QString("Stick %1").arg(next));
            QTRY_VERIFY_WITH_TIMEOUT(driver.flash_clickable(), 10000);
            QVERIFY(driver.press_flash());
        }
        QCOMPARE(written, (QStringList {"rig1", "rig2", "rig3"}));
        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,4)"));
        QCOMPARE(driver.server().requests().count("GET " + release_server::image_path("v2.0.0")), 1);
    }

    // Every stick at once: one pulled while it is written fails alone, the others are verified,
    // each with its own name, and the end page lists them all. Nothing else is written.
    void every_stick_at_once_with_one_pulled()
    {
        window_driver driver(release_fixture::make("v3", 20 << 20, 1 << 20));
        driver.host().add(fake_host::sata_disk());
        const QStringList sticks {driver.stick(), driver.add_stick("Stick 2"), driver.add_stick("Stick 3")};
        driver.open_window();
        QVERIFY(driver.accept_download());
        driver.fill_form("rig(%d)");
        QVERIFY(driver.pick_all());
        QTRY_VERIFY(driver.flash_clickable());
        const std::string pulled_path = "\\\\.\\PhysicalDrive2";
        win32::test_control::hold_call(win32::test_control::call::write, pulled_path, 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 60000);
        // The others go on to their end meanwhile; the pulled stick's writer may take longer to
        // give up than they take to finish.
        const auto ejections = [](const char* path) {
            const auto entries = win32::test_control::journal();
            return std::count_if(entries.begin(), entries.end(), [path](const auto& entry) {
                return entry.what == win32::test_control::call::eject && entry.target == path;
            });
        };
        const auto ejected = [&ejections](const char* path) { return ejections(path) > 0; };
        QTRY_VERIFY_WITH_TIMEOUT(ejected("\\\\.\\PhysicalDrive0") && ejected("\\\\.\\PhysicalDrive3"), 60000);
        const int refreshes = driver.log_count("Updated window");
        driver.host().remove(sticks[1]);
        QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") > refreshes, 60000);
        // Gone, the stick no longer holds the button where it stopped: it shows the others'
        // read-back, not the pulled stick's write.
        QVERIFY2(flash_bar(driver).startsWith("VERIFYING - "), qPrintable(flash_bar(driver)));
        // The list's entry still names the batch, not the sticks left.
        QVERIFY(shows_text(driver.window()->findChild<device_selection*>(), "All USB sticks (3)"));
        // The operator turns to another window while the batch ends.
        QWidget elsewhere;
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        QTRY_VERIFY(!driver.window()->isActiveWindow());
        win32::test_control::release_held();

        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), 60000);
        QCOMPARE(driver.written_worker(sticks[0]), QString("rig1"));
        QCOMPARE(driver.written_worker(sticks[2]), QString("rig3"));
        QStringList shown;
        for (QLabel* label : driver.window()->findChild<end_dialog*>()->findChildren<QLabel*>())
            shown << label->text();
        QVERIFY(!shown.contains("USB Flashing Successful!"));
        for (const char* text : {"Some USB sticks failed", "2 of 3 USB sticks flashed", "rig1", "rig2", "rig3", "verified", "Device disconected!"})
            QVERIFY2(shown.contains(text), text);
        QCOMPARE(shown.count("verified"), 2);
        // Nobody was looking at the window: the desktop is told, and the bell rung.
        QCOMPARE(driver.log_count("Batch ended while the window was not active: 2 of 3 USB sticks flashed"), 1);
        QVERIFY2(flash_bar(driver).startsWith("VERIFYING - "), qPrintable(flash_bar(driver)));
        QCOMPARE(driver.input("Worker name")->text(), QString("rig(%d,4)"));
        for (const auto& entry : win32::test_control::journal())
            if (entry.what == win32::test_control::call::write)
                QVERIFY2(QStringList({"\\\\.\\PhysicalDrive0", "\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive3"})
                             .contains(QString::fromStdString(entry.target)),
                         entry.target.c_str());
        // The next batch takes the sticks there are then, watched: no notice.
        QApplication::setActiveWindow(driver.window());
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 2, 60000);
        QCOMPARE(driver.written_worker(sticks[0]), QString("rig4"));
        QCOMPARE(driver.written_worker(sticks[2]), QString("rig5"));

        // STOP mid-batch: a stick cut short is stopped, not fed a damaged image, and the cached
        // release stays for the next batch.
        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), 60000);
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(win32::test_control::call::write, "\\\\.\\PhysicalDrive0", 1);
        const auto through_before = ejections("\\\\.\\PhysicalDrive3");
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 60000);
        // The other stick, prepared while the first was written, is through before the stop.
        QTRY_VERIFY_WITH_TIMEOUT(ejections("\\\\.\\PhysicalDrive3") > through_before, 60000);
        QVERIFY(driver.press_flash());
        QVERIFY(driver.press_card_button("STOP FLASHING"));
        win32::test_control::release_held();
        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), 60000);
        shown.clear();
        for (QLabel* label : driver.window()->findChild<end_dialog*>()->findChildren<QLabel*>())
            shown << label->text();
        QVERIFY2(shown.contains("stopped"), qPrintable(shown.join('|')));
        QVERIFY2(!shown.contains("Downloaded image is damaged"), qPrintable(shown.join('|')));
        QVERIFY(QFile::exists(driver.downloads() + "/v3.gz"));
        QCOMPARE(driver.log_count("Batch ended while the window was not active: 2 of 3 USB sticks flashed"), 1);
    }

    // Two sticks of one model at once: while one's write is held, a row for each tells them
    // apart by their port, with the worker name it gets, where it stands and how far, over the
    // locked form; the batch's speed and time left show once bytes have moved.
    void identical_sticks_at_once_show_a_row_each()
    {
        window_driver driver(release_fixture::make("v3", 20 << 20, 1 << 20));
        driver.add_stick(fake_host::usb_stick().model);
        driver.open_window();
        QVERIFY(driver.accept_download());
        driver.fill_form("rig(%d)");
        QVERIFY(driver.pick_all());
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(win32::test_control::call::write, "\\\\.\\PhysicalDrive1", 1);
        QVERIFY(driver.press_flash());
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(batch_rows(driver).value(0).value(3) == "verified", 60000);
        const QList<QStringList> rows = batch_rows(driver);
        QCOMPARE(rows.size(), 2);
        const QString model = fake_host::usb_stick().model;
        QVERIFY2(rows[0][0].contains(model) && rows[0][0].endsWith("(port 1-1)"), qPrintable(rows[0][0]));
        QVERIFY2(rows[1][0].contains(model) && rows[1][0].endsWith("(port 1-2)"), qPrintable(rows[1][0]));
        QCOMPARE(rows[0].mid(1), (QStringList {"16.00 GB", "rig1", "verified", "100%"}));
        QCOMPARE(rows[1].mid(1, 3), (QStringList {"16.00 GB", "rig2", "writing"}));
        QVERIFY2(batch_rate(driver).contains(" left"), qPrintable(batch_rate(driver)));
        QVERIFY(!driver.input("BTC Address")->isVisible());
        win32::test_control::release_held();

        QTRY_VERIFY_WITH_TIMEOUT(driver.window()->findChild<end_dialog*>(), 60000);
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(driver.input("BTC Address")->isVisible());
        QCOMPARE(batch_rows(driver), QList<QStringList>());
    }

    // A form filled from the settings may be flashed as soon as the start-up download ends.
    void flash_is_ready_once_the_start_up_download_ends()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        save_form(driver, "");
        driver.open_window();
        QVERIFY(driver.wait_for_start_up_reports());
        QVERIFY(driver.accept_download());
        QVERIFY(driver.flash_clickable());
    }

    // Folded away, the optional fields are neither shown nor reached with Tab. Unfolded on a
    // screen 600 pixels high, the window keeps to the screen with FLASH, and the form scrolls.
    void folded_fields_are_out_of_reach()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        driver.open_window();
        QVERIFY(driver.decline_download());
        text_input* group = driver.input("Group name");
        group->setFocus();
        QTRY_VERIFY(group->hasFocus());
        QTest::keyClick(group, Qt::Key_Tab);
        for (const char* optional : {"Wireless ssid", "Wireless key", "SSH key"}) {
            QVERIFY2(!driver.input(optional)->isVisible(), optional);
            QVERIFY2(!driver.input(optional)->hasFocus(), optional);
        }
        for (QLabel* label : driver.window()->findChildren<QLabel*>())
            QVERIFY2(!label->isVisible() || label->text() != "Wireless ssid", "a stray label");

        main_window* window = driver.window();
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(screen.height() < 800);
        // A late report of the disks would fold the form again.
        QVERIFY(driver.wait_for_start_up_reports());
        QTest::mouseClick(window->findChild<more_settings*>(), Qt::LeftButton);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        QVERIFY(screen.contains(window->geometry()));
        progress_button* flash = driver.flash_button();
        QVERIFY(screen.contains(QRect(flash->mapToGlobal(QPoint()), flash->size())));
        text_input* ssh = driver.input("SSH key");
        QVERIFY(ssh->isVisible());
        QVERIFY(!ssh->visibleRegion().isEmpty());
    }

    // A window and a command line on one data folder: each takes the next name the other left,
    // and closing the window puts no counter back.
    void window_and_command_line_share_the_counter()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        save_form(driver, "farm(%d,10)");
        const QString other = driver.add_stick("Other Stick");
        driver.open_window();
        QVERIFY(driver.accept_download());
        QCOMPARE(driver.input("Worker name")->text(), QString("farm(%d,10)"));

        // The command line flashes the other stick, disk 1, meanwhile.
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        cli::console io {in, out, err, false};
        const cli::parse_result asked = cli::parse({"flash", "--disk", "1", "--yes"});
        QCOMPARE(cli::run(asked.parsed, driver.data_folder(), io), 0);
        QCOMPARE(driver.written_worker(other), QString("farm10"));

        QVERIFY(driver.pick("DataTraveler"));
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QTRY_COMPARE_WITH_TIMEOUT(driver.log_count("Flashing finished"), 1, 60000);
        QCOMPARE(driver.written_worker(), QString("farm11"));
        QCOMPARE(driver.input("Worker name")->text(), QString("farm(%d,12)"));
        driver.close_window();
        QCOMPARE(settings_store::load_settings(driver.data_folder())->worker, std::string("farm(%d,12)"));
    }

    // A window left as it was loaded, while a command line counted on: closed, it keeps the
    // command line's counter rather than writing back the one it showed.
    void closing_an_untouched_window_keeps_another_runs_counter()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        save_form(driver, "farm(%d,10)");
        driver.open_window();
        QVERIFY(driver.accept_download());
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        cli::console io {in, out, err, false};
        QCOMPARE(cli::run(cli::parse({"flash", "--disk", "0", "--yes"}).parsed, driver.data_folder(), io), 0);
        QCOMPARE(driver.input("Worker name")->text(), QString("farm(%d,10)"));
        driver.close_window();
        QCOMPARE(settings_store::load_settings(driver.data_folder())->worker, std::string("farm(%d,11)"));
    }

    // The window keeps what it needs of its arguments.
    void window_outlives_its_data_folder_string()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        auto* window = new main_window("Kestrel Flash Tool", std::string(driver.data_folder()), "1.0.6");
        window->close();
        delete window;
        QVERIFY(driver.settings_text().contains("\"flash_tool\""));
    }

    void window_renders_every_icon()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        driver.open_window();
        // With the download card up, the window holds every kind of widget at once.
        QTRY_VERIFY(driver.window()->findChild<download_dialog*>());
        QImage picture = driver.window()->grab().toImage();
        QVERIFY(!picture.isNull());
        int icons = 0;
        for (QLabel* label : driver.window()->findChildren<QLabel*>()) {
            if (!label->hasScaledContents())
                continue;
            ++icons;
            QVERIFY2(!label->pixmap(Qt::ReturnByValue).isNull(), qPrintable(label->objectName()));
        }
        QVERIFY(icons > 20);
    }

    void closing_leaves_the_downloads_alone_and_saves_the_form()
    {
        window_driver driver(release_fixture::make("v2.0.0", 1 << 20, 1 << 19));
        driver.open_window();
        QVERIFY(driver.accept_download());
        for (const char* name : {"v1.img", "other.img", "notes.txt", "v2.0.0"}) {
            QFile file(driver.downloads() + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QDir().mkdir(driver.downloads() + "/folder.img");
        driver.fill_form("farm-(%d,7)");
        driver.input("Group name")->setText("hall_b");
        driver.close_window();

        QCOMPARE(QDir(driver.downloads()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList {"checksum.md5", "folder.img", "notes.txt", "other.img", "v1.img", "v2.0.0", "v2.0.0.gz"}));
        QByteArray settings = driver.settings_text();
        QVERIFY(settings.contains("\"worker\": \"farm-(%d,7)\""));
        QVERIFY(settings.contains("\"group\": \"hall_b\""));
        QVERIFY(settings.contains(QByteArray("\"btc\": \"") + window_driver::btc_address));
    }
};

QTEST_MAIN(test_main_window_run)
#include "test_main_window_run.moc"
