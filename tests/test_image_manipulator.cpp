#include "image/image_manipulator.h"
#include "logger.h"

#include "gzip_data.h"
#include "image_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using image_files::read_file;
using image_files::write_file;

class test_image_manipulator : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    QString downloads() const { return m_folder.path() + "/downloads"; }
    QString gz_path() const { return downloads() + "/v1.4.img.gz"; }
    QString img_path() const { return downloads() + "/v1.4.img"; }
    QString checksum_path() const { return downloads() + "/checksum.md5"; }

    QByteArray log_content() const { return read_file(m_folder.path() + "/Kestrel Flash tool.log"); }

    bool logged(const QString& severity, const QString& text) const
    {
        return QRegularExpression("\\[" + severity + "\\] \\[.+\\] " + QRegularExpression::escape(text) + "\n")
            .match(QString::fromUtf8(log_content()))
            .hasMatch();
    }

    // The image at `path` as a copy of it carries `block`, or a null array when the image names
    // no place for it. The file itself is left as it is.
    static QByteArray patched(const QString& path, const QByteArray& block)
    {
        FILE* image = std::fopen(QFile::encodeName(path).constData(), "rb");
        const std::uint64_t offset = image_manipulator::config_offset(image, std::uint64_t(block.size()));
        if (image)
            std::fclose(image);
        if (offset == image_manipulator::no_offset)
            return QByteArray();
        QByteArray content = read_file(path);
        image_manipulator::patch_chunk(content.data(), 0, std::size_t(content.size()), offset, block);
        return content;
    }

    static QByteArray block() { return QByteArray(2048, 'C'); }

    // Inflates gz_path(); returns the decompressed content, or a null array when there is none.
    static QByteArray inflated(image_manipulator& manipulator, const std::string& gz)
    {
        FILE* image = manipulator.inflate_image(gz);
        if (!image)
            return QByteArray();
        QByteArray content;
        char buffer[65536];
        std::size_t read;
        while ((read = std::fread(buffer, 1, sizeof buffer, image)) > 0)
            content.append(buffer, static_cast<int>(read));
        std::fclose(image);
        return content.isNull() ? QByteArray("") : content;
    }

