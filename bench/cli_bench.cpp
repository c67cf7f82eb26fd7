// Times the command line's flash, `kestrel-flash-tool --cli flash ... --image X.gz`, as a whole
// process over a fake host, paired with its peer in the same round (the order turning from round
// to round), both writing the same stick nodes, their blocks allocated as a stick's are:
// - a first flash of one stick against `igzip -dc | dd oflag=direct conv=fsync`, the stick on
//   tmpfs, then, where the machine allows it, on an ext4 file system that takes direct writes,
// - where the machine allows it, on throttled sticks (each at its own limited speed, as on
//   separate ports): a first flash of one stick against dd's copy of the decompressed image onto
//   it, the image as large as on the fast disk; then `--all` of the sticks (16 by default) against one alone, from the .gz (a first
//   flash) and from the image the command line kept of it, each with and without the read-back:
//   wall time and CPU time pair by pair, and the peak memory of the sticks at once.
//
// cli_bench <work folder> [image MiB] [rounds] [throttled image MiB] [throttle MiB/s] [sticks]

#include "image/image_manipulator.h"

#include "fake_host.h"

#include "bench_support.h"
#include "throttled_sticks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <unistd.h>

#include <algorithm>
#include <memory>

using namespace bench;

namespace {

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

// The sticks a flash writes, as the command line is told them.
const char* const first_stick = "--disk 0";
const char* const every_stick = "--all";

// The command line with its data folder in `work`.
QString program(const QString& work)
{
    return "XDG_DATA_HOME=" + quoted(work + "/data") + " "
        + quoted(QCoreApplication::applicationDirPath() + "/../kestrel-flash-tool") + " --cli ";
}

// The command line flashing `sticks` from the download, with or without the read-back.
QString flash(const QString& work, const release_files& release, const char* sticks, bool verify)
{
    return program(work) + "flash --yes " + sticks + (verify ? "" : " --no-verify") + " --btc " + btc_address
        + " --worker 'rig(%d)' --image " + quoted(release.gz) + " >/dev/null";
}

QString kept_images(const QString& work)
{
    return work + "/data/Kestrel Flash Tool/images";
}

// Forgets the image the command line keeps from a file it flashed, so that the next flash is a
// first flash.
void forget_kept_image(const QString& work)
{
    QDir(kept_images(work)).removeRecursively();
}

bool kept_image_ready(const QString& work)
{
    const QDir images(kept_images(work));
    for (const QString& entry : images.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (image_manipulator::is_complete(images.filePath(entry + "/image").toStdString()))
            return true;
    return false;
}

// Makes sure the command line finds the image it keeps, flashing once, untimed, where it is not.
void keep_image(const QString& work, const release_files& release)
{
    if (kept_image_ready(work))
        return;
    run_process(flash(work, release, first_stick, false));
    if (!kept_image_ready(work))
        throw failure("the command line kept no decompressed image of " + release.gz.toStdString());
}

QString dd_onto(const QString& node)
{
    return " of=" + quoted(node) + " bs=8M oflag=direct conv=notrunc,fsync 2>/dev/null";
}

QString pair_line(const QString& ours, const QString& peer, const paired_runs& pairs, double target,
                  const QString& measured)
{
    return QString("%1 %2 s, %3 %4 s; ratio, pair by pair: %5\n")
        .arg(ours, spread(pairs.ours_seconds()), peer, spread(pairs.peer_seconds()),
             against_target(pairs.ratios(), target, measured));
}

// One stick against `igzip -dc | dd`: on the fake host's own disk file (memory, tmpfs), or on an
// ext4 file system of a loop device that takes direct writes, as a stick does.
void fast_disk(const QString& work, qint64 size_mib, int rounds, bool on_ext4)
{
    const release_files release(work, size_mib);
    const qint64 allocated = (size_mib + 64) * mebibyte;
    fake_host host;
    const QString node = host.node_path(host.add(fake_host::usb_stick(stick_size)));
    const QString where = on_ext4 ? "ext4" : "tmpfs";
    // Without a write limit: a loop device as fast as the memory under it.
    std::unique_ptr<throttled_sticks> ext4;
    if (on_ext4) {
        ext4 = std::make_unique<throttled_sticks>(1, size_mib + 64, 0);
        if (!ext4->unavailable().isEmpty()) {
            out << "\nfast disk on ext4 skipped: " << ext4->unavailable() << "\n";
            return;
        }
    }
    const auto fresh_stick = [&] {
        if (ext4) {
            ext4->place(0, node, stick_size, allocated);
        } else {
            QFile::remove(node);
            allocate_disk_file(node, stick_size, allocated);
        }
    };
    fresh_stick();
    out << "\nfast disk (" << where << "), one stick, seconds, median (lowest-highest) of " << rounds
        << " pairs\n" << Qt::flush;
    const paired_runs first = run_pairs(flash(work, release, first_stick, false),
                                        "igzip -dc " + quoted(release.gz) + " | dd iflag=fullblock" + dd_onto(node),
                                        rounds, [&] {
                                            if (!ext4)
                                                fresh_stick();
                                            forget_kept_image(work);
                                            ::sync();
                                        });
    out << pair_line("first flash", "igzip -dc | dd oflag=direct conv=fsync", first, 1.0,
                     "first flash / igzip | dd, " + where)
        << Qt::flush;
}

// One throttled stick's first flash against dd's copy of the decompressed image onto it: an
// image as large as a release's, so that the program's start counts as little as it does then.
void throttled_one(const QString& work, qint64 size_mib, int rounds, qint64 mib_per_second)
{
    out << "\nthrottled stick (" << mib_per_second << " MiB/s), seconds, median (lowest-highest) of " << rounds
        << " pairs\n" << Qt::flush;
    const release_files release(work, size_mib);
    fake_host host;
    const QString node = host.node_path(host.add(fake_host::usb_stick(stick_size)));
    throttled_sticks limited(1, size_mib + 64, mib_per_second * mebibyte);
    if (!limited.unavailable().isEmpty()) {
        out << "skipped: " << limited.unavailable() << "\n";
        return;
    }
    limited.place(0, node, stick_size, (size_mib + 64) * mebibyte);
    const paired_runs one = run_pairs(limited.limited(flash(work, release, first_stick, false)),
                                      limited.limited("dd if=" + quoted(release.source) + dd_onto(node)), rounds,
                                      [&] {
                                          forget_kept_image(work);
                                          ::sync();
                                      });
    out << pair_line("first flash", "dd oflag=direct conv=fsync of the decompressed image", one, 1.02,
                     "first flash / dd of the image, throttled stick")
        << Qt::flush;
}

// The targets of the sticks at once against one alone: hardly slower, CPU time at most half as
// much again, and a bounded peak memory (96 MiB), whatever their number.
constexpr double many_over_one_target = 1.05;
constexpr double peak_kib_target = 98304;
constexpr double cpu_over_one_target = 1.5;

void throttled(const QString& work, qint64 size_mib, int rounds, qint64 mib_per_second, int sticks)
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
    // --all is every stick only while the command line offers them all.
    const int offered = QJsonDocument::fromJson(run_process(program(work) + "list --json").output).array().size();
    if (offered != sticks)
        throw failure(QString("the command line offers %1 of the %2 sticks").arg(offered).arg(sticks).toStdString());

    const QString many = QString("%1 sticks").arg(sticks);
    for (const bool from_gz : {true, false}) {
        for (const bool verify : {true, false}) {
            const QString how = QString(from_gz ? "from the .gz" : "from the kept image")
                + (verify ? ", read back" : ", --no-verify");
            const auto before = [&] {
                if (from_gz)
                    forget_kept_image(work);
                else
                    keep_image(work, release);
                ::sync();
            };
            const paired_runs pairs = run_pairs(limited.limited(flash(work, release, every_stick, verify)),
                                                limited.limited(flash(work, release, first_stick, verify)),
                                                rounds, before);
            out << how << ":\n  "
                << pair_line(many + " at once", "one stick alone", pairs, many_over_one_target,
                             many + " / one, wall time, " + how)
                << "  CPU time (user+system), ratio pair by pair: "
                << against_target(pairs.cpu_ratios(), cpu_over_one_target, many + " / one, CPU time, " + how)
                << "\n  peak memory of the " << many << " at once, whole process, KiB: "
                << against_target(pairs.ours_peak_kib(), peak_kib_target, many + ", peak memory KiB, " + how)
                << "\n" << Qt::flush;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: cli_bench <work folder> [image MiB] [rounds] [throttled image MiB] [throttle MiB/s] "
               "[sticks]\n";
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const qint64 size_mib = std::max<qint64>(64, argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024);
    const int rounds = std::max(1, argc > 3 ? QByteArray(argv[3]).toInt() : 5);
    // Sixteen sticks of this image and 64 MiB more each, with their file systems, take at most
    // about 6 GiB of /dev/shm.
    const qint64 throttled_mib = std::max<qint64>(64, argc > 4 ? QByteArray(argv[4]).toLongLong() : 256);
    const qint64 mib_per_second = std::max<qint64>(1, argc > 5 ? QByteArray(argv[5]).toLongLong() : 32);
    const int sticks = std::max(1, argc > 6 ? QByteArray(argv[6]).toInt() : 16);
    QDir().mkpath(work);
    // The download and the data folder are in the work folder; the fake host's disks are in
    // memory (tmpfs), but where a bench puts a stick on a loop device of its own.
    try {
        fast_disk(work, size_mib, rounds, false);
        fast_disk(work, size_mib, rounds, true);
        throttled_one(work + "/throttled", size_mib, std::max(1, rounds / 2 + 1), mib_per_second);
        throttled(work + "/throttled", throttled_mib, std::max(1, rounds / 2 + 1), mib_per_second, sticks);
    } catch (const failure& failed) {
        QTextStream(stderr) << "cli_bench: " << failed.what() << "\n";
        return 1;
    }
    return 0;
}
