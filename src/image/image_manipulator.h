#pragma once
// The downloaded image made ready for writing: inflated beside the download and patched with
// the rig's configuration block.

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

class image_manipulator : public QObject {
    Q_OBJECT

public:
    // Why inflate_image() gave no image.
    enum class failure {
        none,
        // The download cannot be inflated completely; it is removed together with its
        // checksum, so that the next run fetches it again.
        download_damaged,
        // The decompressed image could not be written, as on a full disk; the download stays.
        output_failed,
        // The cancel flag was set while inflating.
        canceled,
    };

    // read_config_offset's failure result; never a real position.
    static constexpr std::uint64_t no_offset = ~std::uint64_t(0);
    // Size of the input and of the output buffer of inflating.
    static constexpr std::size_t buffer_size = 524288;

    // `canceled`, when given, is read before each step of inflating; it must outlive the
    // manipulator.
    explicit image_manipulator(const std::atomic<bool>* canceled = nullptr);

    // The decompressed image's path: `gz_path` without its ".gz".
    static std::string decompressed_path(const std::string& gz_path);

    // A decompressed image is complete when its size is the one recorded once it was made.
    static bool is_complete(const std::string& img_path);
    static bool record_complete(const std::string& img_path);
    // Removes a decompressed image and its record, so that it is made again.
    static void remove_image(const std::string& img_path);

    // Inflates `gz_path` unless its complete decompressed image exists already, then opens
    // that image for update; null when there is none (last_failure() tells why). Whatever
    // stops inflating, nothing is left under the decompressed image's name.
    FILE* inflate_image(const std::string& gz_path);
    failure last_failure() const;

    // The configuration area's position, held big-endian in the image's last 8 bytes, or
    // no_offset when there is no image or no trailer.
    static std::uint64_t read_config_offset(FILE* image);

    // Writes `block` over the configuration area; false (logged as "Image error") when the
    // area cannot be found, does not lie between the image's start and its trailer, or
    // cannot be written.
    static bool write_configuration(FILE* image, const QByteArray& block);

signals:
    void report_progress(qint64 recieved, qint64 total);

private:
    failure m_inflate(const std::string& gz_path, const std::string& img_path);
    bool m_cancel_requested() const;

    const std::atomic<bool>* m_canceled;
    failure m_failure = failure::none;
};
