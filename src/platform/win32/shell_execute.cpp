// "runas" starts the program through pkexec, in a session of its own, so that the elevated copy
// outlives this process. pkexec runs the program itself, so that a polkit action can name it
// and say why the password is asked, with the parameters as given. pkexec clears the
// environment, and nothing of it is passed here: which variables the copy needs (the display,
// the data folder) and how it takes them (its own options, of names it accepts) is the
// program's to say, so its caller puts them among the parameters, as it would on Windows for
// whatever it wants the elevated copy to know. A relaunch that pkexec does not carry out fails
// as a declined elevation does on Windows: SE_ERR_ACCESSDENIED, with ERROR_CANCELLED as the last
// error when the password dialog was dismissed, ERROR_ACCESS_DENIED when polkit could not ask
// or refused.

#include <shellapi.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int se_err_noassoc = 31;
// pkexec's own exit statuses: the password dialog dismissed; not authorised, or no agent to ask.
const int pkexec_dismissed = 126;
const int pkexec_not_authorized = 127;
// How long pkexec may take to end once it let go of the pipe: one that ran the program goes on
// running, one that gave up ends at once.
const int pkexec_exit_ms = 2000;

HINSTANCE shell_result(long value)
{
    return reinterpret_cast<HINSTANCE>(static_cast<LONG_PTR>(value));
}

std::string real_path(const std::string& file)
{
    char resolved[PATH_MAX];
    return realpath(file.c_str(), resolved) ? std::string(resolved) : file;
}

// pkexec runs the program from another working directory: make the path absolute. It is the
// real path, as a polkit action names it, whichever folder of PATH (/bin or /usr/bin) found it.
std::string resolve_program(const std::string& file)
{
    if (file.find('/') != std::string::npos)
        return real_path(file);
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "";
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos)
            end = directories.size();
        std::string candidate = directories.substr(start, end - start) + "/" + file;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return real_path(candidate);
        start = end + 1;
    }
    return file;
}

// The parameters as the started program's C runtime splits a Windows command line: blanks
// separate, quotes group, and backslashes are literal unless a quote follows them.
std::vector<std::string> split_parameters(const char* parameters)
{
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false;
    bool quoted = false;
    for (const char* next = parameters ? parameters : ""; *next;) {
        if (!quoted && (*next == ' ' || *next == '\t')) {
            if (in_argument)
                arguments.push_back(current);
            current.clear();
            in_argument = false;
            ++next;
            continue;
        }
        in_argument = true;
        if (*next == '\\') {
            size_t backslashes = 0;
            while (next[backslashes] == '\\')
                ++backslashes;
            const bool before_quote = next[backslashes] == '"';
            current.append(before_quote ? backslashes / 2 : backslashes, '\\');
            next += backslashes;
            // An odd count escapes the quote; an even one leaves it to group.
            if (before_quote && backslashes % 2 == 1) {
                current += '"';
                ++next;
            }
            continue;
        }
        if (*next == '"')
            quoted = !quoted;
        else
            current += *next;
        ++next;
    }
    if (in_argument)
        arguments.push_back(current);
    return arguments;
}

std::vector<std::string> elevated_command(const std::string& program,
                                          const std::vector<std::string>& arguments)
{
    std::vector<std::string> command {"pkexec", program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

struct spawn_result {
    // errno of a start that failed; 0 once the command ran.
    int start_error = 0;
    // The command's exit status, where it ended once it let go of the pipe; -1 while it runs.
    int exit_status = -1;
};

// The command's exit status if it ends within `ms`; -1 if it goes on running.
int exit_status_within(pid_t child, int ms)
{
    // Through syscall(): the C library's declaration lacks C linkage in C++.
    const int process = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (process >= 0) {
        pollfd ended {process, POLLIN, 0};
        int ready;
        do {
            ready = poll(&ended, 1, ms);
        } while (ready < 0 && errno == EINTR);
        close(process);
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts the command in a new session. pkexec serves only a caller that is still there (it asks
// polkit about its parent, and an orphan is refused), so this waits until pkexec is done with
// the password: it holds the write end of a pipe, which closes when pkexec starts the program
// (it marks every inherited descriptor close-on-exec) or gives up and ends. A failed start
// writes its errno there instead.
spawn_result spawn_detached(const std::vector<std::string>& command)
{
    std::vector<char*> arguments;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    int held_pipe[2];
    if (pipe2(held_pipe, O_CLOEXEC) != 0)
        return {errno, -1};

    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        close(held_pipe[0]);
        close(held_pipe[1]);
        return {error, -1};
    }
    if (child == 0) {
        setsid();
        fcntl(held_pipe[1], F_SETFD, 0);
        execvp(arguments[0], arguments.data());
        int error = errno;
        (void)!write(held_pipe[1], &error, sizeof error);
        _exit(127);
    }

    close(held_pipe[1]);
    int exec_error = 0;
    ssize_t received;
    do {
        received = read(held_pipe[0], &exec_error, sizeof exec_error);
    } while (received < 0 && errno == EINTR);
    close(held_pipe[0]);
    if (received == sizeof exec_error) {
        waitpid(child, nullptr, 0);
        return {exec_error, -1};
    }
    // Reaped when it has ended; one that became the elevated program lives on.
    return {0, exit_status_within(child, pkexec_exit_ms)};
}

} // namespace

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR,
                               int)
{
    // Only the elevated relaunch is needed here.
    if (!operation || std::strcmp(operation, "runas") != 0)
        return shell_result(se_err_noassoc);
    if (!file || !*file)
        return shell_result(ERROR_FILE_NOT_FOUND);

    const spawn_result started =
        spawn_detached(elevated_command(resolve_program(file), split_parameters(parameters)));
    if (started.start_error == ENOENT)
        return shell_result(ERROR_FILE_NOT_FOUND);
    if (started.start_error != 0)
        return shell_result(ERROR_ACCESS_DENIED);
    if (started.exit_status == pkexec_dismissed || started.exit_status == pkexec_not_authorized) {
        SetLastError(started.exit_status == pkexec_dismissed ? ERROR_CANCELLED : ERROR_ACCESS_DENIED);
        return shell_result(SE_ERR_ACCESSDENIED);
    }
    return shell_result(42);
}
