// Times the window's flash of a realistic image onto a stick of a fake host through
// burn_image(), as a whole process, paired with dd in the same round (the order turning from
// round to round), both writing the same stick node, its blocks allocated as a stick's are:
// - the copy of a decompressed image against `dd oflag=direct conv=fsync`,
// - a first flash (inflating while writing) against `igzip -dc | dd oflag=direct conv=fsync`,
// - where the machine allows it, a first flash onto a throttled stick against dd's copy of the
//   decompressed image onto it: the inflating should be hidden entirely,
// and the read-back against the copy, both from the burner's log lines.
//
// burn_bench <work folder> [image MiB, at least 256] [rounds] [throttled image MiB] [throttle MiB/s]
// burn_bench burn <download> <log folder> <0|1 read back>: one flash onto the only disk of the
// host at KESTREL_HOST_ROOT, as the pairs run it.

#include "base/logger.h"
#include "device/device_windows.h"
#include "device/volume_queries.h"
#include "image/image_manipulator.h"
#include "writing/image_burner.h"

#include "fake_host.h"

#include <windows.h>

#include "bench_support.h"
#include "throttled_sticks.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace bench;

namespace {

// Where the configuration block goes: in the image's first MiB, as on a real image.
constexpr quint64 area_offset = 512 * 1024;

QTextStream out(stdout);

int burn_alone(const QString& gz_path, const QString& log_folder, bool verify)
{
    logger::init(log_folder.toStdString());
    auto disk = std::make_shared<device_windows>();
    disk->path = "\\\\.\\PhysicalDrive0";
    disk->name = "bench stick";
    disk->bytes_per_sector = 512;
    // As the disk's preparation opens it.
    disk->handles.push_back(volume_queries::open_unbuffered(disk->path));
    if (disk->handles.front() == INVALID_HANDLE_VALUE)
        qFatal("cannot open the fake stick");

    auto* burner = new image_burner(gz_path.toStdString(), disk, QByteArray(2048, 'C'));
    if (!verify)
        burner->skip_verification();
    bool finished = false;
    QObject::connect(burner, &image_burner::finished, burner, [&] { finished = true; },
                     Qt::DirectConnection);
    QThread thread;
    thread.setStackSize(16777216);
    burner->moveToThread(&thread);
    QObject::connect(&thread, SIGNAL(started()), burner, SLOT(burn_image()));
    QObject::connect(&thread, SIGNAL(finished()), burner, SLOT(deleteLater()));
    thread.start();
    thread.quit();
    thread.wait();
    logger::close();
    return finished ? 0 : 1;
}

// When the log's last line ending in `text` was written.
QDateTime logged_at(const QByteArray& log, const QByteArray& text)
{
    const int end = log.lastIndexOf("] " + text + "\n");
    const int start = log.lastIndexOf('\n', end) + 1;
    if (end < 0)
        qFatal("the log lacks %s", text.constData());
    return QDateTime::fromString(QString::fromLatin1(log.mid(start + 1, 23)), "yyyy-MM-dd hh:mm:ss.zzz");
}

// A download and its decompressed image in a folder of their own.
struct release_files {
    QString source;
    QString gz;
    QString image;

    release_files(const QString& folder, qint64 size_mib)
        : source(folder + "/source.img")
        , gz(folder + "/downloads/kestrel.img.gz")
        , image(folder + "/downloads/kestrel.img")
    {
        QDir().mkpath(folder + "/downloads");
        make_release(source, gz, size_mib, area_offset, out);
    }

    // As every flash after the first finds it.
    void decompressed() const
    {
        if (!image_manipulator::is_complete(image.toStdString())
            && !(shell("cp --sparse=always " + quoted(source) + " " + quoted(image))
                 && image_manipulator::record_complete(image.toStdString())))
            qFatal("cannot place the decompressed image");
    }

