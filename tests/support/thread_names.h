#pragma once
// The program's threads in this process, by the names it gives them ("device watch", "volume
// finder"): Qt's and the libraries' threads come and go on their own, on a busy machine at any
// time, so a count of all threads proves nothing.

int threads_named(const char* name);

// Waits until no thread of that name is left: one that an earlier test ended stays listed for
// some moments after it has returned, until the system has reaped it. False when one stays.
bool no_thread_named(const char* name);
