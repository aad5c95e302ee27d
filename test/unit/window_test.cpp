// Windows and window events on the scripted driver (its call order where that is the contract).
#include "test_video_driver.h"
#include "events/keyboard_internal.h"
#include "events/touch_internal.h"
#include <gtest/gtest.h>
#include <climits>
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
        drv.Take();  // creation is checked where it is the subject
        TakeWindowEventText();
        return window;
    }
    JEX_VideoDisplay *Display(int i) { return &JEX_GetVideoDevice()->displays[i]; }
    int Send(JEX_Window *w, int code, int p1 = 0, int p2 = 0)
    {
        return JEX_SendWindowEvent(w, Uint8(code), p1, p2);
    }
};

TEST_F(WindowTest, HandlesAreCheckedBeforeTheyAreRead)
{
    Start();
    JEX_Window *a = Make();
    JEX_Window *b = Make();
    JEX_Window *gone = Make();
    ASSERT_TRUE(a && b && gone);
    JEX_DestroyWindow(gone);
    JEX_DestroyWindow(a);
    EXPECT_EQ(std::tuple(JEX_GetWindowFromID(1), JEX_GetWindowFromID(2)), std::tuple(nullptr, b));
    EXPECT_TRUE(JEX_GetVideoDevice()->windows == b && !b->prev && !b->next);
    // A destroyed window or a live-looking copy is refused unread (ASan) and unsent.
    JEX_Window fake = *b;
    drv.Take();
    for (JEX_Window *bad : {gone, &fake}) {
        JEX_ClearError();
        JEX_SetWindowTitle(bad, "x");
        EXPECT_STREQ(JEX_GetError(), "Invalid window");
        EXPECT_EQ(JEX_GetWindowID(bad) + JEX_GetWindowFlags(bad), 0u);
        EXPECT_TRUE(!JEX_GL_CreateContext(bad) && !*JEX_GetWindowTitle(bad) &&
                    JEX_GetWindowBrightness(bad) == 1.0f);
        EXPECT_EQ(JEX_SetWindowFullscreen(bad, JEX_TRUE) + JEX_GetWindowDisplay(bad), -2);
        int x = 5, y = 5;
        JEX_GetWindowPosition(bad, &x, &y);
        EXPECT_EQ(std::tuple(x, y), std::tuple(0, 0));
        JEX_ShowWindow(bad);
        JEX_DestroyWindow(bad);  // ignored, never a double free
    }
    EXPECT_TRUE(drv.Take().empty());
    JEX_VideoQuit();
    EXPECT_EQ(JEX_GetWindowFlags(b), 0u);
    EXPECT_STREQ(JEX_GetError(), "Video subsystem has not been initialized");
}

