// Times the image inflating against `gzip -dc` and `pigz -dc` on a disk-like image, and
// measures the inflating's peak memory above the process's idle size.
//
// inflate_bench <work folder> [image size in MiB, at least 1024]

#include "image/image_manipulator.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace bench;

namespace {

constexpr int rounds = 3;

QTextStream out(stdout);

// Long zero runs (free space) mixed with incompressible blocks (file data), 1 MiB at a time.
void generate_image(const QString& path, qint64 size_mib)
{
    QFile image(path);
    image.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QRandomGenerator generator(2026);
    QByteArray block(mebibyte, '\0');
    for (qint64 index = 0; index < size_mib; ++index) {
        bool data = generator.bounded(100) < 35;
        if (data)
            generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        else
            block.fill('\0');
        image.write(block);
    }
}

double seconds_of(const QString& command)
{
    QElapsedTimer timer;
    timer.start();
    if (!shell(command))
        qFatal("failed: %s", qPrintable(command));
    return timer.nsecsElapsed() / 1e9;
}

// User plus system time of this process so far.
double cpu_seconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: inflate_bench <work folder> [image size in MiB, at least 1024]\n";
        return 2;
    }
    const QDir work(QString::fromLocal8Bit(argv[1]));
    const qint64 size_mib = std::max<qint64>(1024, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    QDir().mkpath(work.path());
    const QString source = work.filePath("source.raw");
    const QString gz = work.filePath("kestrel.img.gz");
    const QString ours = work.filePath("kestrel.img");
    const QString theirs = work.filePath("other.img");

    if (QFileInfo(source).size() != size_mib * mebibyte) {
        out << "generating a " << size_mib << " MiB image\n" << Qt::flush;
        generate_image(source, size_mib);
        QFile::remove(gz);
    }
    if (!QFile::exists(gz)) {
        out << "compressing it\n" << Qt::flush;
        if (!shell("gzip -6 -c " + quoted(source) + " > " + quoted(gz)))
            qFatal("gzip failed");
    }
    out << "image " << QFileInfo(source).size() << " bytes, compressed " << QFileInfo(gz).size()
        << " bytes\n";

    std::vector<double> ours_seconds, ours_cpu_seconds, gzip_seconds, pigz_seconds;
    qint64 peak_above_idle_kib = 0;
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(ours);
        ::sync();
        image_manipulator manipulator;
        const qint64 idle_kib = status_kib("VmRSS");
        reset_peak();
        const double cpu_start = cpu_seconds();
        QElapsedTimer timer;
        timer.start();
        FILE* image = manipulator.inflate_image(gz.toStdString());
        if (!image)
            qFatal("inflate_image failed");
        std::fclose(image);
        ours_seconds.push_back(timer.nsecsElapsed() / 1e9);
        ours_cpu_seconds.push_back(cpu_seconds() - cpu_start);
        peak_above_idle_kib = std::max(peak_above_idle_kib, status_kib("VmHWM") - idle_kib);
        if (round == 0 && !shell("cmp -s " + quoted(source) + " " + quoted(ours)))
            qFatal("inflated image differs from the source");
        QFile::remove(ours);

        ::sync();
        gzip_seconds.push_back(seconds_of("gzip -dc " + quoted(gz) + " > " + quoted(theirs)));
        QFile::remove(theirs);
        ::sync();
        pigz_seconds.push_back(seconds_of("pigz -dc " + quoted(gz) + " > " + quoted(theirs)));
        QFile::remove(theirs);
        out << "round " << round + 1 << ": ours " << ours_seconds.back() << " s (cpu "
            << ours_cpu_seconds.back() << " s), gzip "
            << gzip_seconds.back() << " s, pigz " << pigz_seconds.back() << " s\n" << Qt::flush;
    }

    const double ours_median = median(ours_seconds);
    const double gzip_median = median(gzip_seconds);
    const double pigz_median = median(pigz_seconds);
    out << "median seconds: ours " << ours_median << " (cpu " << median(ours_cpu_seconds)
        << "), gzip -dc " << gzip_median << ", pigz -dc "
        << pigz_median << "\n";
    out << "ratio ours/gzip " << ours_median / gzip_median << " (target at most 0.8)\n";
    out << "ratio ours/pigz " << ours_median / pigz_median << " (target at most 1.0)\n";
    out << "peak memory above idle " << peak_above_idle_kib << " KiB (target at most 8192 KiB)\n";
    return 0;
}
