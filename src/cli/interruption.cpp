#include "cli/interruption.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace {

// Lock-free, so that the signal handler may set it.
std::atomic<bool> interrupt_requested {false};
static_assert(std::atomic<bool>::is_always_lock_free);

void on_interrupt(int)
{
    interrupt_requested = true;
}

} // namespace

namespace cli {
namespace interruption {

void catch_interrupts()
{
    // A closed terminal and a service manager's stop end a run as Ctrl-C does: writes stopped
    // cleanly, nothing half-made left behind.
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, on_interrupt);
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
