#pragma once
// The downloaded image made ready for writing: inflated beside the download and patched with
// the rig's configuration block.

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <cstdio>
#include <string>

class image_manipulator : public QObject {
    Q_OBJECT

public:
    // read_config_offset's failure result; never a real position.
    static constexpr std::uint64_t no_offset = ~std::uint64_t(0);
    // Size of the input and of the output buffer of inflating.
    static constexpr std::size_t buffer_size = 524288;

    // The decompressed image's path: `gz_path` without its ".gz".
    static std::string decompressed_path(const std::string& gz_path);

    // Inflates `gz_path` unless its decompressed image exists already, then opens that image
    // for update; null when there is none. A download that cannot be inflated completely is
    // removed together with its checksum, so that the next run fetches it again
    // (image_damaged() tells this case apart).
    FILE* inflate_image(const std::string& gz_path);
    bool image_damaged() const;

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
    bool m_inflate(const std::string& gz_path, const std::string& img_path);

    bool m_damaged = false;
};
