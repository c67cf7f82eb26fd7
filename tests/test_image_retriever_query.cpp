#include "release_server.h"
#include "retriever_harness.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

const QByteArray md5_text = "9e107d9d372bb6826bd81d3542a419d6";

QByteArray image_bytes(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131) ^ (i >> 8));
    return bytes;
}

} // namespace

class test_image_retriever_query : public QObject {
    Q_OBJECT

    std::unique_ptr<release_server> m_server;

private slots:
    void init()
    {
        m_server = std::make_unique<release_server>();
        QVERIFY(m_server->start());
    }

    void cleanup() { m_server.reset(); }

    void cached_release_is_recognised_by_its_checksum_data()
    {
        QTest::addColumn<QByteArray>("checksum_text");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("image_present");
        QTest::newRow("hash, two blanks, name: only the hash compared")
            << md5_text + "  kestrel-release7.img.gz\n" << md5_text << true;
        QTest::newRow("no blank: compared whole, line end included")
            << md5_text + "\n" << md5_text + "\n" << true;
        QTest::newRow("image deleted by hand") << md5_text + " x" << md5_text << false;
    }

    void cached_release_is_recognised_by_its_checksum()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(QByteArray, stored);
        QFETCH(bool, image_present);
        m_server->publish_release("release7", image_bytes(1000), checksum_text);
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", stored);
        if (image_present)
            harness.put_download("release7.gz", "cached");

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.finished->size(), 1);
        QCOMPARE(harness.finished->at(0).at(0).value<std::string>(),
                 harness.data_folder() + "/downloads/release7.gz");
        QVERIFY(harness.not_downloaded->isEmpty());
        QVERIFY(harness.messages().isEmpty());
        QCOMPARE(harness.downloaded("checksum.md5"), stored);
        QCOMPARE(harness.downloaded_files().contains("release7.gz"), image_present);
        QVERIFY(!m_server->requests().join('\n').contains("HEAD"));
    }

    void missing_release_is_offered_with_its_size_data()
    {
        QTest::addColumn<QByteArray>("checksum_text");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<qint64>("head_length");
        QTest::addColumn<bool>("send_length");
        QTest::addColumn<quint64>("size");
        QTest::addColumn<int>("status");
        const QByteArray named = md5_text + "  kestrel-v2.img.gz\n";
        QTest::newRow("no checksum.md5") << named << QByteArray() << qint64(-1) << true
                                         << quint64(4096) << 200;
        QTest::newRow("another release cached") << named << QByteArray("0123") << qint64(-1)
                                                << true << quint64(4096) << 200;
        QTest::newRow("no blank: line end counts") << md5_text + "\n" << md5_text << qint64(-1)
                                                   << true << quint64(4096) << 200;
        QTest::newRow("no Content-Length") << named << QByteArray() << qint64(-1) << false
                                           << quint64(0) << 200;
        QTest::newRow("above 4 GiB, unchanged") << named << QByteArray() << (qint64(5) << 30) + 7
                                                << true << (quint64(5) << 30) + 7 << 200;
        QTest::newRow("size probe answered by an error page")
            << named << QByteArray() << qint64(-1) << true << quint64(0) << 404;
    }

    void missing_release_is_offered_with_its_size()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(QByteArray, stored);
        QFETCH(qint64, head_length);
        QFETCH(bool, send_length);
        QFETCH(quint64, size);
        QFETCH(int, status);
        m_server->publish_release("v2", image_bytes(4096), checksum_text);
        m_server->answer_for(release_server::image_path("v2")).status = status;
        m_server->answer_for(release_server::image_path("v2")).head_length = head_length;
        m_server->answer_for(release_server::image_path("v2")).send_length = send_length;
        retriever_harness harness(*m_server);
        harness.put_download("v1.gz", "old image");
        if (!stored.isNull())
            harness.put_download("checksum.md5", stored);

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.not_downloaded->size(), 1);
        QCOMPARE(harness.not_downloaded->at(0).at(0).value<uint64_t>(), size);
        QCOMPARE(harness.not_downloaded->at(0).at(1).value<std::string>(), std::string("v2"));
        QVERIFY(harness.finished->isEmpty());
        QVERIFY(harness.messages().isEmpty());
        QVERIFY(harness.log().contains("debug: Starting download"));
        QVERIFY(m_server->requests().contains("HEAD " + release_server::image_path("v2")));
        // Only a download changes the cache.
        QCOMPARE(harness.downloaded("v1.gz"), QByteArray("old image"));
    }

    void unreadable_checksum_file_counts_as_not_cached()
    {
        m_server->publish_release("v2", image_bytes(10), md5_text);
        retriever_harness harness(*m_server);
        QVERIFY(QDir(harness.downloads()).mkdir("checksum.md5"));

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.not_downloaded->size(), 1);
        QVERIFY(harness.finished->isEmpty());
    }

    void unsafe_release_tag_touches_no_file_data()
    {
        QTest::addColumn<QByteArray>("latest");
        auto tagged = [](const QString& tag) {
            return QJsonDocument(QJsonObject {{"tag_name", tag}}).toJson();
        };
        QTest::newRow("empty") << tagged("");
        QTest::newRow("member missing") << QByteArray(R"({"name": "v3"})");
        QTest::newRow("not a string") << QByteArray(R"({"tag_name": 3})");
        QTest::newRow("not JSON") << QByteArray("<html>rate limited</html>");
        QTest::newRow("129 bytes") << tagged(QString(129, 'a'));
        QTest::newRow("slash") << tagged("v3/../../evil");
        QTest::newRow("backslash") << tagged("v3\\evil");
        QTest::newRow("dot dot") << tagged("..");
        QTest::newRow("dot dot inside") << tagged("v3..1");
        QTest::newRow("line feed") << tagged("v3\n");
        QTest::newRow("tab") << tagged("v\t3");
        QTest::newRow("delete") << tagged(QString("v3") + QChar(0x7f));
        QTest::newRow("non-ASCII") << tagged(QString::fromUtf8("v3-\xc3\xa9"));
    }

    void unsafe_release_tag_touches_no_file()
    {
        QFETCH(QByteArray, latest);
        release_server::answer answer;
        answer.body = latest;
        m_server->set_answer(release_server::latest_path(), answer);
        retriever_harness harness(*m_server);
        harness.put_download("v1.gz", "old image");
        harness.put_download("checksum.md5", md5_text);

        harness.retriever->check_latest();
        QTRY_COMPARE(harness.errors->size(), 1);
        // Also an offer accepted from an earlier query must not use the rejected tag.
        harness.retriever->download_image();

        QCOMPARE(harness.messages(), QStringList({"Invalid release tag", "Invalid release tag"}));
        QVERIFY(harness.errors->at(0).at(1).toBool());
        QCOMPARE(harness.log(), QStringList({"fatal: Invalid release tag", "fatal: Invalid release tag"}));
        QCOMPARE(m_server->requests(), QStringList({"GET " + release_server::latest_path()}));
        QCOMPARE(harness.downloaded_files(), QStringList({"checksum.md5", "v1.gz"}));
        QCOMPARE(harness.downloaded("v1.gz"), QByteArray("old image"));
        QVERIFY(harness.finished->isEmpty() && harness.not_downloaded->isEmpty());
    }

    void unusual_but_safe_tag_reaches_the_right_paths()
    {
        // URL delimiters in a tag belong to the path, not to a query or fragment.
        const QString tag = "v 3?x#y%20" + QString(118, 'z');
        QCOMPARE(tag.size(), 128);
        m_server->publish_release(tag, image_bytes(300), md5_text);
        retriever_harness harness(*m_server);

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.not_downloaded->size(), 1);
        QCOMPARE(harness.not_downloaded->at(0).at(0).value<uint64_t>(), uint64_t(300));
        QCOMPARE(harness.not_downloaded->at(0).at(1).value<std::string>(), tag.toStdString());
        QVERIFY(m_server->requests().contains("GET " + release_server::checksum_path(tag)));
    }

    void endpoints_may_carry_a_path_prefix()
    {
        const QByteArray md5 = md5_text + "  kestrel-v2.img.gz\n";
        release_server::answer latest;
        latest.body = R"({"tag_name": "v2"})";
        m_server->set_answer("/api" + release_server::latest_path(), latest);
        release_server::answer checksum;
        checksum.body = md5;
        m_server->set_answer("/files/mirror" + release_server::checksum_path("v2"), checksum);
        release_server::answer image;
        image.body = image_bytes(77);
        m_server->set_answer("/files/mirror" + release_server::image_path("v2"), image);
        retriever_harness harness(m_server->base_url() + "/api", m_server->base_url() + "/files/mirror/");

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.not_downloaded->size(), 1);
        QCOMPARE(harness.not_downloaded->at(0).at(0).value<uint64_t>(), uint64_t(77));
    }

    void network_errors_are_reported_and_end_the_query_data()
    {
        QTest::addColumn<QString>("failing_path");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::newRow("latest release not found") << release_server::latest_path() << 404
                                                  << int(QNetworkReply::ContentNotFoundError);
        QTest::newRow("latest release forbidden (rate limit)")
            << release_server::latest_path() << 403 << int(QNetworkReply::ContentAccessDenied);
        QTest::newRow("checksum server failing") << release_server::checksum_path("v2") << 500
                                                 << int(QNetworkReply::InternalServerError);
    }

    void network_errors_are_reported_and_end_the_query()
    {
        QFETCH(QString, failing_path);
        QFETCH(int, status);
        QFETCH(int, code);
        m_server->publish_release("v2", image_bytes(10), md5_text);
        m_server->answer_for(failing_path).status = status;
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", "old");

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.errors->size(), 1);
        QTRY_VERIFY(m_server->requests().contains("GET " + failing_path));
        QTest::qWait(100);
        const QString text = "Network error: " + QString::number(code);
        QCOMPARE(harness.messages(), QStringList({text}));
        QCOMPARE(harness.log(), QStringList({"fatal: " + text}));
        QVERIFY(harness.finished->isEmpty() && harness.not_downloaded->isEmpty());
        QVERIFY(!m_server->requests().join('\n').contains("HEAD"));
        QCOMPARE(harness.downloaded("checksum.md5"), QByteArray("old"));
    }

    void refused_connection_is_reported()
    {
        const QString nowhere = "http://127.0.0.1:" + QString::number(release_server::unused_port());
        retriever_harness harness(nowhere, nowhere);

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.errors->size(), 1);
        const QString text = "Network error: " + QString::number(QNetworkReply::ConnectionRefusedError);
        QCOMPARE(harness.messages(), QStringList({text}));
        QCOMPARE(harness.log(), QStringList({"fatal: " + text}));
    }

    void earlier_queries_are_released()
    {
        m_server->publish_release("v2", image_bytes(10), md5_text);
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", md5_text);

        for (int flash = 1; flash <= 6; ++flash) {
            harness.retriever->check_latest();
            QTRY_COMPARE(harness.finished->size(), flash);
        }

        // Each query's manager keeps its connections open for as long as it lives.
        QTRY_VERIFY2(m_server->open_connections() <= 1,
                     qPrintable(QString::number(m_server->open_connections())));
    }
};

QTEST_GUILESS_MAIN(test_image_retriever_query)
#include "test_image_retriever_query.moc"
