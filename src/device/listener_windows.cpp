#include "base/logger.h"
#include "base/wait_lengths.h"
#include "device/device_windows.h"
#include "device/listener_windows.h"
#include "device/volume_queries.h"

#include <QDeadlineTimer>
#include <QThread>

#include <initguid.h>
#include <setupapi.h>
#include <usbiodef.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Longest sleep before a stop request is looked at again.
const milliseconds stop_check(50);

bool stop_requested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

// Sleeps `length` in short steps; false when the thread was asked to stop meanwhile.
bool pause(milliseconds length)
{
    QDeadlineTimer deadline(length);
    while (!stop_requested()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return true;
        Sleep(static_cast<DWORD>(std::min<qint64>(left, stop_check.count())));
    }
    return false;
}

// The element's device instance ID; false, with the call's error, when it cannot be read.
bool read_instance_id(HDEVINFO set, SP_DEVINFO_DATA& info, std::string& id)
{
    DWORD required = 0;
    SetupDiGetDeviceInstanceIdA(set, &info, nullptr, 0, &required);
    if (required == 0)
        return false;
    std::vector<char> buffer(required);
    if (!SetupDiGetDeviceInstanceIdA(set, &info, buffer.data(), required, nullptr))
        return false;
    id.assign(buffer.data(), strnlen(buffer.data(), required));
    return true;
}

// The instance IDs of the present devices that the USB mass-storage driver enumerated, or
// nothing when the system could not be asked. IDs, not a count: a stick swapped for another
// between two looks leaves the count as it was.
std::optional<std::set<std::string>> usb_storage_ids()
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USB_DEVICE, "USBSTOR", nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return std::nullopt;
    SP_DEVINFO_DATA info {};
    info.cbSize = sizeof info;
    std::set<std::string> ids;
    std::string id;
    for (DWORD index = 0;
         SetupDiEnumDeviceInfo(set, index, &info) && read_instance_id(set, info, id); ++index)
        ids.insert(id);
    const bool complete = GetLastError() == ERROR_NO_MORE_ITEMS;
    SetupDiDestroyDeviceInfoList(set);
    if (!complete)
        return std::nullopt;
    return ids;
}

// One look at the removable volumes: locks and dismounts those on `disk`.
void lock_returned_volumes(device_windows& disk)
{
    for (const std::string& path : volume_queries::removable_volumes_of(disk.number)) {
        HANDLE volume = volume_queries::lock_volume(path);
        // Gone since the listing: nothing is logged and the next pass looks again.
        if (volume == INVALID_HANDLE_VALUE)
            continue;
        const DWORD error = GetLastError();
        KESTREL_LOG(logger::debug, "Dismounting volumes: " << path);
        KESTREL_LOG(logger::fatal, error);
        disk.volumes.push_back(path);
        disk.handles.push_back(volume);
        KESTREL_LOG(logger::fatal, "FOUND");
    }
}

} // namespace

void listener_windows::set_device(device* dev)
{
    m_device = dev;
}

void listener_windows::start_listening()
{
    std::set<std::string> last_seen;
    while (pause(wait_lengths::current().usb_poll)) {
        const std::optional<std::set<std::string>> seen = usb_storage_ids();
        if (!seen || *seen == last_seen)
            continue;
        emit dev_changed();
        if (!pause(wait_lengths::current().repeat_delay))
            return;
        emit dev_changed();
        last_seen = *seen;
    }
}

void listener_windows::find_volumes()
{
    KESTREL_LOG(logger::fatal, "Checking for drives after formating");
    auto& disk = *static_cast<device_windows*>(m_device);
    const wait_lengths waits = wait_lengths::current();
    QDeadlineTimer deadline(waits.volume_wait);
    while (disk.volumes.empty() && !deadline.hasExpired() && !stop_requested()) {
        // Once the re-read layout holds no partition, no volume can come back.
        if (disk.layout_reread && !disk.handles.empty()
            && volume_queries::holds_no_partition(disk.handles.front()))
            break;
        if (!volume_queries::is_attached(disk.path)) {
            KESTREL_LOG(logger::fatal, "Disk removed while its volumes were awaited: " << disk.path);
            emit disk_gone();
            return;
        }
        lock_returned_volumes(disk);
        if (disk.volumes.empty())
            pause(std::min(waits.volume_poll, milliseconds(deadline.remainingTime())));
    }
    emit unmount_finished();
}
