#pragma once
// The platform half of device_manager: enumeration and preparation over the Win32 API.

#include "device/device_manager.h"
#include "device/device_windows.h"

#include <QEventLoop>
#include <QPointer>

#include <windows.h>
#include <setupapi.h>

class device_manager::impl {
public:
    explicit impl(device_manager* owner);

    void m_enumerate_devices();
    void unmount_device(device* dev, bool skip);
    std::vector<device_manager::availability> look_before_preparing(
        const std::vector<std::shared_ptr<device>>& disks);
    void release_device(device* dev);
    void stop_preparation();

    device_manager* q;
    std::vector<std::shared_ptr<device>> devices;
    // The last preparation was refused because another run holds the disk for writing.
    bool m_refused_in_use = false;

private:
    // Keeps the event loop running while the system re-reads the disk; false when the
    // preparation was stopped meanwhile.
    bool m_wait_for_settling(unsigned preparation);
    std::shared_ptr<device_windows> m_read_disk(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data,
                                                DWORD index) const;
    void m_start_volume_finder(device_windows* dev, unsigned preparation);
    // The disk is ready with nothing to look for: unmount_finished() follows.
    void m_finish(unsigned preparation);
    void m_refuse(unsigned preparation);

    // Counts stops: a preparation that began before the last stop reports nothing.
    unsigned m_stops = 0;
    QPointer<QEventLoop> m_settle_wait;
};