TEST_F(WindowTest, CreationOrderFlagsSizesAndCentring)
{
    Start();
    JEX_Window *w = JEX_CreateWindow("title", JEX_WINDOWPOS_CENTERED, JEX_WINDOWPOS_UNDEFINED, 640,
                                     480, JEX_WINDOW_RESIZABLE | JEX_WINDOW_SHOWN);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()", "CreateWindow(1)", "SetWindowTitle(1)",
                               "ShowWindow(1)", "RaiseWindow(1)"}));
    EXPECT_EQ(JEX_GetWindowFlags(w),
              Uint32(JEX_WINDOW_OPENGL | JEX_WINDOW_RESIZABLE | JEX_WINDOW_SHOWN));
    EXPECT_EQ(std::tuple(w->x, w->y, w->windowed.x, w->windowed.w), std::tuple(192, 144, 192, 640));
    EXPECT_EQ(TakeWindowEventText(), (Log{"1:1"}));
    // Max/min come from driver events; full screen switches once shown.
    JEX_Window *f = JEX_CreateWindow(nullptr, 0, 0, 800, 600,
                                     JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MINIMIZED |
                                         JEX_WINDOW_INPUT_GRABBED | JEX_WINDOW_FULLSCREEN);
    EXPECT_EQ(drv.Take(), (Log{"CreateWindow(2)", "MaximizeWindow(2)", "MinimizeWindow(2)",
                               "ShowWindow(2)", "RaiseWindow(2)", "SetDisplayMode(0,800x600@60)",
                               "SetWindowFullscreen(2,0,1)"}));
    EXPECT_TRUE(JEX_GetWindowGrab(f));
    EXPECT_EQ(JEX_GetWindowFlags(f) & (JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MINIMIZED), 0u);
    EXPECT_EQ(Display(0)->fullscreen_window, f);
    // Bad sizes, and sizes no driver can carry, never reach the driver.
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 0, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Window width and height must be positive (0x10)");
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 32768, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Window size 32768x10 is too large (at most 32767)");
    EXPECT_TRUE(drv.Take().empty());
    JEX_Window *big = Make(JEX_WINDOW_HIDDEN, 32767, 32767);
    JEX_SetWindowSize(big, 100, 0);
    JEX_SetWindowSize(big, 40000, 100);
    EXPECT_STREQ(JEX_GetError(), "Window size 40000x100 is too large (at most 32767)");
    EXPECT_EQ(std::tuple(big->w, big->h), std::tuple(32767, 32767));
    EXPECT_TRUE(drv.Take().empty());
    // A failed creation takes back everything, and its id is not reused.
    drv.failing = {"CreateWindow"};
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 10, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "scripted CreateWindow failure");
    EXPECT_EQ(drv.Take(), (Log{"CreateWindow(4)", "DestroyWindow(4)"}));
    drv.failing.clear();
    EXPECT_EQ(JEX_GetWindowID(Make()), 5u);
}

