// Video core: driver selection, start-up and shut-down, the null driver,
// display mode lists, the closest-mode search, mode switching and GL
// library counting, on the null driver and the scripted test driver.
#include "test_video_driver.h"

#include "JEX_hints.h"
#include "events/events_internal.h"
#include "events/keyboard_internal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <tuple>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

auto Fields(const JEX_DisplayMode &m)
{
    return std::tuple(m.format, m.w, m.h, m.refresh_rate);
}
auto Fields(const JEX_Rect &r)
{
    return std::tuple(r.x, r.y, r.w, r.h);
}

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("JEX_VIDEODRIVER"); }
    void TearDown() override
    {
        JEX_VideoQuit();
        unsetenv("JEX_VIDEODRIVER");
        JEX_ClearHints();
    }
};

bool SigintIsDefault()
{
    struct sigaction action;
    sigaction(SIGINT, nullptr, &action);
    return action.sa_handler == SIG_DFL;
}

bool QueueRuns()
{
    JEX_Event e{};
    e.type = JEX_USEREVENT;
    if (JEX_PushEvent(&e) != 1)
        return false;
    JEX_FlushEvent(JEX_USEREVENT);
    return true;
}

TEST_F(VideoTest, DriverTableKeepsItsThreeRowsInOrder)
{
    ASSERT_EQ(JEX_GetNumVideoDrivers(), 3);
    const char *const names[] = {"cocoa", "x11", "dummy"};
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(JEX_GetVideoDriver(i), names[i]);
    EXPECT_EQ(JEX_GetVideoDriver(3), nullptr);
    EXPECT_EQ(JEX_GetVideoDriver(-1), nullptr);
}

TEST_F(VideoTest, SelectionByNameIgnoresCaseAndTheEnvironmentTakesTheNamePath)
{
    ASSERT_EQ(JEX_VideoInit("DUMMY"), 0);
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "dummy");
    JEX_VideoQuit();
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);

    // "Dummy" would not make the driver available, but a name is a name.
    setenv("JEX_VIDEODRIVER", "Dummy", 1);
    ASSERT_EQ(JEX_VideoInit(nullptr), 0);
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "dummy");
}

