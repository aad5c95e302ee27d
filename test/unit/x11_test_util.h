// Helpers shared by the X11 driver tests: one private Xvfb per test
// program, the library's video on it, a second X connection acting as a
// peer client, and event collection with deadlines.
#ifndef JEX_X11_TEST_UTIL_H
#define JEX_X11_TEST_UTIL_H

#include <gtest/gtest.h>

#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_video.h"
#include "video/sysvideo.h"
#include "video/x11/x11_video.h"
#include "video/x11/x11_window.h"
#include "xvfb_fixture.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace x11test {

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

inline std::string Hex(Window w)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%lx", static_cast<unsigned long>(w));
    return buf;
}

// The server is shared by the tests of one program; the library's video and
// the peer connection are per test.
class X11DriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new jextest::Xvfb(); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server_->ok()) << server_->error();
        // The peer's own hold on the X libraries, so that it outlives video
        // restarts inside a test.
        ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        peer_ = X11.XOpenDisplay(nullptr);
        ASSERT_NE(peer_, nullptr);
    }

    void TearDown() override
    {
        if (peer_) {
            X11.XCloseDisplay(peer_);
            peer_ = nullptr;
        }
        JEX_VideoQuit();
        JEX_X11_UnloadSymbols();
    }

    // Pumps and collects events until `done` holds for one of them or the
    // time runs out; true when it held.
    bool PumpUntil(const std::function<bool(const JEX_Event &)> &done, int timeout_ms = 3000)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            JEX_PumpEvents();
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

    // Pumps for a while and keeps everything that arrives.
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

    // A shown window whose map the server has confirmed.
    JEX_Window *ShownWindow(const char *title, int x, int y, int w, int h, Uint32 flags = 0)
    {
        JEX_Window *window = JEX_CreateWindow(title, x, y, w, h, flags);
        EXPECT_NE(window, nullptr) << JEX_GetError();
        if (!window)
            return nullptr;
        JEX_ShowWindow(window);
        EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_SHOWN));
        return window;
    }

    std::vector<JEX_Event> events_;
    Display *peer_ = nullptr;
    static jextest::Xvfb *server_;
};

inline jextest::Xvfb *X11DriverTest::server_ = nullptr;

}  // namespace x11test

#endif  // JEX_X11_TEST_UTIL_H
