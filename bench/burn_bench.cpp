// Times the flash of a realistic image onto a stick of a fake host through burn_image(), side by
// side with dd in the same round, each writing a fresh file of the stick's size, its blocks
// allocated as a stick's are, in the same folder:
// - the copy of a decompressed image against `dd bs=8M oflag=direct`,
// - its read-back against the copy,
// - a first flash (inflating while writing) against `pigz -dc | dd bs=8M oflag=direct`,
// and measures the copy's peak memory above the process's idle size. The burner's phases are
// timed by its own log lines.
//
// burn_bench <work folder> [image size in MiB, at least 256] [rounds]

#include "device/device_windows.h"
#include "device/volume_queries.h"
#include "image/image_burner.h"
#include "image/image_manipulator.h"
#include "logger.h"

#include "fake_host.h"

#include <windows.h>

#include "bench_support.h"

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

struct burn_times {
    double write = 0;
    double verify = 0;
};

// When the log's last line ending in `text` was written.
QDateTime logged_at(const QByteArray& log, const QByteArray& text)
{
    const int end = log.lastIndexOf("] " + text + "\n");
    const int start = log.lastIndexOf('\n', end) + 1;
    if (end < 0)
        qFatal("the log lacks %s", text.constData());
    return QDateTime::fromString(QString::fromLatin1(log.mid(start + 1, 23)), "yyyy-MM-dd hh:mm:ss.zzz");
}

// One flash through burn_image() onto a fresh stick, from the download (inflating while
// writing) or from its decompressed image; the peak memory above the idle process is kept.
burn_times burn_once(const QString& work, const QString& gz_path, qint64 stick_size,
                     qint64& peak_above_idle_kib, bool check_stick)
{
    fake_host host;
    const QString stick = host.add(fake_host::usb_stick(stick_size));
    allocate_disk_file(host.node_path(stick), stick_size);
    auto disk = std::make_shared<device_windows>();
    disk->path = "\\\\.\\PhysicalDrive0";
    disk->name = "bench stick";
    disk->bytes_per_sector = 512;
    // As the disk's preparation opens it.
    disk->handles.push_back(volume_queries::open_unbuffered(disk->path));
    if (disk->handles.front() == INVALID_HANDLE_VALUE)
        qFatal("cannot open the fake stick");

    auto* burner = new image_burner(gz_path.toStdString(), disk, QByteArray(2048, 'C'));
    bool finished = false;
    QObject::connect(burner, &image_burner::finished, burner, [&] { finished = true; },
                     Qt::DirectConnection);
    QThread thread;
    thread.setStackSize(16777216);
    burner->moveToThread(&thread);
    QObject::connect(&thread, SIGNAL(started()), burner, SLOT(burn_image()));
    QObject::connect(&thread, SIGNAL(finished()), burner, SLOT(deleteLater()));

    ::sync();
    const qint64 idle_kib = status_kib("VmRSS");
    reset_peak();
    thread.start();
    thread.quit();
    thread.wait();
    peak_above_idle_kib = std::max(peak_above_idle_kib, status_kib("VmHWM") - idle_kib);
    if (!finished)
        qFatal("burn_image() did not finish");
    QFile log_file(work + logger::file_name);
    log_file.open(QIODevice::ReadOnly);
    const QByteArray log = log_file.readAll();
    const QDateTime started = logged_at(log, "Burning started");
    const QDateTime verifying = logged_at(log, "Verification started");
    const QDateTime ended = logged_at(log, "Burning finished");
    const QString image = gz_path.chopped(3);
    const QString node = host.node_path(stick);
    // The stick holds the image, the block where the area is.
    if (check_stick
        && !(shell(QString("cmp -s -n %1 %2 %3").arg(area_offset).arg(quoted(image), quoted(node)))
             && shell(QString("cmp -s -i %1 -n %2 %3 %4")
                          .arg(area_offset + 2048)
                          .arg(QFileInfo(image).size() - qint64(area_offset) - 2048)
                          .arg(quoted(image), quoted(node)))))
        qFatal("the stick differs from the image");
    return {started.msecsTo(verifying) / 1e3, verifying.msecsTo(ended) / 1e3};
}

