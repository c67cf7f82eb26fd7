// The flash job's driver: the table says what an event leads to, the image source and the disk
// batch do it, and tell what came of it as the next event.

#include "run/flash_job.h"

#include "base/logger.h"
#include "run/disk_batch.h"
#include "run/failure_texts.h"
#include "run/image_source.h"
#include "run/run_checks.h"
#include "run/transitions.h"
#include "run/worker_names.h"

#include <algorithm>

flash_job::flash_job(const std::string& data_folder, device_manager& devices)
    : m_data_folder(data_folder)
    , m_source(std::make_unique<image_source>(data_folder))
    , m_batch(std::make_unique<disk_batch>(data_folder, devices, *m_source))
{
    connect(m_source.get(), &image_source::delivered, this, [this](const std::string& path) {
        emit image_ready(QString::fromStdString(path));
        event_data delivered;
        delivered.path = path;
        m_handle(job_event::image_ready, delivered);
    });
    connect(m_source.get(), &image_source::offered, this, [this] { m_handle(job_event::download_offered); });
    connect(m_source.get(), &image_source::download_progress, this, &flash_job::download_progress);
    connect(m_source.get(), &image_source::note, this, [this](const QString& text) {
        // The cached release used offline: news once the user asked for something, not for
        // the check at start-up.
        if (m_stage != job_stage::startup_checking)
            emit message(text, false);
    });
    connect(m_source.get(), &image_source::failed, this, [this](const QString& text) {
        // What the latest release could not give, the cached one does, where there is one.
        if (m_source->fall_back_to_cached())
            return;
        event_data failed;
        failed.text = text;
        m_handle(job_event::retrieval_failed, failed);
    });
    connect(m_source.get(), &image_source::checked, this, [this](const QString& failure_found) {
        event_data checked;
        checked.text = failure_found;
        m_handle(failure_found.isEmpty() ? job_event::image_whole : job_event::image_unusable, checked);
    });
    connect(m_batch.get(), &disk_batch::disk_prepared, this, [this] { m_handle(job_event::disk_prepared); });
    connect(m_batch.get(), &disk_batch::disk_refused, this, [this] { m_handle(job_event::disk_refused); });
    connect(m_batch.get(), &disk_batch::all_prepared, this, [this] { m_handle(job_event::all_prepared); });
    connect(m_batch.get(), &disk_batch::writing_started, this, &flash_job::writing_started);
    connect(m_batch.get(), &disk_batch::disk_done, this,
            [this](int index, bool succeeded, const QString& failure_found) {
                event_data done;
                done.disk = index;
                done.succeeded = succeeded;
                done.text = failure_found;
                m_handle(job_event::disk_done, done);
            });
    connect(m_batch.get(), &disk_batch::all_done, this, [this] { m_handle(job_event::all_done); });
    connect(m_batch.get(), &disk_batch::disk_changed, this, &flash_job::disk_changed);
    connect(m_batch.get(), &disk_batch::disk_progress, this, &flash_job::disk_progress);
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
    event_data asked;
    asked.request = &request;
    m_handle(request.image_file.empty() ? job_event::flash : job_event::flash_image_file, asked);
}

void flash_job::accept_download()
{
    m_handle(job_event::download_accepted);
}

void flash_job::decline_download()
{
    // Declined after FLASH, the newer release gives way to the cached one, where there is one.
    if (m_stage == job_stage::offering && m_source->fall_back_to_cached())
        return;
    m_handle(job_event::download_declined);
}

void flash_job::stop()
{
    m_handle(job_event::stop);
}

void flash_job::stop_and_wait()
{
    stop();
    m_batch->wait_for_writers();
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
    return m_batch->reports();
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
    m_handle(event, event_data());
}

void flash_job::m_handle(job_event event, const event_data& data)
{
    const transition* row = transitions::find(m_stage, event);
    if (!row) {
        KESTREL_LOG(logger::debug, "Flash job: " << event_name(event) << " left alone while " << stage_name(m_stage));
        return;
    }
    KESTREL_LOG(logger::debug, "Flash job: " << stage_name(m_stage) << ", " << event_name(event) << " -> "
                                              << stage_name(row->to));
    if (event == job_event::flash || event == job_event::flash_image_file)
        m_begin_run(*data.request);
    const bool was_running = running();
    const bool changed = m_stage != row->to;
    m_stage = row->to;
    if (changed)
        emit stage_changed(m_stage);
    m_act(row->action, data, was_running);
}

