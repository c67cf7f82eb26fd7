#include "device/device_manager.h"
#include "device/device_manager_impl.h"
#include "device/listener_windows.h"

#include <QThread>

#include <algorithm>

namespace {

// Asks a listener's loop to stop, ends its thread's event loop and waits for it, so that no
// thread outlives its device manager.
void stop_thread(QThread* thread)
{
    thread->requestInterruption();
    thread->quit();
    thread->wait();
    delete thread;
}

} // namespace

device_manager::device_manager()
    : m_impl(std::make_shared<impl>(this))
{
    auto* thread = new QThread();
    // Named, as the system lists the process's threads.
    thread->setObjectName("device watch");
    auto* listener = new listener_windows();
    listener->moveToThread(thread);
    connect(thread, SIGNAL(started()), listener, SLOT(start_listening()));
    connect(thread, SIGNAL(finished()), thread, SLOT(deleteLater()));
    connect(thread, SIGNAL(finished()), listener, SLOT(deleteLater()));
    connect(listener, SIGNAL(dev_changed()), this, SIGNAL(devices_changed()));
    m_watch_thread = thread;
    thread->start(QThread::InheritPriority);
}

device_manager::~device_manager()
{
    for (const QPointer<QThread>& finder : m_finder_threads)
        if (finder)
            stop_thread(finder);
    if (m_watch_thread)
        stop_thread(m_watch_thread);
}

std::vector<std::shared_ptr<device>> device_manager::get_devices()
{
    m_impl->m_enumerate_devices();
    return m_impl->devices;
}

void device_manager::unmount_device(device* dev, bool skip)
{
    m_impl->unmount_device(dev, skip);
}

bool device_manager::is_attached(const device& disk)
{
    const std::vector<std::shared_ptr<device>> attached = get_devices();
    return std::any_of(attached.begin(), attached.end(),
                       [&disk](const std::shared_ptr<device>& other) { return same_disk(*other, disk); });
}

bool device_manager::refused_as_in_use() const
{
    return m_impl->m_refused_in_use;
}

std::vector<device_manager::availability> device_manager::look_before_preparing(
    const std::vector<std::shared_ptr<device>>& disks)
{
    return m_impl->look_before_preparing(disks);
}

void device_manager::release_device(device* dev)
{
    m_impl->release_device(dev);
}

void device_manager::stop_preparation()
{
    m_impl->stop_preparation();
    for (const QPointer<QThread>& finder : m_finder_threads)
        if (finder)
            stop_thread(finder);
    m_finder_threads.clear();
}

void device_manager::m_track_finder(QThread* thread)
{
    m_finder_threads.erase(std::remove_if(m_finder_threads.begin(), m_finder_threads.end(),
                                          [](const QPointer<QThread>& finder) { return finder.isNull(); }),
                           m_finder_threads.end());
    m_finder_threads.emplace_back(thread);
}
