#pragma once
// The platform half of a disk record: every `device` the program handles is one of these.

#include "device/device.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct device_windows : device {
    std::uint32_t bytes_per_sector = 0;
    std::uint16_t number = 0;
    std::vector<std::string> volumes;
    std::vector<HANDLE> handles;
    // The system read the layout again once preparation deleted it: only partitions it found
    // then can bring volumes back.
    bool layout_reread = false;
};
