#include "gui/stick_identity.h"

#include <QCoreApplication>

#include <algorithm>

namespace stick_identity {

namespace {

// Enough of a serial number to tell two sticks of one batch apart at a glance.
const int serial_tail = 6;

} // namespace

QString text(const device& stick, const std::vector<std::shared_ptr<device>>& in_sight)
{
    const QString name = QString::fromStdString(stick.name);
    const bool shared = std::any_of(in_sight.begin(), in_sight.end(), [&stick](const std::shared_ptr<device>& other) {
        return !same_disk(*other, stick) && other->name == stick.name;
    });
    if (!shared)
        return name;
    if (!stick.port.empty())
        return QCoreApplication::translate("stick_identity", "%1 (port %2)").arg(name, QString::fromStdString(stick.port));
    if (!stick.serial.empty())
        return QCoreApplication::translate("stick_identity", "%1 (serial …%2)")
            .arg(name, QString::fromStdString(stick.serial).right(serial_tail));
    return name;
}

} // namespace stick_identity
