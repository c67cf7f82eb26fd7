#pragma once
// What tells a stick apart from the others in sight, the same in the list and on the end page:
// its name alone where no other stick shares it; otherwise its USB port ("port 1-2"), or the
// last characters of its serial number where the system tells no port.

#include "device/device.h"

#include <QString>

#include <memory>
#include <vector>

namespace stick_identity {

QString text(const device& stick, const std::vector<std::shared_ptr<device>>& in_sight);

} // namespace stick_identity
