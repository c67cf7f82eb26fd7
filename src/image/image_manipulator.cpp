#include "image/image_manipulator.h"

#include "image/file_position.h"
#include "logger.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int trailer_size = 8;

bool exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

void remove_file(const std::string& path)
{
    std::remove(path.c_str());
}

std::string checksum_path(const std::string& gz_path)
{
    return QFileInfo(QString::fromStdString(gz_path)).dir().filePath("checksum.md5").toStdString();
}

} // namespace

image_manipulator::image_manipulator(const std::atomic<bool>* canceled)
    : m_canceled(canceled)
{
}

std::string image_manipulator::decompressed_path(const std::string& gz_path)
{
    return gz_path.size() < 3 ? gz_path : gz_path.substr(0, gz_path.size() - 3);
}

FILE* image_manipulator::inflate_image(const std::string& gz_path)
{
    m_failure = failure::none;
    const std::string img_path = decompressed_path(gz_path);
    if (!is_complete(img_path) && exists(gz_path)) {
        remove_image(img_path);
        // Inflated under a temporary name: the final name only ever holds a complete image,
        // which every later flash of this release reuses.
        const std::string partial_path = img_path + ".part";
        m_failure = m_inflate(gz_path, partial_path);
        if (m_failure == failure::none
            && (std::rename(partial_path.c_str(), img_path.c_str()) != 0
                || !record_complete(img_path)))
            m_failure = failure::output_failed;
        if (m_failure != failure::none) {
            remove_file(partial_path);
            remove_image(img_path);
        }
        if (m_failure == failure::download_damaged) {
            remove_file(gz_path);
            remove_file(checksum_path(gz_path));
            KESTREL_LOG(logger::fatal, "Image error");
        } else if (m_failure == failure::output_failed) {
            KESTREL_LOG(logger::fatal, "Cannot write the decompressed image");
        }
    }
    return is_complete(img_path) ? std::fopen(img_path.c_str(), "rb+") : nullptr;
}

image_manipulator::failure image_manipulator::last_failure() const
{
    return m_failure;
}

std::uint64_t image_manipulator::read_config_offset(FILE* image)
{
    if (!image) {
        KESTREL_LOG(logger::fatal, "Cannot open image");
        return no_offset;
    }
    unsigned char trailer[trailer_size];
    if (!seek_file(image, -trailer_size, SEEK_END)
        || std::fread(trailer, 1, trailer_size, image) != trailer_size)
        return no_offset;
    std::uint64_t offset = 0;
    for (unsigned char byte : trailer)
        offset = offset << 8 | byte;
    return offset;
}

bool image_manipulator::write_configuration(FILE* image, const QByteArray& block)
{
    const std::uint64_t offset = read_config_offset(image);
    KESTREL_LOG(logger::debug, "Image offset: " << offset);
    const std::int64_t size = image && offset != no_offset && seek_file(image, 0, SEEK_END)
        ? tell_file(image)
        : -1;
    // The block must stay inside the image content: never over the trailer or past the end.
    const std::uint64_t room = size < trailer_size ? 0 : std::uint64_t(size) - trailer_size;
    const std::uint64_t length = std::uint64_t(block.size());
    bool written = offset != no_offset && room >= length && offset <= room - length
        && seek_file(image, std::int64_t(offset), SEEK_SET)
        && std::fwrite(block.constData(), 1, length, image) == length
        && std::fflush(image) == 0;
    if (!written)
        KESTREL_LOG(logger::fatal, "Image error");
    return written;
}
