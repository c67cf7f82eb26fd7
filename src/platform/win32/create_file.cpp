// CreateFileA opens disks and volumes only. Nothing is written at open: a disk handle with
// write access holds the disk's node open for writing through (and for direct I/O with
// FILE_FLAG_NO_BUFFERING), a read-only one holds nothing until it reads, so that queries never
// open a device. In a fake root only regular files stand for disks.
//
// One writer per disk: a handle that may write holds an exclusive lock on the disk's node, and
// another open for writing, in this process or any other, is refused with
// ERROR_SHARING_VIOLATION until it is closed. The kernel's own exclusive open (O_EXCL) cannot
// serve: it also refuses the disk while its partitions are locked, which preparation does first.
//
// A disk opened unbuffered on a file system without direct I/O (a fake host's may be) is
// written through the page cache instead: the open succeeds with ERROR_NOT_SUPPORTED as its
// last error, so that the caller can say so, as Windows tells ERROR_ALREADY_EXISTS after an
// open that could have made the file.

#include "device_handles.h"
#include "device_paths.h"
#include "disk_registry.h"
#include "errno_error.h"
#include "host_root.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

HANDLE fail(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool wants_write(DWORD access)
{
    return access & (GENERIC_WRITE | GENERIC_ALL);
}

bool wants_read(DWORD access)
{
    return access & (GENERIC_READ | GENERIC_ALL);
}

// The node of a disk, checked to be what stands for a disk on this host.
DWORD find_node(const std::string& name, std::string& node_path)
{
    node_path = win32::resolve_host_path("/dev/" + name);
    struct stat status;
    if (node_path.empty() || stat(node_path.c_str(), &status) != 0)
        return ERROR_FILE_NOT_FOUND;
    bool expected = win32::host_is_real() ? S_ISBLK(status.st_mode) : S_ISREG(status.st_mode);
    return expected ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HANDLE open_disk(std::uint32_t number, DWORD access, DWORD flags)
{
    win32::sysfs_disk disk;
    if (!win32::find_disk(number, disk))
        return fail(ERROR_FILE_NOT_FOUND);
    std::string node_path;
    if (DWORD error = find_node(disk.name, node_path))
        return fail(error);
    if (::access(node_path.c_str(), wants_write(access) ? R_OK | W_OK : R_OK) != 0)
        return fail(win32::error_from_errno(errno));

    auto* handle = new win32::disk_handle;
    handle->target = win32::physical_drive_path(number);
    handle->number = number;
    handle->name = disk.name;
    handle->identity = disk.identity;
    handle->node_path = node_path;
    handle->can_read = wants_read(access);
    handle->can_write = wants_write(access);
    handle->unbuffered = flags & FILE_FLAG_NO_BUFFERING;
    // A write-protected or empty disk opens as on Windows; its writes fail later.
    if (handle->can_write && !disk.read_only && disk.size_bytes > 0) {
        handle->fd = handle->open_node(O_RDWR);
        if (handle->fd < 0 || flock(handle->fd, LOCK_EX | LOCK_NB) != 0) {
            DWORD error = errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : win32::error_from_errno(errno);
            delete handle;
            return fail(error);
        }
    }
    if (handle->through_page_cache)
        SetLastError(ERROR_NOT_SUPPORTED);
    return win32::register_object(handle);
}

HANDLE open_volume(char letter, DWORD access)
{
    win32::host_volume volume;
    if (!win32::find_volume(letter, volume))
        return fail(ERROR_FILE_NOT_FOUND);
    win32::sysfs_disk disk;
    if (!win32::find_disk(volume.disk_number, disk))
        return fail(ERROR_FILE_NOT_FOUND);
    auto* handle = new win32::volume_handle;
    handle->target = win32::volume_path(letter);
    handle->disk_number = volume.disk_number;
    handle->disk_name = disk.name;
    handle->disk_identity = disk.identity;
    handle->block_device = volume.block_device;
    handle->partition_number = volume.partition_number;
    handle->node_path = win32::resolve_host_path("/dev/" + volume.block_device);
    handle->can_write = wants_write(access);
    return win32::register_object(handle);
}

} // namespace

HANDLE WINAPI CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD creation_disposition, DWORD flags_and_attributes, HANDLE)
{
    if (!file_name)
        return fail(ERROR_INVALID_PARAMETER);
    win32::device_path path = win32::parse_device_path(file_name);
    if (path.what == win32::device_path::none)
        return fail(ERROR_FILE_NOT_FOUND);
    if (creation_disposition != OPEN_EXISTING)
        return fail(ERROR_ACCESS_DENIED);
    if (path.what == win32::device_path::disk)
        return open_disk(path.disk_number, desired_access, flags_and_attributes);
    return open_volume(path.letter, desired_access);
}
