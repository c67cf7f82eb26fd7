#include "image/image_stream.h"

#include "image/aligned_buffer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A few blocks ahead of the slowest copy: enough to keep the inflating going while each copy
// writes, little enough for many copies at once.
constexpr std::size_t block_size = 4 << 20;
constexpr std::size_t block_count = 4;
// How often a waiting copy looks at its stop flag, which is set without a notification.
constexpr std::chrono::milliseconds stop_check(50);
constexpr std::int64_t gone = std::numeric_limits<std::int64_t>::max();

} // namespace

struct image_stream::state {
    state(const std::string& path, std::size_t copies)
        : gz_path(path)
        , positions(copies, 0)
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

    void inflate_all()
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
            const std::int64_t made = manipulator.inflate_next(block, block_size);
            lock.lock();
            if (made < 0) {
                end(manipulator.last_failure());
                return;
            }
            produced += made;
            changed.notify_all();
            if (made < std::int64_t(block_size)) {
                lock.unlock();
                FILE* image = manipulator.finish_inflating();
                lock.lock();
                if (image)
                    std::fclose(image);
                end(image ? image_manipulator::failure::none : manipulator.last_failure());
                return;
            }
        }
    }

    void end(image_manipulator::failure why)
    {
        outcome = why;
        done = true;
        changed.notify_all();
    }

    const std::string gz_path;
    std::mutex mutex;
    std::condition_variable changed;
    // What each copy has taken; `gone` once it has ended.
    std::vector<std::int64_t> positions;
    std::size_t taken = 0;
    std::vector<aligned_buffer> blocks;
    std::int64_t produced = 0;
    bool done = false;
    image_manipulator::failure outcome = image_manipulator::failure::none;
    std::int64_t size_hint = -1;
    std::atomic<bool> giving_up {false};
    image_manipulator manipulator;
    std::thread producer;
};

image_stream::image_stream(const std::string& gz_path, std::size_t copies)
    : m_state(std::make_shared<state>(gz_path, copies))
{
}

image_stream::~image_stream() = default;

bool image_stream::start()
{
    state& shared = *m_state;
    if (!shared.manipulator.start_inflating(shared.gz_path)) {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.end(shared.manipulator.last_failure());
        return false;
    }
    shared.size_hint = shared.manipulator.trailer_size_hint();
    shared.producer = std::thread([&shared] { shared.inflate_all(); });
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

std::int64_t image_stream::reader::next(char* buffer, std::size_t size)
{
    state& shared = *m_state;
    std::unique_lock<std::mutex> lock(shared.mutex);
    std::int64_t& position = shared.positions[m_slot];
    std::size_t copied = 0;
    while (copied < size) {
        if (m_canceled && *m_canceled)
            return -1;
        const std::int64_t ready = shared.produced - position;
        if (ready > 0) {
            const std::size_t offset = std::size_t(position % std::int64_t(block_size));
            const std::size_t length = std::min({size - copied, block_size - offset, std::size_t(ready)});
            const char* block = shared.blocks[std::size_t(position / std::int64_t(block_size)) % block_count].data();
            // The block stays as it is while this copy has not passed it.
            lock.unlock();
            std::memcpy(buffer + copied, block + offset, length);
            lock.lock();
            position += std::int64_t(length);
            copied += length;
            shared.changed.notify_all();
            continue;
        }
        if (shared.done) {
            if (shared.outcome != image_manipulator::failure::none)
                return -1;
            break;
        }
        shared.changed.wait_for(lock, stop_check);
    }
    return std::int64_t(copied);
}

FILE* image_stream::reader::finish()
{
    state& shared = *m_state;
    std::unique_lock<std::mutex> lock(shared.mutex);
    shared.changed.wait(lock, [&] { return shared.done; });
    if (shared.outcome != image_manipulator::failure::none)
        return nullptr;
    return std::fopen(image_manipulator::decompressed_path(shared.gz_path).c_str(), "rb");
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
