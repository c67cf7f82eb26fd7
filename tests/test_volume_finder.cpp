#include "captured_log.h"
#include "scoped_waits.h"
#include "device/device_manager.h"
#include "device/device_windows.h"
#include "device/listener_windows.h"
#include "fake_host.h"
#include "win32_probe.h"
#include "win32/test_control.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <winioctl.h>

#include <memory>

using namespace std::chrono_literals;
using win32::test_control::call;

namespace {

const qint64 mib = 1 << 20;
// Far longer than any test runs: a finder that ends has not waited its wait out.
const std::chrono::minutes endless_wait(10);
// What a finder that ends before its wait may take on a machine under any load.
const int ends_within_ms = 120000;

// Lets a finder look for volumes until the test ends.
scoped_waits waiting_endlessly()
{
    return scoped_waits([](wait_lengths& lengths) { lengths.volume_wait = endless_wait; });
}

// Returns once the finder has looked for volumes `looks` more times.
bool looked_again(int looks)
{
    const std::uint64_t before = win32::test_control::drive_listings();
    return QTest::qWaitFor([&] { return win32::test_control::drive_listings() >= before + std::uint64_t(looks); },
                           ends_within_ms);
}

// A listener running find_volumes() on its own thread, wired as the device manager wires it.
class finder {
public:
    explicit finder(device_windows& disk)
    {
        auto* listener = new listener_windows();
        listener->set_device(&disk);
        listener->moveToThread(&m_thread);
        QObject::connect(&m_thread, SIGNAL(started()), listener, SLOT(find_volumes()));
        QObject::connect(&m_thread, SIGNAL(finished()), listener, SLOT(deleteLater()));
        QObject::connect(listener, SIGNAL(unmount_finished()), &m_thread, SLOT(quit()), Qt::DirectConnection);
        QObject::connect(listener, SIGNAL(disk_gone()), &m_thread, SLOT(quit()), Qt::DirectConnection);
        QObject::connect(listener, &listener_windows::unmount_finished, &m_receiver, [this] {
            m_finished_at.append(m_clock.elapsed());
        });
        QObject::connect(listener, &listener_windows::disk_gone, &m_receiver, [this] { m_gone = true; });
        m_clock.start();
        m_thread.start();
    }

    ~finder()
    {
        m_thread.requestInterruption();
        m_thread.quit();
        m_thread.wait();
    }

    // When unmount_finished() arrived, in ms from the start.
    const QList<qint64>& finished_at() const { return m_finished_at; }
    bool thread_ended() const { return m_thread.isFinished(); }
    bool disk_gone() const { return m_gone; }

private:
    QThread m_thread;
    QObject m_receiver;
    QElapsedTimer m_clock;
    QList<qint64> m_finished_at;
    bool m_gone = false;
};

fake_host::disk system_disk()
{
    fake_host::disk blueprint = fake_host::sata_disk();
    blueprint.partitions = {{mib, 100'000 * mib, "/"}};
    return blueprint;
}

// A listed stick as preparation leaves it: no volumes, the disk handle kept.
std::shared_ptr<device_windows> prepared(device_manager& manager)
{
    std::vector<std::shared_ptr<device>> devices = manager.get_devices();
    if (devices.size() != 1)
        return nullptr;
    auto disk = std::static_pointer_cast<device_windows>(devices[0]);
    disk->volumes.clear();
    disk->handles.push_back(CreateFileA(disk->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return disk;
}

} // namespace

class test_volume_finder : public QObject {
    Q_OBJECT

private slots:
    void known_volumes_finish_at_once()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk stick = fake_host::usb_stick();
        stick.partitions = {{mib, 1000 * mib, "/media/rig"}};
        host.add(stick);
        device_manager manager;
        auto disk = std::static_pointer_cast<device_windows>(manager.get_devices().at(0));
        QCOMPARE(disk->volumes.size(), size_t(1));
        log.clear();
        win32::test_control::clear_journal();
        scoped_waits waits = waiting_endlessly();

        finder run(*disk);
        QTRY_COMPARE_WITH_TIMEOUT(run.finished_at().size(), 1, ends_within_ms);
        QTRY_VERIFY(run.thread_ended());
        QCOMPARE(log.texts("fatal"), QStringList {"Checking for drives after formating"});
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(win32::test_control::journal().empty());
        QVERIFY(disk->handles.empty());
    }

    void a_returning_volume_is_locked_and_kept()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk stick = fake_host::usb_stick();
        stick.partitions = {{mib, 1000 * mib, "/media/rig"}};
        const QString stick_name = host.add(stick);
        device_manager manager;
        std::shared_ptr<device_windows> disk = prepared(manager);
        QVERIFY(disk);
        HANDLE disk_handle = disk->handles[0];
        host.set_partitions(stick_name, {});
        log.clear();
        win32::test_control::clear_journal();
        scoped_waits waits = waiting_endlessly();

        finder run(*disk);
        // Still looking after several looks at a disk without volumes.
        QVERIFY(looked_again(3));
        QVERIFY(run.finished_at().isEmpty());
        host.set_partitions(stick_name, {{mib, 1000 * mib, ""}});
        QTRY_COMPARE_WITH_TIMEOUT(run.finished_at().size(), 1, ends_within_ms);

        QCOMPARE(disk->volumes, std::vector<std::string> {"\\\\?\\D:"});
        QCOMPARE(disk->handles.size(), size_t(2));
        QCOMPARE(disk->handles[0], disk_handle);
        QCOMPARE(win32_probe::disk_number_of(disk->handles[1]), DWORD(disk->number));
        const auto entries = win32::test_control::journal();
        QCOMPARE(entries.size(), size_t(2));
        QVERIFY(entries[0].what == call::lock && entries[0].target == "\\\\?\\D:");
        QVERIFY(entries[1].what == call::dismount && entries[1].target == "\\\\?\\D:");

        const QList<captured_log::line> lines = log.lines();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0].text, QString("Checking for drives after formating"));
        QCOMPARE(lines[1].severity, QString("debug"));
        QCOMPARE(lines[1].text, QString("Dismounting volumes: \\\\?\\D:"));
        QCOMPARE(lines[2].severity, QString("fatal"));
        QVERIFY2(QRegularExpression("^\\d+$").match(lines[2].text).hasMatch(), qPrintable(lines[2].text));
        QCOMPARE(lines[3].severity, QString("fatal"));
        QCOMPARE(lines[3].text, QString("FOUND"));
        QTRY_VERIFY(run.thread_ended());
        win32_probe::close_handles(disk->handles);
    }

