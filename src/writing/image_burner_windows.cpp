// The copy of the image onto the disk, through the handle the disk's preparation left open,
// and the release of the disk afterwards. The first chunk, which holds the partition table and
// the boot code, goes last: until then the disk keeps the zeros its preparation left there.

#include "writing/image_burner_impl.h"

#include "base/logger.h"
#include "device/device_windows.h"
#include "image/file_position.h"
#include "writing/disk_transfer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A record without a geometry is written in the smallest sectors there are.
constexpr std::uint32_t fallback_sector_size = 512;
// A copy that writes the blocks shared by the run's copies needs memory of its own only for the
// pieces it writes last and for its read-back: little of it, so that many copies at once take
// little more than one.
constexpr std::size_t shared_copy_piece = 1 << 20;

// The smallest whole number of sectors above 8000000 bytes.
std::size_t chunk_size(std::uint32_t bytes_per_sector)
{
    return bytes_per_sector * (8000000 / bytes_per_sector + 1);
}

// What the bar can show of an image not yet inflated: its size as the download's trailer tells
// it, which counts modulo 4 GiB.
std::int64_t expected_size(std::int64_t hint, std::int64_t done)
{
    std::int64_t size = std::max<std::int64_t>(hint, 0);
    while (size < done)
        size += std::int64_t(1) << 32;
    return size;
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
    const std::uint32_t bytes_per_sector =
        disk.bytes_per_sector ? disk.bytes_per_sector : fallback_sector_size;
    KESTREL_LOG(logger::debug, "Device: " << disk.name);
    KESTREL_LOG(logger::fatal, "Burning started");

    if (!disk_handle) {
        KESTREL_LOG(logger::fatal, "Cannot open device '" << disk.name << "'");
        emit m_owner->canceled();
        emit m_owner->failed(burn_failure::cannot_open);
    } else {
        disk_transfer transfer(disk_handle, bytes_per_sector);
        const bool shared = m_shared != nullptr;
        aligned_buffer at_hand(shared ? shared_copy_piece : chunk_size(bytes_per_sector));
        // The blocks shared by the copies go out as they are: the area is laid over at the end.
        const std::int64_t first_part = shared ? std::int64_t(image_stream::block_size) : std::int64_t(at_hand.size());
        outcome result = shared ? m_write_blocks(transfer) : m_write_chunks(transfer, at_hand.size());
        if (result == outcome::written && shared && m_shared->inflating())
            result = m_finish_inflating();
        // The other copies need not wait for this one any longer.
        m_shared.reset();
        if (result == outcome::written)
            result = m_write_first_chunks(transfer, at_hand, first_part, !shared);
        if (result == outcome::written && m_verification)
            result = m_verify(transfer, at_hand);
        // A stop cuts the reads of the image short, and the stream shared with the other copies
        // ends: neither says anything about the image, which must stay for the next run.
        if (m_canceled && result != outcome::written)
            result = outcome::canceled;
        m_report(result, disk_handle, transfer, at_hand);
    }
    m_release_disk();
}

chunk_reader::source image_burner::impl::m_image_chunks()
{
    return [image = m_image.get(), size = m_image_size, offset = std::int64_t(0)](
               char* buffer, std::size_t chunk) mutable -> std::int64_t {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::int64_t>(chunk, size - offset));
        if (!image->read(offset, buffer, wanted))
            return -1;
        offset += static_cast<std::int64_t>(wanted);
        return static_cast<std::int64_t>(wanted);
    };
}

image_burner::impl::outcome image_burner::impl::m_inflating_failure(image_manipulator::failure why,
                                                                     outcome otherwise)
{
    switch (why) {
    case image_manipulator::failure::download_damaged:
        return outcome::download_damaged;
    case image_manipulator::failure::output_failed:
        return outcome::no_space;
    case image_manipulator::failure::folder_not_writable:
        return outcome::folder_not_writable;
    default:
        return otherwise;
    }
}

bool image_burner::impl::m_write_chunk(disk_transfer& disk, std::int64_t offset, const char* buffer,
                                       std::size_t length, bool padded, std::int64_t& written)
{
    std::size_t done = 0;
    const DWORD error = padded ? disk.write_padded(std::uint64_t(offset), buffer, length, done)
                               : disk.write(std::uint64_t(offset), const_cast<char*>(buffer), length, done);
    written += static_cast<std::int64_t>(done);
    // Reported once whole when the copy ends; a first flash reports as it inflates.
    if (m_image_size >= 0 && written != m_image_size)
        emit m_owner->report_progress(written, m_image_size);
    return m_accepted(error, offset, length);
}

image_burner::impl::outcome image_burner::impl::m_write_chunks(disk_transfer& disk, std::size_t chunk)
{
    aligned_buffer ahead[2] {aligned_buffer(chunk), aligned_buffer(chunk)};
    chunk_reader chunks(ahead[0], ahead[1], m_image_chunks());
    std::int64_t offset = 0;
    // Image bytes on the disk; the zeros that pad the last sector are not counted.
    std::int64_t written = 0;
    for (;;) {
        std::size_t length = 0;
        char* buffer = chunks.next(length);
        if (!buffer)
            return outcome::image_unreadable;
        if (length == 0)
            return outcome::written;
        // Only the image's last chunk may be refused.
        if (m_refused_at >= 0)
            return outcome::disconnected;
        // The flag is read before every write: once a stop was asked for, nothing more reaches
        // the disk.
        if (m_canceled)
            return outcome::canceled;
        if (offset > 0) {
            image_manipulator::patch_chunk(buffer, std::uint64_t(offset), length, m_area_offset,
                                           m_configuration);
            if (!m_write_chunk(disk, offset, buffer, length, false, written))
                return outcome::disconnected;
        }
        offset += static_cast<std::int64_t>(length);
    }
}

