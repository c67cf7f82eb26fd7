#include "captured_log.h"
#include "device/device_manager.h"
#include "device/device_windows.h"
#include "fake_host.h"
#include "win32_probe.h"
#include "platform/win32/test_control.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <winioctl.h>

#include <memory>

using win32::test_control::call;

namespace {

const qint64 mib = 1 << 20;

int thread_count()
{
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

fake_host::disk system_disk()
{
    fake_host::disk blueprint = fake_host::sata_disk();
    blueprint.partitions = {{mib, 100'000 * mib, "/"}};
    return blueprint;
}

// A stick with two mounted partitions, D: and E:.
fake_host::disk rig_stick()
{
    fake_host::disk blueprint = fake_host::usb_stick(8'000 * mib);
    blueprint.partitions = {{mib, 1000 * mib, "/media/rig"}, {1001 * mib, 1000 * mib, "/media/rig2"}};
    return blueprint;
}

std::shared_ptr<device_windows> only_device(device_manager& manager)
{
    std::vector<std::shared_ptr<device>> devices = manager.get_devices();
    return devices.size() == 1 ? std::static_pointer_cast<device_windows>(devices[0]) : nullptr;
}

QString record_line(const device_windows& disk)
{
    return QString::fromStdString("Name: " + disk.name + ", Path: " + disk.path
                                  + ", Size: " + std::to_string(disk.size));
}

struct journal_line {
    call what;
    std::string target;
    bool operator==(const journal_line& other) const { return what == other.what && target == other.target; }
};

std::vector<journal_line> journal()
{
    std::vector<journal_line> lines;
    for (const win32::test_control::journal_entry& entry : win32::test_control::journal())
        lines.push_back({entry.what, entry.target});
    return lines;
}

} // namespace

class test_device_preparation : public QObject {
    Q_OBJECT

private slots:
    void skipped_or_system_disk_is_only_logged_data()
    {
        QTest::addColumn<bool>("skip");
        QTest::addColumn<bool>("holds_system");
        QTest::newRow("skip") << true << false;
        QTest::newRow("stick holding the system") << false << true;
    }

    void skipped_or_system_disk_is_only_logged()
    {
        QFETCH(bool, skip);
        QFETCH(bool, holds_system);
        captured_log log;
        fake_host host;
        fake_host::disk stick = rig_stick();
        if (holds_system)
            stick.partitions[0].mount_point = "/";
        else
            host.add(system_disk());
        const QString stick_name = host.add(stick);
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        if (holds_system) {
            // Never listed: the record as it would have been.
            QVERIFY(!disk);
            disk = std::make_shared<device_windows>();
            disk->path = "\\\\.\\PhysicalDrive0";
            disk->name = "Kingston DataTraveler 3.0 USB Device";
            disk->volumes = {"\\\\?\\C:", "\\\\?\\D:"};
        }
        QVERIFY(disk);
        const std::vector<std::string> volumes = disk->volumes;
        QVERIFY(!volumes.empty());
        log.clear();
        win32::test_control::clear_journal();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));

        QElapsedTimer elapsed;
        elapsed.start();
        manager.unmount_device(disk.get(), skip);
        QVERIFY(elapsed.elapsed() < 1000);

        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(log.texts("info"), QStringList {record_line(*disk)});
        QVERIFY(journal().empty());
        QVERIFY(disk->handles.empty());
        QCOMPARE(disk->volumes, volumes);
        QCOMPARE(host.mount_points(fake_host::partition_name(stick_name, 2)), QStringList {"/media/rig2"});
        QTest::qWait(300);
        QCOMPARE(finished.count(), 0);
    }

    void preparation_clears_the_disk_and_keeps_its_handle()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        const QString stick = host.add(rig_stick());
        device_manager manager;
        const int threads_with_manager = thread_count();
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        QCOMPARE(disk->volumes, (std::vector<std::string> {"\\\\?\\D:", "\\\\?\\E:"}));
        log.clear();
        win32::test_control::clear_journal();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));

        // The kernel drops the partitions once it has read the empty table.
        bool reread = false;
        QObject timers;
        QTimer::singleShot(300, &timers, [&] {
            host.set_partitions(stick, {});
            reread = true;
        });
        QElapsedTimer elapsed;
        elapsed.start();
        manager.unmount_device(disk.get(), false);
        const qint64 took = elapsed.elapsed();

