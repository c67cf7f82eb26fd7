#pragma once
// A real full disk for tests, without root: files cannot grow past a limit, either in a child
// process or in this one for a while. A write past it fails with EFBIG, as on a file system
// without space left.

#include <QtGlobal>

#include <functional>

#include <sys/resource.h>

namespace file_size_limit {

// Runs `work` in a forked child whose files cannot grow past `limit` bytes; returns what
// `work` returned (0 to 255), or -1 when the child did not end normally.
int run_limited(qint64 limit, const std::function<int()>& work);

// Lowers this process's limit while it lives; a negative limit leaves it alone.
class scoped {
public:
    explicit scoped(qint64 limit);
    ~scoped();
    scoped(const scoped&) = delete;
    scoped& operator=(const scoped&) = delete;

private:
    rlimit m_before {};
};

} // namespace file_size_limit
