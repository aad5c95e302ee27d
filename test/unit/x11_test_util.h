// Shared by the X11 driver tests: private Xvfb servers, video on them, a peer connection.
#ifndef JEX_X11_TEST_UTIL_H
#define JEX_X11_TEST_UTIL_H

#include <gtest/gtest.h>
#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_video.h"
#include "video/sysvideo.h"
#include "video/x11/x11_video.h"
#include "video/x11/x11_window.h"
#include "test_files.h"
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace x11test {

struct XvfbOptions {
    std::vector<std::string> screens{"1024x768x24"};  // "WIDTHxHEIGHTxDEPTH" each
    std::vector<std::string> extra_args;              // e.g. {"+xinerama"}
    bool resets = false;  // when its last client leaves, as a desktop session's may
};

// A private Xvfb on a free display, DISPLAY while it runs; one that cannot start fails the test.
class Xvfb {
public:
    explicit Xvfb(const XvfbOptions &options = {})
    {
        if (const char *old = std::getenv("DISPLAY"))
            saved_display_ = old;
        int fds[2];
        if (pipe(fds) != 0)
            return;
        std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten",
                                      "tcp"};
        for (size_t i = 0; i < options.screens.size(); ++i)
            args.insert(args.end(), {"-screen", std::to_string(i), options.screens[i]});
        if (!options.resets)
            args.push_back("-noreset");
        args.insert(args.end(), options.extra_args.begin(), options.extra_args.end());
        std::vector<char *> argv;  // built before fork: a threaded child may only exec
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test takes its server along
            close(fds[0]);
            const int null_fd = open("/dev/null", O_WRONLY);
            for (int fd = 1; fd <= 2 && null_fd >= 0; ++fd)
                dup2(null_fd, fd);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number once it accepts connections, or exits.
        FILE *in = fdopen(fds[0], "r");
        char line[32] = "";
        if (pid_ > 0 && in && std::fgets(line, sizeof(line), in))
            setenv("DISPLAY", (":" + std::string(line, std::strcspn(line, "\n"))).c_str(), 1);
        else
            Stop();
        if (in)
            std::fclose(in);
    }
    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb &) = delete;
    Xvfb &operator=(const Xvfb &) = delete;
    bool ok() const { return pid_ > 0; }
    std::string error() const { return "Xvfb did not start (is it installed?)"; }

    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        if (saved_display_)
            setenv("DISPLAY", saved_display_->c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

    // A display number nothing listens on.
    static int UnusedDisplayNumber()
    {
        struct stat st;
        int n = 250;
        while (stat(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), &st) == 0)
            ++n;
        return n;
    }

private:
    std::optional<std::string> saved_display_;
    pid_t pid_ = -1;
};

// Mesa keeps state from its first drawing for as long as its DRI driver
// is loaded; held resident, that state stays reachable and is no leak.
inline void KeepMesaResident()
{
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *) {
            if (std::strstr(info->dlpi_name, "_dri.so") || std::strstr(info->dlpi_name, "libGL"))
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline X11_VideoData *Data()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    return device ? static_cast<X11_VideoData *>(device->driverdata) : nullptr;
}

inline Window XidOf(JEX_Window *window)
{
    return window && window->driverdata ? static_cast<X11_WindowData *>(window->driverdata)->xwindow
                                        : None;
}

inline std::string Hex(unsigned long id)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%lx", id);
    return buf;
}

// A window's pixels as the server holds them, row by row (none when it cannot be read).
inline std::vector<Uint32> WindowPixels(Display *display, Window window, int w, int h)
{
    XImage *image = X11.XGetImage(display, window, 0, 0, w, h, AllPlanes, ZPixmap);
    std::vector<Uint32> out(image ? size_t(w) * h : 0);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Uint32(image->f.get_pixel(image, int(i % w), int(i / w)));
    if (image)
        image->f.destroy_image(image);
    return out;
}

// The first pixel of a w pixels wide image, masked to `mask`, whose bytes lie outside
// [want + low, want + high]; "" when none does.
inline std::string Differs(const std::vector<Uint32> &got, const std::vector<Uint32> &want, int w,
                           int low = 0, int high = 0, Uint32 mask = 0xFFFFFF)
{
    if (got.size() != want.size())
        return "no image";
    for (size_t i = 0; i < got.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            const int diff = int((got[i] & mask) >> shift & 255) - int(want[i] >> shift & 255);
            if (diff < low || diff > high)
                return "at " + std::to_string(i % w) + "," + std::to_string(i / w) + ": " +
                       Hex(got[i] & mask) + " instead of " + Hex(want[i] & mask);
        }
    return "";
}

