#pragma once
// One gzip download inflated member by member, by whichever library the build has: the download
// is handed in by blocks, the output comes out in pieces of any size. What the pieces are and
// where they go is the image manipulator's business.

#include <cstddef>
#include <memory>
#include <vector>

class inflater {
public:
    enum class backend { zlib, isal };

    // What one step of inflating came to.
    enum class step {
        // Input used up or output full: give more of either.
        going,
        // A member ended, its check values verified.
        member_end,
        // The input is no gzip, or its data or check values are wrong.
        damaged,
        // The library could not get the memory it needs.
        no_memory,
    };

    // The backends this build has, the fastest first: the one the product uses.
    static std::vector<backend> compiled();
    // Null when `which` is not compiled in, or cannot start.
    static std::unique_ptr<inflater> make(backend which);

    virtual ~inflater() = default;

    // The next block of the download; the one before must be used up. It must stay as it is
    // until it is.
    virtual void feed(const unsigned char* input, std::size_t size) = 0;
    virtual std::size_t input_left() const = 0;
    // Inflates into `output`, up to `size` bytes; `made` tells how many came.
    virtual step inflate(unsigned char* output, std::size_t size, std::size_t& made) = 0;
    // After member_end: what follows is read as another gzip member.
    virtual bool next_member() = 0;
};

// One for each backend's file; inflater::make() calls those the build has.
std::unique_ptr<inflater> make_zlib_inflater();
std::unique_ptr<inflater> make_isal_inflater();
