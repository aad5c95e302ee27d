// X11 displays and display modes on Xvfb: one display per screen with the
// screen's size and depth, the extensions that list modes and the switches
// that turn them off, the visual choice, mode switching, and the choices
// behind a switch that Xvfb cannot exercise.
#include "x11_test_util.h"

#include "JEX_pixels.h"
#include "video/x11/x11_framebuffer.h"
#include "video/x11/x11_modes.h"

namespace {

using namespace x11test;

X11_DisplayData *DisplayData(int index)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device || index < 0 || index >= device->num_displays)
        return nullptr;
    return static_cast<X11_DisplayData *>(device->displays[index].driverdata);
}

std::string Text(const JEX_DisplayMode &m)
{
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%08X %dx%d@%d", unsigned(m.format), m.w, m.h, m.refresh_rate);
    return buf;
}

std::vector<std::string> Modes(int display)
{
    std::vector<std::string> out;
    for (int i = 0; i < JEX_GetNumDisplayModes(display); ++i) {
        JEX_DisplayMode m{};
        if (JEX_GetDisplayMode(display, i, &m) == 0)
            out.push_back(Text(m));
    }
    return out;
}

std::string Desktop(int display)
{
    JEX_DisplayMode m{};
    return JEX_GetDesktopDisplayMode(display, &m) == 0 ? Text(m) : JEX_GetError();
}

const std::string kRGB888 = "86161804", kRGB565 = "85151002";

using X11ModesTest = X11ServerTest;

TEST_F(X11ModesTest, EveryScreenBecomesADisplayWithItsModes)
{
    ASSERT_NO_FATAL_FAILURE(StartServer({{"1024x768x24", "800x600x16", "640x480x24"}, {}}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 3);
    // Depth 24 lives in 32-bit pixels on Xvfb.
    EXPECT_EQ(Desktop(0), kRGB888 + " 1024x768@0");
    EXPECT_EQ(Desktop(1), kRGB565 + " 800x600@0");
    EXPECT_EQ(Desktop(2), kRGB888 + " 640x480@0");
    JEX_DisplayMode current{};
    ASSERT_EQ(JEX_GetCurrentDisplayMode(0, &current), 0);
    EXPECT_EQ(Text(current), Desktop(0));

    X11_DisplayData *data = DisplayData(0);
    EXPECT_EQ(std::vector<int>({data->screen, data->depth, data->scanline_pad}),
              std::vector<int>({0, 24, 32}));
    EXPECT_EQ(data->visual->c_class, DirectColor) << "direct colour is preferred";
    EXPECT_EQ(std::vector<int>({DisplayData(1)->screen, DisplayData(1)->depth}),
              std::vector<int>({1, 16}));

    // Xvfb's RandR lists each screen's one size with one rate, 0.
    EXPECT_EQ(Modes(0), std::vector<std::string>{kRGB888 + " 1024x768@0"});
    EXPECT_NE(data->use_xrandr, 0);
    EXPECT_EQ(data->use_vidmode, 0);
    EXPECT_EQ(Modes(1), std::vector<std::string>{kRGB565 + " 800x600@0"});
    JEX_Rect bounds{};
    ASSERT_EQ(JEX_GetDisplayBounds(2, &bounds), 0);
    EXPECT_EQ(std::vector<int>({bounds.x, bounds.w, bounds.h}),
              std::vector<int>({1024 + 800, 640, 480}));
}

TEST_F(X11ModesTest, ExtensionsCanBeSwitchedOffOrAbsent)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    const std::vector<std::string> screen_size{kRGB888 + " 1024x768@0"};
    {
        ScopedEnv randr("JEX_VIDEO_X11_XRANDR", "0");
        ScopedEnv vidmode("JEX_VIDEO_X11_XVIDMODE", "0");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        EXPECT_EQ(Modes(0), screen_size) << "the screen size stands in";
        EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
        EXPECT_EQ(DisplayData(0)->use_vidmode, 0);
        JEX_VideoQuit();
    }
    // Without the RandR library the server's RandR goes unused.
    JEX_X11_OverrideLibrary("libXrandr.so.2", "libJEXnoSuchXrandr.so.2");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    JEX_X11_OverrideLibrary("libXrandr.so.2", nullptr);
    EXPECT_FALSE(JEX_X11_HAVE_XRANDR);
    EXPECT_EQ(Modes(0), screen_size);
    EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
    JEX_VideoQuit();
    server_.reset();

    for (const std::string extension : {"RANDR", "XINERAMA", "XFree86-VidModeExtension"}) {
        ASSERT_NO_FATAL_FAILURE(StartServer({{"800x600x24"}, {"-extension", extension}}));
        ASSERT_NO_FATAL_FAILURE(StartVideo()) << "without " << extension;
        const auto modes = Modes(0);
        ASSERT_FALSE(modes.empty()) << extension;
        EXPECT_EQ(modes[0].substr(0, 17), kRGB888 + " 800x600@") << extension;
        if (extension == "RANDR") {
            EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
        }
        JEX_VideoQuit();
        server_.reset();
    }
}

