#include "image/sparse_output.h"

#include "image/file_position.h"

#include <algorithm>
#include <cstring>

namespace {

// Small enough to find the zero runs between data, large enough to keep writes long.
constexpr std::size_t piece_size = 65536;

bool all_zero(const unsigned char* data, std::size_t size)
{
    return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

} // namespace

sparse_output::sparse_output(FILE* file)
    : m_file(file)
{
}

bool sparse_output::write(const unsigned char* data, std::size_t size)
{
    std::size_t run_start = 0;
    for (std::size_t piece = 0; piece < size; piece += piece_size) {
        const std::size_t length = std::min(piece_size, size - piece);
        if (!all_zero(data + piece, length))
            continue;
        if (!m_write_run(data + run_start, piece - run_start))
            return false;
        m_hole += static_cast<std::int64_t>(length);
        run_start = piece + length;
    }
    return m_write_run(data + run_start, size - run_start);
}

bool sparse_output::m_write_run(const unsigned char* data, std::size_t size)
{
    if (size == 0)
        return true;
    if (m_hole > 0 && !seek_file(m_file, m_hole, SEEK_CUR))
        return false;
    m_hole = 0;
    return std::fwrite(data, 1, size, m_file) == size;
}

bool sparse_output::finish()
{
    static const unsigned char zero = 0;
    if (m_hole == 0)
        return true;
    m_hole -= 1;
    return m_write_run(&zero, 1);
}
