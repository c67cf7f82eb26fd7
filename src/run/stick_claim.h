#pragma once
// A station's claim on a stick while it flashes it. Two stations on one data folder both see
// every stick plugged in: the one that claims it first flashes it, the other leaves it alone,
// and by the time the claim is let go the stick is in the record of sticks flashed. A claim of
// a station that was killed is taken over.

#include "device/device.h"

#include <QLockFile>

#include <memory>
#include <string>

class stick_claim {
public:
    // Tries to claim `stick` at once.
    stick_claim(const std::string& data_folder, const device& stick);

    // Another station holds the stick. A claim that cannot be made for want of rights or room
    // is no other station's: the flash itself then says what is wrong with the data folder.
    bool taken_by_other() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};
