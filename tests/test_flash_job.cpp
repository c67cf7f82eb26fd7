// The flash job over a fake host and the local release server: every row of its transition
// table walked by a run that takes it, and what each run leaves behind.

#include "base/app_paths.h"
#include "captured_log.h"
#include "device/device_manager.h"
#include "fake_host.h"
#include "retrieval/image_retriever.h"
#include "image_files.h"
#include "local_endpoints.h"
#include "memory_folder.h"
#include "win32/test_control.h"
#include "release_fixture.h"
#include "release_server.h"
#include "scoped_waits.h"
#include "config/settings_store.h"
#include "device/device_windows.h"
#include "run/disk_offer.h"
#include "run/flash_job.h"
#include "run/flash_record.h"
#include "run/transitions.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>

using win32::test_control::call;

namespace {

const int at_once_ms = 120000;
const quint64 config_offset = 1 << 20;
const char* const btc_address = "1BoatSLRHtKNngkdXEeobR76b53LETtpyT";

// A time of the record `minutes` ago, written at `offset_minutes` from UTC.
std::string minutes_ago(int minutes, int offset_minutes = 0)
{
    return QDateTime::currentDateTimeUtc().addSecs(-60 * minutes).toOffsetFromUtc(60 * offset_minutes)
        .toString(Qt::ISODate).toStdString();
}

// The rows of the table that the runs so far have taken, as "from, event -> to".
QSet<QString>& walked()
{
    static QSet<QString> rows;
    return rows;
}

QString row_text(const transition& row)
{
    return QString("%1, %2 -> %3").arg(stage_name(row.from), event_name(row.event), stage_name(row.to));
}

// A host with USB sticks, the release on the local server, a data folder and the job.
class bench {
public:
    explicit bench(int sticks = 1, int image_size = 3 << 20)
        : release(release_fixture::make("v1", image_size, config_offset))
        , data(memory_folder() + "/kestrel-job-XXXXXX")
    {
        for (int stick = 0; stick < sticks; ++stick) {
            fake_host::disk blueprint = fake_host::usb_stick();
            // As real hardware: no volume comes back once the layout is gone.
            blueprint.rereads_partition_table = true;
            names << host.add(blueprint);
        }
        release.serve(server);
        if (!server.start())
            qFatal("the release server cannot listen on 127.0.0.1");
        local_endpoints::announce_port(server.port());
        app_paths::prepare_data_folder(folder());
        devices = std::make_unique<device_manager>();
        job = std::make_unique<flash_job>(folder(), *devices);
        QObject::connect(job.get(), &flash_job::stage_changed, &context, [this](job_stage stage) {
            stages << stage;
            const auto reaction = reactions.find(stage);
            if (reaction == reactions.end())
                return;
            // After the step that led there has done its work, as a later event would come.
            QTimer::singleShot(0, &context, reaction->second);
            reactions.erase(reaction);
        });
        QObject::connect(job.get(), &flash_job::finished, &context, [this](run_outcome outcome) {
            outcomes << outcome;
        });
        QObject::connect(job.get(), &flash_job::message, &context,
                         [this](const QString& text) { messages << text; });
        QObject::connect(job.get(), &flash_job::download_offered, &context, [this] { ++offers; });
    }

    ~bench()
    {
        win32::test_control::release_held();
        server.release_held();
        job.reset();
        devices.reset();
        for (const QString& line : log.texts("debug")) {
            const QRegularExpressionMatch taken = QRegularExpression("^Flash job: (.+ -> .+)$").match(line);
            if (taken.hasMatch())
                walked() << taken.captured(1);
        }
    }

    std::string folder() const { return data.path().toStdString(); }
    QString downloads() const { return data.path() + "/downloads"; }

    // The release as a complete earlier download left it.
    void cache_release() const
    {
        image_files::write_file(downloads() + "/v1.gz", release.compressed);
        image_files::write_file(downloads() + "/checksum.md5", release.checksum_text.left(32) + "  v1.gz\n");
    }

