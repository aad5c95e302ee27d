// Runs part of a test in a forked child with standard input fed and standard
// error captured. code is the exit status, or 128 + the signal that killed
// the child; a child still running after a minute ends with 99.
#ifndef JEX_TEST_CHILD_PROCESS_H
#define JEX_TEST_CHILD_PROCESS_H

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

struct ChildResult {
    int code;
    std::string err;
};

template <typename Body>
ChildResult RunChild(Body body, const std::string &input = "")
{
    int err_pipe[2], in_pipe[2];
    if (pipe(err_pipe) != 0 || pipe(in_pipe) != 0)
        return {-1, "no pipe"};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(err_pipe[1], 2), dup2(in_pipe[0], 0);
        close(err_pipe[0]), close(in_pipe[1]);
        const rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        signal(SIGALRM, [](int) { _exit(99); });
        alarm(60);
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE})  // the sanitizers' handlers
            signal(sig, SIG_DFL);
        body();
        fflush(stderr);
        _exit(0);
    }
    close(err_pipe[1]), close(in_pipe[0]);
    ssize_t n = write(in_pipe[1], input.data(), input.size());
    close(in_pipe[1]);
    ChildResult result{0, ""};
    char buf[4096];
    while ((n = read(err_pipe[0], buf, sizeof(buf))) > 0)
        result.err.append(buf, static_cast<size_t>(n));
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

#endif
