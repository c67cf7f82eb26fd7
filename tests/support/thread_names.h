#pragma once
// The program's threads in this process, by the names it gives them ("device watch", "volume
// finder"): Qt's and the libraries' threads come and go on their own, on a busy machine at any
// time, so a count of all threads proves nothing.

int threads_named(const char* name);