    // What FLASH asks for, for every stick.
    flash_request request() const
    {
        flash_request asked;
        asked.values.btc = btc_address;
        asked.values.worker = "rig(%d)";
        asked.values.location = "eu";
        asked.disks = devices->get_devices();
        return asked;
    }

    // Once the job reaches `stage`, `act` runs, once.
    void on(job_stage stage, std::function<void()> act) { reactions[stage] = std::move(act); }

    bool idle_again() const
    {
        return QTest::qWaitFor([this] { return job->stage() == job_stage::idle && !outcomes.isEmpty(); },
                               at_once_ms);
    }

    bool start_up_done() const
    {
        return QTest::qWaitFor([this] { return job->stage() == job_stage::idle; }, at_once_ms);
    }

    int writes() const
    {
        int count = 0;
        for (const auto& entry : win32::test_control::journal())
            count += entry.what == call::write;
        return count;
    }

    QString written_worker(int stick) const
    {
        const QByteArray block = host.read(names[stick], qint64(config_offset), 2048);
        return QJsonDocument::fromJson(block).object()["rig"].toObject()["worker"].toString();
    }

    captured_log log;
    fake_host host;
    QStringList names;
    release_fixture release;
    release_server server;
    QTemporaryDir data;
    std::unique_ptr<device_manager> devices;
    std::unique_ptr<flash_job> job;
    QObject context;
    std::map<job_stage, std::function<void()>> reactions;
    QList<job_stage> stages;
    QList<run_outcome> outcomes;
    QStringList messages;
    int offers = 0;
};

} // namespace

