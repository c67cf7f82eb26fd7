#include "image/checksum_beside.h"

checksum_beside::checksum_beside(std::size_t piece_size)
    : m_piece_size(piece_size)
    , m_memory(new unsigned char[piece_size * piece_count])
    , m_thread([this] { m_hash_all(); })
{
}

checksum_beside::~checksum_beside()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

unsigned char* checksum_beside::next_piece()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // The piece last in this place is hashed, and the reader has left it: it holds the one given
    // before the last.
    m_changed.wait(lock, [this] { return m_hashed + piece_count > m_given; });
    return m_memory.get() + (m_given++ % piece_count) * m_piece_size;
}

void checksum_beside::hash(std::size_t length)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lengths[m_handed++ % piece_count] = length;
    }
    m_changed.notify_all();
}

std::string checksum_beside::result()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_hashed == m_handed; });
    return m_hash.result().toHex().toStdString();
}

void checksum_beside::m_hash_all()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || m_hashed < m_handed; });
        if (m_hashed == m_handed)
            return;
        const std::size_t slot = m_hashed % piece_count;
        lock.unlock();
        m_hash.addData(reinterpret_cast<const char*>(m_memory.get() + slot * m_piece_size), int(m_lengths[slot]));
        lock.lock();
        ++m_hashed;
        m_changed.notify_all();
    }
}
