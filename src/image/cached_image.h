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

} // namespace cached_image
