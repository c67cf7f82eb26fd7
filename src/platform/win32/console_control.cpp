// The console's control events as signals bring them here: Ctrl-C (SIGINT), a closed terminal
// (SIGHUP) and a stop from the system or a service manager (SIGTERM).

#include <windows.h>

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace {

std::atomic<PHANDLER_ROUTINE> console_handler {nullptr};

void on_signal(int signal_number)
{
    const PHANDLER_ROUTINE handler = console_handler;
    if (!handler)
        return;
    handler(signal_number == SIGINT ? CTRL_C_EVENT
                : signal_number == SIGHUP ? CTRL_CLOSE_EVENT
                                          : CTRL_SHUTDOWN_EVENT);
}

} // namespace

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add)
{
    if (!handler || !add)
        return FALSE;
    console_handler = handler;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, on_signal);
    return TRUE;
}
