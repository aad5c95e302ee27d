// X11 displays and display modes on Xvfb: one display per screen with the
// screen's size and depth, the extensions that list modes and the switches
// that turn them off, the visual choice, mode switching, and the choices
// behind a switch that Xvfb cannot exercise.
#include <gtest/gtest.h>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_video.h"
#include "video/sysvideo.h"
#include "xvfb_fixture.h"

#include "video/x11/x11_framebuffer.h"
#include "video/x11/x11_modes.h"

#include <memory>
#include <string>
#include <vector>

namespace {

using jextest::ScopedEnv;
using jextest::Xvfb;
using jextest::XvfbOptions;

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
    const int n = JEX_GetNumDisplayModes(display);
    for (int i = 0; i < n; ++i) {
        JEX_DisplayMode m{};
        if (JEX_GetDisplayMode(display, i, &m) == 0)
            out.push_back(Text(m));
    }
    return out;
}

class X11ModesTest : public ::testing::Test {
protected:
    void Start(XvfbOptions options = {})
    {
        server_ = std::make_unique<Xvfb>(std::move(options));
        ASSERT_TRUE(server_->ok()) << server_->error();
    }
    void StartVideo() { ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError(); }
    Display *XDisplay()
    {
        return static_cast<X11_VideoData *>(JEX_GetVideoDevice()->driverdata)->display;
    }
    void TearDown() override
    {
        JEX_VideoQuit();
        server_.reset();
    }
    std::unique_ptr<Xvfb> server_;
};

TEST_F(X11ModesTest, OneScreenIsOneDisplayWithItsDesktopMode)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);

    JEX_DisplayMode desktop{}, current{};
    ASSERT_EQ(JEX_GetDesktopDisplayMode(0, &desktop), 0);
    ASSERT_EQ(JEX_GetCurrentDisplayMode(0, &current), 0);
    // Depth 24 lives in 32-bit pixels on Xvfb.
    EXPECT_EQ(Text(desktop), Text({JEX_PIXELFORMAT_RGB888, 1024, 768, 0, nullptr}));
    EXPECT_EQ(Text(current), Text(desktop));

    X11_DisplayData *data = DisplayData(0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->screen, 0);
    EXPECT_EQ(data->depth, 24);
    EXPECT_EQ(data->scanline_pad, 32);
    EXPECT_EQ(data->visual->c_class, DirectColor) << "direct colour is preferred";

    const auto modes = Modes(0);
    ASSERT_FALSE(modes.empty());
    EXPECT_NE(data->use_xrandr, 0) << "Xvfb lists its size through RandR";
    EXPECT_EQ(data->use_vidmode, 0);
    // Xvfb's RandR has one size with one rate, 0.
    EXPECT_EQ(modes, std::vector<std::string>{"86161804 1024x768@0"});
    for (const std::string &m : modes)
        EXPECT_EQ(m.substr(0, 8), "86161804") << "every mode has the desktop format";

    JEX_Rect bounds{};
    ASSERT_EQ(JEX_GetDisplayBounds(0, &bounds), 0);
    EXPECT_EQ(bounds.w, 1024);
    EXPECT_EQ(bounds.h, 768);
}