TEST_F(VideoTest, NoDriverClaimsToRunWithoutAName)
{
    // Without an X server, Cocoa and X11 cannot run here, and the null driver
    // only offers itself when asked for by the environment.
    const char *display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    EXPECT_EQ(JEX_VideoInit(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't open X11 display") << "the driver's reason is kept";
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);

    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_STREQ(JEX_GetError(), "x11 not available");
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(JEX_VideoInit("nosuch"), -1);
    EXPECT_STREQ(JEX_GetError(), "nosuch not available");
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);

    setenv("JEX_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(DUMMY_bootstrap.available(), 1);
    setenv("JEX_VIDEODRIVER", "DUMMY", 1);
    EXPECT_EQ(DUMMY_bootstrap.available(), 0);
}

TEST_F(VideoTest, FailedStartUndoesTheQueueAndSignalHandling)
{
    ASSERT_TRUE(SigintIsDefault());
    EXPECT_EQ(JEX_VideoInit("nosuch"), -1);
    EXPECT_STREQ(JEX_GetError(), "nosuch not available");
    EXPECT_TRUE(SigintIsDefault()) << "Ctrl-C must still end the program";
    EXPECT_FALSE(QueueRuns());

    // A driver whose own start fails: the device is quit and the same holds.
    {
        TestVideoDriver drv;
        drv.failing = {"VideoInit"};
        EXPECT_EQ(drv.Start(), -1);
        EXPECT_STREQ(JEX_GetError(), "scripted VideoInit failure");
        EXPECT_EQ(drv.Take(), (Log{"VideoInit()", "VideoQuit()"}));
        EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
        EXPECT_TRUE(SigintIsDefault());
        EXPECT_FALSE(QueueRuns());
    }
    {
        TestVideoDriver drv;
        drv.displays.clear();
        EXPECT_EQ(drv.Start(), -1);
        EXPECT_STREQ(JEX_GetError(), "The video driver did not add any displays");
        EXPECT_TRUE(SigintIsDefault());
    }

    // A later start is clean and installs the handler; quitting removes it.
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    EXPECT_FALSE(SigintIsDefault());
    EXPECT_TRUE(QueueRuns());
    JEX_VideoQuit();
    EXPECT_TRUE(SigintIsDefault());
}

TEST_F(VideoTest, WithoutADeviceEveryQuerySaysSo)
{
    JEX_DisplayMode mode;
    JEX_Rect rect;
    const char *const msg = "Video subsystem has not been initialized";
    EXPECT_EQ(JEX_GetCurrentVideoDriver(), nullptr);
    EXPECT_STREQ(JEX_GetError(), msg);
    JEX_ClearError();
    EXPECT_EQ(JEX_GetNumVideoDisplays(), 0);
    EXPECT_STREQ(JEX_GetError(), msg);
    EXPECT_EQ(JEX_GetDisplayBounds(0, &rect), -1);
    EXPECT_EQ(JEX_GetNumDisplayModes(0), -1);
    EXPECT_EQ(JEX_GetDesktopDisplayMode(0, &mode), -1);
    EXPECT_EQ(JEX_GetClosestDisplayMode(0, &mode, &mode), nullptr);
    EXPECT_EQ(JEX_CreateWindowFrom(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), msg);
}

TEST_F(VideoTest, NullDriverDisplayAndModes)
{
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);

    JEX_DisplayMode mode;
    ASSERT_EQ(JEX_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(Fields(mode), std::tuple(Uint32(JEX_PIXELFORMAT_RGB888), 1024, 768, 0));
    ASSERT_EQ(JEX_GetCurrentDisplayMode(0, &mode), 0);
    EXPECT_EQ(mode.w, 1024);
    ASSERT_EQ(JEX_GetNumDisplayModes(0), 1);
    ASSERT_EQ(JEX_GetDisplayMode(0, 0, &mode), 0);
    EXPECT_EQ(Fields(mode), std::tuple(0u, 0, 0, 0));

    // The any-size mode hands back the wanted size, or 640x480.
    JEX_DisplayMode want{0, 800, 600, 0, nullptr}, got;
    ASSERT_EQ(JEX_GetClosestDisplayMode(0, &want, &got), &got);
    EXPECT_EQ(Fields(got), std::tuple(Uint32(JEX_PIXELFORMAT_RGB888), 800, 600, 0));
    JEX_DisplayMode any{0, 0, 0, 0, nullptr};
    ASSERT_EQ(JEX_GetClosestDisplayMode(0, &any, &any), &any);
    EXPECT_EQ(std::tuple(any.w, any.h), std::tuple(640, 480));
    EXPECT_EQ(JEX_GetClosestDisplayMode(0, nullptr, &got), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Missing desired mode or closest mode parameter");

    JEX_Rect bounds;
    ASSERT_EQ(JEX_GetDisplayBounds(0, &bounds), 0);
    EXPECT_EQ(Fields(bounds), std::tuple(0, 0, 1024, 768));
    EXPECT_EQ(JEX_GetDisplayBounds(0, nullptr), 0);

    EXPECT_EQ(JEX_GetDisplayBounds(1, &bounds), -1);
    EXPECT_STREQ(JEX_GetError(), "displayIndex must be in the range 0 - 0");
    EXPECT_EQ(JEX_GetDesktopDisplayMode(-1, &mode), -1);
    EXPECT_STREQ(JEX_GetError(), "displayIndex must be in the range 0 - 0");
    EXPECT_EQ(JEX_GetDisplayMode(0, 1, &mode), -1);
    EXPECT_STREQ(JEX_GetError(), "index must be in the range of 0 - 0");
    EXPECT_EQ(JEX_GetDisplayMode(0, -1, &mode), -1);

    // Every window is an OpenGL window; the null driver has no GL.
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 64, 64, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No OpenGL support in video driver");
    EXPECT_EQ(JEX_CreateWindowFrom(nullptr), nullptr);
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
    EXPECT_EQ(JEX_GetVideoDevice()->next_object_id, 2u) << "the failed window's id is not reused";
}

TEST_F(VideoTest, ModesAreSortedAndDeduplicated)
{
    JEX_VideoDisplay display;
    std::memset(&display, 0, sizeof(display));
    const JEX_DisplayMode a = Mode(1024, 768, 60, JEX_PIXELFORMAT_ARGB8888);
    const JEX_DisplayMode b = Mode(1024, 768, 75, JEX_PIXELFORMAT_ARGB8888);
    const JEX_DisplayMode c = Mode(1280, 1024, 60, JEX_PIXELFORMAT_RGB565);
    const JEX_DisplayMode d = Mode(1024, 768, 60, JEX_PIXELFORMAT_RGB565);
    for (const JEX_DisplayMode *m : {&a, &b, &c, &d})
        EXPECT_TRUE(JEX_AddDisplayMode(&display, m));
    EXPECT_FALSE(JEX_AddDisplayMode(&display, &b));
    ASSERT_EQ(display.num_display_modes, 4);
    // Wider first, then higher rates, then deeper formats.
    const JEX_DisplayMode *order[] = {&c, &b, &a, &d};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Fields(display.display_modes[i]), Fields(*order[i])) << i;

    // Equal except for driverdata: a distinct mode.
    JEX_DisplayMode e = a;
    int tag = 0;
    e.driverdata = &tag;
    EXPECT_TRUE(JEX_AddDisplayMode(&display, &e));
    EXPECT_EQ(display.max_display_modes, 32);
    for (int i = 0; display.num_display_modes < 33; ++i) {
        JEX_DisplayMode m = Mode(100 + i, 100);
        ASSERT_TRUE(JEX_AddDisplayMode(&display, &m));
    }
    EXPECT_EQ(display.max_display_modes, 64);
    for (int i = 1; i < display.num_display_modes; ++i)
        EXPECT_GE(display.display_modes[i - 1].w, display.display_modes[i].w);
    std::free(display.display_modes);
}

TEST_F(VideoTest, ClosestModeRules)
{
    const std::vector<JEX_DisplayMode> sizes = {Mode(1600, 900), Mode(1280, 1024), Mode(1280, 720),
                                                Mode(800, 600), Mode(640, 480)};
    const std::vector<JEX_DisplayMode> rates = {Mode(1024, 768, 85), Mode(1024, 768, 60)};
    const std::vector<JEX_DisplayMode> formats = {Mode(800, 600, 60, JEX_PIXELFORMAT_ARGB8888),
                                                  Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565)};
    // found false: null, the output untouched.
    const struct {
        const char *what;
        int desktop_refresh;
        const std::vector<JEX_DisplayMode> &modes;
        JEX_DisplayMode want;
        bool found;
        JEX_DisplayMode expect;
    } cases[] = {
        {"the only rate at least the desktop's 70", 70, rates, Mode(1024, 768, 0, 0), true,
         Mode(1024, 768, 85)},
        {"the desktop's rate", 60, rates, Mode(1024, 768, 0, 0), true, Mode(1024, 768, 60)},
        {"smallest mode that still fits", 60, sizes, Mode(700, 500, 0, 0), true, Mode(800, 600)},
        // 1280x720 is too low, but narrower modes of another aspect are still looked at.
        {"taller mode before a too-low one", 60, sizes, Mode(1000, 1000, 0, 0), true,
         Mode(1280, 1024)},
        {"nothing wide enough", 60, sizes, Mode(2000, 100, 0, 0), false, Mode(1, 1)},
        {"the wanted format among equal sizes", 60, formats,
         Mode(800, 600, 0, JEX_PIXELFORMAT_RGB565), true,
         Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565)},
        {"the other wanted format", 60, formats, Mode(800, 600, 0, JEX_PIXELFORMAT_ARGB8888), true,
         Mode(800, 600, 60, JEX_PIXELFORMAT_ARGB8888)},
    };
    for (const auto &c : cases) {
        TestVideoDriver drv;
        drv.displays[0].desktop.refresh_rate = c.desktop_refresh;
        drv.displays[0].modes = c.modes;
        ASSERT_EQ(drv.Start(), 0) << c.what;
        JEX_DisplayMode got = Mode(1, 1);
        EXPECT_EQ(JEX_GetClosestDisplayModeForDisplay(&JEX_GetVideoDevice()->displays[0], &c.want,
                                                      &got) != nullptr,
                  c.found)
            << c.what;
        EXPECT_EQ(Fields(got), Fields(c.expect)) << c.what;
        JEX_VideoQuit();
    }
}

