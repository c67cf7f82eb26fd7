#include "writing/chunk_reader.h"

chunk_reader::chunk_reader(aligned_buffer& first, aligned_buffer& second, source fill)
    : m_fill(std::move(fill))
    , m_buffers {&first, &second}
    , m_thread([this] { m_fill_all(); })
{
}

chunk_reader::~chunk_reader()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

// Fills the buffers in turn, the order in which the caller takes them: the buffer filled is
// never one that is made and waiting, or held by the caller.
void chunk_reader::m_fill_all()
{
    for (int filling = 0;; filling ^= 1) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || m_ready + int(m_holding) < 2; });
            if (m_stopping)
                return;
        }
        aligned_buffer& buffer = *m_buffers[filling];
        const std::int64_t length = m_fill(buffer.data(), buffer.size());
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lengths[filling] = length;
            ++m_ready;
        }
        m_changed.notify_all();
        if (length <= 0)
            return;
    }
}

char* chunk_reader::next(std::size_t& length)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_holding) {
        m_holding = false;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [this] { return m_ready > 0; });
    const int taken = m_next_taken;
    m_next_taken ^= 1;
    --m_ready;
    m_holding = true;
    const std::int64_t made = m_lengths[taken];
    length = made > 0 ? static_cast<std::size_t>(made) : 0;
    return made < 0 ? nullptr : m_buffers[taken]->data();
}
