// The flash job's stages: the table says what an event leads to, the actions here do it.

#include "run/flash_job.h"

#include "base/logger.h"
#include "base/write_refusal.h"
#include "config/image_configurator.h"
#include "config/worker_name.h"
#include "device/device_manager.h"
#include "image/cache_hold.h"
#include "image/image_file_cache.h"
#include "image/image_manipulator.h"
#include "image/image_stream.h"
#include "retrieval/cached_image.h"
#include "retrieval/image_retriever.h"
#include "retrieval/release_cache.h"
#include "run/disk_writer.h"
#include "run/failure_texts.h"
#include "run/flash_record.h"
#include "run/transitions.h"
#include "run/worker_names.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// The text a damaged image file fails a run with.
QString damaged_image_file(const std::string& file)
{
    return QString::fromStdString("The image is damaged: " + file);
}

} // namespace

struct flash_job::disk_run {
    // The run's values for this disk: the worker template its name is the expansion of.
    inputs values;
    QByteArray configuration;
    bool prepared = false;
    // Its preparation began: the record of sticks flashed gets a line for it.
    bool started = false;
    std::unique_ptr<disk_writer> writer;
};

flash_job::flash_job(const std::string& data_folder, device_manager& devices)
    : m_data_folder(data_folder)
    , m_devices(devices)
    , m_retriever(std::make_unique<image_retriever>(data_folder))
{
    connect(m_retriever.get(), &image_retriever::finished_download, this,
            [this](const std::string& path) { m_image_ready(path); });
    connect(m_retriever.get(), &image_retriever::image_not_downloaded, this,
            [this](uint64_t size, const std::string& tag) { m_download_offered(size, tag); });
    connect(m_retriever.get(), &image_retriever::error_msg, this,
            [this](const QString& text, bool is_error) { m_retriever_message(text, is_error); });
    connect(m_retriever.get(), &image_retriever::progress_updated, this, &flash_job::download_progress);
    connect(&m_devices, &device_manager::unmount_finished, this, [this] { m_handle(job_event::disk_prepared); });
    connect(&m_devices, &device_manager::unmount_refused, this, [this] { m_handle(job_event::disk_refused); });
}

flash_job::~flash_job()
{
    // Nobody is left to be told.
    blockSignals(true);
    stop_and_wait();
}

void flash_job::check_at_start()
{
    m_handle(job_event::check_at_start);
}

void flash_job::flash(const flash_request& request)
{
    m_pending_request = request;
    m_handle(request.image_file.empty() ? job_event::flash : job_event::flash_image_file);
}

void flash_job::accept_download()
{
    m_handle(job_event::download_accepted);
}

void flash_job::decline_download()
{
    m_handle(job_event::download_declined);
}

void flash_job::stop()
{
    m_handle(job_event::stop);
}

void flash_job::stop_and_wait()
{
    stop();
    // Their reports are still on their way: taken here, the late ones find their disk settled.
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_writer* writer = m_disks[index]->writer.get();
        if (writer && m_reports[index].stage != disk_stage::done) {
            writer->wait();
            m_writer_done(int(index), writer->succeeded(), writer->failure());
        }
    }
}

job_stage flash_job::stage() const
{
    return m_stage;
}

bool flash_job::running() const
{
    switch (m_stage) {
    case job_stage::idle:
    case job_stage::startup_checking:
    case job_stage::startup_offering:
    case job_stage::startup_downloading:
        return false;
    default:
        return true;
    }
}

const std::vector<disk_report>& flash_job::disks() const
{
    return m_reports;
}

const QString& flash_job::failure() const
{
    return m_failure;
}

const inputs* flash_job::saved_settings() const
{
    return m_saved_settings.get();
}

void flash_job::m_handle(job_event event)
{
    const transition* row = transitions::find(m_stage, event);
    if (!row) {
        KESTREL_LOG(logger::debug, "Flash job: " << event_name(event) << " left alone while " << stage_name(m_stage));
        return;
    }
    KESTREL_LOG(logger::debug, "Flash job: " << stage_name(m_stage) << ", " << event_name(event) << " -> "
                                              << stage_name(row->to));
    if (event == job_event::flash || event == job_event::flash_image_file)
        m_begin_run();
    m_was_running = running();
    const bool changed = m_stage != row->to;
    m_stage = row->to;
    if (changed)
        emit stage_changed(m_stage);
    m_act(row->action);
}

