#pragma once
// The downloaded image made ready for writing: inflated beside the download (at once, or piece
// by piece while the pieces are written), and the place of the rig's configuration block in it.
// The decompressed image stays as released: the block is laid over the copy in memory, so that
// any number of copies can be made from one image.

#include "image/inflater.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class image_manipulator : public QObject {
    Q_OBJECT

public:
    // Why inflating gave no image.
    enum class failure {
        none,
        // The download cannot be inflated completely; what was made of it goes. A downloaded
        // release is then forgotten by the run, so that the next one fetches it again.
        download_damaged,
        // The decompressed image could not be written, as on a full disk; the download stays.
        output_failed,
        // The decompressed image's folder may not be written (no rights, a read-only file
        // system); the download stays.
        folder_not_writable,
        // The cancel flag was set while inflating.
        canceled,
    };

    // What becomes of the decompressed image that an inflating makes.
    enum class keeping {
        // Kept for later runs; an inflating that cannot write it fails.
        required,
        // Kept when it can be: when it cannot be written (no room, no rights, its folder
        // gone), nothing of it stays and the inflating goes on, for the copies that write its
        // pieces as they come.
        if_possible,
        // Not written at all: the pieces are all that is wanted.
        none,
    };

    // read_config_offset's failure result; never a real position.
    static constexpr std::uint64_t no_offset = ~std::uint64_t(0);
    // Size of the input and of the output buffer of inflating.
    static constexpr std::size_t buffer_size = 524288;

    // `canceled`, when given, is read before each step of inflating; it must outlive the
    // manipulator. `backend` inflates; the product uses the fastest the build has.
    explicit image_manipulator(const std::atomic<bool>* canceled = nullptr,
                               inflater::backend backend = inflater::compiled().front());
    ~image_manipulator() override;

    // The decompressed image's path: `gz_path` without its ".gz".
    static std::string decompressed_path(const std::string& gz_path);

    // A decompressed image is complete when its size is the one recorded once it was made.
    static bool is_complete(const std::string& img_path);
    static bool record_complete(const std::string& img_path);
    // Removes a decompressed image and its record, so that it is made again.
    static void remove_image(const std::string& img_path);

    // Inflates `gz_path` unless its complete decompressed image exists already, then opens
    // that image for reading; null when there is none (last_failure() tells why). Whatever
    // stops inflating, nothing is left under the decompressed image's name. Several copies
    // from one download inflate it once, with this, before any of them starts.
    FILE* inflate_image(const std::string& gz_path);
    failure last_failure() const;

    // Inflating piece by piece, for a copy that writes each piece as soon as it is made. The
    // pieces also go into the decompressed image at `img_path` (beside the download when
    // empty), under a temporary name until the last, as `keep` says. `with_checksum` has the
    // download hashed as it is read, for download_checksum(). False when inflating cannot start.
    bool start_inflating(const std::string& gz_path, const std::string& img_path = std::string(),
                         keeping keep = keeping::required, bool with_checksum = false);
    // Up to `size` next bytes of the image: fewer only at its end, 0 after it, -1 when
    // inflating failed (and was given up).
    std::int64_t inflate_next(char* buffer, std::size_t size);
    // Once inflate_next() gave 0: the image under its name, recorded complete and opened for
    // reading; null when that failed (and inflating was given up, last_failure() telling why),
    // or, with last_failure() none, when the image was not kept.
    FILE* finish_inflating();
    // Leaves an inflating unfinished: nothing of it stays.
    void give_up_inflating();
    // The image's size as the download's gzip trailer gives it: modulo 4 GiB, and of the last
    // gzip member only; -1 when the download has no trailer.
    std::int64_t trailer_size_hint() const;
    // Once the download was read to its end, by an inflating started with its checksum: its MD5
    // in lowercase hex; empty before.
    const std::string& download_checksum() const;

    // The configuration area's position, held big-endian in the image's last 8 bytes, or
    // no_offset when there is no image or no trailer.
    static std::uint64_t read_config_offset(FILE* image);
    // The position of a `block_size`-byte area as the image names it, checked to lie between
    // the image's start and its trailer; no_offset (logged as "Image error") when it does not.
    static std::uint64_t config_offset(FILE* image, std::uint64_t block_size);
    // The same for an image of `image_size` bytes whose last 8 bytes are `trailer`, or
    // no_offset when it has none (`image_size` below 8).
    static std::uint64_t config_offset(const unsigned char* trailer, std::int64_t image_size,
                                       std::uint64_t block_size);
    // Bytes at the image's end that name the configuration area.
    static constexpr std::size_t trailer_size = 8;
    // Lays the part of `block`, at `area_offset` of the image, that falls in the `length` bytes
    // of `chunk` taken from `chunk_offset`.
    static void patch_chunk(char* chunk, std::uint64_t chunk_offset, std::size_t length,
                            std::uint64_t area_offset, const QByteArray& block);

signals:
    void report_progress(qint64 recieved, qint64 total);

private:
    struct inflating;

    static std::uint64_t m_checked_offset(std::uint64_t offset, std::int64_t size, std::uint64_t block_size);
    std::int64_t m_give_up(failure why);
    // A write of the decompressed image failed with `error_number` (errno): not allowed, or out
    // of space. Fails the inflating unless the image need not be kept.
    std::int64_t m_give_up_writing(int error_number);
    // The decompressed image will not be kept: what was written of it goes.
    void m_drop_output(int error_number);
    bool m_cancel_requested() const;

    const std::atomic<bool>* m_canceled;
    inflater::backend m_backend;
    failure m_failure = failure::none;
    std::string m_download_checksum;
    std::unique_ptr<inflating> m_inflating;
};
