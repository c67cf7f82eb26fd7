#pragma once
// Reads a few bytes of a disk and writes nothing, for a look at what a stick holds: whole
// sectors around them, as a disk gives them.

#include "device/device.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace disk_reading {

// `length` bytes at `offset` of `disk`; empty when the disk cannot be opened or read there.
QByteArray read(const device& disk, std::uint64_t offset, std::size_t length);

} // namespace disk_reading
