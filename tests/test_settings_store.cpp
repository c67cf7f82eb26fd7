#include "config/settings_store.h"

#include "config/worker_name.h"
#include "file_size_limit.h"
#include "scoped_waits.h"
#include "unwritable_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <thread>

using std::chrono::milliseconds;

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
            return int(settings_store::save_settings(stored_folder, inputs {}));
        });
        QVERIFY(saved != int(settings_store::update::written));
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

    void update_under_the_lock_data()
    {
        QTest::addColumn<QString>("hindrance");
        QTest::addColumn<int>("outcome");
        const auto row = [](const char* name, settings_store::update outcome) {
            QTest::newRow(name) << QString(name) << int(outcome);
        };
        row("none", settings_store::update::written);
        row("change declined", settings_store::update::declined);
        row("lock held by another", settings_store::update::locked);
        row("folder read-only", settings_store::update::not_allowed);
        row("disk full", settings_store::update::full);
    }

    // Every change goes through the lock and says how it ended: a change that was not written
    // must not be taken for one that was, and the settings stored stay as they were.
    void update_under_the_lock()
    {
        QFETCH(QString, hindrance);
        QFETCH(int, outcome);
        QTemporaryDir folder;
        const std::string stored_folder = folder.path().toStdString();
        inputs values;
        values.worker = "rig(%d,5)";
        QCOMPARE(settings_store::save_settings(stored_folder, values), settings_store::update::written);
        const QByteArray stored = read_file(folder.path() + "/configuration.txt");
        // What a save killed between its write and its rename leaves: gone once a change holds
        // the lock, whatever becomes of the change.
        const QString unfinished = folder.path() + "/configuration.txt.AbC123";
        QFile(unfinished).open(QIODevice::WriteOnly);

        const auto advance = [&] {
            return settings_store::update_settings(stored_folder, [&hindrance](inputs& saved) {
                advance_worker_name(saved);
                return hindrance != "change declined";
            });
        };
        settings_store::update done = settings_store::update::failed;
        if (hindrance == "lock held by another") {
            const scoped_waits short_wait([](wait_lengths& lengths) { lengths.settings_lock = milliseconds(50); });
            QLockFile other(folder.path() + "/configuration.txt.lock");
            QVERIFY(other.tryLock(0));
            done = advance();
        } else if (hindrance == "folder read-only") {
            const unwritable_folder read_only(folder.path());
            done = advance();
        } else if (hindrance == "disk full") {
            // Room for the lock file, not for the settings.
            done = settings_store::update(file_size_limit::run_limited(100, [&] { return int(advance()); }));
        } else {
            done = advance();
        }
        QCOMPARE(int(done), outcome);
        const bool written = done == settings_store::update::written;
        QCOMPARE(settings_store::load_settings(stored_folder)->worker, std::string(written ? "rig(%d,6)" : "rig(%d,5)"));
        if (!written)
            QCOMPARE(read_file(folder.path() + "/configuration.txt"), stored);
        const bool lock_taken = done != settings_store::update::locked && done != settings_store::update::not_allowed;
        QCOMPARE(QFile::exists(unfinished), !lock_taken);
    }

    // Two takers of a name from one counter, the second coming while the first is between
    // reading the counter and writing it back: the lock makes the second wait, so it reads the
    // counter the first wrote, and no name is taken twice.
    void a_change_under_way_holds_the_next_back()
    {
        QTemporaryDir folder;
        const std::string stored_folder = folder.path().toStdString();
        inputs values;
        values.worker = "rig(%d)";
        QCOMPARE(settings_store::save_settings(stored_folder, values), settings_store::update::written);
        const auto take_name = [&](const std::function<void()>& inside) {
            std::string given;
            settings_store::update_settings(stored_folder, [&](inputs& saved) {
                given = expand_worker_name(saved.worker);
                advance_worker_name(saved);
                inside();
                return true;
            });
            return given;
        };
        std::promise<void> first_inside;
        std::promise<void> second_done;
        std::future<void> second_finished = second_done.get_future();
        std::string second_name;
        std::thread second([&] {
            first_inside.get_future().wait();
            second_name = take_name([] {});
            second_done.set_value();
        });
        const std::string first_name = take_name([&] {
            first_inside.set_value();
            // Without the lock the second has long taken its name by now.
            second_finished.wait_for(std::chrono::milliseconds(500));
        });
        second.join();
        QCOMPARE(first_name, std::string("rig1"));
        QCOMPARE(second_name, std::string("rig2"));
        QCOMPARE(settings_store::load_settings(stored_folder)->worker, std::string("rig(%d,3)"));
    }

    void unfinished_saves_are_removed_at_start()
    {
        QTemporaryDir folder;
        const std::string stored_folder = folder.path().toStdString();
        inputs values;
        values.btc = "btc";
        QCOMPARE(settings_store::save_settings(stored_folder, values), settings_store::update::written);
        for (const char* name : {"/configuration.txt.x1Y2z3", "/configuration.txt.bad"})
            QFile(folder.path() + name).open(QIODevice::WriteOnly);
        settings_store::remove_unfinished_saves(stored_folder);
        QCOMPARE(QDir(folder.path()).entryList({"configuration.txt*"}, QDir::Files),
                 QStringList({"configuration.txt", "configuration.txt.bad"}));
        QCOMPARE(settings_store::load_settings(stored_folder)->btc, std::string("btc"));
    }
};

QTEST_GUILESS_MAIN(test_settings_store)
#include "test_settings_store.moc"
