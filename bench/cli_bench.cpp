// Times the command line's first flash, `kestrel-flash-tool --cli flash ... --image X.gz`, as a
// whole process over a fake host, paired with its peer in the same round (the order turning from
// round to round), both writing the same stick nodes, their blocks allocated as a stick's are:
// - one stick on the work folder's disk against `igzip -dc | dd oflag=direct conv=fsync`,
// - where the machine allows it, on throttled sticks (each at its own limited speed, as on
//   separate ports): one stick against dd's copy of the decompressed image onto it, three at
//   once against one alone, and the peak memory of the three at once.
//
// cli_bench <work folder> [image MiB] [rounds] [throttled image MiB] [throttle MiB/s]

#include "fake_host.h"

#include "bench_support.h"
#include "throttled_sticks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

constexpr int sticks = 3;
// Above the 2 GB under which the command line offers no disk.
constexpr qint64 stick_size = 8'000'000'000;
// Where the configuration block goes: in the image's first MiB, as on a real image.
constexpr quint64 area_offset = 512 * 1024;
const char* const btc_address = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

QTextStream out(stdout);

struct release_files {
    QString source;
    QString gz;

    release_files(const QString& folder, qint64 size_mib)
        : source(folder + "/source.img")
        , gz(folder + "/kestrel.img.gz")
    {
        QDir().mkpath(folder);
        make_release(source, gz, size_mib, area_offset, out);
    }
};

// The command line flashing `disks` (numbers) from the download, without the read-back, its
// data folder in `work`.
QString flash(const QString& work, const release_files& release, const std::vector<int>& disks)
{
    QString command = "XDG_DATA_HOME=" + quoted(work + "/data") + " "
        + quoted(QCoreApplication::applicationDirPath() + "/../kestrel-flash-tool")
        + " --cli flash --yes --no-verify --btc " + btc_address + " --worker 'rig(%d)' --image "
        + quoted(release.gz);
    for (int disk : disks)
        command += QString(" --disk %1").arg(disk);
    return command + " >/dev/null";
}

// Forgets the image the command line keeps from a file it flashed, so that each flash is a
// first flash.
void forget_kept_image(const QString& work)
{
    QDir(work + "/data/Kestrel Flash Tool/images").removeRecursively();
}

QString dd_onto(const QString& node)
{
    return " of=" + quoted(node) + " bs=8M oflag=direct conv=notrunc,fsync 2>/dev/null";
}

QString pair_line(const QString& ours, const QString& peer, const paired_runs& pairs, double target)
{
    return QString("%1 %2 s, %3 %4 s; ratio, pair by pair: %5\n")
        .arg(ours, spread(pairs.ours_seconds()), peer, spread(pairs.peer_seconds()),
             against_target(pairs.ratios(), target));
}

void fast_disk(const QString& work, qint64 size_mib, int rounds)
{
    const release_files release(work, size_mib);
    const qint64 allocated = (size_mib + 64) * mebibyte;
    fake_host host;
    const QString node = host.node_path(host.add(fake_host::usb_stick(stick_size)));
    out << "\nfast disk (" << work << "), one stick, seconds, median (lowest-highest) of " << rounds
        << " pairs\n" << Qt::flush;
    const paired_runs first = run_pairs(flash(work, release, {0}),
                                        "igzip -dc " + quoted(release.gz) + " | dd iflag=fullblock" + dd_onto(node),
                                        rounds, [&] {
                                            QFile::remove(node);
                                            allocate_disk_file(node, stick_size, allocated);
                                            forget_kept_image(work);
                                            ::sync();
                                        });
    out << pair_line("first flash", "igzip -dc | dd oflag=direct conv=fsync", first, 1.0) << Qt::flush;
}

void throttled(const QString& work, qint64 size_mib, int rounds, qint64 mib_per_second)
{
    out << "\nthrottled sticks (" << mib_per_second << " MiB/s each), seconds, median (lowest-highest) of "
        << rounds << " pairs\n" << Qt::flush;
    const release_files release(work, size_mib);
    const qint64 allocated = (size_mib + 64) * mebibyte;
    fake_host host;
    QStringList nodes;
    for (int stick = 0; stick < sticks; ++stick)
        nodes << host.node_path(host.add(fake_host::usb_stick(stick_size)));
    throttled_sticks limited(sticks, size_mib + 64, mib_per_second * mebibyte);
    if (!limited.unavailable().isEmpty()) {
        out << "skipped: " << limited.unavailable() << "\n";
        return;
    }
    for (int stick = 0; stick < sticks; ++stick)
        limited.place(stick, nodes[stick], stick_size, allocated);
    const auto settle = [&work] {
        forget_kept_image(work);
        ::sync();
    };

    const paired_runs one = run_pairs(limited.limited(flash(work, release, {0})),
                                      limited.limited("dd if=" + quoted(release.source) + dd_onto(nodes[0])),
                                      rounds, settle);
    out << pair_line("first flash", "dd oflag=direct conv=fsync of the decompressed image", one, 1.02)
        << Qt::flush;
    const paired_runs three = run_pairs(limited.limited(flash(work, release, {0, 1, 2})),
                                        limited.limited(flash(work, release, {0})), rounds, settle);
    out << pair_line("three sticks at once", "one stick alone", three, 1.05);
    qint64 peak_kib = 0;
    for (const process_run& run : three.ours)
        peak_kib = std::max(peak_kib, run.peak_kib);
    out << "peak memory of the three at once, whole process, KiB: " << against_target(peak_kib, 65536) << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: cli_bench <work folder> [image MiB] [rounds] [throttled image MiB] [throttle MiB/s]\n";
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const qint64 size_mib = std::max<qint64>(64, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    const int rounds = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 5);
    const qint64 throttled_mib = std::max<qint64>(64, argc > 4 ? QByteArray(argv[4]).toLongLong() : 1024);
    const qint64 mib_per_second = std::max<qint64>(1, argc > 5 ? QByteArray(argv[5]).toLongLong() : 32);
    QDir().mkpath(work);
    // The fake host's disks live in the work folder, on the same file system as the download.
    qputenv("TMPDIR", QFile::encodeName(work));
    fast_disk(work, size_mib, rounds);
    throttled(work + "/throttled", throttled_mib, std::max(1, rounds / 2 + 1), mib_per_second);
    return 0;
}
