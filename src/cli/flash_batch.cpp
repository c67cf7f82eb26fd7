#include "cli/flash_batch.h"

#include "cli/interruption.h"
#include "cli/disk_writer.h"
#include "device/device_manager.h"
#include "config/image_configurator.h"
#include "image/cached_image.h"
#include "image/image_manipulator.h"
#include "image/image_retriever.h"
#include "logger.h"

#include <QFile>

#include <algorithm>

namespace {

const int interrupt_poll_ms = 100;
const int redraw_ms = 250;
const char* const local_copy_name = "image.gz";

struct unpacked {
    // Empty when the decompressed image is complete and names its configuration area.
    std::string failure;
};

// Inflates the image once for every disk, so that their burners only copy it.
unpacked unpack(image_manipulator& manipulator, const std::string& gz_path, const std::string& damaged)
{
    FILE* image = manipulator.inflate_image(gz_path);
    switch (manipulator.last_failure()) {
    case image_manipulator::failure::download_damaged:
        return {damaged};
    case image_manipulator::failure::output_failed:
        return {"Not enough free space to unpack the image"};
    case image_manipulator::failure::canceled:
        return {"canceled"};
    case image_manipulator::failure::none:
        break;
    }
    const bool area_found = image
        && image_manipulator::config_offset(image, image_configurator::block_size) != image_manipulator::no_offset;
    if (image)
        std::fclose(image);
    return {area_found ? std::string() : damaged};
}

std::string disk_label(const cli::flash_target& target)
{
    return "disk " + std::to_string(target.disk.number) + "  " + target.worker_name;
}

} // namespace