TEST_F(VideoTest, ModesAreListedLazilyOnceAndSorted)
{
    TestVideoDriver drv;
    drv.displays[0].lazy_modes = true;
    drv.displays[0].modes = {Mode(640, 480), Mode(1024, 768), Mode(800, 600)};
    ASSERT_EQ(drv.Start(), 0);
    drv.Take();
    EXPECT_TRUE(JEX_GetNumDisplayModes(0) == 3 && JEX_GetNumDisplayModes(0) == 3);
    JEX_DisplayMode mode;
    ASSERT_EQ(JEX_GetDisplayMode(0, 2, &mode), 0);
    EXPECT_EQ(mode.w, 640);
    EXPECT_EQ(drv.Take(), (Log{"GetDisplayModes(0)"}));
}

TEST_F(VideoTest, SettingDisplayModes)
{
    TestVideoDriver drv;
    drv.displays[0].modes = {Mode(1024, 768), Mode(800, 600)};
    ASSERT_EQ(drv.Start(), 0);
    JEX_VideoDisplay *display = &JEX_GetVideoDevice()->displays[0];
    drv.Take();

    // Zero fields come from the current mode.
    JEX_DisplayMode want{0, 800, 600, 0, nullptr};
    ASSERT_EQ(JEX_SetDisplayModeForDisplay(display, &want), 0);
    EXPECT_EQ(std::tuple(display->current_mode.w, display->current_mode.refresh_rate),
              std::tuple(800, 60));
    // Already there: the driver is not asked.
    ASSERT_EQ(JEX_SetDisplayModeForDisplay(display, &want), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetDisplayMode(0,800x600@60)"}));

    want = Mode(5000, 5000);
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, &want), -1);
    EXPECT_STREQ(JEX_GetError(), "No video mode large enough for 5000x5000");

    drv.failing = {"SetDisplayMode"};
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, nullptr), -1);
    EXPECT_EQ(display->current_mode.w, 800) << "a refused switch keeps the current mode";
    drv.failing.clear();
    ASSERT_EQ(JEX_SetDisplayModeForDisplay(display, nullptr), 0);
    EXPECT_EQ(display->current_mode.w, 1024);
    JEX_VideoQuit();

    TestVideoDriver fixed;
    fixed.Omit({"SetDisplayMode"});
    fixed.displays[0].modes = {Mode(1024, 768), Mode(800, 600)};
    ASSERT_EQ(fixed.Start(), 0);
    display = &JEX_GetVideoDevice()->displays[0];
    want = Mode(1024, 768);
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, &want), 0) << "same mode needs no driver";
    want = Mode(800, 600);
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, &want), -1);
    EXPECT_STREQ(JEX_GetError(), "Video driver doesn't support changing display mode");
}