TEST_F(X11ModesTest, EveryScreenBecomesADisplay)
{
    ASSERT_NO_FATAL_FAILURE(Start({{"1024x768x24", "800x600x16", "640x480x24"}, {}}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 3);

    JEX_DisplayMode m{};
    ASSERT_EQ(JEX_GetDesktopDisplayMode(1, &m), 0);
    EXPECT_EQ(Text(m), Text({JEX_PIXELFORMAT_RGB565, 800, 600, 0, nullptr}));
    ASSERT_EQ(JEX_GetDesktopDisplayMode(2, &m), 0);
    EXPECT_EQ(Text(m), Text({JEX_PIXELFORMAT_RGB888, 640, 480, 0, nullptr}));
    EXPECT_EQ(DisplayData(1)->screen, 1);
    EXPECT_EQ(DisplayData(1)->depth, 16);
    EXPECT_EQ(DisplayData(2)->screen, 2);

    // Each display lists its own screen's size.
    const auto modes1 = Modes(1);
    ASSERT_FALSE(modes1.empty());
    EXPECT_EQ(modes1.front().substr(0, 17), "85151002 800x600@");
    const auto modes2 = Modes(2);
    ASSERT_FALSE(modes2.empty());
    EXPECT_EQ(modes2.front().substr(0, 17), "86161804 640x480@");

    JEX_Rect bounds{};
    ASSERT_EQ(JEX_GetDisplayBounds(2, &bounds), 0);
    EXPECT_EQ(bounds.x, 1024 + 800);
    EXPECT_EQ(bounds.w, 640);
}

TEST_F(X11ModesTest, ExtensionsCanBeSwitchedOffOrAbsent)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    {
        ScopedEnv randr("JEX_VIDEO_X11_XRANDR", "0");
        ScopedEnv vidmode("JEX_VIDEO_X11_XVIDMODE", "0");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        const auto modes = Modes(0);
        EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
        EXPECT_EQ(DisplayData(0)->use_vidmode, 0);
        ASSERT_EQ(modes.size(), 1u);
        EXPECT_EQ(modes[0], "86161804 1024x768@0") << "the screen size stands in";
        JEX_VideoQuit();
    }
    {
        // Any value other than one reading as 0 keeps RandR on.
        ScopedEnv randr("JEX_VIDEO_X11_XRANDR", "1");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        Modes(0);
        EXPECT_NE(DisplayData(0)->use_xrandr, 0);
        JEX_VideoQuit();
    }
    {
        // Without the RandR library the server's RandR goes unused.
        JEX_X11_OverrideLibrary("libXrandr.so.2", "libJEXnoSuchXrandr.so.2");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        EXPECT_FALSE(JEX_X11_HAVE_XRANDR);
        EXPECT_EQ(Modes(0), std::vector<std::string>{"86161804 1024x768@0"});
        EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
        JEX_VideoQuit();
        JEX_X11_OverrideLibrary("libXrandr.so.2", nullptr);
    }
    server_.reset();

    for (const char *extension : {"RANDR", "XINERAMA", "XFree86-VidModeExtension"}) {
        ASSERT_NO_FATAL_FAILURE(Start({{"800x600x24"}, {"-extension", extension}}));
        ASSERT_NO_FATAL_FAILURE(StartVideo()) << "without " << extension;
        const auto modes = Modes(0);
        ASSERT_FALSE(modes.empty()) << extension;
        EXPECT_EQ(modes[0].substr(0, 17), "86161804 800x600@") << extension;
        if (std::string(extension) == "RANDR") {
            EXPECT_EQ(DisplayData(0)->use_xrandr, 0);
            EXPECT_EQ(modes.size(), 1u);
        }
        JEX_VideoQuit();
        server_.reset();
    }
}

