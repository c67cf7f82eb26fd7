#include "cli/interruption.h"

#include <atomic>
#include <csignal>

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
    std::signal(SIGINT, on_interrupt);
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
