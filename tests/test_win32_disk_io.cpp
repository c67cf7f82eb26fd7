// Device-changing calls over fake hosts: lock, dismount, delete layout, update properties,
// eject and raw writes, their journal and injected failures.

#include "fake_host.h"
#include "image/aligned_buffer.h"
#include "win32/test_control.h"

#include <windows.h>
#include <winioctl.h>

#include "win32_probe.h"

#include <QFileInfo>
#include <QTest>

#include <fcntl.h>

#include <cstring>
#include <thread>

namespace {

using win32::test_control::call;

const qint64 mib = 1 << 20;
const std::string stick_path = "\\\\.\\PhysicalDrive0";

const DWORD unbuffered = FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH;

HANDLE open_device(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE,
                   DWORD flags = FILE_ATTRIBUTE_NORMAL)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

aligned_buffer aligned_bytes(std::size_t size, char value)
{
    aligned_buffer memory(size);
    std::memset(memory.data(), value, size);
    return memory;
}

DWORD seek(HANDLE handle, LONGLONG to, DWORD method = FILE_BEGIN)
{
    LARGE_INTEGER distance;
    distance.QuadPart = to;
    return SetFilePointerEx(handle, distance, nullptr, method) ? 0 : GetLastError();
}

DWORD read(HANDLE handle, char* buffer, DWORD length, DWORD& done)
{
    done = 12345;
    return ReadFile(handle, buffer, length, &done, nullptr) ? 0 : GetLastError();
}

DWORD control(HANDLE handle, DWORD code)
{
    DWORD returned = 0;
    return DeviceIoControl(handle, code, nullptr, 0, nullptr, 0, &returned, nullptr)
        ? 0 : GetLastError();
}

DWORD write(HANDLE handle, const QByteArray& data, DWORD* written_out = nullptr)
{
    DWORD written = 12345;
    BOOL ok = WriteFile(handle, data.constData(), DWORD(data.size()), &written, nullptr);
    if (written_out)
        *written_out = written;
    return ok ? 0 : GetLastError();
}

QList<QPair<call, std::string>> journal_calls()
{
    QList<QPair<call, std::string>> calls;
    for (const auto& entry : win32::test_control::journal())
        calls.append({entry.what, entry.target});
    return calls;
}

// A stick whose bytes are all 0xA5, so that zeroed areas show.
QString patterned_stick(fake_host& host, qint64 size, const QStringList& mount_points = {})
{
    fake_host::disk blueprint = fake_host::usb_stick(size);
    for (int i = 0; i < mount_points.size(); ++i)
        blueprint.partitions.append({(1 + 8 * i) * mib, 8 * mib, mount_points[i]});
    QString name = host.add(blueprint);
    QByteArray chunk(int(mib), char(0xa5));
    for (qint64 at = 0; at < size; at += mib)
        host.write(name, at, chunk);
    return name;
}

bool all_bytes(const QByteArray& data, char value)
{
    return !data.isEmpty() && data.count(value) == data.size();
}

} // namespace

class test_win32_disk_io : public QObject {
    Q_OBJECT

private slots:
    void preparation_calls_are_journaled_on_their_targets()
    {
        fake_host host;
        QString stick = patterned_stick(host, 64 * mib, {"/media/user/ONE", "/media/user/TWO"});

        HANDLE volume = open_device("\\\\?\\D:", GENERIC_ALL);
        QVERIFY(volume != INVALID_HANDLE_VALUE);
        QCOMPARE(control(volume, FSCTL_LOCK_VOLUME), DWORD(0));
        QCOMPARE(control(volume, FSCTL_DISMOUNT_VOLUME), DWORD(0));
        QCOMPARE(host.mount_points(fake_host::partition_name(stick, 1)), QStringList());
        QCOMPARE(host.mount_points(fake_host::partition_name(stick, 2)), QStringList({"/media/user/TWO"}));
        // A second lock of a locked volume is refused while the first handle is open.
        HANDLE again = open_device("\\\\.\\D:", GENERIC_ALL);
        QCOMPARE(control(again, FSCTL_LOCK_VOLUME), DWORD(ERROR_ACCESS_DENIED));
        CloseHandle(again);

        HANDLE other = open_device("\\\\?\\E:", GENERIC_ALL);
        QCOMPARE(control(other, FSCTL_DISMOUNT_VOLUME), DWORD(0));
        QCOMPARE(host.mount_points(fake_host::partition_name(stick, 2)), QStringList());

        HANDLE disk = open_device(stick_path);
        QVERIFY(disk != INVALID_HANDLE_VALUE);
        QCOMPARE(control(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT), DWORD(0));
        QCOMPARE(control(disk, IOCTL_DISK_UPDATE_PROPERTIES), DWORD(0));
        QCOMPARE(control(disk, IOCTL_STORAGE_EJECT_MEDIA), DWORD(0));
        CloseHandle(volume);
        CloseHandle(other);
        CloseHandle(disk);

        QCOMPARE(journal_calls(), (QList<QPair<call, std::string>> {
                                      {call::lock, "\\\\?\\D:"},
                                      {call::dismount, "\\\\?\\D:"},
                                      {call::lock, "\\\\?\\D:"},
                                      {call::dismount, "\\\\?\\E:"},
                                      {call::delete_layout, stick_path},
                                      {call::update_properties, stick_path},
                                      {call::eject, stick_path}}));
        QCOMPARE(win32::test_control::journal()[2].error, DWORD(ERROR_ACCESS_DENIED));

        // First and last MiB zeroed (MBR, GPT and its backup), everything between untouched.
        QVERIFY(all_bytes(host.read(stick, 0, mib), 0));
        QVERIFY(all_bytes(host.read(stick, mib, 62 * mib), char(0xa5)));
        QVERIFY(all_bytes(host.read(stick, 63 * mib, mib), 0));
        QCOMPARE(QFileInfo(host.node_path(stick)).size(), 64 * mib);
    }

