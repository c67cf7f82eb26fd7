#include "image/image_manipulator.h"

#include "base/logger.h"
#include "image/file_position.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

bool exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

} // namespace

std::string image_manipulator::decompressed_path(const std::string& gz_path)
{
    return gz_path.size() < 3 ? gz_path : gz_path.substr(0, gz_path.size() - 3);
}

FILE* image_manipulator::inflate_image(const std::string& gz_path)
{
    m_failure = failure::none;
    const std::string img_path = decompressed_path(gz_path);
    if (is_complete(img_path))
        return std::fopen(img_path.c_str(), "rb");
    if (!exists(gz_path) || !start_inflating(gz_path))
        return nullptr;
    std::unique_ptr<char[]> piece(new char[buffer_size]);
    std::int64_t made = 0;
    while ((made = inflate_next(piece.get(), buffer_size)) > 0) {
    }
    return made == 0 ? finish_inflating() : nullptr;
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

std::uint64_t image_manipulator::config_offset(FILE* image, std::uint64_t block_size)
{
    const std::uint64_t offset = read_config_offset(image);
    KESTREL_LOG(logger::debug, "Image offset: " << offset);
    const std::int64_t size = image && offset != no_offset && seek_file(image, 0, SEEK_END)
        ? tell_file(image)
        : -1;
    return m_checked_offset(offset, size, block_size);
}

std::uint64_t image_manipulator::config_offset(const unsigned char* trailer, std::int64_t image_size,
                                               std::uint64_t block_size)
{
    std::uint64_t offset = no_offset;
    if (image_size >= std::int64_t(trailer_size)) {
        offset = 0;
        for (std::size_t index = 0; index < trailer_size; ++index)
            offset = offset << 8 | trailer[index];
    }
    KESTREL_LOG(logger::debug, "Image offset: " << offset);
    return m_checked_offset(offset, image_size, block_size);
}

std::uint64_t image_manipulator::m_checked_offset(std::uint64_t offset, std::int64_t size,
                                                  std::uint64_t block_size)
{
    // The block must stay inside the image content: never over the trailer or past the end.
    const std::uint64_t room = size < std::int64_t(trailer_size) ? 0 : std::uint64_t(size) - trailer_size;
    if (offset != no_offset && room >= block_size && offset <= room - block_size)
        return offset;
    KESTREL_LOG(logger::fatal, "Image error");
    return no_offset;
}

void image_manipulator::patch_chunk(char* chunk, std::uint64_t chunk_offset, std::size_t length,
                                    std::uint64_t area_offset, const QByteArray& block)
{
    const std::uint64_t from = std::max(chunk_offset, area_offset);
    const std::uint64_t to = std::min(chunk_offset + length, area_offset + std::uint64_t(block.size()));
    if (from < to)
        std::memcpy(chunk + (from - chunk_offset), block.constData() + (from - area_offset), to - from);
}
