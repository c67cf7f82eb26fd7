#include "base/logger.h"
#include "image/image_manipulator.h"

#include "file_size_limit.h"
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
#include <vector>

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

    // One table of downloads, each inflated by every backend the build has: what comes out,
    // what stays in the downloads folder and why nothing came out must not depend on it.
    void every_backend_inflates_alike_data()
    {
        QTest::addColumn<int>("backend");
        QTest::addColumn<QByteArray>("download");
        // Null when no image comes out.
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("failure");
        // Bytes a file may grow to, standing for a full disk; -1 for no limit.
        QTest::addColumn<qint64>("file_size_limit");

        const QByteArray data = gzip_data::incompressible(70000);
        const QByteArray zeros(3 * 65536 + 5, '\0');
        const QByteArray image = data + zeros + data.left(1000) + zeros + data.left(1);
        const QByteArray large = gzip_data::incompressible(700000) + QByteArray(900000, '\0');
        const QByteArray good = gzip_data::compress(large);
        QByteArray corrupted = good;
        corrupted[400000] = static_cast<char>(corrupted[400000] ^ 0x55);
        QByteArray wrong_crc = good;
        wrong_crc[good.size() - 8] = static_cast<char>(wrong_crc[good.size() - 8] ^ 1);
        QByteArray wrong_length = good;
        wrong_length[good.size() - 4] = static_cast<char>(wrong_length[good.size() - 4] ^ 1);
        const int block = int(image_manipulator::buffer_size);
        // Members whose end falls on a block of the download, or whose successor's header
        // is split between two blocks.
        const QByteArray filling = gzip_data::incompressible(block - 1000);
        const QByteArray on_a_block = gzip_data::compress(filling, block);
        const QByteArray short_of_a_block = gzip_data::compress(filling, block - 5);
        const QByteArray whole_buffers = gzip_data::incompressible(block) + QByteArray(block, '\0');
        const QByteArray disk_data = image_files::disk_image(3 << 20, 65536);
        const QByteArray disk_zeros(3 << 20, '\0');
        const int damaged = int(image_manipulator::failure::download_damaged);
        const int no_space = int(image_manipulator::failure::output_failed);
        const int none = int(image_manipulator::failure::none);

        struct download {
            const char* name;
            QByteArray content;
            QByteArray image;
            int failure;
            qint64 file_size_limit;
        };
        const QList<download> downloads {
            {"ending in zeros", gzip_data::compress(data + zeros), data + zeros, none, -1},
            {"starting with zeros", gzip_data::compress(zeros + data), zeros + data, none, -1},
            {"zeros between data", gzip_data::compress(image), image, none, -1},
            {"zeros only", gzip_data::compress(zeros + zeros), zeros + zeros, none, -1},
            {"empty image", gzip_data::compress(""), "", none, -1},
            {"whole buffers", gzip_data::compress(whole_buffers), whole_buffers, none, -1},
            {"a zlib stream, as zlib takes it", qCompress(data + zeros).mid(4), data + zeros, none, -1},
            {"two members, split in zeros",
             gzip_data::compress(image.left(100000)) + gzip_data::compress(image.mid(100000)), image, none, -1},
            {"two members, split in data",
             gzip_data::compress(image.left(35000)) + gzip_data::compress(image.mid(35000)), image, none, -1},
            {"three members, split in zeros and data",
             gzip_data::compress(image.left(100000)) + gzip_data::compress(image.mid(100000, 166700))
                 + gzip_data::compress(image.mid(266700)),
             image, none, -1},
            {"three members, one empty",
             gzip_data::compress(image.left(35000)) + gzip_data::compress("") + gzip_data::compress(image.mid(35000)),
             image, none, -1},
            {"member ending with a block", on_a_block + gzip_data::compress(data), filling + data, none, -1},
            {"member header across two blocks", short_of_a_block + gzip_data::compress(data), filling + data,
             none, -1},
            {"cut in the data", good.left(good.size() / 2), QByteArray(), damaged, -1},
            {"cut before the check value", good.left(good.size() - 8), QByteArray(), damaged, -1},
            {"corrupted", corrupted, QByteArray(), damaged, -1},
            {"wrong check value", wrong_crc, QByteArray(), damaged, -1},
            {"wrong length", wrong_length, QByteArray(), damaged, -1},
            {"not gzip", QByteArray(2000, 'z'), QByteArray(), damaged, -1},
            {"empty", QByteArray(""), QByteArray(), damaged, -1},
            {"bytes after the last member", good + "trailing", QByteArray(), damaged, -1},
            {"zeros after the last member", good + QByteArray(512, '\0'), QByteArray(), damaged, -1},
            {"half a header after the last member", good + "\x1f", QByteArray(), damaged, -1},
            {"second member cut short", good + good.left(good.size() / 2), QByteArray(), damaged, -1},
            {"full disk in data", gzip_data::compress(disk_data), QByteArray(), no_space, 1 << 20},
            {"full disk in a run of zeros",
             gzip_data::compress(disk_data.left(4096) + disk_zeros + disk_data.left(4096)), QByteArray(),
             no_space, 1 << 20},
            {"full disk in the last zeros", gzip_data::compress(disk_data.left(4096) + disk_zeros), QByteArray(),
             no_space, 1 << 20},
        };
        for (inflater::backend backend : inflater::compiled()) {
            const char* backend_name = backend == inflater::backend::isal ? "ISA-L" : "zlib";
            for (const download& each : downloads)
                QTest::newRow(qPrintable(QString("%1: %2").arg(backend_name, each.name)))
                    << int(backend) << each.content << each.image << each.failure << each.file_size_limit;
        }
    }

    void every_backend_inflates_alike()
    {
        QFETCH(int, backend);
        QFETCH(QByteArray, download);
        QFETCH(QByteArray, image);
        QFETCH(int, failure);
        QFETCH(qint64, file_size_limit);
        QVERIFY(write_file(gz_path(), download));
        QVERIFY(write_file(checksum_path(), "0123456789abcdef"));
        QVERIFY(write_file(downloads() + "/other.txt", "kept"));

        image_manipulator manipulator(nullptr, inflater::backend(backend));
        QByteArray result;
        {
            file_size_limit::scoped limit(file_size_limit);
            result = inflated(manipulator, gz_path().toStdString());
        }
        QCOMPARE(int(manipulator.last_failure()), failure);
        QVERIFY(result == image);
        const QStringList kept {"checksum.md5", "other.txt", "v1.4.img.gz"};
        if (failure == int(image_manipulator::failure::none)) {
            QCOMPARE(QDir(downloads()).entryList(QDir::Files),
                     QStringList({"checksum.md5", "other.txt", "v1.4.img", "v1.4.img.gz", "v1.4.img.size"}));
        } else if (failure == int(image_manipulator::failure::download_damaged)) {
            // Whether the download goes is the run's to decide: it knows a release from a file.
            QCOMPARE(QDir(downloads()).entryList(QDir::Files), kept);
            QVERIFY(logged("fatal", "Image error"));
        } else {
            QCOMPARE(QDir(downloads()).entryList(QDir::Files), kept);
            QVERIFY(logged("fatal", "Cannot write the decompressed image"));
        }
        if (image.isNull() || !download.startsWith("\x1f\x8b"))
            return;
        QProcess gzip;
        gzip.start("gzip", {"-dc", gz_path()});
        QVERIFY(gzip.waitForFinished(60000) && gzip.exitCode() == 0);
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

    void interrupted_inflate_is_done_again()
    {
        const QByteArray data = gzip_data::incompressible(100000);
        QVERIFY(write_file(gz_path(), gzip_data::compress(data)));
        QVERIFY(write_file(img_path() + ".part", "left by a crash"));

        image_manipulator manipulator;
        QVERIFY(inflated(manipulator, gz_path().toStdString()) == data);
        QVERIFY(!QFile::exists(img_path() + ".part"));

        // Another program that found no image a moment before inflates it again: the image made
        // meanwhile stays whole for those that open it, until the new one takes its place.
        image_manipulator other;
        QVERIFY(other.start_inflating(gz_path().toStdString()));
        QVERIFY(image_manipulator::is_complete(img_path().toStdString()));
        QVERIFY(read_file(img_path()) == data);
        std::vector<char> buffer(65536);
        while (other.inflate_next(buffer.data(), buffer.size()) > 0) {
        }
        FILE* made_again = other.finish_inflating();
        QVERIFY(made_again);
        std::fclose(made_again);
        QVERIFY(read_file(img_path()) == data);
    }
};

QTEST_GUILESS_MAIN(test_image_manipulator)
#include "test_image_manipulator.moc"
