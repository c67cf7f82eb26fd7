#pragma once
// One download inflated once for every copy made from it at the same time. A thread of its own
// inflates it piece by piece into a few blocks, which the copies read in turn, and into the
// decompressed image that stays for the next run. The slowest copy sets the pace: a block is
// made again only once every copy still reading has taken it. A copy that ends early, failed or
// stopped, no longer holds the others back; once every copy has ended, inflating stops and
// leaves nothing behind.

#include "image/image_manipulator.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class image_stream {
public:
    class reader;

    // For `copies` readers, one per copy; each is waited for until it is taken and ended.
    image_stream(const std::string& gz_path, std::size_t copies);
    // Stops inflating; what is unfinished is given up.
    ~image_stream();
    image_stream(const image_stream&) = delete;
    image_stream& operator=(const image_stream&) = delete;

    // Starts inflating; false when it cannot, with failure() telling why.
    bool start();
    image_manipulator::failure failure() const;
    // The next copy's reader, null once every copy has its own. `canceled` is its copy's stop
    // flag, which must outlive the reader.
    std::unique_ptr<reader> take_reader(const std::atomic<bool>* canceled);

private:
    struct state;
    std::shared_ptr<state> m_state;
};

class image_stream::reader {
public:
    ~reader();
    reader(const reader&) = delete;
    reader& operator=(const reader&) = delete;

    // The next `size` bytes of the image, fewer only at its end, 0 after it; -1 when inflating
    // failed or the copy was stopped (failure() tells which).
    std::int64_t next(char* buffer, std::size_t size);
    // Once next() gave 0: the complete image, opened for reading; null when it could not be
    // made.
    FILE* finish();
    image_manipulator::failure failure() const;
    // The image's size as the download's trailer gives it (modulo 4 GiB), -1 without one.
    std::int64_t size_hint() const;

private:
    friend class image_stream;
    reader(std::shared_ptr<state> shared, std::size_t slot, const std::atomic<bool>* canceled);

    std::shared_ptr<state> m_state;
    std::size_t m_slot;
    const std::atomic<bool>* m_canceled;
};