void flash_job::m_act(job_action action)
{
    switch (action) {
    case job_action::none:
        break;
    case job_action::ask_latest:
        m_retriever->check_latest();
        break;
    case job_action::keep_image:
        m_image = m_delivered;
        break;
    case job_action::offer_download:
        emit download_offered(m_offer_size, QString::fromStdString(m_offer_tag));
        break;
    case job_action::download:
        m_retriever->download_image();
        break;
    case job_action::report_failure:
        emit message(m_event_text, true);
        break;
    case job_action::check_image:
        m_check_image();
        break;
    case job_action::reserve_names:
        m_reserve_names();
        break;
    case job_action::prepare_next_disk:
        if (m_preparing)
            m_preparing->prepared = true;
        m_preparing = nullptr;
        m_prepare_next_disk();
        break;
    case job_action::fail_disk:
        m_fail_refused_disk();
        break;
    case job_action::start_writers:
        m_start_writers();
        break;
    case job_action::settle_disk:
        m_settle_disk();
        break;
    case job_action::end_run:
        m_end_run();
        break;
    case job_action::end_run_failed:
        m_failure = m_event_text;
        m_end_run();
        break;
    case job_action::end_run_stopped:
        m_stopped = true;
        m_end_run();
        break;
    case job_action::stop_retrieval:
        m_retriever->cancel();
        KESTREL_LOG(logger::fatal, "Download canceled");
        if (m_was_running) {
            m_stopped = true;
            m_end_run();
        }
        break;
    case job_action::stop_check:
        m_check.stop();
        m_stopped = true;
        m_end_run();
        break;
    case job_action::stop_preparation:
        m_stop_preparation();
        break;
    case job_action::stop_writers:
        KESTREL_LOG(logger::fatal, "Burning canceled");
        m_stopped = true;
        for (const std::unique_ptr<disk_run>& disk : m_disks)
            if (disk->writer)
                disk->writer->cancel();
        break;
    }
}

void flash_job::m_begin_run()
{
    m_request = m_pending_request;
    ++m_generation;
    m_disks.clear();
    m_reports.clear();
    for (const std::shared_ptr<device>& disk : m_request.disks) {
        m_disks.push_back(std::make_unique<disk_run>());
        disk_report report;
        report.disk = disk;
        m_reports.push_back(report);
    }
    m_saved_settings.reset();
    m_preparing = nullptr;
    m_stopped = false;
    m_failure.clear();
    m_stream.reset();
}

void flash_job::m_image_ready(const std::string& path)
{
    m_delivered = path;
    emit image_ready(QString::fromStdString(path));
    m_handle(job_event::image_ready);
}

void flash_job::m_download_offered(quint64 size, const std::string& tag)
{
    m_offer_size = size;
    m_offer_tag = tag;
    m_handle(job_event::download_offered);
}

void flash_job::m_retriever_message(const QString& text, bool is_error)
{
    if (!is_error) {
        // The cached release used offline: news for a run only.
        if (m_stage == job_stage::querying)
            emit message(text, false);
        return;
    }
    // Nothing of the failed request may report later.
    m_retriever->cancel();
    m_event_text = text;
    m_handle(job_event::retrieval_failed);
}

