#pragma once
// Writes a new file, leaving its all-zero stretches as holes: the free space of a disk image
// is mostly zeros, and skipping it saves copying and storing them.

#include <cstddef>
#include <cstdint>
#include <cstdio>

class sparse_output {
public:
    // `file` is new or empty and open for writing; it stays owned by the caller.
    explicit sparse_output(FILE* file);

    bool write(const unsigned char* data, std::size_t size);
    // Gives the file its full length when it ends in zeros; call once after the last write.
    bool finish();

private:
    bool m_write_run(const unsigned char* data, std::size_t size);

    FILE* m_file;
    // Zero bytes passed over since the last write.
    std::int64_t m_hole = 0;
};
