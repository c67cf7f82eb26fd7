// The control codes a disk handle answers. Queries come from sysfs and never touch the
// device; the changing requests go through the layer's hooks, which tests steer.

#include "control_requests.h"
#include "disk_registry.h"
#include "errno_error.h"
#include "host_root.h"
#include "hooked_call.h"
#include "real_disk_control.h"

#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

namespace win32 {
namespace {

using hooks::call;

const std::uint64_t layout_area = 1024 * 1024;

DWORD required_access(DWORD code)
{
    return (code >> 14) & 3;
}

DWORD check_media(const sysfs_disk& disk)
{
    if (disk.size_bytes == 0)
        return ERROR_NOT_READY;
    return ERROR_SUCCESS;
}

DWORD is_writable(const disk_handle& handle)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (disk.size_bytes == 0)
        return ERROR_NOT_READY;
    if (disk.read_only)
        return ERROR_WRITE_PROTECT;
    // The running system's own disk is never ours to write.
    if (disk_holds_system(disk))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

DWORD query_property(const disk_handle& handle, control_request& request)
{
    if (!request.in_buffer || request.in_size < sizeof(STORAGE_PROPERTY_QUERY))
        return ERROR_INVALID_PARAMETER;
    STORAGE_PROPERTY_QUERY query;
    std::memcpy(&query, request.in_buffer, sizeof query);
    if (query.PropertyId != StorageDeviceProperty)
        return ERROR_NOT_SUPPORTED;
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (query.QueryType == PropertyExistsQuery)
        return ERROR_SUCCESS;
    if (query.QueryType != PropertyStandardQuery)
        return ERROR_INVALID_PARAMETER;
    if (!request.out_buffer || request.out_size < 2 * sizeof(DWORD))
        return ERROR_INSUFFICIENT_BUFFER;

    // The fixed head, then the vendor and product strings it points at.
    std::vector<unsigned char> answer(sizeof(STORAGE_DEVICE_DESCRIPTOR));
    STORAGE_DEVICE_DESCRIPTOR head = {};
    head.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    head.RemovableMedia = disk.removable ? 1 : 0;
    head.BusType = static_cast<STORAGE_BUS_TYPE>(disk.bus_type);
    auto append = [&](const std::string& text) -> DWORD {
        if (text.empty())
            return 0;
        DWORD offset = static_cast<DWORD>(answer.size());
        answer.insert(answer.end(), text.begin(), text.end());
        answer.push_back(0);
        return offset;
    };
    head.VendorIdOffset = append(disk.vendor);
    head.ProductIdOffset = append(disk.model);
    head.SerialNumberOffset = append(disk.serial);
    head.Size = static_cast<DWORD>(answer.size());
    std::memcpy(answer.data(), &head, sizeof head);

    request.returned = std::min<DWORD>(request.out_size, head.Size);
    std::memcpy(request.out_buffer, answer.data(), request.returned);
    return ERROR_SUCCESS;
}

DWORD device_number(const disk_handle& handle, control_request& request)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (!request.out_buffer || request.out_size < sizeof(STORAGE_DEVICE_NUMBER))
        return ERROR_INSUFFICIENT_BUFFER;
    STORAGE_DEVICE_NUMBER number = {FILE_DEVICE_DISK, handle.number, 0};
    std::memcpy(request.out_buffer, &number, sizeof number);
    request.returned = sizeof number;
    return ERROR_SUCCESS;
}

// Windows' own make-believe geometry: 255 heads, 63 sectors per track, whole cylinders.
DWORD drive_geometry(const disk_handle& handle, control_request& request)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (DWORD error = check_media(disk))
        return error;
    if (!request.out_buffer || request.out_size < sizeof(DISK_GEOMETRY))
        return ERROR_INSUFFICIENT_BUFFER;
    DISK_GEOMETRY geometry = {};
    geometry.TracksPerCylinder = 255;
    geometry.SectorsPerTrack = 63;
    geometry.BytesPerSector = disk.logical_block_size;
    geometry.MediaType = disk.removable ? RemovableMedia : FixedMedia;
    std::uint64_t sectors = disk.size_bytes / disk.logical_block_size;
    geometry.Cylinders.QuadPart = static_cast<LONGLONG>(sectors / (255 * 63));
    std::memcpy(request.out_buffer, &geometry, sizeof geometry);
    request.returned = sizeof geometry;
    return ERROR_SUCCESS;
}

// A partition's first sector and its length in bytes, from its sysfs folder.
void partition_extent(const sysfs_disk& disk, const sysfs_partition& partition,
                      PARTITION_INFORMATION_EX& entry)
{
    const std::string folder = disk.device_path + "/" + partition.name;
    entry.StartingOffset.QuadPart =
        static_cast<LONGLONG>(std::strtoull(read_host_file(folder + "/start").c_str(), nullptr, 10) * 512);
    entry.PartitionLength.QuadPart =
        static_cast<LONGLONG>(std::strtoull(read_host_file(folder + "/size").c_str(), nullptr, 10) * 512);
}

