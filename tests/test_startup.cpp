#include "tool_process.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray read_file(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void write_file(const QString& path, const QByteArray& content, QFile::Permissions permissions)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    file.setPermissions(permissions);
}

const QFile::Permissions everyone_all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
    | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
    | QFile::WriteOther | QFile::ExeOther;

} // namespace

class test_startup : public QObject {
    Q_OBJECT

    // A world-writable sandbox, so that the unprivileged start can use it when tests run as root.
    struct sandbox {
        QTemporaryDir root;
        QString home() const { return root.path() + "/home"; }
        QString data_home() const { return root.path() + "/home/.local/share"; }
        QString data_folder() const { return data_home() + "/Kestrel Flash Tool"; }
        QString stub_bin() const { return root.path() + "/bin"; }
        QString relaunches() const { return root.path() + "/relaunches"; }
        QString program() const { return root.path() + "/app/kestrel-flash-tool"; }

        sandbox()
        {
            for (const QString& folder : {home(), data_home(), stub_bin(), relaunches(),
                                          root.path() + "/app"}) {
                QDir().mkpath(folder);
                QFile::setPermissions(folder, everyone_all);
            }
            QFile::setPermissions(root.path(), everyone_all);
            QFile::setPermissions(root.path() + "/home/.local", everyone_all);
            // A copy, so that the unprivileged user can run it wherever the build lives.
            QFile::copy(tool_process::program_path(), program());
            QFile::setPermissions(program(), everyone_all);
            write_file(stub_bin() + "/pkexec",
                       "#!/bin/sh\n"
                       "printf '%s\\n' \"$@\" > \"$RELAUNCH_RECORDS/.$$\"\n"
                       "mv \"$RELAUNCH_RECORDS/.$$\" \"$RELAUNCH_RECORDS/$$\"\n",
                       everyone_all);
        }

        QProcessEnvironment environment() const
        {
            QProcessEnvironment environment;
            environment.insert("PATH", stub_bin() + ":/usr/bin:/bin");
            environment.insert("HOME", home());
            environment.insert("XDG_DATA_HOME", data_home());
            const QMap<QString, QString> variables = display();
            for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable)
                environment.insert(variable.key(), variable.value());
            environment.insert("RELAUNCH_RECORDS", relaunches());
            environment.insert("QT_QPA_PLATFORM", "offscreen");
            environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS"));
            return environment;
        }

        // What the elevated copy needs to show its window on the user's display.
        QMap<QString, QString> display() const
        {
            return {{"DISPLAY", ":7"}, {"XAUTHORITY", home() + "/.Xauthority"},
                    {"WAYLAND_DISPLAY", "wayland-7"}, {"XDG_RUNTIME_DIR", root.path() + "/run"}};
        }

        QStringList relaunch_records() const
        {
            return QDir(relaunches()).entryList(QDir::Files);
        }
    };

private slots:
    void unelevated_start_prepares_folder_and_relaunches_once()
    {
        sandbox box;
        tool_process::result outcome =
            tool_process::run_unprivileged(box.program(), {}, box.environment());
        QVERIFY2(outcome.finished, qPrintable(outcome.output));
        QCOMPARE(outcome.exit_code, 0);

        QVERIFY(QFileInfo(box.data_folder() + "/downloads").isDir());
        QCOMPARE(read_file(box.data_folder() + "/configuration.txt"), QByteArray());
        QVERIFY(QFile::exists(box.data_folder() + "/Kestrel Flash tool.log"));
        QCOMPARE(read_file(box.data_folder() + "/Kestrel Flash tool.log"), QByteArray());

        QTRY_COMPARE_WITH_TIMEOUT(box.relaunch_records().size(), 1, 10000);
        QTest::qWait(300);
        QCOMPARE(box.relaunch_records().size(), 1);
        QStringList command = QString::fromUtf8(
            read_file(box.relaunches() + "/" + box.relaunch_records().first())).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(command.first(), QString("env"));
        QCOMPARE(command.last(), box.program());
        QVERIFY(command.contains("HOME=" + box.home()));
        QVERIFY(command.contains("XDG_DATA_HOME=" + box.data_home()));
        const QMap<QString, QString> display = box.display();
        for (auto variable = display.cbegin(); variable != display.cend(); ++variable)
            QVERIFY2(command.contains(variable.key() + "=" + variable.value()), qPrintable(variable.key()));
    }

    void unelevated_start_keeps_existing_contents()
    {
        sandbox box;
        QDir().mkpath(box.data_folder());
        QFile::setPermissions(box.data_folder(), everyone_all);
        write_file(box.data_folder() + "/configuration.txt", "{\"rig\": {}}", everyone_all);
        write_file(box.data_folder() + "/Kestrel Flash tool.log", "old line\n", everyone_all);

        tool_process::result outcome =
            tool_process::run_unprivileged(box.program(), {}, box.environment());
        QCOMPARE(outcome.exit_code, 0);
        QCOMPARE(read_file(box.data_folder() + "/configuration.txt"), QByteArray("{\"rig\": {}}"));
        QCOMPARE(read_file(box.data_folder() + "/Kestrel Flash tool.log"), QByteArray("old line\n"));
        QVERIFY(QFileInfo(box.data_folder() + "/downloads").isDir());
        QTRY_COMPARE_WITH_TIMEOUT(box.relaunch_records().size(), 1, 10000);
    }

    void elevated_start_uses_given_folder_and_logs_version()
    {
        sandbox box;
        QTemporaryDir given;
        QProcessEnvironment environment = box.environment();
        // Over a fake host tree nothing needs rights, so a normal user starts elevated too.
        if (!tool_process::running_as_root())
            environment.insert("KESTREL_HOST_ROOT", given.path());
        const QString log_path = given.path() + "/Kestrel Flash tool.log";

        const QByteArray version_text = "Kestrel Flash Tool version: 1.0.6";
        for (int start = 1; start <= 2; ++start) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            process.start(box.program(), {given.path()});
            QVERIFY(process.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(read_file(log_path).count(version_text), start, 30000);
            // The window logs "visible" when it is shown.
            QTRY_COMPARE_WITH_TIMEOUT(read_file(log_path).count("] visible\n"), start, 30000);
            process.terminate();
            QVERIFY(process.waitForFinished(30000));
        }

        QRegularExpression version_line(
            R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[fatal\] \[[^\]]*main/main\.cpp:\d+\] )"
            R"(\[int main\(int, char\*\*\)\] Kestrel Flash Tool version: 1\.0\.6$)");
        QList<QByteArray> starts;
        for (const QByteArray& line : read_file(log_path).split('\n')) {
            if (line.contains(version_text)) {
                QVERIFY2(version_line.match(QString::fromUtf8(line)).hasMatch(), line.constData());
                starts.append("version");
            } else if (line.endsWith("] visible")) {
                starts.append("visible");
            }
        }
        // Each start writes its version line before its window shows.
        QCOMPARE(starts, (QList<QByteArray> {"version", "visible", "version", "visible"}));

        QCOMPARE(QDir(box.data_home()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QVERIFY(!QFile::exists(given.path() + "/downloads"));
        QVERIFY(!QFile::exists(given.path() + "/configuration.txt"));
        QVERIFY(box.relaunch_records().isEmpty());
    }
};

QTEST_GUILESS_MAIN(test_startup)
#include "test_startup.moc"