        QVERIFY2(took >= 1900 && took < 6000, qPrintable(QString::number(took)));
        QVERIFY(reread);
        const std::string& path = disk->path;
        QCOMPARE(journal(), (std::vector<journal_line> {{call::lock, "\\\\?\\D:"},
                                                        {call::dismount, "\\\\?\\D:"},
                                                        {call::lock, "\\\\?\\E:"},
                                                        {call::dismount, "\\\\?\\E:"},
                                                        {call::delete_layout, path},
                                                        {call::update_properties, path}}));
        QCOMPARE(disk->handles.size(), size_t(1));
        QCOMPARE(win32_probe::disk_number_of(disk->handles[0]), DWORD(disk->number));
        QVERIFY(disk->volumes.empty());
        QCOMPARE(host.read(stick, 510, 2), QByteArray(2, '\0'));
        QCOMPARE(finished.count(), 0);

        host.set_partitions(stick, {{mib, 1000 * mib, ""}});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QCOMPARE(disk->volumes, std::vector<std::string> {"\\\\?\\D:"});
        QCOMPARE(disk->handles.size(), size_t(2));
        QCOMPARE(win32_probe::disk_number_of(disk->handles[1]), DWORD(disk->number));

        const QList<captured_log::line> lines = log.lines();
        QStringList texts;
        for (const captured_log::line& line : lines)
            texts.append(line.severity + " " + line.text);
        QCOMPARE(texts.mid(0, 7), (QStringList {"info " + record_line(*disk), "fatal Format:",
                                                "fatal " + QString::fromStdString(path),
                                                "debug Locking drive: ", "debug \\\\?\\D:", "debug \\\\?\\E:",
                                                "fatal Checking for drives after formating"}));
        // The finder's thread ends with its work.
        QTRY_COMPARE(thread_count(), threads_with_manager);
        win32_probe::close_handles(disk->handles);
    }

    void a_failed_step_is_logged_and_preparation_goes_on_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QString>("message");
        QTest::newRow("layout deletion") << int(call::delete_layout) << "Formating failed: 31";
        QTest::newRow("re-reading") << int(call::update_properties) << "Could not reenumerate disk: 31";
    }

    void a_failed_step_is_logged_and_preparation_goes_on()
    {
        QFETCH(int, failing);
        QFETCH(QString, message);
        captured_log log;
        fake_host host;
        host.add(system_disk());
        host.add(rig_stick());
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        win32::test_control::fail_call(call(failing), disk->path, ERROR_GEN_FAILURE);
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));

        manager.unmount_device(disk.get(), false);

        QVERIFY(log.texts("fatal").contains(message));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QVERIFY(!disk->handles.empty());
        QCOMPARE(win32_probe::disk_number_of(disk->handles[0]), DWORD(disk->number));
        win32_probe::close_handles(disk->handles);
    }

    void an_unplugged_disk_is_left_alone()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        const QString stick = host.add(rig_stick());
        device_manager manager;
        const int threads_with_manager = thread_count();
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        host.remove(stick);
        log.clear();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));

        QElapsedTimer elapsed;
        elapsed.start();
        manager.unmount_device(disk.get(), false);

        QVERIFY(elapsed.elapsed() < 1500);
        QCOMPARE(log.texts("fatal"),
                 (QStringList {"Format:", QString::fromStdString(disk->path), "HANDLE not valid"}));
        QTest::qWait(500);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(thread_count(), threads_with_manager);
        win32_probe::close_handles(disk->handles);
    }

    void closing_during_the_volume_wait_ends_the_finder()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        host.add(fake_host::usb_stick());
        const int threads_before = thread_count();
        auto manager = std::make_unique<device_manager>();
        std::shared_ptr<device_windows> disk = only_device(*manager);
        QVERIFY(disk);
        QVERIFY(disk->volumes.empty());
        win32::test_control::clear_journal();

        manager->unmount_device(disk.get(), false);
        QCOMPARE(journal(), (std::vector<journal_line> {{call::delete_layout, disk->path},
                                                        {call::update_properties, disk->path}}));
        QCOMPARE(disk->handles.size(), size_t(1));
        QTest::qWait(300);

        QElapsedTimer stopping;
        stopping.start();
        manager.reset();
        QVERIFY2(stopping.elapsed() < 1500, qPrintable(QString::number(stopping.elapsed())));
        QTRY_COMPARE(thread_count(), threads_before);
        win32_probe::close_handles(disk->handles);
    }
};

QTEST_GUILESS_MAIN(test_device_preparation)
#include "test_device_preparation.moc"
