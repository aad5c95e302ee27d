// Windows on the scripted test driver: every operation is checked against
// the driver calls it makes, in order, and the window events it posts.
#include "test_video_driver.h"

#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "events/touch_internal.h"
#include "events/windowevents_internal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

class WindowTest : public ::testing::Test {
protected:
    TestVideoDriver drv;

    void SetUp() override
    {
        drv.displays[0].modes = {Mode(1024, 768), Mode(800, 600), Mode(640, 480)};
    }
    void TearDown() override { JEX_VideoQuit(); }

    void Start()
    {
        ASSERT_EQ(drv.Start(), 0);
        drv.Take();
    }
    JEX_Window *Make(Uint32 flags = 0, int w = 640, int h = 480)
    {
        JEX_Window *window = JEX_CreateWindow(nullptr, 0, 0, w, h, flags);
        EXPECT_NE(window, nullptr) << JEX_GetError();
        return window;
    }
    JEX_VideoDisplay *Display(int i) { return &JEX_GetVideoDevice()->displays[i]; }
};

TEST_F(WindowTest, IdsListAndValidity)
{
    Start();
    JEX_Window *a = Make();
    JEX_Window *b = Make();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(JEX_GetWindowID(a), 1u);
    EXPECT_EQ(JEX_GetWindowID(b), 2u);
    EXPECT_EQ(JEX_GetVideoDevice()->windows, b);
    EXPECT_EQ(JEX_GetWindowFromID(1), a);
    JEX_DestroyWindow(a);
    EXPECT_EQ(JEX_GetWindowFromID(1), nullptr);
    EXPECT_EQ(JEX_GetWindowFromID(2), b);
    EXPECT_EQ(b->prev, nullptr);
    EXPECT_EQ(b->next, nullptr);

    // A record that is not a live window of this device.
    JEX_Window fake;
    std::memset(&fake, 0, sizeof(fake));
    fake.id = 2;
    EXPECT_EQ(JEX_GetWindowFlags(&fake), 0u);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    EXPECT_EQ(JEX_GetWindowID(nullptr), 0u);
    EXPECT_STREQ(JEX_GetWindowTitle(&fake), "");
    EXPECT_EQ(JEX_GetWindowBrightness(&fake), 1.0f);
    EXPECT_EQ(JEX_SetWindowFullscreen(&fake, JEX_TRUE), -1);
    EXPECT_EQ(JEX_GetWindowDisplay(&fake), -1);
    int x = 5, y = 5;
    JEX_GetWindowPosition(&fake, &x, &y);
    EXPECT_EQ(std::tuple(x, y), std::tuple(0, 0));
    JEX_DestroyWindow(&fake);
    drv.Take();
    JEX_ShowWindow(&fake);
    JEX_SetWindowTitle(&fake, "x");
    EXPECT_TRUE(drv.Take().empty()) << "an invalid window never reaches the driver";

    JEX_VideoQuit();
    EXPECT_EQ(JEX_GetWindowFromID(2), nullptr);
    EXPECT_EQ(JEX_GetWindowFlags(b), 0u);
    EXPECT_STREQ(JEX_GetError(), "Video subsystem has not been initialized");
}

TEST_F(WindowTest, CreationOrderFlagsAndCentring)
{
    Start();
    JEX_Window *w = JEX_CreateWindow("title", JEX_WINDOWPOS_CENTERED, JEX_WINDOWPOS_UNDEFINED, 640,
                                     480, JEX_WINDOW_RESIZABLE | JEX_WINDOW_SHOWN);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()", "CreateWindow(1)", "SetWindowTitle(1)",
                               "ShowWindow(1)", "RaiseWindow(1)"}));
    EXPECT_EQ(JEX_GetWindowFlags(w),
              Uint32(JEX_WINDOW_OPENGL | JEX_WINDOW_RESIZABLE | JEX_WINDOW_SHOWN));
    int x, y;
    JEX_GetWindowPosition(w, &x, &y);
    EXPECT_EQ(std::tuple(x, y, w->windowed.x, w->windowed.w), std::tuple(192, 144, 192, 640));
    EXPECT_EQ(TakeWindowEventText(), (Log{"1:1"}));

    // A display index beyond the displays counts as display 0.
    JEX_Window *v =
        JEX_CreateWindow(nullptr, JEX_WINDOWPOS_CENTERED_DISPLAY(5),
                         JEX_WINDOWPOS_UNDEFINED_DISPLAY(5), 640, 480, JEX_WINDOW_HIDDEN);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::tuple(v->x, v->y), std::tuple(192, 144));
    EXPECT_EQ(JEX_GetWindowFlags(v), Uint32(JEX_WINDOW_OPENGL | JEX_WINDOW_HIDDEN));
    EXPECT_EQ(drv.Take(), (Log{"CreateWindow(2)"}));
    EXPECT_TRUE(TakeWindowEventText().empty());
}

