// Window events: record updates, redundancy, coalescing of moves and
// resizes, quit on closing the last window, focus events from the keyboard,
// mouse and touch records, and driver-side events replayed by the pump.
#include "test_video_driver.h"

#include "events/events_internal.h"
#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "events/touch_internal.h"
#include "events/windowevents_internal.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

class WindowEventsTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    JEX_Window *a = nullptr;
    JEX_Window *b = nullptr;

    void SetUp() override
    {
        drv.displays[0].modes = {Mode(1024, 768), Mode(640, 480)};
        ASSERT_EQ(drv.Start(), 0);
        a = JEX_CreateWindow("a", 10, 10, 300, 200, JEX_WINDOW_HIDDEN);
        b = JEX_CreateWindow("b", 20, 20, 300, 200, JEX_WINDOW_HIDDEN);
        ASSERT_TRUE(a && b);
        drv.Take();
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    }
    void TearDown() override { JEX_VideoQuit(); }

    int Send(JEX_Window *w, int code, int p1 = 0, int p2 = 0)
    {
        return JEX_SendWindowEvent(w, Uint8(code), p1, p2);
    }
};

TEST_F(WindowEventsTest, RedundantReportsPostNothing)
{
    EXPECT_EQ(Send(nullptr, JEX_WINDOWEVENT_SHOWN), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_HIDDEN), 0) << "never shown";
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_SHOWN), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_SHOWN), 0);
    EXPECT_EQ(JEX_GetWindowFlags(a) & (JEX_WINDOW_SHOWN | JEX_WINDOW_HIDDEN),
              Uint32(JEX_WINDOW_SHOWN));
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESTORED), 0) << "neither minimised nor maximised";
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MINIMIZED), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MAXIMIZED), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MAXIMIZED), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESTORED), 1);
    EXPECT_EQ(JEX_GetWindowFlags(a) & (JEX_WINDOW_MINIMIZED | JEX_WINDOW_MAXIMIZED), 0u);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_LEAVE), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_ENTER), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_ENTER), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_FOCUS_LOST), 0);
    // Codes without a record change are never redundant.
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_EXPOSED), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_EXPOSED), 1);
    EXPECT_EQ(Send(a, 200), 1);
    EXPECT_EQ(TakeWindowEventText(),
              (Log{"1:1", "7:1", "8:1", "9:1", "10:1", "3:1", "3:1", "200:1"}));
    // SHOWN raised the window; MINIMIZED and RESTORED ran their hooks.
    EXPECT_EQ(drv.Take(), (Log{"RaiseWindow(1)", "RaiseWindow(1)"}));
}

TEST_F(WindowEventsTest, MovesUpdateTheWindowedRectAndCoalesce)
{
    // Moving to the current place posts nothing but still records it.
    a->windowed.x = -1;
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 10, 10), 0);
    EXPECT_EQ(a->windowed.x, 10);
    // An undefined position is ignored entirely.
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, JEX_WINDOWPOS_UNDEFINED, 50), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 50, int(JEX_WINDOWPOS_UNDEFINED_MASK | 7)), 0);
    EXPECT_TRUE(a->x == 10 && a->windowed.x == 10) << a->x << " " << a->windowed.x;

    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 1, 2), 1);
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_MOVED, 5, 6), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_EXPOSED), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 3, 4), 1);
    EXPECT_EQ(TakeWindowEventText(), (Log{"4:2@5,6", "3:1", "4:1@3,4"}));
    EXPECT_TRUE(a->x == 3 && a->windowed.y == 4) << a->x << " " << a->windowed.y;
}

TEST_F(WindowEventsTest, PlatformResizeLeavesOneResizedRecord)
{
    std::vector<std::string> watched;
    auto watcher = [](void *userdata, JEX_Event *event) {
        if (event->type == JEX_WINDOWEVENT)
            static_cast<std::vector<std::string> *>(userdata)->push_back(Describe(event->window));
        return 1;
    };
    JEX_AddEventWatch(watcher, &watched);
    a->surface_valid = 1;
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_RESIZED, 50, 50), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 400, 300), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 410, 310), 1);
    JEX_DelEventWatch(watcher, &watched);
    EXPECT_EQ(TakeWindowEventText(), (Log{"5:2@50,50", "5:1@410,310"}));
    EXPECT_EQ(watched, (Log{"6:2@50,50", "5:2@50,50", "6:1@400,300", "5:1@400,300", "6:1@410,310",
                            "5:1@410,310"}));
    EXPECT_TRUE(a->surface_valid == 0 && a->windowed.w == 410) << a->windowed.w;
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 410, 310), 0);

    // A core resize posts only SIZE_CHANGED, and it replaces a pending
    // RESIZED of the same window.
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 420, 320), 1);
    JEX_SetWindowSize(a, 500, 400);
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@500,400"}));

    // Full-screen windows change size without touching the windowed rect.
    a->flags |= JEX_WINDOW_FULLSCREEN;
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 640, 480), 1);
    EXPECT_TRUE(a->w == 640 && a->windowed.w == 500) << a->w << " " << a->windowed.w;
    a->flags &= ~Uint32(JEX_WINDOW_FULLSCREEN);
}