TEST_F(X11ModesTest, XineramaHeadsOfOneScreen)
{
    ASSERT_NO_FATAL_FAILURE(Start({{"1024x768x24", "800x600x24"}, {"+xinerama"}}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    // Xinerama joins the heads into one X screen, so one display.
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
    const auto modes = Modes(0);
    X11_DisplayData *data = DisplayData(0);
    EXPECT_GE(data->use_xinerama, 100);
    EXPECT_EQ(data->xinerama_info.screen_number, 0);
    EXPECT_EQ(data->xinerama_info.width, 1024);
    EXPECT_EQ(data->xinerama_info.height, 768);
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes[0].substr(0, 18), "86161804 1024x768@");
    JEX_VideoQuit();

    ScopedEnv off("JEX_VIDEO_X11_XINERAMA", "0");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Modes(0);
    EXPECT_EQ(DisplayData(0)->use_xinerama, 0);
}

TEST_F(X11ModesTest, VisualChoice)
{
    // Xvfb's 8-bit screen has only visuals with 2-3-3 blue-green-red
    // masks or a palette: no usable pixel format, so no display.
    ASSERT_NO_FATAL_FAILURE(Start({{"1024x768x24", "640x480x8"}, {}}));
    {
        ScopedEnv nodirect("JEX_VIDEO_X11_NODIRECTCOLOR", "1");
        ASSERT_NO_FATAL_FAILURE(StartVideo());
        ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
        EXPECT_EQ(DisplayData(0)->screen, 0);
        EXPECT_EQ(DisplayData(0)->visual->c_class, TrueColor);
        JEX_VideoQuit();
    }
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(DisplayData(0)->visual->c_class, DirectColor);
    JEX_VideoQuit();
    server_.reset();

    // A single screen offers a 32-bit visual as well. Visual ids as the
    // server numbers them.
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    XVisualInfo argb{};
    ASSERT_TRUE(X11.XMatchVisualInfo(XDisplay(), 0, 32, TrueColor, &argb));
    JEX_VideoQuit();

    char id[32];
    std::snprintf(id, sizeof(id), "0x%lx", static_cast<unsigned long>(argb.visualid));
    ScopedEnv visual("JEX_VIDEO_X11_VISUALID", id);
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    ASSERT_EQ(JEX_GetNumVideoDisplays(), 1);
    EXPECT_EQ(X11.XVisualIDFromVisual(DisplayData(0)->visual), argb.visualid);
    EXPECT_EQ(DisplayData(0)->depth, 32);
    JEX_DisplayMode m{};
    JEX_GetDesktopDisplayMode(0, &m);
    EXPECT_EQ(m.format, JEX_PIXELFORMAT_ARGB8888);
    JEX_VideoQuit();

    // An id that names nothing falls back to matching by class.
    ScopedEnv unknown("JEX_VIDEO_X11_VISUALID", "0x7ffffff");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(DisplayData(0)->visual->c_class, DirectColor);
    EXPECT_EQ(DisplayData(0)->depth, 24);
}

TEST_F(X11ModesTest, NoUsableScreenFailsStartUp)
{
    ASSERT_NO_FATAL_FAILURE(Start({{"640x480x8"}, {}}));
    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_STREQ(JEX_GetError(), "No available displays");
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "the failed start-up released everything";
}

TEST_F(X11ModesTest, SwitchingModes)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    JEX_VideoDisplay *display = &device->displays[0];
    Modes(0);

    // The mode the screen is in: nothing to do.
    JEX_DisplayMode same{JEX_PIXELFORMAT_RGB888, 1024, 768, 0, nullptr};
    EXPECT_EQ(X11_SetDisplayMode(device, display, &same), 0);
    EXPECT_EQ(JEX_SetDisplayModeForDisplay(display, nullptr), 0);

    // RandR takes the smallest size that holds the request.
    JEX_DisplayMode smaller{JEX_PIXELFORMAT_RGB888, 640, 480, 0, nullptr};
    EXPECT_EQ(X11_SetDisplayMode(device, display, &smaller), 0) << JEX_GetError();
    JEX_DisplayMode larger{JEX_PIXELFORMAT_RGB888, 2048, 2048, 0, nullptr};
    EXPECT_EQ(X11_SetDisplayMode(device, display, &larger), -1);
    JEX_VideoQuit();

    // Without an extension that can switch, a different mode is refused
    // rather than reported as done.
    ScopedEnv randr("JEX_VIDEO_X11_XRANDR", "0");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    device = JEX_GetVideoDevice();
    display = &device->displays[0];
    Modes(0);
    EXPECT_EQ(X11_SetDisplayMode(device, display, &same), 0);
    EXPECT_EQ(X11_SetDisplayMode(device, display, &smaller), -1);
    EXPECT_STREQ(JEX_GetError(), "The X server offers no way to change the display mode");
}

TEST(X11ModeChoiceTest, RandRSizeAndRate)
{
    const XRRScreenSize sizes[] = {
        {1280, 1024, 0, 0}, {1024, 768, 0, 0}, {800, 600, 0, 0}, {1024, 800, 0, 0}};
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 800, 600), 2) << "exact";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 900, 700), 1) << "smallest that holds it";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 1000, 780), 3) << "narrowest first, then lowest";
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 1100, 700), 0);
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 4, 1300, 700), -1);
    EXPECT_EQ(X11_ChooseRandRSize(sizes, 0, 800, 600), -1);

    const short rates[] = {60, 75, 85, 50};
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 0), 85) << "highest for any";
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 60), 60);
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 85), 85);
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 72), 75) << "closest";
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 55), 60) << "a tie goes to the earlier rate";
    EXPECT_EQ(X11_ChooseRandRRate(rates, 4, 200), 85);
}

