#pragma once
// Ctrl-C, a closed terminal and kill reach the demo through its event loop rather than ending it
// on the spot, so that it still stops the program and removes its fake host: the sticks' files
// hold every image written to them, gigabytes after a few flashes.

#include <QObject>

class QSocketNotifier;

class stop_signals : public QObject {
    Q_OBJECT

public:
    // From now on SIGINT, SIGTERM and SIGHUP are reported by received(); one object at a time.
    explicit stop_signals(QObject* parent = nullptr);
    ~stop_signals() override;

signals:
    void received(int signal_number);

private slots:
    void m_read();

private:
    QSocketNotifier* m_notifier;
};
