#include "file_size_limit.h"
#include "release_server.h"
#include "retriever_harness.h"
#include "scoped_waits.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

const QString tag = "v2";

QByteArray image_bytes(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131) ^ (i >> 8));
    return bytes;
}

QByteArray md5_of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// Stops the download where it would write the next step of what arrived: the write that was
// coming is swallowed, and the rest stays in the network layer's hands.
class stop_at_the_next_step : public QObject {
public:
    explicit stop_at_the_next_step(retriever_harness& harness)
        : m_harness(harness)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~stop_at_the_next_step() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool stopped() const { return m_stopped; }

    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        const auto* step = qobject_cast<QTimer*>(receiver);
        if (m_stopped || event->type() != QEvent::Timer || !step || !step->isSingleShot() || step->interval() != 0
            || m_harness.downloaded(tag + ".gz.part").isEmpty())
            return false;
        m_stopped = true;
        m_harness.retriever->cancel();
        return true;
    }

private:
    retriever_harness& m_harness;
    bool m_stopped = false;
};

// A release server on a thread of its own, gone with it.
struct serving_thread {
    serving_thread()
    {
        thread.start();
        context.moveToThread(&thread);
    }
    ~serving_thread()
    {
        run([this] { server.reset(); });
        thread.quit();
        thread.wait();
    }
    void run(const std::function<void()>& work) { QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection); }

    QThread thread;
    QObject context;
    std::unique_ptr<release_server> server;
};

} // namespace

class test_image_retriever_download : public QObject {
    Q_OBJECT

    std::unique_ptr<release_server> m_server;
    std::unique_ptr<retriever_harness> m_harness;
    const QByteArray m_image = image_bytes(512 * 1024);

    QString image_path() const { return release_server::image_path(tag); }

    // Runs the query up to the download offer.
    void offer_download(const QByteArray& checksum_text)
    {
        m_server->publish_release(tag, m_image, checksum_text);
        m_harness = std::make_unique<retriever_harness>(*m_server);
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 1);
    }

    int requests_for_image() const
    {
        return m_server->requests().count("GET " + image_path());
    }

    static QByteArray old_record() { return md5_of("old compressed") + "  v1.gz"; }

    // The release cached before the one on the server.
    void put_old_release() const
    {
        m_harness->put_download("v1.gz", "old compressed");
        m_harness->put_download("checksum.md5", old_record());
    }

    // The release cached before is there as it was, and flashed when the servers cannot be
    // reached.
    void old_release_flashable_offline()
    {
        QCOMPARE(m_harness->downloaded("v1.gz"), QByteArray("old compressed"));
        QCOMPARE(m_harness->downloaded("checksum.md5"), old_record());
        m_server->stop();
        const int finished_before = m_harness->finished->size();
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->finished->size(), finished_before + 1);
        QCOMPARE(m_harness->finished->constLast().at(0).value<std::string>(),
                 m_harness->data_folder() + "/downloads/v1.gz");
        QCOMPARE(m_harness->messages().constLast(),
                 QString("Release server unreachable: flashing the cached v1"));
    }

