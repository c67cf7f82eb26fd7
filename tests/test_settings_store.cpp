#include "settings_store.h"

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

    QByteArray read_settings() const
    {
        QFile file(settings_path());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

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
