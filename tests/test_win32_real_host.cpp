// The layer over the real host root "/", read-only: what the device code does to find USB
// disks must find none on a machine without one, open no device and write nothing.

#include "win32/test_control.h"
#include "win32_probe.h"

#include <windows.h>
#include <winioctl.h>

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

int open_descriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

bool host_has_usb_disk()
{
    for (const QString& name : QDir("/sys/block").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        if (QFile::symLinkTarget("/sys/block/" + name).contains("/usb"))
            return true;
    return false;
}

} // namespace

class test_win32_real_host : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qunsetenv("KESTREL_HOST_ROOT");
        win32::test_control::reset();
    }

    void enumeration_finds_no_usb_disk_and_opens_nothing()
    {
        if (host_has_usb_disk())
            QSKIP("this machine has a USB disk attached");
        int descriptors = open_descriptors();
        int usb_disks = 0;
        for (const win32_probe::disk_interface& entry : win32_probe::disk_interfaces()) {
            HANDLE disk = CreateFileA(entry.device_path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (disk == INVALID_HANDLE_VALUE)
                continue;
            QCOMPARE(open_descriptors(), descriptors);
            DWORD returned = 0;
            DeviceIoControl(disk, IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned, nullptr);
            STORAGE_PROPERTY_QUERY query = {};
            STORAGE_DEVICE_DESCRIPTOR descriptor = {};
            if (DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                &descriptor, sizeof descriptor, &returned, nullptr)
                && descriptor.BusType == BusTypeUsb)
                ++usb_disks;
            DISK_GEOMETRY geometry = {};
            DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                            sizeof geometry, &returned, nullptr);
            QVERIFY(CloseHandle(disk));
        }
        QCOMPARE(usb_disks, 0);
        QCOMPARE(win32_probe::usb_storage_count(), 0);
        QCOMPARE(open_descriptors(), descriptors);
    }

    void drive_letters_are_listed_read_only()
    {
        int descriptors = open_descriptors();
        for (const std::string& root : win32_probe::logical_drive_roots()) {
            UINT type = GetDriveTypeA(root.c_str());
            QVERIFY(type == DRIVE_FIXED || type == DRIVE_REMOVABLE);
            STORAGE_DEVICE_NUMBER number = {};
            QCOMPARE(win32_probe::device_number("\\\\?\\" + root.substr(0, 2), number), DWORD(0));
        }
        char folder[MAX_PATH] = {};
        QVERIFY(GetSystemDirectoryA(folder, sizeof folder) > 0);
        QVERIFY(QString(folder).startsWith("C:"));
        QCOMPARE(open_descriptors(), descriptors);
    }

    void nothing_was_written()
    {
        QVERIFY(win32::test_control::journal().empty());
    }
};

QTEST_GUILESS_MAIN(test_win32_real_host)
#include "test_win32_real_host.moc"
