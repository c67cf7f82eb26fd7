// The copy of the image onto a stick of a fake host and its read-back: chunks, the partition
// table's chunk last, the padded last sector, the configuration block laid over the copy, the
// ways a copy ends, the refusals before it, and the release of the disk.

#include "base/logger.h"
#include "device/device_windows.h"
#include "image/file_position.h"
#include "image/image_manipulator.h"
#include "image/image_stream.h"
#include "run/failure_texts.h"
#include "win32/test_control.h"
#include "writing/image_burner.h"

#include "fake_host.h"
#include "memory_folder.h"
#include "gzip_data.h"
#include "image_files.h"
#include "win32_probe.h"

#include <windows.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <functional>
#include <thread>

using win32::test_control::call;

namespace {

const qint64 mib = 1 << 20;
const std::string stick_path = "\\\\.\\PhysicalDrive0";
const QString stick_name = "Kingston DataTraveler 3.0 USB Device";
const quint64 area_offset = 4096;
const qint64 band = 65536;
const char untouched = char(0xa5);
const qint64 chunk = 8000512;
// What a first flash writes at a time: the blocks it inflates, the same for every sector size.
const qint64 stream_block = qint64(image_stream::block_size);
// A first flash writes its first block last, a MiB at a time from its end, the partition table
// at its start the very last.
const int first_block_pieces = int(stream_block >> 20);

QByteArray block()
{
    return QByteArray(2048, 'C');
}

// As the disk's preparation opens it.
HANDLE open_device(const std::string& path, DWORD flags = FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH)
{
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
}

bool is_closed(HANDLE handle)
{
    return !CloseHandle(handle) && GetLastError() == ERROR_INVALID_HANDLE;
}

bool all_bytes(const QByteArray& data, char value)
{
    return data.count(value) == data.size();
}

QString progress(qint64 done, qint64 total)
{
    return QString("progress %1/%2").arg(done).arg(total);
}

QString verified(qint64 done, qint64 total)
{
    return "verify " + progress(done, total);
}

const QString mismatch = "error Verification failed: the stick may be faulty";

struct write_entry {
    quint64 offset;
    quint64 length;
    DWORD error;
    bool operator==(const write_entry& other) const
    {
        return offset == other.offset && length == other.length && error == other.error;
    }
};

QList<write_entry> journaled_writes()
{
    QList<write_entry> writes;
    for (const auto& entry : win32::test_control::journal())
        if (entry.what == call::write)
            writes.append({entry.offset, entry.length, entry.error});
    return writes;
}

QList<call> journaled_controls()
{
    QList<call> controls;
    for (const auto& entry : win32::test_control::journal())
        if (entry.what != call::write)
            controls.append(entry.what);
    return controls;
}

} // namespace

namespace QTest {

// Shown where journals differ.
template <>
char* toString(const write_entry& entry)
{
    return qstrdup(QByteArray::number(entry.length) + " bytes at " + QByteArray::number(entry.offset)
                   + ", error " + QByteArray::number(quint64(entry.error)));
}

} // namespace QTest

Q_DECLARE_METATYPE(call)
Q_DECLARE_METATYPE(write_entry)