TEST_F(VideoTest, DisplayBoundsSideBySideUnlessTheDriverKnows)
{
    TestVideoDriver drv;
    drv.displays.resize(3);
    drv.displays[0].desktop = Mode(1024, 768);
    drv.displays[1].desktop = Mode(800, 600);
    drv.displays[2].desktop = Mode(640, 480);
    drv.displays[2].has_bounds = true;
    drv.displays[2].bounds = JEX_Rect{-640, 100, 640, 480};
    ASSERT_EQ(drv.Start(), 0);
    drv.Take();
    JEX_Rect r;
    ASSERT_EQ(JEX_GetDisplayBounds(1, &r), 0);
    EXPECT_EQ(Fields(r), std::tuple(1024, 0, 800, 600));
    ASSERT_EQ(JEX_GetDisplayBounds(2, &r), 0);
    EXPECT_EQ(Fields(r), std::tuple(-640, 100, 640, 480));
    EXPECT_EQ(JEX_GetDisplayBounds(3, &r), -1);
    EXPECT_STREQ(JEX_GetError(), "displayIndex must be in the range 0 - 2");
}

TEST_F(VideoTest, StartUpSetsGlDefaultsAndChoosesTheFramebuffer)
{
    {
        TestVideoDriver drv;
        ASSERT_EQ(drv.Start(), 0);
        const JEX_VideoDevice *d = JEX_GetVideoDevice();
        EXPECT_STREQ(d->name, "test");
        EXPECT_EQ(d->next_object_id, 1u);
        const JEX_GLConfig &gl = d->gl_config;
        EXPECT_EQ(
            std::tuple(gl.red_size, gl.green_size, gl.blue_size, gl.depth_size, gl.double_buffer),
            std::tuple(3, 3, 2, 16, 1));
        EXPECT_EQ(std::tuple(gl.accelerated, gl.major_version, gl.minor_version,
                             gl.retained_backing, gl.driver_loaded),
                  std::tuple(-1, 2, 1, 1, 0));
        // No hint asks for the driver's framebuffer: texture-backed.
        EXPECT_TRUE(!d->CreateWindowFramebuffer && !d->UpdateWindowFramebuffer &&
                    !d->DestroyWindowFramebuffer);
        JEX_VideoQuit();
    }
    const std::pair<const char *, const char *> hints[] = {
        {JEX_HINT_RENDER_DRIVER, "Software"}, {JEX_HINT_FRAMEBUFFER_ACCELERATION, "0"}};
    for (const auto &[hint, value] : hints) {
        TestVideoDriver drv;
        JEX_SetHint(hint, value);
        ASSERT_EQ(drv.Start(), 0);
        const JEX_VideoDevice *d = JEX_GetVideoDevice();
        EXPECT_TRUE(d->CreateWindowFramebuffer && d->DestroyWindowFramebuffer) << hint;
        JEX_VideoQuit();
        JEX_ClearHints();
    }
}

