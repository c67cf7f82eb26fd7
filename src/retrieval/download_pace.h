#pragma once
// Watches that a download keeps a least pace: fewer bytes than wait_lengths'
// slow_download_bytes within one slow_download_window, and it is too slow to go on. Silence
// alone is caught by the network wait; this catches a server that trickles.

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>

class download_pace : public QObject {
    Q_OBJECT

public:
    download_pace();

    // A new download: the first window starts now, with the lengths in force now.
    void start();
    // `received` bytes of the download have arrived so far.
    void count(qint64 received);
    void stop();
    // Whether the download fell below the pace (too_slow() was sent).
    bool fell_short() const { return m_fell_short; }
    // Why it failed, in words for the user: "download too slow: under 1 KiB/s for 30 s".
    QString words() const;

signals:
    void too_slow();

private slots:
    void m_window_ended();

private:
    QTimer m_window;
    std::chrono::milliseconds m_window_length {0};
    std::int64_t m_least_bytes = 0;
    qint64 m_received = 0;
    qint64 m_received_before = 0;
    bool m_fell_short = false;
};