class test_image_burner_writing : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<fake_host> m_host;
    QString m_stick;
    std::vector<HANDLE> m_opened;
    DWORD m_stale_error = ERROR_SUCCESS;
    bool m_verification = true;
    // Holds the downloads folder.
    QString m_data_folder;

    QString downloads() const { return m_data_folder + "/downloads"; }
    QString gz_path() const { return downloads() + "/v2.0.img.gz"; }
    QString img_path() const { return downloads() + "/v2.0.img"; }

    bool logged(const QString& severity, const QString& text) const
    {
        const QString log = QString::fromUtf8(
            image_files::read_file(m_folder.path() + "/Kestrel Flash tool.log"));
        return QRegularExpression("\\[" + severity + "\\] \\[.+\\] "
                                  + QRegularExpression::escape(text) + "\n")
            .match(log)
            .hasMatch();
    }

    // The stick as its preparation leaves it: the disk open for writing, then a volume handle.
    std::shared_ptr<device_windows> prepared_stick(int bytes_per_sector, bool with_handles = true,
                                                   qint64 size = 64 * mib)
    {
        fake_host::disk spec = fake_host::usb_stick(size);
        spec.logical_block_size = bytes_per_sector;
        spec.partitions = {{mib, 32 * mib, QString()}};
        m_stick = m_host->add(spec);
        // The layout deleted, as the disk's preparation leaves it.
        m_host->write(m_stick, 0, QByteArray(int(mib), '\0'));

        auto disk = std::make_shared<device_windows>();
        disk->path = stick_path;
        disk->name = stick_name.toStdString();
        disk->size = quint64(size);
        disk->bytes_per_sector = bytes_per_sector;
        const std::string root = win32_probe::logical_drive_roots().at(0);
        disk->volumes = {root};
        if (with_handles) {
            disk->handles = {open_device(stick_path), open_device("\\\\?\\" + root.substr(0, 2))};
            for (HANDLE handle : disk->handles)
                if (handle == INVALID_HANDLE_VALUE)
                    qFatal("cannot open the fake stick");
            m_opened = disk->handles;
        }
        return disk;
    }

    // The decompressed image of `size` bytes, its area at `offset`; returns it as the stick
    // should hold it.
    QByteArray place_image(qint64 size, quint64 offset = area_offset)
    {
        QByteArray image = image_files::disk_image(int(size - 8), offset);
        if (!image_files::write_file(img_path(), image)
            || !image_manipulator::record_complete(img_path().toStdString()))
            qFatal("cannot write the image");
        return image.replace(int(offset), 2048, block());
    }

    bool first_chunk_zero(qint64 length = chunk) const
    {
        const QByteArray first = m_host->read(m_stick, 0, length);
        return first.size() == length && all_bytes(first, '\0');
    }

    // An image of three blocks of a first flash, each starting with data that does not compress.
    static QByteArray staged_image()
    {
        QByteArray image;
        for (quint32 index = 0; index < 3; ++index) {
            const QByteArray data = gzip_data::incompressible(int(image_manipulator::buffer_size), index);
            image += data + QByteArray(int(stream_block - data.size()), '\0');
        }
        return image.left(int(3 * stream_block - 8)) + image_files::trailer(area_offset);
    }

    static const QByteArray& staged_download()
    {
        static const QByteArray download = gzip_data::compress(staged_image());
        return download;
    }

    // Fills a band of the stick, so that writes that should not reach it show.
    void mark(qint64 offset) { m_host->write(m_stick, offset, QByteArray(int(band), untouched)); }

    bool marked(qint64 offset) const { return all_bytes(m_host->read(m_stick, offset, band), untouched); }

    // Runs burn_image() on a thread of its own, as the main window does, and returns the
    // burner's signals in the order it sent them. The first time the burner reports
    // `pause_at`, it waits while `action` runs on the test's thread.
    QStringList burn(const std::shared_ptr<device_windows>& disk, bool cancel_first = false,
                     const QString& pause_at = QString(),
                     const std::function<void(image_burner*)>& action = {})
    {
        auto* burner = new image_burner(gz_path().toStdString(), disk, block());
        if (!m_verification)
            burner->skip_verification();
        // Written by the burner's thread only, read once that thread has ended.
        QStringList sent;
        QSemaphore paused;
        QSemaphore resumed;
        bool waited = false;
        auto report = [&](const QString& entry) {
            sent << entry;
            if (entry == pause_at && !waited) {
                waited = true;
                paused.release();
                resumed.acquire();
            }
        };
        connect(burner, &image_burner::finished, burner, [&] { report("finished"); }, Qt::DirectConnection);
        connect(burner, &image_burner::canceled, burner, [&] { report("canceled"); }, Qt::DirectConnection);
        connect(burner, &image_burner::device_disconected, burner, [&] { report("disconected"); },
                Qt::DirectConnection);
        connect(burner, &image_burner::failed, burner,
                [&](burn_failure cause) { report("error " + QString::fromStdString(burn_failure_text(cause, ""))); },
                Qt::DirectConnection);
        connect(burner, &image_burner::report_progress, burner,
                [&](qint64 done, qint64 total) { report(progress(done, total)); }, Qt::DirectConnection);
        connect(burner, &image_burner::report_progress_inflate, burner,
                [&](qint64 done, qint64 total) { report("inflate " + progress(done, total)); },
                Qt::DirectConnection);
        connect(burner, &image_burner::report_progress_verify, burner,
                [&](qint64 done, qint64 total) { report(verified(done, total)); }, Qt::DirectConnection);
        if (cancel_first)
            burner->cancel();

        QThread thread;
        burner->moveToThread(&thread);
        // Before burn_image(): an error code that no call of this run set.
        connect(&thread, &QThread::started, burner, [this] { SetLastError(m_stale_error); },
                Qt::DirectConnection);
        connect(&thread, SIGNAL(started()), burner, SLOT(burn_image()));
        std::atomic<bool> returned {false};
        connect(&thread, &QThread::started, burner, [&] { returned = true; }, Qt::DirectConnection);
        connect(&thread, SIGNAL(finished()), burner, SLOT(deleteLater()));
        thread.start();
        // A run that ends without reaching the pause is left to the test's comparisons.
        while (!pause_at.isEmpty() && !paused.tryAcquire(1, 1) && !returned) {
        }
        if (!pause_at.isEmpty() && !returned) {
            action(burner);
            resumed.release();
        }
        // Taken up by the thread's event loop once burn_image() has returned.
        thread.quit();
        if (!thread.wait(300000))
            qFatal("burner thread did not end");
        return sent;
    }

    void verify_released(const std::shared_ptr<device_windows>& disk)
    {
        QVERIFY(disk->handles.empty());
        QVERIFY(disk->volumes.empty());
        for (HANDLE handle : m_opened)
            QVERIFY(is_closed(handle));
        m_opened.clear();
    }

