// Runs a piece of a test in a forked child with its standard input fed and
// its standard error captured, so that exits, signals and printed reports
// can be checked; a child still running after the time-out is killed.
#ifndef JEX_TEST_CHILD_PROCESS_H
#define JEX_TEST_CHILD_PROCESS_H

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

struct ChildResult {
    int status = 0;  // as waitpid reports it
    bool timed_out = false;
    std::string err;
};

template <typename Body>
ChildResult RunChild(Body body, const std::string &input = "", int timeout_s = 60)
{
    int err_pipe[2], in_pipe[2];
    if (pipe(err_pipe) != 0 || pipe(in_pipe) != 0)
        return {-1, false, "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(err_pipe[1], 2);
        dup2(in_pipe[0], 0);
        close(err_pipe[0]), close(in_pipe[1]);
        const rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        // The sanitizers' own fatal-signal handlers would hide the library's.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE})
            signal(sig, SIG_DFL);
        body();
        fflush(stderr);
        _exit(0);
    }
    close(err_pipe[1]), close(in_pipe[0]);
    const ssize_t written = write(in_pipe[1], input.data(), input.size());
    (void)written;
    close(in_pipe[1]);
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    pollfd fd = {err_pipe[0], POLLIN, 0};
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (poll(&fd, 1, 100) <= 0)
            continue;
        const ssize_t n = read(err_pipe[0], buf, sizeof(buf));
        if (n <= 0)
            break;
        result.err.append(buf, static_cast<size_t>(n));
    }
    close(err_pipe[0]);
    while (waitpid(pid, &result.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &result.status, 0);
            break;
        }
        usleep(10000);
    }
    return result;
}

inline bool DiedBy(const ChildResult &r, int sig)
{
    return WIFSIGNALED(r.status) && WTERMSIG(r.status) == sig;
}
inline bool ExitedWith(const ChildResult &r, int code)
{
    return WIFEXITED(r.status) && WEXITSTATUS(r.status) == code;
}

#endif
