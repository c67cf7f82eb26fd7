#pragma once
// The work of image_burner, shared by its preparation, its copy and its read-back.

#include "writing/image_burner.h"

#include "image/aligned_buffer.h"
#include "image/image_manipulator.h"
#include "image/image_reader.h"
#include "image/image_stream.h"
#include "writing/chunk_reader.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <windows.h>

class disk_transfer;
struct device_windows;

class image_burner::impl {
public:
    // Where the configuration block goes on the disk; 0 while the image's place for it is unknown.
    std::uint64_t area_offset() const
    {
        return m_area_offset == image_manipulator::no_offset ? 0 : m_area_offset;
    }
    impl(image_burner* owner, const std::string& image_path, std::shared_ptr<device> disk,
         const QByteArray& configuration);
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    void burn_image();

    // Set from the GUI thread while the burner's thread reads it.
    std::atomic<bool> m_canceled {false};
    image_burner* m_owner;
    // Copies: the burner may outlive the caller's strings.
    std::string m_image_path;
    // The decompressed image: beside the download unless the caller names another place.
    std::string m_decompressed_path;
    std::shared_ptr<device> m_device;
    QByteArray m_configuration;
    // The disk is read back before the copy counts as done.
    bool m_verification = true;
    // This copy's reader of the blocks shared by every copy of the run (a download being
    // inflated, or a complete image read); on a first flash alone, of blocks of its own.
    std::unique_ptr<image_stream::reader> m_shared;

private:
    // How a run's preparation or the run after it ended.
    enum class outcome {
        written,
        canceled,
        disconnected,
        // The decompressed image could not be read back whole.
        image_unreadable,
        // The download cannot be inflated, or the image it gives has no configuration area.
        download_damaged,
        no_space,
        // The decompressed image's folder may not be written.
        folder_not_writable,
        // The disk or the image not to be had.
        no_area,
        // The stick read back differs from the image, or cannot be read though attached.
        mismatch,
    };

    device_windows& m_disk() const;
    // The pre-check of a flash: a disk handle, no cancel, an image to write. Tells the user
    // when one is missing.
    bool m_ready_to_write();
    // Opens the complete decompressed image, or takes blocks as the download is inflated:
    // written when the copy can start.
    outcome m_prepare_image();
    // The complete decompressed image opened, with its size and configuration area.
    outcome m_open_complete_image();
    // Why a run that ended with `result` failed, short of a cancel or a lost disk.
    static burn_failure failure_of(outcome result);

    // Copies the image onto the disk's first handle, reads it back, reports how it ended and
    // releases every handle of the disk.
    void m_write_image();
    // Every chunk but the first, read from the complete image into buffers of its own, each
    // written as soon as it is read.
    outcome m_write_chunks(disk_transfer& disk, std::size_t chunk);
    // Every block but the first, written straight from the blocks shared by the run's copies,
    // as they are: the configuration block is laid over afterwards.
    outcome m_write_blocks(disk_transfer& disk);
    // One chunk at `offset`, counted in the progress; false when the disk took it not.
    bool m_write_chunk(disk_transfer& disk, std::int64_t offset, const char* buffer, std::size_t length,
                       bool padded, std::int64_t& written);
    // The image complete: the pages that hold the configuration area, when they were written
    // without it (not `area_written`), then the image's first `first_part` bytes, through
    // `at_hand` a piece at a time, from the last piece to the first.
    outcome m_write_first_chunks(disk_transfer& disk, aligned_buffer& at_hand, std::int64_t first_part,
                                 bool area_written);
    outcome m_verify(disk_transfer& disk, aligned_buffer& at_hand);
    // How a copy ends whose image could not be read after its blocks went by.
    outcome m_unreadable_image() const;
    // How a read-back ends whose read of the chunk at `offset` failed with `error`: a pulled
    // stick, or one still attached that cannot be read, which fails the verification.
    outcome m_unreadable_stick(DWORD error, std::int64_t offset);
    outcome m_finish_inflating();
    // Keeps the decompressed image and finds its configuration area: false when it has none.
    bool m_take_image(FILE* image);
    // The image was not kept, or is gone since: it is read by inflating the download again.
    outcome m_take_download();
    // A complete image without a configuration area is no use to any run: it goes.
    outcome m_drop_image_without_area();
    // Whether a write that ended with `error` leaves the copy going: a disk may refuse the
    // image's last chunk (its padded sector), whose bytes are then neither counted nor read back.
    bool m_accepted(DWORD error, std::int64_t offset, std::size_t length);
    // The chunks of the decompressed image, from its start to its end.
    chunk_reader::source m_image_chunks();
    // How a run ends when the inflating failed; `otherwise` when it was not the download's fault
    // nor the output's.
    static outcome m_inflating_failure(image_manipulator::failure why, outcome otherwise = outcome::canceled);
    void m_report(outcome result, HANDLE disk, disk_transfer& transfer, aligned_buffer& at_hand);
    void m_close_image();
    void m_release_disk();

    // The decompressed image, to be read once it is complete.
    std::unique_ptr<image_reader> m_image;
    // Whether m_image reads a decompressed image kept in the data folder.
    bool m_image_kept = false;
    std::int64_t m_image_size = -1;
    std::uint64_t m_area_offset = image_manipulator::no_offset;
    // Where the image's last chunk starts when the disk refused it; -1 when it took every chunk.
    std::int64_t m_refused_at = -1;
};
