#pragma once
// Where the decompressed image of a gzip image file given to flash is kept, so that the next
// run of the same file does not unpack it again: the data folder's "images" folder, one folder
// per file holding "image" with its size record, "source", the file's path, size and time, by
// which a later run finds it without reading the file whole, and the file's MD5, by which a
// copy of the file finds it. The folder is named by that MD5, or, when no kept image had the
// file's size and so none could hold its content, it is made at once and the MD5, computed
// while the image is written, goes into its "checksum" file: a first flash does not wait for
// the file to be read whole. The user's file itself is read where it is and never changed. A run
// holds the entry of the image it flashes (cache_hold): only entries nobody holds are pruned.

#include <atomic>
#include <memory>
#include <string>

class cache_hold;

namespace image_file_cache {

// Whether `file` starts as a gzip file does; one that does not is no image.
bool looks_like_gzip(const std::string& file);

struct place {
    // Where `file`'s decompressed image is (found whole) or is to be made; empty when there is
    // none.
    std::string image;
    // When the image has no place because a folder of the data folder cannot be made or
    // written: that folder. The file is then flashed without keeping its image.
    std::string unwritable_folder;
    // The file's MD5 is yet to be recorded with record_checksum().
    bool checksum_pending = false;
    // The run's hold on the image's entry; null when it cannot be taken (a folder that may not
    // be written, where nobody prunes either).
    std::shared_ptr<cache_hold> hold;
};

// The place of `file`'s decompressed image, held for the run; none when the file cannot be
// read, its folder cannot be made (unwritable_folder names it) or `stop` was set. Only the two
// images used last are kept, and those that runs hold: they go at a later call, once nobody
// holds them.
place image_for(const std::string& data_folder, const std::string& file, const std::atomic<bool>& stop);

// Reads `file` whole and records its MD5 beside its decompressed `image`; nothing when `stop`
// is set first.
void record_checksum(const std::string& image, const std::string& file, const std::atomic<bool>& stop);
// Records `checksum`, the file's MD5 as it was read for another use, beside its `image`.
void record_checksum(const std::string& image, const std::string& checksum);

// The MD5 of the file that the decompressed `image` was made from, where it is recorded; empty
// while it is not.
std::string recorded_checksum(const std::string& image);

} // namespace image_file_cache
