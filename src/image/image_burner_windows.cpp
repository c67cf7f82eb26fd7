// The copy of the prepared image onto the disk, through the handle the disk's preparation
// left open, and the release of the disk afterwards.

#include "image/image_burner_impl.h"

#include "device/device_windows.h"
#include "image/chunk_reader.h"
#include "image/file_position.h"
#include "image/image_manipulator.h"
#include "logger.h"

#include <winioctl.h>

#include <algorithm>

namespace {

// A record without a geometry is written in the smallest sectors there are.
constexpr std::uint32_t fallback_sector_size = 512;

// The smallest whole number of sectors above 8000000 bytes.
std::uint32_t chunk_size(std::uint32_t bytes_per_sector)
{
    return bytes_per_sector * (8000000 / bytes_per_sector + 1);
}

std::int64_t image_size_of(FILE* image)
{
    if (!seek_file(image, 0, SEEK_END))
        return -1;
    const std::int64_t size = tell_file(image);
    return seek_file(image, 0, SEEK_SET) ? size : -1;
}

void send_control(HANDLE disk, DWORD code)
{
    DWORD returned = 0;
    if (!DeviceIoControl(disk, code, nullptr, 0, nullptr, 0, &returned, nullptr))
        KESTREL_LOG(logger::fatal, GetLastError());
}

} // namespace

void image_burner::impl::burn_image()
{
    if (m_ready_to_write())
        m_write_image();
    GetLogicalDrives();
}

void image_burner::impl::m_write_image()
{
    device_windows& disk = m_disk();
    HANDLE disk_handle = disk.handles.front();
    const std::int64_t image_size = image_size_of(m_image);
    const std::uint32_t bytes_per_sector =
        disk.bytes_per_sector ? disk.bytes_per_sector : fallback_sector_size;
    KESTREL_LOG(logger::debug, "Device: " << disk.name);
    KESTREL_LOG(logger::fatal, "Burning started");

    if (!disk_handle) {
        KESTREL_LOG(logger::fatal, "Cannot open device '" << disk.name << "'");
        emit m_owner->canceled();
        emit m_owner->error_msg("Cannot open device!", true);
    } else {
        const copy_result result = image_size < 0
            ? copy_result::image_unreadable
            : m_copy(disk_handle, bytes_per_sector, image_size);
        m_report(result, disk_handle, image_size);
    }
    m_release_disk();
}

image_burner::impl::copy_result image_burner::impl::m_copy(HANDLE disk,
                                                           std::uint32_t bytes_per_sector,
                                                           std::int64_t image_size)
{
    // Two chunk buffers: the next chunk is read while the current one is written.
    chunk_reader reader(m_image, image_size, chunk_size(bytes_per_sector));
    std::int64_t read = 0;
    // Image bytes on the disk; the zeros that pad the last sector are not counted.
    std::int64_t written = 0;
    DWORD error = ERROR_SUCCESS;
    // The flag is read before every write: once a stop was asked for, nothing more reaches
    // the disk.
    while (read < image_size && error == ERROR_SUCCESS && !m_canceled) {
        std::size_t wanted = 0;
        char* buffer = reader.next(wanted);
        if (!buffer)
            return copy_result::image_unreadable;
        read += static_cast<std::int64_t>(wanted);
        // A disk takes whole sectors only: the image's last partial sector goes with zeros.
        const std::size_t length = (wanted + bytes_per_sector - 1) / bytes_per_sector * bytes_per_sector;
        std::fill(buffer + wanted, buffer + length, '\0');

        DWORD done = 0;
        // Each write is judged by its own outcome, never by an error left from earlier calls.
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(disk, buffer, static_cast<DWORD>(length), &done, nullptr)) {
            error = GetLastError();
            if (error == ERROR_SUCCESS)
                error = ERROR_GEN_FAILURE;
        }
        written += std::min<std::int64_t>(done, static_cast<std::int64_t>(wanted));
        if (written != image_size)
            emit m_owner->report_progress(written, image_size);
    }

    if (m_canceled)
        return copy_result::canceled;
    // Some disks still refuse the padded last sector; the rest of the image is on them.
    if (error == ERROR_SUCCESS || (error == ERROR_INVALID_PARAMETER && read == image_size))
        return copy_result::copied;
    return copy_result::disconnected;
}

void image_burner::impl::m_report(copy_result result, HANDLE disk, std::int64_t image_size)
{
    m_close_image();
    switch (result) {
    case copy_result::canceled:
        emit m_owner->canceled();
        // Lets the system see what is on the partly written disk.
        send_control(disk, IOCTL_DISK_UPDATE_PROPERTIES);
        KESTREL_LOG(logger::info, "Burning canceled");
        break;
    case copy_result::copied:
        emit m_owner->finished();
        emit m_owner->report_progress(image_size, image_size);
        KESTREL_LOG(logger::info, "Burning finished");
        send_control(disk, IOCTL_STORAGE_EJECT_MEDIA);
        break;
    case copy_result::disconnected:
        emit m_owner->device_disconected();
        emit m_owner->error_msg("Device disconected!", true);
        KESTREL_LOG(logger::fatal, "Burning interupted 'Device disconected'");
        break;
    case copy_result::image_unreadable:
        // Made again from the download by the next run, rather than written again as it is.
        image_manipulator::remove_image(image_manipulator::decompressed_path(m_image_path));
        emit m_owner->error_msg("Downloaded image is damaged", true);
        KESTREL_LOG(logger::fatal, "Image error");
        break;
    }
}

void image_burner::impl::m_release_disk()
{
    m_close_image();
    device_windows& disk = m_disk();
    for (HANDLE handle : disk.handles)
        CloseHandle(handle);
    disk.handles.clear();
    disk.volumes.clear();
}

void image_burner::impl::m_close_image()
{
    if (m_image)
        std::fclose(m_image);
    m_image = nullptr;
}
