#include "base/logger.h"
#include "device/device_windows.h"
#include "image/image_manipulator.h"
#include "run/failure_texts.h"
#include "writing/image_burner.h"

#include "fake_host.h"
#include "file_size_limit.h"
#include "gzip_data.h"
#include "image_files.h"
#include "win32/test_control.h"
#include "qt_warnings.h"
#include "small_file_system.h"
#include "unwritable_folder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <thread>

using image_files::read_file;
using image_files::write_file;

class test_image_burner_preparation : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<fake_host> m_host;
    // Where the downloads are: the data folder's, or another file system's.
    QString m_downloads;

    QString downloads() const { return m_downloads; }
    QString gz_path() const { return downloads() + "/v2.0.img.gz"; }
    QString img_path() const { return downloads() + "/v2.0.img"; }

    QString log_content() const
    {
        return QString::fromUtf8(read_file(m_folder.path() + "/Kestrel Flash tool.log"));
    }

    bool logged(const QString& severity, const QString& text) const
    {
        return QRegularExpression("\\[" + severity + "\\] \\[.+\\] " + QRegularExpression::escape(text) + "\n")
            .match(log_content())
            .hasMatch();
    }

    static std::shared_ptr<device> usb_disk(bool with_handle = true)
    {
        auto disk = std::make_shared<device_windows>();
        disk->path = "\\\\.\\PhysicalDrive1";
        disk->name = "Kestrel Stick USB Device";
        disk->size = 8000000000ULL;
        disk->bytes_per_sector = 512;
        if (with_handle)
            disk->handles.push_back(INVALID_HANDLE_VALUE);
        return disk;
    }

    // A disk of a fake host opened for writing: a prepared image goes on to be written.
    std::shared_ptr<device> writable_disk()
    {
        m_host = std::make_unique<fake_host>();
        m_host->add(fake_host::usb_stick(64 << 20));
        auto disk = std::make_shared<device_windows>();
        disk->name = "Kestrel Stick USB Device";
        disk->bytes_per_sector = 512;
        disk->handles.push_back(CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr));
        return disk;
    }

    static QByteArray block() { return QByteArray(2048, 'C'); }

    // What the burner sent, read once its thread has ended.
    struct outcome {
        QList<QVariantList> errors;
        QList<QVariantList> inflate_progress;
        int finished = 0;
        int other_signals = 0;
    };

    // Runs burn_image() on a thread of its own, as the main window does, and ends the thread.
    outcome burn(bool cancel_first = false, std::shared_ptr<device> disk = usb_disk())
    {
        outcome result;
        // A temporary path: the burner must not depend on the caller's string.
        auto* burner = new image_burner(gz_path().toStdString(), std::move(disk), block());
        QList<QVariantList> errors;
        connect(burner, &image_burner::failed, burner, [&](burn_failure cause) {
            errors.append(error(QString::fromStdString(burn_failure_text(cause, img_path().toStdString()))));
        }, Qt::DirectConnection);
        QSignalSpy inflate_progress(burner, SIGNAL(report_progress_inflate(qint64,qint64)));
        QSignalSpy finished(burner, SIGNAL(finished()));
        QSignalSpy canceled(burner, SIGNAL(canceled()));
        QSignalSpy progress(burner, SIGNAL(report_progress(qint64,qint64)));
        QSignalSpy disconnected(burner, SIGNAL(device_disconected()));
        if (cancel_first)
            burner->cancel();

        QThread thread;
        burner->moveToThread(&thread);
        connect(&thread, SIGNAL(started()), burner, SLOT(burn_image()));
        connect(&thread, SIGNAL(finished()), burner, SLOT(deleteLater()));
        thread.start();
        // Taken up by the thread's event loop once burn_image() has returned.
        thread.quit();
        if (!thread.wait(120000))
            qFatal("burner thread did not end");

        result.errors = errors;
        result.inflate_progress = inflate_progress;
        result.finished = finished.count();
        result.other_signals = finished.count() + canceled.count() + progress.count()
            + disconnected.count();
        return result;
    }

    static QVariantList error(const QString& text) { return QVariantList({text, true}); }