void flash_job::m_check_image()
{
    const unsigned generation = m_generation;
    auto answer = std::make_shared<QString>(failure_text(::failure::canceled));
    if (m_request.image_file.empty()) {
        m_image = m_delivered;
        m_decompressed = image_manipulator::decompressed_path(m_image);
        m_image_hold = release_cache::hold_release(m_image);
        m_check.start(
            [answer, path = m_image](const std::atomic<bool>& stop) {
                switch (cached_image::check(path, stop)) {
                case cached_image::state::whole:
                    answer->clear();
                    break;
                case cached_image::state::missing:
                case cached_image::state::damaged:
                    *answer = failure_text(::failure::download_damaged);
                    break;
                case cached_image::state::stopped:
                    break;
                }
            },
            this, [this, answer, generation] { m_image_checked(generation, *answer); });
        return;
    }
    // Read where it is; its decompressed image is kept in the data folder, found again by the
    // file on a later run.
    m_image = m_request.image_file;
    auto kept = std::make_shared<image_file_cache::place>();
    m_check.start(
        [answer, kept, file = m_request.image_file, folder = m_data_folder](const std::atomic<bool>& stop) {
            if (!image_file_cache::looks_like_gzip(file)) {
                *answer = damaged_image_file(file);
                return;
            }
            const image_file_cache::place found = image_file_cache::image_for(folder, file, stop);
            *kept = found;
            // Without a place to keep its image, the file is flashed all the same.
            if (!found.image.empty() || !found.unwritable_folder.empty())
                answer->clear();
            else if (!stop)
                *answer = damaged_image_file(file);
        },
        this, [this, answer, kept, generation] {
            m_decompressed = kept->image;
            // Not for a run that ended meanwhile.
            if (generation == m_generation && running())
                m_image_hold = kept->hold;
            if (kept->checksum_pending && generation == m_generation)
                m_record_checksum();
            m_image_checked(generation, *answer);
        });
}

// Read beside the write, so that the first flash of a file does not wait for it.
void flash_job::m_record_checksum()
{
    m_checksum_work.stop();
    m_checksum_work.start(
        [image = m_decompressed, file = m_image](const std::atomic<bool>& stop) {
            image_file_cache::record_checksum(image, file, stop);
        },
        this, [] {});
}

void flash_job::m_image_checked(unsigned generation, const QString& failure_found)
{
    // The answer of a check that a stop gave up.
    if (generation != m_generation)
        return;
    m_event_text = failure_found;
    m_handle(failure_found.isEmpty() ? job_event::image_whole : job_event::image_unusable);
}

void flash_job::m_reserve_names()
{
    // The front end's own look at the disk it chose, before anything of it is touched.
    if (m_request.still_chosen && !m_request.still_chosen()) {
        m_event_text = failure_text(::failure::device_disconnected);
        m_handle(job_event::run_refused);
        return;
    }
    // Refused before a name is handed out, where the values themselves are too large.
    if (image_configurator::configuration_block(m_request.values).isEmpty()) {
        m_event_text = failure_text(::failure::configuration_too_large);
        m_handle(job_event::run_refused);
        return;
    }
    const worker_names::reservation names = worker_names::reserve(
        m_data_folder, m_request.values, m_request.worker_template, m_disks.size());
    if (!names.refusal.empty()) {
        m_event_text = QString::fromStdString(names.refusal);
        m_handle(job_event::run_refused);
        return;
    }
    m_saved_settings = std::make_unique<inputs>(names.saved);
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_run& disk = *m_disks[index];
        disk.values = names.per_disk[index];
        disk.configuration = image_configurator::configuration_block(disk.values);
        m_reports[index].worker_name = expand_worker_name(disk.values.worker);
        if (disk.configuration.isEmpty()) {
            m_event_text = failure_text(::failure::configuration_too_large);
            m_handle(job_event::run_refused);
            return;
        }
    }
    emit names_reserved();
    m_prepare_next_disk();
}

void flash_job::m_prepare_next_disk()
{
    for (const std::unique_ptr<disk_run>& disk : m_disks) {
        const int index = m_index(*disk);
        if (disk->prepared || m_reports[index].outcome != disk_outcome::pending)
            continue;
        m_preparing = disk.get();
        disk->started = true;
        m_set_disk(*disk, disk_stage::preparing);
        // Its answer comes once this call has returned: the table takes it then.
        m_devices.unmount_device(m_reports[index].disk.get(), false);
        return;
    }
    m_handle(job_event::all_prepared);
}

