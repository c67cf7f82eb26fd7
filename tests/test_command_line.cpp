// The command line over a fake host with three sticks and one SATA disk: what it lists, what
// it refuses before touching anything, and the flashes it runs.

#include "base/app_paths.h"
#include "cli/cli_main.h"
#include "cli/cli_request.h"
#include "cli/interruption.h"
#include "cli/progress_lines.h"
#include "config/image_configurator.h"
#include "image/image_manipulator.h"
#include "fake_host.h"
#include "gzip_data.h"
#include "image_files.h"
#include "local_endpoints.h"
#include "base/logger.h"
#include "memory_folder.h"
#include "win32/test_control.h"
#include "release_fixture.h"
#include "release_server.h"
#include "config/settings_store.h"
#include "run/flash_record.h"
#include "small_file_system.h"
#include "thread_names.h"
#include "tool_process.h"
#include "qt_warnings.h"
#include "unwritable_folder.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sstream>

namespace {

using win32::test_control::call;

const char* const btc_address = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";
const quint64 config_offset = 1 << 20;

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct cli_result {
    int status = -1;
    QString out;
    QString err;
};

// A farm: the SATA disk is sda (disk 0), the sticks sdb to sdd (disks 1 to 3), and the latest
// release on the local server.
struct farm {
    fake_host host;
    QStringList sticks;
    QTemporaryDir data;
    release_fixture release;
    release_server server;

    explicit farm(int image_size = 3 << 20, int stick_count = 3)
        : release(release_fixture::make("v1", image_size, config_offset))
    {
        host.add(fake_host::sata_disk());
        for (int stick = 0; stick < stick_count; ++stick) {
            fake_host::disk blueprint = fake_host::usb_stick();
            blueprint.rereads_partition_table = true;
            sticks << host.add(blueprint);
        }
        logger::init(data_folder());
        release.serve(server);
        if (!server.start())
            qFatal("the release server cannot listen on 127.0.0.1");
        local_endpoints::announce_port(server.port());
    }
    ~farm()
    {
        win32::test_control::release_held();
        cli::interruption::clear();
        logger::close();
    }

    std::string data_folder() const { return data.path().toStdString(); }

    void save_settings(const QString& worker) const
    {
        inputs saved;
        saved.btc = btc_address;
        saved.worker = worker.toStdString();
        settings_store::save_settings(data_folder(), saved);
    }

    std::string saved_worker() const
    {
        return settings_store::load_settings(data_folder())->worker;
    }

    // The release with the configuration block the window writes for `worker`.
    QByteArray flashed_image(const QString& worker) const
    {
        inputs values;
        values.btc = btc_address;
        values.worker = worker.toStdString();
        values.location = "eu";
        QByteArray image = release.image;
        return image.replace(int(config_offset), image_configurator::block_size,
                             image_configurator::configuration_block(values));
    }

    QByteArray stick_content(int stick) const
    {
        return host.read(sticks[stick], 0, release.image.size());
    }

    cli_result run(const QString& arguments, const std::string& answer = std::string()) const
    {
        return run_on(data_folder(), arguments, answer);
    }

    cli_result run_on(const std::string& folder, const QString& arguments, const std::string& answer = std::string()) const
    {
        std::vector<std::string> split;
        for (const QString& argument : arguments.split(' ', Qt::SkipEmptyParts))
            split.push_back(argument.toStdString());
        const cli::parse_result parsed = cli::parse(split);
        if (!parsed.error.empty())
            qFatal("not taken: %s", parsed.error.c_str());
        std::istringstream in(answer);
        std::ostringstream out;
        std::ostringstream err;
        cli::console io {in, out, err, false};
        cli_result result;
        result.status = cli::run(parsed.parsed, folder, io);
        result.out = QString::fromStdString(out.str());
        result.err = QString::fromStdString(err.str());
        return result;
    }

    bool untouched() const
    {
        return win32::test_control::journal().empty();
    }

    QByteArray log() const
    {
        return read_file(data.path() + "/Kestrel Flash tool.log");
    }

    // The release as an earlier download left it in `folder`'s downloads.
    void cache_release(const QString& folder) const
    {
        image_files::write_file(folder + "/downloads/v1.gz", release.compressed);
        image_files::write_file(folder + "/downloads/checksum.md5", release.checksum_text.left(32) + "  v1.gz\n");
    }

    QString worker_on(int stick) const
    {
        return worker_on_stick(sticks[stick]);
    }

    QString worker_on_stick(const QString& name) const
    {
        const QByteArray block = host.read(name, qint64(config_offset), 2048);
        return QJsonDocument::fromJson(block).object()["rig"].toObject()["worker"].toString();
    }

    // The data folder of the program started with XDG_DATA_HOME at `home`, made ready, with the
    // address and a worker template saved.
    static QString prepared_folder(const QString& home)
    {
        const QString folder = home + "/Kestrel Flash Tool";
        app_paths::prepare_data_folder(folder.toStdString());
        inputs saved;
        saved.btc = btc_address;
        saved.worker = "rig(%d)";
        settings_store::save_settings(folder.toStdString(), saved);
        return folder;
    }

    QString image_file(const QByteArray& content) const
    {
        const QString path = data.path() + "/given.img.gz";
        image_files::write_file(path, content);
        return path;
    }
};

} // namespace

