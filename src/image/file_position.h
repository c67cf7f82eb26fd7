#pragma once
// 64-bit positions in stdio files: disk images of 2 GiB and more are common.

#include <cstdint>
#include <cstdio>
#include <memory>

bool seek_file(FILE* file, std::int64_t offset, int origin);

// -1 on failure.
std::int64_t tell_file(FILE* file);

struct file_closer {
    void operator()(FILE* file) const { std::fclose(file); }
};
// A stdio file closed with its owner.
using file_pointer = std::unique_ptr<FILE, file_closer>;
