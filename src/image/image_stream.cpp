#include "image/image_stream.h"

#include "image/aligned_buffer.h"
#include "image/file_position.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One block ahead of the slowest copy: the next is made while every copy writes the last,
// and many copies at once take little memory.
constexpr std::size_t block_count = 2;
// How often a waiting copy looks at its stop flag, which is set without a notification.
constexpr std::chrono::milliseconds stop_check(50);
constexpr std::int64_t gone = std::numeric_limits<std::int64_t>::max();

} // namespace

const std::size_t image_stream::block_size = 8 << 20;

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
    }

    // Whether the block `index` may be made in its slot: every copy still reading has passed
    // the block that was there before.
    bool slot_free(std::int64_t index) const
    {
        const std::int64_t passed = (index - std::int64_t(block_count) + 1) * std::int64_t(block_size);
        return std::all_of(positions.begin(), positions.end(),
                           [passed](std::int64_t position) { return position >= passed; });
    }

    bool everyone_gone() const
    {
        return std::all_of(positions.begin(), positions.end(),
                           [](std::int64_t position) { return position == gone; });
    }

    // Up to a block of the image into `block`: fewer bytes only at its end, -1 on failure.
    std::int64_t fill(char* block)
    {
        if (inflates)
            return manipulator.inflate_next(block, block_size);
        const std::size_t read = std::fread(block, 1, block_size, image.get());
        return read < block_size && std::ferror(image.get()) ? -1 : std::int64_t(read);
    }

    void make_all()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (std::int64_t index = 0;; ++index) {
            changed.wait(lock, [&] { return giving_up || everyone_gone() || slot_free(index); });
            if (giving_up || everyone_gone()) {
                giving_up = true;
                lock.unlock();
                manipulator.give_up_inflating();
                lock.lock();
                end(image_manipulator::failure::canceled);
                return;
            }
            char* block = blocks[std::size_t(index) % block_count].data();
            lock.unlock();
            const std::int64_t made = fill(block);
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
            produced += made;
            last_made = made < std::int64_t(block_size);
            changed.notify_all();
            if (last_made) {
                lock.unlock();
                FILE* complete = inflates ? manipulator.finish_inflating() : nullptr;
                lock.lock();
                if (complete)
                    std::fclose(complete);
                kept = !inflates || complete;
                end(kept ? image_manipulator::failure::none : manipulator.last_failure());
                return;
            }
        }
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
        changed.notify_all();
    }

    std::string gz_path;
    std::string img_path;
    std::mutex mutex;
    std::condition_variable changed;
    // Where each copy is: the start of the block it holds; `gone` once it has ended.
    std::vector<std::int64_t> positions;
    std::size_t taken = 0;
    std::vector<aligned_buffer> blocks;
    std::int64_t produced = 0;
    // The image's last block is made: no more follow.
    bool last_made = false;
    // The complete image is there to be read once the last block is made.
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
};

std::shared_ptr<image_stream> image_stream::inflating(const std::string& gz_path, const std::string& img_path,
                                                      std::size_t copies)
{
    auto shared = std::make_shared<state>(copies, true);
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
    const image_manipulator::keeping keep =
        shared.img_path.empty() ? image_manipulator::keeping::none : image_manipulator::keeping::if_possible;
    const bool started = shared.inflates
        ? shared.manipulator.start_inflating(shared.gz_path, shared.img_path, keep)
        : (shared.image.reset(std::fopen(shared.img_path.c_str(), "rb")), shared.image != nullptr);
    if (!started) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.end(shared.inflates ? shared.manipulator.last_failure() : image_manipulator::failure::download_damaged);
        return false;
    }
    shared.size_hint = shared.inflates ? shared.manipulator.trailer_size_hint() : -1;
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
