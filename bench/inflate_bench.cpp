// Times the image inflating against igzip, gzip, pigz and libdeflate-gunzip on a realistic image
// (gzip -6): whole processes all, ours and each peer in pairs whose order turns from round to
// round, and measures the inflating's peak memory above the process's idle size.
//
// inflate_bench <work folder> [image size in MiB, 1024 by default: a release's size] [rounds]
// inflate_bench inflate <download>: ours alone, as the pairs run it; prints its peak memory
// above idle in KiB.

#include "image/image_manipulator.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
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

QTextStream out(stdout);

int inflate_alone(const std::string& gz_path)
{
    image_manipulator manipulator;
    const qint64 idle_kib = status_kib("VmRSS");
    reset_peak();
    FILE* image = manipulator.inflate_image(gz_path);
    if (!image)
        return 1;
    std::fclose(image);
    out << status_kib("VmHWM") - idle_kib << "\n";
    return 0;
}

struct peer {
    const char* name;
    QString command;
    // The project's own targets; 0 where there is none.
    double target;
};

// Ours against each peer, and the peak memory of ours.
void compare(const QDir& work, qint64 size_mib, int rounds)
{
    QDir().mkpath(work.path());
    const QString source = work.filePath("source.raw");
    const QString gz = work.filePath("kestrel.img.gz");
    const QString ours = work.filePath("kestrel.img");
    const QString theirs = work.filePath("other.img");

    if (QFileInfo(source).size() != size_mib * mebibyte) {
        out << "generating a " << size_mib << " MiB image\n" << Qt::flush;
        out << "mix: " << write_realistic_image(source, size_mib, 512 * 1024) << "\n";
        QFile::remove(gz);
    }
    if (!QFile::exists(gz)) {
        out << "compressing it\n" << Qt::flush;
        if (!shell("gzip -6 -c " + quoted(source) + " > " + quoted(gz)))
            throw failure("gzip failed");
    }
    out << "image " << QFileInfo(source).size() << " bytes, compressed " << QFileInfo(gz).size()
        << " bytes; " << rounds << " pairs with each peer, whole processes\n" << Qt::flush;

    const QString inflate_ours = quoted(QCoreApplication::applicationFilePath()) + " inflate " + quoted(gz);
    const auto fresh = [&] {
        image_manipulator::remove_image(ours.toStdString());
        QFile::remove(theirs);
        ::sync();
    };
    fresh();
    if (!shell(inflate_ours + " >/dev/null") || !shell("cmp -s " + quoted(source) + " " + quoted(ours)))
        throw failure("the inflated image differs from the source");

    const QString to_theirs = " > " + quoted(theirs);
    const std::vector<peer> peers {
        {"igzip -dc", "igzip -dc " + quoted(gz) + to_theirs, 1.0},
        {"gzip -dc", "gzip -dc " + quoted(gz) + to_theirs, 0.8},
        {"pigz -dc", "pigz -dc " + quoted(gz) + to_theirs, 1.0},
        {"libdeflate-gunzip -c", "libdeflate-gunzip -c " + quoted(gz) + to_theirs, 0},
    };
    std::vector<double> peaks_above_idle_kib;
    for (const peer& each : peers) {
        const paired_runs pairs = run_pairs(inflate_ours, each.command, rounds, fresh);
        for (const process_run& run : pairs.ours)
            peaks_above_idle_kib.push_back(run.output.trimmed().toLongLong());
        const QString ratio = QString("ours / ") + each.name + ", wall time";
        out << "ours " << spread(pairs.ours_seconds()) << " s, " << each.name << " "
            << spread(pairs.peer_seconds()) << " s; ratio ours/" << each.name << ", pair by pair "
            << (each.target > 0 ? against_target(pairs.ratios(), each.target, ratio) : spread(pairs.ratios()))
            << "\n" << Qt::flush;
    }
    fresh();
    out << "peak memory above idle, KiB, of every run of ours "
        << against_target(peaks_above_idle_kib, 8192, "peak memory above idle, KiB") << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "inflate")
        return inflate_alone(argv[2]);
    if (argc < 2) {
        out << "usage: inflate_bench <work folder> [image size in MiB, 1024 by default] [rounds]\n";
        return 2;
    }
    const QDir work(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    // Smaller than a release only for a quick look: the process's start weighs more there.
    const qint64 size_mib = std::max<qint64>(64, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    const int rounds = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 5);
    try {
        compare(work, size_mib, rounds);
    } catch (const failure& failed) {
        QTextStream(stderr) << "inflate_bench: " << failed.what() << "\n";
        return 1;
    }
    return 0;
}
