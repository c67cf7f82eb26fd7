#include "captured_log.h"
#include "device/device_manager.h"
#include "device/device_windows.h"
#include "fake_host.h"
#include "scoped_waits.h"
#include "win32/test_control.h"

#include <QTest>

#include <windows.h>
#include <winioctl.h>

#include <memory>

namespace {

const qint64 mib = 1 << 20;
// 1000 cylinders of 255 tracks of 63 sectors, plus a few sectors the geometry leaves out.
const qint64 thousand_cylinders = 1000LL * 255 * 63 * 512 + 5 * 512;

std::shared_ptr<device_windows> as_windows(const std::shared_ptr<device>& record)
{
    return std::static_pointer_cast<device_windows>(record);
}

fake_host::disk system_disk()
{
    fake_host::disk blueprint = fake_host::sata_disk();
    blueprint.partitions = {{mib, 100'000 * mib, "/"}};
    return blueprint;
}

} // namespace

class test_device_enumeration : public QObject {
    Q_OBJECT

private slots:
    void lists_writable_usb_disks_with_their_removable_volumes()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());                 // sda, C:
        host.add(fake_host::nvme_disk());        // nvme0n1
        fake_host::disk sd = fake_host::sd_card();
        host.add(sd);                            // mmcblk0
        fake_host::disk stick = fake_host::usb_stick(thousand_cylinders);
        stick.vendor = "Kestrel";
        stick.model = "Rig Stick";
        stick.partitions = {{mib, 1000 * mib, "/media/rig"}, {1001 * mib, 1000 * mib, ""}};
        host.add(stick);                         // sdb, D: and E:
        fake_host::disk hard_disk = fake_host::usb_hard_disk();
        hard_disk.partitions = {{mib, 1000 * mib, "/media/backup"}};
        host.add(hard_disk);                     // sdc, F: (fixed)
        fake_host::disk big_sectors = fake_host::usb_stick(thousand_cylinders * 8);
        big_sectors.logical_block_size = 4096;
        host.add(big_sectors);                   // sdd

        device_manager manager;
        const std::uint64_t listings = win32::test_control::drive_listings();
        std::vector<std::shared_ptr<device>> devices = manager.get_devices();

        QCOMPARE(devices.size(), size_t(3));
        // Once for all the disks: each listing of them opens every removable volume.
        QCOMPARE(win32::test_control::drive_listings(), listings + 1);
        auto first = as_windows(devices[0]);
        QCOMPARE(first->name, std::string("Kestrel Rig Stick USB Device"));
        QCOMPARE(first->path, std::string("\\\\.\\PhysicalDrive") + std::to_string(first->number));
        QCOMPARE(first->size, std::uint64_t(8225280000));
        QCOMPARE(first->bytes_per_sector, std::uint32_t(512));
        QCOMPARE(first->volumes, (std::vector<std::string> {"\\\\?\\D:", "\\\\?\\E:"}));
        QVERIFY(first->handles.empty());

        auto second = as_windows(devices[1]);
        QCOMPARE(second->name, std::string("WD Elements 25A2 USB Device"));
        QVERIFY(second->volumes.empty());

        auto third = as_windows(devices[2]);
        QCOMPARE(third->bytes_per_sector, std::uint32_t(4096));
        QCOMPARE(third->size, std::uint64_t(8225280000) * 8);
        QVERIFY(third->volumes.empty());

        QCOMPARE(first->number + 1, int(second->number));
        QCOMPARE(second->number + 1, int(third->number));
        QCOMPARE(third->path, "\\\\.\\PhysicalDrive" + std::to_string(third->number));

        QCOMPARE(log.texts("fatal"), QStringList());
        QCOMPARE(log.texts("info"),
                 (QStringList {"USB dev: Kestrel Rig Stick USB Device", "USB dev: WD Elements 25A2 USB Device",
                               "USB dev: Kingston DataTraveler 3.0 USB Device"}));
    }

