#include "app/command_line.h"
#include "app/permission_manager.h"
#include "release_server.h"
#include "tool_process.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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

// The parent of a running process: the field after the state in /proc/PID/stat, which follows
// the command in parentheses.
qint64 parent_of(const QString& pid)
{
    const QByteArray stat = read_file("/proc/" + pid + "/stat");
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
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
            // Held, when hold() is a named pipe, until a line is written to it.
            write_file(stub_bin() + "/pkexec",
                       "#!/bin/sh\n"
                       "printf '%s\\n' \"$@\" > \"$RELAUNCH_RECORDS/.$$\"\n"
                       "mv \"$RELAUNCH_RECORDS/.$$\" \"$RELAUNCH_RECORDS/$$\"\n"
                       "[ -p \"$RELAUNCH_RECORDS/../hold\" ] && read go < \"$RELAUNCH_RECORDS/../hold\"\n"
                       "exit ${PKEXEC_STATUS:-0}\n",
                       everyone_all);
        }

        QString hold() const { return root.path() + "/hold"; }

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

        // The arguments pkexec was given, one relaunch.
        QStringList relaunch_command() const
        {
            return QString::fromUtf8(read_file(relaunches() + "/" + relaunch_records().first()))
                .split('\n', Qt::SkipEmptyParts);
        }
    };

