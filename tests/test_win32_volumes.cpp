// Disk numbers, drive letters and the system folder over fake hosts.

#include "fake_host.h"
#include "win32/test_control.h"
#include "win32_probe.h"

#include <windows.h>
#include <winioctl.h>

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const qint64 mib = 1 << 20;

fake_host::disk with_partitions(fake_host::disk blueprint, const QStringList& mount_points)
{
    for (int i = 0; i < mount_points.size(); ++i)
        blueprint.partitions.append({(1 + 100 * i) * mib, 100 * mib, mount_points[i]});
    return blueprint;
}

QStringList roots()
{
    QStringList list;
    for (const std::string& root : win32_probe::logical_drive_roots())
        list << QString::fromStdString(root);
    return list;
}

DWORD disk_number_of(const std::string& path)
{
    STORAGE_DEVICE_NUMBER number = {};
    return win32_probe::device_number(path, number) == 0 ? number.DeviceNumber : DWORD(-1);
}

} // namespace

class test_win32_volumes : public QObject {
    Q_OBJECT

private slots:
    void partitions_get_letters_and_drive_types()
    {
        fake_host host;
        host.add(with_partitions(fake_host::sata_disk(), {"/boot/efi", "/"}));
        host.add(with_partitions(fake_host::usb_stick(), {"/media/user/STICK A", ""}));
        host.add(with_partitions(fake_host::usb_hard_disk(), {"/media/user/BACKUP"}));

        // sda2 holds "/" and is C:; the others get letters in name order.
        QCOMPARE(roots(), QStringList({"C:\\", "D:\\", "E:\\", "F:\\", "G:\\"}));
        QCOMPARE(GetLogicalDrives(), DWORD(0x7c));
        QCOMPARE(GetDriveTypeA("C:\\"), UINT(DRIVE_FIXED));
        QCOMPARE(GetDriveTypeA("D:\\"), UINT(DRIVE_FIXED));
        QCOMPARE(GetDriveTypeA("E:\\"), UINT(DRIVE_REMOVABLE));
        QCOMPARE(GetDriveTypeA("F:\\"), UINT(DRIVE_REMOVABLE));
        QCOMPARE(GetDriveTypeA("G:\\"), UINT(DRIVE_FIXED));
        QCOMPARE(GetDriveTypeA("H:\\"), UINT(DRIVE_NO_ROOT_DIR));

        // The stick is disk 1: both its volumes say so.
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive1"), DWORD(1));
        STORAGE_DEVICE_NUMBER first = {};
        STORAGE_DEVICE_NUMBER second = {};
        QCOMPARE(win32_probe::device_number("\\\\?\\E:", first), DWORD(0));
        QCOMPARE(win32_probe::device_number("\\\\?\\F:", second), DWORD(0));
        QCOMPARE(first.DeviceNumber, DWORD(1));
        QCOMPARE(second.DeviceNumber, DWORD(1));
        QCOMPARE(first.PartitionNumber, DWORD(1));
        QCOMPARE(second.PartitionNumber, DWORD(2));
        QCOMPARE(disk_number_of("\\\\?\\G:"), DWORD(2));

        char folder[MAX_PATH] = {};
        UINT length = GetSystemDirectoryA(folder, sizeof folder);
        QCOMPARE(QString(folder), QString("C:\\Windows\\System32"));
        QCOMPARE(length, UINT(strlen(folder)));
        QCOMPARE(disk_number_of(std::string("\\\\?\\") + folder[0] + ":"), DWORD(0));
    }

    void short_buffers_get_the_size_needed()
    {
        fake_host host;
        host.add(with_partitions(fake_host::usb_stick(), {"", ""}));
        char buffer[4] = {};
        QCOMPARE(GetLogicalDriveStringsA(sizeof buffer, buffer), DWORD(9));
        QCOMPARE(GetSystemDirectoryA(buffer, sizeof buffer), UINT(20));
    }

    void letters_stay_with_their_partitions()
    {
        fake_host host;
        QString first = host.add(with_partitions(fake_host::usb_stick(), {"", ""}));
        QCOMPARE(roots(), QStringList({"D:\\", "E:\\"}));
        host.add(with_partitions(fake_host::usb_stick(), {""}));
        QCOMPARE(roots(), QStringList({"D:\\", "E:\\", "F:\\"}));
        host.remove(first);
        QCOMPARE(roots(), QStringList({"F:\\"}));
        QCOMPARE(disk_number_of("\\\\?\\F:"), DWORD(1));
        // Freed letters are handed out again, lowest first.
        host.add(with_partitions(fake_host::usb_stick(), {""}));
        QCOMPARE(roots(), QStringList({"D:\\", "F:\\"}));
        QCOMPARE(disk_number_of("\\\\?\\D:"), DWORD(2));
        QCOMPARE(disk_number_of("\\\\?\\E:"), DWORD(-1));
    }

    void volumes_that_come_back_get_letters_again()
    {
        fake_host host;
        QString stick = host.add(with_partitions(fake_host::usb_stick(), {"/media/user/A", ""}));
        QCOMPARE(roots(), QStringList({"D:\\", "E:\\"}));
        host.set_partitions(stick, {});
        QCOMPARE(roots(), QStringList());
        host.set_partitions(stick, {{mib, 100 * mib, "/media/user/A"}});
        QCOMPARE(roots(), QStringList({"D:\\"}));
        QCOMPARE(GetDriveTypeA("D:\\"), UINT(DRIVE_REMOVABLE));
        QCOMPARE(disk_number_of("\\\\?\\D:"), DWORD(0));
        QCOMPARE(host.mount_points(fake_host::partition_name(stick, 1)), QStringList({"/media/user/A"}));
    }

