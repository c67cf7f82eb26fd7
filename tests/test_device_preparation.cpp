#include "captured_log.h"
#include "scoped_waits.h"
#include "device/device_manager.h"
#include "device/device_windows.h"
#include "fake_host.h"
#include "thread_names.h"
#include "win32_probe.h"
#include "win32/test_control.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <winioctl.h>

#include <fcntl.h>

#include <memory>

using namespace std::chrono_literals;
using win32::test_control::call;

namespace {

const qint64 mib = 1 << 20;
// Far longer than any test runs: a step that ends has not waited it out.
const std::chrono::minutes endless_wait(10);
// What a step taken at once may take on a machine under any load.
const int at_once_ms = 120000;

// Neither the settling nor the volume wait ends before the test does.
scoped_waits endless_waits()
{
    return scoped_waits([](wait_lengths& lengths) {
        lengths.settle = endless_wait;
        lengths.volume_wait = endless_wait;
    });
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

// What happened to the chosen disk between its listing and its preparation.
enum class change { system_path_mounted, card_exchanged, card_of_other_size_without_diskseq,
                    its_letter_now_another_disks, size_no_longer_its_own };

} // namespace

class test_device_preparation : public QObject {
    Q_OBJECT

private slots:
    void skipped_or_system_disk_is_only_logged_data()
    {
        QTest::addColumn<bool>("skip");
        QTest::addColumn<bool>("holds_system");
        QTest::addColumn<bool>("stopped_at_once");
        QTest::newRow("skip") << true << false << false;
        QTest::newRow("stick holding the system") << false << true << false;
        // A stop before the refusal is delivered silences it, as it silences the finder.
        QTest::newRow("stick holding the system, stopped at once") << false << true << true;
    }

    void skipped_or_system_disk_is_only_logged()
    {
        QFETCH(bool, skip);
        QFETCH(bool, holds_system);
        QFETCH(bool, stopped_at_once);
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
        QSignalSpy refused(&manager, SIGNAL(unmount_refused()));
        scoped_waits waits = endless_waits();

        // Returns without settling.
        manager.unmount_device(disk.get(), skip);
        if (stopped_at_once)
            manager.stop_preparation();
        QCOMPARE(refused.count(), 0);

        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(log.texts("info"), QStringList {record_line(*disk)});
        QVERIFY(journal().empty());
        QVERIFY(disk->handles.empty());
        QCOMPARE(disk->volumes, volumes);
        QCOMPARE(host.mount_points(fake_host::partition_name(stick_name, 2)), QStringList {"/media/rig2"});
        // No finder was started: what follows is already posted.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(refused.count(), skip || stopped_at_once ? 0 : 1);
    }

    void a_disk_that_is_not_the_chosen_one_is_refused_untouched_data()
    {
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("message");
        const QString changed = "Disk changed since it was chosen: \\\\.\\PhysicalDrive1";
        QTest::newRow("/home mounted on it") << int(change::system_path_mounted) << changed;
        QTest::newRow("card exchanged, same size") << int(change::card_exchanged) << "HANDLE not valid";
        QTest::newRow("card of another size, no diskseq")
            << int(change::card_of_other_size_without_diskseq) << "HANDLE not valid";
        QTest::newRow("its letter now another disk's") << int(change::its_letter_now_another_disks) << changed;
        QTest::newRow("its size no longer the disk's") << int(change::size_no_longer_its_own) << changed;
    }