TEST(X11ModeChoiceTest, VideoModeLines)
{
    // htotal/vtotal chosen so that the refresh comes out as named.
    auto line = [](int w, int h, int refresh) {
        XF86VidModeModeInfo m{};
        m.hdisplay = Uint16(w);
        m.vdisplay = Uint16(h);
        m.htotal = 1000;
        m.vtotal = 1000;
        m.dotclock = unsigned(refresh) * 1000u;
        return m;
    };
    std::vector<XF86VidModeModeInfo> lines = {line(1024, 768, 60), line(1024, 768, 75),
                                              line(800, 600, 85),  line(1280, 1024, 60),
                                              line(1024, 768, 70), line(1024, 600, 60)};
    std::vector<XF86VidModeModeInfo *> ptrs;
    for (auto &l : lines)
        ptrs.push_back(&l);
    const int n = int(ptrs.size());
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 1024, 768, 0), 1) << "highest refresh of the size";
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 1024, 768, 68), 4) << "closest refresh";
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 900, 650, 0), 1)
        << "narrowest, then lowest that holds it";
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 900, 500, 60), 5);
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 640, 480, 0), 2);
    EXPECT_EQ(X11_ChooseVidMode(ptrs.data(), n, 1600, 1200, 0), -1);

    EXPECT_EQ(X11_ModeLineRefresh(65000, 1344, 806), 60);
    EXPECT_EQ(X11_ModeLineRefresh(65000, 1344, 0), 0);
    EXPECT_EQ(X11_ModeLineRefresh(65000, 0, 806), 0);
    // A dot clock in the GHz range must not wrap around.
    EXPECT_EQ(X11_ModeLineRefresh(5000000, 1000, 1000), 5000);
}

TEST_F(X11ModesTest, PixelFormatsOfVisuals)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Display *display = XDisplay();

    XVisualInfo v{};
    v.c_class = TrueColor;
    v.depth = 24;
    v.red_mask = 0xFF0000;
    v.green_mask = 0x00FF00;
    v.blue_mask = 0x0000FF;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_RGB888)
        << "depth 24 in the server's 32-bit pixmap format";
    v.depth = 32;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_ARGB8888)
        << "the bits outside the colour masks are alpha";
    v.c_class = DirectColor;
    v.depth = 16;
    v.red_mask = 0xF800;
    v.green_mask = 0x07E0;
    v.blue_mask = 0x001F;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_RGB565);
    v.depth = 15;
    v.red_mask = 0x7C00;
    v.green_mask = 0x03E0;
    v.blue_mask = 0x001F;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_RGB555);

    v = XVisualInfo{};
    v.c_class = PseudoColor;
    v.depth = 8;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_INDEX8);
    v.c_class = StaticColor;
    v.depth = 4;
    // Xvfb orders bitmap bits least significant first.
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_INDEX4LSB);
    v.depth = 1;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), JEX_PIXELFORMAT_INDEX1LSB);
    v.depth = 2;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), 0u);
    v.c_class = GrayScale;
    v.depth = 8;
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &v), 0u);

    // A real visual looked up by id.
    XVisualInfo info{};
    Visual *visual = DefaultVisual(display, 0);
    ASSERT_EQ(X11_GetVisualInfoFromVisual(display, visual, &info), 0);
    EXPECT_EQ(info.visualid, X11.XVisualIDFromVisual(visual));
    EXPECT_EQ(X11_GetPixelFormatFromVisualInfo(display, &info), JEX_PIXELFORMAT_RGB888);
    Visual bogus = *visual;
    bogus.visualid = 0x7ffffff;
    EXPECT_EQ(X11_GetVisualInfoFromVisual(display, &bogus, &info), -1);
}

}  // namespace