TEST_F(VideoTest, DefaultKeymapFollowsTheKeyNames)
{
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    std::vector<Sint32> map(JEX_SCANCODE_COUNT);
    JEX_GetDefaultKeymap(map.data());
    // Printable and control keys map to their character; F1, Left Ctrl and
    // Sleep to their scancode with the scancode bit.
    const std::pair<int, Sint32> known[] = {{0, 0},
                                            {4, 'a'},
                                            {29, 'z'},
                                            {30, '1'},
                                            {39, '0'},
                                            {40, 13},
                                            {41, 27},
                                            {42, 8},
                                            {43, 9},
                                            {44, ' '},
                                            {49, '\\'},
                                            {53, '`'},
                                            {56, '/'},
                                            {76, 127},
                                            {58, 58 | JEX_SCANCODE_BIT},
                                            {224, 224 | JEX_SCANCODE_BIT},
                                            {282, 282 | JEX_SCANCODE_BIT}};
    for (const auto &[code, key] : known)
        EXPECT_EQ(map[code], key) << code;
    for (int unnamed : {1, 3, 100, 130, 132, 135, 152, 165, 175, 222, 223, 232, 256, 283, 511})
        EXPECT_EQ(map[unnamed], 0) << unnamed;
    JEX_GetDefaultKeymap(nullptr);
}

TEST_F(VideoTest, RestartQuitsTheOldDeviceAndShutdownKeepsTheErrorRecord)
{
    TestVideoDriver drv;
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *window = JEX_CreateWindow("w", 0, 0, 100, 100, 0);
    ASSERT_NE(window, nullptr);
    JEX_DisableScreenSaver();
    drv.Take();

    // Shut-down: screen saver back on, windows destroyed while the queue
    // still runs (their last events raise no lock failure), then the driver.
    JEX_SetError("marker");
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_STREQ(JEX_GetError(), "marker");
    EXPECT_EQ(drv.Take(), (Log{"SuspendScreenSaver(0)", "HideWindow(1)", "DestroyWindow(1)",
                               "GL_UnloadLibrary()", "VideoQuit()", "VideoInit()"}));
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
}