TEST_F(WindowTest, BadSizesAndFailedCreation)
{
    Start();
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 0, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Window width and height must be positive (0x10)");
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 10, -1, 0), nullptr);
    EXPECT_TRUE(drv.Take().empty()) << "the driver never sees a bad size";

    drv.failing = {"CreateWindow"};
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 10, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "scripted CreateWindow failure");
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()", "CreateWindow(1)", "DestroyWindow(1)",
                               "GL_UnloadLibrary()"}));
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
    drv.failing.clear();
    JEX_Window *w = Make();
    EXPECT_EQ(JEX_GetWindowID(w), 2u) << "the failed window's id is not reused";

    drv.Take();
    JEX_SetWindowSize(w, 0, 100);
    EXPECT_STREQ(JEX_GetError(), "Window width and height must be positive (0x100)");
    EXPECT_EQ(w->w, 640);
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(WindowTest, CreationFlagsAreFinishedInOrder)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MINIMIZED | JEX_WINDOW_INPUT_GRABBED);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()", "CreateWindow(1)", "MaximizeWindow(1)",
                               "MinimizeWindow(1)", "ShowWindow(1)", "RaiseWindow(1)"}));
    EXPECT_TRUE(JEX_GetWindowGrab(w));
    // Maximised and minimised come from the driver's events, not the core.
    EXPECT_EQ(JEX_GetWindowFlags(w) & (JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MINIMIZED), 0u);

    // Full screen at creation: shown, then the display switches.
    JEX_Window *f = Make(JEX_WINDOW_FULLSCREEN, 800, 600);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"CreateWindow(2)", "ShowWindow(2)", "RaiseWindow(2)",
                               "SetDisplayMode(0,800x600@60)", "SetWindowFullscreen(2,0,1)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, f);
    EXPECT_EQ(Display(0)->current_mode.w, 800);
}

