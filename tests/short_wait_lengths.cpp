// The test build's waits: the program's, made short, so that no test sleeps through a real
// 15 or 30 seconds. Set before main() runs, for the test programs and for the program as the
// tests start it; a test that looks at a wait's end sets the lengths it needs itself.

#include "base/wait_lengths.h"

namespace {

wait_lengths short_lengths()
{
    using std::chrono::milliseconds;
    wait_lengths lengths;
    lengths.settle = milliseconds(100);
    lengths.volume_wait = milliseconds(2000);
    lengths.volume_poll = milliseconds(10);
    lengths.usb_poll = milliseconds(50);
    lengths.repeat_delay = milliseconds(150);
    lengths.download_poll = milliseconds(20);
    // Long enough that no local transfer falls silent on a busy machine.
    lengths.network_silence = milliseconds(10000);
    // Long enough that no kept image is given up for lagging on a busy machine: the tests that
    // look at a kept image expect it whole.
    lengths.kept_image_patience = milliseconds(60000);
    return lengths;
}

struct shorten_waits {
    shorten_waits() { wait_lengths::set(short_lengths()); }
} const shortened;

} // namespace
