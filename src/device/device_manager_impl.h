#pragma once
// The platform half of device_manager: enumeration and preparation over the Win32 API.

#include "device/device_manager.h"
#include "device/device_windows.h"

#include <windows.h>
#include <setupapi.h>

class device_manager::impl {
public:
    explicit impl(device_manager* owner);

    void m_enumerate_devices();
    void unmount_device(device* dev, bool skip);
    void release_device(device* dev);

    device_manager* q;
    std::vector<std::shared_ptr<device>> devices;

private:
    std::shared_ptr<device_windows> m_read_disk(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data,
                                                DWORD index) const;
    void m_start_volume_finder(device_windows* dev);
    void m_refuse();
};