TEST_F(WindowTest, TitleIconUserDataAndWmInfo)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_HIDDEN);
    JEX_SetWindowTitle(w, "hello");
    EXPECT_STREQ(JEX_GetWindowTitle(w), "hello");
    JEX_SetWindowTitle(w, w->title);  // the very pointer: nothing happens
    JEX_SetWindowTitle(w, "");
    EXPECT_EQ(w->title, nullptr);
    JEX_SetWindowIcon(w, nullptr);
    JEX_Surface *icon = JEX_CreateRGBSurface(0, 16, 8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    JEX_SetWindowIcon(w, icon);
    JEX_FreeSurface(icon);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowTitle(1)", "SetWindowTitle(1)", "SetWindowIcon(1,16x8)"}));
    int p = 1, q = 2;
    EXPECT_EQ(JEX_SetWindowData(w, "a", &p), nullptr);
    EXPECT_EQ(JEX_SetWindowData(w, "b", &q), nullptr);
    EXPECT_EQ(JEX_SetWindowData(w, "a", &q), &p);
    EXPECT_EQ(JEX_GetWindowData(w, "A"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(JEX_SetWindowData(w, "a", nullptr), &q);
    EXPECT_TRUE(JEX_GetWindowData(w, "a") == nullptr && JEX_GetWindowData(w, "b") == &q);
    EXPECT_EQ(JEX_SetWindowData(w, nullptr, &p), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'name' is invalid");
    // The remaining entry is released with the window (checked by ASan).
    unsigned char info[64];
    std::memset(info, 0xAB, sizeof(info));
    EXPECT_TRUE(JEX_GetWindowWMInfo(w, reinterpret_cast<JEX_SysWMinfo *>(info)));
    EXPECT_EQ(info[4] | info[5] | info[6] | info[7], 0) << "the window-system kind is cleared";
    EXPECT_EQ(info[0], 0xAB);
    EXPECT_FALSE(JEX_GetWindowWMInfo(w, nullptr));
    JEX_GetVideoDevice()->GetWindowWMInfo = nullptr;
    std::memset(info, 0xAB, sizeof(info));
    EXPECT_FALSE(JEX_GetWindowWMInfo(w, reinterpret_cast<JEX_SysWMinfo *>(info)));
    EXPECT_EQ(info[4], 0);
}

TEST_F(WindowTest, PositionSizeAndDisplay)
{
    drv.displays.resize(2);
    drv.displays[1].desktop = Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565);
    Start();
    JEX_Window *w = Make(0, 100, 50);
    JEX_SetWindowPosition(w, 10, 20);
    JEX_SetWindowPosition(w, JEX_WINDOWPOS_UNDEFINED, 30);  // x stays
    JEX_SetWindowPosition(w, JEX_WINDOWPOS_CENTERED, 30);
    EXPECT_EQ(std::tuple(w->x, w->y, w->windowed.x), std::tuple(462, 30, 462));
    EXPECT_EQ(TakeWindowEventText(), (Log{"4:1@462,30"})) << "moves of one window coalesce";
    JEX_SetWindowSize(w, 200, 100);
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@200,100"}));
    // A driver that settles on another size reports it itself.
    drv.after["SetWindowSize"] = [](JEX_Window *win) { win->w = 190; };
    JEX_SetWindowSize(w, 300, 100);
    EXPECT_TRUE(TakeWindowEventText().empty());
    drv.after.clear();
    // The display is the one holding the centre, else the nearest centre.
    EXPECT_EQ(std::tuple(JEX_GetWindowDisplay(w), JEX_GetWindowPixelFormat(w)),
              std::tuple(0, Uint32(JEX_PIXELFORMAT_RGB888)));
    JEX_SetWindowPosition(w, 1100, 10);
    EXPECT_EQ(std::tuple(JEX_GetWindowDisplay(w), JEX_GetWindowPixelFormat(w)),
              std::tuple(1, Uint32(JEX_PIXELFORMAT_RGB565)));
    // The squared distances exceed 64 bits at the extremes: they saturate.
    const int far[][3] = {{5000, 5000, 1},
                          {-5000, 0, 0},
                          {2000000000, 2000000000, 1},
                          {INT_MIN, INT_MAX, 0},
                          {INT_MAX, INT_MIN, 1}};
    for (const auto &[x, y, display] : far) {
        w->x = x;
        w->y = y;
        EXPECT_EQ(JEX_GetWindowDisplay(w), display) << x << "," << y;
    }
    JEX_Window *c =
        JEX_CreateWindow(nullptr, JEX_WINDOWPOS_CENTERED_DISPLAY(1),
                         JEX_WINDOWPOS_CENTERED_DISPLAY(1), 200, 100, JEX_WINDOW_HIDDEN);
    EXPECT_EQ(std::tuple(c->x, c->y), std::tuple(1024 + 300, 250));
    JEX_Window *v =
        JEX_CreateWindow(nullptr, JEX_WINDOWPOS_CENTERED_DISPLAY(5),
                         JEX_WINDOWPOS_UNDEFINED_DISPLAY(5), 640, 480, JEX_WINDOW_HIDDEN);
    EXPECT_EQ(std::tuple(v->x, v->y), std::tuple(192, 144)) << "a display beyond the list is 0";
    // Full screen: size and position are left alone and reported as 0.
    w->x = w->y = 0;
    ASSERT_EQ(JEX_SetWindowFullscreen(w, JEX_TRUE), 0);
    drv.Take();
    TakeWindowEventText();
    JEX_SetWindowSize(w, 10, 10);
    JEX_SetWindowPosition(w, 5, 5);
    EXPECT_TRUE(drv.Take().empty() && TakeWindowEventText().empty());
    int x = -1, y = -1;
    JEX_GetWindowPosition(w, &x, &y);
    EXPECT_EQ(std::tuple(x, y), std::tuple(0, 0));
}

TEST_F(WindowTest, ShowHideMaximizeMinimizeRestoreAndRedundantReports)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_HIDDEN);
    JEX_RaiseWindow(w);    // not shown: nothing
    JEX_HideWindow(w);     // not shown: nothing
    JEX_RestoreWindow(w);  // neither max nor min: nothing
    JEX_ShowWindow(w);
    JEX_ShowWindow(w);
    JEX_MaximizeWindow(w);
    Send(w, JEX_WINDOWEVENT_MAXIMIZED);
    JEX_MaximizeWindow(w);  // already maximised
    JEX_MinimizeWindow(w);
    Send(w, JEX_WINDOWEVENT_MINIMIZED);
    JEX_MinimizeWindow(w);
    JEX_RestoreWindow(w);
    Send(w, JEX_WINDOWEVENT_RESTORED);
    JEX_HideWindow(w);
    EXPECT_EQ(drv.Take(),
              (Log{"ShowWindow(1)", "RaiseWindow(1)", "MaximizeWindow(1)", "MinimizeWindow(1)",
                   "RestoreWindow(1)", "RaiseWindow(1)", "HideWindow(1)"}));
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_OPENGL | JEX_WINDOW_HIDDEN));
    EXPECT_EQ(TakeWindowEventText(), (Log{"1:1", "8:1", "7:1", "9:1", "2:1"}));
    // Redundant reports post nothing.
    JEX_Window *a = Make(JEX_WINDOW_HIDDEN);
    // EXPOSED and unknown codes are never redundant; HIDDEN precedes any SHOWN.
    const int codes[] = {
        JEX_WINDOWEVENT_HIDDEN,    JEX_WINDOWEVENT_SHOWN,     JEX_WINDOWEVENT_SHOWN,
        JEX_WINDOWEVENT_RESTORED,  JEX_WINDOWEVENT_MINIMIZED, JEX_WINDOWEVENT_MAXIMIZED,
        JEX_WINDOWEVENT_MAXIMIZED, JEX_WINDOWEVENT_RESTORED,  JEX_WINDOWEVENT_LEAVE,
        JEX_WINDOWEVENT_ENTER,     JEX_WINDOWEVENT_ENTER,     JEX_WINDOWEVENT_FOCUS_LOST,
        JEX_WINDOWEVENT_EXPOSED,   JEX_WINDOWEVENT_EXPOSED,   200};
    std::string posted;
    for (int code : codes)
        posted += char('0' + Send(a, code));
    EXPECT_EQ(posted, "010011010100111");
    EXPECT_EQ(Send(nullptr, JEX_WINDOWEVENT_SHOWN), 0);
    EXPECT_EQ(JEX_GetWindowFlags(a) & (JEX_WINDOW_SHOWN | JEX_WINDOW_HIDDEN | JEX_WINDOW_MINIMIZED |
                                       JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MOUSE_FOCUS),
              Uint32(JEX_WINDOW_SHOWN | JEX_WINDOW_MOUSE_FOCUS));
    EXPECT_EQ(TakeWindowEventText(),
              (Log{"1:2", "7:2", "8:2", "9:2", "10:2", "3:2", "3:2", "200:2"}));
    // SHOWN raised the window; MINIMIZED and RESTORED ran their hooks.
    EXPECT_EQ(drv.Take(), (Log{"RaiseWindow(2)", "RaiseWindow(2)"}));
}

