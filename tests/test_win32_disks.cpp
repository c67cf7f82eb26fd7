// The disk interface set and the disk queries over fake hosts.

#include "fake_host.h"
#include "platform/win32/disk_rules.h"
#include "win32_probe.h"

#include <setupapi.h>
#include <windows.h>
#include <winioctl.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const qint64 cylinder_512 = 255LL * 63 * 512;

struct opened_disk {
    HANDLE handle = INVALID_HANDLE_VALUE;
    explicit opened_disk(const std::string& path, DWORD access = GENERIC_READ)
        : handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~opened_disk()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    // 0 on success, else the error.
    DWORD control(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size)
    {
        DWORD returned = 0;
        SetLastError(0);
        return DeviceIoControl(handle, code, in, in_size, out, out_size, &returned, nullptr)
            ? 0 : GetLastError();
    }
};

std::string only_interface_path()
{
    std::vector<win32_probe::disk_interface> interfaces = win32_probe::disk_interfaces();
    return interfaces.size() == 1 ? interfaces.front().device_path : std::string();
}

} // namespace

class test_win32_disks : public QObject {
    Q_OBJECT

private slots:
    void interface_set_lists_whole_disks_in_name_order()
    {
        fake_host host;
        for (const char* other : {"loop0", "ram0", "zram0", "dm-0", "md0", "sr0", "nbd0"})
            host.add_virtual_device(other);
        fake_host::disk sata = fake_host::sata_disk();
        sata.partitions = {{1 << 20, 100 << 20, "/"}};
        host.add(sata);
        host.add(fake_host::usb_stick());
        host.add(fake_host::nvme_disk());
        host.add(fake_host::nvme_disk());
        host.add(fake_host::sd_card());

        std::vector<win32_probe::disk_interface> interfaces = win32_probe::disk_interfaces();
        QStringList friendly_names;
        QStringList descriptions;
        for (const auto& entry : interfaces) {
            friendly_names << QString::fromStdString(entry.friendly_name);
            descriptions << QString::fromStdString(entry.description);
        }
        // mmcblk0, nvme0n1, nvme1n1, sdb; sda holds "/".
        QCOMPARE(friendly_names, QStringList({"", "Samsung SSD 970 EVO Plus 500GB",
                                              "Samsung SSD 970 EVO Plus 500GB",
                                              "Kingston DataTraveler 3.0 USB Device"}));
        QCOMPARE(descriptions, QStringList({"Disk drive", "Disk drive", "Disk drive", "Disk drive"}));
        QVERIFY(QString::fromStdString(interfaces[3].device_path).contains("sdb"));
    }

