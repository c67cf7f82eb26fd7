#pragma once
// The work of image_burner, shared by its preparation, its copy and its read-back.

#include "image/image_burner.h"

#include "image/aligned_buffer.h"
#include "image/chunk_reader.h"
#include "image/image_manipulator.h"
#include "image/image_stream.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <windows.h>

class disk_transfer;
struct device_windows;

class image_burner::impl {
public:
    impl(image_burner* owner, const std::string& image_path, std::shared_ptr<device> disk,
         const QByteArray& configuration);
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    void burn_image();

    // Set from the GUI thread while the burner's thread reads it.
    std::atomic<bool> m_canceled {false};
    image_burner* m_owner;
    // A copy: the burner may outlive the caller's string.
    std::string m_image_path;
    std::shared_ptr<device> m_device;
    QByteArray m_configuration;
    // The disk is read back before the copy counts as done.
    bool m_verification = true;
    // The download as it is inflated while the copy runs, on a first flash: this copy's reader
    // of an inflating shared with the other copies of the run, or of one of its own.
    std::unique_ptr<image_stream::reader> m_inflater;

private:
    // How a run's preparation or the run after it ended.
    enum class outcome {
        written,
        canceled,
        disconnected,
        // The decompressed image could not be read back whole.
        image_unreadable,
        download_damaged,
        no_space,
        // The image does not say where its configuration area is; before the copy, also the
        // disk or the image not to be had.
        no_area,
        mismatch,
    };

    device_windows& m_disk() const;
    // The pre-check of a flash: a disk handle, no cancel, an image to write. Tells the user
    // when one is missing.
    bool m_ready_to_write();
    // Opens the complete decompressed image, or starts inflating the download: written when
    // the copy can start.
    outcome m_prepare_image();
    // What the user is told of a run that ended with `result`, short of a cancel or a lost disk.
    static const char* failure_text(outcome result);

    // A run's chunk buffers, allocated once: two for the chunks made ahead, one for the chunk at
    // hand.
    struct chunk_buffers {
        explicit chunk_buffers(std::size_t size);
        aligned_buffer ahead[2];
        aligned_buffer at_hand;
    };

    // Copies the image onto the disk's first handle, reads it back, reports how it ended and
    // releases every handle of the disk.
    void m_write_image();
    // Every chunk but the first, each as soon as it is read or inflated.
    outcome m_write_chunks(disk_transfer& disk, chunk_buffers& buffers);
    // The image complete: the chunks that hold the configuration area, when they were written
    // before the area was known (not `area_written` with the configuration block laid over
    // them), then the first chunk.
    outcome m_write_first_chunks(disk_transfer& disk, chunk_buffers& buffers, bool area_written);
    outcome m_verify(disk_transfer& disk, chunk_buffers& buffers);
    outcome m_finish_inflating();
    // Keeps the decompressed image, which may be null, and finds its configuration area: false
    // when it has none.
    bool m_take_image(FILE* image);
    // Whether a write that ended with `error` leaves the copy going: a disk may refuse the
    // image's last chunk (its padded sector), whose bytes are then neither counted nor read back.
    bool m_accepted(DWORD error, std::int64_t offset, std::size_t length);
    // The chunks of the decompressed image, from its start to its end.
    chunk_reader::source m_image_chunks();
    // The chunks of the download, as they are inflated.
    chunk_reader::source m_inflated_chunks();
    // How a run ends when the inflater failed; `otherwise` when it was not the download's fault
    // nor the space's.
    static outcome m_inflating_failure(image_manipulator::failure why, outcome otherwise = outcome::canceled);
    void m_report(outcome result, HANDLE disk, disk_transfer& transfer, chunk_buffers& buffers);
    void m_close_image();
    void m_release_disk();

    // The decompressed image, open for reading once it is complete.
    FILE* m_image = nullptr;
    std::int64_t m_image_size = -1;
    std::uint64_t m_area_offset = image_manipulator::no_offset;
    // Where the image's last chunk starts when the disk refused it; -1 when it took every chunk.
    std::int64_t m_refused_at = -1;
};
