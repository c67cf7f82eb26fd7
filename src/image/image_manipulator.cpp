#include "image/image_manipulator.h"

#include "image/file_position.h"
#include "image/sparse_output.h"
#include "logger.h"

#include <QDir>
#include <QFileInfo>

#include <zlib.h>

#include <memory>

namespace {

struct file_closer {
    void operator()(FILE* file) const { std::fclose(file); }
};
using file_pointer = std::unique_ptr<FILE, file_closer>;

// 15 window bits plus 32: gzip and zlib headers are both recognised.
constexpr int window_bits = 47;
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

std::string image_manipulator::decompressed_path(const std::string& gz_path)
{
    return gz_path.size() < 3 ? gz_path : gz_path.substr(0, gz_path.size() - 3);
}

FILE* image_manipulator::inflate_image(const std::string& gz_path)
{
    m_damaged = false;
    const std::string img_path = decompressed_path(gz_path);
    if (!exists(img_path) && exists(gz_path)) {
        // Inflated under a temporary name: the final name only ever holds a complete image,
        // which every later flash of this release reuses.
        const std::string partial_path = img_path + ".part";
        if (!m_inflate(gz_path, partial_path)
            || std::rename(partial_path.c_str(), img_path.c_str()) != 0) {
            m_damaged = true;
            remove_file(partial_path);
            remove_file(gz_path);
            remove_file(checksum_path(gz_path));
            KESTREL_LOG(logger::fatal, "Image error");
            return nullptr;
        }
    }
    return std::fopen(img_path.c_str(), "rb+");
}

bool image_manipulator::image_damaged() const
{
    return m_damaged;
}

bool image_manipulator::m_inflate(const std::string& gz_path, const std::string& img_path)
{
    file_pointer input(std::fopen(gz_path.c_str(), "rb"));
    file_pointer output(std::fopen(img_path.c_str(), "wb"));
    if (!input || !output || !seek_file(input.get(), 0, SEEK_END))
        return false;
    const qint64 total = tell_file(input.get());
    if (total < 0 || !seek_file(input.get(), 0, SEEK_SET))
        return false;

    z_stream stream {};
    if (inflateInit2(&stream, window_bits) != Z_OK)
        return false;
    std::unique_ptr<unsigned char[]> in(new unsigned char[buffer_size]);
    std::unique_ptr<unsigned char[]> out(new unsigned char[buffer_size]);
    sparse_output image(output.get());

    int status = Z_OK;
    bool intact = true;
    while (intact && status != Z_STREAM_END) {
        std::size_t read = std::fread(in.get(), 1, buffer_size, input.get());
        // End of file or a read error before the stream's own end: the download is cut short.
        if (read == 0) {
            intact = false;
            break;
        }
        stream.next_in = in.get();
        stream.avail_in = static_cast<uInt>(read);
        do {
            stream.next_out = out.get();
            stream.avail_out = static_cast<uInt>(buffer_size);
            status = inflate(&stream, Z_NO_FLUSH);
            std::size_t produced = buffer_size - stream.avail_out;
            intact = (status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR)
                && image.write(out.get(), produced);
        } while (intact && stream.avail_out == 0 && status != Z_STREAM_END);
        if (intact)
            emit report_progress(tell_file(input.get()), total);
    }
    inflateEnd(&stream);
    intact = intact && image.finish();
    return std::fclose(output.release()) == 0 && intact;
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
