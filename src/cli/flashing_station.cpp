#include "cli/flashing_station.h"

#include "cli/disk_choice.h"
#include "cli/exit_status.h"
#include "cli/interruption.h"
#include "device/device_manager.h"
#include "device/disk_sizes.h"
#include "logger.h"

namespace {

const char bell = '\a';

} // namespace

namespace cli {

struct flashing_station::station_run {
    unsigned number = 0;
    std::string path;
    std::unique_ptr<device_manager> devices;
    std::unique_ptr<flash_job> job;
};

flashing_station::flashing_station(const std::string& data_folder, const flash_request& request, console& io)
    : m_data_folder(data_folder)
    , m_request(request)
    , m_io(io)
    , m_watch(std::make_unique<device_manager>())
{
    connect(&m_interrupt_poll, &QTimer::timeout, this, [this] { m_look_for_interrupt(); });
    connect(m_watch.get(), &device_manager::devices_changed, this, [this] { m_look_for_sticks(); });
    // Never touched: whatever was attached before the station started.
    for (const listed_disk& disk : offered_disks(m_watch->get_devices()))
        m_seen.insert(disk.record->path);
}

flashing_station::~flashing_station() = default;

int flashing_station::run()
{
    m_interrupt_poll.start(interruption::poll_ms);
    if (m_request.image_file.empty()) {
        // The release is fetched once, before the first stick, not by every stick's run.
        m_line("Looking for the latest release");
        m_image_job = std::make_unique<flash_job>(m_data_folder, *m_watch);
        connect(m_image_job.get(), &flash_job::download_offered, this, [this](quint64, const QString& tag) {
            m_line("Downloading release " + tag.toStdString());
            m_image_job->accept_download();
        });
        connect(m_image_job.get(), &flash_job::message, this, [this](const QString& text, bool is_error) {
            (is_error ? m_io.err : m_io.out) << text.toStdString() << std::endl;
        });
        connect(m_image_job.get(), &flash_job::finished, this, [this](run_outcome outcome) { m_image_ready(outcome); });
        QTimer::singleShot(0, this, [this] {
            flash_request fetch = m_request;
            fetch.disks.clear();
            m_image_job->flash(fetch);
        });
    } else {
        QTimer::singleShot(0, this, [this] { m_image_ready(run_outcome::succeeded); });
    }
    m_loop.exec();
    return m_status;
}

void flashing_station::m_image_ready(run_outcome outcome)
{
    if (outcome != run_outcome::succeeded) {
        if (m_image_job && !m_image_job->failure().isEmpty())
            m_io.err << m_image_job->failure().toStdString() << std::endl;
        m_status = outcome == run_outcome::stopped ? exit_status::interrupted : exit_status::failed;
        m_loop.quit();
        return;
    }
    m_watching = true;
    m_line("Waiting for USB sticks; Ctrl-C stops");
    m_look_for_sticks();
}

void flashing_station::m_look_for_sticks()
{
    if (!m_watching || m_interrupted)
        return;
    for (const listed_disk& disk : offered_disks(m_watch->get_devices())) {
        if (!m_seen.insert(disk.record->path).second)
            continue;
        if (disk.record->size > disk_sizes::confirmation_threshold) {
            m_line("disk " + std::to_string(disk.number) + " (" + disk.record->path + "): left out, larger than 64 GiB");
            continue;
        }
        m_start(disk.record, disk.number);
    }
}

void flashing_station::m_start(const std::shared_ptr<device>& stick, unsigned number)
{
    auto run = std::make_unique<station_run>();
    run->number = number;
    run->path = stick->path;
    // A preparation of its own: sticks that come together are prepared side by side.
    run->devices = std::make_unique<device_manager>();
    run->job = std::make_unique<flash_job>(m_data_folder, *run->devices);
    station_run& started = *run;
    connect(started.job.get(), &flash_job::download_offered, this, [&started] { started.job->accept_download(); });
    connect(started.job.get(), &flash_job::names_reserved, this, [this, &started] {
        m_line("disk " + std::to_string(started.number) + " (" + started.path + "): \""
               + started.job->disks().front().worker_name + "\" started");
    });
    connect(started.job.get(), &flash_job::finished, this, [this, &started] { m_ended(started); });
    m_runs.push_back(std::move(run));
    flash_request request = m_request;
    request.disks = {stick};
    started.job->flash(request);
}

void flashing_station::m_ended(station_run& run)
{
    const disk_report& disk = run.job->disks().front();
    const std::string name = "disk " + std::to_string(run.number) + " (" + run.path + "): \"" + disk.worker_name + '"';
    std::string outcome;
    switch (disk.outcome) {
    case disk_outcome::verified:
        outcome = "verified";
        break;
    case disk_outcome::written:
        outcome = "written, not verified";
        break;
    case disk_outcome::canceled:
        outcome = "canceled";
        break;
    case disk_outcome::failed:
    case disk_outcome::pending:
        outcome = "failed";
        m_io.out.flush();
        m_io.err << name << " failed: " << (disk.failure.empty() ? run.job->failure().toStdString() : disk.failure)
                 << std::endl;
        break;
    }
    m_line(name + ' ' + outcome + bell);
    // Its job ends once the signal it sent is over.
    QTimer::singleShot(0, this, [this, ended = &run] {
        m_runs.remove_if([ended](const std::unique_ptr<station_run>& kept) { return kept.get() == ended; });
        if (m_interrupted && m_runs.empty())
            m_loop.quit();
    });
}

void flashing_station::m_look_for_interrupt()
{
    if (!interruption::requested() || m_interrupted)
        return;
    m_interrupted = true;
    m_status = exit_status::interrupted;
    m_line("Interrupted: stopping");
    KESTREL_LOG(logger::fatal, "Flashing canceled from the command line");
    if (m_image_job)
        m_image_job->stop();
    for (const std::unique_ptr<station_run>& run : m_runs)
        run->job->stop();
    if (m_runs.empty())
        m_loop.quit();
}

void flashing_station::m_line(const std::string& text)
{
    m_io.out << text << std::endl;
}

} // namespace cli
