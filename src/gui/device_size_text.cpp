#include "gui/device_size_text.h"

namespace device_size_text {

QString gigabytes(std::uint64_t size)
{
    return QString::number(size / 1e9, 'f', 2) + " GB";
}

QString red_note(const QString& note)
{
    return "<font color=\"#e92424\">" + note + "</font>";
}

} // namespace device_size_text
