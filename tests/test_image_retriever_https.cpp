#include "release_server.h"
#include "retriever_harness.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

// Runs the retriever over TLS against a certificate made for this test alone; only this
// process trusts it, and only after the first test has shown that it is not trusted before.
class test_image_retriever_https : public QObject {
    Q_OBJECT

    QTemporaryDir m_keys;
    QSslCertificate m_certificate;
    QSslKey m_key;
    std::unique_ptr<release_server> m_server;
    const QByteArray m_image = QByteArray(300 * 1024, '\x5a') + "end";

    void start_server()
    {
        m_server = std::make_unique<release_server>();
        QVERIFY(m_server->start_tls(m_certificate, m_key));
        QVERIFY(m_server->base_url().startsWith("https://127.0.0.1:"));
        m_server->publish_release("v5", m_image,
                                  QCryptographicHash::hash(m_image, QCryptographicHash::Md5).toHex()
                                      + "  kestrel-v5.img.gz\n");
    }

private slots:
    void initTestCase()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS back end here");
        const QString certificate = m_keys.path() + "/certificate.pem";
        const QString key = m_keys.path() + "/key.pem";
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                  "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", key, "-out", certificate});
        QVERIFY(openssl.waitForFinished(60000));
        QVERIFY2(openssl.exitCode() == 0, openssl.readAll().constData());

        QFile certificate_file(certificate);
        QFile key_file(key);
        QVERIFY(certificate_file.open(QIODevice::ReadOnly) && key_file.open(QIODevice::ReadOnly));
        m_certificate = QSslCertificate(&certificate_file, QSsl::Pem);
        m_key = QSslKey(&key_file, QSsl::Rsa, QSsl::Pem);
        QVERIFY(!m_certificate.isNull() && !m_key.isNull());
    }

    void cleanup() { m_server.reset(); }

    void untrusted_certificate_is_refused()
    {
        start_server();
        retriever_harness harness(*m_server);

        harness.retriever->check_latest();

        QTRY_COMPARE(harness.errors->size(), 1);
        QCOMPARE(harness.messages(), QStringList({"Network error: 6 (secure connection failed)"}));
        QVERIFY(harness.not_downloaded->isEmpty() && harness.finished->isEmpty());
    }

    void query_and_download_over_tls()
    {
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.setCaCertificates({m_certificate});
        QSslConfiguration::setDefaultConfiguration(trusting);
        start_server();
        retriever_harness harness(*m_server);

        harness.retriever->check_latest();
        QTRY_COMPARE(harness.not_downloaded->size(), 1);
        QCOMPARE(harness.not_downloaded->at(0).at(0).value<uint64_t>(), uint64_t(m_image.size()));
        harness.retriever->download_image();

        QTRY_COMPARE(harness.finished->size(), 1);
        QVERIFY(harness.messages().isEmpty());
        QCOMPARE(harness.downloaded("v5.gz"), m_image);
        QCOMPARE(harness.downloaded_files(), QStringList({"checksum.md5", "v5.gz"}));
        QVERIFY(m_server->requests().contains("GET " + release_server::image_path("v5")));
    }
};

QTEST_GUILESS_MAIN(test_image_retriever_https)
#include "test_image_retriever_https.moc"
