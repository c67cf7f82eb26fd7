#pragma once
// One image read once for every copy made from it at the same time: a download inflated (which
// also makes the decompressed image that stays for the next run, where it can be kept), or a
// decompressed image read.
// A thread of its own makes it block by block into a ring of blocks that the copies write
// straight from, each at its own pace: a fast copy runs ahead of a slow one by up to the ring's
// depth, and the memory taken is the ring's, however many copies there are. A block is made
// again only once every copy still reading has passed it. A copy that ends early, failed or
// stopped, no longer holds the others back; once every copy has ended, the stream stops, and an
// inflating leaves nothing behind.
// The decompressed image kept for later runs is written from the same blocks on a thread of its
// own, off the copies' path: when it falls behind them for longer than the wait lengths allow,
// it is given up and not kept, and the copies go on. The download is read once, for inflating
// and for its checksum where an image file's record wants it.

#include "image/image_manipulator.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class image_stream {
public:
    class reader;

    // Every block is this long but the last, aligned for unbuffered transfers.
    static const std::size_t block_size;

    // The download at `gz_path` inflated into the decompressed image at `img_path`, kept when it
    // can be (none is made when `img_path` is empty); hashed as it is read `with_checksum`.
    static std::shared_ptr<image_stream> inflating(const std::string& gz_path, const std::string& img_path,
                                                   std::size_t copies, bool with_checksum = false);
    // The complete decompressed image at `img_path`, read.
    static std::shared_ptr<image_stream> reading(const std::string& img_path, std::size_t copies);

    // Stops the stream; an unfinished inflating is given up.
    ~image_stream();
    image_stream(const image_stream&) = delete;
    image_stream& operator=(const image_stream&) = delete;

    // Starts making blocks; false when it cannot, with failure() telling why.
    bool start();
    image_manipulator::failure failure() const;
    // The next copy's reader, null once every copy has its own. `canceled` is its copy's stop
    // flag, which must outlive the reader. A copy waits for the others until its reader ends.
    std::unique_ptr<reader> take_reader(const std::atomic<bool>* canceled);
    // Once the stream has ended: the MD5 of the download, in lowercase hex, when it was inflated
    // whole with its checksum; empty otherwise.
    std::string download_checksum() const;

private:
    struct state;
    explicit image_stream(std::shared_ptr<state> shared);

    std::shared_ptr<state> m_state;
};

class image_stream::reader {
public:
    ~reader();
    reader(const reader&) = delete;
    reader& operator=(const reader&) = delete;

    // The next block, `length` bytes (0 after the end), followed by zeros up to whole pages so
    // that it can be written as it is; it stays as it is until the next call. Null when the
    // image cannot be had (failure() tells why) or the copy was stopped.
    const char* next_block(std::size_t& length);
    // Whether the blocks are a download being inflated, rather than a complete image read.
    bool inflating() const;
    // Once next_block() gave the end: the complete image, opened for reading; null when it
    // could not be made (failure() tells why) or was not kept.
    FILE* finish();
    image_manipulator::failure failure() const;
    // Once next_block() gave the end: the image's last bytes, which name its configuration
    // area, for a copy whose image was not kept.
    std::array<unsigned char, image_manipulator::trailer_size> image_trailer() const;
    // The image's size as the download's trailer gives it (modulo 4 GiB), -1 without one.
    std::int64_t size_hint() const;

private:
    friend class image_stream;
    reader(std::shared_ptr<state> shared, std::size_t slot, const std::atomic<bool>* canceled);

    std::shared_ptr<state> m_state;
    std::size_t m_slot;
    const std::atomic<bool>* m_canceled;
    // The block handed out last, passed at the next call.
    std::size_t m_held = 0;
};