private slots:
    void init()
    {
        m_server = std::make_unique<release_server>();
        QVERIFY(m_server->start());
    }

    void cleanup()
    {
        m_harness.reset();
        m_server.reset();
    }

    void complete_download_replaces_the_cache_data()
    {
        QTest::addColumn<QByteArray>("checksum_text");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<qint64>("piece_size");
        const QByteArray md5 = md5_of(image_bytes(512 * 1024));
        QTest::newRow("MD5 with file name") << md5 + "  kestrel-v2.img.gz\n" << md5 << qint64(0);
        QTest::newRow("MD5 in capitals, slow body")
            << md5.toUpper() + " x" << md5.toUpper() << qint64(32 * 1024);
        QTest::newRow("MD5 with line end, no blank") << md5 + "\n" << md5 << qint64(0);
    }

    void complete_download_replaces_the_cache()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(QByteArray, stored);
        QFETCH(qint64, piece_size);
        // The slow body sends 32 KiB every 25 ms: slow, but well above this pace, over more
        // than one window.
        scoped_waits waits([](wait_lengths& lengths) {
            lengths.slow_download_window = 150ms;
            lengths.slow_download_bytes = 8 * 1024;
        });
        offer_download(checksum_text);
        // Slow enough for progress reports between the first and the last piece.
        m_server->answer_for(image_path()).piece_size = piece_size;
        m_server->answer_for(image_path()).piece_delay_ms = piece_size ? 25 : 0;
        put_old_release();
        m_harness->put_download("v1", "old image");
        m_harness->put_download("v1.size", "9");

        m_harness->retriever->download_image();
        // Until it is complete and verified, the download goes by another name, held for this
        // download alone, and the release cached before stays as it was.
        QStringList files = m_harness->downloaded_files();
        files.replaceInStrings(QRegularExpression("\\.hold-[0-9]+-[0-9]+$"), ".hold");
        QCOMPARE(files, QStringList({"checksum.md5", "v1", "v1.gz", "v1.size", "v2.gz.part", "v2.gz.part.hold",
                                     "v2.gz.part.md5"}));
        QCOMPARE(m_harness->downloaded("checksum.md5"), old_record());

        QTRY_COMPARE(m_harness->finished->size(), 1);
        QCOMPARE(m_harness->finished->at(0).at(0).value<std::string>(),
                 m_harness->data_folder() + "/downloads/v2.gz");
        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
        QCOMPARE(m_harness->downloaded("checksum.md5"), stored + "  v2.gz");
        QVERIFY(m_harness->messages().isEmpty());
        const QList<QVariant> last = m_harness->progress->constLast();
        QCOMPARE(last.at(0).toLongLong(), qint64(m_image.size()));
        QCOMPARE(last.at(1).toLongLong(), qint64(m_image.size()));
        if (piece_size)
            QVERIFY(m_harness->progress->size() > 2);
        QVERIFY(m_harness->log().endsWith("debug: Download Finished"));

        // The next query recognises the download.
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->finished->size(), 2);
        QCOMPARE(m_harness->not_downloaded->size(), 1);
    }

    void redirected_image_reaches_the_cache()
    {
        m_server->publish_release(tag, m_image, md5_of(m_image) + "  kestrel-v2.img.gz\n");
        release_server::answer moved;
        moved.status = 302;
        moved.location = m_server->base_url().toUtf8() + "/mirror/v2.img.gz";
        m_server->set_answer(image_path(), moved);
        release_server::answer mirror;
        mirror.body = m_image;
        m_server->set_answer("/mirror/v2.img.gz", mirror);

        m_harness = std::make_unique<retriever_harness>(*m_server);
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 1);
        QCOMPARE(m_harness->not_downloaded->at(0).at(0).value<uint64_t>(), uint64_t(m_image.size()));
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_harness->finished->size(), 1);
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
        QVERIFY(m_server->requests().contains("GET /mirror/v2.img.gz"));
    }

    void failed_download_leaves_no_image_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("partial_kept");
        QTest::newRow("no length") << "no length" << "Error downloading image" << false;
        QTest::newRow("cut off") << "cut off" << "Network error: 2 (connection closed by the server)"
                                 << true;
        QTest::newRow("stalls midway") << "stalls" << "Network error: 4 (no answer from the server)"
                                       << true;
        QTest::newRow("trickles") << "trickles"
                                  << "Network error: 4 (download too slow: under 40 KiB/s for 0.2 s)"
                                  << true;
        QTest::newRow("not found") << "404" << "Network error: 203 (not found on the server)" << false;
        QTest::newRow("server error") << "500" << "Network error: 401 (server failure)" << false;
        QTest::newRow("refused") << "refused" << "Network error: 1 (connection refused)" << false;
        QTest::newRow("MD5 mismatch") << "corrupted" << "Error downloading image" << false;
        QTest::newRow("name taken by a folder") << "folder" << "Error downloading image" << false;
        QTest::newRow("downloads folder unusable")
            << "no folder" << "Network error: 0 (cannot write the image file)" << false;
        QTest::newRow("file size limit reached")
            << "size limit" << "Network error: 0 (cannot write the image file)" << false;
    }

    void failed_download_leaves_no_image()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        QFETCH(bool, partial_kept);
        offer_download(md5_of(m_image) + "  kestrel-v2.img.gz\n");
        scoped_waits waits([&failure](wait_lengths& lengths) {
            if (failure == "stalls")
                lengths.network_silence = 1000ms;
            // Only the trickle meets a short window: on a busy machine another row's transfer
            // could be caught between two reads.
            if (failure == "trickles") {
                lengths.slow_download_window = 200ms;
                lengths.slow_download_bytes = 8 * 1024;
            }
        });
        release_server::answer& image = m_server->answer_for(image_path());
        if (failure == "no length")
            image.send_length = false;
        else if (failure == "cut off")
            image.cut_after = m_image.size() / 2;
        else if (failure == "stalls")
            image.hold_after = m_image.size() / 2;
        else if (failure == "trickles") {
            // About 2 KiB a second: never silent, yet it would take minutes.
            image.piece_size = 100;
            image.piece_delay_ms = 50;
        }
        else if (failure == "404" || failure == "500")
            image.status = failure.toInt();
        else if (failure == "refused")
            m_server->stop();
        else if (failure == "corrupted")
            image.body[1000] = image.body[1000] ^ 1;
        else if (failure == "no folder")
            QVERIFY(QDir(m_harness->downloads()).removeRecursively()
                    && QFile(m_harness->downloads()).open(QIODevice::WriteOnly));
        // A failed download of a newer release leaves the one cached before.
        const bool old_release = failure != "no folder";
        if (old_release)
            put_old_release();
        const int logged_before = m_harness->log().size();
        file_size_limit::scoped limit(failure == "size limit" ? 100 * 1024 : -1);

        m_harness->retriever->download_image();
        if (failure == "folder")
            QDir(m_harness->downloads()).mkdir("v2.gz");

        QTRY_COMPARE(m_harness->messages().size(), 1);
        QTest::qWait(50);
        QCOMPARE(m_harness->messages(), QStringList({message}));
        QVERIFY(m_harness->errors->at(0).at(1).toBool());
        QVERIFY(m_harness->log().mid(logged_before).contains(
            "fatal: " + (message.startsWith("Network") ? message : "Downloading image error")));
        QVERIFY(m_harness->finished->isEmpty());
        QStringList left = m_harness->downloaded_files();
        if (failure == "folder") {
            QVERIFY(QFileInfo(m_harness->downloads() + "/v2.gz").isDir());
            left.removeAll("v2.gz");
        }
        QStringList expected = old_release ? QStringList({"checksum.md5", "v1.gz"}) : QStringList();
        if (partial_kept)
            expected << "v2.gz.part" << "v2.gz.part.md5";
        QCOMPARE(left, expected);
        if (old_release)
            old_release_flashable_offline();
    }

    void window_cancelling_on_error_keeps_only_the_partial()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).cut_after = 100 * 1024;
        // As the main window does: every retriever error cancels the run.
        connect(m_harness->retriever.get(), &image_retriever::error_msg,
                m_harness->retriever.get(), &image_retriever::cancel);

        m_harness->retriever->download_image();

        QTRY_VERIFY(!m_harness->messages().isEmpty());
        QCOMPARE(m_harness->downloaded_files(), QStringList({"v2.gz.part", "v2.gz.part.md5"}));
        QVERIFY(m_harness->finished->isEmpty());
    }

    void cut_off_download_resumes_data()
    {
        QTest::addColumn<bool>("accept_ranges");
        QTest::addColumn<QString>("between");
        // Empty when the download completes.
        QTest::addColumn<QString>("message");
        QTest::newRow("server takes ranges") << true << "" << "";
        QTest::newRow("server without ranges: starts over") << false << "" << "";
        QTest::newRow("partial of another release: starts over") << true << "other release" << "";
        QTest::newRow("partial without its mark: starts over") << true << "no mark" << "";
        QTest::newRow("resumed file fails its MD5: removed") << true << "damage" << "Error downloading image";
        // Servers that announce ranges but do not keep to them.
        QTest::newRow("range answered with the whole image: starts over") << true << "whole image" << "";
        QTest::newRow("range answered from another offset: none of it kept")
            << true << "wrong start" << "Network error: 2 (connection closed by the server)";
    }

    void cut_off_download_resumes()
    {
        QFETCH(bool, accept_ranges);
        QFETCH(QString, between);
        QFETCH(QString, message);
        const qint64 cut = 200 * 1024;
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).cut_after = cut;
        m_server->answer_for(image_path()).accept_ranges = accept_ranges;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_harness->messages().size(), 1);
        QCOMPARE(m_harness->downloaded("v2.gz.part"), m_image.left(cut));
        if (between == "other release")
            m_harness->put_download("v2.gz.part.md5", md5_of("another image"));
        if (between == "no mark")
            QVERIFY(QFile::remove(m_harness->downloads() + "/v2.gz.part.md5"));
        if (between == "damage") {
            QFile part(m_harness->downloads() + "/v2.gz.part");
            QVERIFY(part.open(QIODevice::ReadWrite) && part.seek(1000) && part.write("X") == 1);
        }

        release_server::answer& image = m_server->answer_for(image_path());
        image.cut_after = -1;
        // Held midway: a file that took this answer's bytes after the cut would be longer than
        // it should.
        if (between == "whole image") {
            image.ranges_ignored = true;
            image.hold_after = cut + 100 * 1024;
        } else if (between == "wrong start") {
            image.range_served_from = cut - 100 * 1024;
            image.hold_after = 64 * 1024;
            // Cut off, the transfer keeps its file: whatever of the part reached it would show.
            image.cut_after = 128 * 1024;
        }
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 2);
        m_harness->progress->clear();
        m_harness->retriever->download_image();

        if (image.hold_after >= 0) {
            QTRY_COMPARE(m_server->held_transfers(), 1);
            // Only bytes from the image's start: as many as this answer sent when it starts over,
            // none of a part from elsewhere.
            const qint64 kept = between == "whole image" ? image.hold_after : cut;
            QTRY_COMPARE(m_harness->downloaded("v2.gz.part").size(), kept);
            QCOMPARE(m_harness->downloaded("v2.gz.part"), m_image.left(int(kept)));
            m_server->release_held();
        }

        const bool ranged = accept_ranges && between != "other release" && between != "no mark";
        QTRY_COMPARE(m_harness->finished->size() + m_harness->messages().size(), 2);
        QCOMPARE(m_server->ranges(), ranged ? QStringList({"bytes=" + QString::number(cut) + "-"})
                                            : QStringList());
        QCOMPARE(m_harness->finished->size(), message.isEmpty() ? 1 : 0);
        if (!message.isEmpty()) {
            QCOMPARE(m_harness->messages().last(), message);
            if (between == "wrong start") {
                // Cut off, it is kept for the next try as it was before this answer.
                QCOMPARE(m_harness->downloaded_files(), QStringList({"v2.gz.part", "v2.gz.part.md5"}));
                QCOMPARE(m_harness->downloaded("v2.gz.part"), m_image.left(cut));
            } else {
                QCOMPARE(m_harness->downloaded_files(), QStringList());
            }
            return;
        }
        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
        // Progress counts the whole image, from where the download went on.
        const bool resumed = ranged && between != "whole image";
        QVERIFY(m_harness->progress->constFirst().at(0).toLongLong() >= (resumed ? cut : 0));
        QCOMPARE(m_harness->progress->constLast().at(0).toLongLong(), qint64(m_image.size()));
        QCOMPARE(m_harness->progress->constLast().at(1).toLongLong(), qint64(m_image.size()));
    }

    void cancel_before_the_first_data()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 0;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);

        m_harness->retriever->cancel();

        QTRY_COMPARE(m_server->abandoned_transfers(), 1);
        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QVERIFY(m_harness->log().endsWith("info: Download canceled"));
        QVERIFY(m_harness->messages().isEmpty());
        QVERIFY(m_harness->finished->isEmpty());
    }

    // A stop keeps what arrived, as a cut connection does; the next download of the release
    // goes on from there, and the release cached before stays flashable meanwhile.
    void cancel_during_the_transfer()
    {
        const qint64 held = 64 * 1024;
        offer_download(md5_of(m_image));
        put_old_release();
        m_server->answer_for(image_path()).hold_after = held;
        m_server->answer_for(image_path()).accept_ranges = true;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);
        QTRY_COMPARE(m_harness->downloaded("v2.gz.part").size(), held);

        m_harness->retriever->cancel();

        QTRY_COMPARE(m_server->abandoned_transfers(), 1);
        QCOMPARE(m_harness->downloaded_files(),
                 QStringList({"checksum.md5", "v1.gz", "v2.gz.part", "v2.gz.part.md5"}));
        QCOMPARE(m_harness->downloaded("v2.gz.part"), m_image.left(int(held)));
        QVERIFY(m_harness->log().endsWith("info: Download canceled"));
        QVERIFY(m_harness->messages().isEmpty());
        QVERIFY(m_harness->finished->isEmpty());

        m_server->answer_for(image_path()).hold_after = -1;
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 2);
        m_harness->retriever->download_image();

        QTRY_COMPARE(m_harness->finished->size(), 1);
        QCOMPARE(m_server->ranges(), QStringList({"bytes=" + QString::number(held) + "-"}));
        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
        QVERIFY(m_harness->messages().isEmpty());
    }

    // A stop takes along into the partial every byte the network layer holds for the download,
    // not only what reached the file: the download writes what arrived a step at a time.
    void cancel_keeps_what_has_arrived()
    {
        const QByteArray image = image_bytes(4 << 20);
        const qint64 held = 3 << 20;
        // A server of its own thread sends while this one sleeps.
        serving_thread serving;
        serving.run([&] {
            serving.server = std::make_unique<release_server>();
            serving.server->publish_release(tag, image, md5_of(image));
            serving.server->answer_for(release_server::image_path(tag)).hold_after = held;
            serving.server->start();
        });
        m_harness = std::make_unique<retriever_harness>(*serving.server);
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 1);
        m_harness->retriever->download_image();
        // Everything sent reaches the network layer meanwhile; then its first step is written,
        // and the stop comes in place of the next.
        QThread::msleep(500);
        stop_at_the_next_step stop(*m_harness);
        QTRY_VERIFY(stop.stopped());
        QCOMPARE(m_harness->downloaded("v2.gz.part").size(), held);
        QCOMPARE(m_harness->downloaded("v2.gz.part"), image.left(int(held)));
    }

    void cancel_keeps_the_old_release_flashable()
    {
        offer_download(md5_of(m_image));
        put_old_release();
        m_server->answer_for(image_path()).hold_after = 64 * 1024;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);

        m_harness->retriever->cancel();

        old_release_flashable_offline();
    }

    void cancel_keeps_a_complete_download()
    {
        offer_download(md5_of(m_image));
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_harness->finished->size(), 1);
        const int logged_before = m_harness->log().size();

        m_harness->retriever->cancel();

        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->log().size(), logged_before);
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->finished->size(), 2);
    }

    void cancel_without_a_download_touches_nothing()
    {
        offer_download(md5_of(m_image));
        m_harness->put_download("v1.gz", "old");
        m_harness->put_download("checksum.md5", "old");

        m_harness->retriever->cancel();

        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v1.gz"}));
    }

    void second_download_of_a_release_waits_data()
    {
        QTest::addColumn<QString>("then");
        QTest::newRow("first completes: taken from the cache") << "completes";
        QTest::newRow("first stopped: gone on from") << "stopped";
        QTest::newRow("wait cancelled: the first goes on") << "wait cancelled";
    }

    // Two downloads of one release at once, as two processes on one data folder start them:
    // the second never writes into the first's file while the first writes it.
    void second_download_of_a_release_waits()
    {
        QFETCH(QString, then);
        const qint64 held = 64 * 1024;
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = held;
        m_server->answer_for(image_path()).accept_ranges = true;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);
        image_retriever second(m_harness->data_folder(), m_server->base_url().toStdString(),
                               m_server->base_url().toStdString());
        QSignalSpy offered(&second, &image_retriever::image_not_downloaded);
        QSignalSpy finished(&second, &image_retriever::finished_download);
        QSignalSpy progress(&second, &image_retriever::progress_updated);
        second.check_latest();
        QTRY_COMPARE(offered.size(), 1);
        second.download_image();
        // It follows the first's progress against the size the server announced.
        QTRY_VERIFY(!progress.isEmpty() && progress.constLast().at(0).toLongLong() == held);
        QCOMPARE(progress.constLast().at(1).toLongLong(), qint64(m_image.size()));

        m_server->answer_for(image_path()).hold_after = -1;
        if (then == "stopped")
            m_harness->retriever->cancel();
        if (then == "wait cancelled")
            second.cancel();
        m_server->release_held();
        const int first_done = then == "stopped" ? 0 : 1;
        const int second_done = then == "wait cancelled" ? 0 : 1;
        QTRY_COMPARE(m_harness->finished->size() + finished.size(), first_done + second_done);
        QTest::qWait(50);
        QCOMPARE(m_harness->finished->size(), first_done);
        QCOMPARE(finished.size(), second_done);
        QCOMPARE(m_server->requests().count("GET " + image_path()), then == "stopped" ? 2 : 1);
        const QStringList resumed {"bytes=" + QString::number(held) + "-"};
        QCOMPARE(m_server->ranges(), then == "stopped" ? resumed : QStringList());
        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
    }

    void new_query_during_a_download_keeps_the_partial_image()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 64 * 1024;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);
        QTRY_COMPARE(m_harness->downloaded("v2.gz.part").size(), 64 * 1024);

        m_harness->retriever->check_latest();

        QTRY_COMPARE(m_harness->not_downloaded->size(), 2);
        QCOMPARE(m_harness->downloaded_files(), QStringList({"v2.gz.part", "v2.gz.part.md5"}));
        QVERIFY(m_harness->messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(test_image_retriever_download)
#include "test_image_retriever_download.moc"
