#include "image/chunk_reader.h"

#include <algorithm>

chunk_reader::chunk_reader(FILE* image, std::int64_t image_size, std::size_t chunk_size)
    : m_image(image)
    , m_unread(image_size)
    , m_chunk_size(chunk_size)
    , m_buffers {std::vector<char>(chunk_size), std::vector<char>(chunk_size)}
{
    m_start_reading();
}

chunk_reader::~chunk_reader()
{
    if (m_pending.valid())
        m_pending.wait();
}

char* chunk_reader::next(std::size_t& length)
{
    const std::size_t wanted = m_wanted;
    length = m_pending.valid() ? m_pending.get() : 0;
    char* ready = m_buffers[m_reading].data();
    if (length != wanted)
        return nullptr;
    m_reading ^= 1;
    if (m_unread > 0)
        m_start_reading();
    else
        m_wanted = 0;
    return ready;
}

void chunk_reader::m_start_reading()
{
    m_wanted = static_cast<std::size_t>(std::min<std::int64_t>(m_chunk_size, m_unread));
    m_unread -= static_cast<std::int64_t>(m_wanted);
    std::vector<char>& buffer = m_buffers[m_reading];
    const std::size_t wanted = m_wanted;
    FILE* image = m_image;
    m_pending = std::async(std::launch::async, [image, &buffer, wanted] {
        return std::fread(buffer.data(), 1, wanted, image);
    });
}