TEST_F(X11ModesTest, XineramaHeadsOfOneScreen)
{
    ASSERT_NO_FATAL_FAILURE(StartServer({{"1024x768x24", "800x600x24"}, {"+xinerama"}}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    // Xinerama joins the heads into one X screen, so one display.
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
    const auto modes = Modes(0);
    const X11_DisplayData *data = DisplayData(0);
    EXPECT_GE(data->use_xinerama, 100);
    EXPECT_EQ(std::vector<int>({data->xinerama_info.screen_number, data->xinerama_info.width,
                                data->xinerama_info.height}),
              std::vector<int>({0, 1024, 768}));
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes[0].substr(0, 18), kRGB888 + " 1024x768@");
    JEX_VideoQuit();

    ScopedEnv off("JEX_VIDEO_X11_XINERAMA", "0");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Modes(0);
    EXPECT_EQ(DisplayData(0)->use_xinerama, 0);
}

TEST_F(X11ModesTest, VisualChoice)
{
    // Xvfb's 8-bit screen has only 2-3-3 or palette visuals: no usable pixel
    // format, so no display; alone, it fails start-up.
    ASSERT_NO_FATAL_FAILURE(StartServer({{"640x480x8"}, {}}));
    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_STREQ(JEX_GetError(), "No available displays");
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "the failed start-up released everything";
    server_.reset();
    ASSERT_NO_FATAL_FAILURE(StartServer({{"1024x768x24", "640x480x8"}, {}}));
    {
        ScopedEnv nodirect("JEX_VIDEO_X11_NODIRECTCOLOR", "1");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
        EXPECT_EQ(DisplayData(0)->visual->c_class, TrueColor);
        JEX_VideoQuit();
    }
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(DisplayData(0)->visual->c_class, DirectColor);
    JEX_VideoQuit();
    server_.reset();

    // A single screen offers a 32-bit visual as well.
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Display *display = Data()->display;
    XVisualInfo argb{};
    ASSERT_TRUE(X11.XMatchVisualInfo(display, 0, 32, TrueColor, &argb));

    // Pixel formats of visuals the server has, and of ones it might have.
    XVisualInfo info{};
    ASSERT_EQ(X11_GetVisualInfoFromVisual(display, DefaultVisual(display, 0), &info), 0);
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &info), JEX_PIXELFORMAT_RGB888);
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &argb), JEX_PIXELFORMAT_ARGB8888)
        << "the bits outside the colour masks are alpha";
    Visual bogus = *DefaultVisual(display, 0);
    bogus.visualid = 0x7ffffff;
    EXPECT_EQ(X11_GetVisualInfoFromVisual(display, &bogus, &info), -1);
    auto format = [display](int c_class, int depth, unsigned long r = 0, unsigned long g = 0,
                            unsigned long b = 0) {
        XVisualInfo v{};
        v.c_class = c_class;
        v.depth = depth;
        v.red_mask = r;
        v.green_mask = g;
        v.blue_mask = b;
        return X11_GetPixelFormatFromVisualInfo(display, &v);
    };
    EXPECT_EQ(format(DirectColor, 15, 0x7C00, 0x03E0, 0x001F), JEX_PIXELFORMAT_RGB555);
    EXPECT_EQ(format(PseudoColor, 8), JEX_PIXELFORMAT_INDEX8);
    // Xvfb orders bitmap bits least significant first.
    EXPECT_EQ(format(StaticColor, 4), JEX_PIXELFORMAT_INDEX4LSB);
    EXPECT_EQ(format(StaticColor, 1), JEX_PIXELFORMAT_INDEX1LSB);
    EXPECT_EQ(format(StaticColor, 2), 0u);
    EXPECT_EQ(format(GrayScale, 8), 0u);
    JEX_VideoQuit();

    // A visual named by id, as the server numbers them; an id that names
    // nothing falls back to matching by class.
    char id[32];
    std::snprintf(id, sizeof(id), "0x%lx", static_cast<unsigned long>(argb.visualid));
    ScopedEnv visual("JEX_VIDEO_X11_VISUALID", id);
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(X11.XVisualIDFromVisual(DisplayData(0)->visual), argb.visualid);
    EXPECT_EQ(DisplayData(0)->depth, 32);
    EXPECT_EQ(Desktop(0).substr(0, 8),
              Text({JEX_PIXELFORMAT_ARGB8888, 0, 0, 0, nullptr}).substr(0, 8));
    JEX_VideoQuit();
    ScopedEnv unknown("JEX_VIDEO_X11_VISUALID", "0x7ffffff");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(DisplayData(0)->visual->c_class, DirectColor);
    EXPECT_EQ(DisplayData(0)->depth, 24);
}

