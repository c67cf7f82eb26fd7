// The read-back of the written image through the disk handle, chunk by chunk against the image
// with its configuration block, and how a run ends.

#include "image/image_burner_impl.h"

#include "device/device_windows.h"
#include "image/aligned_buffer.h"
#include "image/disk_transfer.h"
#include "logger.h"

#include <winioctl.h>

#include <cstring>

namespace {

void send_control(HANDLE disk, DWORD code)
{
    DWORD returned = 0;
    if (!DeviceIoControl(disk, code, nullptr, 0, nullptr, 0, &returned, nullptr))
        KESTREL_LOG(logger::fatal, GetLastError());
}

} // namespace

image_burner::impl::outcome image_burner::impl::m_verify(disk_transfer& disk, std::size_t chunk_size)
{
    KESTREL_LOG(logger::fatal, "Verification started");
    // A refused last chunk is not on the disk.
    const std::int64_t end = m_refused_at >= 0 ? m_refused_at : m_image_size;
    chunk_reader chunks(chunk_size, m_image_chunks(end));
    aligned_buffer on_disk(chunk_size);
    std::int64_t offset = 0;
    for (;;) {
        std::size_t length = 0;
        char* expected = chunks.next(length);
        if (!expected)
            return outcome::image_unreadable;
        if (length == 0)
            return outcome::written;
        if (m_canceled)
            return outcome::canceled;
        image_manipulator::patch_chunk(expected, std::uint64_t(offset), length, m_area_offset,
                                       m_configuration);
        if (disk.read(std::uint64_t(offset), on_disk.data(), length) != ERROR_SUCCESS)
            return outcome::disconnected;
        if (std::memcmp(expected, on_disk.data(), length) != 0) {
            KESTREL_LOG(logger::fatal, "Verification failed in the chunk at " << offset);
            return outcome::mismatch;
        }
        offset += static_cast<std::int64_t>(length);
        emit m_owner->report_progress_verify(offset, end);
    }
}

void image_burner::impl::m_report(outcome result, HANDLE disk, disk_transfer& transfer,
                                  std::size_t chunk_size)
{
    // A copy that stopped while inflating leaves nothing of the image behind.
    m_inflater.reset();
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
        emit m_owner->error_msg("Device disconected!", true);
        KESTREL_LOG(logger::fatal, "Burning interupted 'Device disconected'");
        break;
    case outcome::mismatch: {
        // What the disk holds is not the image: it must not look like a disk that boots.
        aligned_buffer zeros(chunk_size);
        std::memset(zeros.data(), 0, chunk_size);
        std::size_t done = 0;
        transfer.write(0, zeros.data(), std::min<std::size_t>(chunk_size, std::size_t(m_image_size)), done);
        emit m_owner->error_msg("Verification failed: the stick may be faulty", true);
        break;
    }
    case outcome::image_unreadable:
        // Made again from the download by the next run, rather than written again as it is.
        m_close_image();
        image_manipulator::remove_image(image_manipulator::decompressed_path(m_image_path));
        emit m_owner->error_msg("Downloaded image is damaged", true);
        KESTREL_LOG(logger::fatal, "Image error");
        break;
    case outcome::download_damaged:
        emit m_owner->error_msg("Downloaded image is damaged", true);
        break;
    case outcome::no_space:
        emit m_owner->error_msg("Not enough free space to unpack the image", true);
        break;
    case outcome::no_area:
        emit m_owner->error_msg("Cannot open device!", true);
        break;
    }
    m_close_image();
}