    void volumes_back_together_are_taken_in_letter_order()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk stick = fake_host::usb_stick();
        stick.partitions = {{mib, 1000 * mib, ""}, {1001 * mib, 1000 * mib, ""}};
        host.add(stick);
        device_manager manager;
        std::shared_ptr<device_windows> disk = prepared(manager);
        QVERIFY(disk);
        scoped_waits waits = waiting_endlessly();

        finder run(*disk);
        QTRY_COMPARE_WITH_TIMEOUT(run.finished_at().size(), 1, ends_within_ms);

        QCOMPARE(disk->volumes, (std::vector<std::string> {"\\\\?\\D:", "\\\\?\\E:"}));
        QCOMPARE(disk->handles.size(), size_t(3));
        QCOMPARE(log.texts("fatal").count("FOUND"), 2);
        win32_probe::close_handles(disk->handles);
    }

    void a_reread_layout_without_partitions_ends_the_wait_at_once()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        host.add(fake_host::usb_stick());
        device_manager manager;
        std::shared_ptr<device_windows> disk = prepared(manager);
        QVERIFY(disk);
        disk->layout_reread = true;
        scoped_waits waits = waiting_endlessly();

        finder run(*disk);
        QTRY_COMPARE_WITH_TIMEOUT(run.finished_at().size(), 1, ends_within_ms);
        QVERIFY(disk->volumes.empty());
        QCOMPARE(disk->handles.size(), size_t(1));
        QTRY_VERIFY(run.thread_ended());
        win32_probe::close_handles(disk->handles);
    }

    // A stick pulled out while its volumes are awaited cannot be written: the finder says so
    // rather than waiting out its wait and letting the write find out.
    void a_pulled_disk_ends_the_wait_as_gone()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk hard_disk = fake_host::usb_hard_disk();
        hard_disk.partitions = {{mib, 1000 * mib, "/media/backup"}};
        const QString name = host.add(hard_disk);
        device_manager manager;
        std::shared_ptr<device_windows> disk = prepared(manager);
        QVERIFY(disk);
        disk->layout_reread = true;
        scoped_waits waits = waiting_endlessly();

        finder run(*disk);
        QVERIFY(looked_again(3));
        QVERIFY(!run.thread_ended());
        // Pulled between two looks: a look midway could see the partitions gone before the disk.
        win32::test_control::hold_call(call::drive_listing, "");
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), ends_within_ms);
        host.remove(name);
        win32::test_control::release_held();
        QTRY_VERIFY_WITH_TIMEOUT(run.disk_gone(), ends_within_ms);
        QVERIFY(run.finished_at().isEmpty());
        QTRY_VERIFY(run.thread_ended());
        win32_probe::close_handles(disk->handles);
    }

    void no_volume_ends_the_wait_when_it_runs_out()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        // Its volume is fixed, so it never counts as the stick's.
        fake_host::disk hard_disk = fake_host::usb_hard_disk();
        hard_disk.partitions = {{mib, 1000 * mib, "/media/backup"}};
        host.add(hard_disk);
        device_manager manager;
        std::shared_ptr<device_windows> disk = prepared(manager);
        QVERIFY(disk);
        // Read again, its layout still holds the partition: a volume could come back.
        disk->layout_reread = true;
        log.clear();
        scoped_waits waits([](wait_lengths& lengths) {
            lengths.volume_wait = 1000ms;
            lengths.volume_poll = 50ms;
        });
        const std::uint64_t listings_before = win32::test_control::drive_listings();

        finder run(*disk);
        QTRY_COMPARE_WITH_TIMEOUT(run.finished_at().size(), 1, ends_within_ms);
        // Not before the wait ran out (coarse timers may end a little early).
        QVERIFY2(run.finished_at()[0] >= 900, qPrintable(QString::number(run.finished_at()[0])));
        // One look at the volumes per pause, not as many as the processor allows.
        const std::uint64_t polls = win32::test_control::drive_listings() - listings_before;
        QVERIFY2(polls > 1 && polls <= 1000 / 50 + 2, qPrintable(QString::number(polls)));
        QVERIFY(disk->volumes.empty());
        QCOMPARE(disk->handles.size(), size_t(1));
        QCOMPARE(log.lines().size(), 1);
        QTRY_VERIFY(run.thread_ended());
        win32_probe::close_handles(disk->handles);
    }
};

QTEST_GUILESS_MAIN(test_volume_finder)
#include "test_volume_finder.moc"
