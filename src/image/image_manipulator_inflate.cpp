// Inflating a download into a sparse file: every gzip member in turn, as gzip -d does, told
// apart from faults of the download, faults of the output and a cancel.

#include "image/image_manipulator.h"

#include "image/file_position.h"
#include "image/sparse_output.h"

#include <zlib.h>

#include <memory>

namespace {

struct file_closer {
    void operator()(FILE* file) const { std::fclose(file); }
};
using file_pointer = std::unique_ptr<FILE, file_closer>;

// 15 window bits plus 32: gzip and zlib headers are both recognised.
constexpr int window_bits = 47;
// What follows a member can only be another gzip member: 15 window bits plus 16.
constexpr int member_window_bits = 31;

class inflate_stream {
public:
    bool start() { return inflateInit2(&m_stream, window_bits) == Z_OK; }
    ~inflate_stream() { inflateEnd(&m_stream); }
    z_stream* operator->() { return &m_stream; }
    z_stream* get() { return &m_stream; }

private:
    z_stream m_stream {};
};

} // namespace

image_manipulator::failure image_manipulator::m_inflate(const std::string& gz_path,
                                                        const std::string& img_path)
{
    file_pointer input(std::fopen(gz_path.c_str(), "rb"));
    if (!input || !seek_file(input.get(), 0, SEEK_END))
        return failure::download_damaged;
    const qint64 total = tell_file(input.get());
    if (total < 0 || !seek_file(input.get(), 0, SEEK_SET))
        return failure::download_damaged;
    file_pointer output(std::fopen(img_path.c_str(), "wb"));
    inflate_stream stream;
    if (!output || !stream.start())
        return failure::output_failed;
    std::unique_ptr<unsigned char[]> in(new unsigned char[buffer_size]);
    std::unique_ptr<unsigned char[]> out(new unsigned char[buffer_size]);
    sparse_output image(output.get());

    bool member_ended = false;
    std::size_t read = 0;
    while ((read = std::fread(in.get(), 1, buffer_size, input.get())) > 0) {
        stream->next_in = in.get();
        stream->avail_in = static_cast<uInt>(read);
        do {
            if (m_cancel_requested())
                return failure::canceled;
            if (member_ended && inflateReset2(stream.get(), member_window_bits) != Z_OK)
                return failure::output_failed;
            stream->next_out = out.get();
            stream->avail_out = static_cast<uInt>(buffer_size);
            const int status = inflate(stream.get(), Z_NO_FLUSH);
            if (status == Z_MEM_ERROR)
                return failure::output_failed;
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return failure::download_damaged;
            if (!image.write(out.get(), buffer_size - stream->avail_out))
                return failure::output_failed;
            member_ended = status == Z_STREAM_END;
        } while (stream->avail_in > 0 || (stream->avail_out == 0 && !member_ended));
        emit report_progress(tell_file(input.get()), total);
    }
    // A read error, or the end of the file inside a member: the download is cut short.
    if (std::ferror(input.get()) || !member_ended)
        return failure::download_damaged;
    if (!image.finish() || std::fclose(output.release()) != 0)
        return failure::output_failed;
    return failure::none;
}

bool image_manipulator::m_cancel_requested() const
{
    return m_canceled && *m_canceled;
}
