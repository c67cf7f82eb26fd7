#pragma once
// One attached USB disk, shared by enumeration, preparation, writing and the device list.

#include <cstdint>
#include <string>

struct device {
    std::string path;
    std::string name;
    std::uint64_t size = 0;
};
