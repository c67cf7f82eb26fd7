#pragma once
// Where the decompressed image of a gzip image file given to flash is kept, so that the next
// run of the same file does not unpack it again: the data folder's "images" folder, one folder
// per file named by the file's MD5, holding "image" with its size record and "source", the
// file's path, size and time, by which a later run finds it without reading the file whole.
// The user's file itself is read where it is and never changed.

#include <atomic>
#include <string>

namespace image_file_cache {

// Whether `file` starts as a gzip file does; one that does not is no image.
bool looks_like_gzip(const std::string& file);

// The place of `file`'s decompressed image (made there, or found whole); empty when the file
// cannot be read or `stop` was set. Only the two images used last are kept.
std::string image_for(const std::string& data_folder, const std::string& file, const std::atomic<bool>& stop);

} // namespace image_file_cache