image_burner::impl::outcome image_burner::impl::m_write_blocks(disk_transfer& disk)
{
    const bool inflating = m_shared->inflating();
    // Read before the blocks come: its reader is the stream's own thread.
    const std::int64_t size_hint = inflating ? m_shared->size_hint() : -1;
    std::int64_t offset = 0;
    std::int64_t written = 0;
    std::int64_t expected = -1;
    for (;;) {
        std::size_t length = 0;
        const char* block = m_shared->next_block(length);
        if (!block)
            return inflating ? m_inflating_failure(m_shared->failure()) : outcome::image_unreadable;
        if (length == 0)
            break;
        if (m_refused_at >= 0)
            return outcome::disconnected;
        if (m_canceled)
            return outcome::canceled;
        if (offset > 0 && !m_write_chunk(disk, offset, block, length, true, written))
            return outcome::disconnected;
        offset += static_cast<std::int64_t>(length);
        if (inflating) {
            expected = expected_size(size_hint, offset);
            emit m_owner->report_progress_inflate(offset, expected);
        }
    }
    // The bar ends where the image does, whatever the trailer told.
    if (inflating && expected != offset)
        emit m_owner->report_progress_inflate(offset, offset);
    m_image_size = offset;
    return outcome::written;
}

bool image_burner::impl::m_accepted(DWORD error, std::int64_t offset, std::size_t length)
{
    if (error == ERROR_SUCCESS)
        return true;
    // Whether it is the last shows when no chunk follows; the first chunk is never the one.
    if (error != ERROR_INVALID_PARAMETER || offset == 0
        || (m_image_size >= 0 && offset + std::int64_t(length) != m_image_size))
        return false;
    m_refused_at = offset;
    return true;
}

image_burner::impl::outcome image_burner::impl::m_finish_inflating()
{
    FILE* image = m_shared->finish();
    if (image)
        return m_take_image(image) ? outcome::written : m_drop_image_without_area();
    if (m_shared->failure() != image_manipulator::failure::none)
        return m_inflating_failure(m_shared->failure(), outcome::no_space);
    return m_take_download();
}

bool image_burner::impl::m_take_image(FILE* image)
{
    KESTREL_LOG(logger::debug, "Image decompressed");
    m_area_offset = image_manipulator::config_offset(image, std::uint64_t(m_configuration.size()));
    m_image = image_reader::of_file(image);
    m_image_kept = true;
    return m_area_offset != image_manipulator::no_offset;
}

image_burner::impl::outcome image_burner::impl::m_take_download()
{
    KESTREL_LOG(logger::fatal, "Image decompressed, not kept: read again from " << m_image_path);
    const auto trailer = m_shared->image_trailer();
    m_area_offset = image_manipulator::config_offset(trailer.data(), m_image_size, std::uint64_t(m_configuration.size()));
    m_image = image_reader::inflating(m_image_path, &m_canceled);
    m_image_kept = false;
    return m_area_offset != image_manipulator::no_offset ? outcome::written : outcome::download_damaged;
}

image_burner::impl::outcome image_burner::impl::m_write_first_chunks(disk_transfer& disk,
                                                                     aligned_buffer& at_hand,
                                                                     std::int64_t first_part, bool area_written)
{
    const std::int64_t piece = static_cast<std::int64_t>(at_hand.size());
    // Where a piece starts in the image, and how long it is, in the order they are written.
    std::vector<std::pair<std::int64_t, std::int64_t>> pieces;
    // The area went out without the block: the pages that hold it go again, unless the first
    // part, which goes last, holds them.
    if (!area_written) {
        const std::int64_t page = static_cast<std::int64_t>(aligned_buffer::alignment);
        const std::int64_t start = std::max(first_part, std::int64_t(m_area_offset) / page * page);
        const std::int64_t end = std::min(m_image_size,
                                          (std::int64_t(m_area_offset) + m_configuration.size() + page - 1) / page * page);
        for (std::int64_t from = start; from < end; from += piece)
            pieces.emplace_back(from, std::min(piece, end - from));
    }
    // The first part from its end: the partition table, at its start, is the very last write.
    const std::int64_t first_end = std::min(first_part, m_image_size);
    for (std::int64_t from = (first_end - 1) / piece * piece; from >= 0 && first_end > 0; from -= piece)
        pieces.emplace_back(from, std::min(piece, first_end - from));
    for (const auto& [start, length] : pieces) {
        // A last chunk the disk refused is not on it.
        if (length == 0 || (m_refused_at >= 0 && start >= m_refused_at))
            continue;
        if (!m_image->read(start, at_hand.data(), std::size_t(length)))
            return m_unreadable_image();
        image_manipulator::patch_chunk(at_hand.data(), std::uint64_t(start), std::size_t(length), m_area_offset,
                                       m_configuration);
        if (m_canceled)
            return outcome::canceled;
        std::size_t done = 0;
        if (!m_accepted(disk.write(std::uint64_t(start), at_hand.data(), std::size_t(length), done), start,
                        std::size_t(length)))
            return outcome::disconnected;
    }
    return outcome::written;
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
    m_image.reset();
}
