#pragma once
// The decompressed image as a copy reads it after its blocks went by: for the parts written
// last and for the read-back. From the kept file, or, where no copy of the image could be kept
// (no room, no rights, its folder gone), inflated again from the download: a stick is never
// left half-written for want of room in the cache.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class image_reader {
public:
    // Reads the file, which it closes at its end.
    static std::unique_ptr<image_reader> of_file(FILE* image);
    // Inflates `gz_path` again, writing nothing and removing nothing; stops once `canceled` is
    // set, which must outlive the reader.
    static std::unique_ptr<image_reader> inflating(const std::string& gz_path, const std::atomic<bool>* canceled);

    virtual ~image_reader() = default;
    // The `length` bytes at `offset`; false when they cannot all be had. Reading on from where
    // the last read ended is the cheap way for an image inflated again.
    virtual bool read(std::int64_t offset, char* buffer, std::size_t length) = 0;
};