    void injected_failures_hit_one_call_on_one_target()
    {
        fake_host host;
        QString stick = patterned_stick(host, 8 * mib);
        win32::test_control::fail_call(call::delete_layout, stick_path, ERROR_ACCESS_DENIED);
        win32::test_control::fail_call(call::write, stick_path, ERROR_IO_DEVICE, 1);
        HANDLE disk = open_device(stick_path);

        QCOMPARE(control(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT), DWORD(ERROR_ACCESS_DENIED));
        QVERIFY(all_bytes(host.read(stick, 0, mib), char(0xa5)));
        QCOMPARE(control(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT), DWORD(0));

        QByteArray sector(512, 'x');
        QCOMPARE(write(disk, sector), DWORD(0));
        DWORD written = 0;
        QCOMPARE(write(disk, sector, &written), DWORD(ERROR_IO_DEVICE));
        QCOMPARE(written, DWORD(0));
        QCOMPARE(write(disk, sector), DWORD(0));
        CloseHandle(disk);
        // The failed write wrote nothing and did not move the position.
        QCOMPARE(host.read(stick, 0, 1024), sector + sector);

        std::vector<win32::test_control::journal_entry> entries = win32::test_control::journal();
        QCOMPARE(entries.size(), size_t(5));
        QCOMPARE(entries[0].error, DWORD(ERROR_ACCESS_DENIED));
        QCOMPARE(entries[3].error, DWORD(ERROR_IO_DEVICE));
        QCOMPARE(entries[4].offset, std::uint64_t(512));
        QCOMPARE(entries[4].length, std::uint64_t(512));
    }

    void held_write_waits_for_its_release()
    {
        fake_host host;
        QString stick = host.add(fake_host::usb_stick(8 * mib));
        win32::test_control::hold_call(call::write, stick_path, 1);
        HANDLE disk = open_device(stick_path);
        std::thread writer([disk] {
            write(disk, QByteArray(512, 'a'));
            write(disk, QByteArray(512, 'b'));
        });
        QTRY_VERIFY(win32::test_control::call_held());
        QCOMPARE(host.read(stick, 0, 1024), QByteArray(512, 'a') + QByteArray(512, '\0'));
        win32::test_control::release_held();
        writer.join();
        QVERIFY(!win32::test_control::call_held());
        QCOMPARE(host.read(stick, 0, 1024), QByteArray(512, 'a') + QByteArray(512, 'b'));
        CloseHandle(disk);
    }

    void writes_data()
    {
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("length");
        QTest::addColumn<DWORD>("error");
        QTest::newRow("one sector") << 512 << 512 << DWORD(0);
        QTest::newRow("eight MB of sectors") << 512 << 8000512 << DWORD(0);
        QTest::newRow("half a sector") << 512 << 256 << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("sector and a byte") << 512 << 513 << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("4096 sector") << 4096 << 8192 << DWORD(0);
        QTest::newRow("512 on a 4096 disk") << 4096 << 512 << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("nothing") << 512 << 0 << DWORD(0);
    }

