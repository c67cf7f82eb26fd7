#pragma once
// One flash of several disks at once: the image fetched (or taken from a file) and unpacked
// once, the disks prepared one after another, then written side by side, one burner thread
// each, with progress on the terminal and a summary line per disk.

#include "cli/console.h"
#include "cli/disk_choice.h"
#include "cli/progress_lines.h"
#include "image/background_work.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class device_manager;
class image_retriever;

namespace cli {

class disk_writer;

struct flash_target {
    listed_disk disk;
    // What goes into the configuration block as the worker name.
    std::string worker_name;
    QByteArray configuration;
};

class flash_batch : public QObject {
    Q_OBJECT

public:
    // `local_image` is a gzip image to flash; empty: the latest release, through the cache.
    flash_batch(const std::string& data_folder, device_manager& devices,
                std::vector<flash_target> targets, const std::string& local_image, bool verify,
                console& io);
    ~flash_batch() override;

    // Runs until every disk has its outcome: 0 all written, 1 some failed, 130 interrupted.
    int run();
    std::size_t successes() const;

private slots:
    void m_image_downloaded(std::string gz_path);
    void m_download_offered(uint64_t size, std::string tag);
    void m_retriever_message(QString text, bool is_err);
    void m_download_progress(qint64 received, qint64 total);
    void m_prepared();
    void m_refused();
    void m_look_for_interrupt();

private:
    enum class stage { image, unpacking, preparing, writing, over };
    enum class outcome { waiting, prepared, written, failed, canceled };

    struct disk_run {
        flash_target target;
        std::size_t line = 0;
        outcome result = outcome::waiting;
        std::string failure;
        std::unique_ptr<disk_writer> writer;
    };

    void m_take_local_image();
    void m_fetch_latest();
    void m_check_download(const std::string& gz_path);
    void m_unpack(const std::string& gz_path);
    void m_prepare_next();
    void m_start_writing();
    void m_finish_when_written();
    void m_written(disk_run& disk, bool succeeded, const std::string& failure);
    void m_fail_all(const std::string& failure);
    void m_interrupt();
    void m_finish();

    const std::string m_data_folder;
    device_manager& m_devices;
    std::vector<disk_run> m_disks;
    const std::string m_local_image;
    const bool m_verify;
    console& m_io;
    progress_lines m_progress;

    stage m_stage = stage::image;
    bool m_interrupted = false;
    // The disks have their progress lines once their preparation starts.
    bool m_disk_lines = false;
    std::size_t m_preparing = 0;
    std::unique_ptr<image_retriever> m_retriever;
    std::size_t m_download_line = 0;
    bool m_download_shown = false;
    // The image check or the unpacking, off the event loop.
    background_work m_work;
    // The compressed image the burners write from; its decompressed image is beside it.
    std::string m_image;
    // Where a local image is unpacked, for this run only.
    std::unique_ptr<QTemporaryDir> m_local_copy;
    QTimer m_interrupt_poll;
    QTimer m_redraw;
    QEventLoop m_loop;
};

} // namespace cli