TEST_F(WindowTest, TitleIconAndUserData)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_HIDDEN);
    drv.Take();
    JEX_SetWindowTitle(w, "hello");
    EXPECT_STREQ(JEX_GetWindowTitle(w), "hello");
    JEX_SetWindowTitle(w, w->title);  // the very pointer: nothing happens
    JEX_SetWindowTitle(w, "");
    EXPECT_EQ(w->title, nullptr);
    EXPECT_STREQ(JEX_GetWindowTitle(w), "");
    EXPECT_EQ(drv.Take(), (Log{"SetWindowTitle(1)", "SetWindowTitle(1)"}));

    JEX_SetWindowIcon(w, nullptr);
    JEX_Surface *icon = JEX_CreateRGBSurface(0, 16, 8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ASSERT_NE(icon, nullptr);
    JEX_SetWindowIcon(w, icon);
    JEX_FreeSurface(icon);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowIcon(1,16x8)"}));

    int p = 1, q = 2;
    EXPECT_EQ(JEX_SetWindowData(w, "a", &p), nullptr);
    EXPECT_EQ(JEX_SetWindowData(w, "b", &q), nullptr);
    EXPECT_EQ(JEX_SetWindowData(w, "a", &q), &p);
    EXPECT_EQ(JEX_GetWindowData(w, "a"), &q);
    EXPECT_EQ(JEX_GetWindowData(w, "A"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(JEX_SetWindowData(w, "a", nullptr), &q);
    EXPECT_EQ(JEX_GetWindowData(w, "a"), nullptr);
    EXPECT_EQ(JEX_SetWindowData(w, "a", nullptr), nullptr);
    EXPECT_EQ(JEX_GetWindowData(w, "b"), &q);
    EXPECT_EQ(JEX_SetWindowData(w, nullptr, &p), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'name' is invalid");
    // The remaining entry is released with the window (checked by ASan).
}

TEST_F(WindowTest, PositionAndSize)
{
    Start();
    JEX_Window *w = Make(0, 100, 50);
    drv.Take();
    TakeWindowEvents();

    JEX_SetWindowPosition(w, 10, 20);
    JEX_SetWindowPosition(w, JEX_WINDOWPOS_UNDEFINED, 30);  // x stays
    JEX_SetWindowPosition(w, JEX_WINDOWPOS_CENTERED, 30);
    EXPECT_EQ(std::tuple(w->x, w->y), std::tuple((1024 - 100) / 2, 30));
    EXPECT_EQ(drv.Take(),
              (Log{"SetWindowPosition(1)", "SetWindowPosition(1)", "SetWindowPosition(1)"}));
    // The second move coalesces with the third of the same window.
    EXPECT_EQ(TakeWindowEventText(), (Log{"4:1@462,30"}));
    EXPECT_EQ(w->windowed.x, 462);

    JEX_SetWindowSize(w, 200, 100);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowSize(1)"}));
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@200,100"}));
    int ww, hh;
    JEX_GetWindowSize(w, &ww, &hh);
    EXPECT_EQ(std::tuple(ww, hh), std::tuple(200, 100));

    // A driver that settles on another size reports it itself.
    drv.after["SetWindowSize"] = [](JEX_Window *win) { win->w = 190; };
    JEX_SetWindowSize(w, 300, 100);
    EXPECT_TRUE(TakeWindowEvents().empty());
    drv.after.erase("SetWindowSize");

    // Full screen: size and position are left alone and reported as 0.
    ASSERT_EQ(JEX_SetWindowFullscreen(w, JEX_TRUE), 0);
    drv.Take();
    TakeWindowEvents();
    JEX_SetWindowSize(w, 10, 10);
    JEX_SetWindowPosition(w, 5, 5);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_TRUE(TakeWindowEvents().empty());
    int x = -1, y = -1;
    JEX_GetWindowPosition(w, &x, &y);
    EXPECT_EQ(std::tuple(x, y), std::tuple(0, 0));
    JEX_GetWindowPosition(w, nullptr, nullptr);
    JEX_GetWindowSize(w, nullptr, &hh);
}

TEST_F(WindowTest, WindowDisplayAndPixelFormat)
{
    drv.displays.resize(2);
    drv.displays[1].desktop = Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565);
    Start();
    JEX_Window *w = Make(JEX_WINDOW_HIDDEN, 100, 100);
    EXPECT_EQ(JEX_GetWindowDisplay(w), 0);
    EXPECT_EQ(JEX_GetWindowPixelFormat(w), JEX_PIXELFORMAT_RGB888);
    JEX_SetWindowPosition(w, 1100, 10);  // centre inside display 1 at x 1024..1823
    EXPECT_EQ(JEX_GetWindowDisplay(w), 1);
    EXPECT_EQ(JEX_GetWindowPixelFormat(w), JEX_PIXELFORMAT_RGB565);
    JEX_SetWindowPosition(w, 5000, 5000);  // nowhere: the nearest centre wins
    EXPECT_EQ(JEX_GetWindowDisplay(w), 1);
    JEX_SetWindowPosition(w, -5000, 0);
    EXPECT_EQ(JEX_GetWindowDisplay(w), 0);
    // Far-off coordinates must not overflow the distance arithmetic.
    JEX_SetWindowPosition(w, 2000000000, 2000000000);
    EXPECT_EQ(JEX_GetWindowDisplay(w), 1);

    JEX_Window *c =
        JEX_CreateWindow(nullptr, JEX_WINDOWPOS_CENTERED_DISPLAY(1),
                         JEX_WINDOWPOS_CENTERED_DISPLAY(1), 200, 100, JEX_WINDOW_HIDDEN);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::tuple(c->x, c->y), std::tuple(1024 + 300, 250));
}

TEST_F(WindowTest, ShowHideRaiseMaximizeMinimizeRestore)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_HIDDEN);
    drv.Take();
    JEX_RaiseWindow(w);    // not shown: nothing
    JEX_HideWindow(w);     // not shown: nothing
    JEX_RestoreWindow(w);  // neither max nor min: nothing
    EXPECT_TRUE(drv.Take().empty());

    JEX_ShowWindow(w);
    JEX_ShowWindow(w);
    EXPECT_EQ(drv.Take(), (Log{"ShowWindow(1)", "RaiseWindow(1)"}));
    JEX_MaximizeWindow(w);
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_MAXIMIZED, 0, 0);
    JEX_MaximizeWindow(w);  // already maximised
    JEX_MinimizeWindow(w);
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_MINIMIZED, 0, 0);
    JEX_MinimizeWindow(w);
    JEX_RestoreWindow(w);
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_RESTORED, 0, 0);
    JEX_HideWindow(w);
    EXPECT_EQ(drv.Take(), (Log{"MaximizeWindow(1)", "MinimizeWindow(1)", "RestoreWindow(1)",
                               "RaiseWindow(1)", "HideWindow(1)"}));
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_OPENGL | JEX_WINDOW_HIDDEN));
    EXPECT_EQ(TakeWindowEventText(), (Log{"1:1", "8:1", "7:1", "9:1", "2:1"}));
}