TEST_F(WindowTest, FullscreenHandOverBetweenWindows)
{
    Start();
    JEX_Window *a = Make(0, 640, 480);
    JEX_Window *b = Make(0, 800, 600);
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_TRUE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)"}));
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@640,480"}));
    // b asks for the display: a is minimised, which hands the display on.
    ASSERT_EQ(JEX_SetWindowFullscreen(b, JEX_TRUE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,800x600@60)", "SetWindowFullscreen(2,0,1)",
                               "MinimizeWindow(1)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, b);
    // Hiding the owner hands the display to the other full-screen window.
    JEX_HideWindow(b);
    EXPECT_EQ(drv.Take(),
              (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)", "HideWindow(2)"}));
    EXPECT_EQ(Display(0)->fullscreen_window, a);
    // Hiding the last one restores the desktop mode.
    JEX_HideWindow(a);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,1024x768@60)", "SetWindowFullscreen(1,0,0)",
                               "HideWindow(1)"}));
    EXPECT_TRUE(Display(0)->fullscreen_window == nullptr && Display(0)->current_mode.w == 1024);
    // Showing a full-screen window takes the display; leaving, once, gives it up.
    JEX_ShowWindow(a);
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_FALSE), 0);
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(), (Log{"ShowWindow(1)", "RaiseWindow(1)", "SetDisplayMode(0,640x480@60)",
                               "SetWindowFullscreen(1,0,1)", "SetDisplayMode(0,1024x768@60)",
                               "SetWindowFullscreen(1,0,0)"}));
    // Destroying the owner hands the display on, then restores the desktop.
    ASSERT_EQ(JEX_SetWindowFullscreen(a, JEX_TRUE), 0);
    JEX_ShowWindow(b);
    drv.Take();
    JEX_DestroyWindow(b);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,640x480@60)", "SetWindowFullscreen(1,0,1)",
                               "HideWindow(2)", "DestroyWindow(2)"}));
    JEX_DestroyWindow(a);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,1024x768@60)", "SetWindowFullscreen(1,0,0)",
                               "HideWindow(1)", "DestroyWindow(1)", "GL_UnloadLibrary()"}));
}

