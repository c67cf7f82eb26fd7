#include "base/logger.h"
#include "config/image_configurator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class test_image_configurator : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    std::string data_folder() const { return m_folder.path().toStdString(); }
    QString settings_path() const { return m_folder.path() + "/configuration.txt"; }

    static QByteArray read_file(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    QByteArray log_content() const { return read_file(m_folder.path() + "/Kestrel Flash tool.log"); }

    // The document without its padding.
    static QByteArray document(const QByteArray& block)
    {
        int end = block.size();
        while (end > 0 && block[end - 1] == '\n')
            --end;
        return block.left(end + 1);
    }

    // A record whose document is exactly `size` bytes, grown through the BTC address.
    inputs values_of_document_size(int size)
    {
        inputs values;
        const int empty_size = document(image_configurator::configuration_block(values)).size();
        values.btc = std::string(size - empty_size, 'b');
        return values;
    }

private slots:
    void init()
    {
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        QFile::remove(settings_path());
        logger::init(data_folder());
    }

    void cleanupTestCase() { logger::close(); }

    void empty_inputs_give_every_leaf_padded_to_a_block()
    {
        QByteArray block = image_configurator::configuration_block(inputs());
        QCOMPARE(block.size(), 2048);
        const QByteArray expected = "{\n"
                                    "    \"access\": {\n"
                                    "        \"ssh\": {\n"
                                    "            \"key\": \"\"\n"
                                    "        }\n"
                                    "    },\n"
                                    "    \"network\": {\n"
                                    "        \"wireless\": {\n"
                                    "            \"key\": \"\",\n"
                                    "            \"ssid\": \"\"\n"
                                    "        }\n"
                                    "    },\n"
                                    "    \"rig\": {\n"
                                    "        \"btc\": \"\",\n"
                                    "        \"group\": \"\",\n"
                                    "        \"location\": \"\",\n"
                                    "        \"worker\": \"\"\n"
                                    "    }\n"
                                    "}\n";
        QCOMPARE(block.left(expected.size()), expected);
        QCOMPARE(block.mid(expected.size()), QByteArray(2048 - expected.size(), '\n'));
        QVERIFY(QRegularExpression(R"(\[debug\] \[.+\] Configuration file size: (\d+)\n)")
                    .match(QString::fromUtf8(log_content()))
                    .captured(1)
                == QString::number(expected.size()));
    }

    void values_are_placed_under_their_keys()
    {
        inputs values {"bc1q", "rig(%d,4)", "farm", "usa", "ssh-ed25519 A", "net", "pass", false};
        QByteArray block = image_configurator::configuration_block(values);
        QJsonObject root = QJsonDocument::fromJson(block).object();
        QCOMPARE(root.keys(), QStringList({"access", "network", "rig"}));
        QCOMPARE(root["access"].toObject()["ssh"].toObject()["key"].toString(), QString("ssh-ed25519 A"));
        QJsonObject wireless = root["network"].toObject()["wireless"].toObject();
        QCOMPARE(wireless["ssid"].toString(), QString("net"));
        QCOMPARE(wireless["key"].toString(), QString("pass"));
        QJsonObject rig = root["rig"].toObject();
        QCOMPARE(rig.keys(), QStringList({"btc", "group", "location", "worker"}));
        QCOMPARE(rig["btc"].toString(), QString("bc1q"));
        QCOMPARE(rig["group"].toString(), QString("farm"));
        QCOMPARE(rig["location"].toString(), QString("usa"));
        QCOMPARE(rig["worker"].toString(), QString("rig4"));
    }

    // The run hands out the names and saves the settings; the document only expands.
    void document_keeps_the_expansion_and_saves_nothing()
    {
        inputs values;
        values.worker = "rig(%d)";
        QByteArray block = image_configurator::configuration_block(values);
        QVERIFY(block.contains("\"worker\": \"rig1\""));
        QVERIFY(!QFile::exists(settings_path()));
    }

    void size_limit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("fits");
        QTest::newRow("2047") << 2047 << true;
        QTest::newRow("2048") << 2048 << true;
        QTest::newRow("2049") << 2049 << false;
    }

    void size_limit()
    {
        QFETCH(int, size);
        QFETCH(bool, fits);
        inputs values = values_of_document_size(size);
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        logger::init(data_folder());
        QFile settings(settings_path());
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("previous");
        settings.close();

        QByteArray block = image_configurator::configuration_block(values);
        QVERIFY(log_content().contains("Configuration file size: " + QByteArray::number(size) + "\n"));
        if (fits) {
            QCOMPARE(block.size(), 2048);
            QCOMPARE(block.count('\n') - document(block).count('\n'), 2048 - size);
        } else {
            QVERIFY(block.isEmpty());
            QVERIFY(QRegularExpression(R"(\[fatal\] \[.+\] Configuration file exceeds 2kB\n)")
                        .match(QString::fromUtf8(log_content()))
                        .hasMatch());
        }
        QCOMPARE(read_file(settings_path()), QByteArray("previous"));
    }

    void escapes_and_utf8_count_in_bytes()
    {
        inputs plain;
        const int plain_size = document(image_configurator::configuration_block(plain)).size();

        inputs escaped;
        escaped.group = "a\"b\\c\n";
        QByteArray block = image_configurator::configuration_block(escaped);
        QVERIFY(block.contains("\"group\": \"a\\\"b\\\\c\\n\""));
        QCOMPARE(document(block).size(), plain_size + 9);

        inputs accented;
        accented.ssid = "Büro€";
        block = image_configurator::configuration_block(accented);
        QVERIFY(block.contains("\"ssid\": \"B\xc3\xbcro\xe2\x82\xac\""));
        QCOMPARE(document(block).size(), plain_size + 8);
    }
};

QTEST_GUILESS_MAIN(test_image_configurator)
#include "test_image_configurator.moc"
