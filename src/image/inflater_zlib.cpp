// Inflating with zlib, which every build has.

#include "image/inflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

// 15 window bits plus 32: gzip and zlib headers are both recognised.
constexpr int window_bits = 47;
// What follows a member can only be another gzip member: 15 window bits plus 16.
constexpr int member_window_bits = 31;

class zlib_inflater : public inflater {
public:
    bool start() { return m_started = inflateInit2(&m_stream, window_bits) == Z_OK; }
    ~zlib_inflater() override
    {
        if (m_started)
            inflateEnd(&m_stream);
    }

    void feed(const unsigned char* input, std::size_t size) override
    {
        m_stream.next_in = const_cast<unsigned char*>(input);
        m_stream.avail_in = static_cast<uInt>(size);
    }

    std::size_t input_left() const override { return m_stream.avail_in; }

    step inflate(unsigned char* output, std::size_t size, std::size_t& made) override
    {
        m_stream.next_out = output;
        m_stream.avail_out = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
        const uInt room = m_stream.avail_out;
        const int status = ::inflate(&m_stream, Z_NO_FLUSH);
        made = room - m_stream.avail_out;
        switch (status) {
        case Z_OK:
        case Z_BUF_ERROR:
            return step::going;
        case Z_STREAM_END:
            return step::member_end;
        case Z_MEM_ERROR:
            return step::no_memory;
        default:
            return step::damaged;
        }
    }

    bool next_member() override { return inflateReset2(&m_stream, member_window_bits) == Z_OK; }

private:
    z_stream m_stream {};
    bool m_started = false;
};

} // namespace

std::unique_ptr<inflater> make_zlib_inflater()
{
    auto made = std::make_unique<zlib_inflater>();
    return made->start() ? std::move(made) : nullptr;
}
