#include "cli/interruption.h"

#include <windows.h>

#include <atomic>

namespace {

// Lock-free, so that the console's handler may set it: a signal handler through the Win32
// layer, a thread of its own on Windows.
std::atomic<bool> interrupt_requested {false};
static_assert(std::atomic<bool>::is_always_lock_free);

BOOL WINAPI on_console_event(DWORD)
{
    interrupt_requested = true;
    return TRUE;
}

} // namespace

namespace cli {
namespace interruption {

void catch_interrupts()
{
    // Ctrl-C, Ctrl-Break, a closed console and a stop from the system all end a run the same
    // way: writes stopped cleanly, nothing half-made left behind.
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool requested()
{
    return interrupt_requested;
}

void request()
{
    interrupt_requested = true;
}

void clear()
{
    interrupt_requested = false;
}

} // namespace interruption
} // namespace cli
