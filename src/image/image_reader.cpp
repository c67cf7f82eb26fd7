#include "image/image_reader.h"

#include "image/file_position.h"
#include "image/image_manipulator.h"

#include <algorithm>

namespace {

class file_image : public image_reader {
public:
    explicit file_image(FILE* image)
        : m_image(image)
    {
    }

    bool read(std::int64_t offset, char* buffer, std::size_t length) override
    {
        return seek_file(m_image.get(), offset, SEEK_SET) && std::fread(buffer, 1, length, m_image.get()) == length;
    }

private:
    file_pointer m_image;
};

class inflated_again : public image_reader {
public:
    inflated_again(const std::string& gz_path, const std::atomic<bool>* canceled)
        : m_gz_path(gz_path)
        , m_manipulator(canceled)
    {
    }

    bool read(std::int64_t offset, char* buffer, std::size_t length) override
    {
        if (length == 0)
            return true;
        // Behind what was inflated: from the start again.
        if (offset < m_position || !m_started) {
            m_started = m_manipulator.start_inflating(m_gz_path, std::string(), image_manipulator::keeping::none);
            m_position = 0;
            if (!m_started)
                return false;
        }
        // What lies before `offset` goes through the caller's buffer, which the wanted bytes
        // fill last.
        while (m_position < offset) {
            const std::size_t skipped = std::size_t(std::min<std::int64_t>(std::int64_t(length), offset - m_position));
            if (!m_next(buffer, skipped))
                return false;
        }
        return m_next(buffer, length);
    }

private:
    bool m_next(char* buffer, std::size_t length)
    {
        std::size_t filled = 0;
        while (filled < length) {
            const std::int64_t made = m_manipulator.inflate_next(buffer + filled, length - filled);
            if (made <= 0) {
                m_started = false;
                return false;
            }
            filled += std::size_t(made);
        }
        m_position += std::int64_t(length);
        return true;
    }

    const std::string m_gz_path;
    image_manipulator m_manipulator;
    bool m_started = false;
    std::int64_t m_position = 0;
};

} // namespace

std::unique_ptr<image_reader> image_reader::of_file(FILE* image)
{
    return std::make_unique<file_image>(image);
}

std::unique_ptr<image_reader> image_reader::inflating(const std::string& gz_path, const std::atomic<bool>* canceled)
{
    return std::make_unique<inflated_again>(gz_path, canceled);
}