private slots:
    void init()
    {
        m_downloads = m_folder.path() + "/downloads";
        QDir(downloads()).removeRecursively();
        QDir().mkpath(downloads());
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        logger::init(m_folder.path().toStdString());
    }

    void cleanup() { m_host.reset(); }

    void cleanupTestCase() { logger::close(); }

    void download_is_inflated_while_it_is_written()
    {
        // The area lies in the image's free space, all zeros.
        const QByteArray image = QByteArray(1 << 20, '\0') + image_files::trailer(65536);
        const QByteArray gz = gzip_data::compress(image);
        QVERIFY(write_file(gz_path(), gz));

        outcome result = burn(false, writable_disk());
        QVERIFY(result.errors.isEmpty());
        QCOMPARE(result.finished, 1);
        QCOMPARE(result.inflate_progress, QList<QVariantList>({{qint64(image.size()), qint64(image.size())}}));

        // The decompressed image as released, for the next flash; the stick with the block.
        QVERIFY(read_file(img_path()) == image);
        QByteArray expected = image;
        expected.replace(65536, 2048, block());
        QVERIFY(m_host->read("sda", 0, image.size()) == expected);
        const QString log = log_content();
        QVERIFY(logged("fatal", "Prepare image"));
        QVERIFY(logged("debug", "Image decompressed"));
        QVERIFY(logged("debug", "Image offset: 65536"));
        QVERIFY(log.indexOf("Prepare image") < log.indexOf("Image decompressed"));
    }

    void existing_image_is_read_without_inflating()
    {
        QByteArray image = image_files::disk_image(8192, 1024);
        image.replace(1024, 2048, QByteArray(2048, 'P'));
        QVERIFY(write_file(img_path(), image));
        QVERIFY(image_manipulator::record_complete(img_path().toStdString()));

        outcome result = burn(false, writable_disk());
        QVERIFY(result.errors.isEmpty());
        QCOMPARE(result.finished, 1);
        QVERIFY(result.inflate_progress.isEmpty());
        QVERIFY(read_file(img_path()) == image);
        QVERIFY(m_host->read("sda", 0, image.size()) == image.replace(1024, 2048, block()));
        QVERIFY(logged("debug", "Image decompressed"));
    }

    // A download that does not inflate fails the copy, which wrote nothing before the image was
    // known to be whole; nothing of the image made from it stays.
    void damaged_download_fails_the_copy()
    {
        const QByteArray gz = gzip_data::compress(image_files::disk_image(3 << 20, 65536));
        QVERIFY(write_file(gz_path(), gz.left(gz.size() - 100)));
        QVERIFY(write_file(downloads() + "/checksum.md5", "0123456789abcdef"));
        const qt_warnings warnings;
        outcome result = burn();
        QCOMPARE(warnings.texts(), QStringList());
        QCOMPARE(result.errors, QList<QVariantList>({error("Downloaded image is damaged")}));
        QCOMPARE(result.other_signals, 0);
        QCOMPARE(QDir(downloads()).entryList(QDir::Files), QStringList({"checksum.md5", "v2.0.img.gz"}));
        QVERIFY(logged("fatal", "Image error"));
    }

    void download_that_cannot_be_kept_data()
    {
        QTest::addColumn<QString>("hindrance");
        QTest::newRow("no room at all") << "no room at all";
        QTest::newRow("room for a part") << "room for a part";
        QTest::newRow("downloads folder read-only") << "downloads folder read-only";
        QTest::newRow("kept, removed before the read-back") << "kept, removed before the read-back";
    }

    // The unpacked image is kept only to spare later runs the work: when it cannot be kept, or
    // is gone before the copy reads it back, the stick is still written whole and read back
    // against the download inflated again; nothing of the image is left to pass for a whole one.
    void download_that_cannot_be_kept()
    {
        QFETCH(QString, hindrance);
        // Two blocks of the stream: the second is written while the first waits to go last. The
        // area lies in the second, written again once it is known.
        const qint64 area = 9 << 20;
        const QByteArray image = image_files::disk_image(10 << 20, quint64(area));
        const QByteArray gz = gzip_data::compress(image);
        small_file_system disk(gz.size() + (2 << 20));
        if (hindrance.startsWith("no room") || hindrance.startsWith("room")) {
            if (!disk.mounted())
                QSKIP("no right to mount a file system");
            m_downloads = disk.path() + "/downloads";
            QVERIFY(QDir().mkpath(downloads()));
        }
        QVERIFY(write_file(gz_path(), gz));
        QVERIFY(write_file(downloads() + "/checksum.md5", "0123456789abcdef"));
        if (disk.mounted())
            QVERIFY(disk.fill(hindrance == "no room at all" ? 0 : 1 << 20));
        std::shared_ptr<device> stick = writable_disk();
        std::unique_ptr<unwritable_folder> read_only;
        if (hindrance == "downloads folder read-only")
            read_only = std::make_unique<unwritable_folder>(downloads());
        // The second block's write waits until the kept image is complete, then the image goes.
        std::thread remover;
        if (hindrance.startsWith("kept")) {
            win32::test_control::hold_call(win32::test_control::call::write, "\\\\.\\PhysicalDrive0");
            remover = std::thread([this] {
                while (!win32::test_control::call_held() || !image_manipulator::is_complete(img_path().toStdString()))
                    QThread::msleep(10);
                image_manipulator::remove_image(img_path().toStdString());
                win32::test_control::release_held();
            });
        }

        const qt_warnings warnings;
        outcome result = burn(false, stick);
        if (remover.joinable())
            remover.join();
        read_only.reset();
        QCOMPARE(warnings.texts(), QStringList());
        QCOMPARE(result.errors, QList<QVariantList>());
        QCOMPARE(result.finished, 1);
        QByteArray expected = image;
        QVERIFY(m_host->read("sda", 0, image.size()) == expected.replace(int(area), 2048, block()));
        QCOMPARE(QDir(downloads()).entryList(QDir::Files), QStringList({"checksum.md5", "v2.0.img.gz"}));
        QCOMPARE(read_file(gz_path()), gz);
    }

    void refusals_data()
    {
        QTest::addColumn<bool>("with_download");
        QTest::addColumn<bool>("with_handle");
        QTest::addColumn<bool>("cancel_first");
        QTest::addColumn<bool>("prepared");
        QTest::newRow("no image") << false << true << false << true;
        QTest::newRow("no disk handle") << true << false << false << false;
        QTest::newRow("canceled before the start") << true << true << true << false;
    }

    void refusals()
    {
        QFETCH(bool, with_download);
        QFETCH(bool, with_handle);
        QFETCH(bool, cancel_first);
        QFETCH(bool, prepared);
        if (with_download)
            QVERIFY(write_file(gz_path(), gzip_data::compress(image_files::disk_image(4096, 0))));

        outcome result = burn(cancel_first, usb_disk(with_handle));
        QCOMPARE(result.errors, QList<QVariantList>({error("Cannot open device!")}));
        QCOMPARE(result.other_signals, 0);
        QVERIFY(result.inflate_progress.isEmpty());
        QVERIFY(!QFile::exists(img_path()));
        QCOMPARE(QFile::exists(gz_path()), with_download);
        QCOMPARE(logged("fatal", "Prepare image"), prepared);
        QVERIFY(logged("fatal", "Cannot open device 'Kestrel Stick USB Device', or flashing canceled"));
    }

    void misplaced_area_is_refused()
    {
        const QByteArray image = image_files::disk_image(4096, 4096);
        QVERIFY(write_file(img_path(), image));
        QVERIFY(image_manipulator::record_complete(img_path().toStdString()));

        // Of no use to any run: it is made again from the download by the next.
        outcome result = burn();
        QCOMPARE(result.errors, QList<QVariantList>({error("Downloaded image is damaged")}));
        QVERIFY(logged("fatal", "Image error"));
        QVERIFY(!QFile::exists(img_path()));
    }
};

QTEST_GUILESS_MAIN(test_image_burner_preparation)
#include "test_image_burner_preparation.moc"
