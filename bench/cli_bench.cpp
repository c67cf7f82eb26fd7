// Times `--cli flash` of three sticks at once against the same three flashed one after
// another, each round with and without the read-back. The sticks, the data folder and the
// cached release live in the work folder, meant to be in tmpfs (/dev/shm): real sticks on
// separate ports do not share one device, so the machine's own disk must not be the shared
// bottleneck here either.
//
// cli_bench <work folder> [image size in MiB]

#include "cli/cli_main.h"
#include "image/image_manipulator.h"
#include "image/release_endpoints.h"
#include "logger.h"

#include "fake_host.h"
#include "release_server.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <sstream>
#include <vector>

using namespace bench;

namespace {

constexpr int rounds = 3;
constexpr int sticks = 3;
const char* const tag = "bench";
const char* const checksum = "0123456789abcdef0123456789abcdef";
const char* const btc_address = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

QTextStream out(stdout);

// Where the configuration block goes: in the image's first MiB, as on a real image.
constexpr quint64 area_offset = 512 * 1024;

// The release as a finished download leaves it in the cache, unpacked by an earlier flash.
void fill_cache(const QString& data_folder, qint64 size_mib)
{
    const QString downloads = data_folder + "/downloads/";
    QDir().mkpath(downloads);
    write_realistic_image(downloads + tag, size_mib, area_offset);
    QFile(downloads + tag + ".gz").open(QIODevice::WriteOnly);
    if (!image_manipulator::record_complete((downloads + tag).toStdString()))
        qFatal("cannot record the image as complete");
    QFile record(downloads + "checksum.md5");
    record.open(QIODevice::WriteOnly);
    record.write(QByteArray(checksum) + "  " + tag + ".gz");
}

struct timing {
    double seconds = 0;
    // Processor seconds per second: how many cores the flash kept busy.
    double cores = 0;
};

timing flash(const QString& data_folder, const std::vector<std::string>& disks, bool verify)
{
    std::vector<std::string> arguments {"flash", "--yes", "--btc", btc_address, "--worker", "rig(%d)"};
    arguments.insert(arguments.end(), disks.begin(), disks.end());
    if (!verify)
        arguments.push_back("--no-verify");
    const cli::parse_result parsed = cli::parse(arguments);
    std::istringstream in;
    std::ostringstream report;
    cli::console io {in, report, report, false};
    QElapsedTimer timer;
    const double processor_before = processor_seconds();
    timer.start();
    const int status = cli::run(parsed.parsed, data_folder.toStdString(), io);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (status != 0)
        qFatal("the flash failed:\n%s", report.str().c_str());
    return {seconds, (processor_seconds() - processor_before) / seconds};
}

// The same copies by dd, three at once or one after another: what the machine allows.
double dd_copies(const QString& image, const QStringList& nodes, bool together)
{
    QStringList commands;
    for (const QString& node : nodes)
        commands << "dd if=" + quoted(image) + " of=" + quoted(node)
                        + " bs=8M conv=notrunc oflag=direct 2>/dev/null";
    return seconds_of(together ? commands.join(" & ") + " & wait" : commands.join(" && "));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: cli_bench <work folder> [image size in MiB]\n";
        return 2;
    }
    const QDir work(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const qint64 size_mib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;
    QDir().mkpath(work.path());
    qputenv("TMPDIR", QFile::encodeName(work.path()));
    const QString data_folder = work.filePath("data");
    out << "generating a " << size_mib << " MiB image\n" << Qt::flush;
    fill_cache(data_folder, size_mib);
    logger::init(data_folder.toStdString());

    release_server server;
    if (!server.start())
        qFatal("the release server cannot listen on 127.0.0.1");
    release_server::answer latest;
    latest.body = QByteArray("{\"tag_name\": \"") + tag + "\"}";
    server.set_answer(release_server::latest_path(), latest);
    release_server::answer record;
    record.body = QByteArray(checksum) + "  kestrel-" + tag + ".img.gz\n";
    server.set_answer(release_server::checksum_path(tag), record);
    const std::string base = server.base_url().toStdString();
    release_endpoints::override_bases(base, base);

    fake_host host;
    QStringList nodes;
    for (int stick = 0; stick < sticks; ++stick)
        nodes << host.node_path(host.add(fake_host::usb_stick(std::max<qint64>(8'000'000'000, (size_mib + 64) * mebibyte))));

    // The sticks' blocks allocated before anything is timed, as a device's are.
    flash(data_folder, {"--all"}, false);
    for (bool verify : {true, false}) {
        std::vector<double> together, one_by_one, cores_together, cores_one_by_one;
        for (int round = 0; round < rounds; ++round) {
            // The order changes from round to round, so that neither always goes first.
            for (int turn = 0; turn < 2; ++turn) {
                if ((round + turn) % 2 == 0) {
                    const timing all = flash(data_folder, {"--all"}, verify);
                    together.push_back(all.seconds);
                    cores_together.push_back(all.cores);
                    continue;
                }
                double seconds = 0;
                double processor = 0;
                for (int stick = 0; stick < sticks; ++stick) {
                    const timing one = flash(data_folder, {"--disk", std::to_string(stick)}, verify);
                    seconds += one.seconds;
                    processor += one.seconds * one.cores;
                }
                one_by_one.push_back(seconds);
                cores_one_by_one.push_back(processor / seconds);
            }
            out << (verify ? "with" : "without") << " read-back, round " << round + 1 << ": at once "
                << together.back() << " s, one after another " << one_by_one.back() << " s\n" << Qt::flush;
        }
        const double ratio = median(together) / median(one_by_one);
        out << (verify ? "with" : "without") << " read-back, median seconds: at once " << median(together)
            << ", one after another " << median(one_by_one) << ", ratio " << ratio
            << " (target at most 0.6); cores busy: at once " << median(cores_together)
            << ", one after another " << median(cores_one_by_one) << " of " << QThread::idealThreadCount()
            << "\n" << Qt::flush;
    }
    std::vector<double> dd_together, dd_one_by_one;
    for (int round = 0; round < rounds; ++round) {
        dd_together.push_back(dd_copies(data_folder + "/downloads/" + tag, nodes, round % 2 == 0));
        dd_one_by_one.push_back(dd_copies(data_folder + "/downloads/" + tag, nodes, round % 2 != 0));
        if (round % 2 != 0)
            std::swap(dd_together.back(), dd_one_by_one.back());
    }
    out << "dd oflag=direct, median seconds: at once " << median(dd_together) << ", one after another "
        << median(dd_one_by_one) << ", ratio " << median(dd_together) / median(dd_one_by_one)
        << " (the machine's own limit for copies of this size)\n";
    logger::close();
    return 0;
}
