#pragma once
// Whether the image a flash would write is in the cache and whole, checked before any disk is
// touched: a run that cannot succeed must not clear the disk first.

#include <atomic>
#include <string>

namespace cached_image {

enum class state { whole, missing, damaged, stopped };

// `gz_path` is the downloaded image. Its decompressed image, once made, is what a flash
// writes; otherwise the download must match the release's checksum kept beside it. A download
// found missing or damaged is forgotten with its checksum, so that the next run offers the
// download again. Answers `stopped` soon after `stop` is set.
state check(const std::string& gz_path, const std::atomic<bool>& stop);

// Notes that the download at `gz_path` was just found to match its checksum, so that a check in
// this process takes it as whole without reading it again while its size and time are the
// same: a first flash does not wait for gigabytes to be read. Damage that comes later without
// changing either is still found by the decompression, which fails the disk before its first
// chunk is written.
void note_whole(const std::string& gz_path);

} // namespace cached_image
