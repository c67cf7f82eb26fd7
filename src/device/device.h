#pragma once
// One attached USB disk, shared by enumeration, preparation, writing and the device list.

#include <cstdint>
#include <string>

struct device {
    std::string path;
    std::string name;
    std::uint64_t size = 0;
    // What else tells the disk apart, where the system says: the name its own tools give it
    // ("/dev/sdb" on Linux), its serial number and the USB port it is plugged into.
    std::string system_name;
    std::string serial;
    std::string port;
};

// Whether two records name the same disk. Enumeration makes new records for the disks it
// finds again, so records are compared by what identifies the disk: its physical-drive path,
// which holds its number (a disk that left and came back has a new one).
inline bool same_disk(const device& a, const device& b)
{
    return a.path == b.path;
}
