#include "file_size_limit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

namespace {

bool lower_limit(const rlimit& limit)
{
    // Without this the kernel ends the process at the limit instead of failing the write.
    std::signal(SIGXFSZ, SIG_IGN);
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

} // namespace

namespace file_size_limit {

int run_limited(qint64 limit, const std::function<int()>& work)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (!lower_limit({rlim_t(limit), rlim_t(limit)}))
            _exit(255);
        const int result = work();
        std::fflush(nullptr);
        _exit(result);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

scoped::scoped(qint64 limit)
{
    getrlimit(RLIMIT_FSIZE, &m_before);
    if (limit < 0)
        return;
    rlimit lowered = m_before;
    lowered.rlim_cur = rlim_t(limit);
    lower_limit(lowered);
}

scoped::~scoped()
{
    setrlimit(RLIMIT_FSIZE, &m_before);
}

} // namespace file_size_limit