void flash_job::m_act(job_action action, const event_data& data, bool was_running)
{
    switch (action) {
    case job_action::none:
        break;
    case job_action::ask_latest:
        m_source->ask_latest();
        break;
    case job_action::keep_image:
        m_source->keep(data.path);
        break;
    case job_action::offer_download:
        emit download_offered(m_source->offered_size(), m_source->offered_tag());
        break;
    case job_action::download:
        m_source->download();
        break;
    case job_action::report_failure:
        emit message(data.text, true);
        break;
    case job_action::check_image:
        m_source->check(data.path);
        break;
    case job_action::reserve_names:
        m_reserve_names();
        break;
    case job_action::write_prepared_disk:
        m_batch->write_prepared();
        break;
    case job_action::fail_disk:
        m_batch->fail_refused();
        break;
    case job_action::end_preparation:
        m_batch->end_preparation();
        break;
    case job_action::settle_disk:
        m_batch->settle(data.disk, data.succeeded, data.text);
        break;
    case job_action::end_run:
        m_end_run();
        break;
    case job_action::end_run_failed:
        m_failure = data.text;
        m_end_run();
        break;
    case job_action::end_run_stopped:
        m_stopped = true;
        m_end_run();
        break;
    case job_action::stop_retrieval:
        m_source->stop_retrieval();
        if (was_running) {
            m_stopped = true;
            m_end_run();
        }
        break;
    case job_action::stop_check:
        m_source->stop_check();
        m_stopped = true;
        m_end_run();
        break;
    case job_action::stop_preparation:
        KESTREL_LOG(logger::fatal, "Preparation canceled");
        m_batch->stop_preparation();
        m_stopped = true;
        m_end_run();
        break;
    case job_action::stop_writers:
        KESTREL_LOG(logger::fatal, "Burning canceled");
        m_stopped = true;
        m_batch->stop_writers();
        break;
    }
}

void flash_job::m_begin_run(const flash_request& request)
{
    m_request = request;
    m_source->begin_run(m_request.image_file, m_request.latest_only);
    m_batch->begin(m_request.disks, m_request.verify);
    m_saved_settings.reset();
    m_stopped = false;
    m_failure.clear();
}

void flash_job::m_reserve_names()
{
    const auto refuse = [this](const QString& why) {
        event_data refused;
        refused.text = why;
        m_handle(job_event::run_refused, refused);
    };
    // The front end's own look at the disk it chose, before anything of it is touched.
    if (m_request.still_chosen && !m_request.still_chosen()) {
        refuse(failure_text(failure_cause::device_disconnected));
        return;
    }
    // What can be known without touching a disk is checked before a name is handed out: a name
    // given to a disk that is gone, or written by another run, is a name lost.
    const std::size_t left = m_batch->refuse_unavailable();
    // A run of no disk, as a station's first, only makes the template the settings' own.
    if (left == 0 && !m_request.disks.empty()) {
        refuse(QString::fromStdString(m_batch->reports().front().failure));
        return;
    }
    // Refused before a name is handed out, where the values themselves are too large for a disk.
    const std::string too_large = run_checks::configuration_refusal(worker_names::counted_on(m_request.values, left));
    if (!too_large.empty()) {
        refuse(QString::fromStdString(too_large));
        return;
    }
    const worker_names::reservation names = worker_names::reserve(
        m_data_folder, m_request.values, m_request.worker_template, left);
    if (!names.refusal.empty()) {
        refuse(QString::fromStdString(names.refusal));
        return;
    }
    m_saved_settings = std::make_unique<inputs>(names.saved);
    if (!m_batch->take_names(names.per_disk)) {
        refuse(failure_text(failure_cause::configuration_too_large));
        return;
    }
    emit names_reserved();
    m_batch->prepare_next();
}

void flash_job::m_end_run()
{
    m_batch->end(m_stopped, m_failure);
    m_source->end_run();
    // The disks keep their outcomes: the record is an account of them, not a part.
    const std::string refusal = m_batch->record();
    if (!refusal.empty())
        emit message(QString::fromStdString(refusal), true);
    m_source->release_hold();
    run_outcome outcome = run_outcome::succeeded;
    if (m_stopped)
        outcome = run_outcome::stopped;
    else if (!m_failure.isEmpty()
             || std::any_of(m_batch->reports().begin(), m_batch->reports().end(), [](const disk_report& report) {
                    return report.outcome == disk_outcome::failed || report.outcome == disk_outcome::canceled;
                }))
        outcome = run_outcome::failed;
    emit finished(outcome);
}