TEST_F(WindowTest, FullscreenModesAndOwnersOnOtherDisplays)
{
    drv.displays.resize(2);
    drv.displays[1].modes = {Mode(1024, 768), Mode(640, 480)};
    Start();
    JEX_Window *w = Make(0, 700, 500);
    JEX_DisplayMode mode;
    ASSERT_EQ(JEX_GetWindowDisplayMode(w, &mode), 0);
    EXPECT_EQ(mode.w, 800) << "the closest mode that fits 700x500";
    JEX_DisplayMode wanted = Mode(4000, 4000, 0, 0);
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, &wanted), 0);
    EXPECT_EQ(JEX_GetWindowDisplayMode(w, &mode), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find display mode match");
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, nullptr), 0);
    EXPECT_EQ(w->fullscreen_mode.w, 0);
    wanted = Mode(640, 480, 0, 0);
    ASSERT_EQ(JEX_SetWindowDisplayMode(w, &wanted), 0);
    ASSERT_EQ(JEX_SetWindowFullscreen(w, JEX_TRUE), 0);
    EXPECT_EQ(std::tuple(w->w, w->windowed.w), std::tuple(640, 700)) << "the windowed size stays";
    EXPECT_EQ(TakeWindowEventText(), (Log{"5:1@640,480"}));
    ASSERT_EQ(Display(0)->fullscreen_window, w);
    // The owner moved to display 1 without a hide: destroying it restores display 0.
    w->x = 1100;
    JEX_DestroyWindow(w);
    EXPECT_TRUE(Display(0)->fullscreen_window == nullptr && Display(0)->current_mode.w == 1024);
}

TEST_F(WindowTest, FocusGrabAndFullscreenMinimising)
{
    Start();
    JEX_Window *w = Make(JEX_WINDOW_FULLSCREEN);
    // Focused full-screen windows grab; losing focus minimises on one display.
    JEX_SetKeyboardFocus(w);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(1)", "StartTextInput()"}));
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
    // A grab reaches the driver only with focus and on change.
    JEX_Window *v = Make();
    JEX_SetWindowGrab(v, JEX_TRUE);
    JEX_SetWindowGrab(v, JEX_TRUE);
    EXPECT_TRUE(drv.Take().empty());
    // Disabled window events still update the window and run the hooks.
    JEX_EventState(JEX_WINDOWEVENT, JEX_DISABLE);
    EXPECT_EQ(Send(v, JEX_WINDOWEVENT_FOCUS_GAINED), 0);
    JEX_EventState(JEX_WINDOWEVENT, JEX_ENABLE);
    EXPECT_EQ(JEX_GetFocusWindow(), v);
    JEX_SetWindowGrab(v, JEX_FALSE);
    JEX_SetWindowGrab(v, JEX_FALSE);
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGrab(2)", "SetWindowGrab(2)"}));
    EXPECT_FALSE(JEX_GetWindowGrab(v));
}