    // The medium the disk holds now (or the disk that took its letter) keeps its content and its
    // mounts, and the caller hears of the refusal once the call has returned.
    void a_disk_that_is_not_the_chosen_one_is_refused_untouched()
    {
        QFETCH(int, what);
        QFETCH(QString, message);
        const change happened = change(what);
        captured_log log;
        fake_host host(happened == change::card_of_other_size_without_diskseq
                           ? fake_host::kernel::without_diskseq : fake_host::kernel::with_diskseq);
        host.add(system_disk());
        fake_host::disk reader = fake_host::card_reader_slot();
        reader.size = 8'000 * mib;
        reader.partitions = {{mib, 1000 * mib, "/media/user/CARD"}};
        const QString chosen = host.add(reader);
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        QCOMPARE(disk->volumes, std::vector<std::string> {"\\\\?\\D:"});

        QString now = chosen;
        const QList<fake_host::partition> other_card = {{2 * mib, 500 * mib, "/media/user/OTHER"}};
        switch (happened) {
        case change::system_path_mounted:
            host.mount(fake_host::partition_name(chosen, 1), "/home", fake_host::source::by_uuid);
            break;
        case change::card_exchanged:
            host.change_medium(chosen, 8'000 * mib, other_card);
            break;
        case change::card_of_other_size_without_diskseq:
            host.change_medium(chosen, 4'000 * mib, other_card);
            break;
        case change::its_letter_now_another_disks: {
            host.set_partitions(chosen, {});
            fake_host::disk other = fake_host::usb_stick();
            other.partitions = other_card;
            now = host.add(other);
            break;
        }
        case change::size_no_longer_its_own:
            disk->size += 255 * 63 * 512;
            break;
        }
        const QByteArray content = host.read(now, 0, 2 * mib);
        const QStringList mounts = host.mount_points(fake_host::partition_name(now, 1));
        log.clear();
        win32::test_control::clear_journal();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));
        QSignalSpy refused(&manager, SIGNAL(unmount_refused()));

        manager.unmount_device(disk.get(), false);

        QCOMPARE(refused.count(), 0);
        QVERIFY(journal().empty());
        QVERIFY(disk->handles.empty());
        QCOMPARE(log.texts("fatal").mid(2), QStringList {message});
        QCOMPARE(host.read(now, 0, 2 * mib), content);
        QCOMPARE(host.mount_points(fake_host::partition_name(now, 1)), mounts);
        QTRY_COMPARE(refused.count(), 1);
        QCOMPARE(finished.count(), 0);
    }

    void volumes_that_came_up_after_listing_are_locked_too()
    {
        fake_host host;
        host.add(system_disk());
        const QString stick = host.add(fake_host::usb_stick());
        auto manager = std::make_unique<device_manager>();
        std::shared_ptr<device_windows> disk = only_device(*manager);
        QVERIFY(disk && disk->volumes.empty());
        host.set_partitions(stick, {{mib, 1000 * mib, "/media/user/LATE"}});
        win32::test_control::clear_journal();

        manager->unmount_device(disk.get(), false);

        QCOMPARE(journal().front(), (journal_line {call::lock, "\\\\?\\D:"}));
        QCOMPARE(host.mount_points(fake_host::partition_name(stick, 1)), QStringList());
        manager.reset();
        win32_probe::close_handles(disk->handles);
    }

    void preparation_clears_the_disk_and_keeps_its_handle_data()
    {
        QTest::addColumn<bool>("like_hardware");
        QTest::newRow("its volumes come back") << false;
        // The system reads the empty table at once: no partition, so no volume, can come back.
        QTest::newRow("nothing comes back, as with real hardware") << true;
    }

    void preparation_clears_the_disk_and_keeps_its_handle()
    {
        QFETCH(bool, like_hardware);
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk blueprint = rig_stick();
        blueprint.rereads_partition_table = like_hardware;
        const QString stick = host.add(blueprint);
        QVERIFY(no_thread_named("volume finder"));
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        QCOMPARE(disk->volumes, (std::vector<std::string> {"\\\\?\\D:", "\\\\?\\E:"}));
        log.clear();
        win32::test_control::clear_journal();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));
        QSignalSpy refused(&manager, SIGNAL(unmount_refused()));
        // The volume finder waits at its first lock until the record has been looked at here.
        win32::test_control::hold_call(call::lock, "\\\\?\\D:", 1);
        // Only a volume that can come back is waited for: without one, not even an endless wait.
        scoped_waits waits([like_hardware](wait_lengths& lengths) {
            lengths.settle = like_hardware ? std::chrono::milliseconds(endless_wait) : 500ms;
            lengths.volume_wait = endless_wait;
        });

