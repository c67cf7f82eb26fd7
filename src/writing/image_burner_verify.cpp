// The read-back of the written image through the disk handle, chunk by chunk against the image
// with its configuration block, and how a run ends.

#include "writing/image_burner_impl.h"

#include "base/logger.h"
#include "device/device_windows.h"
#include "device/volume_queries.h"
#include "image/file_position.h"
#include "writing/disk_transfer.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>

namespace {

void send_control(HANDLE disk, DWORD code)
{
    DWORD returned = 0;
    if (!DeviceIoControl(disk, code, nullptr, 0, nullptr, 0, &returned, nullptr))
        KESTREL_LOG(logger::fatal, GetLastError());
}

} // namespace

image_burner::impl::outcome image_burner::impl::m_verify(disk_transfer& disk, aligned_buffer& at_hand)
{
    KESTREL_LOG(logger::fatal, "Verification started");
    // A refused last chunk is not on the disk.
    const std::int64_t end = m_refused_at >= 0 ? m_refused_at : m_image_size;
    // The stick is read a chunk ahead, on the reader's thread, while the image's chunk is read
    // and compared here.
    aligned_buffer ahead[2] {aligned_buffer(at_hand.size()), aligned_buffer(at_hand.size())};
    // Set by the reader's thread before it reports the failure, read here after.
    DWORD read_error = ERROR_SUCCESS;
    chunk_reader read_back(ahead[0], ahead[1], [&disk, &read_error, end, offset = std::int64_t(0)](
                                                   char* buffer, std::size_t size) mutable -> std::int64_t {
        const std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(size, end - offset));
        if (length > 0 && (read_error = disk.read(std::uint64_t(offset), buffer, length)) != ERROR_SUCCESS)
            return -1;
        offset += static_cast<std::int64_t>(length);
        return static_cast<std::int64_t>(length);
    });
    aligned_buffer& expected = at_hand;
    std::int64_t offset = 0;
    for (;;) {
        std::size_t length = 0;
        const char* on_disk = read_back.next(length);
        if (!on_disk)
            return m_unreadable_stick(read_error, offset);
        if (length == 0)
            return outcome::written;
        if (m_canceled)
            return outcome::canceled;
        if (!m_image->read(offset, expected.data(), length))
            return m_unreadable_image();
        image_manipulator::patch_chunk(expected.data(), std::uint64_t(offset), length, m_area_offset,
                                       m_configuration);
        if (std::memcmp(expected.data(), on_disk, length) != 0) {
            KESTREL_LOG(logger::fatal, "Verification failed in the chunk at " << offset);
            return outcome::mismatch;
        }
        offset += static_cast<std::int64_t>(length);
        emit m_owner->report_progress_verify(offset, end);
    }
}

image_burner::impl::outcome image_burner::impl::m_unreadable_image() const
{
    if (m_canceled)
        return outcome::canceled;
    // A kept image is made again by the next run; a download that no longer inflates as it did
    // a moment ago was changed under the run.
    return m_image_kept ? outcome::image_unreadable : outcome::download_damaged;
}

image_burner::impl::outcome image_burner::impl::m_unreadable_stick(DWORD error, std::int64_t offset)
{
    KESTREL_LOG(logger::fatal, "Reading back the chunk at " << offset << " failed: error " << error);
    if (error == ERROR_DEVICE_NOT_CONNECTED || !volume_queries::is_attached(m_disk().path))
        return outcome::disconnected;
    // Still there: a stick that cannot give back what it took is as faulty as one that changed it.
    KESTREL_LOG(logger::fatal, "Verification failed in the chunk at " << offset);
    return outcome::mismatch;
}

void image_burner::impl::m_report(outcome result, HANDLE disk, disk_transfer& transfer,
                                  aligned_buffer& at_hand)
{
    switch (result) {
    case outcome::canceled:
        emit m_owner->canceled();
        // Lets the system see what is on the partly written disk.
        send_control(disk, IOCTL_DISK_UPDATE_PROPERTIES);
        KESTREL_LOG(logger::info, "Burning canceled");
        break;
    case outcome::written:
        emit m_owner->finished();
        emit m_owner->report_progress(m_image_size, m_image_size);
        KESTREL_LOG(logger::info, "Burning finished");
        send_control(disk, IOCTL_STORAGE_EJECT_MEDIA);
        break;
    case outcome::disconnected:
        emit m_owner->device_disconected();
        emit m_owner->failed(burn_failure::disconnected);
        KESTREL_LOG(logger::fatal, "Burning interupted 'Device disconected'");
        break;
    case outcome::mismatch: {
        // What the disk holds is not the image: it must not look like a disk that boots.
        aligned_buffer& zeros = at_hand;
        std::memset(zeros.data(), 0, zeros.size());
        std::size_t done = 0;
        transfer.write(0, zeros.data(), std::min<std::size_t>(zeros.size(), std::size_t(m_image_size)), done);
        emit m_owner->failed(burn_failure::verification_failed);
        break;
    }
    case outcome::image_unreadable:
        // Made again from the download by the next run, rather than written again as it is.
        m_close_image();
        image_manipulator::remove_image(m_decompressed_path);
        emit m_owner->failed(failure_of(result));
        KESTREL_LOG(logger::fatal, "Image error");
        break;
    case outcome::download_damaged:
    case outcome::no_space:
    case outcome::folder_not_writable:
    case outcome::no_area:
        emit m_owner->failed(failure_of(result));
        break;
    }
}
