#include "base/logger.h"
#include "base/wait_lengths.h"
#include "device/device_manager_impl.h"
#include "device/listener_windows.h"
#include "device/volume_queries.h"

#include <QEventLoop>
#include <QTimer>
#include <QThread>

#include <winioctl.h>

#include <algorithm>
#include <optional>

namespace {

// The number of the disk that holds the system directory, or -1 when it cannot be learnt.
long long system_disk_number()
{
    char directory[260] = {};
    const UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length < 2 || length >= sizeof directory)
        return -1;
    HANDLE volume = volume_queries::open_read_write(volume_queries::volume_path(directory));
    if (volume == INVALID_HANDLE_VALUE)
        return -1;
    DWORD number = 0;
    const bool known = volume_queries::disk_number(volume, number);
    CloseHandle(volume);
    return known ? static_cast<long long>(number) : -1;
}

enum class chosen_disk { unchanged, cannot_open, changed };

using volume_listing = std::optional<std::vector<volume_queries::removable_volume>>;

// Reads the disk at the record's path as it is now: the same number, a USB disk the system
// still lets us write, the same size, and every volume the record knows still on it. A medium
// exchanged in a reader, or another disk that took the number, fails here before anything of
// it is locked. `volumes_now` gets the disk's removable volumes as `listed` has them, listed
// now when it is empty: disks looked at together share one look at the volumes.
chosen_disk check_chosen_disk(const device_windows& chosen, volume_listing& listed,
                              std::vector<std::string>& volumes_now)
{
    volume_queries::disk_facts now;
    const volume_queries::disk_probe probe = volume_queries::probe_disk(chosen.path, now);
    if (probe == volume_queries::disk_probe::cannot_open)
        return chosen_disk::cannot_open;
    const bool same = probe == volume_queries::disk_probe::usb_disk
        && volume_queries::physical_drive_path(now.number) == chosen.path
        && static_cast<std::uint16_t>(now.number) == chosen.number && now.size == chosen.size
        && now.bytes_per_sector == chosen.bytes_per_sector;
    if (!same)
        return chosen_disk::changed;
    if (!listed)
        listed = volume_queries::removable_volumes();
    volumes_now = volume_queries::volumes_on(*listed, now.number);
    for (const std::string& volume : chosen.volumes)
        if (std::find(volumes_now.begin(), volumes_now.end(), volume) == volumes_now.end())
            return chosen_disk::changed;
    return chosen_disk::unchanged;
}

} // namespace

std::vector<device_manager::availability> device_manager::impl::look_before_preparing(
    const std::vector<std::shared_ptr<device>>& disks)
{
    volume_listing listed;
    std::vector<availability> found;
    for (const std::shared_ptr<device>& disk : disks) {
        const auto& record = static_cast<const device_windows&>(*disk);
        std::vector<std::string> volumes_now;
        if (check_chosen_disk(record, listed, volumes_now) != chosen_disk::unchanged) {
            found.push_back(availability::gone);
            continue;
        }
        // The open the preparation takes first, let go at once.
        HANDLE opened = volume_queries::open_unbuffered(record.path);
        if (opened == INVALID_HANDLE_VALUE) {
            found.push_back(GetLastError() == ERROR_SHARING_VIOLATION ? availability::in_use
                                                                      : availability::available);
            continue;
        }
        CloseHandle(opened);
        found.push_back(availability::available);
    }
    return found;
}