TEST_F(WindowTest, GammaRampsFollowTheInputFocus)
{
    Start();
    JEX_Window *w = Make();
    Uint16 red[256], r[256], g[256], b[256];
    for (int i = 0; i < 256; ++i)
        red[i] = Uint16(7 * i);
    // No focus: stored, applied at the next focus gain.
    ASSERT_EQ(JEX_SetWindowGammaRamp(w, red, nullptr, nullptr), 0);
    ASSERT_EQ(JEX_GetWindowGammaRamp(w, r, g, b), 0);
    EXPECT_EQ(std::tuple(r[3], g[0], b[255]), std::tuple(21, 100 + 256, 100 + 767))
        << "null channels keep the driver's ramp";
    EXPECT_EQ(drv.Take(), (Log{"GetWindowGammaRamp(1)"}));
    Send(w, JEX_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(drv.last_ramp.at(3), 21);
    Send(w, JEX_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(drv.last_ramp.at(3), 103) << "the ramp found at first use comes back";
    EXPECT_EQ(drv.Take(), (Log{"SetWindowGammaRamp(1)", "SetWindowGammaRamp(1)"}));
    // With focus, brightness applies at once.
    Send(w, JEX_WINDOWEVENT_FOCUS_GAINED);
    ASSERT_EQ(JEX_SetWindowBrightness(w, 1.0f), 0);
    EXPECT_EQ(drv.last_ramp[256 + 255], 0xFFFF);
    drv.failing = {"SetWindowGammaRamp"};
    EXPECT_EQ(JEX_SetWindowBrightness(w, 2.0f), -1);
    EXPECT_EQ(JEX_GetWindowBrightness(w), 1.0f);
    // A driver that cannot read its ramp leaves no gamma block behind.
    JEX_Window *v = Make();
    drv.failing = {"GetWindowGammaRamp"};
    EXPECT_EQ(JEX_GetWindowGammaRamp(v, r, g, b), -1);
    EXPECT_EQ(v->gamma, nullptr);
    // Without driver support: the identity ramp, and no brightness.
    JEX_VideoQuit();
    drv.Omit({"SetWindowGammaRamp", "GetWindowGammaRamp"});
    Start();
    w = Make();
    ASSERT_EQ(JEX_GetWindowGammaRamp(w, r, g, b), 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(r[i] == i * 0x101 && g[i] == r[i] && b[i] == r[i]) << i;
    EXPECT_EQ(JEX_GetWindowGammaRamp(w, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(JEX_SetWindowBrightness(w, 0.5f), -1);
    EXPECT_STREQ(JEX_GetError(), "That operation is not supported");
}

TEST_F(WindowTest, ScreenSaverAndClipboard)
{
    EXPECT_TRUE(JEX_IsScreenSaverEnabled());
    JEX_DisableScreenSaver();  // no device: nothing
    EXPECT_TRUE(JEX_IsScreenSaverEnabled());
    EXPECT_EQ(JEX_SetClipboardText("x"), -1);
    EXPECT_TRUE(JEX_GetClipboardText() == nullptr && !JEX_HasClipboardText());
    // The driver's side of both is checked against a real X server.
    Start();
    JEX_DisableScreenSaver();
    JEX_DisableScreenSaver();
    EXPECT_FALSE(JEX_IsScreenSaverEnabled());
    JEX_EnableScreenSaver();
    JEX_EnableScreenSaver();
    EXPECT_EQ(drv.Take(), (Log{"SuspendScreenSaver(1)", "SuspendScreenSaver(0)"}));
    ASSERT_EQ(JEX_SetClipboardText("abc"), 0);
    EXPECT_EQ(JEX_GetVideoDevice()->clipboard_text, nullptr) << "the driver keeps it";
    // Without a driver clipboard the core keeps a copy.
    JEX_VideoQuit();
    drv.Omit({"SetClipboardText", "GetClipboardText", "HasClipboardText"});
    Start();
    auto clipboard = [] {
        char *copy = JEX_GetClipboardText();
        const std::string s = copy ? copy : "(null)";
        std::free(copy);
        return s;
    };
    EXPECT_FALSE(JEX_HasClipboardText());
    EXPECT_EQ(clipboard(), "");
    ASSERT_EQ(JEX_SetClipboardText(nullptr), 0);
    EXPECT_TRUE(JEX_HasClipboardText());
    ASSERT_EQ(JEX_SetClipboardText("one"), 0);
    ASSERT_EQ(JEX_SetClipboardText("two"), 0);
    EXPECT_EQ(clipboard(), "two");
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(WindowTest, DestroyClearsEveryFocusAndTouchFocusIsShared)
{
    Start();
    JEX_Window *w = Make();
    JEX_Window *other = Make();
    JEX_Touch one{}, two{};
    one.id = 42, two.id = 43;
    one.native_x_res = one.native_y_res = 1.0f;
    ASSERT_EQ(JEX_AddTouch(&one, "pad") + JEX_AddTouch(&two, "two"), 1);
    TakeWindowEventText();
    // Two devices on one window: only the first in and the last out report.
    JEX_SetTouchFocus(42, other);
    JEX_SetTouchFocus(43, other);
    JEX_SetTouchFocus(42, nullptr);
    EXPECT_EQ(TakeWindowEventText(), (Log{"10:2"}));
    JEX_SetTouchFocus(43, nullptr);
    EXPECT_EQ(TakeWindowEventText(), (Log{"11:2"}));
    JEX_DelTouch(43);
    EXPECT_EQ(std::tuple(JEX_GetNumTouch(), JEX_GetTouchIndexId(42)), std::tuple(1, 0));
    JEX_SetKeyboardFocus(w);
    JEX_SetMouseFocus(w);
    JEX_SetTouchFocus(42, w);
    EXPECT_EQ(JEX_GetFocusWindow(), w);
    TakeWindowEventText();
    const Uint32 id = JEX_GetWindowID(w);
    ASSERT_EQ(JEX_SendFingerDown(42, 1, JEX_TRUE, 0, 0, 0), 1);
    JEX_DestroyWindow(w);
    EXPECT_EQ(std::tuple(JEX_GetKeyboardFocus(), JEX_GetMouseFocus(), JEX_GetTouchFocusWindow(42),
                         JEX_GetFocusWindow()),
              std::tuple(nullptr, nullptr, nullptr, nullptr));
    // The focus changes were reported while the window still existed.
    EXPECT_EQ(TakeWindowEventText(), (Log{"2:1", "13:1", "11:1"}));
    // Later input no longer names the destroyed window; a finger down before did.
    ASSERT_EQ(JEX_SendMouseMotion(nullptr, 0, 3, 3) + JEX_SendFingerDown(42, 1, JEX_FALSE, 0, 0, 0),
              2);
    std::vector<Uint32> ids;
    for (const JEX_Event &e : TakeAll(JEX_MOUSEMOTION, JEX_FINGERUP))
        ids.push_back(e.type == JEX_MOUSEMOTION ? e.motion.window_id : e.tfinger.window_id);
    EXPECT_EQ(ids, (std::vector<Uint32>{id, 0, 0}));
    // Video shut-down takes the touch devices with it.
    JEX_VideoQuit();
    EXPECT_EQ(JEX_GetNumTouch(), 0);
}

TEST_F(WindowTest, ForeignWindows)
{
    Start();
    JEX_Window *w = JEX_CreateWindowFrom(reinterpret_cast<const void *>(0x1234));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_FOREIGN));
    // Re-creating a foreign window never destroys or re-creates its native one.
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_HIDDEN), 0);
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_HIDDEN));
    JEX_DestroyWindow(w);
    EXPECT_EQ(drv.Take(), (Log{"CreateWindowFrom(1)", "DestroyWindow(1)"}));
    drv.failing = {"CreateWindowFrom"};
    EXPECT_EQ(JEX_CreateWindowFrom(nullptr), nullptr);
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
}

