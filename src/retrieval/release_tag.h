#pragma once
// The release tag names files in the downloads folder and parts of the download URLs.

#include <string>

namespace release_tag {

// At most this many bytes.
constexpr std::size_t max_length = 128;

// True for a tag that can neither leave the downloads folder nor smuggle in control or
// non-ASCII characters: non-empty, at most `max_length` bytes of printable ASCII, without
// "/", "\" or "..".
bool is_safe(const std::string& tag);

} // namespace release_tag
