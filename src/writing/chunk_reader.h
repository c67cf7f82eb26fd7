#pragma once
// Makes chunks one ahead of their use, on one thread kept for a whole pass: while the caller
// writes a chunk of the image to the disk, or compares a chunk read back from the disk, the next
// one is read, inflated or read back into a second buffer.

#include "image/aligned_buffer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class chunk_reader {
public:
    // Puts up to `size` next bytes of what is read (the image, or the disk read back) into
    // `buffer` and returns how many: fewer only at its end, 0 after it, -1 when they cannot be
    // had.
    using source = std::function<std::int64_t(char* buffer, std::size_t size)>;

    // The two buffers of a whole chunk each are the caller's, for a run to allocate once.
    chunk_reader(aligned_buffer& first, aligned_buffer& second, source fill);
    // Waits for the chunk under way, then ends the thread.
    ~chunk_reader();
    chunk_reader(const chunk_reader&) = delete;
    chunk_reader& operator=(const chunk_reader&) = delete;

    // The next chunk (`length` bytes; 0 at the end) in a buffer of the whole chunk size, aligned
    // for unbuffered disk transfers, which the caller may change until its next call; null when
    // the source failed. Not called again after the end or a failure.
    char* next(std::size_t& length);

private:
    void m_fill_all();

    source m_fill;
    aligned_buffer* m_buffers[2];
    std::int64_t m_lengths[2] = {0, 0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Chunks made and not yet taken, from m_next_taken on.
    int m_ready = 0;
    int m_next_taken = 0;
    // The caller holds the buffer it took last until its next call.
    bool m_holding = false;
    bool m_stopping = false;
    std::thread m_thread;
};