    // As a first flash finds it.
    void compressed_only() const { image_manipulator::remove_image(image.toStdString()); }
};

QString pair_line(const char* ours, const char* peer, const paired_runs& pairs, double target,
                  const QString& measured)
{
    return QString("%1 %2 s, %3 %4 s; ratio, pair by pair: %5\n")
        .arg(ours, spread(pairs.ours_seconds()), peer, spread(pairs.peer_seconds()),
             against_target(pairs.ratios(), target, measured));
}

void fast_disk(const QString& work, qint64 size_mib, int rounds, const QString& burn)
{
    const release_files release(work, size_mib);
    const qint64 stick_size = (size_mib + 64) * mebibyte;
    fake_host host;
    const QString node = host.node_path(host.add(fake_host::usb_stick(stick_size)));
    const auto fresh_stick = [&] {
        QFile::remove(node);
        allocate_disk_file(node, stick_size);
        ::sync();
    };
    const QString flash = burn + quoted(release.gz) + " " + quoted(work);
    const QString to_stick = " of=" + quoted(node) + " bs=8M oflag=direct conv=notrunc,fsync 2>/dev/null";

    // The stick holds the image, the block where the area is.
    release.decompressed();
    fresh_stick();
    run_process(flash + " 0");
    if (!(shell(QString("cmp -s -n %1 %2 %3").arg(area_offset).arg(quoted(release.source), quoted(node)))
          && shell(QString("cmp -s -i %1 -n %2 %3 %4")
                       .arg(area_offset + 2048)
                       .arg(size_mib * mebibyte - qint64(area_offset) - 2048)
                       .arg(quoted(release.source), quoted(node)))))
        qFatal("the stick differs from the image");

    out << "\nfast disk (" << work << "), seconds, median (lowest-highest) of " << rounds << " pairs\n";
    const paired_runs copy = run_pairs(flash + " 0", "dd if=" + quoted(release.source) + to_stick, rounds, [&] {
        release.decompressed();
        fresh_stick();
    });
    out << pair_line("copy", "dd oflag=direct conv=fsync", copy, 1.0, "copy / dd, fast disk") << Qt::flush;
    const paired_runs first = run_pairs(flash + " 0", "igzip -dc " + quoted(release.gz) + " | dd iflag=fullblock" + to_stick,
                                        rounds, [&] {
                                            release.compressed_only();
                                            fresh_stick();
                                        });
    out << pair_line("first flash", "igzip -dc | dd oflag=direct conv=fsync", first, 1.0,
                     "first flash / igzip | dd, fast disk")
        << Qt::flush;

    // The read-back and the copy before it, both from the same run's log.
    std::vector<double> read_back_ratios;
    qint64 peak_kib = 0;
    for (int round = 0; round < rounds; ++round) {
        release.decompressed();
        fresh_stick();
        peak_kib = std::max(peak_kib, run_process(flash + " 1").peak_kib);
        QFile log_file(work + logger::file_name);
        log_file.open(QIODevice::ReadOnly);
        const QByteArray log = log_file.readAll();
        const QDateTime started = logged_at(log, "Burning started");
        const QDateTime verifying = logged_at(log, "Verification started");
        const QDateTime ended = logged_at(log, "Burning finished");
        read_back_ratios.push_back(double(verifying.msecsTo(ended)) / started.msecsTo(verifying));
    }
    out << "read-back/copy, from the log lines of " << rounds << " flashes: "
        << against_target(read_back_ratios, 1.0, "read-back / copy, fast disk") << "\n";
    for (const paired_runs* pairs : {&copy, &first})
        for (const process_run& run : pairs->ours)
            peak_kib = std::max(peak_kib, run.peak_kib);
    out << "peak memory of a flash, whole process " << peak_kib << " KiB\n" << Qt::flush;
}

void throttled(const QString& work, qint64 size_mib, int rounds, qint64 mib_per_second, const QString& burn)
{
    const qint64 stick_size = (size_mib + 64) * mebibyte;
    out << "\nthrottled stick (" << mib_per_second << " MiB/s), seconds, median (lowest-highest) of "
        << rounds << " pairs\n" << Qt::flush;
    const release_files release(work, size_mib);
    fake_host host;
    const QString node = host.node_path(host.add(fake_host::usb_stick(stick_size)));
    throttled_sticks sticks(1, size_mib + 64, mib_per_second * mebibyte);
    if (!sticks.unavailable().isEmpty()) {
        out << "skipped: " << sticks.unavailable() << "\n";
        return;
    }
    sticks.place(0, node, stick_size, stick_size);
    const paired_runs first = run_pairs(
        sticks.limited(burn + quoted(release.gz) + " " + quoted(work) + " 0"),
        sticks.limited("dd if=" + quoted(release.source) + " of=" + quoted(node)
                       + " bs=8M oflag=direct conv=notrunc,fsync 2>/dev/null"),
        rounds, [&] {
            release.compressed_only();
            ::sync();
        });
    out << pair_line("first flash", "dd oflag=direct conv=fsync of the decompressed image", first, 1.02,
                     "first flash / dd of the image, throttled stick");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "burn")
        return burn_alone(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QByteArray(argv[4]) == "1");
    if (argc < 2) {
        out << "usage: burn_bench <work folder> [image MiB, at least 256] [rounds] [throttled image MiB] "
               "[throttle MiB/s]\n";
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const qint64 size_mib = std::max<qint64>(256, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    const int rounds = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 5);
    const qint64 throttled_mib = std::max<qint64>(64, argc > 4 ? QByteArray(argv[4]).toLongLong() : 1024);
    const qint64 mib_per_second = std::max<qint64>(1, argc > 5 ? QByteArray(argv[5]).toLongLong() : 32);
    QDir().mkpath(work);
    // The fake host's disk lives in the work folder, on the same file system as the downloads.
    qputenv("TMPDIR", QFile::encodeName(work));
    const QString burn = quoted(QCoreApplication::applicationFilePath()) + " burn ";
    try {
        fast_disk(work, size_mib, rounds, burn);
        throttled(work + "/throttled", throttled_mib, std::max(1, rounds / 2 + 1), mib_per_second, burn);
    } catch (const failure& failed) {
        QTextStream(stderr) << "burn_bench: " << failed.what() << "\n";
        return 1;
    }
    return 0;
}