        QElapsedTimer elapsed;
        elapsed.start();
        manager.unmount_device(disk.get(), false);
        const qint64 took = elapsed.elapsed();
        // With nothing to look for, the disk is ready once this thread has handled its events:
        // no finder's thread is started and waited for.
        QCoreApplication::sendPostedEvents();
        const int finished_at_once = finished.count();

        // Coarse timers may end a little early.
        QVERIFY2(like_hardware || took >= 450, qPrintable(QString::number(took)));
        const std::string& path = disk->path;
        QCOMPARE(journal(), (std::vector<journal_line> {{call::lock, "\\\\?\\D:"},
                                                        {call::dismount, "\\\\?\\D:"},
                                                        {call::lock, "\\\\?\\E:"},
                                                        {call::dismount, "\\\\?\\E:"},
                                                        {call::delete_layout, path},
                                                        {call::update_properties, path}}));
        QCOMPARE(disk->handles.size(), size_t(1));
        QCOMPARE(win32_probe::disk_number_of(disk->handles[0]), DWORD(disk->number));
        // Unbuffered: what the writer reads back comes from the stick.
        QCOMPARE(win32_probe::open_flags_of(host.node_path(stick).toStdString()) & (O_DIRECT | O_DSYNC),
                 O_DIRECT | O_DSYNC);
        QVERIFY(disk->volumes.empty());
        QCOMPARE(host.read(stick, 510, 2), QByteArray(2, '\0'));
        QCOMPARE(finished_at_once, like_hardware ? 1 : 0);

