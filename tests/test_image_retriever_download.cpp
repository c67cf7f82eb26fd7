#include "release_server.h"
#include "retriever_harness.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTest>

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
        QTest::newRow("MD5 with line end, no blank") << md5 + "\n" << md5 + "\n" << qint64(0);
        QTest::newRow("no MD5 published: not verified")
            << QByteArray("release-2 notes") << QByteArray("release-2") << qint64(0);
    }

    void complete_download_replaces_the_cache()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(QByteArray, stored);
        QFETCH(qint64, piece_size);
        offer_download(checksum_text);
        // Slow enough for progress reports between the first and the last piece.
        m_server->answer_for(image_path()).piece_size = piece_size;
        m_server->answer_for(image_path()).piece_delay_ms = piece_size ? 25 : 0;
        m_harness->put_download("v1.gz", "old compressed");
        m_harness->put_download("v1", "old image");
        m_harness->put_download("checksum.md5", "old");

        m_harness->retriever->download_image();
        QVERIFY(m_harness->downloaded_files().isEmpty());

        QTRY_COMPARE(m_harness->finished->size(), 1);
        QCOMPARE(m_harness->finished->at(0).at(0).value<std::string>(),
                 m_harness->data_folder() + "/downloads/v2.gz");
        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v2.gz"}));
        QCOMPARE(m_harness->downloaded("v2.gz"), m_image);
        QCOMPARE(m_harness->downloaded("checksum.md5"), stored);
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
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("log");
        const QString network = "Network error: ";
        const QString not_found = network + QString::number(QNetworkReply::ContentNotFoundError);
        const QString server_error = network + QString::number(QNetworkReply::InternalServerError);
        const QString refused = network + QString::number(QNetworkReply::ConnectionRefusedError);
        const QString closed = network + QString::number(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("no length")
            << "no length" << QStringList({"Error downloading image"})
            << QStringList({"fatal: Downloading image error"});
        QTest::newRow("cut off") << "cut off" << QStringList({closed, "Error downloading image"})
                                 << QStringList({"fatal: " + closed, "fatal: Downloading image error"});
        QTest::newRow("not found")
            << "404" << QStringList({not_found, "Error downloading image"})
            << QStringList({"fatal: " + not_found, "fatal: Downloading image error"});
        QTest::newRow("server error")
            << "500" << QStringList({server_error, "Error downloading image"})
            << QStringList({"fatal: " + server_error, "fatal: Downloading image error"});
        QTest::newRow("refused")
            << "refused" << QStringList({refused, "Error downloading image"})
            << QStringList({"fatal: " + refused, "fatal: Downloading image error"});
        QTest::newRow("MD5 mismatch")
            << "corrupted" << QStringList({"Error downloading image"})
            << QStringList({"fatal: Downloading image error"});
    }

    void failed_download_leaves_no_image()
    {
        QFETCH(QString, failure);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, log);
        offer_download(md5_of(m_image) + "  kestrel-v2.img.gz\n");
        release_server::answer& image = m_server->answer_for(image_path());
        if (failure == "no length")
            image.send_length = false;
        else if (failure == "cut off")
            image.cut_after = m_image.size() / 2;
        else if (failure == "404" || failure == "500")
            image.status = failure.toInt();
        else if (failure == "refused")
            m_server->stop();
        else
            image.body[1000] = image.body[1000] ^ 1;
        const int logged_before = m_harness->log().size();

        m_harness->retriever->download_image();

        QTRY_COMPARE(m_harness->messages().size(), messages.size());
        QCOMPARE(m_harness->messages(), messages);
        QCOMPARE(m_harness->log().mid(logged_before + 1).filter("fatal"), log);
        QVERIFY(m_harness->finished->isEmpty());
        QCOMPARE(m_harness->downloaded_files(), QStringList());
    }

    void window_cancelling_on_error_leaves_no_image()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).cut_after = 100 * 1024;
        // As the main window does: every retriever message cancels the run.
        connect(m_harness->retriever.get(), &image_retriever::error_msg,
                m_harness->retriever.get(), &image_retriever::cancel);

        m_harness->retriever->download_image();

        QTRY_VERIFY(!m_harness->messages().isEmpty());
        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QVERIFY(m_harness->finished->isEmpty());
    }

    void uncreatable_image_file_stops_the_transfer()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 1000;

        m_harness->retriever->download_image();
        QVERIFY(QDir(m_harness->downloads()).mkdir("v2.gz"));

        QTRY_COMPARE(m_server->abandoned_transfers(), 1);
        QCOMPARE(m_harness->messages(), QStringList({"Network error: 0"}));
        QVERIFY(m_harness->log().contains("fatal: Cannot open filev2.gz"));
        QVERIFY(!QFile::exists(m_harness->downloads() + "/checksum.md5"));
        QVERIFY(m_harness->finished->isEmpty());
    }

    void cancel_before_the_first_data()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 0;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);
        m_harness->put_download("checksum.md5", md5_of(m_image));

        m_harness->retriever->cancel();

        QTRY_COMPARE(m_server->abandoned_transfers(), 1);
        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QVERIFY(m_harness->log().endsWith("info: Download canceled"));
        QVERIFY(m_harness->messages().isEmpty());
        QVERIFY(m_harness->finished->isEmpty());
    }

    void cancel_during_the_transfer()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 64 * 1024;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);
        QTRY_VERIFY(QFile::exists(m_harness->downloads() + "/v2.gz"));

        m_harness->retriever->cancel();

        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QTRY_COMPARE(m_server->abandoned_transfers(), 1);
        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QVERIFY(m_harness->log().endsWith("info: Download canceled"));
        QVERIFY(m_harness->messages().isEmpty());
        QVERIFY(m_harness->finished->isEmpty());
    }

    void cancel_after_a_download_of_this_run_removes_it()
    {
        offer_download(md5_of(m_image));
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_harness->finished->size(), 1);
        const int logged_before = m_harness->log().size();

        m_harness->retriever->cancel();

        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QCOMPARE(m_harness->log().size(), logged_before);
        m_harness->retriever->check_latest();
        QTRY_COMPARE(m_harness->not_downloaded->size(), 2);
    }

    void cancel_without_a_download_touches_nothing()
    {
        offer_download(md5_of(m_image));
        m_harness->put_download("v1.gz", "old");
        m_harness->put_download("checksum.md5", "old");

        m_harness->retriever->cancel();

        QCOMPARE(m_harness->downloaded_files(), QStringList({"checksum.md5", "v1.gz"}));
    }

    void new_query_during_a_download_drops_the_partial_image()
    {
        offer_download(md5_of(m_image));
        m_server->answer_for(image_path()).hold_after = 64 * 1024;
        m_harness->retriever->download_image();
        QTRY_COMPARE(m_server->held_transfers(), 1);

        m_harness->retriever->check_latest();

        QTRY_COMPARE(m_harness->not_downloaded->size(), 2);
        QCOMPARE(m_harness->downloaded_files(), QStringList());
        QVERIFY(m_harness->messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(test_image_retriever_download)
#include "test_image_retriever_download.moc"