TEST_F(WindowTest, FullscreenHandOverBetweenWindows)
{
    Start();
    JEX_Window *a = Make(0, 640, 480);
    JEX_Window *b = Make(0, 800, 600);
    drv.Take();
    TakeWindowEvents();

    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_TRUE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, a);
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@640,480"}));

    // b asks for the display: a is minimised, which hands the display on.
    ASSERT_EQ(JEX_SetWindowFullscreen(b, JEX_TRUE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,800x600@60)", "SetWindowFullscreen(2,0,1)",
                               "MinimizeWindow(1)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, b);

    // Hiding the owner gives the display to the other visible full-screen
    // window (a is not minimised: the driver never said so).
    JEX_HideWindow(b);
    EXPECT_EQ(drv.Take(),
              (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)", "HideWindow(2)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, a);

    // Hiding the last one restores the desktop mode.
    JEX_HideWindow(a);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,1024x768@60)", "SetWindowFullscreen(1,0,0)",
                               "HideWindow(1)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, nullptr);
    EXPECT_EQ(Display(0)->current_mode.w, 1024);

    // Showing a full-screen window again takes the display back.
    JEX_ShowWindow(a);
    EXPECT_EQ(drv.Take(), (Log{"ShowWindow(1)", "RaiseWindow(1)", "SetDisplayMode(0,640x480@60)",
                               "SetWindowFullscreen(1,0,1)"}));
    // Leaving full screen.
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_FALSE), 0);
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,1024x768@60)", "SetWindowFullscreen(1,0,0)"}));
}

TEST_F(WindowTest, FullscreenModeSizeAndResizeEvents)
{
    Start();
    JEX_Window *w = Make(0, 700, 500);
    drv.Take();
    TakeWindowEvents();
    JEX_DisplayMode mode;
    ASSERT_EQ(JEX_GetWindowDisplayMode(w, &mode), 0);
    EXPECT_EQ(mode.w, 800) << "the closest mode that fits 700x500";
    JEX_DisplayMode wanted = Mode(640, 480, 0, 0);
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, &wanted), 0);
    ASSERT_EQ(JEX_SetWindowFullscreen(w, JEX_TRUE), 0);
    EXPECT_EQ(std::tuple(w->w, w->windowed.w), std::tuple(640, 700))
        << "full-screen resizes keep the windowed size";
    EXPECT_EQ(TakeWindowEventText(), (Log{"5:1@640,480"}));
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)"}));

    wanted = Mode(4000, 4000, 0, 0);
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, &wanted), 0);
    EXPECT_EQ(JEX_GetWindowDisplayMode(w, &mode), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find display mode match");
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, nullptr), 0);
    EXPECT_EQ(w->fullscreen_mode.w, 0);
}

TEST_F(WindowTest, DestroyingTheOwnerRestoresTheDesktopEvenFromAnotherDisplay)
{
    drv.displays.resize(2);
    drv.displays[1].modes = {Mode(1024, 768), Mode(640, 480)};
    Start();
    JEX_Window *w = Make(JEX_WINDOW_FULLSCREEN, 640, 480);
    ASSERT_EQ(Display(0)->fullscreen_window, w);
    // The driver moved the window onto the other display without telling
    // the core through a hide; its position now names display 1.
    w->flags &= ~Uint32(JEX_WINDOW_FULLSCREEN);
    w->x = 1100;
    w->flags |= JEX_WINDOW_FULLSCREEN;
    drv.Take();
    JEX_DestroyWindow(w);
    EXPECT_EQ(Display(0)->fullscreen_window, nullptr);
    EXPECT_EQ(Display(0)->current_mode.w, 1024);
    Log log = drv.Take();
    EXPECT_NE(std::find(log.begin(), log.end(), "SetDisplayMode(0,1024x768@60)"), log.end());
}

