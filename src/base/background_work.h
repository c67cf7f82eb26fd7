#pragma once
// Work on an image (checking or unpacking gigabytes) on a thread of its own that can be asked
// to stop, so that the event loop is never held up by it.

#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

class QObject;
class QThread;

class background_work {
public:
    background_work() = default;
    background_work(const background_work&) = delete;
    background_work& operator=(const background_work&) = delete;
    // Stops the work still running and waits for it.
    ~background_work();

    // Runs `work` on a new thread; it should return soon after its flag is set. `done` runs in
    // `context`'s thread once `work` has returned, stopped or not.
    void start(std::function<void(const std::atomic<bool>& stop)> work, QObject* context,
               std::function<void()> done);
    // Asks the running work to stop and waits until it has returned.
    void stop();
    // Waits until the running work has returned, without asking it to stop.
    void finish();

private:
    QPointer<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop;
};
