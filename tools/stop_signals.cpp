#include "stop_signals.h"

#include <QSocketNotifier>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const int caught[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may only write: the event loop reads the signal's number from the other end.
int signal_pair[2] = {-1, -1};

void on_signal(int signal_number)
{
    const char number = static_cast<char>(signal_number);
    (void)!write(signal_pair[0], &number, 1);
}

} // namespace

stop_signals::stop_signals(QObject* parent)
    : QObject(parent)
{
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pair);
    m_notifier = new QSocketNotifier(signal_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &stop_signals::m_read);
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : caught)
        sigaction(signal_number, &action, nullptr);
}

stop_signals::~stop_signals()
{
    delete m_notifier;
    for (int signal_number : caught)
        std::signal(signal_number, SIG_DFL);
    close(signal_pair[0]);
    close(signal_pair[1]);
}

void stop_signals::m_read()
{
    char number = 0;
    if (read(signal_pair[1], &number, 1) == 1)
        emit received(number);
}
