#pragma once
// The work of image_burner, shared by its preparation and its writing.

#include "image/image_burner.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include <windows.h>

struct device_windows;

class image_burner::impl {
public:
    impl(image_burner* owner, const std::string& image_path, std::shared_ptr<device> disk,
         const QByteArray& configuration);
    ~impl();
    impl(const impl&) = delete;
    impl& operator=(const impl&) = delete;

    void burn_image();

    // Set from the GUI thread while the burner's thread reads it.
    std::atomic<bool> m_canceled {false};
    image_burner* m_owner;
    FILE* m_image = nullptr;
    // A copy: the burner may outlive the caller's string.
    std::string m_image_path;
    std::shared_ptr<device> m_device;
    QByteArray m_configuration;

private:
    enum preparation : int {
        prepared = 0,
        not_prepared = -1,
        image_damaged = -2,
        no_space = -3,
        canceled = -4,
    };
    enum class copy_result { copied, canceled, disconnected, image_unreadable };

    device_windows& m_disk() const;
    // The pre-check of a flash: a disk handle, no cancel, a prepared image. Tells the user
    // when one is missing; a cancel while the image is inflated ends the run as canceled.
    bool m_ready_to_write();
    preparation m_prepare_image();

    // Copies the prepared image onto the disk's first handle, reports how it ended and
    // releases every handle of the disk.
    void m_write_image();
    copy_result m_copy(HANDLE disk, std::uint32_t bytes_per_sector, std::int64_t image_size);
    void m_report(copy_result result, HANDLE disk, std::int64_t image_size);
    void m_close_image();
    void m_release_disk();
};
