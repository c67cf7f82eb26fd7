#pragma once
// Reads an image chunk by chunk, one chunk ahead: while the caller writes a chunk to the disk,
// the next one is read into a second buffer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <future>
#include <vector>

class chunk_reader {
public:
    // Reads `image_size` bytes of `image` from its current position in chunks of `chunk_size`.
    chunk_reader(FILE* image, std::int64_t image_size, std::size_t chunk_size);
    // Waits for a read still under way.
    ~chunk_reader();
    chunk_reader(const chunk_reader&) = delete;
    chunk_reader& operator=(const chunk_reader&) = delete;

    // The next chunk of the image (`length` bytes; 0 past the end) in a buffer of the whole
    // chunk size, which the caller may change until its next call; null when the image could
    // not be read.
    char* next(std::size_t& length);

private:
    void m_start_reading();

    FILE* m_image;
    std::int64_t m_unread;
    std::size_t m_chunk_size;
    std::vector<char> m_buffers[2];
    int m_reading = 0;
    std::size_t m_wanted = 0;
    std::future<std::size_t> m_pending;
};