TEST_F(WindowTest, DestroyingTheOwnerHandsTheDisplayOn)
{
    Start();
    JEX_Window *a = Make(JEX_WINDOW_FULLSCREEN, 640, 480);
    JEX_Window *b = Make(JEX_WINDOW_FULLSCREEN, 800, 600);
    ASSERT_EQ(Display(0)->fullscreen_window, b);
    drv.Take();
    JEX_DestroyWindow(b);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)",
                               "HideWindow(2)", "DestroyWindow(2)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, a);
    JEX_DestroyWindow(a);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,1024x768@60)", "SetWindowFullscreen(1,0,0)",
                               "HideWindow(1)", "DestroyWindow(1)", "GL_UnloadLibrary()"}));
    EXPECT_EQ(Display(0)->fullscreen_window, nullptr);
    EXPECT_EQ(Display(0)->current_mode.w, 1024);
}

TEST_F(WindowTest, FocusLossMinimisesFullscreenOnlyWithOneDisplay)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_FULLSCREEN);
    drv.Take();
    JEX_SetKeyboardFocus(w);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)", "StartTextInput()"}))
        << "full-screen windows grab while focused";
    JEX_SetKeyboardFocus(nullptr);
    EXPECT_EQ(drv.Take(),
              (Log{"SetWindowGrab(1)", "SetDisplayMode(0,1024x768@60)",
                   "SetWindowFullscreen(1,0,0)", "MinimizeWindow(1)", "StopTextInput()"}));
    JEX_VideoQuit();

    drv.displays.resize(2);
    Start();
    w = Make(JEX_WINDOW_FULLSCREEN);
    JEX_SetKeyboardFocus(w);
    drv.Take();
    JEX_SetKeyboardFocus(nullptr);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)", "StopTextInput()"}));
    EXPECT_EQ(Display(0)->fullscreen_window, w);
}

TEST_F(WindowTest, GrabReachesTheDriverOnlyWithFocusAndOnChange)
{
    Start();
    JEX_Window *w = Make();
    drv.Take();
    JEX_SetWindowGrab(w, JEX_TRUE);
    JEX_SetWindowGrab(w, JEX_TRUE);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_TRUE(JEX_GetWindowGrab(w));
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_FOCUS_GAINED, 0, 0);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)"})) << "focus gain applies the grab";
    JEX_SetWindowGrab(w, JEX_FALSE);
    JEX_SetWindowGrab(w, JEX_FALSE);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)"}));
    EXPECT_FALSE(JEX_GetWindowGrab(w));
}

