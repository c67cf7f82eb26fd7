#pragma once
// A real full disk for tests, without root: `work` runs in a child process whose files cannot
// grow past a limit. A write past it fails with EFBIG, as on a file system without space left.

#include <QtGlobal>

#include <functional>

namespace file_size_limit {

// Runs `work` in a forked child whose files cannot grow past `limit` bytes; returns what
// `work` returned (0 to 255), or -1 when the child did not end normally.
int run_limited(qint64 limit, const std::function<int()>& work);

} // namespace file_size_limit