    // Paths as real kernels lay them out, relative to the host root. Only USB disks are ever
    // offered; an SD card behind a USB reader is on USB too.
    void real_world_disks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("device_path");
        QTest::addColumn<bool>("whole_disk");
        QTest::addColumn<int>("bus");
        // The USB device's port as the kernel names it, for telling sticks apart.
        QTest::addColumn<QString>("port");
        const QString pci = "/sys/devices/pci0000:00/";
        const QString scsi = ":1.0/host6/target6:0:0/6:0:0:0/block/";
        QTest::newRow("USB stick") << "sdb" << pci + "0000:00:14.0/usb2/2-1/2-1" + scsi + "sdb" << true << int(BusTypeUsb) << QString("2-1");
        QTest::newRow("USB SSD on UAS") << "sdc" << pci + "0000:00:14.0/usb4/4-2/4-2" + scsi + "sdc" << true << int(BusTypeUsb) << QString("4-2");
        QTest::newRow("USB NVMe enclosure") << "sdd" << pci + "0000:00:14.0/usb4/4-1/4-1.2/4-1.2" + scsi + "sdd" << true << int(BusTypeUsb) << QString("4-1.2");
        QTest::newRow("USB SD reader, card or none") << "sde" << pci + "0000:00:14.0/usb1/1-3/1-3" + scsi + "sde" << true << int(BusTypeUsb) << QString("1-3");
        QTest::newRow("USB SD reader, MMC host") << "mmcblk1"
            << pci + "0000:00:14.0/usb1/1-4/1-4:1.0/rtsx_usb_sdmmc.4/mmc_host/mmc1/mmc1:aaaa/block/mmcblk1" << true << int(BusTypeUsb) << QString("1-4");
        QTest::newRow("internal PCI SD reader") << "mmcblk0"
            << pci + "0000:00:1c.0/0000:02:00.0/rtsx_pci_sdmmc.0/mmc_host/mmc0/mmc0:0001/block/mmcblk0" << true << int(BusTypeSd) << QString();
        QTest::newRow("NVMe") << "nvme0n1" << pci + "0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1" << true << int(BusTypeNvme) << QString();
        QTest::newRow("virtio") << "vda" << pci + "0000:00:04.0/virtio1/block/vda" << true << int(BusTypeVirtual) << QString();
        QTest::newRow("SATA") << "sda" << pci + "0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda" << true << int(BusTypeSata) << QString();
        QTest::newRow("sr0") << "sr0" << pci + "0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0/block/sr0" << false << int(BusTypeSata) << QString();
        for (const char* name : {"loop0", "zram0", "dm-0", "md127"})
            QTest::newRow(name) << name << "/sys/devices/virtual/block/" + QString(name) << false << int(BusTypeVirtual)
                                << QString();
    }

    void real_world_disks()
    {
        QFETCH(QString, name);
        QFETCH(QString, device_path);
        QFETCH(bool, whole_disk);
        QFETCH(int, bus);
        QFETCH(QString, port);
        QCOMPARE(win32::is_whole_disk_name(name.toStdString()), whole_disk);
        QCOMPARE(int(win32::bus_of(device_path.toStdString())), bus);
        QCOMPARE(QString::fromStdString(win32::usb_port_of(device_path.toStdString())), port);
    }

    void mount_table_lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("device_number");
        QTest::addColumn<QString>("mount_point");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("system");
        QTest::newRow("/dev/root") << "21 1 179:2 / / rw shared:1 - ext4 /dev/root rw" << "179:2" << "/" << "/dev/root" << true;
        QTest::newRow("btrfs") << "30 1 0:27 /@home /home rw - btrfs /dev/nvme0n1p3 rw" << "0:27" << "/home" << "/dev/nvme0n1p3" << true;
        QTest::newRow("below /boot, by uuid") << "31 30 259:1 / /boot/efi rw shared:3 master:1 - vfat /dev/disk/by-uuid/5A1B rw"
                                              << "259:1" << "/boot/efi" << "/dev/disk/by-uuid/5A1B" << true;
        QTest::newRow("space, tab") << "40 25 8:17 / /media/MY\\040STICK\\011A rw - vfat /dev/sdb1 rw" << "8:17"
                                    << "/media/MY STICK\tA" << "/dev/sdb1" << false;
        QTest::newRow("backslash, newline") << "41 25 8:33 / /mnt/a\\134b\\012c rw - vfat /dev/sdc1 rw" << "8:33"
                                            << "/mnt/a\\b\nc" << "/dev/sdc1" << false;
        QTest::newRow("/homework") << "42 1 8:49 / /homework rw - ext4 /dev/sdd1 rw" << "8:49" << "/homework" << "/dev/sdd1" << false;
        QTest::newRow("below /home") << "43 1 8:65 / /home/u/stick rw - ext4 /dev/sde1 rw" << "8:65" << "/home/u/stick" << "/dev/sde1" << false;
        QTest::newRow("a mounts line") << "/dev/sdb1 /media/stick vfat rw 0 0" << "" << "" << "" << false;
    }

    void mount_table_lines()
    {
        QFETCH(QString, line);
        QFETCH(QString, device_number);
        QFETCH(QString, mount_point);
        QFETCH(QString, source);
        QFETCH(bool, system);
        win32::mountinfo_line parsed;
        QCOMPARE(win32::parse_mountinfo_line(line.toStdString(), parsed), !device_number.isEmpty());
        QCOMPARE(QString::fromStdString(parsed.device_number + " " + parsed.mount_point + " " + parsed.source),
                 device_number + " " + mount_point + " " + source);
        QCOMPARE(win32::is_system_mount_point(mount_point.toStdString()), system);
    }

    void swap_lines()
    {
        QCOMPARE(win32::swap_path("Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority"), std::string());
        QCOMPARE(win32::swap_path("/swap\\040file file 1048572 0 -3"), std::string("/swap file"));
    }

    void natural_name_order_counts_digits_as_numbers()
    {
        fake_host host;
        for (int i = 0; i < 11; ++i)
            host.add(fake_host::nvme_disk());
        std::vector<win32_probe::disk_interface> interfaces = win32_probe::disk_interfaces();
        QCOMPARE(interfaces.size(), size_t(11));
        QVERIFY(QString::fromStdString(interfaces[2].device_path).contains("&nvme2n1#"));
        QVERIFY(QString::fromStdString(interfaces[10].device_path).contains("&nvme10n1#"));
    }

    void disk_queries_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("bus_type");
        QTest::addColumn<qint64>("cylinders");
        QTest::addColumn<bool>("removable");

        const qint64 geometry_size = 1000 * cylinder_512;
        QTest::newRow("usb stick") << int(fake_host::bus::usb) << geometry_size + 300 * 512 << 512
                                   << int(BusTypeUsb) << qint64(1000) << true;
        QTest::newRow("usb stick 4096") << int(fake_host::bus::usb) << geometry_size * 8 << 4096
                                        << int(BusTypeUsb) << qint64(1000) << true;
        QTest::newRow("sata") << int(fake_host::bus::sata) << geometry_size << 512
                              << int(BusTypeSata) << qint64(1000) << false;
        QTest::newRow("nvme") << int(fake_host::bus::nvme) << geometry_size - 512 << 512
                              << int(BusTypeNvme) << qint64(999) << false;
        QTest::newRow("sd") << int(fake_host::bus::sd) << geometry_size << 512
                            << int(BusTypeSd) << qint64(1000) << false;
    }

    void disk_queries()
    {
        QFETCH(int, kind);
        QFETCH(qint64, size);
        QFETCH(int, sector);
        QFETCH(int, bus_type);
        QFETCH(qint64, cylinders);
        QFETCH(bool, removable);

        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(size);
        blueprint.on = static_cast<fake_host::bus>(kind);
        blueprint.logical_block_size = sector;
        blueprint.removable = removable;
        host.add(blueprint);

        opened_disk disk(only_interface_path());
        QVERIFY(disk.handle != INVALID_HANDLE_VALUE);
        QCOMPARE(disk.control(IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0), DWORD(0));

        STORAGE_PROPERTY_QUERY query = {};
        unsigned char descriptor[40] = {};
        QCOMPARE(disk.control(IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptor,
                              sizeof descriptor), DWORD(0));
        DWORD bus_at_28 = 0;
        memcpy(&bus_at_28, descriptor + 28, 4);
        QCOMPARE(int(bus_at_28), bus_type);
        QCOMPARE(bool(descriptor[10]), removable);

        STORAGE_DEVICE_NUMBER number = {};
        QCOMPARE(disk.control(IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, 12), DWORD(0));
        QCOMPARE(number.DeviceNumber, DWORD(0));

        DISK_GEOMETRY geometry = {};
        QCOMPARE(disk.control(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, 24), DWORD(0));
        QCOMPARE(geometry.Cylinders.QuadPart, cylinders);
        QCOMPARE(geometry.TracksPerCylinder, DWORD(255));
        QCOMPARE(geometry.SectorsPerTrack, DWORD(63));
        QCOMPARE(geometry.BytesPerSector, DWORD(sector));
        std::uint64_t capacity = std::uint64_t(geometry.Cylinders.QuadPart)
            * (geometry.TracksPerCylinder * geometry.SectorsPerTrack * geometry.BytesPerSector);
        if (sector == 512 && cylinders == 1000)
            QCOMPARE(capacity, std::uint64_t(8225280000));
        QVERIFY(capacity <= std::uint64_t(size));
    }

    void unusable_media_fail_the_writability_query_data()
    {
        QTest::addColumn<bool>("read_only");
        QTest::addColumn<bool>("empty_slot");
        QTest::addColumn<DWORD>("error");
        QTest::newRow("write-protected stick") << true << false << DWORD(ERROR_WRITE_PROTECT);
        QTest::newRow("reader slot without card") << false << true << DWORD(ERROR_NOT_READY);
    }

    void unusable_media_fail_the_writability_query()
    {
        QFETCH(bool, read_only);
        QFETCH(bool, empty_slot);
        QFETCH(DWORD, error);

        fake_host host;
        fake_host::disk blueprint = empty_slot ? fake_host::card_reader_slot() : fake_host::usb_stick();
        blueprint.read_only = read_only;
        host.add(blueprint);
        opened_disk disk(only_interface_path());
        QVERIFY(disk.handle != INVALID_HANDLE_VALUE);
        QCOMPARE(disk.control(IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0), error);
        // The bus is still known, so the caller can tell why it skips the disk.
        STORAGE_PROPERTY_QUERY query = {};
        STORAGE_DEVICE_DESCRIPTOR descriptor = {};
        QCOMPARE(disk.control(IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                              sizeof descriptor), DWORD(0));
        QCOMPARE(descriptor.BusType, BusTypeUsb);
        if (empty_slot) {
            DISK_GEOMETRY geometry = {};
            QCOMPARE(disk.control(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                  sizeof geometry), DWORD(ERROR_NOT_READY));
        }
    }

    void medium_inserted_into_a_slot_becomes_writable()
    {
        fake_host host;
        QString slot = host.add(fake_host::card_reader_slot());
        host.set_size(slot, 1000 * cylinder_512);
        opened_disk disk(only_interface_path());
        QCOMPARE(disk.control(IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0), DWORD(0));
    }

    void descriptor_carries_vendor_product_and_serial_when_there_is_room()
    {
        fake_host host;
        host.add(fake_host::usb_stick());
        opened_disk disk(only_interface_path());
        STORAGE_PROPERTY_QUERY query = {};
        char buffer[512] = {};
        QCOMPARE(disk.control(IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                              sizeof buffer), DWORD(0));
        STORAGE_DEVICE_DESCRIPTOR descriptor;
        memcpy(&descriptor, buffer, sizeof descriptor);
        QVERIFY(descriptor.Size > sizeof descriptor);
        QCOMPARE(QString(buffer + descriptor.VendorIdOffset), QString("Kingston"));
        QCOMPARE(QString(buffer + descriptor.ProductIdOffset), QString("DataTraveler 3.0"));
        QCOMPARE(QString(buffer + descriptor.SerialNumberOffset), QString("KST000000001"));
    }

    void setup_calls_check_structure_sizes()
    {
        fake_host host;
        host.add(fake_host::usb_stick());
        HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        QVERIFY(set != INVALID_HANDLE_VALUE);

        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = 28; // the 32-bit size is refused on a 64-bit build
        QVERIFY(!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 0, &data));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
        data.cbSize = sizeof data;
        QVERIFY(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 0, &data));
        QVERIFY(!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, 1, &data));
        QCOMPARE(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));

        DWORD required = 0;
        QVERIFY(!SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
        QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<char> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = 5;
        QVERIFY(!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        QVERIFY(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
        QCOMPARE(strlen(detail->DevicePath) + 1 + 4, size_t(required));

        SP_DEVINFO_DATA element = {};
        element.cbSize = 28;
        QVERIFY(!SetupDiEnumDeviceInfo(set, 0, &element));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
        element.cbSize = sizeof element;
        QVERIFY(SetupDiEnumDeviceInfo(set, 0, &element));
        char small[4];
        DWORD needed = 0;
        QVERIFY(!SetupDiGetDeviceRegistryPropertyA(set, &element, SPDRP_FRIENDLYNAME, nullptr,
                                                   reinterpret_cast<PBYTE>(small), sizeof small,
                                                   &needed));
        QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        QCOMPARE(needed, DWORD(strlen("Kingston DataTraveler 3.0 USB Device") + 1));
        DWORD id_size = 0;
        QVERIFY(!SetupDiGetDeviceInstanceIdA(set, &element, nullptr, 0, &id_size));
        QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<char> id(id_size);
        QVERIFY(!SetupDiGetDeviceInstanceIdA(set, &element, id.data(), id_size - 1, nullptr));
        QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        QVERIFY(SetupDiGetDeviceInstanceIdA(set, &element, id.data(), id_size, nullptr));
        QCOMPARE(QString(id.data()),
                 QString("USBSTOR\\DISK&VEN_Kingston&PROD_DataTraveler_3.0\\KST000000001&0"));
        QCOMPARE(strlen(id.data()) + 1, size_t(id_size));
        QVERIFY(SetupDiDestroyDeviceInfoList(set));
        QVERIFY(!SetupDiDestroyDeviceInfoList(set));
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }

    void usb_storage_count_follows_sticks()
    {
        fake_host host;
        host.add(fake_host::sata_disk());
        host.add(fake_host::nvme_disk());
        QCOMPARE(win32_probe::usb_storage_count(), 0);
        QString stick = host.add(fake_host::usb_stick());
        QCOMPARE(win32_probe::usb_storage_count(), 1);
        QString hard_disk = host.add(fake_host::usb_hard_disk());
        QCOMPARE(win32_probe::usb_storage_count(), 2);
        host.remove(stick);
        QCOMPARE(win32_probe::usb_storage_count(), 1);
        host.plug_back(stick);
        QCOMPARE(win32_probe::usb_storage_count(), 2);
        host.remove(hard_disk);
        host.remove(stick);
        QCOMPARE(win32_probe::usb_storage_count(), 0);
    }

    // Sticks of one make and serial differ by their disk number, one plugged back under its
    // old kernel name too.
    void usb_storage_ids_tell_every_stick_apart()
    {
        fake_host host;
        fake_host::disk stick = fake_host::usb_stick();
        stick.serial = "070B2F1C9A4E5D31";
        QString first = host.add(stick);
        host.add(stick);
        const std::string make = "USBSTOR\\DISK&VEN_Kingston&PROD_DataTraveler_3.0\\070B2F1C9A4E5D31&";
        QCOMPARE(win32_probe::usb_storage_ids(), (std::vector<std::string> {make + "0", make + "1"}));
        host.remove(first);
        QCOMPARE(host.plug_back(first), first);
        QCOMPARE(win32_probe::usb_storage_ids(), (std::vector<std::string> {make + "2", make + "1"}));
    }

    void watch_thread_counts_while_disks_come_and_go()
    {
        fake_host host;
        std::atomic<bool> stop {false};
        std::atomic<int> polls {0};
        std::atomic<int> out_of_range {0};
        std::thread watch([&] {
            while (!stop) {
                int count = win32_probe::usb_storage_count();
                if (count < 0 || count > 2)
                    ++out_of_range;
                ++polls;
            }
        });
        for (int round = 0; round < 20; ++round) {
            QString stick = host.add(fake_host::usb_stick());
            QString other = host.add(fake_host::usb_hard_disk());
            QCOMPARE(win32_probe::disk_interfaces().size(), size_t(2));
            host.remove(stick);
            host.remove(other);
        }
        QTRY_VERIFY(polls > 0);
        stop = true;
        watch.join();
        QCOMPARE(out_of_range.load(), 0);
        QCOMPARE(win32_probe::usb_storage_count(), 0);
    }

    // In a fake root the kernel resolves a link's ".." (every /sys/block entry has one) only
    // when nothing on the system was renamed meanwhile, and asks the caller to try again
    // otherwise: on a busy machine a disk's model or write protection must still be read right.
    void disk_facts_hold_while_the_system_renames_files()
    {
        fake_host host;
        fake_host::disk stick = fake_host::usb_stick();
        stick.read_only = true;
        host.add(stick);
        QTemporaryDir elsewhere;
        const std::string first = elsewhere.path().toStdString() + "/a";
        const std::string second = elsewhere.path().toStdString() + "/b";
        QVERIFY(QFile(QString::fromStdString(first)).open(QIODevice::WriteOnly));
        std::atomic<bool> stop {false};
        std::thread renames([&] {
            while (!stop) {
                std::rename(first.c_str(), second.c_str());
                std::rename(second.c_str(), first.c_str());
            }
        });
        int misread = 0;
        for (int round = 0; round < 300; ++round) {
            const std::vector<win32_probe::disk_interface> interfaces = win32_probe::disk_interfaces();
            if (interfaces.size() != 1 || interfaces[0].friendly_name != "Kingston DataTraveler 3.0 USB Device") {
                ++misread;
                continue;
            }
            opened_disk disk(interfaces[0].device_path);
            misread += disk.handle == INVALID_HANDLE_VALUE
                || disk.control(IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0) != DWORD(ERROR_WRITE_PROTECT);
        }
        stop = true;
        renames.join();
        QCOMPARE(misread, 0);
    }

    void unknown_enumerator_is_refused()
    {
        fake_host host;
        HDEVINFO set = SetupDiGetClassDevsA(nullptr, "PCI", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        QCOMPARE(set, INVALID_HANDLE_VALUE);
        QCOMPARE(GetLastError(), DWORD(ERROR_INVALID_DATA));
    }
};

QTEST_GUILESS_MAIN(test_win32_disks)
#include "test_win32_disks.moc"
