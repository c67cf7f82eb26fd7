#include "run/flash_station.h"

#include "base/logger.h"
#include "device/device_manager.h"
#include "run/disk_offer.h"
#include "run/flash_record.h"
#include "run/stick_claim.h"
#include "run/worker_names.h"

#include <QTimer>

namespace {

QString leave_text(station_leave why, const std::string& worker_name, const std::string& time)
{
    switch (why) {
    case station_leave::too_small:
        return disk_offer::verdict_text(disk_offer::verdict::too_small);
    case station_leave::too_large:
        return disk_offer::verdict_text(disk_offer::verdict::large);
    case station_leave::claimed_elsewhere:
        return "being flashed by another station";
    case station_leave::just_flashed:
        break;
    }
    return QString::fromStdString("flashed and verified as \"" + worker_name + "\" at " + time);
}

} // namespace

const std::chrono::minutes flash_station::just_flashed(10);

struct flash_station::stick_run {
    station_stick stick;
    std::unique_ptr<device_manager> devices;
    std::unique_ptr<flash_job> job;
    // Let go once the record tells of the stick: another station then finds it there.
    std::unique_ptr<stick_claim> claim;
};

flash_station::flash_station(const std::string& data_folder, const options& asked)
    : m_data_folder(data_folder)
    , m_asked(asked)
    , m_watch(std::make_unique<device_manager>())
{
    connect(m_watch.get(), &device_manager::devices_changed, this, [this] { m_look_for_sticks(); });
    // Never touched: whatever was attached before the station started.
    for (const std::shared_ptr<device>& disk : m_watch->get_devices())
        m_seen.insert(disk->path);
}

flash_station::~flash_station()
{
    blockSignals(true);
    m_runs.clear();
    m_image_job.reset();
}

void flash_station::start()
{
    // Named for the station, the template becomes the settings' own once; every stick then
    // counts on from the settings, as other runs on the data folder do meanwhile.
    if (m_asked.worker_named) {
        const worker_names::reservation adopted = worker_names::reserve(
            m_data_folder, m_asked.request.values, worker_names::template_source::given_or_further, 0);
        if (!adopted.refusal.empty()) {
            m_failure = QString::fromStdString(adopted.refusal);
            m_end(run_outcome::failed);
            return;
        }
    }
    if (!m_asked.request.image_file.empty()) {
        m_image_ready(run_outcome::succeeded);
        return;
    }
    // The release is fetched once, before the first stick, not by every stick's run.
    m_image_job = std::make_unique<flash_job>(m_data_folder, *m_watch);
    connect(m_image_job.get(), &flash_job::download_offered, this, [this](quint64, const QString& tag) {
        emit download_started(tag);
        m_image_job->accept_download();
    });
    connect(m_image_job.get(), &flash_job::message, this, &flash_station::message);
    connect(m_image_job.get(), &flash_job::finished, this, [this](run_outcome outcome) { m_image_ready(outcome); });
    flash_request fetch = m_asked.request;
    fetch.disks.clear();
    fetch.worker_template = worker_names::template_source::saved;
    m_image_job->flash(fetch);
}

void flash_station::stop()
{
    if (m_stopping || m_finished)
        return;
    m_stopping = true;
    KESTREL_LOG(logger::fatal, "Flashing station stopped");
    if (m_image_job)
        m_image_job->stop();
    for (const std::unique_ptr<stick_run>& run : m_runs)
        run->job->stop();
    if (m_runs.empty() && (!m_image_job || !m_image_job->running()))
        m_end(run_outcome::stopped);
}

const QString& flash_station::failure() const
{
    return m_failure;
}

void flash_station::m_image_ready(run_outcome outcome)
{
    if (outcome != run_outcome::succeeded) {
        if (m_image_job)
            m_failure = m_image_job->failure();
        m_end(m_stopping || outcome == run_outcome::stopped ? run_outcome::stopped : run_outcome::failed);
        return;
    }
    if (m_stopping) {
        m_end(run_outcome::stopped);
        return;
    }
    m_watching = true;
    emit watching();
    m_look_for_sticks();
}

void flash_station::m_look_for_sticks()
{
    if (!m_watching || m_stopping)
        return;
    for (const std::shared_ptr<device>& disk : m_watch->get_devices())
        if (m_seen.insert(disk->path).second)
            m_take(disk);
}

void flash_station::m_take(const std::shared_ptr<device>& stick)
{
    station_stick seen {stick, disk_offer::number_of(*stick), std::string(), disk_outcome::pending, std::string()};
    const auto leave = [this, &seen](station_leave why, const std::string& time = std::string()) {
        emit stick_left_alone(seen, why, leave_text(why, seen.worker_name, time));
    };
    switch (disk_offer::verdict_for(*stick)) {
    case disk_offer::verdict::too_small:
        return leave(station_leave::too_small);
    case disk_offer::verdict::large:
        return leave(station_leave::too_large);
    case disk_offer::verdict::offered:
        break;
    }
    auto claim = std::make_unique<stick_claim>(m_data_folder, *stick);
    if (claim->taken_by_other())
        return leave(station_leave::claimed_elsewhere);
    if (!m_asked.again) {
        const std::optional<flash_record::entry> flashed =
            flash_record::recently_verified(m_data_folder, *stick, just_flashed);
        if (flashed) {
            seen.worker_name = flashed->worker;
            return leave(station_leave::just_flashed, flashed->time);
        }
    }
    auto run = std::make_unique<stick_run>();
    run->stick = seen;
    run->claim = std::move(claim);
    // A preparation of its own: sticks that come together are prepared side by side.
    run->devices = std::make_unique<device_manager>();
    run->job = std::make_unique<flash_job>(m_data_folder, *run->devices);
    stick_run& started = *run;
    connect(started.job.get(), &flash_job::download_offered, this, [&started] { started.job->accept_download(); });
    connect(started.job.get(), &flash_job::message, this, &flash_station::message);
    connect(started.job.get(), &flash_job::names_reserved, this, [this, &started] {
        started.stick.worker_name = started.job->disks().front().worker_name;
        emit stick_started(started.stick);
    });
    connect(started.job.get(), &flash_job::disk_progress, this,
            [this, &started](int, disk_progress_kind kind, qint64 done, qint64 total) {
                emit stick_progress(started.stick, kind, done, total);
            });
    connect(started.job.get(), &flash_job::finished, this, [this, &started] { m_stick_ended(started); });
    m_runs.push_back(std::move(run));
    flash_request request = m_asked.request;
    request.disks = {stick};
    request.worker_template = worker_names::template_source::saved;
    started.job->flash(request);
}

void flash_station::m_stick_ended(stick_run& run)
{
    const disk_report& disk = run.job->disks().front();
    run.stick.worker_name = disk.worker_name;
    run.stick.outcome = disk.outcome == disk_outcome::pending ? disk_outcome::failed : disk.outcome;
    run.stick.failure = disk.failure.empty() ? run.job->failure().toStdString() : disk.failure;
    emit stick_ended(run.stick);
    // Its job ends once the signal it sent is over.
    QTimer::singleShot(0, this, [this, ended = &run] {
        m_runs.remove_if([ended](const std::unique_ptr<stick_run>& kept) { return kept.get() == ended; });
        if (m_stopping && m_runs.empty())
            m_end(run_outcome::stopped);
    });
}

void flash_station::m_end(run_outcome outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_watching = false;
    emit finished(outcome);
}
