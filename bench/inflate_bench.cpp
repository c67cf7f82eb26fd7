// Times the image inflating against `gzip -dc` and `pigz -dc` on a realistic image (gzip -6),
// pair by pair in each round, and measures the inflating's peak memory above the process's idle
// size.
//
// inflate_bench <work folder> [image size in MiB, at least 1024]

#include "image/image_manipulator.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace bench;

namespace {

constexpr int rounds = 3;

QTextStream out(stdout);

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
        write_realistic_image(source, size_mib, 512 * 1024);
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
        const double cpu_start = processor_seconds();
        QElapsedTimer timer;
        timer.start();
        FILE* image = manipulator.inflate_image(gz.toStdString());
        if (!image)
            qFatal("inflate_image failed");
        std::fclose(image);
        ours_seconds.push_back(timer.nsecsElapsed() / 1e9);
        ours_cpu_seconds.push_back(processor_seconds() - cpu_start);
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

    out << "seconds, median (lowest-highest): ours " << spread(ours_seconds) << " (cpu "
        << spread(ours_cpu_seconds) << "), gzip -dc " << spread(gzip_seconds) << ", pigz -dc "
        << spread(pigz_seconds) << "\n";
    out << "ratio ours/gzip, pair by pair " << spread(ratios(ours_seconds, gzip_seconds))
        << " (target at most 0.8)\n";
    out << "ratio ours/pigz, pair by pair " << spread(ratios(ours_seconds, pigz_seconds))
        << " (target at most 1.0)\n";
    out << "peak memory above idle " << peak_above_idle_kib << " KiB (target at most 8192 KiB)\n";
    return 0;
}
