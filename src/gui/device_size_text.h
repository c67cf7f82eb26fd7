#pragma once
// The texts and looks the disk header and the disk rows share; the location list shows its
// names in the same dark title.

#include "device/disk_sizes.h"

#include <QString>

#include <cstdint>

namespace device_size_text {

using disk_sizes::minimum_size;

const char* const dark_title = "QLabel {height: 20px; font-size: 14px; font-weight: normal; "
                               "line-height: 1.43; color: #3a3939;}";
const char* const grey_title = "QLabel {height: 20px; font-size: 14px; font-weight: normal; "
                               "line-height: 1.43; color: #959595;}";
const char* const grey_info = "QLabel {height: 16px; font-size: 12px; font-weight: normal; "
                              "line-height: 1.33; color: #959595;}";
const char* const red_info = "QLabel {height: 16px; font-size: 12px; font-weight: normal; "
                             "line-height: 1.33; color: #e92424;}";

// `size` in GB with two decimals, e.g. "15.38 GB".
QString gigabytes(std::uint64_t size);

// Wraps an already translated note in the red font tag.
QString red_note(const QString& note);

} // namespace device_size_text
