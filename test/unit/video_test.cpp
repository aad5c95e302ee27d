// Video core: driver selection, start and stop, mode lists, closest mode, switching.
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <csignal>
#include <tuple>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

auto Fields(const JEX_DisplayMode &m)
{
    return std::tuple(m.format, m.w, m.h, m.refresh_rate);
}

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("JEX_VIDEODRIVER"); }
    void TearDown() override
    {
        JEX_VideoQuit();
        unsetenv("JEX_VIDEODRIVER");
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
    const bool ran = JEX_PushEvent(&e) == 1;
    JEX_FlushEvent(JEX_USEREVENT);
    return ran;
}

TEST_F(VideoTest, DriverSelectionTheNullDriverAndNoDevice)
{
    // The X11 row exists only in builds with the X11 driver.
    constexpr int kRows = JEX_VIDEO_DRIVER_X11 ? 2 : 1;
    ASSERT_EQ(JEX_GetNumVideoDrivers(), kRows);
    EXPECT_STREQ(JEX_GetVideoDriver(0), JEX_VIDEO_DRIVER_X11 ? "x11" : "dummy");
    EXPECT_STREQ(JEX_GetVideoDriver(kRows - 1), "dummy");
    EXPECT_TRUE(!JEX_GetVideoDriver(kRows) && !JEX_GetVideoDriver(-1));
    ASSERT_EQ(JEX_VideoInit("DUMMY"), 0) << "names ignore case";
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "dummy");
    JEX_VideoQuit();
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
    // A name from the environment takes the name path.
    setenv("JEX_VIDEODRIVER", "Dummy", 1);
    ASSERT_EQ(JEX_VideoInit(nullptr), 0);
    JEX_VideoQuit();
    // No X server: nothing offers itself; the null driver only when named exactly.
    unsetenv("JEX_VIDEODRIVER");
    const char *display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    EXPECT_TRUE(JEX_VideoInit(nullptr) == -1 && JEX_GetVideoDevice() == nullptr);
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    setenv("JEX_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(DUMMY_bootstrap.available(), 1);
    setenv("JEX_VIDEODRIVER", "DUMMY", 1);
    EXPECT_EQ(DUMMY_bootstrap.available(), 0);
    // Queries without a device, and the null driver.
    JEX_DisplayMode mode;
    JEX_Rect rect;
    EXPECT_EQ(JEX_GetCurrentVideoDriver(), nullptr);
    JEX_ClearError();
    EXPECT_EQ(JEX_GetNumVideoDisplays(), 0);
    EXPECT_STREQ(JEX_GetError(), "Video subsystem has not been initialized");
    EXPECT_EQ(JEX_GetDisplayBounds(0, &rect) + JEX_GetNumDisplayModes(0) +
                  JEX_GetDesktopDisplayMode(0, &mode),
              -3);
    EXPECT_EQ(JEX_GetClosestDisplayMode(0, &mode, &mode), nullptr);
    EXPECT_EQ(JEX_CreateWindowFrom(nullptr), nullptr);
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
    ASSERT_EQ(JEX_GetDesktopDisplayMode(0, &mode), 0);
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
    EXPECT_EQ(JEX_GetDisplayBounds(1, &rect), -1);
    EXPECT_STREQ(JEX_GetError(), "displayIndex must be in the range 0 - 0");
    EXPECT_EQ(JEX_GetDesktopDisplayMode(-1, &mode), -1);
    EXPECT_EQ(JEX_GetDisplayMode(0, 1, &mode), -1);
    EXPECT_STREQ(JEX_GetError(), "index must be in the range of 0 - 0");
}

