#include "settings_store.h"

#include "file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class test_settings_store : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    std::string data_folder() const { return m_folder.path().toStdString(); }
    QString settings_path() const { return m_folder.path() + "/configuration.txt"; }

    void write_settings(const QByteArray& content)
    {
        QFile file(settings_path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    static QByteArray read_file(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    QByteArray read_settings() const { return read_file(settings_path()); }

    static void verify_defaults(const inputs& values)
    {
        QVERIFY(values.btc.empty() && values.worker.empty() && values.group.empty());
        QVERIFY(values.location.empty() && values.ssh_key.empty());
        QVERIFY(values.ssid.empty() && values.wireless_key.empty());
        QVERIFY(!values.dont_show_again);
    }

private slots:
    void unusable_files_load_as_defaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty, as created at start-up") << QByteArray();
        QTest::newRow("malformed") << QByteArray("{\"rig\": {\"btc\": ");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("members of other types")
            << QByteArray(R"({"rig": {"btc": 5, "worker": null}, "flash_tool": {"dont_show_again": 1}})");
    }

    void unusable_files_load_as_defaults()
    {
        QFETCH(QByteArray, content);
        write_settings(content);
        verify_defaults(*settings_store::load_settings(data_folder()));
    }

    void missing_file_loads_as_defaults()
    {
        verify_defaults(*settings_store::load_settings(data_folder() + "/absent"));
    }

    void wrong_type_of_one_object_spares_the_others()
    {
        write_settings(R"({"rig": "not an object",
                           "access": {"ssh": {"key": "ssh-ed25519 AAAA"}},
                           "network": {"wireless": {"ssid": "farm", "key": "secret"}},
                           "flash_tool": {"dont_show_again": true}})");
        auto values = settings_store::load_settings(data_folder());
        QVERIFY(values->btc.empty() && values->worker.empty());
        QCOMPARE(values->ssh_key, std::string("ssh-ed25519 AAAA"));
        QCOMPARE(values->ssid, std::string("farm"));
        QCOMPARE(values->wireless_key, std::string("secret"));
        QVERIFY(values->dont_show_again);
    }

    void flag_stored_as_text_loads_as_false()
    {
        write_settings(R"({"flash_tool": {"dont_show_again": "true"}})");
        QVERIFY(!settings_store::load_settings(data_folder())->dont_show_again);
    }

    void save_writes_every_member_also_empty_ones()
    {
        inputs values;
        values.worker = "rig(%d)";
        settings_store::save_settings(data_folder(), values);

        const QByteArray expected = R"json({
    "access": {
        "ssh": {
            "key": ""
        }
    },
    "flash_tool": {
        "dont_show_again": false
    },
    "network": {
        "wireless": {
            "key": "",
            "ssid": ""
        }
    },
    "rig": {
        "btc": "",
        "group": "",
        "location": "",
        "worker": "rig(%d)"
    }
}
)json";
        QCOMPARE(read_settings(), expected);
    }

    void saved_values_load_back_unchanged()
    {
        inputs values {"bc1qxy2kgdygjrsqtzq2n0yrf2493p83kkfjhx0wlh", "Über-rig(%d,3)", "hall \"B\"",
                       "usa", "ssh-rsa AAAA\\x user@host", "Café wifi", "pass\tword", true};
        settings_store::save_settings(data_folder(), values);
        auto loaded = settings_store::load_settings(data_folder());
        QCOMPARE(loaded->btc, values.btc);
        QCOMPARE(loaded->worker, values.worker);
        QCOMPARE(loaded->group, values.group);
        QCOMPARE(loaded->location, values.location);
        QCOMPARE(loaded->ssh_key, values.ssh_key);
        QCOMPARE(loaded->ssid, values.ssid);
        QCOMPARE(loaded->wireless_key, values.wireless_key);
        QVERIFY(loaded->dont_show_again);
    }

    void save_replaces_a_longer_file_whole()
    {
        write_settings(QByteArray(10000, ' ') + "{}");
        settings_store::save_settings(data_folder(), inputs {});
        QJsonParseError error;
        QJsonDocument::fromJson(read_settings(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(read_settings().size() < 1000);
    }

    void byte_that_is_not_utf8_spares_the_other_settings()
    {
        write_settings("{\"rig\": {\"btc\": \"1BoatSLRHtKNngkdXEeobR76b53LETtpyT\", \"worker\": \"rig(%d)\"},"
                       " \"network\": {\"wireless\": {\"ssid\": \"Caf\xe9\", \"key\": \"secret\"}}}");
        auto values = settings_store::load_settings(data_folder());
        QCOMPARE(values->btc, std::string("1BoatSLRHtKNngkdXEeobR76b53LETtpyT"));
        QCOMPARE(values->worker, std::string("rig(%d)"));
        QCOMPARE(values->wireless_key, std::string("secret"));
        QCOMPARE(QString::fromStdString(values->ssid), QString("Caf") + QChar(QChar::ReplacementCharacter));
    }

    void unreadable_file_is_kept_before_a_save_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("kept");
        QTest::newRow("a byte that is not UTF-8") << QByteArray("{\"rig\": {\"group\": \"h\xe4ll\"}}") << true;
        QTest::newRow("malformed") << QByteArray("{\"rig\": {\"btc\": ") << true;
        QTest::newRow("empty, as created at start-up") << QByteArray() << false;
        QTest::newRow("readable") << QByteArray("{\"rig\": {\"group\": \"hall\"}}") << false;
    }

    void unreadable_file_is_kept_before_a_save()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, kept);
        QFile::remove(settings_path() + ".bad");
        write_settings(content);
        inputs values;
        values.btc = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";
        settings_store::save_settings(data_folder(), values);
        QCOMPARE(QFile::exists(settings_path() + ".bad"), kept);
        if (kept)
            QCOMPARE(read_file(settings_path() + ".bad"), content);
        QCOMPARE(settings_store::load_settings(data_folder())->btc,
                 std::string("1BoatSLRHtKNngkdXEeobR76b53LETtpyT"));
    }

    void save_on_a_full_disk_keeps_the_stored_settings_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("no byte fits") << qint64(0);
        QTest::newRow("100 bytes fit") << qint64(100);
    }

    // A file-size limit of the kernel stands for the full disk.
    void save_on_a_full_disk_keeps_the_stored_settings()
    {
        QFETCH(qint64, limit);
        QTemporaryDir folder;
        const std::string stored_folder = folder.path().toStdString();
        inputs values;
        values.btc = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";
        values.worker = "rig(%d,5)";
        settings_store::save_settings(stored_folder, values);
        const QByteArray stored = read_file(folder.path() + "/configuration.txt");

        const int saved = file_size_limit::run_limited(limit, [&] {
            settings_store::save_settings(stored_folder, inputs {});
            return 0;
        });
        QCOMPARE(saved, 0);
        QCOMPARE(read_file(folder.path() + "/configuration.txt"), stored);
        QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList {"configuration.txt"});
    }

    void failed_save_keeps_the_stored_settings()
    {
        // A folder in the way of the settings file stands for any save that cannot complete.
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("configuration.txt"));
        inputs values;
        values.btc = "btc";
        settings_store::save_settings(folder.path().toStdString(), values);
        QVERIFY(QFileInfo(folder.path() + "/configuration.txt").isDir());
        QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList {"configuration.txt"});
    }
};

QTEST_GUILESS_MAIN(test_settings_store)
#include "test_settings_store.moc"
