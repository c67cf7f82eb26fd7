// The demo environment around a stand-in for the program that records how it was started and
// what stopped it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray read_file(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

class test_demo_environment : public QObject {
    Q_OBJECT

private slots:
    void interrupt_stops_the_program_and_removes_the_host_data()
    {
        // Program arguments; what the program is given.
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("window") << QStringList {};
        QTest::newRow("command line") << QStringList {"--cli", "flash", "--all", "--yes"};
    }

    void interrupt_stops_the_program_and_removes_the_host()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir folder;
        const QString record = folder.path() + "/record";
        const QString stand_in = folder.path() + "/program";
        {
            QFile script(stand_in);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\n"
                         "trap 'kill $waiting; echo interrupted > \"$RECORD.stop\"; exit 130' INT\n"
                         "printf '%s\\n' \"$KESTREL_HOST_ROOT\" \"$XDG_DATA_HOME\" \"$*\" > \"$RECORD.part\"\n"
                         "mv \"$RECORD.part\" \"$RECORD\"\n"
                         "sleep 600 & waiting=$!\n"
                         "wait $waiting\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }

        QProcess demo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("RECORD", record);
        demo.setProcessEnvironment(environment);
        demo.start(qEnvironmentVariable("KESTREL_DEMO_ENVIRONMENT_PATH"),
                   QStringList {stand_in, folder.path() + "/data", "0", "--sticks", "2"} + arguments);
        QVERIFY(demo.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 60000);

        const QList<QByteArray> started = read_file(record).split('\n');
        const QString host_root = QString::fromUtf8(started.value(0));
        QCOMPARE(QString::fromUtf8(started.value(1)), folder.path() + "/data");
        QCOMPARE(QString::fromUtf8(started.value(2)), arguments.join(' '));
        QVERIFY(!host_root.isEmpty());
        QCOMPARE(QFileInfo(host_root + "/dev/sdb").size(), qint64(16'000'000'000));

        // Each stick's file is told when it is plugged in and by `list`.
        QByteArray output;
        demo.write("pull sda\nlist\n");
        QTRY_VERIFY_WITH_TIMEOUT((output += demo.readAllStandardOutput()).contains(
                                     "plugged in:\n  sdb  " + host_root.toUtf8() + "/dev/sdb\n"
                                     "pulled out: sda\n"), 10000);
        QVERIFY2(output.contains("plugged in sda, its file " + host_root.toUtf8() + "/dev/sda\n"),
                 output.constData());

        kill(static_cast<pid_t>(demo.processId()), SIGINT);
        QVERIFY(demo.waitForFinished(30000));
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(demo.exitCode(), 130);
        QCOMPARE(read_file(record + ".stop"), QByteArray("interrupted\n"));
        QVERIFY2(!QFileInfo::exists(QFileInfo(host_root).path()), qPrintable(host_root));
    }
};

QTEST_GUILESS_MAIN(test_demo_environment)
#include "test_demo_environment.moc"
