#include "image/image_stream.h"

#include "base/logger.h"
#include "base/wait_lengths.h"
#include "image/aligned_buffer.h"
#include "image/file_position.h"
#include "image/kept_image.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The ring: a fast copy runs up to three blocks ahead of the slowest while the next is made.
// Blocks of a few MiB keep every write long, and the ring's memory the same for any number of
// copies.
constexpr std::size_t block_count = 4;
// How often a waiting copy looks at its stop flag, which is set without a notification.
constexpr std::chrono::milliseconds stop_check(50);
constexpr std::int64_t gone = std::numeric_limits<std::int64_t>::max();

} // namespace

const std::size_t image_stream::block_size = 4 << 20;

struct image_stream::state {
    state(std::size_t copies, bool from_download)
        : positions(copies, 0)
        , inflates(from_download)
        , manipulator(&giving_up)
    {
        for (std::size_t block = 0; block < block_count; ++block)
            blocks.emplace_back(block_size);
    }

    ~state()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            giving_up = true;
        }
        changed.notify_all();
        if (producer.joinable())
            producer.join();
        if (keeper.joinable())
            keeper.join();
    }

    // How far every reader of the block before `index` in its slot must be: past it.
    static std::int64_t passed_for(std::int64_t index)
    {
        return (index - std::int64_t(block_count) + 1) * std::int64_t(block_size);
    }

    bool copies_passed(std::int64_t index) const
    {
        const std::int64_t passed = passed_for(index);
        return std::all_of(positions.begin(), positions.end(),
                           [passed](std::int64_t position) { return position >= passed; });
    }

    bool everyone_gone() const
    {
        return std::all_of(positions.begin(), positions.end(),
                           [](std::int64_t position) { return position == gone; });
    }

    // Up to `size` next bytes of the image: fewer only at its end, -1 on failure.
    std::int64_t read(char* into, std::size_t size)
    {
        if (inflates)
            return manipulator.inflate_next(into, size);
        const std::size_t read = std::fread(into, 1, size, image.get());
        return read < size && std::ferror(image.get()) ? -1 : std::int64_t(read);
    }

    // Up to a block of the image into `block`, fewer bytes only at its end, -1 on failure. The
    // bytes after it are read ahead into `carried`, so that the last block is known as such when
    // it is made: the end takes no slot of its own, which a slow copy might still hold.
    std::int64_t fill(char* block, bool& at_end)
    {
        std::memcpy(block, carried.data(), carried_length);
        const std::int64_t rest = read(block + carried_length, block_size - carried_length);
        if (rest < 0)
            return -1;
        const std::int64_t made = std::int64_t(carried_length) + rest;
        const std::int64_t ahead = made < std::int64_t(block_size) ? 0 : read(carried.data(), carried.size());
        carried_length = std::size_t(std::max<std::int64_t>(ahead, 0));
        at_end = ahead == 0;
        return ahead < 0 ? -1 : made;
    }

    // Waits until the slot of block `index` may be filled: every copy has passed what it held,
    // and so has the kept image, or it is given up for keeping the copies waiting too long.
    // False when the stream is to stop.
    bool wait_for_slot(std::unique_lock<std::mutex>& lock, std::int64_t index)
    {
        changed.wait(lock, [&] { return giving_up || everyone_gone() || copies_passed(index); });
        if (giving_up || everyone_gone())
            return false;
        const auto kept_passed = [&] { return giving_up || keeper_at >= passed_for(index); };
        if (kept_passed())
            return true;
        const auto started = std::chrono::steady_clock::now();
        const bool in_time = changed.wait_for(lock, kept_patience, kept_passed);
        kept_patience -= std::min(kept_patience, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::chrono::steady_clock::now() - started));
        if (!in_time) {
            KESTREL_LOG(logger::fatal, "The decompressed image is not kept: it is written slower than the USB sticks");
            keeper_dropped = true;
            changed.notify_all();
            // Its block in hand is written before it lets go.
            changed.wait(lock, kept_passed);
        }
        return !giving_up;
    }

    void make_all()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (std::int64_t index = 0;; ++index) {
            if (!wait_for_slot(lock, index)) {
                giving_up = true;
                changed.notify_all();
                lock.unlock();
                manipulator.give_up_inflating();
                lock.lock();
                end(image_manipulator::failure::canceled);
                return;
            }
            char* block = blocks[std::size_t(index) % block_count].data();
            lock.unlock();
            bool at_end = false;
            const std::int64_t made = fill(block, at_end);
            // The last block goes out as whole pages.
            const std::size_t tail = made > 0 ? std::size_t(made) % aligned_buffer::alignment : 0;
            if (tail > 0)
                std::memset(block + made, 0, aligned_buffer::alignment - tail);
            lock.lock();
            if (made < 0) {
                end(inflates ? manipulator.last_failure() : image_manipulator::failure::download_damaged);
                return;
            }
            keep_trailer(block, std::size_t(made));
            if (at_end) {
                finish(lock, made);
                return;
            }
            produced += made;
            changed.notify_all();
        }
    }

    // The last block, `made` bytes, is in its slot: it goes out, and the kept image is let
    // finish.
    void finish(std::unique_lock<std::mutex>& lock, std::int64_t made)
    {
        if (inflates) {
            lock.unlock();
            manipulator.finish_inflating();
            const std::string checksum = manipulator.download_checksum();
            lock.lock();
            download_checksum = checksum;
        }
        produced += made;
        last_made = true;
        changed.notify_all();
        changed.wait(lock, [this] { return keeper_ended || giving_up; });
        // A complete image read is there as it was.
        kept = kept || !inflates;
        end(image_manipulator::failure::none);
    }

    // Writes the kept image from the blocks as they are made, on its own thread.
    void keep_all()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] {
                return giving_up || keeper_dropped || done || produced - keeper_at >= std::int64_t(block_size)
                    || last_made;
            });
            const bool abandoned = giving_up || keeper_dropped || (done && outcome != image_manipulator::failure::none);
            if (abandoned || (last_made && keeper_at == produced)) {
                lock.unlock();
                const bool complete = !abandoned && m_complete_kept_image();
                if (!complete)
                    kept_file.give_up();
                lock.lock();
                kept = complete;
                keeper_at = gone;
                keeper_ended = true;
                release_unused_blocks();
                changed.notify_all();
                return;
            }
            const std::size_t length = std::size_t(std::min<std::int64_t>(produced - keeper_at, std::int64_t(block_size)));
            const char* block = blocks[std::size_t(keeper_at / std::int64_t(block_size)) % block_count].data();
            lock.unlock();
            const bool written = kept_file.write(reinterpret_cast<const unsigned char*>(block), length);
            const int error_number = errno;
            lock.lock();
            if (!written) {
                KESTREL_LOG(logger::fatal, "The decompressed image is not kept: " << std::strerror(error_number));
                keeper_dropped = true;
                continue;
            }
            keeper_at += std::int64_t(length);
            changed.notify_all();
        }
    }

    bool m_complete_kept_image()
    {
        const kept_image::ending ending = kept_file.finish();
        if (ending == kept_image::ending::not_written)
            KESTREL_LOG(logger::fatal, "The decompressed image is not kept: " << std::strerror(errno));
        return ending == kept_image::ending::kept;
    }

    // The image's last bytes so far, `block` holding the `made` bytes that follow them.
    void keep_trailer(const char* block, std::size_t made)
    {
        const std::size_t last = std::min(made, trailer.size());
        std::memmove(trailer.data(), trailer.data() + last, trailer.size() - last);
        std::memcpy(trailer.data() + trailer.size() - last, block + made - last, last);
    }

    void end(image_manipulator::failure why)
    {
        outcome = why;
        done = true;
        release_unused_blocks();
        changed.notify_all();
    }

    // The blocks' memory goes once nothing reads them, though the stream is kept for what it
    // read.
    void release_unused_blocks()
    {
        if (done && keeper_ended && everyone_gone())
            blocks = std::vector<aligned_buffer>();
    }

    std::string gz_path;
    std::string img_path;
    bool with_checksum = false;
    std::string download_checksum;
    std::mutex mutex;
    std::condition_variable changed;
    // Where each copy is: the start of the block it holds; `gone` once it has ended.
    std::vector<std::int64_t> positions;
    std::size_t taken = 0;
    std::vector<aligned_buffer> blocks;
    // The first bytes of the next block, read ahead by the producer alone.
    std::array<char, aligned_buffer::alignment> carried {};
    std::size_t carried_length = 0;
    std::int64_t produced = 0;
    // The image's last block is made: no more follow.
    bool last_made = false;
    // Where the kept image's writer is: the start of the block it writes next; `gone` when no
    // image is kept, or once it has ended.
    std::int64_t keeper_at = gone;
    // Told to give up, or failed: it lets go of its block and removes what it wrote.
    bool keeper_dropped = false;
    bool keeper_ended = true;
    // What is left of the time the copies may wait for it.
    std::chrono::milliseconds kept_patience {0};
    kept_image kept_file;
    // The complete image is there to be read once the stream has ended.
    bool kept = false;
    std::array<unsigned char, image_manipulator::trailer_size> trailer {};
    bool done = false;
    image_manipulator::failure outcome = image_manipulator::failure::none;
    std::int64_t size_hint = -1;
    const bool inflates;
    std::atomic<bool> giving_up {false};
    image_manipulator manipulator;
    file_pointer image;
    std::thread producer;
    std::thread keeper;
};