class test_command_line : public QObject {
    Q_OBJECT

private slots:
    void arguments_are_checked_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no command") << "" << "--cli needs a command";
        QTest::newRow("unknown command") << "erase" << "unknown command \"erase\"";
        QTest::newRow("list with more") << "list --all" << "list: unknown argument \"--all\"";
        QTest::newRow("flash without disks") << "flash --yes" << "flash: name the disks";
        QTest::newRow("flash with both") << "flash --all --disk 1" << "flash: give --disk or --all, not both";
        QTest::newRow("disk without number") << "flash --disk" << "--disk needs a value";
        QTest::newRow("disk not a number") << "flash --disk one" << "--disk: \"one\" is no disk number or device";
        QTest::newRow("disk named twice") << "flash --disk 3 --disk=1 --disk 3" << "--disk: 3 is named twice";
        QTest::newRow("kernel name named twice") << "flash --disk sdb --disk /dev/sdb" << "--disk: /dev/sdb is named twice";
        // An unset shell variable must not mean "the latest release".
        QTest::newRow("empty image") << "flash --all --image=" << "--image: the file name is empty";
        QTest::newRow("unknown option") << "flash --all --verify" << "flash: unknown argument \"--verify\"";
        QTest::newRow("value missing") << "flash --all --btc" << "--btc needs a value";
        QTest::newRow("json") << "list --json" << "list json";
        QTest::newRow("history json") << "history --json" << "history json";
        QTest::newRow("history with more") << "history --all" << "history: unknown argument \"--all\"";
        QTest::newRow("disks in order, by number or device")
            << "flash --disk 3 --disk=/dev/sdb --disk 01 --disk sdc --yes --no-verify --image a.gz"
            << "flash 3,/dev/sdb,01,/dev/sdc yes no-verify a.gz";
        QTest::newRow("values") << "flash --all --worker=rig(%d) --ssid my-net --wifi-key k=v"
                                << "flash all rig(%d) my-net k=v";
    }

    void arguments_are_checked()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, outcome);
        std::vector<std::string> split;
        for (const QString& argument : arguments.split(' ', Qt::SkipEmptyParts))
            split.push_back(argument.toStdString());
        const cli::parse_result result = cli::parse(split);
        const cli::request& asked = result.parsed;
        QStringList taken;
        if (asked.what == cli::request::command::list || asked.what == cli::request::command::history) {
            taken << (asked.what == cli::request::command::list ? "list" : "history") << (asked.json ? "json" : "");
        } else {
            QStringList disks;
            for (const std::string& disk : asked.disks)
                disks << QString::fromStdString(disk);
            taken << "flash" << (asked.all ? "all" : disks.join(',')) << (asked.yes ? "yes" : "")
                  << (asked.verify ? "" : "no-verify") << QString::fromStdString(asked.image);
            for (const auto* value : {&asked.worker, &asked.ssid, &asked.wireless_key})
                taken << (*value ? QString::fromStdString(**value) : QString());
        }
        taken.removeAll(QString());
        QCOMPARE(result.error.empty() ? taken.join(' ') : QString::fromStdString(result.error).left(outcome.size()),
                 outcome);
    }

    void list_shows_the_sticks()
    {
        farm sticks;
        const cli_result table = sticks.run("list");
        QCOMPARE(table.status, 0);
        const QStringList lines = table.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QString("DISK  PATH                DEVICE        SIZE  SERIAL        PORT  NAME"));
        for (int disk = 1; disk <= 3; ++disk)
            QCOMPARE(lines[disk], QString("   %1  \\\\.\\PhysicalDrive%1  /dev/sd%2  16.00 GB  KST00000000%1  1-%1   "
                                          "Kingston DataTraveler 3.0 USB Device")
                                      .arg(disk)
                                      .arg(QChar('a' + disk)));

        const cli_result json = sticks.run("list --json");
        QCOMPARE(json.status, 0);
        const QJsonArray disks = QJsonDocument::fromJson(json.out.toUtf8()).array();
        QCOMPARE(disks.size(), 3);
        QCOMPARE(disks[0].toObject()["path"].toString(), QString("\\\\.\\PhysicalDrive1"));
        QCOMPARE(disks[2].toObject()["number"].toInt(), 3);
        QCOMPARE(disks[2].toObject()["device"].toString(), QString("/dev/sdd"));
        QCOMPARE(disks[2].toObject()["serial"].toString(), QString("KST000000003"));
        QCOMPARE(disks[2].toObject()["port"].toString(), QString("1-3"));
        // The capacity as the drive geometry gives it, a little below the true size.
        QCOMPARE(disks[2].toObject()["size"].toDouble(), 15998169600.0);
        QVERIFY(sticks.untouched());
    }

    void refusals_touch_nothing_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("error");
        const QString btc = QString(" --btc ") + btc_address;
        QTest::newRow("bech32 address") << "flash --all --yes --btc bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"
                                       << "Invalid BTC Address: 1 or 3, then 25 to 34 letters and digits";
        QTest::newRow("no address") << "flash --all --yes" << "Empty BTC address!\xEF\xB8\x8F";
        QTest::newRow("group with the worker's text") << "flash --all --yes --group a.b" + btc
                                                      << "Invalid Worker name: the group takes";
        QTest::newRow("worker too long once counted")
            << "flash --all --yes --worker abcdefghijklmn(%d,12)" + btc
            << "Invalid Worker name: letters, digits, - and _, and counters (%d) or (%d,N); at most 15 once counted\n";
        QTest::newRow("ssid") << "flash --all --yes --ssid x" + btc << "Invalid SSID: 2 to 32 characters";
        QTest::newRow("location") << "flash --all --yes --location asia" + btc
                                  << "Invalid mining location: give eu or usa";
        QTest::newRow("the SATA disk") << "flash --disk 0 --yes" + btc << "There is no USB disk 0 to flash";
        QTest::newRow("the SATA disk by device") << "flash --disk /dev/sda --yes" + btc
                                                 << "There is no USB disk /dev/sda to flash";
        QTest::newRow("one disk by number and device") << "flash --disk 1 --disk /dev/sdb --yes" + btc
                                                       << "Disk 1 (/dev/sdb) is named twice";
        QTest::newRow("image missing") << "flash --all --yes --image /nowhere/image.gz" + btc
                                       << "Cannot read the image /nowhere/image.gz";
    }

    void refusals_touch_nothing()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, error);
        farm sticks;
        const QString settings = QString::fromStdString(sticks.data_folder()) + "/configuration.txt";
        inputs saved;
        saved.worker = "rig(%d)";
        settings_store::save_settings(sticks.data_folder(), saved);
        const QByteArray before = read_file(settings);

        const cli_result refused = sticks.run(arguments);
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.startsWith(error), qPrintable(refused.err));
        QCOMPARE(read_file(settings), before);
        QVERIFY(sticks.untouched());
    }

    void no_yes_no_flash()
    {
        farm sticks;
        const QString asked = QString("flash --disk 2 --disk /dev/sdb --worker rig(%d) --btc ") + btc_address;
        const cli_result declined = sticks.run(asked, "no\n");
        // Not the status of a failed disk: a script must tell "nothing done" from "broken stick".
        QCOMPARE(declined.status, 3);
        QVERIFY2(declined.out.contains("  disk 2  \\\\.\\PhysicalDrive2  /dev/sdc  16.00 GB  Kingston DataTraveler 3.0 USB Device  -> worker \"rig1\"\n"
                                       "  disk 1  \\\\.\\PhysicalDrive1  /dev/sdb  16.00 GB  Kingston DataTraveler 3.0 USB Device  -> worker \"rig2\"\n"
                                       "Type yes to erase them: Nothing was written."),
                 qPrintable(declined.out));
        // No answer at all: the input was closed.
        QCOMPARE(sticks.run(asked).status, 3);
        QVERIFY(sticks.untouched());
    }

    void large_disks_need_yes_and_their_number()
    {
        farm sticks;
        sticks.host.add(fake_host::usb_hard_disk(100'000'000'000));
        const QString values = QString(" --btc ") + btc_address;
        const cli_result named = sticks.run("flash --disk 4" + values, "yes\n");
        QCOMPARE(named.status, 2);
        QCOMPARE(named.err, QString("Disk 4 is larger than 64 GiB (99.99 GB): flash it only with --yes\n"));

        const cli_result all = sticks.run("flash --all" + values, "no\n");
        QVERIFY2(all.out.startsWith("Left out: disk 4 (WD Elements 25A2 USB Device, 99.99 GB) is larger than 64 GiB"),
                 qPrintable(all.out));
        QVERIFY(!all.out.contains("PhysicalDrive4"));
        QVERIFY(sticks.untouched());
    }

    void unelevated_command_line_asks_for_root()
    {
        QTemporaryDir home;
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                               | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
        QProcessEnvironment environment;
        environment.insert("HOME", home.path());
        environment.insert("XDG_DATA_HOME", home.path());
        environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS"));
        const tool_process::result outcome = tool_process::run_unprivileged(
            tool_process::program_path(), {"--cli", "list"}, environment);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.exit_code, 2);
        QCOMPARE(outcome.output, QString("Run as root, for example with sudo\n"));
        QVERIFY(QDir(home.path()).isEmpty());
    }

    void progress_in_lines_or_in_place()
    {
        std::ostringstream log;
        std::ostringstream errors;
        cli::progress_lines lines(log, errors, false);
        const std::size_t first = lines.add("disk 1  rig1");
        lines.add("disk 2  rig22");
        for (qint64 done = 0; done < 100; done += 4)
            lines.report(first, "writing", done, 100);
        // The rate needs time to pass.
        QTest::qWait(20);
        lines.report(first, "writing", 100, 100);
        lines.report(first, "verifying", 0, 100);
        QTest::qWait(20);
        lines.report(first, "verifying", 50, 100);
        lines.settle(first, "verified");
        QStringList printed = QString::fromStdString(log.str()).split('\n', Qt::SkipEmptyParts);
        // A line at every tenth of the way and at each new stage, not one per report.
        QCOMPARE(printed.size(), 11 + 2 + 1);
        QCOMPARE(printed.first(), QString("disk 1  rig1   writing      0%"));
        QVERIFY2(QRegExp("disk 1  rig1   writing    100%  [0-9.]+ MB/s").exactMatch(printed[10]), qPrintable(printed[10]));
        QVERIFY2(QRegExp("disk 1  rig1   verifying   50%  [0-9.]+ MB/s").exactMatch(printed[12]), qPrintable(printed[12]));
        QCOMPARE(printed.last(), QString("disk 1  rig1   verified"));

        lines.error("disk 1 failed: why");
        QCOMPARE(QString::fromStdString(errors.str()), QString("disk 1 failed: why\n"));
        QCOMPARE(QString::fromStdString(log.str()).count('\n'), printed.size());

        std::ostringstream screen;
        std::ostringstream screen_errors;
        cli::progress_lines terminal(screen, screen_errors, true);
        terminal.add("download");
        const std::size_t disk = terminal.add("disk 1");
        terminal.report(disk, "writing", 25, 100);
        terminal.draw();
        terminal.note("a message");
        const QString drawn = "\r\x1b[Kdownload  waiting\n\r\x1b[Kdisk 1    writing     25%\n";
        // Up over the lines, the message, the lines again below it.
        QCOMPARE(QString::fromStdString(screen.str()), drawn + "\x1b[2A\r\x1b[Ka message\n" + drawn);
        // A failure on the error stream, the lines again below it on the same screen.
        terminal.error("disk 1 failed: why");
        QCOMPARE(QString::fromStdString(screen.str()), drawn + "\x1b[2A\r\x1b[Ka message\n" + drawn + "\x1b[2A\r\x1b[K" + drawn);
        QCOMPARE(QString::fromStdString(screen_errors.str()), QString("disk 1 failed: why\n"));
        // A station's stick that has ended leaves the screen, its line cleared away.
        const std::size_t before = screen.str().size();
        terminal.drop(0);
        terminal.draw();
        QCOMPARE(QString::fromStdString(screen.str().substr(before)),
                 QString("\x1b[2A\r\x1b[Kdisk 1  writing     25%\n\x1b[J"));
    }

    void flash_all_numbers_the_sticks()
    {
        farm sticks;
        sticks.save_settings("rig(%d)");
        const cli_result flashed = sticks.run("flash --all --yes");
        QCOMPARE(flashed.status, 0);
        for (int stick = 0; stick < 3; ++stick)
            QVERIFY2(sticks.stick_content(stick) == sticks.flashed_image(QString("rig%1").arg(stick + 1)),
                     qPrintable(sticks.sticks[stick]));
        QCOMPARE(sticks.saved_worker(), std::string("rig(%d,4)"));
        // The download's progress, then each stick's.
        QVERIFY2(flashed.out.contains("download v1  downloading 100%"), qPrintable(flashed.out));
        QVERIFY(flashed.out.contains(QRegExp("disk 2  rig2  verifying +100%")));
        // The read-back is the last stage a line shows before its outcome.
        QVERIFY2(!flashed.out.contains(QRegExp("disk 2  rig2  verifying +100%.*disk 2  rig2  writing")),
                 qPrintable(flashed.out));
        QVERIFY(flashed.out.contains("  disk 3 (\\\\.\\PhysicalDrive3): \"rig3\" verified\n"));

        // The release is cached and unpacked now: the next batch goes on from rig4, also when it
        // names the template again.
        const cli_result next = sticks.run("flash --disk 2 --yes --worker rig(%d)");
        QCOMPARE(next.status, 0);
        QVERIFY(!next.out.contains("download"));
        QCOMPARE(sticks.stick_content(1), sticks.flashed_image("rig4"));
        QCOMPARE(sticks.saved_worker(), std::string("rig(%d,5)"));
    }

    void a_failed_stick_spares_the_others_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("lost_write");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("write error") << "" << false << "failed: Device disconected!";
        QTest::newRow("pulled midway") << "" << false << "failed: Device disconected!";
        QTest::newRow("lost write, read back") << "" << true
                                               << "failed: Verification failed: the stick may be faulty";
        QTest::newRow("lost write, not read back") << " --no-verify" << true << "written, not verified";
        QTest::newRow("unreadable, still attached") << "" << false
                                                    << "failed: Verification failed: the stick may be faulty";
    }

    void a_failed_stick_spares_the_others()
    {
        QFETCH(QString, options);
        QFETCH(bool, lost_write);
        QFETCH(QString, outcome);
        // Three chunks: the stick can be pulled while its second is written.
        farm sticks(20 << 20);
        sticks.save_settings("rig(%d)");
        const std::string second = "\\\\.\\PhysicalDrive2";
        const bool pulled = QString(QTest::currentDataTag()) == "pulled midway";
        if (QString(QTest::currentDataTag()).startsWith("unreadable"))
            win32::test_control::fail_call(call::read, second, ERROR_IO_DEVICE, 1);
        else if (lost_write)
            win32::test_control::drop_call(call::write, second);
        else if (pulled)
            win32::test_control::hold_call(call::write, second, 1);
        else
            win32::test_control::fail_call(call::write, second, ERROR_GEN_FAILURE);
        // Pulled out while its second chunk is written.
        QTimer pull;
        QObject::connect(&pull, &QTimer::timeout, [&] {
            if (!win32::test_control::call_held())
                return;
            pull.stop();
            sticks.host.remove(sticks.sticks[1]);
            win32::test_control::release_held();
        });
        if (pulled)
            pull.start(10);

        const cli_result flashed = sticks.run("flash --all --yes" + options);
        const bool failed = outcome.startsWith("failed");
        QCOMPARE(flashed.status, failed ? 1 : 0);
        // The outcome with the results, why on the error stream alone.
        const QString second_stick = "disk 2 (\\\\.\\PhysicalDrive2): \"rig2\" ";
        QVERIFY2(flashed.out.contains("  " + second_stick + (failed ? "failed" : outcome) + "\n"), qPrintable(flashed.out));
        QCOMPARE(flashed.err, failed ? second_stick + outcome + "\n" : QString());
        QVERIFY2(!failed || !flashed.out.contains(outcome), qPrintable(flashed.out));
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
        QCOMPARE(sticks.stick_content(2), sticks.flashed_image("rig3"));

        // The record holds each stick once, with its name and outcome, a failed one with its text.
        const QString others = options.isEmpty() ? "verified" : "written";
        const QString second_outcome = failed ? outcome : others;
        const cli_result history = sticks.run("history");
        QCOMPARE(history.status, 0);
        const QStringList lines = history.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(QRegExp("TIME +DEVICE +PORT +SERIAL +SIZE +WORKER +IMAGE +OUTCOME").exactMatch(lines[0]),
                 qPrintable(lines[0]));
        for (int stick = 1; stick <= 3; ++stick) {
            const QString line = QString("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} +"
                                         "/dev/sd%1 +1-%2 +KST00000000%2 +16.00 GB +rig%2 +v1 +%3")
                                     .arg(QChar('a' + stick))
                                     .arg(stick)
                                     .arg(QRegExp::escape(stick == 2 ? second_outcome : others));
            QVERIFY2(QRegExp(line).exactMatch(lines[stick]), qPrintable(lines[stick]));
        }
        // For scripts, the same with the record's member names.
        const cli_result json = sticks.run("history --json");
        QCOMPARE(json.status, 0);
        QJsonParseError error;
        const QJsonArray entries = QJsonDocument::fromJson(json.out.toUtf8(), &error).array();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(entries.size(), 3);
        const QJsonObject second_line = entries[1].toObject();
        QCOMPARE(second_line.keys(), QStringList({"area", "device", "failure", "image", "md5", "model", "outcome",
                                                  "path", "port", "serial", "size", "time", "worker"}));
        QCOMPARE(second_line["path"].toString(), QString("\\\\.\\PhysicalDrive2"));
        QCOMPARE(second_line["device"].toString(), QString("/dev/sdc"));
        QCOMPARE(second_line["model"].toString(), QString("Kingston DataTraveler 3.0 USB Device"));
        QCOMPARE(second_line["serial"].toString(), QString("KST000000002"));
        QCOMPARE(second_line["port"].toString(), QString("1-2"));
        QCOMPARE(second_line["size"].toDouble(), 15998169600.0);
        QCOMPARE(second_line["worker"].toString(), QString("rig2"));
        QCOMPARE(second_line["image"].toString(), QString("v1"));
        QCOMPARE(second_line["md5"].toString().toLatin1(), sticks.release.checksum_text.left(32));
        QCOMPARE(second_line["outcome"].toString(), failed ? QString("failed") : others);
        QCOMPARE(second_line["failure"].toString(), failed ? outcome.section(": ", 1) : QString());
        QCOMPARE(second_line["time"].toString(), lines[2].section(' ', 0, 0));

        // A line a crash cut short is skipped, and the next run's lines are not lost with it.
        QFile record(sticks.data.path() + "/sticks flashed.jsonl");
        QVERIFY(record.open(QIODevice::Append));
        const QByteArray cut_short = "{\"time\":\"20";
        QCOMPARE(record.write(cut_short), qint64(cut_short.size()));
        record.close();
        QCOMPARE(sticks.run("history --json").out, json.out);

        // A name handed out is never handed out again, whatever became of its stick.
        QCOMPARE(sticks.saved_worker(), std::string("rig(%d,4)"));
        QCOMPARE(sticks.run("flash --disk 1 --yes").status, 0);
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig4"));
        const QStringList after = sticks.run("history").out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(after.size(), 5);
        QVERIFY2(after[4].contains(QRegExp(" /dev/sdb .* rig4 +v1 +verified$")), qPrintable(after[4]));
    }

    // Two command lines started together on one data folder, three sticks each.
    // What is on each stick, read and never written: a stick flashed here, a blank one and one
    // flashed elsewhere.
    void the_sticks_contents_are_read_and_left_as_they_are()
    {
        farm sticks;
        sticks.save_settings("rig(%d)");
        QCOMPARE(sticks.run("flash --disk 1 --disk 2 --yes --group hall_b").status, 0);
        // Blanked since: what the record says of it is no longer on it.
        sticks.host.write(sticks.sticks[1], 0, QByteArray(int(config_offset) + 4096, '\0'));
        QByteArray foreign(512, 'x');
        foreign[510] = char(0x55);
        foreign[511] = char(0xAA);
        sticks.host.write(sticks.sticks[2], 0, foreign);
        const std::size_t journal_before = win32::test_control::journal().size();

        const cli_result looked = sticks.run("inspect --json");
        QCOMPARE(looked.status, 0);
        const QJsonArray found = QJsonDocument::fromJson(looked.out.toUtf8()).array();
        QCOMPARE(found.size(), 3);
        const QJsonObject flashed = found[0].toObject();
        QCOMPARE(flashed["worker"].toString(), QString("rig1"));
        QCOMPARE(flashed["group"].toString(), QString("hall_b"));
        QCOMPARE(flashed["release"].toString(), QString("v1"));
        QVERIFY(flashed["configuration_found"].toBool());
        const QJsonObject blank = found[1].toObject();
        QVERIFY(!blank["configuration_found"].toBool() && !blank["partition_table"].toBool());
        QVERIFY(!blank.contains("release"));
        const QJsonObject elsewhere = found[2].toObject();
        QVERIFY(!elsewhere["configuration_found"].toBool() && elsewhere["partition_table"].toBool());

        const cli_result one = sticks.run("inspect --disk sdb");
        QCOMPARE(one.status, 0);
        QVERIFY2(one.out.contains(QRegExp("\n +1 +/dev/sdb +1-1 +rig1 +hall_b +eu +v1 ")), qPrintable(one.out));
        QCOMPARE(one.out.count('\n'), 2);
        // Looked at, nothing written.
        const auto journal = win32::test_control::journal();
        QVERIFY(std::none_of(journal.begin() + std::ptrdiff_t(journal_before), journal.end(),
                             [](const auto& entry) { return entry.what == call::write; }));
    }

    void two_command_lines_share_the_counter()
    {
        farm sticks(3 << 20, 6);
        QTemporaryDir home(memory_folder() + "/kestrel-home-XXXXXX");
        const QString folder = farm::prepared_folder(home.path());
        sticks.cache_release(folder);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        QProcess first;
        QProcess second;
        for (QProcess* program : {&first, &second})
            program->setProcessEnvironment(environment);
        first.start(tool_process::program_path(), {"--cli", "flash", "--disk", "1", "--disk", "2", "--disk", "3", "--yes"});
        second.start(tool_process::program_path(), {"--cli", "flash", "--disk", "4", "--disk", "5", "--disk", "6", "--yes"});
        // The release server answers them from this process's event loop.
        QVERIFY(QTest::qWaitFor([&] {
            return first.state() == QProcess::NotRunning && second.state() == QProcess::NotRunning;
        }, 120000));
        for (QProcess* program : {&first, &second}) {
            QVERIFY2(program->exitCode() == 0, (program->readAllStandardOutput() + program->readAllStandardError()).constData());
        }

        QStringList names;
        for (int stick = 0; stick < 6; ++stick)
            names << sticks.worker_on(stick);
        names.sort();
        QCOMPARE(names, QStringList({"rig1", "rig2", "rig3", "rig4", "rig5", "rig6"}));
        QCOMPARE(settings_store::load_settings(folder.toStdString())->worker, std::string("rig(%d,7)"));
    }

    // Three image files flashed by other processes while this run still unpacks a fourth: they
    // prune the kept images, but not the one this run is making; it goes at a later prune.
    void a_kept_image_in_use_is_not_pruned()
    {
        // Five blocks: the unpacking waits midway while the first write is held.
        farm sticks(40 << 20);
        QTemporaryDir home(memory_folder() + "/kestrel-home-XXXXXX");
        const std::string folder = farm::prepared_folder(home.path()).toStdString();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        QStringList others;
        for (int other = 1; other <= 3; ++other) {
            others << home.path() + QString("/other-%1.img.gz").arg(other);
            const QByteArray image = image_files::disk_image((2 + other) << 20, config_offset);
            image_files::write_file(others.last(), gzip_data::compress(image));
        }
        win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive1");
        QStringList outcomes;
        QTimer other_runs;
        QObject::connect(&other_runs, &QTimer::timeout, [&] {
            if (!win32::test_control::call_held())
                return;
            other_runs.stop();
            for (const QString& image : others) {
                QProcess program;
                program.setProcessEnvironment(environment);
                program.start(tool_process::program_path(),
                              {"--cli", "flash", "--disk", "2", "--yes", "--image", image});
                program.waitForFinished(120000);
                outcomes << QString::number(program.exitCode()) + " " + program.readAllStandardError();
            }
            win32::test_control::release_held();
        });
        other_runs.start(10);

        const QString own = sticks.image_file(sticks.release.compressed);
        const cli_result fourth = sticks.run_on(folder, "flash --disk 1 --yes --image " + own);
        QCOMPARE(outcomes, QStringList({"0 ", "0 ", "0 "}));
        QVERIFY2(fourth.status == 0, qPrintable(fourth.err));
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
        const QDir images(QString::fromStdString(folder) + "/images");
        QCOMPARE(images.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 3);
        QCOMPARE(sticks.run_on(folder, "flash --disk 3 --yes --image " + others[0]).status, 0);
        QCOMPARE(images.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
        QCOMPARE(images.entryList(QDir::Files), QStringList());
    }

    // Two command lines that want the same release at once: one downloads it, the other waits
    // for that download, then flashes the release from the cache.
    void two_command_lines_download_one_release()
    {
        farm sticks;
        QTemporaryDir home(memory_folder() + "/kestrel-home-XXXXXX");
        const QString folder = farm::prepared_folder(home.path());
        sticks.server.answer_for(release_server::image_path("v1")).hold_after = 4096;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        QProcess first;
        QProcess second;
        for (QProcess* program : {&first, &second})
            program->setProcessEnvironment(environment);
        first.start(tool_process::program_path(), {"--cli", "flash", "--disk", "1", "--yes"});
        second.start(tool_process::program_path(), {"--cli", "flash", "--disk", "2", "--yes"});
        // The release server answers them from this process's event loop.
        QVERIFY(QTest::qWaitFor([&] {
            return read_file(folder + "/Kestrel Flash tool.log").contains("Waiting for another run's download of v1");
        }, 60000));
        sticks.server.release_held();
        QVERIFY(QTest::qWaitFor([&] {
            return first.state() == QProcess::NotRunning && second.state() == QProcess::NotRunning;
        }, 120000));
        for (QProcess* program : {&first, &second})
            QVERIFY2(program->exitCode() == 0, program->readAllStandardError().constData());
        QCOMPARE(sticks.server.requests().count("GET " + release_server::image_path("v1")), 1);
        QStringList names {sticks.worker_on(0), sticks.worker_on(1)};
        names.sort();
        QCOMPARE(names, QStringList({"rig1", "rig2"}));
        QCOMPARE(read_file(folder + "/downloads/v1.gz"), sticks.release.compressed);
    }

    // A disk that one run writes is left alone by another: the second run is refused at once,
    // touches nothing, and the first goes on to verify its stick.
    void a_disk_being_written_is_refused_to_another_run()
    {
        farm sticks(20 << 20);
        sticks.save_settings("rig(%d)");
        win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive2", 1);
        cli_result second;
        std::size_t journal_before = 0;
        std::size_t journal_after = 0;
        QTimer other_run;
        QObject::connect(&other_run, &QTimer::timeout, [&] {
            if (!win32::test_control::call_held())
                return;
            other_run.stop();
            journal_before = win32::test_control::journal().size();
            second = sticks.run("flash --disk 2 --yes");
            journal_after = win32::test_control::journal().size();
            win32::test_control::release_held();
        });
        other_run.start(10);

        const cli_result first = sticks.run("flash --disk 2 --yes");
        // Nothing touched, no name handed out: the exit status of a refusal.
        QCOMPARE(second.status, 2);
        QCOMPARE(second.err, QString("disk 2 (\\\\.\\PhysicalDrive2) failed: The device is in use by another flash\n"));
        QCOMPARE(journal_after, journal_before);
        QVERIFY(read_file(QString::fromStdString(sticks.data_folder()) + "/configuration.txt").contains("\"worker\": \"rig(%d,2)\""));
        QCOMPARE(first.status, 0);
        QVERIFY(first.out.contains("  disk 2 (\\\\.\\PhysicalDrive2): \"rig1\" verified\n"));
        QCOMPARE(sticks.stick_content(1), sticks.flashed_image("rig1"));
    }

    void a_damaged_image_fails_every_disk_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QByteArray image = image_files::disk_image(3 << 20, config_offset);
        const QByteArray compressed = gzip_data::compress(image);
        QTest::newRow("cut short") << compressed.left(compressed.size() / 2);
        QTest::newRow("not gzip") << image.left(4096);
        QTest::newRow("no configuration area")
            << gzip_data::compress(image_files::disk_image(3 << 20, 3 << 20));
    }

    // An image file is written as it is inflated: one that turns out damaged midway fails every
    // disk, none of which is left with a layout that boots. One that is no gzip at all is
    // refused before any disk is touched.
    void a_damaged_image_fails_every_disk()
    {
        QFETCH(QByteArray, content);
        farm sticks;
        sticks.save_settings("rig(%d)");
        const QString path = sticks.image_file(content);
        const cli_result refused = sticks.run("flash --all --yes --image " + path);
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("The image is damaged: " + path + "\n"), qPrintable(refused.err));
        for (int disk = 1; disk <= 3; ++disk)
            QVERIFY2(refused.out.contains(QString("  disk %1 (\\\\.\\PhysicalDrive%1): \"rig%1\" failed\n").arg(disk)),
                     qPrintable(refused.out));
        if (QString(QTest::currentDataTag()) == "not gzip")
            QVERIFY(sticks.untouched());
        for (int stick = 0; stick < 3; ++stick)
            QCOMPARE(sticks.host.read(sticks.sticks[stick], 0, 512), QByteArray(512, '\0'));
        // The user's file stays as it was, and no image of it is kept.
        QCOMPARE(image_files::read_file(path), content);
        QDirIterator kept(sticks.data.path() + "/images", {"image*"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(!kept.hasNext(), qPrintable(kept.hasNext() ? kept.next() : QString()));
    }

    void a_given_image_is_flashed_as_it_is()
    {
        farm sticks;
        const QString path = sticks.image_file(sticks.release.compressed);
        const cli_result flashed = sticks.run(QString("flash --disk 3 --yes --worker farm-a --btc ") + btc_address
                                              + " --image " + path);
        QCOMPARE(flashed.status, 0);
        QCOMPARE(sticks.stick_content(2), sticks.flashed_image("farm-a"));
        QCOMPARE(sticks.saved_worker(), std::string("farm-a1"));
        QVERIFY(sticks.server.requests().isEmpty());
        QCOMPARE(image_files::read_file(path), sticks.release.compressed);

        // Its decompressed image is kept for the next run, which does not unpack it again.
        const QFileInfoList kept = QDir(sticks.data.path() + "/images").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(kept.size(), 1);
        const QFileInfo image(kept.first().absoluteFilePath() + "/image");
        QCOMPARE(image.size(), qint64(sticks.release.image.size()));
        const QDateTime made = image.lastModified();
        QCOMPARE(sticks.run("flash --disk 1 --yes --image " + path).status, 0);
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("farm-a1"));
        QCOMPARE(QFileInfo(image.absoluteFilePath()).lastModified(), made);

        // A copy elsewhere is the same content: found by the checksum the first run recorded
        // while it wrote, not unpacked again.
        const QString copy = sticks.data.path() + "/copy-of-image.gz";
        QVERIFY(QFile::copy(path, copy));
        QCOMPARE(sticks.run("flash --disk 3 --yes --image " + copy).status, 0);
        QCOMPARE(sticks.stick_content(2), sticks.flashed_image("farm-a2"));
        QCOMPARE(QFileInfo(image.absoluteFilePath()).lastModified(), made);
        QCOMPARE(QDir(sticks.data.path() + "/images").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    void interrupt_stops_every_write()
    {
        // Three chunks: the stick is caught with its partition table not yet written.
        farm sticks(20 << 20);
        sticks.save_settings("rig(%d)");
        win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive2", 1);
        // Ctrl-C while the second stick's write waits; the write goes on once the run took it.
        QTimer ctrl_c;
        QObject::connect(&ctrl_c, &QTimer::timeout, [&] {
            if (win32::test_control::call_held() && !cli::interruption::requested())
                cli::interruption::request();
            if (sticks.log().contains("Flashing canceled from the command line")) {
                ctrl_c.stop();
                win32::test_control::release_held();
            }
        });
        ctrl_c.start(10);

        const cli_result stopped = sticks.run("flash --all --yes");
        QCOMPARE(stopped.status, 130);
        QVERIFY2(stopped.out.contains("  disk 2 (\\\\.\\PhysicalDrive2): \"rig2\" canceled\n"), qPrintable(stopped.out));
        // The partition table is written last: the stopped stick holds none.
        QCOMPARE(sticks.host.read(sticks.sticks[1], 0, 512), QByteArray(512, '\0'));
        // Every stick was let go: each can be prepared again at once.
        cli::interruption::clear();
        QCOMPARE(sticks.run("flash --disk 2 --yes").status, 0);
    }

    // A flashing station: sticks plugged in one after another get consecutive names from the
    // template named for it, also a stick swapped for another within one look; a stick too small
    // is told, not flashed; the sticks there before it started are left alone; Ctrl-C while a
    // stick is written writes nothing more. Started again, the station goes on counting.
    void flashing_station()
    {
        farm sticks(20 << 20);
        sticks.save_settings("farm(%d,7)");
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        cli::console io {in, out, err, false};
        QStringList plugged;
        const auto plug = [&](qint64 size = 16'000'000'000) {
            fake_host::disk blueprint = fake_host::usb_stick(size);
            blueprint.rereads_partition_table = true;
            plugged << sticks.host.add(blueprint);
        };
        // Each step once the station has told of the one before.
        QTimer station;
        int step = 0;
        QObject::connect(&station, &QTimer::timeout, [&] {
            const QString told = QString::fromStdString(out.str());
            if (step == 0 && told.contains("Waiting for USB sticks")) {
                plug();
                ++step;
            } else if (step == 1 && told.contains("\"rig1\" verified\a")) {
                plug(1'000'000'000);
                plug();
                ++step;
            } else if (step == 2 && told.contains("\"rig2\" verified\a") && threads_named("device watch") == 1) {
                // Swapped between two looks of the station's one watch: as many sticks as before.
                win32::test_control::hold_call(call::usb_storage_listing, "USBSTOR");
                ++step;
            } else if (step == 3 && win32::test_control::call_held()) {
                sticks.host.remove(plugged[2]);
                plug();
                win32::test_control::release_held();
                ++step;
            } else if (step == 4 && told.contains("\"rig3\" verified\a")) {
                win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive8", 1);
                plug();
                ++step;
            } else if (step == 5 && win32::test_control::call_held()) {
                cli::interruption::request();
                ++step;
            } else if (step == 6 && sticks.log().contains("Flashing canceled from the command line")) {
                win32::test_control::release_held();
                ++step;
            }
        });
        station.start(10);

        const cli::parse_result asked = cli::parse({"watch", "--yes", "--worker", "rig(%d)"});
        QCOMPARE(cli::run(asked.parsed, sticks.data_folder(), io), 130);
        const QString told = QString::fromStdString(out.str());
        // Each stick by its kernel device and USB port, as one finds it at the hub; the bell at
        // its start and its end; the tally when the station stops.
        for (const char* line : {"disk 4 (sde, port 1-4): \"rig1\" started\a\n",
                                 "disk 5 (sdf, port 1-5): left out, too small, 2 GB or less\n",
                                 "disk 7 (sdg, port 1-7): \"rig3\" verified\a\n",
                                 "disk 8 (sdh, port 1-8): \"rig4\" canceled\a\n",
                                 "Flashed 3 (rig1, rig2, rig3), failed 0, stopped 1 (rig4), left alone 1\n"})
            QVERIFY2(told.contains(line), qPrintable(told));
        QCOMPARE(sticks.worker_on_stick(plugged[0]), QString("rig1"));
        QCOMPARE(sticks.worker_on_stick(plugged[3]), QString("rig3"));
        QCOMPARE(sticks.host.read(plugged[1], 0, 512), QByteArray(512, '\0'));
        // Stopped before its partition table: the stick boots nothing.
        QCOMPARE(sticks.host.read(plugged[4], 0, 512), QByteArray(512, '\0'));
        int writes_to_the_last = 0;
        for (const auto& entry : win32::test_control::journal()) {
            QVERIFY2(QString::fromStdString(entry.target).contains(QRegExp("PhysicalDrive[4678]$")), entry.target.c_str());
            writes_to_the_last += entry.what == call::write && entry.target == "\\\\.\\PhysicalDrive8";
        }
        QCOMPARE(writes_to_the_last, 2);
        QCOMPARE(sticks.saved_worker(), std::string("rig(%d,5)"));

        // The same command again, as after a restart: the next stick is rig5, not rig1.
        cli::interruption::clear();
        std::ostringstream again_out;
        cli::console again {in, again_out, err, false};
        QTimer restarted;
        QObject::connect(&restarted, &QTimer::timeout, [&] {
            const QString told_again = QString::fromStdString(again_out.str());
            if (plugged.size() == 5 && told_again.contains("Waiting for USB sticks"))
                plug();
            else if (told_again.contains(" verified\a"))
                cli::interruption::request();
        });
        restarted.start(10);
        QCOMPARE(cli::run(asked.parsed, sticks.data_folder(), again), 130);
        QVERIFY2(QString::fromStdString(again_out.str()).contains("\"rig5\" verified\a"), again_out.str().c_str());
        QCOMPARE(sticks.worker_on_stick(plugged[5]), QString("rig5"));

        // For scripts: one JSON object per event and line, no bell.
        restarted.stop();
        cli::interruption::clear();
        std::ostringstream json_out;
        cli::console for_scripts {in, json_out, err, false};
        QTimer scripted;
        QObject::connect(&scripted, &QTimer::timeout, [&] {
            const QString told_json = QString::fromStdString(json_out.str());
            if (plugged.size() == 6 && told_json.contains("\"event\":\"watching\""))
                plug();
            else if (told_json.contains("\"event\":\"ended\""))
                cli::interruption::request();
        });
        scripted.start(10);
        QCOMPARE(cli::run(cli::parse({"watch", "--yes", "--json"}).parsed, sticks.data_folder(), for_scripts), 130);
        QStringList events;
        for (const QString& line : QString::fromStdString(json_out.str()).split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(!event.isEmpty(), qPrintable(line));
            events << event["event"].toString() + ' ' + event["worker"].toString() + ' ' + event["outcome"].toString();
            if (event["event"] == "ended")
                QCOMPARE(event["port"].toString(), QString("1-10"));
        }
        QCOMPARE(events.filter(QRegExp("^(started|ended|stopped|left_alone) ")),
                 QStringList({"started rig6 ", "ended rig6 verified", "stopped  "}));
    }

    // Two stations on one data folder, one here and one a process of its own, both seeing every
    // stick: none is flashed twice, and the record holds each once. The station here looks at a
    // stick only after the other has verified it, as a station whose look comes late does.
    void two_stations_flash_every_stick_once()
    {
        farm sticks(3 << 20, 0);
        QTemporaryDir home(memory_folder() + "/kestrel-home-XXXXXX");
        const QString folder = farm::prepared_folder(home.path());
        const QString image = sticks.image_file(sticks.release.compressed);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        QProcess other;
        other.setProcessEnvironment(environment);
        other.start(tool_process::program_path(), {"--cli", "watch", "--yes", "--image", image});
        QString other_told;

        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        cli::console io {in, out, err, false};
        QStringList plugged;
        const auto plug = [&] {
            fake_host::disk blueprint = fake_host::usb_stick();
            blueprint.rereads_partition_table = true;
            blueprint.serial = "SERIAL" + QString::number(plugged.size());
            plugged << sticks.host.add(blueprint);
        };
        const auto verified = [&](int count) {
            return QString::fromStdString(out.str()).count(" verified\a") + other_told.count(" verified\a") == count;
        };
        QTimer stations;
        int step = 0;
        QObject::connect(&stations, &QTimer::timeout, [&] {
            other_told += QString::fromUtf8(other.readAllStandardOutput());
            const bool both_waiting = other_told.contains("Waiting for USB sticks")
                && QString::fromStdString(out.str()).contains("Waiting for USB sticks");
            if (step == 0 && both_waiting) {
                win32::test_control::hold_call(call::usb_storage_listing, "USBSTOR");
                ++step;
            } else if (step == 1 && win32::test_control::call_held()) {
                plug();
                ++step;
            } else if (step == 2 && verified(1)) {
                win32::test_control::release_held();
                ++step;
            } else if (step == 3 && QString::fromStdString(out.str()).contains("disk 1 (")) {
                // Started again here, the stick would be flashed twice: the test ends at once.
                if (QString::fromStdString(out.str()).contains("left out"))
                    plug();
                else
                    step = 5;
                ++step;
            } else if (step == 4 && verified(2)) {
                plug();
                ++step;
            } else if ((step == 5 && verified(3)) || step == 6) {
                ::kill(static_cast<pid_t>(other.processId()), SIGINT);
                cli::interruption::request();
                step = 7;
            }
        });
        stations.start(10);

        const cli::parse_result asked = cli::parse({"watch", "--yes", "--image", image.toStdString()});
        QCOMPARE(cli::run(asked.parsed, folder.toStdString(), io), 130);
        // It may have ended while the station here was stopping: waiting then says false.
        const bool ended = other.state() == QProcess::NotRunning || other.waitForFinished(60000);
        if (!ended) {
            other.kill();
            other.waitForFinished();
        }
        other_told += QString::fromUtf8(other.readAllStandardOutput() + other.readAllStandardError());
        QVERIFY2(ended, qPrintable(QString::fromStdString(out.str()) + "\n--- the other station:\n" + other_told));
        const QString told = QString::fromStdString(out.str());
        QVERIFY2(told.contains(QRegExp("disk 1 \\([^)]*\\): left out, (flashed and verified as \"rig1\" at [^;]*"
                                       "; --again flashes it again|being flashed by another station)\n")),
                 qPrintable(told + other_told));
        QCOMPARE(told.count(" started\a\n") + other_told.count(" started\a\n"), 3);

        const std::vector<flash_record::entry> record = flash_record::read(folder.toStdString());
        QCOMPARE(int(record.size()), 3);
        QStringList serials;
        for (const flash_record::entry& line : record) {
            QCOMPARE(line.result, flash_record::outcome::verified);
            serials << QString::fromStdString(line.serial);
        }
        serials.sort();
        QCOMPARE(serials, QStringList({"SERIAL0", "SERIAL1", "SERIAL2"}));
        QStringList names;
        for (const QString& stick : plugged)
            names << sticks.worker_on_stick(stick);
        names.sort();
        QCOMPARE(names, QStringList({"rig1", "rig2", "rig3"}));
    }

    void a_read_only_data_folder_is_named_data()
    {
        QTest::addColumn<QString>("unwritable");
        QTest::addColumn<bool>("image_file");
        QTest::newRow("downloads folder, the release cached") << "/downloads" << false;
        QTest::newRow("images folder, an image file given") << "/images" << true;
        QTest::newRow("data folder") << "" << false;
        QTest::newRow("data folder, an image file given") << "" << true;
    }

    // Told apart from a full disk, and without Qt's complaints about files that never opened.
    // The unpacked image is only kept to spare the next run the work: a stick is flashed from
    // the download when it cannot be kept. The names, which must be saved, fail the run.
    void a_read_only_data_folder_is_named()
    {
        QFETCH(QString, unwritable);
        QFETCH(bool, image_file);
        farm sticks;
        app_paths::prepare_data_folder(sticks.data_folder());
        QDir().mkpath(sticks.data.path() + "/images");
        sticks.save_settings("rig(%d)");
        sticks.cache_release(sticks.data.path());
        const QString image = image_file ? " --image " + sticks.image_file(sticks.release.compressed) : QString();
        const QString folder = sticks.data.path() + unwritable;
        const qt_warnings warnings;
        cli_result run;
        {
            const unwritable_folder read_only(folder);
            run = sticks.run("flash --disk 1 --yes" + image);
        }
        QCOMPARE(warnings.texts(), QStringList());
        if (unwritable.isEmpty()) {
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.endsWith("Cannot write to the data folder: " + folder + "\n"), qPrintable(run.err));
            QCOMPARE(sticks.host.read(sticks.sticks[0], 0, 512), QByteArray(512, '\0'));
            return;
        }
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 image_file ? QStringList() : QStringList({"checksum.md5", "v1.gz"}));
    }

    // A farm's cache fills up while a release is unpacked the first time: the stick is flashed
    // from the download and verified against it, never left half-written, and nothing of the
    // unpacked image is left to be taken for a whole one.
    void a_full_cache_still_flashes_the_stick()
    {
        // Six blocks without a run of zeros to leave out: the cache runs full midway.
        farm sticks(48 << 20);
        small_file_system disk(sticks.release.compressed.size() + (20 << 20));
        if (!disk.mounted())
            QSKIP("no right to mount a file system");
        const QString folder = farm::prepared_folder(disk.path());
        sticks.cache_release(folder);
        QVERIFY(disk.fill(16 << 20));

        const cli_result flashed = sticks.run_on(folder.toStdString(), "flash --disk 1 --disk 3 --yes");
        QVERIFY2(flashed.status == 0, qPrintable(flashed.err));
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
        QCOMPARE(sticks.stick_content(2), sticks.flashed_image("rig2"));
        QCOMPARE(QDir(folder + "/downloads").entryList(QDir::Files), QStringList({"checksum.md5", "v1.gz"}));
    }

    // The names of a run are saved before its first write: with no room left to save them, the
    // run hands out none, says why and touches no disk; once there is room, nothing was skipped.
    void a_full_data_folder_hands_out_no_name()
    {
        farm sticks;
        small_file_system disk(16 << 20);
        if (!disk.mounted())
            QSKIP("no right to mount a file system");
        const QString folder = farm::prepared_folder(disk.path());
        sticks.cache_release(folder);
        // Room for the lock, none for the settings.
        QVERIFY(disk.fill(4096));

        const cli_result refused = sticks.run_on(folder.toStdString(), "flash --all --yes");
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("Not enough free space in the data folder: " + folder + "\n"), qPrintable(refused.err));
        QVERIFY(sticks.untouched());
        QCOMPARE(settings_store::load_settings(folder.toStdString())->worker, std::string("rig(%d)"));

        QVERIFY(QFile::remove(disk.path() + "/filler"));
        QCOMPARE(sticks.run_on(folder.toStdString(), "flash --disk 2 --yes").status, 0);
        QCOMPARE(sticks.stick_content(1), sticks.flashed_image("rig1"));
    }

    // The record is an account of the sticks, not a part of their flash: with no room left for
    // its lines the run says so, and every stick keeps its outcome.
    void a_full_data_folder_keeps_the_outcomes()
    {
        farm sticks;
        small_file_system disk(16 << 20);
        if (!disk.mounted())
            QSKIP("no right to mount a file system");
        const QString folder = farm::prepared_folder(disk.path());
        sticks.cache_release(folder);
        // Unpacked already: the run writes nothing else to the data folder.
        image_files::write_file(folder + "/downloads/v1", sticks.release.image);
        QVERIFY(image_manipulator::record_complete((folder + "/downloads/v1").toStdString()));
        // Filled once the names are saved, while the second stick's first write waits.
        win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive2");
        bool filled = false;
        QTimer fill;
        QObject::connect(&fill, &QTimer::timeout, [&] {
            if (!win32::test_control::call_held())
                return;
            fill.stop();
            // Room for the lock, none for the record.
            filled = disk.fill(4096);
            win32::test_control::release_held();
        });
        fill.start(10);

        const cli_result flashed = sticks.run_on(folder.toStdString(), "flash --all --yes");
        QVERIFY(filled);
        QCOMPARE(flashed.status, 0);
        QCOMPARE(flashed.err, "Not enough free space in the data folder: " + folder + "\n");
        for (int stick = 1; stick <= 3; ++stick)
            QVERIFY2(flashed.out.contains(QString("  disk %1 (\\\\.\\PhysicalDrive%1): \"rig%1\" verified\n").arg(stick)),
                     qPrintable(flashed.out));
        QCOMPARE(sticks.run_on(folder.toStdString(), "history").out, QString("No stick flashed yet\n"));

        QVERIFY(QFile::remove(disk.path() + "/filler"));
        QCOMPARE(sticks.run_on(folder.toStdString(), "flash --disk 2 --yes").status, 0);
        const cli_result history = sticks.run_on(folder.toStdString(), "history --json");
        const QJsonArray entries = QJsonDocument::fromJson(history.out.toUtf8()).array();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].toObject()["worker"].toString(), QString("rig4"));
    }

    // The failure on the error stream, the outcome of each disk with the results.
    void a_failed_download_fails_every_disk()
    {
        farm sticks;
        sticks.save_settings("rig(%d)");
        sticks.server.answer_for(release_server::image_path("v1")).cut_after = 4096;
        const cli_result failed = sticks.run("flash --disk 1 --disk 3 --yes");
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.startsWith("Network error: "), qPrintable(failed.err));
        QVERIFY2(!failed.out.contains("Network error"), qPrintable(failed.out));
        QVERIFY2(failed.out.contains("  disk 1 (\\\\.\\PhysicalDrive1): \"rig1\" failed\n"
                                     "  disk 3 (\\\\.\\PhysicalDrive3): \"rig2\" failed\n"),
                 qPrintable(failed.out));
        QVERIFY(sticks.untouched());

        // With a release cached, a cut download of a newer one leaves the cached release to
        // flash, unless only the latest will do.
        sticks.cache_release(sticks.data.path());
        release_fixture::make("v2", 3 << 20, config_offset).serve(sticks.server);
        sticks.server.answer_for(release_server::image_path("v2")).cut_after = 4096;
        const cli_result latest = sticks.run("flash --disk 1 --yes --latest-only");
        QCOMPARE(latest.status, 1);
        QVERIFY2(latest.err.startsWith("Network error: "), qPrintable(latest.err));
        QVERIFY(sticks.untouched());
        const cli_result cached = sticks.run("flash --disk 1 --yes");
        QCOMPARE(cached.status, 0);
        QCOMPARE(cached.err, QString("Release server unreachable: flashing the cached v1\n"));
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
    }

    void ctrl_c_from_the_terminal_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::newRow("Ctrl-C") << SIGINT;
        // A service manager's stop, a closed terminal.
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        // Killed, it leaves its hold on the download to be taken over.
        QTest::newRow("SIGKILL") << SIGKILL;
    }

    void ctrl_c_from_the_terminal()
    {
        QFETCH(int, signal_number);
        farm sticks;
        sticks.save_settings("rig(%d)");
        release_server::answer& image = sticks.server.answer_for(release_server::image_path("v1"));
        image.hold_after = 4096;
        image.accept_ranges = true;
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        QDir().mkpath(home.path() + "/Kestrel Flash Tool");
        settings_store::save_settings((home.path() + "/Kestrel Flash Tool").toStdString(),
                                      *settings_store::load_settings(sticks.data_folder()));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(tool_process::program_path(), {"--cli", "flash", "--all", "--yes"});
        QTRY_COMPARE_WITH_TIMEOUT(sticks.server.held_transfers(), 1, 30000);
        const QString downloads = home.path() + "/Kestrel Flash Tool/downloads/";
        const bool killed = signal_number == SIGKILL;
        if (killed)
            QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(downloads + "v1.gz.part").size(), qint64(4096), 30000);
        ::kill(static_cast<pid_t>(program.processId()), signal_number);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(QDir(downloads).entryList({"*.hold-*"}).size(), killed ? 1 : 0);
        if (!killed) {
            QCOMPARE(program.exitCode(), 130);
            QVERIFY(program.readAllStandardOutput().contains("  disk 1 (\\\\.\\PhysicalDrive1): \"rig1\" canceled\n"));
        }
        for (int stick = 0; stick < 3; ++stick)
            QCOMPARE(sticks.stick_content(stick), QByteArray(sticks.release.image.size(), '\0'));

        // Stopped midway, the download stays for the next run, which goes on from there.
        QCOMPARE(read_file(downloads + "v1.gz.part"), sticks.release.compressed.left(4096));
        QVERIFY(QFileInfo(downloads + "v1.gz.part.md5").isFile());
        image.hold_after = -1;
        QProcess next;
        next.setProcessEnvironment(environment);
        next.start(tool_process::program_path(), {"--cli", "flash", "--disk", "1", "--yes"});
        // The server answers from this event loop.
        QTRY_COMPARE_WITH_TIMEOUT(next.state(), QProcess::NotRunning, 30000);
        QVERIFY2(next.exitCode() == 0, next.readAllStandardError().constData());
        QCOMPARE(sticks.server.ranges(), QStringList({"bytes=4096-"}));
        QCOMPARE(read_file(downloads + "v1.gz"), sticks.release.compressed);
        QCOMPARE(sticks.stick_content(0), sticks.flashed_image("rig1"));
        QCOMPARE(QDir(downloads).entryList({"*.hold-*"}), QStringList());
    }

    void help_and_bad_arguments_from_the_program()
    {
        QProcess help;
        help.start(tool_process::program_path(), {"--help"});
        QVERIFY(help.waitForFinished(30000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("kestrel-flash-tool --cli flash (--disk N|/dev/sdX ... | --all)"));

        // No display is needed for either.
        QProcess version;
        QProcessEnvironment no_display = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            no_display.remove(name);
        version.setProcessEnvironment(no_display);
        version.start(tool_process::program_path(), {"--version"});
        QVERIFY(version.waitForFinished(30000));
        QCOMPARE(version.exitCode(), 0);
        QCOMPARE(version.readAllStandardOutput(), QByteArray("kestrel-flash-tool 1.0.6\n"));

        QProcess bad;
        bad.start(tool_process::program_path(), {"--cli", "flash", "--disk", "x"});
        QVERIFY(bad.waitForFinished(30000));
        QCOMPARE(bad.exitCode(), 2);
        QCOMPARE(bad.readAllStandardError(),
                 QByteArray("--disk: \"x\" is no disk number or device (see --cli list)\nTry kestrel-flash-tool --help\n"));
    }
};

QTEST_GUILESS_MAIN(test_command_line)
#include "test_command_line.moc"