// dd writes a fresh file of the stick's size, as ours writes a fresh stick's node.
double dd_once(const QString& work, const QString& input_command, qint64 disk_size)
{
    const QString disk = work + "/dd-disk";
    QFile::remove(disk);
    allocate_disk_file(disk, disk_size);
    ::sync();
    const double seconds = seconds_of(input_command + " of=" + quoted(disk)
                                      + " bs=8M oflag=direct conv=notrunc 2>/dev/null");
    QFile::remove(disk);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: burn_bench <work folder> [image size in MiB, at least 256] [rounds]\n";
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const qint64 size_mib = std::max<qint64>(256, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    const int rounds = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 5);
    QDir().mkpath(work + "/downloads");
    // The fake host's disk lives in the work folder, on the same file system as dd's target.
    qputenv("TMPDIR", QFile::encodeName(work));
    logger::init(work.toStdString());
    const QString gz = work + "/downloads/kestrel.img.gz";
    const QString source = work + "/source.img";
    const QString image = gz.chopped(3);

    if (QFileInfo(source).size() != size_mib * mebibyte) {
        out << "generating a " << size_mib << " MiB image\n" << Qt::flush;
        write_realistic_image(source, size_mib, area_offset);
        QFile::remove(gz);
    }
    if (!QFile::exists(gz) && !shell("gzip -6 -c " + quoted(source) + " > " + quoted(gz)))
        qFatal("gzip failed");
    out << "image " << QFileInfo(source).size() << " bytes, compressed " << QFileInfo(gz).size()
        << " bytes\n" << Qt::flush;

    const qint64 stick_size = (size_mib + 64) * mebibyte;
    std::vector<double> copy, verify, dd_direct, first_write, first_whole, pipeline;
    qint64 peak_above_idle_kib = 0;
    for (int round = 0; round < rounds; ++round) {
        // The order turns from round to round, so that none always goes first.
        for (int turn = 0; turn < 4; ++turn) {
            switch ((round + turn) % 4) {
            case 0: {
                // From the decompressed image, as every flash after the first.
                if (!image_manipulator::is_complete(image.toStdString())
                    && !(shell("cp --sparse=always " + quoted(source) + " " + quoted(image))
                         && image_manipulator::record_complete(image.toStdString())))
                    qFatal("cannot place the decompressed image");
                const burn_times times = burn_once(work, gz, stick_size, peak_above_idle_kib, round == 0);
                copy.push_back(times.write);
                verify.push_back(times.verify);
                break;
            }
            case 1:
                dd_direct.push_back(dd_once(work, "dd if=" + quoted(source), stick_size));
                break;
            case 2: {
                image_manipulator::remove_image(image.toStdString());
                const burn_times times = burn_once(work, gz, stick_size, peak_above_idle_kib, false);
                first_write.push_back(times.write);
                first_whole.push_back(times.write + times.verify);
                break;
            }
            default:
                pipeline.push_back(dd_once(work, "pigz -dc " + quoted(gz) + " | dd iflag=fullblock", stick_size));
                break;
            }
        }
        out << "round " << round + 1 << ": copy " << copy.back() << " s, read-back " << verify.back()
            << " s, dd oflag=direct " << dd_direct.back() << " s; first flash " << first_write.back()
            << " s (" << first_whole.back() << " s with the read-back), pigz -dc | dd oflag=direct "
            << pipeline.back() << " s\n" << Qt::flush;
    }

    out << "\nseconds, median (lowest-highest) of " << rounds << " rounds\n";
    out << "copy " << spread(copy) << ", dd bs=8M oflag=direct " << spread(dd_direct)
        << "; ratio copy/dd, pair by pair: " << spread(ratios(copy, dd_direct)) << " (target at most 1.0)\n";
    out << "read-back " << spread(verify) << "; ratio read-back/copy: " << spread(ratios(verify, copy))
        << " (target at most 1.0)\n";
    out << "first flash, writing " << spread(first_write) << ", with the read-back " << spread(first_whole)
        << "; pigz -dc | dd bs=8M oflag=direct " << spread(pipeline) << "\n";
    out << "ratio first flash (writing)/pipeline: " << spread(ratios(first_write, pipeline))
        << " (target at most 1.1); with the read-back: " << spread(ratios(first_whole, pipeline)) << "\n";
    out << "peak memory above idle " << peak_above_idle_kib << " KiB\n";
    logger::close();
    return 0;
}