TEST_F(VideoTest, StartFailuresDefaultsAndRestartOrder)
{
    ASSERT_TRUE(SigintIsDefault());
    EXPECT_EQ(JEX_VideoInit("nosuch"), -1);
    EXPECT_STREQ(JEX_GetError(), "nosuch not available");
    EXPECT_TRUE(SigintIsDefault()) << "Ctrl-C must still end the program";
    EXPECT_FALSE(QueueRuns());
    {
        // The driver's own start fails: the device is quit as well.
        TestVideoDriver drv;
        drv.failing = {"VideoInit"};
        EXPECT_EQ(drv.Start(), -1);
        EXPECT_STREQ(JEX_GetError(), "scripted VideoInit failure");
        EXPECT_EQ(drv.Take(), (Log{"VideoInit()", "VideoQuit()"}));
        EXPECT_TRUE(JEX_GetVideoDevice() == nullptr && SigintIsDefault() && !QueueRuns());
    }
    {
        TestVideoDriver drv;
        drv.displays.clear();
        EXPECT_EQ(drv.Start(), -1);
        EXPECT_STREQ(JEX_GetError(), "The video driver did not add any displays");
        EXPECT_TRUE(SigintIsDefault());
    }
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    EXPECT_TRUE(!SigintIsDefault() && QueueRuns());
    JEX_VideoQuit();
    EXPECT_TRUE(SigintIsDefault());
    // Defaults, and the order of a restart.
    TestVideoDriver drv;
    ASSERT_EQ(drv.Start(), 0);
    const JEX_GLConfig &gl = JEX_GetVideoDevice()->gl_config;
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "test");
    EXPECT_TRUE(gl.red_size == 3 && gl.accelerated == -1 && !gl.driver_loaded) << "defaults";
    JEX_Window *window = JEX_CreateWindow("w", 0, 0, 100, 100, 0);
    ASSERT_NE(window, nullptr);
    JEX_DisableScreenSaver();
    drv.Take();
    // Restart order: screen saver, windows (queue still up), library, driver.
    JEX_SetError("marker");
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_STREQ(JEX_GetError(), "marker");
    EXPECT_EQ(drv.Take(), (Log{"SuspendScreenSaver(0)", "HideWindow(1)", "DestroyWindow(1)",
                               "GL_UnloadLibrary()", "VideoQuit()", "VideoInit()"}));
    EXPECT_EQ(JEX_GetVideoDevice()->windows, nullptr);
}

TEST_F(VideoTest, ModesAreSortedDeduplicatedAndListedLazilyOnce)
{
    JEX_VideoDisplay display{};
    const JEX_DisplayMode a = Mode(1024, 768, 60, JEX_PIXELFORMAT_ARGB8888);
    const JEX_DisplayMode b = Mode(1024, 768, 75, JEX_PIXELFORMAT_ARGB8888);
    const JEX_DisplayMode c = Mode(1280, 1024, 60, JEX_PIXELFORMAT_RGB565);
    const JEX_DisplayMode d = Mode(1024, 768, 60, JEX_PIXELFORMAT_RGB565);
    for (const JEX_DisplayMode *m : {&a, &b, &c, &d})
        EXPECT_TRUE(JEX_AddDisplayMode(&display, m));
    EXPECT_FALSE(JEX_AddDisplayMode(&display, &b));
    // Wider first, then higher rates, then deeper formats.
    ASSERT_EQ(display.num_display_modes, 4);
    const JEX_DisplayMode *order[] = {&c, &b, &a, &d};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Fields(display.display_modes[i]), Fields(*order[i])) << i;
    JEX_DisplayMode e = a;
    int tag = 0;
    e.driverdata = &tag;
    EXPECT_TRUE(JEX_AddDisplayMode(&display, &e)) << "other driverdata: another mode";
    for (int i = 0; display.num_display_modes < 33; ++i) {
        JEX_DisplayMode m = Mode(100 + i, 100);
        ASSERT_TRUE(JEX_AddDisplayMode(&display, &m));
    }
    std::free(display.display_modes);
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