TEST_F(WindowTest, MovesAndResizesCoalesce)
{
    Start();
    JEX_Window *a = JEX_CreateWindow("a", 10, 10, 300, 200, JEX_WINDOW_HIDDEN);
    JEX_Window *b = JEX_CreateWindow("b", 20, 20, 300, 200, JEX_WINDOW_HIDDEN);
    // A move to the current place posts nothing; an undefined one is ignored.
    a->windowed.x = -1;
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 10, 10), 0);
    EXPECT_EQ(a->windowed.x, 10);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, JEX_WINDOWPOS_UNDEFINED, 50), 0);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 50, int(JEX_WINDOWPOS_UNDEFINED_MASK | 7)), 0);
    EXPECT_EQ(std::tuple(a->x, a->windowed.x), std::tuple(10, 10));
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_MOVED, 1, 2) + Send(b, JEX_WINDOWEVENT_MOVED, 5, 6) +
                  Send(a, JEX_WINDOWEVENT_EXPOSED) + Send(a, JEX_WINDOWEVENT_MOVED, 3, 4),
              4);
    EXPECT_EQ(TakeWindowEventText(), (Log{"4:2@5,6", "3:1", "4:1@3,4"}));
    EXPECT_EQ(std::tuple(a->x, a->windowed.y), std::tuple(3, 4));
    // One RESIZED record per window; watchers saw each report and SIZE_CHANGED.
    Log watched;
    auto watcher = [](void *userdata, JEX_Event *event) {
        if (event->type == JEX_WINDOWEVENT)
            static_cast<Log *>(userdata)->push_back(Describe(event->window));
        return 1;
    };
    JEX_AddEventWatch(watcher, &watched);
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_RESIZED, 50, 50), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 400, 300), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 410, 310), 1);
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 410, 310), 0);
    JEX_DelEventWatch(watcher, &watched);
    EXPECT_EQ(TakeWindowEventText(), (Log{"5:2@50,50", "5:1@410,310"}));
    EXPECT_EQ(watched, (Log{"6:2@50,50", "5:2@50,50", "6:1@400,300", "5:1@400,300", "6:1@410,310",
                            "5:1@410,310"}));
    EXPECT_EQ(a->windowed.w, 410);
    // A core resize posts only SIZE_CHANGED, replacing a pending RESIZED.
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 420, 320), 1);
    JEX_SetWindowSize(a, 500, 400);
    EXPECT_EQ(TakeWindowEventText(), (Log{"6:1@500,400"}));
    // Full-screen windows change size without touching the windowed rect.
    a->flags |= JEX_WINDOW_FULLSCREEN;
    EXPECT_EQ(Send(a, JEX_WINDOWEVENT_RESIZED, 640, 480), 1);
    EXPECT_EQ(std::tuple(a->w, a->windowed.w), std::tuple(640, 500));
    a->flags &= ~Uint32(JEX_WINDOW_FULLSCREEN);
}