private slots:
    void unelevated_start_prepares_folder_and_relaunches_once()
    {
        sandbox box;
        const QStringList options {"--release-service", "https://mirror.example/api",
                                   "--file-server=http://127.0.0.1:8642/files"};
        QVERIFY(mkfifo(box.hold().toUtf8().constData(), 0666) == 0);
        QFile::setPermissions(box.hold(), everyone_all);
        QProcess program;
        tool_process::start_unprivileged(program, box.program(), options, box.environment());
        QTRY_COMPARE_WITH_TIMEOUT(box.relaunch_records().size(), 1, 10000);
        {
            // pkexec now waits at the hold until it is let go, at the end of this block.
            const auto let_pkexec_go = qScopeGuard([&] {
                QFile hold(box.hold());
                hold.open(QIODevice::WriteOnly);
                hold.write("go\n");
            });
            // pkexec asks polkit about its caller and serves none that has gone: the program is
            // its parent and waits while pkexec asks for the password.
            QCOMPARE(parent_of(box.relaunch_records().first()), program.processId());
            QCOMPARE(program.state(), QProcess::Running);
        }
        QVERIFY2(program.waitForFinished(30000), program.readAll().constData());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QVERIFY(QFileInfo(box.data_folder() + "/downloads").isDir());
        QCOMPARE(read_file(box.data_folder() + "/configuration.txt"), QByteArray());
        QVERIFY(QFile::exists(box.data_folder() + "/Kestrel Flash tool.log"));
        QCOMPARE(read_file(box.data_folder() + "/Kestrel Flash tool.log"), QByteArray());

        // The program outlives every pkexec it started: none can come after it.
        QCOMPARE(box.relaunch_records().size(), 1);
        // pkexec runs the program itself, so that the polkit action naming it applies, then
        // the session's variables as options, then the options, in their long form.
        const QMap<QString, QString> display = box.display();
        QCOMPARE(box.relaunch_command(),
                 QStringList({box.program(),
                              "--session-variable", "DISPLAY=" + display["DISPLAY"],
                              "--session-variable", "XAUTHORITY=" + display["XAUTHORITY"],
                              "--session-variable", "WAYLAND_DISPLAY=" + display["WAYLAND_DISPLAY"],
                              "--session-variable", "XDG_RUNTIME_DIR=" + display["XDG_RUNTIME_DIR"],
                              "--session-variable", "HOME=" + box.home(),
                              "--session-variable", "XDG_DATA_HOME=" + box.data_home(),
                              "--release-service", "https://mirror.example/api",
                              "--file-server", "http://127.0.0.1:8642/files"}));
    }

    void unelevated_start_keeps_existing_contents()
    {
        sandbox box;
        QDir().mkpath(box.data_folder());
        QFile::setPermissions(box.data_folder(), everyone_all);
        write_file(box.data_folder() + "/configuration.txt", "{\"rig\": {}}", everyone_all);
        write_file(box.data_folder() + "/Kestrel Flash tool.log", "old line\n", everyone_all);

        // Without XDG_DATA_HOME the data folder is under HOME, for the elevated copy too; a
        // session without Wayland passes on no WAYLAND_DISPLAY. Started by its bare name, as a
        // menu entry does, from a folder of PATH that links to where it is: pkexec is given
        // its real path, the one a polkit action names.
        const QString linked_folder = box.root.path() + "/linked";
        QVERIFY(QFile::link(box.root.path() + "/app", linked_folder));
        QProcessEnvironment environment = box.environment();
        environment.remove("XDG_DATA_HOME");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("PATH", box.stub_bin() + ":" + linked_folder + ":/usr/bin:/bin");
        tool_process::result outcome = tool_process::run_unprivileged(
            "/bin/sh", {"-c", "exec kestrel-flash-tool"}, environment);
        QCOMPARE(outcome.exit_code, 0);
        QCOMPARE(read_file(box.data_folder() + "/configuration.txt"), QByteArray("{\"rig\": {}}"));
        QCOMPARE(read_file(box.data_folder() + "/Kestrel Flash tool.log"), QByteArray("old line\n"));
        QVERIFY(QFileInfo(box.data_folder() + "/downloads").isDir());
        QTRY_COMPARE_WITH_TIMEOUT(box.relaunch_records().size(), 1, 10000);
        const QMap<QString, QString> display = box.display();
        QCOMPARE(box.relaunch_command(),
                 QStringList({box.program(),
                              "--session-variable", "DISPLAY=" + display["DISPLAY"],
                              "--session-variable", "XAUTHORITY=" + display["XAUTHORITY"],
                              "--session-variable", "XDG_RUNTIME_DIR=" + display["XDG_RUNTIME_DIR"],
                              "--session-variable", "HOME=" + box.home(),
                              "--session-variable", "XDG_DATA_HOME=" + box.data_home()}));
    }

    // A relaunch that pkexec does not carry out is told, not taken for a start.
    void a_failed_relaunch_says_why_data()
    {
        QTest::addColumn<QString>("pkexec_status");
        QTest::addColumn<QString>("told");
        QTest::newRow("password dialog dismissed") << "126" << "No administrator rights: the password was not given";
        QTest::newRow("no agent, or not authorised")
            << "127" << "No administrator rights: polkit could not ask for a password, or refused";
        QTest::newRow("pkexec missing") << "" << "No administrator rights: pkexec is not installed";
    }

    void a_failed_relaunch_says_why()
    {
        QFETCH(QString, pkexec_status);
        QFETCH(QString, told);
        sandbox box;
        QProcessEnvironment environment = box.environment();
        if (pkexec_status.isEmpty()) {
            QFile::remove(box.stub_bin() + "/pkexec");
            environment.insert("PATH", box.stub_bin());
        }
        environment.insert("PKEXEC_STATUS", pkexec_status);
        const tool_process::result outcome = tool_process::run_unprivileged(box.program(), {}, environment);
        QCOMPARE(outcome.exit_code, 1);
        QCOMPARE(outcome.output.trimmed(), told);
    }

    void command_line_options_are_checked_data()
    {
        // Arguments split at blanks; the outcome is "release service, file server, session
        // variables, the rest", or how the refusal starts.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("none") << "tool" << ",,,tool";
        QTest::newRow("both, then the data folder and Qt options")
            << "tool --release-service https://m.example/api --file-server=http://127.0.0.1:8080/f "
               "/data -platform offscreen"
            << "https://m.example/api,http://127.0.0.1:8080/f,,tool /data -platform offscreen";
        QTest::newRow("after the data folder, IPv6 loopback")
            << "tool /data --file-server http://[::1]:9000" << ",http://[::1]:9000,,tool /data";
        QTest::newRow("localhost") << "tool --release-service=http://localhost:8642"
                                   << "http://localhost:8642,,,tool";
        QTest::newRow("session variables, both forms, around the data folder")
            << "tool --session-variable DISPLAY=:0 /data --session-variable=XDG_DATA_HOME=/h/a=b "
               "--session-variable HOME= --cli list"
            << ",,DISPLAY=:0 XDG_DATA_HOME=/h/a=b HOME=,tool /data";
        QTest::newRow("session variable of another name")
            << "tool --session-variable LD_PRELOAD=/tmp/x.so"
            << "--session-variable: refusing \"LD_PRELOAD=/tmp/x.so\": give NAME=VALUE with "
               "DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, HOME or XDG_DATA_HOME as the name";
        QTest::newRow("session variable named in part") << "tool --session-variable=HOMEX=/root"
                                                        << "--session-variable: refusing";
        QTest::newRow("session variable without a value") << "tool --session-variable HOME"
                                                          << "--session-variable: refusing";
        QTest::newRow("no session variable") << "tool --session-variable"
                                             << "--session-variable needs NAME=VALUE";
        QTest::newRow("plain http elsewhere")
            << "tool --file-server http://m.example"
            << "--file-server: refusing \"http://m.example\": give an https:// URL, or an http:// "
               "URL to a loopback address such as http://127.0.0.1:8080";
        QTest::newRow("loopback look-alike") << "tool --file-server=http://127.0.0.1.example"
                                             << "--file-server: refusing";
        QTest::newRow("other scheme") << "tool --release-service ftp://127.0.0.1"
                                      << "--release-service: refusing";
        QTest::newRow("password in it") << "tool --file-server https://me:pw@m.example"
                                        << "--file-server: refusing";
        QTest::newRow("no URL") << "tool /data --file-server" << "--file-server needs a URL";
    }

    void command_line_options_are_checked()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, outcome);
        QList<QByteArray> storage = arguments.toUtf8().split(' ');
        std::vector<char*> argv;
        for (QByteArray& argument : storage)
            argv.push_back(argument.data());

        const command_line::options parsed = command_line::parse(int(argv.size()), argv.data());

        QStringList rest;
        for (const char* argument : parsed.remaining)
            rest << argument;
        QStringList variables;
        for (const std::string& assignment : parsed.session_variables)
            variables << QString::fromStdString(assignment);
        const QString result = parsed.error.empty()
            ? QString::fromStdString(parsed.release_service + "," + parsed.file_server + ",")
                + variables.join(' ') + "," + rest.join(' ')
            : QString::fromStdString(parsed.error).left(outcome.size());
        QCOMPARE(result, outcome);
    }

    void refused_option_starts_nothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("plain http mirror") << QStringList {"--file-server", "http://mirror.example"}
                                           << "--file-server: refusing \"http://mirror.example\"";
        QTest::newRow("variable the relaunch never passes")
            << QStringList {"--session-variable", "LD_PRELOAD=/tmp/x.so"}
            << "--session-variable: refusing \"LD_PRELOAD=/tmp/x.so\"";
    }

    void refused_option_starts_nothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, refusal);
        sandbox box;
        tool_process::result outcome =
            tool_process::run_unprivileged(box.program(), arguments, box.environment());
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.exit_code, 2);
        QVERIFY2(outcome.output.startsWith(refusal), qPrintable(outcome.output));
        QVERIFY(!QFile::exists(box.data_folder()));
        // The program outlives every pkexec it would start.
        QVERIFY(box.relaunch_records().isEmpty());
    }

    void relaunch_passes_arguments_unchanged()
    {
        sandbox box;
        qputenv("RELAUNCH_RECORDS", box.relaunches().toUtf8());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", box.stub_bin().toUtf8() + ":" + path);
        const std::vector<std::string> arguments {"plain", "two words", "a \"quote\"", "tab\there",
                                                  "ends in \\", "back\\\"slash", "\\\\server\\share", ""};

        permission_manager().relaunch_elevated(box.program().toStdString(), arguments);
        qputenv("PATH", path);

        QTRY_COMPARE_WITH_TIMEOUT(box.relaunch_records().size(), 1, 10000);
        QStringList expected;
        for (const std::string& argument : arguments)
            expected << QString::fromStdString(argument);
        const QStringList command = QString::fromUtf8(
            read_file(box.relaunches() + "/" + box.relaunch_records().first())).split('\n');
        // The program, the session's variables, then one line per argument, and the stub's
        // final line end.
        QCOMPARE(command.first(), box.program());
        QCOMPARE(command.mid(command.size() - expected.size() - 1, expected.size()), expected);
    }

    void elevated_start_uses_the_given_servers()
    {
        sandbox box;
        QTemporaryDir given;
        release_server server;
        QVERIFY(server.start());
        release_server::answer latest;
        latest.body = R"({"tag_name": "v9"})";
        server.set_answer("/api" + release_server::latest_path(), latest);
        QProcessEnvironment environment = box.environment();
        if (!tool_process::running_as_root())
            environment.insert("KESTREL_HOST_ROOT", given.path());

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(box.program(), {"--release-service", server.base_url() + "/api", given.path(),
                                      "--file-server=" + server.base_url() + "/files"});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains("GET /files" + release_server::checksum_path("v9")),
                                 30000);
        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(server.requests().first(), "GET /api" + release_server::latest_path());
        QVERIFY(read_file(given.path() + "/Kestrel Flash tool.log").contains("Kestrel Flash Tool version"));
    }

    void elevated_start_takes_the_session_variables()
    {
        sandbox box;
        QTemporaryDir given;
        QProcessEnvironment environment = box.environment();
        if (!tool_process::running_as_root())
            environment.insert("KESTREL_HOST_ROOT", given.path());
        const QString log_path = given.path() + "/data/Kestrel Flash Tool/Kestrel Flash tool.log";

        // As pkexec starts it: the data folder comes from the variables given as options.
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(box.program(), {"--session-variable", "HOME=" + given.path(),
                                      "--session-variable=XDG_DATA_HOME=" + given.path() + "/data"});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(read_file(log_path).contains("] visible\n"), 30000);
        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(read_file(log_path).contains("Kestrel Flash Tool version: 1.0.6"));
        QCOMPARE(QDir(box.data_home()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
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
        // As sudo leaves it: no runtime folder, which Qt warns of unless the program makes one.
        environment.remove("XDG_RUNTIME_DIR");
        QTemporaryDir temporary;
        environment.insert("TMPDIR", temporary.path());

        const QByteArray version_text = "Kestrel Flash Tool version: 1.0.6";
        for (int start = 1; start <= 2; ++start) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(box.program(), {given.path()});
            QVERIFY(process.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(read_file(log_path).count(version_text), start, 30000);
            // The window logs "visible" when it is shown.
            QTRY_COMPARE_WITH_TIMEOUT(read_file(log_path).count("] visible\n"), start, 30000);
            process.terminate();
            QVERIFY(process.waitForFinished(30000));
            const QByteArray said = process.readAll();
            QVERIFY2(!said.contains("XDG_RUNTIME_DIR"), said.constData());
        }

        QRegularExpression version_line(
            R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[fatal\] \[[^\]]*app/main\.cpp:\d+\] )"
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
