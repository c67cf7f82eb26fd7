#include "gui/transfer_rate.h"

#include <QCoreApplication>

#include <cmath>

namespace transfer_rate {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("transfer_rate", text);
}

// Whole seconds under a minute; past an hour, seconds are noise.
QString duration(qint64 seconds)
{
    if (seconds < 60)
        return tr("%1 s").arg(seconds);
    if (seconds < 3600)
        return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

} // namespace

QString text(qint64 moved, qint64 left, qint64 elapsed_ns)
{
    if (moved <= 0 || elapsed_ns <= 0)
        return QString();
    const double per_second = double(moved) * 1e9 / double(elapsed_ns);
    const QString speed = tr("%1 MB/s").arg(per_second / 1e6, 0, 'f', 1);
    if (left <= 0)
        return speed;
    // Rounded up: a last byte to go is a second left, not none.
    return tr("%1, %2 left").arg(speed, duration(qint64(std::ceil(double(left) / per_second))));
}

} // namespace transfer_rate