private slots:
    void init()
    {
        QDir(downloads()).removeRecursively();
        QDir().mkpath(downloads());
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        logger::init(m_folder.path().toStdString());
    }

    void cleanupTestCase() { logger::close(); }

    void patch_writes_only_the_area_data()
    {
        QTest::addColumn<int>("content_size");
        QTest::addColumn<quint64>("offset");
        QTest::newRow("1 MiB") << 1048576 + 8192 << quint64(1048576);
        QTest::newRow("16 MiB") << 16777216 + 4096 << quint64(16777216);
        QTest::newRow("at the start") << 4096 << quint64(0);
        QTest::newRow("right before the trailer") << 4096 << quint64(4096 - 2048);
    }

    void patch_writes_only_the_area()
    {
        QFETCH(int, content_size);
        QFETCH(quint64, offset);
        const QByteArray original = image_files::disk_image(content_size, offset);
        QVERIFY(write_file(img_path(), original));

        QByteArray expected = original;
        expected.replace(static_cast<int>(offset), 2048, block());
        QVERIFY(patched(img_path(), block()) == expected);
        QVERIFY(logged("debug", "Image offset: " + QString::number(offset)));
        // The image stays as released, for the next copy with another block.
        QVERIFY(read_file(img_path()) == original);
    }

    void offset_is_read_big_endian_data()
    {
        QTest::addColumn<QByteArray>("trailer");
        QTest::addColumn<quint64>("offset");
        QTest::newRow("1048576") << QByteArray::fromHex("0000000000100000") << quint64(1048576);
        QTest::newRow("16777216") << QByteArray::fromHex("0000000001000000") << quint64(16777216);
        QTest::newRow("every byte") << QByteArray::fromHex("0102030405060708") << quint64(0x0102030405060708);
    }

    void offset_is_read_big_endian()
    {
        QFETCH(QByteArray, trailer);
        QFETCH(quint64, offset);
        QVERIFY(write_file(img_path(), QByteArray(100, 'x') + trailer));
        FILE* image = std::fopen(QFile::encodeName(img_path()).constData(), "rb");
        QCOMPARE(image_manipulator::read_config_offset(image), offset);
        QCOMPARE(std::ftell(image), 108L);
        std::fclose(image);
    }

    void misplaced_area_is_an_image_error_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("shorter than a trailer") << QByteArray("\x00\x00\x00\x00\x00", 5);
        QTest::newRow("trailer only") << image_files::trailer(0);
        QTest::newRow("area running into the trailer") << image_files::disk_image(4096, 4096 - 2047);
        QTest::newRow("area past the end") << image_files::disk_image(4096, 1048576);
        QTest::newRow("no offset") << image_files::disk_image(4096, ~quint64(0));
    }

    void misplaced_area_is_an_image_error()
    {
        QFETCH(QByteArray, content);
        QVERIFY(write_file(img_path(), content));
        QVERIFY(patched(img_path(), block()).isNull());
        QVERIFY(read_file(img_path()) == content);
        QVERIFY(logged("fatal", "Image error"));
    }

    void null_image_cannot_be_opened()
    {
        QCOMPARE(image_manipulator::read_config_offset(nullptr), image_manipulator::no_offset);
        QCOMPARE(image_manipulator::config_offset(nullptr, 2048), image_manipulator::no_offset);
        const QByteArray log = log_content();
        QVERIFY(logged("fatal", "Cannot open image"));
        QVERIFY(log.indexOf("Cannot open image") < log.indexOf("Image error"));
    }

    void area_above_4_gib_on_a_sparse_image()
    {
        const qint64 size = 5LL << 30;
        const quint64 offset = (4ULL << 30) + 512;
        {
            QFile file(img_path());
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size - 8));
            QVERIFY(file.seek(size - 8));
            QVERIFY(file.write(image_files::trailer(offset)) == 8);
        }
        FILE* image = std::fopen(QFile::encodeName(img_path()).constData(), "rb");
        QCOMPARE(image_manipulator::config_offset(image, 2048), offset);
        std::fclose(image);

        // The chunk around the area, as a copy carries it.
        QByteArray chunk(4096, '\0');
        image_manipulator::patch_chunk(chunk.data(), offset - 16, 4096, offset, block());
        QCOMPARE(chunk.left(16), QByteArray(16, '\0'));
        QCOMPARE(chunk.mid(16, 2048), block());
        QCOMPARE(chunk.mid(16 + 2048), QByteArray(4096 - 16 - 2048, '\0'));
        QCOMPARE(QFileInfo(img_path()).size(), size);
    }

    void progress_once_per_input_block()
    {
        const QByteArray data = gzip_data::incompressible(990000);
        const QByteArray gz = gzip_data::compress(data, 1000000);
        QCOMPARE(gz.size(), 1000000);
        QVERIFY(write_file(gz_path(), gz));

        image_manipulator manipulator;
        QSignalSpy progress(&manipulator, SIGNAL(report_progress(qint64,qint64)));
        QList<bool> named_while_inflating;
        connect(&manipulator, &image_manipulator::report_progress, this,
                [&] { named_while_inflating << QFile::exists(img_path()); });
        QVERIFY(inflated(manipulator, gz_path().toStdString()) == data);
        QCOMPARE(progress.count(), 2);
        QCOMPARE(progress[0], QVariantList({qint64(524288), qint64(1000000)}));
        QCOMPARE(progress[1], QVariantList({qint64(1000000), qint64(1000000)}));
        QCOMPARE(named_while_inflating, QList<bool>({false, false}));
        QCOMPARE(manipulator.last_failure(), image_manipulator::failure::none);
        QCOMPARE(QDir(downloads()).entryList(QDir::Files),
                 QStringList({"v1.4.img", "v1.4.img.gz", "v1.4.img.size"}));
    }

    void output_of_whole_buffers_is_complete()
    {
        QByteArray data = gzip_data::incompressible(524288) + QByteArray(524288, '\0');
        QCOMPARE(data.size(), 2 * int(image_manipulator::buffer_size));
        QVERIFY(write_file(gz_path(), gzip_data::compress(data)));
        image_manipulator manipulator;
        QVERIFY(inflated(manipulator, gz_path().toStdString()) == data);
    }

    void inflates_as_gzip_does_data()
    {
        const QByteArray data = gzip_data::incompressible(70000);
        const QByteArray zeros(3 * 65536 + 5, '\0');
        const QByteArray image = data + zeros + data.left(1000) + zeros + data.left(1);
        QTest::addColumn<QByteArray>("image");
        // Where the image is cut into gzip members.
        QTest::addColumn<QList<int>>("splits");
        QTest::newRow("ending in zeros") << data + zeros << QList<int>();
        QTest::newRow("starting with zeros") << zeros + data << QList<int>();
        QTest::newRow("zeros between data") << image << QList<int>();
        QTest::newRow("zeros only") << zeros + zeros << QList<int>();
        QTest::newRow("empty") << QByteArray("") << QList<int>();
        QTest::newRow("two members, split in zeros") << image << QList<int>({100000});
        QTest::newRow("two members, split in data") << image << QList<int>({35000});
        QTest::newRow("three members, split in zeros and data") << image << QList<int>({100000, 266700});
        QTest::newRow("three members, one empty") << image << QList<int>({35000, 35000});
    }

    void inflates_as_gzip_does()
    {
        QFETCH(QByteArray, image);
        QFETCH(QList<int>, splits);
        QByteArray download;
        int start = 0;
        for (int split : splits + QList<int>({image.size()})) {
            download += gzip_data::compress(image.mid(start, split - start));
            start = split;
        }
        QVERIFY(write_file(gz_path(), download));
        QProcess gzip;
        gzip.start("gzip", {"-dc", gz_path()});
        QVERIFY(gzip.waitForFinished(60000) && gzip.exitCode() == 0);
        image_manipulator manipulator;
        const QByteArray result = inflated(manipulator, gz_path().toStdString());
        QVERIFY(result == image);
        QVERIFY(result == gzip.readAllStandardOutput());
    }

    void existing_image_is_reused_only_when_complete_data()
    {
        QTest::addColumn<bool>("with_download");
        QTest::addColumn<QByteArray>("recorded_size");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray before = "inflated before";
        const QByteArray again = "new release";
        QTest::newRow("complete, download present") << true << QByteArray("15") << before;
        QTest::newRow("complete, download missing") << false << QByteArray("15") << before;
        QTest::newRow("no record") << true << QByteArray() << again;
        QTest::newRow("cut short") << true << QByteArray("4294967311") << again;
        QTest::newRow("no record, download missing") << false << QByteArray() << QByteArray();
    }

    void existing_image_is_reused_only_when_complete()
    {
        QFETCH(bool, with_download);
        QFETCH(QByteArray, recorded_size);
        QFETCH(QByteArray, expected);
        if (with_download)
            QVERIFY(write_file(gz_path(), gzip_data::compress("new release")));
        QVERIFY(write_file(img_path(), "inflated before"));
        if (!recorded_size.isNull())
            QVERIFY(write_file(img_path() + ".size", recorded_size));

        image_manipulator manipulator;
        QSignalSpy progress(&manipulator, SIGNAL(report_progress(qint64,qint64)));
        QCOMPARE(inflated(manipulator, gz_path().toStdString()), expected);
        QCOMPARE(progress.isEmpty(), expected != "new release");
        QCOMPARE(QFile::exists(gz_path()), with_download);
        QCOMPARE(manipulator.last_failure(), image_manipulator::failure::none);
    }

    void nothing_to_open()
    {
        image_manipulator manipulator;
        QVERIFY(!manipulator.inflate_image(gz_path().toStdString()));
        QCOMPARE(manipulator.last_failure(), image_manipulator::failure::none);
    }

    void damaged_download_is_removed_data()
    {
        const QByteArray data = gzip_data::incompressible(700000) + QByteArray(900000, '\0');
        const QByteArray good = gzip_data::compress(data);
        QByteArray corrupted = good;
        corrupted[400000] = static_cast<char>(corrupted[400000] ^ 0x55);

        QTest::addColumn<QByteArray>("download");
        QTest::newRow("cut in the data") << good.left(good.size() / 2);
        QTest::newRow("cut before the check value") << good.left(good.size() - 8);
        QTest::newRow("corrupted") << corrupted;
        QTest::newRow("not gzip") << QByteArray(2000, 'z');
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("bytes after the last member") << good + "trailing";
        QTest::newRow("zeros after the last member") << good + QByteArray(512, '\0');
        QTest::newRow("second member cut short") << good + good.left(good.size() / 2);
    }

    void damaged_download_is_removed()
    {
        QFETCH(QByteArray, download);
        QVERIFY(write_file(gz_path(), download));
        QVERIFY(write_file(checksum_path(), "0123456789abcdef"));
        QVERIFY(write_file(downloads() + "/other.txt", "kept"));

        image_manipulator manipulator;
        QVERIFY(!manipulator.inflate_image(gz_path().toStdString()));
        QCOMPARE(manipulator.last_failure(), image_manipulator::failure::download_damaged);
        QCOMPARE(QDir(downloads()).entryList(QDir::Files), QStringList({"other.txt"}));
        QVERIFY(logged("fatal", "Image error"));
    }

    void interrupted_inflate_is_done_again()
    {
        const QByteArray data = gzip_data::incompressible(100000);
        QVERIFY(write_file(gz_path(), gzip_data::compress(data)));
        QVERIFY(write_file(img_path() + ".part", "left by a crash"));

        image_manipulator manipulator;
        QVERIFY(inflated(manipulator, gz_path().toStdString()) == data);
        QVERIFY(!QFile::exists(img_path() + ".part"));
    }
};

QTEST_GUILESS_MAIN(test_image_manipulator)
#include "test_image_manipulator.moc"
