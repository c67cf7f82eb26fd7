// Inflating with Intel's ISA-L, several times as fast as zlib on the same download. Built only
// where the library is found.

#include "image/inflater.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

class isal_inflater : public inflater {
public:
    isal_inflater() { isal_inflate_init(&m_state); }

    void feed(const unsigned char* input, std::size_t size) override
    {
        // As zlib does, the first member may be a zlib stream instead of gzip.
        if (!m_wrapper_known)
            m_state.crc_flag = size >= 2 && input[0] == 0x1f && input[1] == 0x8b ? ISAL_GZIP : ISAL_ZLIB;
        m_wrapper_known = true;
        m_state.next_in = const_cast<unsigned char*>(input);
        m_state.avail_in = static_cast<std::uint32_t>(size);
    }

    std::size_t input_left() const override { return m_state.avail_in; }

    step inflate(unsigned char* output, std::size_t size, std::size_t& made) override
    {
        m_state.next_out = output;
        m_state.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
        const std::uint32_t room = m_state.avail_out;
        const int status = isal_inflate(&m_state);
        made = room - m_state.avail_out;
        if (status != ISAL_DECOMP_OK)
            return step::damaged;
        return m_state.block_state == ISAL_BLOCK_FINISH ? step::member_end : step::going;
    }

    bool next_member() override
    {
        isal_inflate_reset(&m_state);
        m_state.crc_flag = ISAL_GZIP;
        return true;
    }

private:
    inflate_state m_state {};
    bool m_wrapper_known = false;
};

} // namespace

std::unique_ptr<inflater> make_isal_inflater()
{
    return std::make_unique<isal_inflater>();
}