private slots:
    void init()
    {
        m_stale_error = ERROR_SUCCESS;
        m_verification = true;
        m_data_folder = m_folder.path();
        m_host = std::make_unique<fake_host>();
        QDir(downloads()).removeRecursively();
        QDir().mkpath(downloads());
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        logger::init(m_folder.path().toStdString());
    }

    void cleanup()
    {
        for (HANDLE handle : m_opened)
            CloseHandle(handle);
        m_opened.clear();
        m_host.reset();
    }

    void cleanupTestCase() { logger::close(); }

    void image_of_three_chunks_data()
    {
        QTest::addColumn<int>("bytes_per_sector");
        QTest::addColumn<qint64>("chunk");
        QTest::addColumn<DWORD>("stale_error");
        QTest::newRow("512-byte sectors") << 512 << qint64(8000512) << DWORD(ERROR_SUCCESS);
        QTest::newRow("4096-byte sectors") << 4096 << qint64(8003584) << DWORD(ERROR_SUCCESS);
        // Each write is judged by its own outcome.
        QTest::newRow("error code left from before") << 512 << qint64(8000512) << DWORD(ERROR_GEN_FAILURE);
    }

    void image_of_three_chunks()
    {
        QFETCH(int, bytes_per_sector);
        QFETCH(qint64, chunk);
        QFETCH(DWORD, stale_error);
        m_stale_error = stale_error;
        const qint64 size = 3 * chunk;
        auto disk = prepared_stick(bytes_per_sector);
        const QByteArray expected = place_image(size);
        mark(size);

        const QStringList sent = burn(disk);
        QCOMPARE(sent, QStringList({progress(chunk, size), progress(2 * chunk, size),
                                    verified(chunk, size), verified(2 * chunk, size),
                                    verified(size, size), "finished", progress(size, size)}));
        // The partition table's chunk last.
        QCOMPARE(journaled_writes(), QList<write_entry>({{quint64(chunk), quint64(chunk), 0},
                                                         {quint64(2 * chunk), quint64(chunk), 0},
                                                         {0, quint64(chunk), 0}}));
        QCOMPARE(journaled_controls(), QList<call>({call::eject}));
        QVERIFY(m_host->read(m_stick, 0, size) == expected);
        QVERIFY(marked(size));
        verify_released(disk);
        QVERIFY(logged("debug", "Device: " + stick_name));
        QVERIFY(logged("fatal", "Burning started"));
        QVERIFY(logged("fatal", "Verification started"));
        QVERIFY(logged("info", "Burning finished"));
    }

    void partial_last_sector_data()
    {
        QTest::addColumn<int>("bytes_per_sector");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("last_chunk");
        QTest::newRow("512-byte sectors, one chunk") << 512 << mib + 300 << qint64(0);
        QTest::newRow("4096-byte sectors, one chunk") << 4096 << mib + 300 << qint64(0);
        QTest::newRow("4096-byte sectors, after a whole chunk") << 4096 << 8003584 + mib + 5000
                                                                << qint64(8003584);
    }

    void partial_last_sector()
    {
        QFETCH(int, bytes_per_sector);
        QFETCH(qint64, size);
        QFETCH(qint64, last_chunk);
        auto disk = prepared_stick(bytes_per_sector);
        const QByteArray expected = place_image(size);
        const qint64 sector_start = size / bytes_per_sector * bytes_per_sector;
        const qint64 sector_end = sector_start + bytes_per_sector;
        mark(sector_start);

        const QStringList sent = burn(disk);
        QCOMPARE(sent.mid(sent.size() - 2), QStringList({"finished", progress(size, size)}));
        QVERIFY(journaled_writes().contains(
            write_entry {quint64(last_chunk), quint64(sector_end - last_chunk), 0}));
        QVERIFY(m_host->read(m_stick, 0, size) == expected);
        QVERIFY(all_bytes(m_host->read(m_stick, size, sector_end - size), '\0'));
        QCOMPARE(m_host->read(m_stick, sector_end, band - bytes_per_sector),
                 QByteArray(int(band - bytes_per_sector), untouched));
        QCOMPARE(journaled_controls(), QList<call>({call::eject}));
        verify_released(disk);
    }

    void configuration_block_on_the_stick_data()
    {
        QTest::addColumn<bool>("inflated_by_the_copy");
        QTest::addColumn<quint64>("offset");
        for (bool first_flash : {false, true}) {
            const char* flash = first_flash ? "first flash" : "image decompressed before";
            const qint64 unit = first_flash ? stream_block : chunk;
            QTest::addRow("%s, in the first chunk", flash) << first_flash << quint64(4096);
            QTest::addRow("%s, in the last chunk", flash) << first_flash << quint64(2 * unit + 4096);
            QTest::addRow("%s, across a chunk boundary", flash) << first_flash << quint64(unit - 1000);
        }
    }

    // The block is on the stick; the decompressed image stays as released.
    void configuration_block_on_the_stick()
    {
        QFETCH(bool, inflated_by_the_copy);
        QFETCH(quint64, offset);
        const qint64 size = 3 * (inflated_by_the_copy ? stream_block : chunk) - 1000;
        auto disk = prepared_stick(512);
        const QByteArray expected = place_image(size, offset);
        const QByteArray released = image_files::read_file(img_path());
        if (inflated_by_the_copy) {
            QVERIFY(QFile::remove(img_path()));
            QVERIFY(image_files::write_file(gz_path(), gzip_data::compress(released)));
        }

        const QStringList sent = burn(disk);
        QCOMPARE(sent.mid(sent.size() - 2), QStringList({"finished", progress(size, size)}));
        QVERIFY(m_host->read(m_stick, 0, size) == expected);
        QVERIFY(image_files::read_file(img_path()) == released);
        QCOMPARE(journaled_writes().last().offset, quint64(0));
    }

    void refused_and_failed_writes_data()
    {
        QTest::addColumn<DWORD>("error");
        QTest::addColumn<int>("writes_to_pass");
        QTest::addColumn<QStringList>("ending");
        QTest::addColumn<QList<call>>("controls");
        QTest::addColumn<int>("writes");
        const qint64 size = 8000512 + 300;
        const QStringList finished {"finished", progress(size, size)};
        const QStringList disconnected {"disconected", "error Device disconected!"};
        // The image's last chunk goes first, then the partition table's.
        QTest::newRow("padded last sector refused") << DWORD(ERROR_INVALID_PARAMETER) << 0
                                                    << finished << QList<call>({call::eject}) << 2;
        // Only the image's end may be refused: a refused chunk leaves the image incomplete.
        QTest::newRow("first chunk refused") << DWORD(ERROR_INVALID_PARAMETER) << 1
                                             << disconnected << QList<call>() << 2;
        QTest::newRow("last write fails") << DWORD(ERROR_IO_DEVICE) << 1 << disconnected
                                          << QList<call>() << 2;
    }

    void refused_and_failed_writes()
    {
        QFETCH(DWORD, error);
        QFETCH(int, writes_to_pass);
        QFETCH(QStringList, ending);
        QFETCH(QList<call>, controls);
        QFETCH(int, writes);
        const qint64 size = 8000512 + 300;
        auto disk = prepared_stick(512);
        place_image(size);
        win32::test_control::fail_call(call::write, stick_path, error, writes_to_pass);

        const QStringList sent = burn(disk);
        QCOMPARE(sent.mid(sent.size() - 2), ending);
        QCOMPARE(journaled_writes().size(), writes);
        QCOMPARE(journaled_writes()[writes_to_pass].error, error);
        QCOMPARE(journaled_controls(), controls);
        verify_released(disk);
    }

    void unfinished_copy_leaves_the_first_chunk_zero_data()
    {
        const qint64 size = 3 * chunk;
        QTest::addColumn<QString>("what");
        QTest::addColumn<QStringList>("ending");
        QTest::addColumn<QList<write_entry>>("writes");
        QTest::addColumn<QList<call>>("controls");
        const write_entry middle {quint64(chunk), quint64(chunk), 0};
        QTest::newRow("stop") << "stop" << QStringList({progress(chunk, size), "canceled"})
                              << QList<write_entry>({middle}) << QList<call>({call::update_properties});
        QTest::newRow("failure") << "failure"
                                 << QStringList({progress(0, size), "disconected", "error Device disconected!"})
                                 << QList<write_entry>({{quint64(chunk), quint64(chunk), DWORD(ERROR_IO_DEVICE)}})
                                 << QList<call>();
        QTest::newRow("removal") << "removal"
                                 << QStringList({progress(chunk, size), progress(chunk, size), "disconected",
                                                 "error Device disconected!"})
                                 << QList<write_entry>({middle, {quint64(2 * chunk), quint64(chunk),
                                                                 DWORD(ERROR_DEVICE_NOT_CONNECTED)}})
                                 << QList<call>();
    }

    // At the middle chunk of three: the stick never carries a partition table over an image
    // that is not all there.
    void unfinished_copy_leaves_the_first_chunk_zero()
    {
        QFETCH(QString, what);
        QFETCH(QStringList, ending);
        QFETCH(QList<write_entry>, writes);
        QFETCH(QList<call>, controls);
        const qint64 size = 3 * chunk;
        auto disk = prepared_stick(512);
        place_image(size);
        if (what == "failure")
            win32::test_control::fail_call(call::write, stick_path, ERROR_IO_DEVICE);

        const QStringList sent = burn(disk, false, progress(chunk, size), [&](image_burner* burner) {
            if (what == "stop")
                burner->cancel();
            else
                m_host->remove(m_stick);
        });
        QCOMPARE(sent, ending);
        QCOMPARE(journaled_writes(), writes);
        QCOMPARE(journaled_controls(), controls);
        if (what == "removal")
            m_stick = m_host->plug_back(m_stick);
        QVERIFY(first_chunk_zero());
        verify_released(disk);
        if (what != "stop")
            QVERIFY(logged("fatal", "Burning interupted 'Device disconected'"));
    }

    void read_back_proves_the_copy_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<qint64>("found_at");
        QTest::newRow("the middle chunk's write lost") << "lost middle" << chunk;
        QTest::newRow("the partition table's write lost") << "lost first" << qint64(0);
        QTest::newRow("a byte flipped after the write") << "flipped" << 2 * chunk;
        QTest::newRow("the middle chunk unreadable, the stick attached") << "unreadable" << chunk;
    }

    // A stick that takes writes but does not keep them, or cannot give them back, fails the run,
    // and is left without a partition table.
    void read_back_proves_the_copy()
    {
        QFETCH(QString, fault);
        QFETCH(qint64, found_at);
        const qint64 size = 3 * chunk;
        auto disk = prepared_stick(512);
        place_image(size);
        if (fault.startsWith("lost"))
            win32::test_control::drop_call(call::write, stick_path, fault == "lost first" ? 2 : 0);
        if (fault == "unreadable")
            win32::test_control::fail_call(call::read, stick_path, ERROR_IO_DEVICE, 1);

        const QStringList sent = burn(disk, false, verified(chunk, size), [this](image_burner*) {
            QByteArray byte = m_host->read(m_stick, 2 * chunk + 5000, 1);
            byte[0] = char(byte[0] ^ 0x40);
            m_host->write(m_stick, 2 * chunk + 5000, byte);
        });
        QCOMPARE(sent.last(), mismatch);
        QVERIFY(!sent.contains("finished"));
        QVERIFY(!sent.contains("disconected"));
        QCOMPARE(sent.indexOf(verified(chunk, size)) != -1, found_at > 0);
        QVERIFY(logged("fatal", "Verification failed in the chunk at " + QString::number(found_at)));
        QVERIFY(!journaled_controls().contains(call::eject));
        QVERIFY(first_chunk_zero());
        verify_released(disk);
    }

    void stick_removed_while_read_back()
    {
        const qint64 size = 3 * chunk;
        auto disk = prepared_stick(512);
        place_image(size);

        const QStringList sent = burn(disk, false, verified(chunk, size),
                                      [this](image_burner*) { m_host->remove(m_stick); });
        // The chunk read ahead while the stick went may still compare; the next cannot.
        QVERIFY(sent.contains(verified(chunk, size)));
        QVERIFY(!sent.contains(verified(size, size)));
        QCOMPARE(sent.mid(sent.size() - 2), QStringList({"disconected", "error Device disconected!"}));
        QVERIFY(journaled_controls().isEmpty());
        verify_released(disk);
    }

    void cancel_at_every_stage_data()
    {
        QTest::addColumn<QString>("pause_at");
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("inflated");
        const qint64 size = 3 * stream_block;
        // Inflated and written block by block, the partition table's last.
        QTest::newRow("while inflating, before a write") << "inflate " + progress(stream_block, size) << 0 << false;
        QTest::newRow("while inflating, after a write") << "inflate " + progress(2 * stream_block, size) << 1 << false;
        QTest::newRow("after inflating") << "inflate " + progress(size, size) << 2 << true;
        QTest::newRow("while verifying") << verified(1 << 20, size) << 2 + first_block_pieces << true;
    }

    // From the test's thread, as the window cancels while the burner's thread works.
    void cancel_at_every_stage()
    {
        QFETCH(QString, pause_at);
        QFETCH(int, writes);
        QFETCH(bool, inflated);
        auto disk = prepared_stick(512);
        QVERIFY(image_files::write_file(gz_path(), staged_download()));
        QVERIFY(image_files::write_file(downloads() + "/checksum.md5", "0123456789abcdef"));
        const QByteArray expected = staged_image().replace(int(area_offset), 2048, block());
        for (int index = 1; index < 3; ++index)
            mark(index * stream_block);

        const QStringList sent = burn(disk, false, pause_at, [](image_burner* burner) { burner->cancel(); });
        // Nothing but the cancel after the report it arrived at.
        QCOMPARE(sent.mid(sent.indexOf(pause_at)), QStringList({pause_at, "canceled"}));
        QCOMPARE(journaled_writes().size(), writes);
        QCOMPARE(journaled_controls(), QList<call>({call::update_properties}));
        for (int index = 1; index < 3; ++index)
            QVERIFY(index <= writes ? m_host->read(m_stick, index * stream_block, stream_block) == expected.mid(int(index * stream_block), int(stream_block))
                                    : marked(index * stream_block));
        QVERIFY(writes > 2 ? m_host->read(m_stick, 0, stream_block) == expected.left(int(stream_block))
                           : first_chunk_zero(stream_block));
        if (writes > 2)
            QCOMPARE(journaled_writes().last().offset, quint64(0));
        verify_released(disk);
        QVERIFY(logged("info", "Burning canceled"));
        // The decompressed image stays once whole; stopped while it is made (its inflating runs
        // a little ahead of the copy), it is kept whole or not at all.
        const QStringList whole {"checksum.md5", "v2.0.img", "v2.0.img.gz", "v2.0.img.size"};
        const QStringList left = QDir(downloads()).entryList(QDir::Files);
        if (inflated || left.contains("v2.0.img"))
            QCOMPARE(left, whole);
        else
            QCOMPARE(left, QStringList({"checksum.md5", "v2.0.img.gz"}));
        QVERIFY(!left.contains("v2.0.img") || image_manipulator::is_complete(img_path().toStdString()));
    }

    // The copies of a run share a ring of blocks: one held back holds the others only once they
    // are the ring's depth ahead, and an image that ends there reaches its end for them (the last
    // block is known as the last, not followed by an empty one that needs a slot). The kept image
    // and the download's checksum come of the same single reading.
    void copies_share_a_ring_of_blocks()
    {
        QByteArray image;
        for (quint32 index = 0; index < 5; ++index)
            image += gzip_data::incompressible(int(stream_block), index);
        const QByteArray download = gzip_data::compress(image);
        QVERIFY(image_files::write_file(gz_path(), download));
        const auto stream = image_stream::inflating(gz_path().toStdString(), img_path().toStdString(), 2, true);
        QVERIFY(stream->start());
        const std::atomic<bool> going {false};
        std::unique_ptr<image_stream::reader> held = stream->take_reader(&going);
        std::unique_ptr<image_stream::reader> other = stream->take_reader(&going);
        std::size_t length = 0;
        QVERIFY(held->next_block(length) && held->next_block(length));

        QByteArray read;
        std::atomic<bool> ended {false};
        std::thread copy([&] {
            std::size_t piece = 0;
            while (const char* block = other->next_block(piece)) {
                if (piece == 0)
                    break;
                read.append(block, int(piece));
            }
            ended = true;
        });
        // Lets the copy go, whatever the checks below find.
        const std::unique_ptr<void, std::function<void(void*)>> join(&ended, [&](void*) {
            held.reset();
            copy.join();
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended, 60000);
        QVERIFY(read == image);
        // Kept whole, for the copies to read what they write last.
        const file_pointer kept(other->finish());
        QVERIFY(kept);
        held.reset();
        other.reset();
        QCOMPARE(QString::fromStdString(stream->download_checksum()),
                 QString::fromLatin1(QCryptographicHash::hash(download, QCryptographicHash::Md5).toHex()));
        QVERIFY(image_manipulator::is_complete(img_path().toStdString()));
        QVERIFY(image_files::read_file(img_path()) == image);
    }

    void image_cut_short_is_not_kept()
    {
        const qint64 size = 3 * chunk;
        auto disk = prepared_stick(512);
        place_image(size);
        QVERIFY(image_files::write_file(gz_path(), "the download"));

        const QStringList sent = burn(disk, false, progress(chunk, size), [this](image_burner*) {
            QVERIFY(QFile::resize(img_path(), chunk + 100));
        });
        QCOMPARE(sent.last(), QString("error Downloaded image is damaged"));
        verify_released(disk);
        // The next run makes the image again from the download.
        QCOMPARE(QDir(downloads()).entryList(QDir::Files), QStringList({"v2.0.img.gz"}));
    }

    // Sizes above 4 GiB, inflated before the copy as several copies from one download would
    // have it, then copied whole onto a sparse stick: every chunk at its own place, the progress
    // counted on past 4 GiB.
    void image_above_4_gib()
    {
        // The copy writes all of it into the stick's file: in memory where the system has a
        // folder for that, and gone when the test ends.
        const QString memory = memory_folder(qint64(5) << 30);
        m_host.reset();
        m_host = std::make_unique<fake_host>(fake_host::kernel::with_diskseq, memory);
        QTemporaryDir data_folder(memory + "/kestrel-image-XXXXXX");
        QVERIFY(data_folder.isValid());
        m_data_folder = data_folder.path();
        QVERIFY(QDir().mkpath(downloads()));
        m_verification = false;

        // Mostly zeros, with data that shows where it lands at both ends.
        const qint64 zeros = 64 * mib;
        const QByteArray zero_member = gzip_data::compress(QByteArray(int(zeros), '\0'));
        const QByteArray head = gzip_data::incompressible(100000, 2);
        const QByteArray tail = gzip_data::incompressible(100000) + image_files::trailer(area_offset);
        QFile download(gz_path());
        QVERIFY(download.open(QIODevice::WriteOnly));
        download.write(gzip_data::compress(head));
        for (int member = 0; member < 65; ++member)
            download.write(zero_member);
        download.write(gzip_data::compress(tail));
        download.close();
        const qint64 size = head.size() + 65 * zeros + tail.size();
        image_manipulator manipulator;
        FILE* inflated = manipulator.inflate_image(gz_path().toStdString());
        QVERIFY(inflated);
        std::fclose(inflated);
        QFile image(img_path());
        QVERIFY(image.open(QIODevice::ReadOnly) && image.seek(size - tail.size()));
        QVERIFY(image.read(tail.size()) == tail);
        auto disk = prepared_stick(512, true, size + mib);

        const QStringList sent = burn(disk);
        const qint64 chunks = (size + chunk - 1) / chunk;
        const qint64 last = (chunks - 1) * chunk;
        QVERIFY(last > qint64(1) << 32);
        QStringList expected_progress;
        QList<write_entry> expected_writes;
        for (qint64 offset = chunk; offset < last; offset += chunk) {
            expected_progress << progress(offset, size);
            expected_writes.append({quint64(offset), quint64(chunk), 0});
        }
        // The first chunk is written last, without a report; the zeros that pad the last sector
        // are written, not counted.
        expected_progress << progress(size - chunk, size) << "finished" << progress(size, size);
        expected_writes.append({quint64(last), quint64((size - last + 511) / 512 * 512), 0});
        expected_writes.append({0, quint64(chunk), 0});
        QCOMPARE(journaled_writes(), expected_writes);
        QCOMPARE(sent, expected_progress);
        QVERIFY(m_host->read(m_stick, size - tail.size(), tail.size()) == tail);
        QVERIFY(m_host->read(m_stick, 0, head.size()) == QByteArray(head).replace(int(area_offset), 2048, block()));
        verify_released(disk);
    }

    void refusals_before_the_copy_data()
    {
        QTest::addColumn<bool>("with_image");
        QTest::addColumn<bool>("with_handles");
        QTest::addColumn<bool>("cancel_first");
        QTest::newRow("canceled before the start") << true << true << true;
        QTest::newRow("no disk handle") << true << false << false;
        QTest::newRow("preparation failed") << false << true << false;
    }

    void refusals_before_the_copy()
    {
        QFETCH(bool, with_image);
        QFETCH(bool, with_handles);
        QFETCH(bool, cancel_first);
        auto disk = prepared_stick(512, with_handles);
        if (with_image)
            place_image(mib);

        QCOMPARE(burn(disk, cancel_first), QStringList({"error Cannot open device!"}));
        QVERIFY(win32::test_control::journal().empty());
        QVERIFY(logged("fatal", "Cannot open device '" + stick_name + "', or flashing canceled"));
        QVERIFY(!logged("fatal", "Burning started"));
        // The handles stay with their owner.
        QCOMPARE(disk->handles.size(), with_handles ? std::size_t(2) : std::size_t(0));
        QCOMPARE(disk->volumes.size(), std::size_t(1));
    }

    void null_disk_handle()
    {
        auto disk = prepared_stick(512);
        CloseHandle(disk->handles[0]);
        disk->handles[0] = nullptr;
        place_image(mib);

        QCOMPARE(burn(disk), QStringList({"canceled", "error Cannot open device!"}));
        QVERIFY(journaled_writes().isEmpty());
        QVERIFY(logged("fatal", "Cannot open device '" + stick_name + "'"));
        QVERIFY(is_closed(m_opened[1]));
        m_opened.clear();
        QVERIFY(disk->handles.empty());
        QVERIFY(disk->volumes.empty());
    }
};

QTEST_GUILESS_MAIN(test_image_burner_writing)
#include "test_image_burner_writing.moc"