// The partitions the system knows on the disk: none (a raw disk) once its layout was deleted
// and read again.
DWORD drive_layout(const disk_handle& handle, control_request& request)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    const std::size_t count = disk.partitions.size();
    const std::size_t size = std::max(sizeof(DRIVE_LAYOUT_INFORMATION_EX),
                                      offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)
                                          + count * sizeof(PARTITION_INFORMATION_EX));
    if (!request.out_buffer || request.out_size < size)
        return ERROR_INSUFFICIENT_BUFFER;
    std::vector<unsigned char> answer(size);
    auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(answer.data());
    layout->PartitionStyle = count ? PARTITION_STYLE_MBR : PARTITION_STYLE_RAW;
    layout->PartitionCount = static_cast<DWORD>(count);
    for (std::size_t index = 0; index < count; ++index) {
        PARTITION_INFORMATION_EX& entry = layout->PartitionEntry[index];
        entry.PartitionStyle = PARTITION_STYLE_MBR;
        entry.PartitionNumber = disk.partitions[index].number;
        entry.Mbr.RecognizedPartition = TRUE;
        partition_extent(disk, disk.partitions[index], entry);
    }
    request.returned = static_cast<DWORD>(size);
    std::memcpy(request.out_buffer, answer.data(), size);
    return ERROR_SUCCESS;
}

struct aligned_free {
    void operator()(char* memory) const { std::free(memory); }
};

DWORD zero_range(int fd, std::uint64_t offset, std::uint64_t length)
{
    // Page-aligned, as a disk opened for direct I/O takes it.
    const std::size_t page = 4096;
    const std::size_t size = (static_cast<std::size_t>(length) + page - 1) / page * page;
    void* memory = nullptr;
    if (posix_memalign(&memory, page, size) != 0)
        return ERROR_NOT_ENOUGH_MEMORY;
    std::unique_ptr<char, aligned_free> zeros(static_cast<char*>(memory));
    std::memset(zeros.get(), 0, size);
    size_t done = 0;
    while (done < length) {
        ssize_t written = pwrite(fd, zeros.get() + done, length - done,
                                 static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return error_from_errno(written < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(written);
    }
    return ERROR_SUCCESS;
}

// Zeroes the first and the last MiB: the MBR, the GPT and the GPT's backup.
DWORD delete_layout(const disk_handle& handle)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (DWORD error = check_media(disk))
        return error;
    if (disk.read_only)
        return ERROR_WRITE_PROTECT;
    if (handle.fd < 0)
        return ERROR_ACCESS_DENIED;
    if (disk_is_in_use(disk))
        return ERROR_ACCESS_DENIED;
    std::uint64_t head = std::min(layout_area, disk.size_bytes);
    std::uint64_t tail = std::max(head, disk.size_bytes - head);
    if (DWORD error = zero_range(handle.fd, 0, head))
        return error;
    if (DWORD error = zero_range(handle.fd, tail, disk.size_bytes - tail))
        return error;
    return fsync(handle.fd) == 0 ? ERROR_SUCCESS : error_from_errno(errno);
}

DWORD update_properties(const disk_handle& handle)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (host_is_real())
        return reread_partition_table(handle.node_path);
    // A file standing for a disk has no partition table for a kernel to read.
    hooks::reread_fake_partition_table(handle.node_path);
    return ERROR_SUCCESS;
}

DWORD eject(const disk_handle& handle)
{
    sysfs_disk disk;
    if (!handle.present(disk))
        return ERROR_DEVICE_NOT_CONNECTED;
    if (handle.fd >= 0 && fsync(handle.fd) != 0)
        return error_from_errno(errno);
    return host_is_real() ? eject_medium(handle.node_path) : ERROR_SUCCESS;
}

DWORD hooked(call what, const disk_handle& handle, DWORD (*run)(const disk_handle&))
{
    return run_hooked(what, handle.target, [&] { return run(handle); });
}

} // namespace

DWORD disk_control(disk_handle& handle, control_request& request)
{
    DWORD access = required_access(request.code);
    if (((access & FILE_WRITE_ACCESS) && !handle.can_write)
        || ((access & FILE_READ_ACCESS) && !handle.can_read))
        return ERROR_ACCESS_DENIED;
    switch (request.code) {
    case IOCTL_DISK_IS_WRITABLE:
        return is_writable(handle);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return query_property(handle, request);
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return device_number(handle, request);
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return drive_geometry(handle, request);
    case IOCTL_DISK_GET_DRIVE_LAYOUT_EX:
        return drive_layout(handle, request);
    case IOCTL_DISK_DELETE_DRIVE_LAYOUT:
        return hooked(call::delete_layout, handle, delete_layout);
    case IOCTL_DISK_UPDATE_PROPERTIES:
        return hooked(call::update_properties, handle, update_properties);
    case IOCTL_STORAGE_EJECT_MEDIA:
        return hooked(call::eject, handle, eject);
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

} // namespace win32