void device_manager::impl::unmount_device(device* dev, bool skip)
{
    auto* disk_record = static_cast<device_windows*>(dev);
    KESTREL_LOG(logger::info, "Name: " << disk_record->name << ", Path: " << disk_record->path
                                       << ", Size: " << disk_record->size);
    if (skip)
        return;
    m_refused_in_use = false;
    const unsigned preparation = m_stops;
    if (static_cast<long long>(disk_record->number) == system_disk_number()) {
        m_refuse(preparation);
        return;
    }

    KESTREL_LOG(logger::fatal, "Format:");
    KESTREL_LOG(logger::fatal, disk_record->path);
    KESTREL_LOG(logger::debug, "Locking drive: ");
    // The volumes as they are now: locked below, whatever a look before found.
    volume_listing listed;
    std::vector<std::string> volumes_now;
    switch (check_chosen_disk(*disk_record, listed, volumes_now)) {
    case chosen_disk::cannot_open:
        KESTREL_LOG(logger::fatal, "HANDLE not valid");
        m_refuse(preparation);
        return;
    case chosen_disk::changed:
        KESTREL_LOG(logger::fatal, "Disk changed since it was chosen: " << disk_record->path);
        m_refuse(preparation);
        return;
    case chosen_disk::unchanged:
        // Volumes that came up after the disk was listed are this disk's too.
        disk_record->volumes = volumes_now;
        break;
    }
    // Taken before any of its volumes is locked: a disk that another run is writing is left
    // alone, volumes and all.
    HANDLE disk = volume_queries::open_unbuffered(disk_record->path);
    if (disk == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        KESTREL_LOG(logger::fatal, "HANDLE not valid");
        m_refused_in_use = error == ERROR_SHARING_VIOLATION;
        if (m_refused_in_use)
            KESTREL_LOG(logger::fatal, "Disk in use by another run: " << disk_record->path);
        m_refuse(preparation);
        return;
    }
    if (GetLastError() == ERROR_NOT_SUPPORTED)
        KESTREL_LOG(logger::info,
                    "No direct I/O on " << disk_record->path << ": writing through the page cache");
    std::vector<HANDLE> volume_locks;
    for (const std::string& volume : disk_record->volumes) {
        KESTREL_LOG(logger::debug, volume);
        HANDLE handle = volume_queries::lock_volume(volume);
        if (handle != INVALID_HANDLE_VALUE)
            volume_locks.push_back(handle);
    }

    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_DELETE_DRIVE_LAYOUT, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        const DWORD error = GetLastError();
        KESTREL_LOG(logger::fatal, "Formating failed: " << error);
    }
    disk_record->layout_reread =
        DeviceIoControl(disk, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (!disk_record->layout_reread) {
        const DWORD error = GetLastError();
        KESTREL_LOG(logger::fatal, "Could not reenumerate disk: " << error);
    }

    for (HANDLE handle : volume_locks)
        CloseHandle(handle);
    disk_record->handles = {disk};
    disk_record->volumes.clear();

    // With no partition left after the re-read, no volume can come back: nothing to wait or
    // look for, and no finder's thread to wait for either.
    if (disk_record->layout_reread && volume_queries::holds_no_partition(disk)) {
        KESTREL_LOG(logger::fatal, "Checking for drives after formating");
        m_finish(preparation);
        return;
    }
    if (m_wait_for_settling(preparation))
        m_start_volume_finder(disk_record, preparation);
}

bool device_manager::impl::m_wait_for_settling(unsigned preparation)
{
    // An event loop rather than a spin: no core is busy while no event is pending.
    QEventLoop loop;
    m_settle_wait = &loop;
    QTimer::singleShot(wait_lengths::current().settle, &loop, &QEventLoop::quit);
    loop.exec();
    return preparation == m_stops;
}

void device_manager::impl::stop_preparation()
{
    ++m_stops;
    if (m_settle_wait)
        m_settle_wait->quit();
}

// Told after unmount_device has returned, as the finder's signal would be; a stop that comes
// in between silences it as it silences the finder.
void device_manager::impl::m_refuse(unsigned preparation)
{
    QMetaObject::invokeMethod(q, [this, preparation] {
        if (preparation == m_stops)
            emit q->unmount_refused();
    }, Qt::QueuedConnection);
}

// Told after unmount_device has returned, as the finder's signal would be.
void device_manager::impl::m_finish(unsigned preparation)
{
    QMetaObject::invokeMethod(q, [this, preparation] {
        if (preparation == m_stops)
            emit q->unmount_finished();
    }, Qt::QueuedConnection);
}

void device_manager::impl::m_start_volume_finder(device_windows* dev, unsigned preparation)
{
    auto* thread = new QThread();
    thread->setObjectName("volume finder");
    auto* listener = new listener_windows();
    listener->set_device(dev);
    listener->moveToThread(thread);
    QObject::connect(thread, SIGNAL(started()), listener, SLOT(find_volumes()));
    QObject::connect(thread, SIGNAL(finished()), thread, SLOT(deleteLater()));
    QObject::connect(thread, SIGNAL(finished()), listener, SLOT(deleteLater()));
    QObject::connect(listener, &listener_windows::unmount_finished, q, [this, preparation] {
        if (preparation == m_stops)
            emit q->unmount_finished();
    });
    QObject::connect(listener, &listener_windows::disk_gone, q, [this, preparation] {
        if (preparation == m_stops)
            emit q->unmount_refused();
    });
    // The finder's work ends with its signal; its thread has nothing else to do.
    QObject::connect(listener, SIGNAL(unmount_finished()), thread, SLOT(quit()), Qt::DirectConnection);
    QObject::connect(listener, SIGNAL(disk_gone()), thread, SLOT(quit()), Qt::DirectConnection);
    q->m_track_finder(thread);
    thread->start(QThread::InheritPriority);
}

void device_manager::impl::release_device(device* dev)
{
    auto* disk = static_cast<device_windows*>(dev);
    for (HANDLE handle : disk->handles)
        CloseHandle(handle);
    disk->handles.clear();
    disk->volumes.clear();
}
