// A private X server for the tests that need one. Xvfb is started on the
// first free display number from :90 upward, the test process's DISPLAY
// points at it (never at the caller's own display) while it runs, and it is
// stopped at the end. A server that cannot be started is a failure, not a
// skip: tests that were asked to run on X must not pass without it.
#ifndef JEX_XVFB_FIXTURE_H
#define JEX_XVFB_FIXTURE_H

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace jextest {

struct XvfbOptions {
    // One entry per screen: "WIDTHxHEIGHTxDEPTH".
    std::vector<std::string> screens{"1024x768x24"};
    // Further arguments, e.g. {"-extension", "RANDR"} or {"+xinerama"}.
    std::vector<std::string> extra_args;
};

class Xvfb {
public:
    explicit Xvfb(XvfbOptions options = {}) : options_(std::move(options))
    {
        if (const char *old = std::getenv("DISPLAY"))
            saved_display_ = old;
        for (int n = 90; n < 200 && pid_ <= 0; ++n) {
            if (Taken(n))
                continue;
            TryStart(n);
        }
        if (pid_ > 0) {
            name_ = ":" + std::to_string(number_);
            setenv("DISPLAY", name_.c_str(), 1);
        } else if (error_.empty()) {
            error_ = "no free X display number between :90 and :199";
        }
    }

    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb &) = delete;
    Xvfb &operator=(const Xvfb &) = delete;

    bool ok() const { return pid_ > 0; }
    const std::string &error() const { return error_; }
    const std::string &name() const { return name_; }
    int number() const { return number_; }

    void Stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            reaped = waitpid(pid_, nullptr, WNOHANG) == pid_;
            if (!reaped)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!reaped) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        if (saved_display_)
            setenv("DISPLAY", saved_display_->c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

    // A display number nothing listens on, for tests of a dead display.
    static int UnusedDisplayNumber()
    {
        for (int n = 250; n > 200; --n)
            if (!Taken(n))
                return n;
        return 299;
    }

private:
    static bool Exists(const std::string &path)
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    static bool Taken(int n)
    {
        return Exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
               Exists("/tmp/.X" + std::to_string(n) + "-lock");
    }

    // Starts Xvfb on :n and waits for it to say it accepts connections
    // (-displayfd writes the number once the server is ready). A server that
    // exits early, e.g. because another one won the number, is reaped.
    void TryStart(int n)
    {
        int fds[2];
        if (pipe(fds) != 0) {
            error_ = std::string("pipe: ") + std::strerror(errno);
            return;
        }
        std::vector<std::string> args{"Xvfb", ":" + std::to_string(n)};
        for (size_t i = 0; i < options_.screens.size(); ++i)
            args.insert(args.end(), {"-screen", std::to_string(i), options_.screens[i]});
        args.insert(args.end(),
                    {"-nolisten", "tcp", "-noreset", "-displayfd", std::to_string(fds[1])});
        args.insert(args.end(), options_.extra_args.begin(), options_.extra_args.end());

        // Everything the child needs is built before fork: only
        // async-signal-safe calls may follow it in a threaded process.
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const pid_t pid = fork();
        if (pid < 0) {
            error_ = std::string("fork: ") + std::strerror(errno);
            close(fds[0]);
            close(fds[1]);
            return;
        }
        if (pid == 0) {
            // A test program that crashes takes its server with it.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            const int null_fd = open("/dev/null", O_RDWR);
            if (null_fd >= 0) {
                dup2(null_fd, 0);
                dup2(null_fd, 1);
                dup2(null_fd, 2);
            }
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);

        std::string answer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        bool ready = false;
        while (!ready && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[32];
                const ssize_t got = read(fds[0], buf, sizeof(buf));
                if (got <= 0)
                    break;  // the server closed the pipe: it exited
                answer.append(buf, size_t(got));
                ready = answer.find('\n') != std::string::npos;
            }
        }
        close(fds[0]);
        if (ready && std::atoi(answer.c_str()) == n) {
            pid_ = pid;
            number_ = n;
            return;
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        error_ = "Xvfb :" + std::to_string(n) + " did not start" +
                 (WIFEXITED(status) && WEXITSTATUS(status) == 127 ? " (Xvfb not installed)" : "");
    }

    XvfbOptions options_;
    std::optional<std::string> saved_display_;
    std::string name_;
    std::string error_;
    pid_t pid_ = -1;
    int number_ = -1;
};

// Runs a shell command against the current DISPLAY; its standard output,
// or nullopt when it could not run or exited non-zero.
inline std::optional<std::string> RunCommand(const std::string &command)
{
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof(buf), pipe)) > 0)
        out.append(buf, got);
    const int status = pclose(pipe);
    if (status != 0)
        return std::nullopt;
    return out;
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace jextest

#endif  // JEX_XVFB_FIXTURE_H