TEST_F(VideoTest, ClosestModeRules)
{
    const std::vector<JEX_DisplayMode> sizes = {Mode(1600, 900), Mode(1280, 1024), Mode(1280, 720),
                                                Mode(800, 600), Mode(640, 480)};
    const std::vector<JEX_DisplayMode> rates = {Mode(1024, 768, 85), Mode(1024, 768, 60)};
    const std::vector<JEX_DisplayMode> formats = {Mode(800, 600, 60, JEX_PIXELFORMAT_ARGB8888),
                                                  Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565)};
    const struct {
        const char *what;
        int desktop_refresh;
        const std::vector<JEX_DisplayMode> &modes;
        JEX_DisplayMode want;
        bool found;  // false: null, the output untouched
        JEX_DisplayMode expect;
    } cases[] = {
        {"the only rate at least the desktop's 70", 70, rates, Mode(1024, 768, 0, 0), true,
         Mode(1024, 768, 85)},
        {"the desktop's rate", 60, rates, Mode(1024, 768, 0, 0), true, Mode(1024, 768, 60)},
        {"smallest mode that still fits", 60, sizes, Mode(700, 500, 0, 0), true, Mode(800, 600)},
        {"taller mode before a too-low one", 60, sizes, Mode(1000, 1000, 0, 0), true,
         Mode(1280, 1024)},
        {"nothing wide enough", 60, sizes, Mode(2000, 100, 0, 0), false, Mode(1, 1)},
        {"the wanted format", 60, formats, Mode(800, 600, 0, JEX_PIXELFORMAT_RGB565), true,
         Mode(800, 600, 60, JEX_PIXELFORMAT_RGB565)},
    };
    for (const auto &c : cases) {
        TestVideoDriver drv;
        drv.displays[0].desktop.refresh_rate = c.desktop_refresh;
        drv.displays[0].modes = c.modes;
        ASSERT_EQ(drv.Start(), 0) << c.what;
        JEX_DisplayMode got = Mode(1, 1);
        EXPECT_EQ(JEX_GetClosestDisplayModeForDisplay(JEX_GetFirstDisplay(), &c.want, &got) !=
                      nullptr,
                  c.found)
            << c.what;
        EXPECT_EQ(Fields(got), Fields(c.expect)) << c.what;
        JEX_VideoQuit();
    }
}

TEST_F(VideoTest, SettingDisplayModesAndBounds)
{
    TestVideoDriver drv;
    drv.displays.resize(3);
    drv.displays[0].modes = {Mode(1024, 768), Mode(800, 600)};
    drv.displays[1].desktop = Mode(800, 600);
    drv.displays[2].desktop = Mode(640, 480);
    drv.displays[2].has_bounds = true;
    drv.displays[2].bounds = JEX_Rect{-640, 100, 640, 480};
    ASSERT_EQ(drv.Start(), 0);
    JEX_VideoDisplay *display = JEX_GetFirstDisplay();
    drv.Take();
    // Zero fields come from the current mode; the same mode needs no switch.
    JEX_DisplayMode want{0, 800, 600, 0, nullptr};
    ASSERT_EQ(JEX_SetDisplayModeForDisplay(display, &want), 0);
    ASSERT_EQ(JEX_SetDisplayModeForDisplay(display, &want), 0);
    EXPECT_EQ(Fields(display->current_mode), Fields(Mode(800, 600)));
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
    JEX_GetVideoDevice()->SetDisplayMode = nullptr;
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, nullptr), 0) << "already there";
    want = Mode(800, 600);
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, &want), -1);
    EXPECT_STREQ(JEX_GetError(), "Video driver doesn't support changing display mode");
    // Displays sit side by side unless the driver knows better.
    JEX_Rect r;
    ASSERT_EQ(JEX_GetDisplayBounds(1, &r), 0);
    EXPECT_EQ(std::tuple(r.x, r.y, r.w, r.h), std::tuple(1024, 0, 800, 600));
    ASSERT_EQ(JEX_GetDisplayBounds(2, &r), 0);
    EXPECT_EQ(std::tuple(r.x, r.y, r.w, r.h), std::tuple(-640, 100, 640, 480));
    EXPECT_EQ(JEX_GetDisplayBounds(0, nullptr), 0);
}

}  // namespace