TEST_F(WindowTest, DriverEventsArriveThroughThePumpAndTheLastCloseQuits)
{
    Start();
    JEX_Window *a = Make(JEX_WINDOW_HIDDEN);
    JEX_Window *b = Make(JEX_WINDOW_HIDDEN);
    const int sent[][3] = {{JEX_WINDOWEVENT_SHOWN, 0, 0},
                           {JEX_WINDOWEVENT_MOVED, 40, 50},
                           {JEX_WINDOWEVENT_RESIZED, 320, 240},
                           {JEX_WINDOWEVENT_MOVED, 41, 51},
                           {JEX_WINDOWEVENT_CLOSE, 0, 0}};
    for (const auto &e : sent)
        drv.script.push_back([a, e] { JEX_SendWindowEvent(a, Uint8(e[0]), e[1], e[2]); });
    JEX_Event event;
    Log seen;
    while (JEX_PollEvent(&event))
        seen.push_back(event.type == JEX_WINDOWEVENT ? Describe(event.window) : "other");
    EXPECT_EQ(seen, (Log{"1:1", "5:1@320,240", "4:1@41,51", "14:1"})) << "another window is open";
    EXPECT_EQ(std::tuple(a->x, a->w), std::tuple(41, 320));
    JEX_DestroyWindow(a);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_CLOSE), 1);
    JEX_Event events[4];
    ASSERT_EQ(JEX_PeepEvents(events, 4, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT), 2);
    EXPECT_TRUE(events[0].window.event == JEX_WINDOWEVENT_CLOSE && events[1].type == JEX_QUIT);
    // The quit request does not depend on window events being enabled.
    JEX_EventState(JEX_WINDOWEVENT, JEX_DISABLE);
    EXPECT_EQ(Send(b, JEX_WINDOWEVENT_CLOSE), 0);
    JEX_EventState(JEX_WINDOWEVENT, JEX_ENABLE);
    EXPECT_EQ(std::tuple(CountQueued(JEX_QUIT), CountQueued(JEX_WINDOWEVENT)), std::tuple(1, 0));
}
}  // namespace
