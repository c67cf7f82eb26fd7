#pragma once
// The decompressed image written for later runs as it is made: under a name of this program's
// own until it is complete, then under its own name, recorded complete. Other programs on the
// data folder, a window and command lines, may make the same image at the same time: what one
// gives up or leaves behind never takes the place of a complete image.

#include "image/file_position.h"

#include <cstddef>
#include <memory>
#include <string>

class QLockFile;
class sparse_output;

class kept_image {
public:
    // How finish() ended.
    enum class ending {
        kept,
        // The file could not be completed (errno tells why); nothing of it stays.
        not_written,
        // Under its name, but not recorded complete: the next run that needs it makes it again.
        not_recorded,
    };

    kept_image();
    // Gives up an image that was not finished.
    ~kept_image();
    kept_image(const kept_image&) = delete;
    kept_image& operator=(const kept_image&) = delete;

    // Starts the image at `img_path`; false when its file cannot be made (errno tells why).
    bool start(const std::string& img_path);
    // False when the bytes could not be written (errno tells why).
    bool write(const unsigned char* data, std::size_t size);
    ending finish();
    // What was written goes.
    void give_up();

private:
    std::string m_img_path;
    std::string m_partial_path;
    std::unique_ptr<QLockFile> m_owner;
    file_pointer m_output;
    std::unique_ptr<sparse_output> m_image;
};