// A server of the test's own; it outlives every connection (Xlib exits if it goes first).
class X11ServerTest : public ::testing::Test {
protected:
    void StartServer(XvfbOptions options = {})
    {
        server_ = std::make_unique<Xvfb>(std::move(options));
        ASSERT_TRUE(server_->ok()) << server_->error();
    }
    void StartVideo() { ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError(); }
    void TearDown() override
    {
        JEX_VideoQuit();
        server_.reset();
    }
    std::unique_ptr<Xvfb> server_;
};

// One server per program; video and the peer connection are per test.
class X11DriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new Xvfb(); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server_->ok()) << server_->error();
        // The peer's own hold on the X libraries outlives video restarts inside a test.
        ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        peer_ = X11.XOpenDisplay(nullptr);
        ASSERT_NE(peer_, nullptr);
    }

    void TearDown() override
    {
        if (peer_)
            X11.XCloseDisplay(peer_);
        peer_ = nullptr;
        JEX_VideoQuit();
        JEX_X11_UnloadSymbols();
    }

    // Pumps and collects events until `done` holds for one or `polled` after a pump.
    bool PumpUntil(const std::function<bool(const JEX_Event &)> &done, int timeout_ms = 3000,
                   const std::function<bool()> &polled = nullptr)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            JEX_PumpEvents();
            if (polled && polled())
                return true;
            JEX_Event e;
            while (JEX_PollEvent(&e)) {
                events_.push_back(e);
                if (done(e))
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void PumpFor(int ms)
    {
        PumpUntil([](const JEX_Event &) { return false; }, ms);
    }

    bool WaitWindowEvent(JEX_Window *window, Uint8 code, int timeout_ms = 3000)
    {
        const Uint32 id = JEX_GetWindowID(window);
        return PumpUntil(
            [&](const JEX_Event &e) {
                return e.type == JEX_WINDOWEVENT && e.window.window_id == id &&
                       e.window.event == code;
            },
            timeout_ms);
    }

    // A shown window whose map the server confirmed (the library's "shown" comes earlier).
    JEX_Window *ShownWindow(const char *title, int x, int y, int w, int h, Uint32 flags = 0)
    {
        JEX_Window *window = JEX_CreateWindow(title, x, y, w, h, flags);
        EXPECT_NE(window, nullptr) << JEX_GetError();
        if (!window)
            return nullptr;
        JEX_ShowWindow(window);
        EXPECT_TRUE(PumpUntil([](const JEX_Event &) { return false; }, 3000,
                              [&] { return Attributes(XidOf(window)).map_state == IsViewable; }));
        return window;
    }

    // A property read by the peer: its type and its 32-bit items (as longs) or bytes.
    struct Property {
        Atom type = None;
        std::vector<long> items;
        std::string bytes;
    };
    Property Read(Window w, const char *name, Atom type = AnyPropertyType)
    {
        Property p;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        const Atom atom = X11.XInternAtom(peer_, name, False);
        if (X11.XGetWindowProperty(peer_, w, atom, 0, 65536, False, type, &p.type, &format, &count,
                                   &after, &data) == Success &&
            data) {
            if (format == 32)
                p.items.assign(reinterpret_cast<long *>(data),
                               reinterpret_cast<long *>(data) + count);
            else if (format == 8)
                p.bytes.assign(reinterpret_cast<char *>(data), count);
        }
        if (data)
            X11.XFree(data);
        return p;
    }

    // The attributes the peer sees once both connections' requests reached the server.
    XWindowAttributes Attributes(Window w)
    {
        XWindowAttributes a{};
        X11.XSync(Data()->display, False);
        X11.XSync(peer_, False);
        X11.XGetWindowAttributes(peer_, w, &a);
        return a;
    }

    std::vector<JEX_Event> events_;
    Display *peer_ = nullptr;
    static Xvfb *server_;
};

inline Xvfb *X11DriverTest::server_ = nullptr;

}  // namespace x11test

#endif  // JEX_X11_TEST_UTIL_H
