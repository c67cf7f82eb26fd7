#pragma once
// Ctrl-C (and the console's other stop events: a closed terminal, a stop from the system) as a
// request to stop: the run that watches for it ends its writes cleanly.

namespace cli {
namespace interruption {

// From now on those events set the request instead of ending the process.
void catch_interrupts();
bool requested();
// How often a run looks at the request.
const int poll_ms = 100;
// What Ctrl-C does.
void request();
void clear();

} // namespace interruption
} // namespace cli
