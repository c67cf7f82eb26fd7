#pragma once
// Lists the attached USB disks that may be written, prepares a chosen one for raw writing,
// and reports USB storage coming and going.
//
// Threads: the manager lives in the thread that made it (the job's thread: the window's GUI
// thread, or the command line's main thread), which runs enumeration and preparation.
// Preparation waits for a cleared disk to settle in a nested event loop of that thread, so
// other events (a stop, a click, another disk's signal) are handled meanwhile; its volume
// finder then runs on a thread of its own. The USB watch runs on a thread of its own for the
// manager's life. Their signals reach the manager's thread queued.

#include "device/device.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QThread;

class device_manager : public QObject {
    Q_OBJECT

public:
    device_manager();
    ~device_manager() override;

    // Enumerates afresh; the records are new on every call.
    std::vector<std::shared_ptr<device>> get_devices();
    // Whether `disk` is among the disks attached now (enumerated afresh).
    bool is_attached(const device& disk);
    // Clears `dev` for raw writing; unmount_finished() follows. With `skip` false, a disk that
    // holds the system, cannot be opened or is no longer the one chosen is left untouched and
    // unmount_refused() follows instead, as it does when the disk is pulled out before its
    // volumes have settled. With `skip` true the record is only logged.
    void unmount_device(device* dev, bool skip);
    // Closes what preparation kept open for a write that will not come, so that the disk's
    // volumes are no longer locked.
    void release_device(device* dev);
    // Stops a preparation under way: its wait ends, its volume finder stops, and neither
    // unmount_finished() nor unmount_refused() follows for it.
    void stop_preparation();
    // Whether the last preparation was refused because another run, of this process or
    // another, holds the disk for writing.
    bool refused_as_in_use() const;

    // What a preparation of each of `disks` would find before it touches anything: the disk
    // gone (or another in its place), or held for writing by another run; nothing is opened
    // for long, and nothing is written. The volumes are looked at once for all of them.
    enum class availability { available, gone, in_use };
    std::vector<availability> look_before_preparing(const std::vector<std::shared_ptr<device>>& disks);

signals:
    // The disk of unmount_device() is prepared: cleared, its volumes locked, ready to write.
    void unmount_finished();
    void devices_changed();
    void close();
    // The disk of unmount_device() was left untouched, or pulled out while it settled.
    void unmount_refused();

private:
    class impl;
    std::shared_ptr<impl> m_impl;

    void m_track_finder(QThread* thread);

    // Kept so that no listener thread outlives the device manager.
    QPointer<QThread> m_watch_thread;
    std::vector<QPointer<QThread>> m_finder_threads;
};
