#pragma once
// The sizes that decide whether a USB disk may take the image, and how readily.

#include <cstdint>

namespace disk_sizes {

// A disk must be larger than this many bytes to take the image.
constexpr std::uint64_t minimum_size = 2000000000;
// A disk larger than this (64 GiB) is more likely a hard disk than a stick: writing it needs
// the user's express confirmation.
constexpr std::uint64_t confirmation_threshold = 68719476736ULL;

} // namespace disk_sizes
