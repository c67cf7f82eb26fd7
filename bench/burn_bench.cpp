// Times the copy of a decompressed image onto a stick of a fake host through burn_image()
// against `dd if=IMAGE of=DISK bs=8M oflag=dsync`, and measures the copy's peak memory above
// the process's idle size.
//
// burn_bench <work folder> [image size in MiB, at least 1024]

#include "device/device_windows.h"
#include "image/image_burner.h"
#include "image/image_manipulator.h"
#include "logger.h"

#include "fake_host.h"

#include <windows.h>

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace bench;

namespace {

constexpr int rounds = 3;
// Where the configuration block goes: in the image's first MiB, as on a real image.
constexpr quint64 area_offset = 512 * 1024;

QTextStream out(stdout);

// File data (incompressible blocks) and free space (holes, as inflating leaves them), 1 MiB at
// a time, ending with the trailer that locates the configuration area.
void generate_image(const QString& path, qint64 size_mib)
{
    QFile image(path);
    image.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QRandomGenerator generator(2026);
    QByteArray block(mebibyte, '\0');
    for (qint64 index = 0; index < size_mib; ++index) {
        if (index == 0 || generator.bounded(100) < 35) {
            generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            image.seek(index * mebibyte);
            image.write(block);
        }
    }
    QByteArray trailer(8, '\0');
    for (int index = 0; index < 8; ++index)
        trailer[7 - index] = static_cast<char>((area_offset >> (8 * index)) & 0xff);
    image.seek(size_mib * mebibyte - trailer.size());
    image.write(trailer);
}

// One copy through burn_image() onto a fresh stick; returns the seconds it took and sets the
// peak memory above the idle process.
double burn_once(const QString& gz_path, qint64 image_size, qint64 stick_size,
                 qint64& peak_above_idle_kib, bool verify)
{
    fake_host host;
    const QString stick = host.add(fake_host::usb_stick(stick_size));
    auto disk = std::make_shared<device_windows>();
    disk->path = "\\\\.\\PhysicalDrive0";
    disk->name = "bench stick";
    disk->bytes_per_sector = 512;
    disk->handles.push_back(CreateFileA(disk->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

    const qint64 idle_kib = status_kib("VmRSS");
    reset_peak();
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.quit();
    thread.wait();
    const double seconds = timer.nsecsElapsed() / 1e9;
    peak_above_idle_kib = std::max(peak_above_idle_kib, status_kib("VmHWM") - idle_kib);
    if (!finished)
        qFatal("burn_image() did not finish");
    if (verify
        && !shell(QString("cmp -s -n %1 %2 %3")
                      .arg(image_size)
                      .arg(quoted(gz_path.chopped(3)), quoted(host.node_path(stick)))))
        qFatal("the stick differs from the image");
    return seconds;
}

// `disk_size` > 0: dd writes into a sparse file of that size, as ours writes into the stick's
// node, instead of a file that it creates and grows.
double dd_once(const QString& image, const QString& disk, qint64 disk_size = 0)
{
    QFile::remove(disk);
    QString options;
    if (disk_size > 0) {
        QFile file(disk);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(disk_size))
            qFatal("cannot make the sparse disk file");
        options = " conv=notrunc";
    }
    ::sync();
    QElapsedTimer timer;
    timer.start();
    if (!shell("dd if=" + quoted(image) + " of=" + quoted(disk) + " bs=8M oflag=dsync" + options
               + " 2>/dev/null"))
        qFatal("dd failed");
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(disk);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: burn_bench <work folder> [image size in MiB, at least 1024]\n";
        return 2;
    }
    const QDir work(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const qint64 size_mib = std::max<qint64>(1024, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    QDir().mkpath(work.filePath("downloads"));
    // The fake host's disk lives in the work folder, on the same file system as dd's target.
    qputenv("TMPDIR", QFile::encodeName(work.path()));
    logger::init(work.path().toStdString());
    const QString gz = work.filePath("downloads/kestrel.img.gz");
    const QString image = gz.chopped(3);
    const QString dd_disk = work.filePath("dd-disk");

    if (QFileInfo(image).size() != size_mib * mebibyte) {
        out << "generating a " << size_mib << " MiB image\n" << Qt::flush;
        generate_image(image, size_mib);
    }
    // As inflating leaves it: complete, so that burn_image() writes it without a download.
    if (!image_manipulator::record_complete(image.toStdString()))
        qFatal("cannot record the image as complete");
    const qint64 image_size = QFileInfo(image).size();
    out << "image " << image_size << " bytes\n" << Qt::flush;

    const qint64 stick_size = (image_size / mebibyte + 64) * mebibyte;
    std::vector<double> ours_seconds, dd_seconds, dd_sparse_seconds;
    qint64 peak_above_idle_kib = 0;
    for (int round = 0; round < rounds; ++round) {
        // The order changes from round to round, so that none of the three always goes first.
        for (int turn = 0; turn < 3; ++turn) {
            switch ((round + turn) % 3) {
            case 0:
                ::sync();
                ours_seconds.push_back(burn_once(gz, image_size, stick_size, peak_above_idle_kib,
                                                 round == 0));
                break;
            case 1:
                dd_seconds.push_back(dd_once(image, dd_disk));
                break;
            default:
                dd_sparse_seconds.push_back(dd_once(image, dd_disk, stick_size));
                break;
            }
        }
        out << "round " << round + 1 << ": ours " << ours_seconds.back() << " s, dd "
            << dd_seconds.back() << " s, dd conv=notrunc onto a sparse disk file "
            << dd_sparse_seconds.back() << " s\n" << Qt::flush;
    }

    const double ours_median = median(ours_seconds);
    const double dd_median = median(dd_seconds);
    const double dd_sparse_median = median(dd_sparse_seconds);
    out << "median seconds: ours " << ours_median << ", dd " << dd_median
        << ", dd conv=notrunc onto a sparse disk file " << dd_sparse_median << "\n";
    out << "ratio ours/dd " << ours_median / dd_median << " (target at most 1.05)\n";
    out << "ratio ours/dd conv=notrunc " << ours_median / dd_sparse_median << "\n";
    out << "peak memory above idle " << peak_above_idle_kib << " KiB (target at most 24576 KiB)\n";
    logger::close();
    return 0;
}