        win32::test_control::release_held();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, at_once_ms);
        const std::vector<std::string> back = like_hardware
            ? std::vector<std::string>()
            : std::vector<std::string> {"\\\\?\\D:", "\\\\?\\E:"};
        QCOMPARE(disk->volumes, back);
        QCOMPARE(disk->handles.size(), 1 + back.size());
        QCOMPARE(win32_probe::disk_number_of(disk->handles.back()), DWORD(disk->number));
        QCOMPARE(refused.count(), 0);

        const QList<captured_log::line> lines = log.lines();
        QStringList texts;
        for (const captured_log::line& line : lines)
            texts.append(line.severity + " " + line.text);
        QCOMPARE(texts.mid(0, 7), (QStringList {"info " + record_line(*disk), "fatal Format:",
                                                "fatal " + QString::fromStdString(path),
                                                "debug Locking drive: ", "debug \\\\?\\D:", "debug \\\\?\\E:",
                                                "fatal Checking for drives after formating"}));
        // The finder's thread ends with its work.
        QTRY_COMPARE(threads_named("volume finder"), 0);
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
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, at_once_ms);
        QVERIFY(!disk->handles.empty());
        QCOMPARE(win32_probe::disk_number_of(disk->handles[0]), DWORD(disk->number));
        win32_probe::close_handles(disk->handles);
    }

    // A file system without direct I/O, as a fake host's may be, has the stick written through
    // the page cache: the log says so.
    void a_disk_without_direct_io_is_told_in_the_log()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        const QString stick = host.add(rig_stick());
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        win32::test_control::fail_call(call::direct_io, disk->path, ERROR_INVALID_PARAMETER);
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));

        manager.unmount_device(disk.get(), false);

        QCOMPARE(log.texts("info").filter("direct I/O"),
                 QStringList {"No direct I/O on " + QString::fromStdString(disk->path)
                              + ": writing through the page cache"});
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, at_once_ms);
        QVERIFY(!disk->handles.empty());
        QCOMPARE(win32_probe::open_flags_of(host.node_path(stick).toStdString()) & O_DIRECT, 0);
        win32_probe::close_handles(disk->handles);
    }

    void an_unplugged_disk_is_left_alone()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        const QString stick = host.add(rig_stick());
        QVERIFY(no_thread_named("volume finder"));
        device_manager manager;
        std::shared_ptr<device_windows> disk = only_device(manager);
        QVERIFY(disk);
        host.remove(stick);
        log.clear();
        QSignalSpy finished(&manager, SIGNAL(unmount_finished()));
        QSignalSpy refused(&manager, SIGNAL(unmount_refused()));
        scoped_waits waits = endless_waits();

        // Returns without settling.
        manager.unmount_device(disk.get(), false);

        QCOMPARE(log.texts("fatal"),
                 (QStringList {"Format:", QString::fromStdString(disk->path), "HANDLE not valid"}));
        QCOMPARE(refused.count(), 0);
        // No finder was started: what follows is already posted.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(refused.count(), 1);
        QCOMPARE(threads_named("volume finder"), 0);
        win32_probe::close_handles(disk->handles);
    }

    // Before a batch is prepared, each disk is looked at as its preparation would, without
    // touching any: one gone, one another run writes, the others there. The volumes of them all
    // are looked at once: each look opens every removable volume.
    void a_look_before_preparing_a_batch_touches_nothing_and_lists_the_volumes_once()
    {
        fake_host host;
        host.add(system_disk());
        QStringList sticks;
        for (int stick = 0; stick < 4; ++stick)
            sticks << host.add(rig_stick());
        device_manager manager;
        const std::vector<std::shared_ptr<device>> disks = manager.get_devices();
        QCOMPARE(disks.size(), size_t(4));
        host.remove(sticks[1]);
        HANDLE other_run = CreateFileA(disks[2]->path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(other_run != INVALID_HANDLE_VALUE);
        const QStringList mounts = host.mount_points(fake_host::partition_name(sticks[3], 1));
        win32::test_control::clear_journal();
        const std::uint64_t listings = win32::test_control::drive_listings();

        using availability = device_manager::availability;
        QCOMPARE(manager.look_before_preparing(disks),
                 (std::vector<availability> {availability::available, availability::gone, availability::in_use,
                                             availability::available}));

        QCOMPARE(win32::test_control::drive_listings(), listings + 1);
        QVERIFY(journal().empty());
        QCOMPARE(host.mount_points(fake_host::partition_name(sticks[3], 1)), mounts);
        for (const std::shared_ptr<device>& disk : disks)
            QVERIFY(std::static_pointer_cast<device_windows>(disk)->handles.empty());
        CloseHandle(other_run);
    }

    void closing_during_the_volume_wait_ends_the_finder()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        // Its partition stays in the layout, but as a fixed volume it is never the one awaited.
        fake_host::disk hard_disk = fake_host::usb_hard_disk();
        hard_disk.partitions = {{mib, 1000 * mib, ""}};
        host.add(hard_disk);
        QVERIFY(no_thread_named("volume finder"));
        auto manager = std::make_unique<device_manager>();
        std::shared_ptr<device_windows> disk = only_device(*manager);
        QVERIFY(disk);
        QVERIFY(disk->volumes.empty());
        win32::test_control::clear_journal();
        scoped_waits waits([](wait_lengths& lengths) { lengths.volume_wait = endless_wait; });

        manager->unmount_device(disk.get(), false);
        QCOMPARE(journal(), (std::vector<journal_line> {{call::delete_layout, disk->path},
                                                        {call::update_properties, disk->path}}));
        QCOMPARE(disk->handles.size(), size_t(1));
        // The finder is looking for volumes.
        const std::uint64_t listings = win32::test_control::drive_listings();
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::drive_listings() >= listings + 2, at_once_ms);

        QElapsedTimer stopping;
        stopping.start();
        manager.reset();
        // Far from the wait it was in.
        QVERIFY2(stopping.elapsed() < at_once_ms, qPrintable(QString::number(stopping.elapsed())));
        QTRY_COMPARE(threads_named("volume finder"), 0);
        win32_probe::close_handles(disk->handles);
    }
};

QTEST_GUILESS_MAIN(test_device_preparation)
#include "test_device_preparation.moc"