class test_flash_job : public QObject {
    Q_OBJECT

private slots:
    // The check when a front end starts: no run, whatever comes of it.
    void check_at_start_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("cached") << "cached";
        QTest::newRow("offer declined") << "declined";
        QTest::newRow("downloaded") << "downloaded";
        QTest::newRow("query fails") << "query fails";
        QTest::newRow("download fails") << "download fails";
        // Told in the offline notice's words; the cached release is the one ready to flash.
        QTest::newRow("newer download fails, a release cached") << "cached, newer fails";
        QTest::newRow("stopped while asking") << "stop asking";
        QTest::newRow("stopped while offering") << "stop offering";
        QTest::newRow("stopped while downloading") << "stop downloading";
    }

    void check_at_start()
    {
        QFETCH(QString, what);
        bench run;
        if (what.startsWith("cached"))
            run.cache_release();
        if (what == "cached, newer fails") {
            release_fixture::make("v2", 3 << 20, config_offset).serve(run.server);
            run.server.answer_for(release_server::image_path("v2")).status = 404;
        }
        if (what == "query fails")
            run.server.answer_for(release_server::latest_path()).status = 500;
        if (what == "download fails")
            run.server.answer_for(release_server::image_path("v1")).status = 404;
        if (what == "stop asking")
            run.server.answer_for(release_server::latest_path()).silent = true;
        if (what == "stop downloading")
            run.server.answer_for(release_server::image_path("v1")).hold_after = 1000;
        run.on(job_stage::startup_offering, [&] {
            if (what == "declined")
                run.job->decline_download();
            else if (what == "stop offering")
                run.job->stop();
            else
                run.job->accept_download();
        });
        run.on(job_stage::startup_checking, [&] {
            if (what == "stop asking")
                run.job->stop();
        });
        if (what == "stop downloading")
            run.on(job_stage::startup_downloading, [&] {
                QVERIFY(QTest::qWaitFor([&] { return run.server.held_transfers() == 1; }, at_once_ms));
                run.job->stop();
            });

        run.job->check_at_start();
        QVERIFY(QTest::qWaitFor([&] { return run.stages.size() > 1 && run.job->stage() == job_stage::idle; },
                                at_once_ms));
        QVERIFY(!run.job->running());
        QVERIFY(run.outcomes.isEmpty());
        QCOMPARE(QFile::exists(run.downloads() + "/v1.gz"), what.startsWith("cached") || what == "downloaded");
        QCOMPARE(run.messages.size(), what.endsWith("fails") ? 1 : 0);
        if (what == "cached, newer fails")
            QCOMPARE(run.messages, QStringList({"Release server unreachable: flashing the cached v1"}));
        QCOMPARE(run.writes(), 0);
    }

    // FLASH while the start-up check is under way: the run takes it over and goes on to the end.
    void flash_during_the_check_at_start_data()
    {
        QTest::addColumn<int>("at");
        QTest::newRow("while asking") << int(job_stage::startup_checking);
        QTest::newRow("while offering") << int(job_stage::startup_offering);
        QTest::newRow("while downloading") << int(job_stage::startup_downloading);
    }

    void flash_during_the_check_at_start()
    {
        QFETCH(int, at);
        const auto stage = job_stage(at);
        bench run;
        if (stage == job_stage::startup_checking) {
            run.cache_release();
            run.server.answer_for(release_server::latest_path()).hold_after = 2;
        }
        if (stage == job_stage::startup_downloading) {
            run.server.answer_for(release_server::image_path("v1")).hold_after = 1000;
            run.on(job_stage::startup_offering, [&] { run.job->accept_download(); });
        }
        run.on(job_stage::offering, [&] { run.job->accept_download(); });
        run.on(stage, [&] {
            if (stage == job_stage::startup_downloading)
                QVERIFY(QTest::qWaitFor([&] { return run.server.held_transfers() == 1; }, at_once_ms));
            run.job->flash(run.request());
            run.server.answer_for(release_server::latest_path()).hold_after = -1;
            run.server.release_held();
        });

        run.job->check_at_start();
        QVERIFY(run.idle_again());
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::succeeded}));
        QCOMPARE(run.written_worker(0), QString("rig1"));
        // One download for both.
        QVERIFY(run.server.requests().count("GET " + release_server::image_path("v1")) <= 1);
    }

    void run_to_the_end_data()
    {
        QTest::addColumn<QString>("image");
        QTest::newRow("cached release") << "cached";
        QTest::newRow("downloaded release") << "download";
        QTest::newRow("image file") << "file";
        // The newer release the server names cannot be had: the cached one serves.
        QTest::newRow("cached release, newer one declined") << "cached newer declined";
        QTest::newRow("cached release, newer one not found") << "cached newer missing";
    }

    // Every disk verified with its own name, the counter moved on past the last.
    void run_to_the_end()
    {
        QFETCH(QString, image);
        bench run(2);
        if (image.startsWith("cached"))
            run.cache_release();
        const bool newer = image.contains("newer");
        if (newer)
            release_fixture::make("v2", 3 << 20, config_offset).serve(run.server);
        if (image.endsWith("missing"))
            run.server.answer_for(release_server::image_path("v2")).status = 404;
        run.on(job_stage::offering, [&] {
            if (image.endsWith("declined"))
                run.job->decline_download();
            else
                run.job->accept_download();
        });
        flash_request asked = run.request();
        if (image == "file") {
            asked.image_file = (run.data.path() + "/given.img.gz").toStdString();
            image_files::write_file(QString::fromStdString(asked.image_file), run.release.compressed);
        }

        run.job->flash(asked);
        QVERIFY(run.idle_again());
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::succeeded}));
        for (int stick = 0; stick < 2; ++stick) {
            QCOMPARE(run.job->disks()[stick].outcome, disk_outcome::verified);
            QCOMPARE(run.written_worker(stick), QString("rig%1").arg(stick + 1));
        }
        QCOMPARE(settings_store::load_settings(run.folder())->worker, std::string("rig(%d,3)"));
        QCOMPARE(run.offers, image == "download" || newer ? 1 : 0);
        QCOMPARE(run.messages.contains("Release server unreachable: flashing the cached v1"), newer);

        // A line per stick, the image by its tag or its file, with its MD5: for a first flash of
        // a file, the one read beside the write.
        const std::vector<flash_record::entry> record = flash_record::read(run.folder());
        QCOMPARE(int(record.size()), 2);
        const QByteArray md5 = QCryptographicHash::hash(run.release.compressed, QCryptographicHash::Md5).toHex();
        for (int stick = 0; stick < 2; ++stick) {
            const flash_record::entry& line = record[std::size_t(stick)];
            const device& disk = *asked.disks[std::size_t(stick)];
            QVERIFY(!disk.serial.empty() && !disk.port.empty());
            QCOMPARE(line.path, disk.path);
            QCOMPARE(line.device, disk.system_name);
            QCOMPARE(line.model, disk.name);
            QCOMPARE(line.serial, disk.serial);
            QCOMPARE(line.port, disk.port);
            QCOMPARE(line.size, disk.size);
            QCOMPARE(QString::fromStdString(line.worker), QString("rig%1").arg(stick + 1));
            QCOMPARE(line.image, image == "file" ? asked.image_file : std::string("v1"));
            QCOMPARE(QByteArray::fromStdString(line.md5), md5);
            QCOMPARE(line.result, flash_record::outcome::verified);
            QCOMPARE(line.failure, std::string());
        }
    }

    // The download the start-up check just verified is not read whole again before the first
    // flash. Damage that reaches it later, its size and time unchanged, is found while it is
    // unpacked: the disk fails without its first chunk, and the download is forgotten.
    void download_verified_at_start_is_not_read_again()
    {
        bench run;
        run.on(job_stage::startup_offering, [&] { run.job->accept_download(); });
        run.job->check_at_start();
        QVERIFY(QTest::qWaitFor([&] { return run.stages.size() > 1 && run.job->stage() == job_stage::idle; },
                                at_once_ms));
        const QString path = run.downloads() + "/v1.gz";
        const QDateTime written = QFileInfo(path).lastModified();
        QByteArray content = run.release.compressed;
        // The gzip trailer's CRC.
        content[content.size() - 8] = char(~content[content.size() - 8]);
        QFile download(path);
        QVERIFY(download.open(QIODevice::ReadWrite));
        QCOMPARE(download.write(content), qint64(content.size()));
        QVERIFY(download.flush());
        QVERIFY(download.setFileTime(written, QFileDevice::FileModificationTime));
        download.close();

        run.job->flash(run.request());
        QVERIFY(run.idle_again());
        QCOMPARE(run.job->disks()[0].failure, std::string("Downloaded image is damaged"));
        // Prepared: the check took the download as whole without reading it.
        const auto journal = win32::test_control::journal();
        QCOMPARE(std::count_if(journal.begin(), journal.end(),
                               [](const auto& entry) { return entry.what == call::delete_layout; }),
                 1);
        QCOMPARE(run.host.read(run.names[0], 0, 512), QByteArray(512, '\0'));
        QVERIFY(!QFile::exists(path));
    }

    void run_ends_early_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("failure");
        QTest::newRow("offer declined") << "declined" << int(run_outcome::stopped) << "";
        QTest::newRow("query fails") << "query fails" << int(run_outcome::failed)
                                     << "Network error: 403 (server unavailable)";
        QTest::newRow("download fails") << "download fails" << int(run_outcome::failed)
                                        << "Network error: 203 (not found on the server)";
        QTest::newRow("download fails, the latest only wanted")
            << "latest only" << int(run_outcome::failed) << "Network error: 203 (not found on the server)";
        QTest::newRow("cached image damaged") << "damaged" << int(run_outcome::failed)
                                              << "Downloaded image is damaged";
        QTest::newRow("configuration too large") << "too large" << int(run_outcome::failed)
                                                 << "Config file exceeds 2kB";
        QTest::newRow("disk gone before its preparation") << "gone" << int(run_outcome::failed)
                                                          << "Device disconected!";
        QTest::newRow("disk written by another run") << "in use" << int(run_outcome::failed)
                                                     << "The device is in use by another flash";
    }

    // Nothing is written, and the run says why.
    void run_ends_early()
    {
        QFETCH(QString, what);
        QFETCH(int, outcome);
        QFETCH(QString, failure);
        bench run;
        flash_request asked = run.request();
        if (what == "query fails")
            run.server.answer_for(release_server::latest_path()).status = 503;
        if (what == "download fails")
            run.server.answer_for(release_server::image_path("v1")).status = 404;
        // A release is cached, but not the one the server names.
        if (what == "latest only") {
            run.cache_release();
            release_fixture::make("v2", 3 << 20, config_offset).serve(run.server);
            run.server.answer_for(release_server::image_path("v2")).status = 404;
            asked.latest_only = true;
        }
        if (what == "damaged" || what == "too large" || what == "gone" || what == "in use")
            run.cache_release();
        if (what == "damaged")
            image_files::write_file(run.downloads() + "/v1.gz", run.release.compressed.left(1000));
        if (what == "too large")
            asked.values.ssh_key = "ssh-rsa " + std::string(2100, 'A');
        if (what == "gone")
            run.host.remove(run.names[0]);
        // Another run holds the disk for writing.
        HANDLE other_writer = INVALID_HANDLE_VALUE;
        if (what == "in use")
            other_writer = CreateFileA(asked.disks[0]->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        run.on(job_stage::offering, [&] {
            if (what == "declined")
                run.job->decline_download();
            else
                run.job->accept_download();
        });

        run.job->flash(asked);
        QVERIFY(run.idle_again());
        if (other_writer != INVALID_HANDLE_VALUE)
            CloseHandle(other_writer);
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome(outcome)}));
        const disk_report& disk = run.job->disks()[0];
        QCOMPARE(QString::fromStdString(disk.failure),
                 outcome == int(run_outcome::stopped) ? QString() : failure);
        QCOMPARE(run.writes(), 0);
        // A disk gone, or written by another run, is refused before anything of it is touched:
        // it has no name, and the record no line.
        QCOMPARE(disk.untouched, what == "gone" || what == "in use");
        QCOMPARE(settings_store::load_settings(run.folder())->worker, std::string());
        QVERIFY(flash_record::read(run.folder()).empty());
    }

    void a_disk_refused_by_its_preparation_fails_alone_data()
    {
        QTest::addColumn<int>("sticks");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("failure");
        QTest::newRow("the second, gone while the first is prepared") << 2 << 1 << "Device disconected!";
        // Its volumes cannot be told, so cannot be locked: it is not written.
        QTest::newRow("the first, drive letters not listed") << 2 << 0 << "Cannot prepare the device";
        QTest::newRow("the only one, drive letters not listed") << 1 << 0 << "Cannot prepare the device";
    }

    // A disk refused by its preparation had its name: it fails alone, the others are written.
    void a_disk_refused_by_its_preparation_fails_alone()
    {
        QFETCH(int, sticks);
        QFETCH(int, refused);
        QFETCH(QString, failure);
        bench run(sticks);
        run.cache_release();
        for (const QString& stick : run.names)
            run.host.set_partitions(stick, {{1 << 20, 16 << 20, QString()}});
        const flash_request asked = run.request();
        if (refused == 1)
            run.on(job_stage::preparing, [&] { run.host.remove(run.names[1]); });
        else
            // The look before the names lists them; the preparation of the first cannot.
            win32::test_control::fail_call(call::drive_listing, "", ERROR_GEN_FAILURE, 1);
        run.job->flash(asked);
        QVERIFY(run.idle_again());
        for (int stick = 0; stick < sticks; ++stick) {
            const disk_report& disk = run.job->disks()[std::size_t(stick)];
            QCOMPARE(disk.outcome, stick == refused ? disk_outcome::failed : disk_outcome::verified);
            QCOMPARE(QString::fromStdString(disk.failure), stick == refused ? failure : QString());
            QVERIFY(!disk.untouched);
        }
        for (const auto& entry : win32::test_control::journal())
            QVERIFY(entry.target != asked.disks[std::size_t(refused)]->path
                    || (entry.what != call::write && entry.what != call::delete_layout));
        QCOMPARE(settings_store::load_settings(run.folder())->worker, "rig(%d," + std::to_string(sticks + 1) + ")");
    }

    // The first disk ready is written while the next is still being prepared: here, one whose
    // volumes settle for as long as the run lasts. The stop then ends that preparation.
    void a_disk_is_written_while_the_next_is_prepared()
    {
        bench run(1);
        run.cache_release();
        fake_host::disk settling = fake_host::usb_stick();
        settling.partitions = {{1 << 20, 16 << 20, QString()}};
        run.names << run.host.add(settling);
        const scoped_waits waits([](wait_lengths& lengths) { lengths.settle = std::chrono::minutes(10); });
        const flash_request asked = run.request();
        QCOMPARE(asked.disks.size(), std::size_t(2));
        QObject::connect(run.job.get(), &flash_job::disk_changed, &run.context, [&](int index) {
            if (index == 0 && run.job->disks()[0].stage == disk_stage::done)
                QTimer::singleShot(0, &run.context, [&] { run.job->stop(); });
        });
        // Should the first wait for the second, the run ends here, and fails below.
        QTimer::singleShot(at_once_ms, &run.context, [&] { run.job->stop(); });

        run.job->flash(asked);
        QVERIFY(run.idle_again());
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::stopped}));
        QCOMPARE(run.job->disks()[0].outcome, disk_outcome::verified);
        QCOMPARE(run.job->disks()[1].outcome, disk_outcome::canceled);
        QCOMPARE(run.written_worker(0), QString("rig1"));
        for (const auto& entry : win32::test_control::journal())
            QVERIFY(!(entry.what == call::write && entry.target == asked.disks[1]->path));
    }

    void stop_at_every_stage_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("sticks");
        for (job_stage stage : {job_stage::querying, job_stage::offering, job_stage::downloading,
                                job_stage::checking_image, job_stage::preparing, job_stage::writing})
            QTest::newRow(stage_name(stage)) << int(stage) << (stage == job_stage::writing ? 1 : 2);
        // The others wait for the held one once the image's blocks in hand are written: the stop
        // cuts their reads of the kept image short, which is no fault of the image.
        QTest::newRow("writing a batch") << int(job_stage::writing) << 3;
    }

    // Nothing is written after the stop, and every disk is let go.
    void stop_at_every_stage()
    {
        QFETCH(int, at);
        QFETCH(int, sticks);
        const auto stage = job_stage(at);
        // Where a write is held, a second stick writes on meanwhile, before the stop.
        bench run(sticks, sticks > 2 ? 24 << 20 : 3 << 20);
        const bool cached = stage == job_stage::checking_image || stage == job_stage::preparing
            || stage == job_stage::writing;
        if (cached)
            run.cache_release();
        // A batch from the image an earlier flash kept.
        if (sticks > 2) {
            run.job->flash(run.request());
            QVERIFY(run.idle_again());
            QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::succeeded}));
            run.outcomes.clear();
        }
        const std::size_t recorded_before = flash_record::read(run.folder()).size();
        if (stage == job_stage::querying)
            run.server.answer_for(release_server::latest_path()).hold_after = 2;
        if (stage == job_stage::downloading)
            run.server.answer_for(release_server::image_path("v1")).hold_after = 1000;
        // The first write waits until the stop has come.
        if (stage == job_stage::writing)
            win32::test_control::hold_call(call::write, run.request().disks[0]->path);
        if (stage != job_stage::offering)
            run.on(job_stage::offering, [&] { run.job->accept_download(); });
        run.on(stage, [&] {
            if (stage == job_stage::querying || stage == job_stage::downloading)
                QVERIFY(QTest::qWaitFor([&] { return run.server.held_transfers() == 1; }, at_once_ms));
            if (stage == job_stage::writing)
                QVERIFY(QTest::qWaitFor([] { return win32::test_control::call_held(); }, at_once_ms));
            run.job->stop();
            win32::test_control::release_held();
        });

        run.job->flash(run.request());
        QVERIFY(run.idle_again());
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::stopped}));
        if (sticks < 3)
            QCOMPARE(run.writes(), stage == job_stage::writing ? 1 : 0);
        for (const disk_report& disk : run.job->disks())
            QCOMPARE(disk.outcome, disk_outcome::canceled);
        if (cached)
            QVERIFY(QFile::exists(run.downloads() + "/v1.gz"));
        // The disks whose preparation began are recorded as stopped: while writing, the one;
        // while preparing, the first at least, the second when its turn came before the stop.
        std::vector<flash_record::entry> record = flash_record::read(run.folder());
        record.erase(record.begin(), record.begin() + std::ptrdiff_t(recorded_before));
        const bool began = stage == job_stage::preparing || stage == job_stage::writing;
        QVERIFY2(began ? !record.empty() && record.size() <= run.job->disks().size() : record.empty(),
                 qPrintable(QString::number(record.size())));
        for (const flash_record::entry& line : record) {
            QCOMPARE(line.result, flash_record::outcome::stopped);
            QCOMPARE(line.failure, std::string());
        }
        // Let go: the disks can be flashed at once.
        run.outcomes.clear();
        run.server.answer_for(release_server::latest_path()).hold_after = -1;
        run.server.answer_for(release_server::image_path("v1")).hold_after = -1;
        run.server.release_held();
        run.on(job_stage::offering, [&] { run.job->accept_download(); });
        run.job->flash(run.request());
        QVERIFY(run.idle_again());
        QCOMPARE(run.outcomes, QList<run_outcome>({run_outcome::succeeded}));
    }

    void a_stick_verified_lately_is_found_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("found");
        QTest::newRow("verified within the window") << "" << "rig2";
        QTest::newRow("another UTC offset") << "offset" << "rig2";
        QTest::newRow("an older one later in the file") << "older later" << "rig2";
        QTest::newRow("older than the window") << "old" << "";
        QTest::newRow("another port") << "port" << "";
        QTest::newRow("another size") << "size" << "";
        QTest::newRow("failed") << "failed" << "";
        QTest::newRow("no serial number") << "no serial" << "";
    }

    // What a station asks when a stick is plugged in: was it just flashed here?
    void a_stick_verified_lately_is_found()
    {
        QFETCH(QString, change);
        QFETCH(QString, found);
        QTemporaryDir data;
        device stick;
        stick.path = "\\\\.\\PhysicalDrive4";
        stick.system_name = "/dev/sdd";
        stick.name = "Kingston DataTraveler 3.0 USB Device";
        stick.serial = change == "no serial" ? "" : "KST000000004";
        stick.port = "1-4";
        stick.size = 15998169600;
        device other = stick;
        other.serial = "KST000000005";
        const auto line_of = [](const device& disk, const std::string& worker, const std::string& time) {
            flash_record::entry line = flash_record::entry_for(disk);
            line.worker = worker;
            line.time = time;
            line.result = flash_record::outcome::verified;
            return line;
        };
        flash_record::entry asked = line_of(stick, "rig2", minutes_ago(10, change == "offset" ? 330 : 0));
        if (change == "old")
            asked.time = minutes_ago(120);
        if (change == "port")
            asked.port = "1-5";
        if (change == "size")
            asked.size = 31997952000;
        if (change == "failed") {
            asked.result = flash_record::outcome::failed;
            asked.failure = "Verification failed: the stick may be faulty";
        }
        std::vector<flash_record::entry> lines {line_of(stick, "rig1", minutes_ago(180)), asked,
                                                line_of(other, "rig3", minutes_ago(1))};
        if (change == "older later")
            lines.push_back(line_of(stick, "rig0", minutes_ago(30)));
        QCOMPARE(flash_record::append(data.path().toStdString(), lines), data_file::outcome::written);

        const std::optional<flash_record::entry> recent
            = flash_record::recently_verified(data.path().toStdString(), stick, std::chrono::hours(1));
        QCOMPARE(QString::fromStdString(recent ? recent->worker : std::string()), found);
    }

    // Which disks a run may take, and why not: the rule every front end and the station use.
    void disk_offer_by_size_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("words");
        const quint64 gib = quint64(1) << 30;
        QTest::newRow("a 1 GB stick") << quint64(1000000000) << int(disk_offer::verdict::too_small) << "too small, 2 GB or less";
        QTest::newRow("2 GB exactly") << quint64(2000000000) << int(disk_offer::verdict::too_small) << "too small, 2 GB or less";
        QTest::newRow("a byte over 2 GB") << quint64(2000000001) << int(disk_offer::verdict::offered) << "";
        QTest::newRow("64 GiB exactly") << 64 * gib << int(disk_offer::verdict::offered) << "";
        QTest::newRow("a byte over 64 GiB") << 64 * gib + 1 << int(disk_offer::verdict::large) << "larger than 64 GiB";
        QTest::newRow("a 2 TB disk") << quint64(2000000000000) << int(disk_offer::verdict::large) << "larger than 64 GiB";
    }

    void disk_offer_by_size()
    {
        QFETCH(quint64, size);
        QFETCH(int, verdict);
        QFETCH(QString, words);
        device_windows disk;
        disk.size = size;
        QCOMPARE(int(disk_offer::verdict_for(disk)), verdict);
        QCOMPARE(QString(disk_offer::verdict_text(disk_offer::verdict_for(disk))), words);
    }

    // The offer lists large disks (flashed once confirmed) but not small ones, by number.
    void disk_offer_lists_by_number()
    {
        std::vector<std::shared_ptr<device>> attached;
        for (auto [number, size] : {std::pair<int, quint64>{7, 16000000000}, {2, 1000000000},
                                    {3, quint64(128) << 30}, {5, 8000000000}}) {
            auto disk = std::make_shared<device_windows>();
            disk->number = std::uint16_t(number);
            disk->size = size;
            attached.push_back(disk);
        }
        QList<unsigned> numbers;
        for (const disk_offer::offered_disk& disk : disk_offer::offered(attached))
            numbers << disk.number;
        QCOMPARE(numbers, QList<unsigned>({3, 5, 7}));
    }

    // Another process downloads a newer release while this run writes the cached one: what the
    // run reads stays until it has ended, and goes at the next prune.
    void a_newer_release_spares_the_one_being_written()
    {
        // Three blocks: the image is opened for the read-back once every block is written.
        bench run(1, 20 << 20);
        run.cache_release();
        win32::test_control::hold_call(call::write, run.request().disks[0]->path);
        const std::string server = run.server.base_url().toStdString();
        image_retriever other(run.folder(), server, server);
        QSignalSpy offered(&other, &image_retriever::image_not_downloaded);
        QSignalSpy downloaded(&other, &image_retriever::finished_download);
        run.on(job_stage::writing, [&] {
            QVERIFY(QTest::qWaitFor([] { return win32::test_control::call_held(); }, at_once_ms));
            release_fixture::make("v2", 3 << 20, config_offset).serve(run.server);
            other.check_latest();
            QVERIFY(QTest::qWaitFor([&] { return offered.size() == 1; }, at_once_ms));
            other.download_image();
            QVERIFY(QTest::qWaitFor([&] { return downloaded.size() == 1; }, at_once_ms));
            win32::test_control::release_held();
        });

        run.job->flash(run.request());
        QVERIFY(run.idle_again());
        QCOMPARE(run.job->disks()[0].outcome, disk_outcome::verified);
        QVERIFY(QFile::exists(run.downloads() + "/v1.gz"));
        other.check_latest();
        QVERIFY(QTest::qWaitFor([&] { return downloaded.size() == 2; }, at_once_ms));
        QCOMPARE(QDir(run.downloads()).entryList(QDir::Files | QDir::Hidden), QStringList({"checksum.md5", "v2.gz"}));
    }

    // Kept last: the runs above took every row of the table, and no other.
    void every_row_of_the_table_was_walked()
    {
        QSet<QString> rows;
        for (const transition& row : transitions::table())
            rows << row_text(row);
        QStringList never = (rows - walked()).values();
        QStringList unknown = (walked() - rows).values();
        never.sort();
        unknown.sort();
        QCOMPARE(never, QStringList());
        QCOMPARE(unknown, QStringList());
    }
};

QTEST_GUILESS_MAIN(test_flash_job)
#include "test_flash_job.moc"