std::shared_ptr<image_stream> image_stream::inflating(const std::string& gz_path, const std::string& img_path,
                                                      std::size_t copies, bool with_checksum)
{
    auto shared = std::make_shared<state>(copies, true);
    shared->with_checksum = with_checksum;
    shared->gz_path = gz_path;
    shared->img_path = img_path;
    return std::shared_ptr<image_stream>(new image_stream(shared));
}

std::shared_ptr<image_stream> image_stream::reading(const std::string& img_path, std::size_t copies)
{
    auto shared = std::make_shared<state>(copies, false);
    shared->img_path = img_path;
    return std::shared_ptr<image_stream>(new image_stream(shared));
}

image_stream::image_stream(std::shared_ptr<state> shared)
    : m_state(std::move(shared))
{
}

image_stream::~image_stream() = default;

bool image_stream::start()
{
    state& shared = *m_state;
    const bool started = shared.inflates
        ? shared.manipulator.start_inflating(shared.gz_path, std::string(), image_manipulator::keeping::none,
                                                shared.with_checksum)
        : (shared.image.reset(std::fopen(shared.img_path.c_str(), "rb")), shared.image != nullptr);
    if (!started) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.end(shared.inflates ? shared.manipulator.last_failure() : image_manipulator::failure::download_damaged);
        return false;
    }
    shared.size_hint = shared.inflates ? shared.manipulator.trailer_size_hint() : -1;
    // Kept when it can be: without room or rights in its folder the copies go on all the same.
    if (shared.inflates && !shared.img_path.empty()) {
        if (shared.kept_file.start(shared.img_path)) {
            shared.keeper_at = 0;
            shared.keeper_ended = false;
            shared.kept_patience = wait_lengths::current().kept_image_patience;
            shared.keeper = std::thread([&shared] { shared.keep_all(); });
        } else {
            KESTREL_LOG(logger::fatal, "The decompressed image is not kept: " << std::strerror(errno));
        }
    }
    shared.producer = std::thread([&shared] { shared.make_all(); });
    return true;
}

