#include "release_server.h"
#include "retriever_harness.h"
#include "scoped_waits.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono_literals;

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
        QTest::addColumn<QString>("image_file");
        QTest::newRow("hash, two blanks, name: only the hash compared")
            << md5_text + "  kestrel-release7.img.gz\n" << md5_text + "  release7.gz" << "release7.gz";
        QTest::newRow("no blank: the line end is no part of the hash")
            << md5_text + "\n" << md5_text << "release7.gz";
        QTest::newRow("only the decompressed image left") << md5_text + " x" << md5_text << "release7";
    }

    void cached_release_is_recognised_by_its_checksum()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(QByteArray, stored);
        QFETCH(QString, image_file);
        m_server->publish_release("release7", image_bytes(1000), checksum_text);
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", stored);
        harness.put_download(image_file, "cached");

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.finished->size(), 1);
        QCOMPARE(harness.finished->at(0).at(0).value<std::string>(),
                 harness.data_folder() + "/downloads/release7.gz");
        QVERIFY(harness.not_downloaded->isEmpty());
        QVERIFY(harness.messages().isEmpty());
        QCOMPARE(harness.downloaded("checksum.md5"), stored);
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
        QTest::newRow("checksum.md5 matches, image files gone")
            << md5_text + "\n" << md5_text + "  v2.gz" << qint64(-1) << true << quint64(4096) << 200;
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
        QTest::addColumn<QString>("text");
        QTest::newRow("latest release not found") << release_server::latest_path() << 404
                                                  << "Network error: 203 (not found on the server)";
        QTest::newRow("latest release forbidden (rate limit)")
            << release_server::latest_path() << 403 << "Network error: 201 (access denied by the server)";
        QTest::newRow("checksum server failing")
            << release_server::checksum_path("v2") << 500 << "Network error: 401 (server failure)";
    }

    void network_errors_are_reported_and_end_the_query()
    {
        QFETCH(QString, failing_path);
        QFETCH(int, status);
        QFETCH(QString, text);
        m_server->publish_release("v2", image_bytes(10), md5_text);
        m_server->answer_for(failing_path).status = status;
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", "old");

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.errors->size(), 1);
        QTRY_VERIFY(m_server->requests().contains("GET " + failing_path));
        QTest::qWait(100);
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
        const QString text = "Network error: 1 (connection refused)";
        QCOMPARE(harness.messages(), QStringList({text}));
        QCOMPARE(harness.log(), QStringList({"fatal: " + text}));
    }

    void checksum_that_is_no_md5_changes_nothing_data()
    {
        QTest::addColumn<QByteArray>("checksum_text");
        QTest::addColumn<bool>("send_length");
        const QByteArray huge(8 << 20, 'a');
        QTest::newRow("HTML page") << QByteArray("<html>mirror maintenance</html>") << true;
        QTest::newRow("starts with a blank") << " " + md5_text + "  kestrel-v2.img.gz" << true;
        QTest::newRow("31 digits") << md5_text.left(31) + "  kestrel-v2.img.gz" << true;
        QTest::newRow("33 digits") << md5_text + "0" << true;
        QTest::newRow("not hex") << "g" + md5_text.mid(1) << true;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("8 MiB after the hash") << md5_text + "  " + huge << true;
        QTest::newRow("8 MiB, no length") << huge << false;
    }

    void checksum_that_is_no_md5_changes_nothing()
    {
        QFETCH(QByteArray, checksum_text);
        QFETCH(bool, send_length);
        m_server->publish_release("v2", image_bytes(10), checksum_text);
        m_server->answer_for(release_server::checksum_path("v2")).send_length = send_length;
        retriever_harness harness(*m_server);
        // What taking the junk for a checksum would have stored the last time.
        const QByteArray junk_record = checksum_text.left(checksum_text.indexOf(' ')).left(100);
        harness.put_download("checksum.md5", junk_record);
        harness.put_download("v1.gz", "old image");

        harness.retriever->check_latest();
        QTRY_COMPARE(harness.errors->size(), 1);
        harness.retriever->download_image();

        QCOMPARE(harness.messages(), QStringList({"Invalid release checksum", "Invalid release checksum"}));
        QVERIFY(harness.errors->at(0).at(1).toBool());
        QVERIFY(harness.log().contains("fatal: Invalid release checksum"));
        QVERIFY(harness.finished->isEmpty() && harness.not_downloaded->isEmpty());
        QVERIFY(!m_server->requests().contains("GET " + release_server::image_path("v2")));
        QCOMPARE(harness.downloaded_files(), QStringList({"checksum.md5", "v1.gz"}));
        QCOMPARE(harness.downloaded("checksum.md5"), junk_record);
        // Only a few KiB were taken of a long answer.
        if (checksum_text.size() > 4096)
            QTRY_COMPARE(m_server->abandoned_transfers(), 1);
    }

    void silent_server_ends_the_request_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("hold_after");
        QTest::addColumn<QString>("message");
        const QString timeout = "Network error: 4 (no answer from the server)";
        QTest::newRow("release service silent") << release_server::latest_path() << qint64(-1) << timeout;
        QTest::newRow("checksum silent") << release_server::checksum_path("v2") << qint64(-1) << timeout;
        QTest::newRow("checksum stops midway") << release_server::checksum_path("v2") << qint64(10) << timeout;
        QTest::newRow("size probe silent") << release_server::image_path("v2") << qint64(-1) << timeout;
        QTest::newRow("slow but steady answer") << release_server::latest_path() << qint64(-2) << QString();
    }

    void silent_server_ends_the_request()
    {
        QFETCH(QString, path);
        QFETCH(qint64, hold_after);
        QFETCH(QString, message);
        m_server->publish_release("v2", image_bytes(10), md5_text);
        release_server::answer& answer = m_server->answer_for(path);
        answer.silent = hold_after == -1;
        answer.hold_after = hold_after >= 0 ? hold_after : -1;
        if (hold_after == -2) {
            // Longer than the limit in all, but never silent for a tenth of it.
            answer.piece_size = 1;
            answer.piece_delay_ms = 100;
        }
        scoped_waits waits([](wait_lengths& lengths) { lengths.network_silence = 1000ms; });
        retriever_harness harness(*m_server);

        harness.retriever->check_latest();

        if (message.isEmpty()) {
            QTRY_COMPARE(harness.not_downloaded->size(), 1);
            QVERIFY(harness.messages().isEmpty());
            return;
        }
        QTRY_COMPARE(harness.errors->size(), 1);
        QCOMPARE(harness.messages(), QStringList({message}));
        QVERIFY(harness.errors->at(0).at(1).toBool());
        QVERIFY(harness.log().contains("fatal: " + message));
        QVERIFY(harness.finished->isEmpty() && harness.not_downloaded->isEmpty());
    }

    void abandoned_request_reports_nothing_data()
    {
        QTest::addColumn<bool>("by_new_query");
        QTest::newRow("cancel()") << false;
        QTest::newRow("a new query") << true;
    }

    void abandoned_request_reports_nothing()
    {
        QFETCH(bool, by_new_query);
        m_server->publish_release("v2", image_bytes(10), md5_text);
        m_server->answer_for(release_server::latest_path()).silent = true;
        scoped_waits waits([](wait_lengths& lengths) { lengths.network_silence = 1000ms; });
        retriever_harness harness(*m_server);
        harness.retriever->check_latest();
        QTRY_COMPARE(m_server->requests().size(), 1);

        if (by_new_query) {
            m_server->answer_for(release_server::latest_path()).silent = false;
            harness.retriever->check_latest();
            QTRY_COMPARE(harness.not_downloaded->size(), 1);
        } else {
            harness.retriever->cancel();
        }

        // Past the silence that would have ended the abandoned request.
        QTest::qWait(1500);
        QVERIFY(harness.messages().isEmpty());
        QCOMPARE(harness.not_downloaded->size(), by_new_query ? 1 : 0);
    }

    void unreachable_servers_flash_the_cached_release_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("cached_file");
        QTest::addColumn<bool>("stop_on_message");
        QTest::addColumn<QString>("message");
        const QString offline = "Release server unreachable: flashing the cached v1.2.3";
        QTest::newRow("service refused, .gz cached") << "refused" << "" << "v1.2.3.gz" << false << offline;
        QTest::newRow("service silent, decompressed image cached")
            << "silent" << "" << "v1.2.3" << false << offline;
        QTest::newRow("file server down, the cached release named")
            << "503" << "v1.2.3" << "v1.2.3.gz" << false << offline;
        QTest::newRow("the window stops at the message") << "refused" << "" << "v1.2.3.gz" << true << offline;
        QTest::newRow("file server down, a newer release named")
            << "503" << "v1.3.0" << "v1.2.3.gz" << false << "Network error: 403 (server unavailable)";
        QTest::newRow("service refused, image files gone")
            << "refused" << "" << "" << false << "Network error: 1 (connection refused)";
        QTest::newRow("service answers not found")
            << "404" << "" << "v1.2.3.gz" << false << "Network error: 203 (not found on the server)";
    }

    void unreachable_servers_flash_the_cached_release()
    {
        QFETCH(QString, failure);
        QFETCH(QString, named);
        QFETCH(QString, cached_file);
        QFETCH(bool, stop_on_message);
        QFETCH(QString, message);
        m_server->publish_release(named.isEmpty() ? "v1.2.3" : named, image_bytes(10), md5_text);
        if (failure == "503")
            m_server->answer_for(release_server::checksum_path(named)).status = 503;
        else if (failure == "404")
            m_server->answer_for(release_server::latest_path()).status = 404;
        else if (failure == "silent")
            m_server->answer_for(release_server::latest_path()).silent = true;
        const QString base = failure == "refused"
            ? "http://127.0.0.1:" + QString::number(release_server::unused_port())
            : m_server->base_url();
        scoped_waits waits([](wait_lengths& lengths) { lengths.network_silence = 1000ms; });
        retriever_harness harness(base, base);
        const QByteArray record = md5_text + "  v1.2.3.gz";
        harness.put_download("checksum.md5", record);
        if (!cached_file.isEmpty())
            harness.put_download(cached_file, "cached");
        if (stop_on_message)
            connect(harness.retriever.get(), &image_retriever::error_msg, harness.retriever.get(),
                    &image_retriever::cancel);

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.errors->size(), 1);
        QTest::qWait(100);
        QCOMPARE(harness.messages(), QStringList({message}));
        const bool flashes = message.startsWith("Release") && !stop_on_message;
        QCOMPARE(harness.errors->at(0).at(1).toBool(), !message.startsWith("Release"));
        QCOMPARE(harness.finished->size(), flashes ? 1 : 0);
        if (flashes)
            QCOMPARE(harness.finished->at(0).at(0).value<std::string>(),
                     harness.data_folder() + "/downloads/v1.2.3.gz");
        QCOMPARE(harness.downloaded("checksum.md5"), record);
        QVERIFY(harness.not_downloaded->isEmpty());
    }

    void earlier_queries_are_released()
    {
        m_server->publish_release("v2", image_bytes(10), md5_text);
        retriever_harness harness(*m_server);
        harness.put_download("checksum.md5", md5_text);
        harness.put_download("v2.gz", "cached");

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
