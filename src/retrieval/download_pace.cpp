#include "retrieval/download_pace.h"

#include "base/wait_lengths.h"

download_pace::download_pace()
{
    m_window.setSingleShot(true);
    connect(&m_window, SIGNAL(timeout()), this, SLOT(m_window_ended()));
}

void download_pace::start()
{
    const wait_lengths lengths = wait_lengths::current();
    m_window_length = lengths.slow_download_window;
    m_least_bytes = lengths.slow_download_bytes;
    m_received = 0;
    m_received_before = 0;
    m_fell_short = false;
    m_window.start(m_window_length);
}

void download_pace::count(qint64 received)
{
    m_received = received;
}

void download_pace::stop()
{
    m_window.stop();
}

QString download_pace::words() const
{
    const double per_second = double(m_least_bytes) * 1000.0 / double(m_window_length.count());
    const QString rate = per_second >= 1024 ? QString::number(per_second / 1024, 'g', 3) + " KiB/s"
                                            : QString::number(per_second, 'g', 3) + " bytes/s";
    return "download too slow: under " + rate + " for " + QString::number(m_window_length.count() / 1000.0, 'g', 3) + " s";
}

void download_pace::m_window_ended()
{
    const qint64 got = m_received - m_received_before;
    // Nothing at all is silence, which the network wait tells as such.
    if (got > 0 && got < m_least_bytes) {
        m_fell_short = true;
        emit too_slow();
        return;
    }
    m_received_before = m_received;
    m_window.start();
}
