#include "file_size_limit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace file_size_limit {

int run_limited(qint64 limit, const std::function<int()>& work)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // Without this the kernel ends the process at the limit instead of failing the write.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size {rlim_t(limit), rlim_t(limit)};
        if (setrlimit(RLIMIT_FSIZE, &size) != 0)
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

} // namespace file_size_limit