namespace cli {

flash_batch::flash_batch(const std::string& data_folder, device_manager& devices,
                         std::vector<flash_target> targets, const std::string& local_image,
                         bool verify, console& io)
    : m_data_folder(data_folder)
    , m_devices(devices)
    , m_local_image(local_image)
    , m_verify(verify)
    , m_io(io)
    , m_progress(io.out, io.terminal)
{
    for (flash_target& target : targets) {
        disk_run disk;
        disk.target = std::move(target);
        m_disks.push_back(std::move(disk));
    }
    connect(&m_interrupt_poll, SIGNAL(timeout()), this, SLOT(m_look_for_interrupt()));
    connect(&m_redraw, &QTimer::timeout, this, [this] { m_progress.draw(); });
    connect(&m_devices, SIGNAL(unmount_finished()), this, SLOT(m_prepared()));
    connect(&m_devices, SIGNAL(unmount_refused()), this, SLOT(m_refused()));
}

flash_batch::~flash_batch()
{
    // Before the local image's folder goes: the unpacking may still read from it.
    m_work.stop();
}

int flash_batch::run()
{
    m_interrupt_poll.start(interrupt_poll_ms);
    m_redraw.start(redraw_ms);
    if (m_local_image.empty())
        QTimer::singleShot(0, this, [this] { m_fetch_latest(); });
    else
        QTimer::singleShot(0, this, [this] { m_take_local_image(); });
    m_loop.exec();
    if (m_interrupted)
        return 130;
    return successes() == m_disks.size() ? 0 : 1;
}

std::size_t flash_batch::successes() const
{
    return static_cast<std::size_t>(std::count_if(m_disks.begin(), m_disks.end(), [](const disk_run& disk) {
        return disk.result == outcome::written;
    }));
}

void flash_batch::m_take_local_image()
{
    // Unpacked from a copy of its own: unpacking puts the image beside the download and
    // removes a download it finds damaged, neither of which may happen to the user's file.
    m_progress.note("Reading " + m_local_image);
    m_local_copy = std::make_unique<QTemporaryDir>(QString::fromStdString(m_data_folder + "/local-image-XXXXXX"));
    const QString copy = m_local_copy->filePath(local_copy_name);
    if (!m_local_copy->isValid() || !QFile::copy(QString::fromStdString(m_local_image), copy)) {
        m_fail_all("Not enough free space to unpack the image");
        return;
    }
    m_unpack(copy.toStdString());
}

void flash_batch::m_fetch_latest()
{
    m_retriever = std::make_unique<image_retriever>(m_data_folder);
    connect(m_retriever.get(), SIGNAL(finished_download(std::string)), this,
            SLOT(m_image_downloaded(std::string)));
    connect(m_retriever.get(), SIGNAL(image_not_downloaded(uint64_t, std::string)), this,
            SLOT(m_download_offered(uint64_t, std::string)));
    connect(m_retriever.get(), SIGNAL(error_msg(QString, bool)), this,
            SLOT(m_retriever_message(QString, bool)));
    connect(m_retriever.get(), SIGNAL(progress_updated(qint64, qint64)), this,
            SLOT(m_download_progress(qint64, qint64)));
    m_progress.note("Looking for the latest release");
    m_retriever->check_latest();
}

void flash_batch::m_download_offered(uint64_t size, std::string tag)
{
    if (m_stage != stage::image)
        return;
    m_progress.note("Downloading release " + tag + " (" + size_text(size) + ")");
    m_download_line = m_progress.add("download " + tag);
    m_download_shown = true;
    m_retriever->download_image();
}

void flash_batch::m_download_progress(qint64 received, qint64 total)
{
    if (m_download_shown)
        m_progress.report(m_download_line, "downloading", received, total);
}

void flash_batch::m_retriever_message(QString text, bool is_err)
{
    if (m_stage != stage::image)
        return;
    if (!is_err) {
        m_progress.note(text.toStdString());
        return;
    }
    m_retriever->cancel();
    if (m_download_shown)
        m_progress.settle(m_download_line, "failed");
    m_fail_all(text.toStdString());
}

void flash_batch::m_image_downloaded(std::string gz_path)
{
    if (m_stage != stage::image)
        return;
    if (m_download_shown)
        m_progress.settle(m_download_line, "done");
    m_check_download(gz_path);
}

void flash_batch::m_check_download(const std::string& gz_path)
{
    auto result = std::make_shared<cached_image::state>(cached_image::state::stopped);
    auto check = [result, gz_path](const std::atomic<bool>& stop) { *result = cached_image::check(gz_path, stop); };
    m_work.start(check, this, [this, result, gz_path] {
        if (m_stage != stage::image)
            return;
        switch (*result) {
        case cached_image::state::whole:
            m_unpack(gz_path);
            break;
        case cached_image::state::missing:
        case cached_image::state::damaged:
            m_fail_all("Downloaded image is damaged");
            break;
        case cached_image::state::stopped:
            break;
        }
    });
}

void flash_batch::m_unpack(const std::string& gz_path)
{
    m_stage = stage::unpacking;
    const std::size_t line = m_progress.add("image");
    auto result = std::make_shared<unpacked>();
    const std::string damaged =
        m_local_image.empty() ? "Downloaded image is damaged" : "The image is damaged: " + m_local_image;
    auto inflate = [this, result, gz_path, line, damaged](const std::atomic<bool>& stop) {
        image_manipulator manipulator(&stop);
        connect(&manipulator, &image_manipulator::report_progress, this,
                [this, line](qint64 done, qint64 total) { m_progress.report(line, "unpacking", done, total); });
        *result = unpack(manipulator, gz_path, damaged);
    };
    m_work.start(inflate, this, [this, result, gz_path, line] {
        if (m_stage != stage::unpacking)
            return;
        if (!result->failure.empty()) {
            m_progress.settle(line, "failed");
            m_fail_all(result->failure);
            return;
        }
        m_progress.settle(line, "unpacked");
        m_image = gz_path;
        m_prepare_next();
    });
}

void flash_batch::m_prepare_next()
{
    if (m_stage != stage::preparing) {
        m_stage = stage::preparing;
        for (disk_run& disk : m_disks)
            disk.line = m_progress.add(disk_label(disk.target));
        m_disk_lines = true;
    }
    while (m_preparing < m_disks.size() && m_disks[m_preparing].result != outcome::waiting)
        ++m_preparing;
    if (m_preparing == m_disks.size()) {
        m_start_writing();
        return;
    }
    disk_run& disk = m_disks[m_preparing];
    m_progress.report(disk.line, "preparing", 0, 0);
    m_devices.unmount_device(disk.target.disk.record.get(), false);
}

void flash_batch::m_prepared()
{
    if (m_stage != stage::preparing)
        return;
    m_disks[m_preparing].result = outcome::prepared;
    m_prepare_next();
}

void flash_batch::m_refused()
{
    if (m_stage != stage::preparing)
        return;
    disk_run& disk = m_disks[m_preparing];
    // Volumes locked before the refusal must not stay locked.
    m_devices.release_device(disk.target.disk.record.get());
    m_written(disk, false, m_devices.is_attached(*disk.target.disk.record) ? "Cannot prepare the device"
                                                                           : "Device disconected!");
    m_prepare_next();
}

void flash_batch::m_start_writing()
{
    m_stage = stage::writing;
    for (disk_run& disk : m_disks) {
        if (disk.result != outcome::prepared)
            continue;
        disk.writer = std::make_unique<disk_writer>(disk.target.disk.record, m_image,
                                                    disk.target.configuration, m_verify);
        connect(disk.writer.get(), &disk_writer::progress, this,
                [this, &disk](const QString& step, qint64 done, qint64 total) {
                    m_progress.report(disk.line, step.toStdString(), done, total);
                });
        connect(disk.writer.get(), &disk_writer::done, this,
                [this, &disk](bool succeeded, const QString& failure) {
                    // The volumes locked by the preparation are let go with the burner's handle.
                    m_devices.release_device(disk.target.disk.record.get());
                    m_written(disk, succeeded, failure.toStdString());
                    m_finish_when_written();
                });
        disk.writer->start();
    }
    m_finish_when_written();
}

void flash_batch::m_finish_when_written()
{
    if (std::none_of(m_disks.begin(), m_disks.end(),
                     [](const disk_run& disk) { return disk.result == outcome::prepared; }))
        m_finish();
}

void flash_batch::m_written(disk_run& disk, bool succeeded, const std::string& failure)
{
    disk.result = succeeded ? outcome::written : m_interrupted ? outcome::canceled : outcome::failed;
    disk.failure = failure;
    if (m_disk_lines)
        m_progress.settle(disk.line, succeeded ? (m_verify ? "verified" : "written")
                          : disk.result == outcome::canceled ? "canceled" : "failed: " + failure);
}

void flash_batch::m_fail_all(const std::string& failure)
{
    m_progress.note(failure);
    for (disk_run& disk : m_disks)
        if (disk.result == outcome::waiting)
            m_written(disk, false, failure);
    m_finish();
}

void flash_batch::m_look_for_interrupt()
{
    if (interruption::requested() && !m_interrupted)
        m_interrupt();
}

void flash_batch::m_interrupt()
{
    m_interrupted = true;
    m_progress.note("Interrupted: stopping");
    KESTREL_LOG(logger::fatal, "Flashing canceled from the command line");
    switch (m_stage) {
    case stage::image:
        if (m_retriever)
            m_retriever->cancel();
        m_work.stop();
        break;
    case stage::unpacking:
        m_work.stop();
        break;
    case stage::preparing:
        m_devices.stop_preparation();
        for (disk_run& disk : m_disks)
            m_devices.release_device(disk.target.disk.record.get());
        break;
    case stage::writing:
        for (disk_run& disk : m_disks)
            if (disk.writer)
                disk.writer->cancel();
        // Each writer reports when its burner has let go of the disk.
        return;
    case stage::over:
        return;
    }
    for (disk_run& disk : m_disks)
        if (disk.result == outcome::waiting || disk.result == outcome::prepared)
            m_written(disk, false, "canceled");
    m_finish();
}

void flash_batch::m_finish()
{
    m_stage = stage::over;
    m_progress.draw();
    m_io.out << "Summary:\n";
    for (const disk_run& disk : m_disks) {
        m_io.out << "  disk " << disk.target.disk.number << " (" << disk.target.disk.record->path
                 << "): \"" << disk.target.worker_name << "\" ";
        if (disk.result == outcome::written)
            m_io.out << (m_verify ? "verified" : "written, not verified");
        else if (disk.result == outcome::canceled)
            m_io.out << "canceled";
        else
            m_io.out << "failed: " << disk.failure;
        m_io.out << '\n';
    }
    m_io.out.flush();
    m_loop.quit();
}

} // namespace cli