TEST_F(VideoTest, GlLibraryIsCountedPerWindow)
{
    TestVideoDriver drv;
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *a = JEX_CreateWindow("a", 0, 0, 10, 10, JEX_WINDOW_HIDDEN);
    JEX_Window *b = JEX_CreateWindow("b", 0, 0, 10, 10, JEX_WINDOW_HIDDEN);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 2);
    JEX_DestroyWindow(a);
    Log log = drv.Take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "GL_LoadLibrary()"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "GL_UnloadLibrary()"), 0)
        << "window b still needs the library";
    JEX_DestroyWindow(b);
    log = drv.Take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "GL_UnloadLibrary()"), 1);

    // A window whose load failed gives nothing back; the library loaded for
    // the next window stays loaded.
    drv.failing = {"GL_LoadLibrary"};
    JEX_Window *c = JEX_CreateWindow("c", 0, 0, 10, 10, JEX_WINDOW_HIDDEN);
    ASSERT_NE(c, nullptr);
    drv.failing.clear();
    JEX_Window *d = JEX_CreateWindow("d", 0, 0, 10, 10, JEX_WINDOW_HIDDEN);
    ASSERT_NE(d, nullptr);
    JEX_DestroyWindow(c);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 1);

    // A failed re-creation gives its load back once, and destruction does
    // not give it back again.
    JEX_Window *e = JEX_CreateWindow("e", 0, 0, 10, 10, JEX_WINDOW_HIDDEN);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 2);
    drv.failing = {"CreateWindow"};
    EXPECT_EQ(JEX_RecreateWindow(e, JEX_WINDOW_OPENGL), -1);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 1);
    JEX_DestroyWindow(e);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 1);
    drv.Take();
    JEX_DestroyWindow(d);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 0);
    EXPECT_EQ(drv.Take(), (Log{"DestroyWindow(4)", "GL_UnloadLibrary()"}));

    // An explicit load with another path while loaded is refused.
    ASSERT_EQ(JEX_GL_LoadLibrary("libA.so"), 0);
    EXPECT_EQ(JEX_GL_LoadLibrary("libB.so"), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL library already loaded");
    EXPECT_EQ(JEX_GL_LoadLibrary("libA.so"), 0);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_config.driver_loaded, 2);
}

TEST_F(VideoTest, RecreateSwitchesGlAndKeepsTheTitle)
{
    TestVideoDriver drv;
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *w = JEX_CreateWindow("keep", 0, 0, 10, 10, 0);
    ASSERT_NE(w, nullptr);
    drv.Take();
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_RESIZABLE | JEX_WINDOW_HIDDEN), 0);
    EXPECT_EQ(drv.Take(), (Log{"HideWindow(1)", "DestroyWindow(1)", "GL_UnloadLibrary()",
                               "CreateWindow(1)", "SetWindowTitle(1)"}));
    EXPECT_STREQ(JEX_GetWindowTitle(w), "keep");
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_RESIZABLE | JEX_WINDOW_HIDDEN));
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_OPENGL), 0);
    Log log = drv.Take();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 2), (Log{"DestroyWindow(1)", "GL_LoadLibrary()"}));
    EXPECT_EQ(JEX_GetWindowFlags(w) & JEX_WINDOW_SHOWN, Uint32(JEX_WINDOW_SHOWN));

    TestVideoDriver nogl;
    nogl.Omit({"GL_CreateContext"});
    ASSERT_EQ(nogl.Start(), 0);
    EXPECT_EQ(JEX_CreateWindow("x", 0, 0, 10, 10, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No OpenGL support in video driver");
    EXPECT_EQ(nogl.Take(), (Log{"VideoInit()"}));
}

}  // namespace
