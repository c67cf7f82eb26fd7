// Measures how long the GUI thread's event loop stands still while image_retriever downloads
// an image from a local server at full speed: a 5 ms timer in the retriever's thread records
// the longest gap between its ticks. The server runs in a thread of its own, so that only the
// retriever's work counts.
//
// download_bench <work folder> [image size in MiB, default 512]

#include "base/logger.h"
#include "retrieval/image_retriever.h"

#include "release_server.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

constexpr int rounds = 3;
constexpr int tick_ms = 5;

QTextStream out(stdout);

QByteArray random_image(qint64 size_mib)
{
    QByteArray image(size_mib * mebibyte, Qt::Uninitialized);
    QRandomGenerator(2026).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
    return image;
}

struct round_result {
    double seconds = 0;
    double longest_stall_ms = 0;
};

// One download into an empty downloads folder, from the offer to finished_download.
round_result download_once(const QString& data_folder, const QString& server_url)
{
    QDir(data_folder + "/downloads").removeRecursively();
    QDir().mkpath(data_folder + "/downloads");
    image_retriever retriever(data_folder.toStdString(), server_url.toStdString(),
                              server_url.toStdString());
    QElapsedTimer clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(tick_ms);
    qint64 last_tick = 0;
    qint64 longest_gap_ns = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest_gap_ns = std::max(longest_gap_ns, now - last_tick);
        last_tick = now;
    });

    round_result result;
    QObject::connect(&retriever, &image_retriever::image_not_downloaded, [&] {
        clock.start();
        last_tick = 0;
        probe.start();
        retriever.download_image();
    });
    QObject::connect(&retriever, &image_retriever::finished_download, [&] {
        result.seconds = clock.nsecsElapsed() / 1e9;
        probe.stop();
        QCoreApplication::quit();
    });
    QObject::connect(&retriever, &image_retriever::error_msg, [](const QString& text) {
        qFatal("download failed: %s", qPrintable(text));
    });
    retriever.check_latest();
    QCoreApplication::exec();
    result.longest_stall_ms = longest_gap_ns / 1e6;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        out << "usage: download_bench <work folder> [image size in MiB, default 512]\n";
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const qint64 size_mib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 512;
    QDir().mkpath(work);
    logger::init(work.toStdString());

    const QByteArray image = random_image(size_mib);
    const QByteArray md5 = QCryptographicHash::hash(image, QCryptographicHash::Md5).toHex();
    QThread server_thread;
    server_thread.start();
    auto* server = new release_server;
    server->publish_release("bench", image, md5 + "  kestrel-bench.img.gz\n");
    server->moveToThread(&server_thread);
    QString server_url;
    QMetaObject::invokeMethod(server, [&] {
        if (!server->start())
            qFatal("the local server did not start");
        server_url = server->base_url();
    }, Qt::BlockingQueuedConnection);

    out << "downloading " << size_mib << " MiB from " << server_url << ", " << rounds
        << " rounds\n" << Qt::flush;
    std::vector<double> stalls, seconds;
    for (int round = 0; round < rounds; ++round) {
        const round_result result = download_once(work, server_url);
        stalls.push_back(result.longest_stall_ms);
        seconds.push_back(result.seconds);
        out << "round " << round + 1 << ": " << result.seconds << " s ("
            << size_mib / result.seconds << " MiB/s), longest event-loop stall "
            << result.longest_stall_ms << " ms\n" << Qt::flush;
    }
    out << "longest stall, ms: " << against_target(stalls, 100, "longest event-loop stall while downloading, ms") << "; median " << size_mib / median(seconds)
        << " MiB/s\n";

    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    server_thread.quit();
    server_thread.wait();
    QDir(work + "/downloads").removeRecursively();
    logger::close();
    return 0;
}