void flash_job::m_fail_refused_disk()
{
    disk_run* refused = m_preparing;
    m_preparing = nullptr;
    if (refused) {
        device& disk = *m_reports[m_index(*refused)].disk;
        // Volumes locked before the refusal must not stay locked.
        m_devices.release_device(&disk);
        const ::failure cause = m_devices.refused_as_in_use() ? ::failure::disk_in_use
            : m_devices.is_attached(disk)                   ? ::failure::cannot_prepare
                                                            : ::failure::device_disconnected;
        m_fail_disk(*refused, failure_text(cause));
    }
    m_prepare_next_disk();
}

void flash_job::m_fail_disk(disk_run& disk, const QString& failure_found)
{
    disk_report& report = m_reports[m_index(disk)];
    report.outcome = disk_outcome::failed;
    report.failure = failure_found.toStdString();
    m_set_disk(disk, disk_stage::done);
}

void flash_job::m_start_writers()
{
    std::vector<disk_run*> ready;
    for (const std::unique_ptr<disk_run>& disk : m_disks)
        if (disk->prepared && m_reports[m_index(*disk)].outcome == disk_outcome::pending)
            ready.push_back(disk.get());
    if (ready.empty()) {
        m_handle(job_event::all_done);
        return;
    }
    // The image is made ready once for every disk: a first flash inflates it while they are
    // written, several disks share one reading of a complete image.
    if (!image_manipulator::is_complete(m_decompressed))
        m_stream = image_stream::inflating(m_image, m_decompressed, ready.size());
    else if (ready.size() > 1)
        m_stream = image_stream::reading(m_decompressed, ready.size());
    if (m_stream && !m_stream->start()) {
        const QString failure_found = m_output_failure_text(m_stream->failure());
        for (disk_run* disk : ready) {
            m_devices.release_device(m_reports[m_index(*disk)].disk.get());
            m_fail_disk(*disk, failure_found);
        }
        m_stream.reset();
        m_handle(job_event::all_done);
        return;
    }
    for (disk_run* disk : ready) {
        const int index = m_index(*disk);
        disk->writer = std::make_unique<disk_writer>(m_reports[index].disk, m_image, m_decompressed,
                                                     disk->configuration, m_request.verify, m_stream.get());
        connect(disk->writer.get(), &disk_writer::progress, this,
                [this, index](disk_progress_kind kind, qint64 done, qint64 total) {
                    m_set_disk(*m_disks[index], kind == disk_progress_kind::verifying ? disk_stage::verifying
                                                                                      : disk_stage::writing);
                    emit disk_progress(index, kind, done, total);
                });
        connect(disk->writer.get(), &disk_writer::done, this,
                [this, index](bool succeeded, const QString& failure_found) {
                    m_writer_done(index, succeeded, failure_found);
                });
        m_set_disk(*disk, disk_stage::writing);
    }
    // Each writer holds its part of the stream: the blocks go once the last has written them.
    m_stream.reset();
    emit writing_started();
    for (disk_run* disk : ready)
        disk->writer->start();
}

void flash_job::m_writer_done(int index, bool succeeded, const QString& failure_found)
{
    // Already settled when the job waited for it.
    if (m_reports[std::size_t(index)].stage == disk_stage::done)
        return;
    m_settling = index;
    m_settled_success = succeeded;
    m_event_text = failure_found;
    m_handle(job_event::disk_done);
}

void flash_job::m_settle_disk()
{
    disk_run& disk = *m_disks[std::size_t(m_settling)];
    disk_report& report = m_reports[std::size_t(m_settling)];
    // The volumes its preparation locked are let go with the burner's handle.
    m_devices.release_device(report.disk.get());
    if (m_settled_success) {
        report.outcome = m_request.verify ? disk_outcome::verified : disk_outcome::written;
        m_set_disk(disk, disk_stage::done);
    } else if (m_event_text.isEmpty()) {
        report.outcome = disk_outcome::canceled;
        m_set_disk(disk, disk_stage::done);
    } else {
        m_fail_disk(disk, m_event_text == failure_text(::failure::download_damaged) ? m_image_found_damaged() : m_event_text);
    }
    const bool writing = std::any_of(m_reports.begin(), m_reports.end(), [](const disk_report& other) {
        return other.stage == disk_stage::writing || other.stage == disk_stage::verifying;
    });
    if (!writing)
        m_handle(job_event::all_done);
}