TEST_F(WindowEventsTest, ClosingTheLastWindowAsksToQuit)
{
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_CLOSE), 1);
    EXPECT_EQ(CountQueued(JEX_QUIT), 0) << "another window is still open";
    JEX_DestroyWindow(a);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);

    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_CLOSE), 1);
    JEX_Event events[4];
    ASSERT_EQ(JEX_PeepEvents(events, 4, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT), 2);
    EXPECT_TRUE(events[0].type == JEX_WINDOWEVENT &&
                events[0].window.event == JEX_WINDOWEVENT_CLOSE && events[1].type == JEX_QUIT);

    // The quit request does not depend on window events being enabled.
    JEX_EventState(JEX_WINDOWEVENT, JEX_DISABLE);
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_CLOSE), 0);
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    EXPECT_EQ(CountQueued(JEX_WINDOWEVENT), 0);
    JEX_EventState(JEX_WINDOWEVENT, JEX_ENABLE);
}

TEST_F(WindowEventsTest, DisabledWindowEventsStillUpdateAndRunHooks)
{
    JEX_SetWindowGrab(a, JEX_TRUE);
    JEX_EventState(JEX_WINDOWEVENT, JEX_DISABLE);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_FOCUS_GAINED), 0);
    EXPECT_EQ(JEX_GetWindowFlags(a) & JEX_WINDOW_INPUT_FOCUS, Uint32(JEX_WINDOW_INPUT_FOCUS));
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)"}));
    EXPECT_EQ(JEX_GetFocusWindow(), a);
    JEX_EventState(JEX_WINDOWEVENT, JEX_ENABLE);
    EXPECT_EQ(CountQueued(JEX_WINDOWEVENT), 0);
}

TEST_F(WindowEventsTest, FocusMovesReportLossBeforeGain)
{
    JEX_SetKeyboardFocus(a);
    drv.Take();
    TakeWindowEvents();
    JEX_SetKeyboardFocus(b);
    EXPECT_EQ(JEX_GetKeyboardFocus(), b);
    EXPECT_EQ(TakeWindowEventText(), (Log{"13:1", "12:2"}));
    EXPECT_EQ(drv.Take(), (Log{"StopTextInput()", "StartTextInput()"}));
    JEX_SetKeyboardFocus(b);  // same window: the gain is redundant
    EXPECT_TRUE(TakeWindowEvents().empty());
    JEX_SetKeyboardFocus(nullptr);
    EXPECT_EQ(TakeWindowEventText(), (Log{"13:2"}));

    JEX_SetMouseFocus(a);
    JEX_SetMouseFocus(a);
    JEX_SetMouseFocus(b);
    EXPECT_EQ(JEX_GetMouseFocus(), b);
    EXPECT_EQ(TakeWindowEventText(), (Log{"10:1", "11:1", "10:2"}));
    // Motion reported for another window moves the focus first.
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 1000, -5), 1);
    EXPECT_EQ(TakeWindowEventText(), (Log{"11:2", "10:1"}));
    int x, y;
    JEX_GetMouseState(&x, &y);
    EXPECT_TRUE(x == 299 && y == 0) << x << "," << y << " not clamped to the focus window";
    JEX_SetMouseFocus(nullptr);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);

    // Two touch devices on one window: only the last one leaving reports it.
    JEX_Touch templ;
    std::memset(&templ, 0, sizeof(templ));
    templ.id = 1;
    ASSERT_EQ(JEX_AddTouch(&templ, "one"), 0);
    templ.id = 2;
    ASSERT_EQ(JEX_AddTouch(&templ, "two"), 1);
    EXPECT_STREQ(JEX_GetTouchName(2), "two");
    JEX_SetTouchFocus(1, a);
    JEX_SetTouchFocus(2, a);
    JEX_SetTouchFocus(1, nullptr);
    EXPECT_EQ(TakeWindowEventText(), (Log{"10:1"}));
    JEX_SetTouchFocus(2, nullptr);
    EXPECT_EQ(TakeWindowEventText(), (Log{"11:1"}));
    JEX_DelTouch(1);
    EXPECT_EQ(JEX_GetNumTouch(), 1);
    EXPECT_EQ(JEX_GetTouchIndexId(2), 0);
    JEX_TouchQuit();
    EXPECT_EQ(JEX_GetNumTouch(), 0);
}

TEST_F(WindowEventsTest, DriverEventsArriveThroughThePump)
{
    const int sent[][3] = {{JEX_WINDOWEVENT_SHOWN, 0, 0},
                           {JEX_WINDOWEVENT_MOVED, 40, 50},
                           {JEX_WINDOWEVENT_RESIZED, 320, 240},
                           {JEX_WINDOWEVENT_MOVED, 41, 51},
                           {JEX_WINDOWEVENT_CLOSE, 0, 0}};
    for (const auto &e : sent)
        drv.script.push_back([win = a, e] { JEX_SendWindowEvent(win, Uint8(e[0]), e[1], e[2]); });
    JEX_Event event;
    std::vector<std::string> seen;
    while (JEX_PollEvent(&event)) {
        ASSERT_EQ(event.type, Uint32(JEX_WINDOWEVENT));
        seen.push_back(Describe(event.window));
    }
    EXPECT_EQ(seen, (Log{"1:1", "5:1@320,240", "4:1@41,51", "14:1"}));
    // One pump per poll: four events, then the empty poll.
    EXPECT_EQ(drv.Take(), (Log{"PumpEvents()", "RaiseWindow(1)", "PumpEvents()", "PumpEvents()",
                               "PumpEvents()", "PumpEvents()"}));
    EXPECT_TRUE(a->x == 41 && a->w == 320) << a->x << " " << a->w;
}

TEST_F(WindowEventsTest, SignalsBecomeOneQuitAtTheNextPump)
{
    raise(SIGINT);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
}

}  // namespace