    void writes()
    {
        QFETCH(int, sector);
        QFETCH(int, length);
        QFETCH(DWORD, error);

        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(16 * mib);
        blueprint.logical_block_size = sector;
        QString stick = host.add(blueprint);
        HANDLE disk = open_device(stick_path);
        QByteArray data(length, 'k');
        DWORD written = 0;
        QCOMPARE(write(disk, data, &written), error);
        QCOMPARE(written, error ? DWORD(0) : DWORD(length));
        QByteArray expected = error ? QByteArray(length, '\0') : data;
        QCOMPARE(host.read(stick, 0, length + 512), expected + QByteArray(512, '\0'));
        QCOMPARE(win32::test_control::journal().back().error, error);
        CloseHandle(disk);
    }

    void writes_go_through_to_the_device_data()
    {
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<bool>("direct_io_refused");
        QTest::addColumn<int>("expected");
        QTest::newRow("buffered") << DWORD(FILE_ATTRIBUTE_NORMAL) << false << int(O_DSYNC);
        QTest::newRow("unbuffered") << unbuffered << false << int(O_DSYNC | O_DIRECT);
        QTest::newRow("no direct I/O on the file system") << unbuffered << true << int(O_DSYNC);
    }

    void writes_go_through_to_the_device()
    {
        QFETCH(DWORD, flags);
        QFETCH(bool, direct_io_refused);
        QFETCH(int, expected);
        fake_host host;
        QString stick = host.add(fake_host::usb_stick(8 * mib));
        if (direct_io_refused)
            win32::test_control::fail_call(call::direct_io, stick_path, ERROR_INVALID_PARAMETER);
        SetLastError(ERROR_SUCCESS);
        HANDLE disk = open_device(stick_path, GENERIC_READ | GENERIC_WRITE, flags);
        // The open tells the caller that it goes through the page cache, for it to log.
        QCOMPARE(GetLastError(),
                 direct_io_refused ? DWORD(ERROR_NOT_SUPPORTED) : DWORD(ERROR_SUCCESS));
        int open_flags = win32_probe::open_flags_of(host.node_path(stick).toStdString());
        QVERIFY(open_flags != -1);
        QCOMPARE(open_flags & (O_DSYNC | O_DIRECT), expected);
        QCOMPARE(open_flags & O_ACCMODE, O_RDWR);
        // Whatever the file system allows, the rules of unbuffered transfers hold.
        aligned_buffer sector = aligned_bytes(1024, 'u');
        DWORD written = 0;
        QCOMPARE(WriteFile(disk, sector.data() + 8, 512, &written, nullptr) != 0,
                 !(flags & FILE_FLAG_NO_BUFFERING));
        CloseHandle(disk);
        QCOMPARE(win32_probe::open_flags_of(host.node_path(stick).toStdString()), -1);
    }

    void unbuffered_transfers_are_whole_aligned_sectors_data()
    {
        QTest::addColumn<int>("sector");
        QTest::addColumn<int>("memory_offset");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("length");
        QTest::addColumn<DWORD>("error");
        QTest::newRow("aligned") << 512 << 0 << 1024 << 4096 << DWORD(0);
        QTest::newRow("memory off a sector") << 512 << 8 << 0 << 512 << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("position off a sector") << 512 << 0 << 100 << 512 << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("4096 sectors, memory at 512") << 4096 << 512 << 0 << 4096
                                                     << DWORD(ERROR_INVALID_PARAMETER);
        QTest::newRow("4096 sectors, aligned") << 4096 << 0 << 8192 << 8192 << DWORD(0);
    }

    // Each transfer is written, then read back into other memory, through one handle.
    void unbuffered_transfers_are_whole_aligned_sectors()
    {
        QFETCH(int, sector);
        QFETCH(int, memory_offset);
        QFETCH(int, position);
        QFETCH(int, length);
        QFETCH(DWORD, error);
        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(4 * mib);
        blueprint.logical_block_size = sector;
        QString stick = host.add(blueprint);
        HANDLE disk = open_device(stick_path, GENERIC_READ | GENERIC_WRITE, unbuffered);
        aligned_buffer data = aligned_bytes(std::size_t(length + memory_offset), 'd');
        aligned_buffer back = aligned_bytes(std::size_t(length + memory_offset), 'b');

        DWORD done = 0;
        QCOMPARE(seek(disk, position), DWORD(0));
        QCOMPARE(WriteFile(disk, data.data() + memory_offset, DWORD(length), &done, nullptr) ? 0
                                                                                           : GetLastError(),
                 error);
        QCOMPARE(seek(disk, position), DWORD(0));
        QCOMPARE(read(disk, back.data() + memory_offset, DWORD(length), done), error);
        QCOMPARE(done, error ? DWORD(0) : DWORD(length));
        const QByteArray expected(length, error ? '\0' : 'd');
        QCOMPARE(host.read(stick, position, length), expected);
        if (!error)
            QCOMPARE(QByteArray(back.data(), length), expected);
        CloseHandle(disk);
    }