void flash_job::m_stop_preparation()
{
    KESTREL_LOG(logger::fatal, "Preparation canceled");
    m_preparing = nullptr;
    m_devices.stop_preparation();
    m_stopped = true;
    m_end_run();
}

void flash_job::m_end_run()
{
    // Whatever a disk still holds from a preparation that had no write after it.
    for (const disk_report& report : m_reports)
        if (report.stage != disk_stage::waiting)
            m_devices.release_device(report.disk.get());
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_report& report = m_reports[index];
        if (report.outcome != disk_outcome::pending)
            continue;
        report.outcome = m_stopped ? disk_outcome::canceled : disk_outcome::failed;
        report.failure = m_stopped ? std::string() : m_failure.toStdString();
        report.stage = disk_stage::done;
        emit disk_changed(int(index));
    }
    m_preparing = nullptr;
    m_stream.reset();
    // A kept image is found again by a copy of its file only once the file's checksum is
    // recorded; an image not kept whole is unpacked again, and its checksum read again then.
    if (!m_decompressed.empty() && image_manipulator::is_complete(m_decompressed))
        m_checksum_work.finish();
    else
        m_checksum_work.stop();
    m_record_disks();
    m_image_hold.reset();
    run_outcome outcome = run_outcome::succeeded;
    if (m_stopped)
        outcome = run_outcome::stopped;
    else if (!m_failure.isEmpty()
             || std::any_of(m_reports.begin(), m_reports.end(), [](const disk_report& report) {
                    return report.outcome == disk_outcome::failed || report.outcome == disk_outcome::canceled;
                }))
        outcome = run_outcome::failed;
    emit finished(outcome);
}

void flash_job::m_record_disks()
{
    const bool image_file = !m_request.image_file.empty();
    const QFileInfo image(QString::fromStdString(image_file ? m_request.image_file : m_image));
    // A release by its tag, the name of its file in the downloads folder.
    const std::string image_name = (image_file ? image.absoluteFilePath() : image.completeBaseName()).toStdString();
    const std::string md5 = image_file ? image_file_cache::recorded_checksum(m_decompressed)
                                       : release_cache::recorded_checksum(m_image);
    std::vector<flash_record::entry> entries;
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        if (!m_disks[index]->started)
            continue;
        const disk_report& report = m_reports[index];
        flash_record::entry line = flash_record::entry_for(*report.disk);
        line.worker = report.worker_name;
        line.image = image_name;
        line.md5 = md5;
        line.result = flash_record::outcome_of(report.outcome);
        line.failure = report.failure;
        entries.push_back(line);
    }
    // The disks keep their outcomes: the record is an account of them, not a part.
    const std::string refusal = data_folder_failure_text(flash_record::append(m_data_folder, entries),
                                                         m_data_folder + "/" + flash_record::file_name);
    if (!refusal.empty())
        emit message(QString::fromStdString(refusal), true);
}

void flash_job::m_set_disk(disk_run& disk, disk_stage stage)
{
    const int index = m_index(disk);
    disk_report& report = m_reports[std::size_t(index)];
    if (report.stage == stage)
        return;
    report.stage = stage;
    emit disk_changed(index);
}

QString flash_job::m_output_failure_text(image_manipulator::failure why)
{
    switch (why) {
    case image_manipulator::failure::download_damaged:
        return m_image_found_damaged();
    case image_manipulator::failure::folder_not_writable:
        return QString::fromStdString(folder_failure_text(::failure::folder_not_writable,
                                                          write_refusal::failed_folder(m_decompressed)));
    default:
        return failure_text(::failure::no_space);
    }
}

QString flash_job::m_image_found_damaged()
{
    if (!m_request.image_file.empty())
        return damaged_image_file(m_request.image_file);
    release_cache::forget_download(m_image);
    return failure_text(::failure::download_damaged);
}

int flash_job::m_index(const disk_run& disk) const
{
    for (std::size_t index = 0; index < m_disks.size(); ++index)
        if (m_disks[index].get() == &disk)
            return int(index);
    return -1;
}
