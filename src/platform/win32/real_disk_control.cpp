#include "real_disk_control.h"

#include "errno_error.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win32 {
namespace {

// Opens the node only when it is a block device.
int open_block_device(const std::string& node_path, DWORD& error)
{
    int fd = open(node_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = error_from_errno(errno);
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISBLK(status.st_mode)) {
        close(fd);
        error = ERROR_INVALID_FUNCTION;
        return -1;
    }
    return fd;
}

} // namespace

DWORD reread_partition_table(const std::string& node_path)
{
    DWORD error = ERROR_SUCCESS;
    int fd = open_block_device(node_path, error);
    if (fd < 0)
        return error;
    if (ioctl(fd, BLKRRPART) != 0)
        error = error_from_errno(errno);
    close(fd);
    return error;
}

DWORD eject_medium(const std::string& node_path)
{
    DWORD error = ERROR_SUCCESS;
    int fd = open_block_device(node_path, error);
    if (fd < 0)
        return error;
    fsync(fd);
    unsigned char command[6] = {0x1b, 0, 0, 0, 0x02, 0};
    unsigned char sense[32] = {};
    sg_io_hdr_t request = {};
    request.interface_id = 'S';
    request.cmd_len = sizeof command;
    request.cmdp = command;
    request.dxfer_direction = SG_DXFER_NONE;
    request.sbp = sense;
    request.mx_sb_len = sizeof sense;
    request.timeout = 10000;
    if (ioctl(fd, SG_IO, &request) != 0)
        error = error_from_errno(errno);
    else if (request.status != 0 || request.host_status != 0 || request.driver_status != 0)
        error = ERROR_NOT_SUPPORTED;
    close(fd);
    return error;
}

} // namespace win32