TEST_F(WindowTest, GammaWithoutDriverSupport)
{
    drv.Omit({"SetWindowGammaRamp", "GetWindowGammaRamp"});
    Start();
    JEX_Window *w = Make();
    Uint16 r[256], g[256], b[256];
    ASSERT_EQ(JEX_GetWindowGammaRamp(w, r, g, b), 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(r[i] == i * 0x101 && g[i] == r[i] && b[i] == r[i]) << i;
    EXPECT_EQ(JEX_GetWindowGammaRamp(w, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(JEX_SetWindowBrightness(w, 0.5f), -1);
    EXPECT_STREQ(JEX_GetError(), "That operation is not supported");
    EXPECT_EQ(JEX_GetWindowBrightness(w), 1.0f);
}

TEST_F(WindowTest, GammaRampsFollowTheInputFocus)
{
    Start();
    JEX_Window *w = Make();
    drv.Take();
    Uint16 red[256];
    for (int i = 0; i < 256; ++i)
        red[i] = Uint16(7 * i);
    // No focus: stored, applied at the next focus gain.
    ASSERT_EQ(JEX_SetWindowGammaRamp(w, red, nullptr, nullptr), 0);
    EXPECT_EQ(drv.Take(), (Log{"GetWindowGammaRamp(1)"}));
    Uint16 r[256], g[256], b[256];
    ASSERT_EQ(JEX_GetWindowGammaRamp(w, r, g, b), 0);
    EXPECT_EQ(r[3], 21);
    EXPECT_EQ(g[0], 100 + 256) << "null channels keep the driver's ramp";
    EXPECT_EQ(b[255], 100 + 767);

    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_FOCUS_GAINED, 0, 0);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGammaRamp(1)"}));
    ASSERT_EQ(drv.last_ramp.size(), 768u);
    EXPECT_EQ(drv.last_ramp[3], 21);
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_FOCUS_LOST, 0, 0);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGammaRamp(1)"}));
    EXPECT_EQ(drv.last_ramp[3], 103) << "the ramp found at first use comes back";

    // With focus, brightness applies at once.
    JEX_SendWindowEvent(w, JEX_WINDOWEVENT_FOCUS_GAINED, 0, 0);
    drv.Take();
    ASSERT_EQ(JEX_SetWindowBrightness(w, 1.0f), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGammaRamp(1)"}));
    EXPECT_EQ(drv.last_ramp[256 + 255], 0xFFFF);
    EXPECT_EQ(JEX_GetWindowBrightness(w), 1.0f);
    drv.failing = {"SetWindowGammaRamp"};
    EXPECT_EQ(JEX_SetWindowBrightness(w, 2.0f), -1);
    EXPECT_EQ(JEX_GetWindowBrightness(w), 1.0f);

    // A driver that cannot read its ramp leaves no gamma block behind.
    JEX_Window *v = Make();
    drv.failing = {"GetWindowGammaRamp"};
    EXPECT_EQ(JEX_GetWindowGammaRamp(v, r, g, b), -1);
    EXPECT_EQ(v->gamma, nullptr);
}

TEST_F(WindowTest, ScreenSaverSwitch)
{
    EXPECT_TRUE(JEX_IsScreenSaverEnabled());
    JEX_DisableScreenSaver();  // no device: nothing
    EXPECT_TRUE(JEX_IsScreenSaverEnabled());
    Start();
    JEX_DisableScreenSaver();
    JEX_DisableScreenSaver();
    EXPECT_FALSE(JEX_IsScreenSaverEnabled());
    JEX_EnableScreenSaver();
    JEX_EnableScreenSaver();
    EXPECT_TRUE(JEX_IsScreenSaverEnabled());
    JEX_DisableScreenSaver();
    JEX_VideoQuit();
    EXPECT_EQ(drv.Take(), (Log{"SuspendScreenSaver(1)", "SuspendScreenSaver(0)",
                               "SuspendScreenSaver(1)", "SuspendScreenSaver(0)", "VideoQuit()"}));
}

TEST_F(WindowTest, ClipboardFallsBackToTheCoreCopy)
{
    EXPECT_EQ(JEX_SetClipboardText("x"), -1);
    EXPECT_EQ(JEX_GetClipboardText(), nullptr);
    EXPECT_FALSE(JEX_HasClipboardText());

    drv.Omit({"SetClipboardText", "GetClipboardText", "HasClipboardText"});
    Start();
    auto clipboard = [] {
        char *text = JEX_GetClipboardText();
        const std::string s = text ? text : "(null)";
        std::free(text);
        return s;
    };
    EXPECT_FALSE(JEX_HasClipboardText());
    EXPECT_EQ(clipboard(), "");
    ASSERT_EQ(JEX_SetClipboardText(nullptr), 0);
    EXPECT_TRUE(JEX_HasClipboardText());
    EXPECT_EQ(clipboard(), "");
    ASSERT_EQ(JEX_SetClipboardText("one"), 0);
    ASSERT_EQ(JEX_SetClipboardText("two"), 0);
    EXPECT_EQ(clipboard(), "two");
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(WindowTest, ClipboardGoesToTheDriverWhenItHasOne)
{
    Start();
    ASSERT_EQ(JEX_SetClipboardText("abc"), 0);
    EXPECT_TRUE(JEX_HasClipboardText());
    char *text = JEX_GetClipboardText();
    EXPECT_STREQ(text, "abc");
    std::free(text);
    EXPECT_EQ(JEX_GetVideoDevice()->clipboard_text, nullptr);
    EXPECT_EQ(drv.Take(),
              (Log{"SetClipboardText(abc)", "HasClipboardText()", "GetClipboardText()"}));
}

TEST_F(WindowTest, DestroyClearsEveryFocus)
{
    Start();
    JEX_Window *w = Make();
    JEX_Window *other = Make();
    JEX_Touch templ;
    std::memset(&templ, 0, sizeof(templ));
    templ.id = 42;
    ASSERT_GE(JEX_AddTouch(&templ, "pad"), 0);
    JEX_SetKeyboardFocus(w);
    JEX_SetMouseFocus(w);
    JEX_SetTouchFocus(42, w);
    EXPECT_EQ(JEX_GetFocusWindow(), w);
    EXPECT_EQ(JEX_GetWindowFlags(w) & JEX_WINDOW_MOUSE_FOCUS, Uint32(JEX_WINDOW_MOUSE_FOCUS));
    TakeWindowEvents();

    JEX_DestroyWindow(w);
    EXPECT_EQ(std::tuple(JEX_GetKeyboardFocus(), JEX_GetMouseFocus(), JEX_GetTouchFocusWindow(42),
                         JEX_GetFocusWindow()),
              std::tuple(nullptr, nullptr, nullptr, nullptr));
    // The focus changes were reported while the window still existed.
    EXPECT_EQ(TakeWindowEventText(), (Log{"2:1", "13:1", "11:1"}));

    // Later input no longer names the destroyed window.
    ASSERT_EQ(JEX_SendMouseMotion(nullptr, 0, 3, 3), 1);
    JEX_Event e;
    ASSERT_EQ(JEX_PeepEvents(&e, 1, JEX_GETEVENT, JEX_MOUSEMOTION, JEX_MOUSEMOTION), 1);
    EXPECT_EQ(e.motion.window_id, 0u);
    JEX_DestroyWindow(other);
    JEX_TouchQuit();
}

TEST_F(WindowTest, TextInputAndWmInfo)
{
    Start();
    JEX_StopTextInput();
    EXPECT_TRUE(JEX_EventState(JEX_TEXTINPUT, JEX_QUERY) == JEX_DISABLE &&
                JEX_EventState(JEX_TEXTEDITING, JEX_QUERY) == JEX_DISABLE);
    JEX_StartTextInput();
    EXPECT_EQ(JEX_EventState(JEX_TEXTINPUT, JEX_QUERY), JEX_ENABLE);
    JEX_Rect rect{1, 2, 3, 4};
    JEX_SetTextInputRect(&rect);
    EXPECT_EQ(drv.Take(), (Log{"StopTextInput()", "StartTextInput()", "SetTextInputRect()"}));

    JEX_Window *w = Make();
    drv.Take();
    unsigned char info[64];
    std::memset(info, 0xAB, sizeof(info));
    EXPECT_TRUE(JEX_GetWindowWMInfo(w, reinterpret_cast<JEX_SysWMinfo *>(info)));
    EXPECT_EQ(info[4] | info[5] | info[6] | info[7], 0) << "the window-system kind is cleared";
    EXPECT_EQ(info[0], 0xAB);
    EXPECT_FALSE(JEX_GetWindowWMInfo(w, nullptr));
    EXPECT_EQ(drv.Take(), (Log{"GetWindowWMInfo(1)"}));
    JEX_GetVideoDevice()->GetWindowWMInfo = nullptr;
    std::memset(info, 0xAB, sizeof(info));
    EXPECT_FALSE(JEX_GetWindowWMInfo(w, reinterpret_cast<JEX_SysWMinfo *>(info)));
    EXPECT_EQ(info[4], 0);
}

TEST_F(WindowTest, ForeignWindows)
{
    Start();
    JEX_Window *w = JEX_CreateWindowFrom(reinterpret_cast<const void *>(0x1234));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_FOREIGN));
    EXPECT_EQ(w->windowed.w, 0);
    EXPECT_EQ(drv.Take(), (Log{"CreateWindowFrom(1)"}));
    // Re-creating a foreign window never destroys or re-creates its native one.
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_HIDDEN), 0);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_HIDDEN));
    JEX_DestroyWindow(w);
    EXPECT_EQ(drv.Take(), (Log{"DestroyWindow(1)"}));

    drv.failing = {"CreateWindowFrom"};
    EXPECT_EQ(JEX_CreateWindowFrom(nullptr), nullptr);
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
}

}  // namespace