    void disk_without_partition_table_is_a_volume_while_mounted()
    {
        fake_host host;
        fake_host::disk stick = fake_host::usb_stick();
        stick.mount_point = "/media/user/FLOPPY";
        QString name = host.add(stick);
        QCOMPARE(roots(), QStringList({"D:\\"}));
        QCOMPARE(GetDriveTypeA("D:"), UINT(DRIVE_REMOVABLE));
        host.unmount(name);
        QCOMPARE(roots(), QStringList());
    }

    void readded_disk_gets_a_new_number()
    {
        fake_host host;
        host.add(fake_host::sata_disk());
        QString stick = host.add(fake_host::usb_stick());
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive1"), DWORD(1));
        host.remove(stick);
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive1"), DWORD(-1));
        QCOMPARE(host.plug_back(stick), stick);
        // Same name, same content, but a new diskseq: a new disk to the layer.
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive1"), DWORD(-1));
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive2"), DWORD(2));
        HANDLE old_path = CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        QCOMPARE(old_path, INVALID_HANDLE_VALUE);
        QCOMPARE(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        // A disk added later never gets a number that was in use.
        host.add(fake_host::usb_stick());
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive3"), DWORD(3));
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive1"), DWORD(-1));
    }

    void numbers_follow_name_order_on_first_sight()
    {
        fake_host host;
        host.add(fake_host::usb_stick());   // sda
        host.add(fake_host::nvme_disk());   // nvme0n1
        std::vector<win32_probe::disk_interface> interfaces = win32_probe::disk_interfaces();
        QCOMPARE(interfaces.size(), size_t(2));
        QCOMPARE(disk_number_of(interfaces[0].device_path), DWORD(0)); // nvme0n1
        QCOMPARE(disk_number_of(interfaces[1].device_path), DWORD(1)); // sda
        QCOMPARE(disk_number_of("\\\\.\\physicaldrive1"), DWORD(1));
    }

    // A station has many sticks: opening one disk or volume looks at it alone, not at every
    // disk of the host, once a listing has numbered and lettered them. What no listing saw yet
    // (a stick plugged in since), and what has gone, still takes a look at the host.
    void a_disk_or_volume_seen_before_is_opened_alone()
    {
        fake_host host;
        QStringList sticks;
        for (int stick = 0; stick < 16; ++stick)
            sticks << host.add(with_partitions(fake_host::usb_stick(), {""}));
        QCOMPARE(roots().size(), 16);
        const std::uint64_t scans = win32::test_control::host_scans();
        for (DWORD number = 0; number < 16; ++number) {
            const std::string letter(1, char('D' + number));
            QCOMPARE(GetDriveTypeA((letter + ":\\").c_str()), UINT(DRIVE_REMOVABLE));
            QCOMPARE(disk_number_of("\\\\?\\" + letter + ":"), number);
            QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive" + std::to_string(number)), number);
        }
        QCOMPARE(win32::test_control::host_scans(), scans);

        const QString added = host.add(with_partitions(fake_host::usb_stick(), {""}));
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive16"), DWORD(16));
        QCOMPARE(disk_number_of("\\\\?\\T:"), DWORD(16));
        host.remove(sticks.first());
        QCOMPARE(disk_number_of("\\\\.\\PhysicalDrive0"), DWORD(-1));
        QCOMPARE(disk_number_of("\\\\?\\D:"), DWORD(-1));
        QCOMPARE(GetDriveTypeA("D:\\"), UINT(DRIVE_NO_ROOT_DIR));
        QVERIFY(win32::test_control::host_scans() > scans);
        // Its letter goes to the next volume that no listing has lettered yet.
        host.remove(added);
        host.add(with_partitions(fake_host::usb_stick(), {""}));
        QCOMPARE(disk_number_of("\\\\?\\D:"), DWORD(17));
    }

    void nothing_outside_the_root_is_opened()
    {
        fake_host host;
        QString stick = host.add(fake_host::usb_stick(64 * mib));
        QTemporaryDir outside;
        QString real_disk = outside.path() + "/real-disk";
        QFile file(real_disk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.resize(64 * mib);
        file.close();
        // An absolute link means a path under the root, as inside a chroot.
        QFile::remove(host.node_path(stick));
        QVERIFY(symlink(real_disk.toUtf8().constData(), host.node_path(stick).toUtf8().constData()) == 0);
        HANDLE disk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        QCOMPARE(disk, INVALID_HANDLE_VALUE);
        QCOMPARE(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        // Nor does a relative link climb out of it.
        QFile::remove(host.node_path(stick));
        QString climbing = QString("../").repeated(40) + real_disk.mid(1);
        QVERIFY(symlink(climbing.toUtf8().constData(), host.node_path(stick).toUtf8().constData()) == 0);
        disk = CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QCOMPARE(disk, INVALID_HANDLE_VALUE);
    }
};

QTEST_GUILESS_MAIN(test_win32_volumes)
#include "test_win32_volumes.moc"