TEST_F(X11ModesTest, SwitchingModes)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    for (const char *randr : {"1", "0"}) {
        ScopedEnv env("JEX_VIDEO_X11_XRANDR", randr);
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        JEX_VideoDevice *device = JEX_GetVideoDevice();
        JEX_VideoDisplay *display = &device->displays[0];
        Modes(0);
        // The mode the screen is in: nothing to do.
        JEX_DisplayMode same{JEX_PIXELFORMAT_RGB888, 1024, 768, 0, nullptr};
        EXPECT_EQ(X11_SetDisplayMode(device, display, &same), 0);
        JEX_DisplayMode smaller{JEX_PIXELFORMAT_RGB888, 640, 480, 0, nullptr};
        if (randr[0] == '1') {
            EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, nullptr), 0);
            // RandR takes the smallest size that holds the request.
            EXPECT_EQ(X11_SetDisplayMode(device, display, &smaller), 0) << JEX_GetError();
            JEX_DisplayMode larger{JEX_PIXELFORMAT_RGB888, 2048, 2048, 0, nullptr};
            EXPECT_EQ(X11_SetDisplayMode(device, display, &larger), -1);
        } else {
            // Nothing that can switch: a different mode is refused rather
            // than reported as done.
            EXPECT_EQ(X11_SetDisplayMode(device, display, &smaller), -1);
            EXPECT_STREQ(JEX_GetError(), "The X server offers no way to change the display mode");
        }
        JEX_VideoQuit();
    }
}

TEST(X11ModeChoiceTest, RandRSizesRatesAndVideoModeLines)
{
    const XRRScreenSize sizes[] = {
        {1280, 1024, 0, 0}, {1024, 768, 0, 0}, {800, 600, 0, 0}, {1024, 800, 0, 0}};
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 800, 600), 2) << "exact";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 900, 700), 1) << "smallest that holds it";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 1000, 780), 3) << "narrowest first, then lowest";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 1300, 700), -1);
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 0, 800, 600), -1);

    const short rates[] = {60, 75, 85, 50};
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 0), 85) << "highest for any";
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 60), 60);
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 72), 75) << "closest";
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 55), 60) << "a tie goes to the earlier rate";

    // htotal and vtotal of 1000 make the dot clock in kHz the refresh rate.
    auto line = [](int w, int h, int refresh) {
        XF86VidModeModeInfo m{};
        m.hdisplay = Uint16(w);
        m.vdisplay = Uint16(h);
        m.htotal = m.vtotal = 1000;
        m.dotclock = unsigned(refresh) * 1000u;
        return m;
    };
    XF86VidModeModeInfo lines[] = {line(1024, 768, 60),  line(1024, 768, 75), line(800, 600, 85),
                                   line(1280, 1024, 60), line(1024, 768, 70), line(1024, 600, 60)};
    XF86VidModeModeInfo *ptrs[] = {&lines[0], &lines[1], &lines[2],
                                   &lines[3], &lines[4], &lines[5]};
    const int n = 6;
    EXPECT_EQ(X11_ChooseVidMode(ptrs, n, 1024, 768, 0), 1) << "highest refresh of the size";
    EXPECT_EQ(X11_ChooseVidMode(ptrs, n, 1024, 768, 68), 4) << "closest refresh";
    EXPECT_EQ(X11_ChooseVidMode(ptrs, n, 900, 650, 0), 1) << "narrowest, then lowest";
    EXPECT_EQ(X11_ChooseVidMode(ptrs, n, 900, 500, 60), 5);
    EXPECT_EQ(X11_ChooseVidMode(ptrs, n, 1600, 1200, 0), -1);
    EXPECT_EQ(X11_ModeLineRefresh(65000, 1344, 806), 60);
    EXPECT_EQ(X11_ModeLineRefresh(65000, 1344, 0) + X11_ModeLineRefresh(65000, 0, 806), 0);
    EXPECT_EQ(X11_ModeLineRefresh(5000000, 1000, 1000), 5000) << "GHz dot clocks do not wrap";
}

}  // namespace
