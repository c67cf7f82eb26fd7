#include "base/background_work.h"

#include <QThread>

background_work::~background_work()
{
    stop();
}

void background_work::start(std::function<void(const std::atomic<bool>& stop)> work,
                            QObject* context, std::function<void()> done)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    m_thread = QThread::create([stop, work = std::move(work)] { work(*stop); });
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    QObject::connect(m_thread, &QThread::finished, context, std::move(done));
    m_thread->start();
}

void background_work::stop()
{
    if (!m_thread)
        return;
    *m_stop = true;
    m_thread->wait();
}

void background_work::finish()
{
    if (m_thread)
        m_thread->wait();
}