image_manipulator::failure image_stream::failure() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->outcome;
}

std::unique_ptr<image_stream::reader> image_stream::take_reader(const std::atomic<bool>* canceled)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->taken == m_state->positions.size())
        return nullptr;
    return std::unique_ptr<reader>(new reader(m_state, m_state->taken++, canceled));
}

std::string image_stream::download_checksum() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->done ? m_state->download_checksum : std::string();
}

image_stream::reader::reader(std::shared_ptr<state> shared, std::size_t slot,
                             const std::atomic<bool>* canceled)
    : m_state(std::move(shared))
    , m_slot(slot)
    , m_canceled(canceled)
{
}

image_stream::reader::~reader()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->positions[m_slot] = gone;
        m_state->release_unused_blocks();
    }
    m_state->changed.notify_all();
}

const char* image_stream::reader::next_block(std::size_t& length)
{
    state& shared = *m_state;
    std::unique_lock<std::mutex> lock(shared.mutex);
    std::int64_t& position = shared.positions[m_slot];
    position += std::int64_t(m_held);
    m_held = 0;
    shared.changed.notify_all();
    length = 0;
    for (;;) {
        if (m_canceled && *m_canceled)
            return nullptr;
        if (shared.done && shared.outcome != image_manipulator::failure::none)
            return nullptr;
        const std::int64_t ready = shared.produced - position;
        // Blocks are whole, but the last.
        if (ready >= std::int64_t(block_size) || (ready > 0 && shared.last_made)) {
            m_held = std::min(std::size_t(ready), block_size);
            length = m_held;
            return shared.blocks[std::size_t(position / std::int64_t(block_size)) % block_count].data();
        }
        if (shared.last_made)
            return shared.blocks[0].data();
        shared.changed.wait_for(lock, stop_check);
    }
}

bool image_stream::reader::inflating() const
{
    return m_state->inflates;
}

FILE* image_stream::reader::finish()
{
    state& shared = *m_state;
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait(lock, [&] { return shared.done; });
    if (shared.outcome != image_manipulator::failure::none || !shared.kept)
        return nullptr;
    return std::fopen(shared.img_path.c_str(), "rb");
}

std::array<unsigned char, image_manipulator::trailer_size> image_stream::reader::image_trailer() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->trailer;
}

image_manipulator::failure image_stream::reader::failure() const
{
    if (m_canceled && *m_canceled)
        return image_manipulator::failure::canceled;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->outcome;
}

std::int64_t image_stream::reader::size_hint() const
{
    return m_state->size_hint;
}
