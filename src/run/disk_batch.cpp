#include "run/disk_batch.h"

#include "config/image_configurator.h"
#include "config/worker_name.h"
#include "device/device_manager.h"
#include "image/image_manipulator.h"
#include "image/image_stream.h"
#include "run/disk_writer.h"
#include "run/failure_texts.h"
#include "run/flash_record.h"
#include "run/image_source.h"

#include <algorithm>

struct disk_batch::disk_run {
    // The run's values for this disk: the worker template its name is the expansion of.
    inputs values;
    QByteArray configuration;
    bool prepared = false;
    // Its preparation began: the record of sticks flashed gets a line for it.
    bool started = false;
    // The run's image stream counts it among its copies: it takes its share, or gives it up.
    bool in_stream = false;
    std::unique_ptr<disk_writer> writer;
    // Where its configuration block went, once written.
    std::uint64_t area = 0;
};

disk_batch::disk_batch(const std::string& data_folder, device_manager& devices, image_source& image)
    : m_data_folder(data_folder)
    , m_devices(devices)
    , m_image(image)
{
    connect(&m_devices, &device_manager::unmount_finished, this, &disk_batch::disk_prepared);
    connect(&m_devices, &device_manager::unmount_refused, this, &disk_batch::disk_refused);
}

disk_batch::~disk_batch() = default;

void disk_batch::begin(const std::vector<std::shared_ptr<device>>& disks, bool verify)
{
    m_verify = verify;
    m_disks.clear();
    m_reports.clear();
    for (const std::shared_ptr<device>& disk : disks) {
        m_disks.push_back(std::make_unique<disk_run>());
        disk_report report;
        report.disk = disk;
        m_reports.push_back(report);
    }
    m_preparing = nullptr;
    m_stream.reset();
    m_preparation_over = false;
}

const std::vector<disk_report>& disk_batch::reports() const
{
    return m_reports;
}

std::size_t disk_batch::refuse_unavailable()
{
    std::vector<std::shared_ptr<device>> disks;
    for (const disk_report& report : m_reports)
        disks.push_back(report.disk);
    const std::vector<device_manager::availability> availabilities = m_devices.look_before_preparing(disks);
    std::size_t left = 0;
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_report& report = m_reports[index];
        const device_manager::availability found = availabilities[index];
        if (found == device_manager::availability::available) {
            ++left;
            continue;
        }
        const failure_cause cause = found == device_manager::availability::in_use ? failure_cause::disk_in_use
            : m_devices.is_attached(*report.disk)                               ? failure_cause::cannot_prepare
                                                                                : failure_cause::device_disconnected;
        report.untouched = true;
        m_fail_disk(*m_disks[index], failure_text(cause));
    }
    return left;
}

bool disk_batch::take_names(const std::vector<inputs>& per_disk)
{
    auto values = per_disk.begin();
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        if (m_reports[index].untouched)
            continue;
        disk_run& disk = *m_disks[index];
        disk.values = *values++;
        disk.configuration = image_configurator::configuration_block(disk.values);
        m_reports[index].worker_name = expand_worker_name(disk.values.worker);
        if (disk.configuration.isEmpty())
            return false;
    }
    return true;
}

void disk_batch::prepare_next()
{
    m_preparing = nullptr;
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
    emit all_prepared();
}

void disk_batch::write_prepared()
{
    disk_run* prepared = m_preparing;
    m_preparing = nullptr;
    if (prepared) {
        prepared->prepared = true;
        m_start_writer(*prepared);
    }
    prepare_next();
}

void disk_batch::fail_refused()
{
    disk_run* refused = m_preparing;
    m_preparing = nullptr;
    if (refused) {
        m_give_up_share(*refused);
        device& disk = *m_reports[m_index(*refused)].disk;
        // Volumes locked before the refusal must not stay locked.
        m_devices.release_device(&disk);
        const failure_cause cause = m_devices.refused_as_in_use() ? failure_cause::disk_in_use
            : m_devices.is_attached(disk)                   ? failure_cause::cannot_prepare
                                                            : failure_cause::device_disconnected;
        m_fail_disk(*refused, failure_text(cause));
    }
    prepare_next();
}

void disk_batch::end_preparation()
{
    m_preparation_over = true;
    if (!m_writing())
        emit all_done();
}

bool disk_batch::m_make_stream()
{
    std::vector<disk_run*> copies;
    for (const std::unique_ptr<disk_run>& disk : m_disks)
        if (m_reports[m_index(*disk)].outcome == disk_outcome::pending)
            copies.push_back(disk.get());
    // The image is made ready once for every disk: a first flash inflates it while they are
    // written, several disks share one reading of a complete image. The disks still to be
    // prepared count among its copies; until they take their share, the first ones written
    // wait for them a block or two ahead.
    if (!image_manipulator::is_complete(m_image.decompressed()))
        m_stream = image_stream::inflating(m_image.compressed(), m_image.decompressed(), copies.size(),
                                           m_image.checksum_wanted());
    else if (copies.size() > 1)
        m_stream = image_stream::reading(m_image.decompressed(), copies.size());
    if (!m_stream)
        return true;
    if (!m_stream->start()) {
        const QString failure_found = m_image.unavailable(m_stream->failure());
        m_stream.reset();
        // None of them can be written: those not prepared yet are left as they are.
        for (disk_run* disk : copies) {
            const disk_report& report = m_reports[m_index(*disk)];
            if (report.stage != disk_stage::waiting)
                m_devices.release_device(report.disk.get());
            m_fail_disk(*disk, failure_found);
        }
        return false;
    }
    for (disk_run* disk : copies)
        disk->in_stream = true;
    return true;
}