    void refused_disk_is_left_out_with_its_error_code_data()
    {
        QTest::addColumn<bool>("write_protected");
        QTest::addColumn<QString>("error");
        QTest::newRow("write-protected stick") << true << "19";
        QTest::newRow("card reader without card") << false << "21";
    }

    void refused_disk_is_left_out_with_its_error_code()
    {
        QFETCH(bool, write_protected);
        QFETCH(QString, error);
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk refused = write_protected ? fake_host::usb_stick() : fake_host::card_reader_slot();
        refused.read_only = write_protected;
        host.add(refused);
        fake_host::disk good = fake_host::usb_stick();
        good.model = "Good";
        host.add(good);

        device_manager manager;
        std::vector<std::shared_ptr<device>> devices = manager.get_devices();

        QCOMPARE(devices.size(), size_t(1));
        // As text, so that a failure shows which disk was listed.
        QCOMPARE(QString::fromStdString(devices[0]->name), QString("Kingston Good USB Device"));
        const QStringList fatal = log.texts("fatal");
        QVERIFY2(fatal == QStringList {error}, qPrintable(fatal.join(" | ")));
    }

    void internal_disks_alone_give_an_empty_list()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        host.add(fake_host::nvme_disk());
        host.add(fake_host::sd_card());

        device_manager manager;
        QVERIFY(manager.get_devices().empty());
        QVERIFY(log.lines().isEmpty());
    }

    void a_usb_disk_holding_the_system_is_never_offered_nor_written_data()
    {
        QTest::addColumn<QString>("mount_point"); // empty: swap
        QTest::addColumn<int>("shown");
        using source = fake_host::source;
        QTest::newRow("/ as /dev/root") << "/" << int(source::dev_root);
        QTest::newRow("/ by uuid") << "/" << int(source::by_uuid);
        QTest::newRow("/ by id") << "/" << int(source::by_id);
        QTest::newRow("/ by name") << "/" << int(source::plain);
        QTest::newRow("/ on btrfs") << "/" << int(source::anonymous_device);
        QTest::newRow("/ on LVM") << "/" << -1;
        QTest::newRow("/boot/efi by uuid") << "/boot/efi" << int(source::by_uuid);
        QTest::newRow("/usr as /dev/root") << "/usr" << int(source::dev_root);
        QTest::newRow("/home by id") << "/home" << int(source::by_id);
        QTest::newRow("swap") << "" << int(source::plain);
    }

    // The mount tables name the device in every way a real host does; only its device number
    // tells which disk it is.
    void a_usb_disk_holding_the_system_is_never_offered_nor_written()
    {
        QFETCH(QString, mount_point);
        QFETCH(int, shown);
        captured_log log;
        fake_host host;
        fake_host::disk system_stick = fake_host::usb_stick();
        system_stick.partitions = {{mib, 1000 * mib, ""}, {1001 * mib, 1000 * mib, "/media/user/DATA"}};
        const QString system_name = host.add(system_stick); // disk 0
        QString holding = fake_host::partition_name(system_name, 1);
        if (mount_point.isEmpty()) {
            host.add_swap(holding);
        } else if (shown < 0) {
            host.add_virtual_device("dm-0", 1000 * mib, {holding});
            host.mount(holding = "dm-0", mount_point);
        } else {
            host.mount(holding, mount_point, fake_host::source(shown));
        }
        fake_host::disk other = fake_host::usb_stick();
        other.model = "Other";
        host.add(other);
        const QByteArray content = host.read(system_name, 0, 1024);

        device_manager manager;
        std::vector<std::shared_ptr<device>> devices = manager.get_devices();
        QCOMPARE(devices.size(), size_t(1));
        QCOMPARE(devices[0]->name, std::string("Kingston Other USB Device"));
        QCOMPARE(log.texts("fatal"), QStringList());

        HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(disk != INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        for (DWORD code : {IOCTL_DISK_IS_WRITABLE, IOCTL_DISK_DELETE_DRIVE_LAYOUT})
            QVERIFY(!DeviceIoControl(disk, code, nullptr, 0, nullptr, 0, &returned, nullptr));
        QVERIFY(!WriteFile(disk, QByteArray(512, '\0').constData(), 512, &returned, nullptr));
        CloseHandle(disk);
        // The partition holding "/" is C:; any other gets the first free letter.
        HANDLE volume = CreateFileA(mount_point == "/" ? "\\\\?\\C:" : "\\\\?\\D:", GENERIC_ALL, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(volume != INVALID_HANDLE_VALUE);
        QVERIFY(!DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
        CloseHandle(volume);
        QCOMPARE(host.read(system_name, 0, 1024), content);
        QCOMPARE(host.mount_points(holding), mount_point.isEmpty() ? QStringList() : QStringList {mount_point});
    }

    // A station lists its sticks again and again: what a listing costs grows with the disks
    // listed, not with their square, counted in the paths looked up under the host root.
    void a_listing_costs_as_much_per_disk_however_many_are_attached()
    {
        // The device watch looks at the host too, on its own thread: not while this counts.
        scoped_waits waits([](wait_lengths& lengths) { lengths.usb_poll = std::chrono::minutes(10); });
        const auto lookups_to_list = [](int sticks) {
            fake_host host;
            host.add(system_disk());
            for (int stick = 0; stick < sticks; ++stick) {
                fake_host::disk blueprint = fake_host::usb_stick();
                blueprint.partitions = {{mib, 100 * mib, stick % 2 ? "" : "/media/user/S" + QString::number(stick)}};
                host.add(blueprint);
            }
            device_manager manager;
            manager.get_devices();
            const std::uint64_t before = win32::test_control::host_lookups();
            const std::size_t listed = manager.get_devices().size();
            return listed == std::size_t(sticks) ? double(win32::test_control::host_lookups() - before) / sticks : -1;
        };
        const double few = lookups_to_list(4);
        const double many = lookups_to_list(16);
        QVERIFY(few > 0 && many > 0);
        QVERIFY2(many < 1.5 * few, qPrintable(QString("%1 lookups per disk of 4, %2 of 16").arg(few).arg(many)));
    }

    void each_call_builds_new_records_and_leaves_old_ones_alone()
    {
        captured_log log;
        fake_host host;
        host.add(system_disk());
        fake_host::disk stick = fake_host::usb_stick();
        stick.partitions = {{mib, 1000 * mib, "/media/rig"}};
        QString stick_name = host.add(stick);
        host.add(fake_host::usb_hard_disk());

        device_manager manager;
        std::vector<std::shared_ptr<device>> first = manager.get_devices();
        std::vector<std::shared_ptr<device>> second = manager.get_devices();

        QCOMPARE(first.size(), size_t(2));
        QCOMPARE(second.size(), first.size());
        for (size_t i = 0; i < first.size(); ++i) {
            QVERIFY(first[i] != second[i]);
            auto a = as_windows(first[i]);
            auto b = as_windows(second[i]);
            QCOMPARE(b->path, a->path);
            QCOMPARE(b->name, a->name);
            QCOMPARE(b->size, a->size);
            QCOMPARE(b->bytes_per_sector, a->bytes_per_sector);
            QCOMPARE(b->number, a->number);
            QCOMPARE(b->volumes, a->volumes);
        }

        host.set_partitions(stick_name, {});
        std::vector<std::shared_ptr<device>> third = manager.get_devices();
        QVERIFY(as_windows(third[0])->volumes.empty());
        QCOMPARE(as_windows(first[0])->volumes, std::vector<std::string> {"\\\\?\\D:"});
    }
};

QTEST_GUILESS_MAIN(test_device_enumeration)
#include "test_device_enumeration.moc"