    void reads_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<DWORD>("error");
        QTest::addColumn<int>("read_bytes");
        QTest::newRow("read-only handle") << "read only" << DWORD(0) << 1024;
        QTest::newRow("across the end") << "end" << DWORD(0) << 512;
        QTest::newRow("past the end") << "past" << DWORD(0) << 0;
        QTest::newRow("stick removed") << "removed" << DWORD(ERROR_DEVICE_NOT_CONNECTED) << 0;
        QTest::newRow("another medium") << "medium" << DWORD(ERROR_DEVICE_NOT_CONNECTED) << 0;
        QTest::newRow("before the start") << "negative" << DWORD(ERROR_NEGATIVE_SEEK) << 0;
    }

    void reads()
    {
        QFETCH(QString, situation);
        QFETCH(DWORD, error);
        QFETCH(int, read_bytes);
        fake_host host;
        fake_host::disk blueprint = fake_host::card_reader_slot();
        blueprint.size = 4 * mib;
        QString stick = host.add(blueprint);
        host.write(stick, 0, QByteArray(int(4 * mib), 'r'));
        HANDLE disk = open_device(stick_path, situation == "read only" ? GENERIC_READ
                                                                     : GENERIC_READ | GENERIC_WRITE,
                                  unbuffered);
        aligned_buffer buffer = aligned_bytes(1024, 'b');
        DWORD done = 0;
        // A first read makes the disk's state known.
        QCOMPARE(read(disk, buffer.data(), 512, done), DWORD(0));
        LONGLONG at = 512;
        if (situation == "end" || situation == "past")
            at = 4 * mib - (situation == "end" ? 512 : 0);
        else if (situation == "negative")
            at = -512;
        else if (situation == "removed")
            host.remove(stick);
        else if (situation == "medium")
            host.change_medium(stick, 4 * mib, {});
        QCOMPARE(seek(disk, at), situation == "negative" ? error : DWORD(0));
        QCOMPARE(read(disk, buffer.data(), 1024, done), situation == "negative" ? DWORD(0) : error);
        QCOMPARE(done, DWORD(situation == "negative" ? 1024 : read_bytes));
        QCOMPARE(QByteArray(buffer.data(), int(done)), QByteArray(int(done), 'r'));
        CloseHandle(disk);
    }

    void dropped_write_reports_success_and_writes_nothing()
    {
        fake_host host;
        QString stick = patterned_stick(host, 4 * mib);
        win32::test_control::drop_call(call::write, stick_path, 1);
        HANDLE disk = open_device(stick_path);
        DWORD written = 0;
        for (char value : {'1', '2', '3'})
            QCOMPARE(write(disk, QByteArray(512, value), &written), DWORD(0));
        QCOMPARE(written, DWORD(512));
        CloseHandle(disk);
        QCOMPARE(host.read(stick, 0, 1536),
                 QByteArray(512, '1') + QByteArray(512, char(0xa5)) + QByteArray(512, '3'));
        std::vector<win32::test_control::journal_entry> entries = win32::test_control::journal();
        QCOMPARE(entries.size(), size_t(3));
        QCOMPARE(entries[1].offset, std::uint64_t(512));
        QCOMPARE(entries[1].error, DWORD(0));
    }

    void drive_layout_lists_the_partitions()
    {
        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(64 * mib);
        blueprint.partitions = {{mib, 8 * mib, ""}, {9 * mib, 16 * mib, ""}};
        QString stick = host.add(blueprint);
        HANDLE disk = open_device(stick_path, GENERIC_READ);
        std::vector<char> answer(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)
                                 + 2 * sizeof(PARTITION_INFORMATION_EX));
        auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(answer.data());
        DWORD returned = 0;
        auto ask = [&](DWORD size) {
            return DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout, size,
                                   &returned, nullptr) ? 0 : GetLastError();
        };
        QCOMPARE(ask(DWORD(answer.size()) - 1), DWORD(ERROR_INSUFFICIENT_BUFFER));
        QCOMPARE(ask(DWORD(answer.size())), DWORD(0));
        QCOMPARE(layout->PartitionCount, DWORD(2));
        QCOMPARE(layout->PartitionEntry[1].PartitionNumber, DWORD(2));
        QCOMPARE(layout->PartitionEntry[1].StartingOffset.QuadPart, 9 * mib);
        QCOMPARE(layout->PartitionEntry[1].PartitionLength.QuadPart, 16 * mib);

        host.set_partitions(stick, {});
        QCOMPARE(ask(sizeof(DRIVE_LAYOUT_INFORMATION_EX)), DWORD(0));
        QCOMPARE(layout->PartitionStyle, DWORD(PARTITION_STYLE_RAW));
        QCOMPARE(layout->PartitionCount, DWORD(0));
        CloseHandle(disk);
    }

    void read_only_queries_open_nothing()
    {
        fake_host host;
        QString stick = host.add(fake_host::usb_stick(8 * mib));
        HANDLE disk = open_device(stick_path, GENERIC_READ);
        QVERIFY(disk != INVALID_HANDLE_VALUE);
        QCOMPARE(win32_probe::open_flags_of(host.node_path(stick).toStdString()), -1);
        QCOMPARE(write(disk, QByteArray(512, 'x')), DWORD(ERROR_ACCESS_DENIED));
        QCOMPARE(control(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT), DWORD(ERROR_ACCESS_DENIED));
        CloseHandle(disk);
        QVERIFY(win32::test_control::journal().empty());
    }

    void refused_writes_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<DWORD>("error");
        QTest::newRow("sysfs entry gone") << "removed" << DWORD(ERROR_DEVICE_NOT_CONNECTED);
        QTest::newRow("disk came back") << "replugged" << DWORD(ERROR_DEVICE_NOT_CONNECTED);
        QTest::newRow("write-protected") << "read only" << DWORD(ERROR_WRITE_PROTECT);
        QTest::newRow("partition mounted") << "mounted" << DWORD(ERROR_ACCESS_DENIED);
        QTest::newRow("past the end") << "end" << DWORD(ERROR_SECTOR_NOT_FOUND);
    }

    void refused_writes()
    {
        QFETCH(QString, situation);
        QFETCH(DWORD, error);

        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(4 * mib);
        blueprint.read_only = situation == "read only";
        blueprint.partitions = {{mib, mib, ""}};
        QString stick = host.add(blueprint);
        HANDLE disk = open_device(stick_path);
        QVERIFY(disk != INVALID_HANDLE_VALUE);
        QByteArray data(int(mib), 'w');
        if (situation != "read only")
            QCOMPARE(write(disk, data), DWORD(0));
        QByteArray before = host.read(stick, 0, 4 * mib);

        if (situation == "removed") {
            host.remove(stick);
        } else if (situation == "replugged") {
            host.remove(stick);
            host.plug_back(stick);
        } else if (situation == "mounted") {
            host.mount(fake_host::partition_name(stick, 1), "/media/user/AUTO");
        } else if (situation == "end") {
            QCOMPARE(write(disk, QByteArray(int(2 * mib), 'w')), DWORD(0));
            data = QByteArray(int(2 * mib), 'e');
        }
        DWORD written = 1;
        QCOMPARE(write(disk, data, &written), error);
        QCOMPARE(written, DWORD(0));
        if (situation != "removed")
            QCOMPARE(host.read(stick, 0, 4 * mib).size(), before.size());
        if (situation == "mounted" || situation == "replugged")
            QCOMPARE(host.read(stick, 0, 4 * mib), before);
        CloseHandle(disk);
    }

    void write_protected_stick_opens_but_refuses_writes()
    {
        fake_host host;
        fake_host::disk blueprint = fake_host::usb_stick(4 * mib);
        blueprint.read_only = true;
        QString stick = host.add(blueprint);
        HANDLE disk = open_device(stick_path);
        QVERIFY(disk != INVALID_HANDLE_VALUE);
        QCOMPARE(write(disk, QByteArray(512, 'x')), DWORD(ERROR_WRITE_PROTECT));
        QCOMPARE(control(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT), DWORD(ERROR_WRITE_PROTECT));
        QVERIFY(all_bytes(host.read(stick, 0, 4 * mib), 0));
        CloseHandle(disk);
    }

    void closed_and_foreign_handles_are_refused()
    {
        fake_host host;
        host.add(fake_host::usb_stick(4 * mib));
        HANDLE disk = open_device(stick_path);
        QVERIFY(CloseHandle(disk));
        QCOMPARE(write(disk, QByteArray(512, 'x')), DWORD(ERROR_INVALID_HANDLE));
        QCOMPARE(control(disk, IOCTL_DISK_IS_WRITABLE), DWORD(ERROR_INVALID_HANDLE));
        HANDLE volume_of_nothing = open_device("\\\\?\\Q:");
        QCOMPARE(volume_of_nothing, INVALID_HANDLE_VALUE);
        QCOMPARE(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        QCOMPARE(open_device("C:\\Windows\\notepad.exe"), INVALID_HANDLE_VALUE);
    }
};

QTEST_GUILESS_MAIN(test_win32_disk_io)
#include "test_win32_disk_io.moc"