void disk_batch::m_start_writer(disk_run& disk)
{
    const bool first = std::none_of(m_disks.begin(), m_disks.end(),
                                    [](const std::unique_ptr<disk_run>& other) { return other->writer != nullptr; });
    if (first && !m_make_stream())
        return;
    const int index = m_index(disk);
    disk.in_stream = false;
    disk.writer = std::make_unique<disk_writer>(m_reports[index].disk, m_image.compressed(), m_image.decompressed(),
                                                disk.configuration, m_verify, m_stream.get());
    connect(disk.writer.get(), &disk_writer::progress, this,
            [this, index](disk_progress_kind kind, qint64 done, qint64 total) {
                m_set_disk(*m_disks[index], kind == disk_progress_kind::verifying ? disk_stage::verifying
                                                                                  : disk_stage::writing);
                emit disk_progress(index, kind, done, total);
            });
    connect(disk.writer.get(), &disk_writer::done, this,
            [this, index](bool succeeded, const QString& failure_found) {
                m_writer_done(index, succeeded, failure_found);
            });
    m_set_disk(disk, disk_stage::writing);
    if (first)
        emit writing_started();
    disk.writer->start();
}

void disk_batch::m_give_up_share(disk_run& disk)
{
    if (!disk.in_stream)
        return;
    disk.in_stream = false;
    // Taken and let go at once: the others no longer wait for this disk.
    if (m_stream)
        m_stream->take_reader(nullptr);
}

bool disk_batch::m_writing() const
{
    return std::any_of(m_reports.begin(), m_reports.end(), [](const disk_report& report) {
        return report.stage == disk_stage::writing || report.stage == disk_stage::verifying;
    });
}

void disk_batch::m_writer_done(int index, bool succeeded, const QString& failure_found)
{
    // Already settled when the job waited for it.
    if (m_reports[std::size_t(index)].stage == disk_stage::done)
        return;
    emit disk_done(index, succeeded, failure_found);
}

void disk_batch::settle(int index, bool succeeded, const QString& failure_found)
{
    disk_run& disk = *m_disks[std::size_t(index)];
    disk_report& report = m_reports[std::size_t(index)];
    // The volumes its preparation locked are let go with the burner's handle.
    m_devices.release_device(report.disk.get());
    if (succeeded) {
        report.outcome = m_verify ? disk_outcome::verified : disk_outcome::written;
        if (disk.writer)
            disk.area = disk.writer->configuration_offset();
        m_set_disk(disk, disk_stage::done);
    } else if (failure_found.isEmpty()) {
        report.outcome = disk_outcome::canceled;
        m_set_disk(disk, disk_stage::done);
    } else {
        m_fail_disk(disk, failure_found == failure_text(failure_cause::download_damaged) ? m_image.found_damaged()
                                                                                     : failure_found);
    }
    // Disks still to be prepared are written once they are.
    if (m_preparation_over && !m_writing())
        emit all_done();
}

void disk_batch::stop_preparation()
{
    m_preparing = nullptr;
    m_devices.stop_preparation();
}

void disk_batch::stop_writers()
{
    // No disk is prepared after the stop: the one under way is given up.
    if (!m_preparation_over) {
        stop_preparation();
        m_preparation_over = true;
        m_stream.reset();
    }
    for (const std::unique_ptr<disk_run>& disk : m_disks)
        if (disk->writer)
            disk->writer->cancel();
    if (!m_writing())
        emit all_done();
}

void disk_batch::wait_for_writers()
{
    // Their reports are still on their way: taken here, the late ones find their disk settled.
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_writer* writer = m_disks[index]->writer.get();
        if (writer && m_reports[index].stage != disk_stage::done) {
            writer->wait();
            m_writer_done(int(index), writer->succeeded(), writer->failure());
        }
    }
}

void disk_batch::end(bool stopped, const QString& failure_found)
{
    if (m_stream)
        m_image.read_whole(m_stream->download_checksum());
    m_stream.reset();
    // Whatever a disk still holds from a preparation that had no write after it.
    for (const disk_report& report : m_reports)
        if (report.stage != disk_stage::waiting)
            m_devices.release_device(report.disk.get());
    for (std::size_t index = 0; index < m_disks.size(); ++index) {
        disk_report& report = m_reports[index];
        if (report.outcome != disk_outcome::pending)
            continue;
        report.outcome = stopped ? disk_outcome::canceled : disk_outcome::failed;
        report.failure = stopped ? std::string() : failure_found.toStdString();
        report.stage = disk_stage::done;
        emit disk_changed(int(index));
    }
    m_preparing = nullptr;
}

std::string disk_batch::record() const
{
    const std::string image_name = m_image.record_name();
    const std::string md5 = m_image.record_checksum();
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
        line.area = m_disks[index]->area;
        entries.push_back(line);
    }
    return data_folder_failure_text(flash_record::append(m_data_folder, entries),
                                    m_data_folder + "/" + flash_record::file_name);
}

void disk_batch::m_fail_disk(disk_run& disk, const QString& failure_found)
{
    disk_report& report = m_reports[m_index(disk)];
    report.outcome = disk_outcome::failed;
    report.failure = failure_found.toStdString();
    m_set_disk(disk, disk_stage::done);
}

void disk_batch::m_set_disk(disk_run& disk, disk_stage stage)
{
    const int index = m_index(disk);
    disk_report& report = m_reports[std::size_t(index)];
    if (report.stage == stage)
        return;
    report.stage = stage;
    emit disk_changed(index);
}

int disk_batch::m_index(const disk_run& disk) const
{
    for (std::size_t index = 0; index < m_disks.size(); ++index)
        if (m_disks[index].get() == &disk)
            return int(index);
    return -1;
}
