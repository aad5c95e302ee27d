// The X11 driver's set-up, errors, displays, modes and visuals on private Xvfb servers.
#include "x11_test_util.h"
#include "JEX_log.h"
#include "JEX_pixels.h"
#include "video/x11/x11_framebuffer.h"
#include "video/x11/x11_modes.h"
#include <algorithm>
#include <dlfcn.h>

namespace {

using namespace x11test;

// Collects the library's log lines for one scope, one per line.
struct LogCapture {
    std::string text;
    JEX_LogOutputFunction old_fn = nullptr;
    void *old_data = nullptr;
    LogCapture()
    {
        JEX_LogSetPriority(JEX_LOG_CATEGORY_VIDEO, JEX_LOG_PRIORITY_VERBOSE);
        JEX_LogGetOutputFunction(&old_fn, &old_data);
        JEX_LogSetOutputFunction(
            [](void *self, int, JEX_LogPriority, const char *message) {
                static_cast<LogCapture *>(self)->text += std::string(message) + "\n";
            },
            this);
    }
    ~LogCapture() { JEX_LogSetOutputFunction(old_fn, old_data), JEX_LogResetPriorities(); }
    bool Contains(const std::string &part) const { return text.find(part) != std::string::npos; }
};

class X11VideoTest : public X11ServerTest {
protected:
    void TearDown() override
    {
        X11ServerTest::TearDown();
        JEX_X11_OverrideLibrary("libX11.so.6", nullptr);
        JEX_X11_OverrideLibrary("libXrandr.so.2", nullptr);
    }
};

TEST_F(X11VideoTest, SymbolTableIsReferenceCountedPrivateAndPartial)
{
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    EXPECT_TRUE(JEX_X11_HAVE_BASEXLIB && JEX_X11_HAVE_XRANDR && JEX_X11_HAVE_XINERAMA &&
                JEX_X11_HAVE_XVIDMODE && JEX_X11_HAVE_UTF8);
    JEX_X11_UnloadSymbols();
    EXPECT_NE(X11.XRRGetScreenInfo, nullptr) << "one load is still held";
    // Opened privately: nothing named like an X function becomes visible.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "XOpenDisplay"), nullptr);
    JEX_X11_UnloadSymbols();
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
    JEX_X11_UnloadSymbols();  // an extra unload is harmless
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
    // The shared library neither defines X functions nor links Xlib in.
    const std::string path = std::string(JEX_TEST_BINARY_DIR) + "/libjex.so";
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib, "JEX_VideoInit"), nullptr);
    for (const char *name : {"XOpenDisplay", "XNextEvent", "XSetErrorHandler", "XRRGetScreenInfo"})
        EXPECT_EQ(dlsym(lib, name), nullptr) << name;
    dlclose(lib);
    // A missing optional library only clears its own group, silently.
    JEX_X11_OverrideLibrary("libXrandr.so.2", "libJEXnoSuchXrandr.so.2");
    JEX_SetError("marker");
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    EXPECT_TRUE(JEX_X11_HAVE_BASEXLIB && JEX_X11_HAVE_XINERAMA);
    EXPECT_FALSE(JEX_X11_HAVE_XRANDR);
    EXPECT_EQ(X11.XRRQueryVersion, nullptr);
    EXPECT_STREQ(JEX_GetError(), "marker");
    JEX_X11_UnloadSymbols();
    EXPECT_TRUE(JEX_X11_HAVE_XRANDR) << "flags are reset on the last unload";
}

TEST_F(X11VideoTest, StartUpFailuresSayWhy)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    JEX_X11_OverrideLibrary("libX11.so.6", "libJEXnoSuchX11.so.6");
    EXPECT_EQ(JEX_X11_LoadSymbols(), 0);
    EXPECT_EQ(X11_Available(), 0);
    EXPECT_EQ(X11_CreateDevice(0), nullptr);
    EXPECT_NE(std::string(JEX_GetError()).find("libX11"), std::string::npos) << JEX_GetError();
    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_STREQ(JEX_GetError(), "x11 not available");
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
    JEX_X11_OverrideLibrary("libX11.so.6", nullptr);
    server_.reset();
    // A display nobody serves.
    const std::string dead = ":" + std::to_string(Xvfb::UnusedDisplayNumber());
    ScopedEnv display("DISPLAY", dead.c_str());
    ScopedEnv driver("JEX_VIDEODRIVER", nullptr);
    LogCapture log;
    EXPECT_EQ(X11_CreateDevice(0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Couldn't open X11 display");
    EXPECT_TRUE(log.Contains("\"" + dead + "\"")) << "the log names the display";
    // Chosen automatically, the driver's reason is not replaced by a generic one.
    JEX_SetError("marker");
    EXPECT_EQ(JEX_VideoInit(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't open X11 display");
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "every failure path gave the symbols back";
}

TEST_F(X11VideoTest, SelectionClassAndWindowManagerCheck)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ScopedEnv driver("JEX_VIDEODRIVER", nullptr);
    ASSERT_EQ(JEX_VideoInit(nullptr), 0) << JEX_GetError();
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "x11") << "first available driver in table order";
    EXPECT_STREQ(Data()->classname, "JEX_App");
    EXPECT_FALSE(Data()->net_wm) << "no window manager runs on a bare Xvfb";
    // A window left open is destroyed with the video subsystem.
    EXPECT_NE(JEX_CreateWindow("t", 0, 0, 64, 64, 0), nullptr) << JEX_GetError();
    JEX_VideoQuit();
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "quitting unloads the libraries";
    // A peer plays the window manager; `alive` false leaves a stale link, as after a crash.
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    Display *wm = X11.XOpenDisplay(nullptr);
    ASSERT_NE(wm, nullptr);
    const Atom check = X11.XInternAtom(wm, "_NET_SUPPORTING_WM_CHECK", False);
    for (const bool alive : {true, false}) {
        const Window w = X11.XCreateWindow(wm, DefaultRootWindow(wm), 0, 0, 1, 1, 0, CopyFromParent,
                                           InputOnly, CopyFromParent, 0, nullptr);
        const long value = long(w);
        for (Window target : {DefaultRootWindow(wm), w})
            X11.XChangeProperty(wm, target, check, XA_WINDOW, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(&value), 1);
        if (!alive)
            X11.XDestroyWindow(wm, w);
        X11.XSync(wm, False);
        // An application's own handler must not see the driver's probe fail.
        static int application_errors;
        application_errors = 0;
        const XErrorHandler mine = [](Display *, XErrorEvent *) {
            ++application_errors;
            return 0;
        };
        const XErrorHandler before = X11.XSetErrorHandler(mine);
        ScopedEnv wmclass("JEX_VIDEO_X11_WMCLASS", "cube-demo");
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        EXPECT_EQ(Data()->net_wm, alive);
        EXPECT_STREQ(Data()->classname, "cube-demo");
        EXPECT_EQ(application_errors, 0);
        JEX_VideoQuit();
        EXPECT_EQ(X11.XSetErrorHandler(before), mine) << "quitting put the application's back";
    }
    X11.XCloseDisplay(wm);
    JEX_X11_UnloadSymbols();
}

// A resetting server refuses connections a moment: choosing must not close and reopen.
TEST_F(X11VideoTest, RepeatedStartUpOnResettingServer)
{
    ASSERT_NO_FATAL_FAILURE(StartServer({{"640x480x24"}, {}, true}));
    ScopedEnv driver("JEX_VIDEODRIVER", nullptr);
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(JEX_VideoInit(nullptr), 0) << "round " << round << ": " << JEX_GetError();
        EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "x11");
        JEX_VideoQuit();
    }
}

TEST_F(X11VideoTest, ProtocolErrorsAreLoggedOrTrappedInNestedTraps)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Display *display = Data()->display;
    const Window bogus = 0x7fffff0;
    const Window root = RootWindow(display, 0);
    // Untrapped: Xlib's default handler would exit; the driver's logs.
    LogCapture log;
    X11.XMapWindow(display, bogus);
    X11.XSync(display, False);
    EXPECT_TRUE(log.Contains("BadWindow")) << log.text;
    // An error sent before a trap is not the trap's; trapped codes come back unlogged.
    log.text.clear();
    X11.XMapWindow(display, bogus);
    X11_TrapErrors(display);
    X11.XRaiseWindow(display, root);
    EXPECT_EQ(X11_UntrapErrors(display), 0);
    EXPECT_EQ(std::count(log.text.begin(), log.text.end(), '\n'), 1) << "the earlier error";
    log.text.clear();
    // Inner traps report their own errors and leave the outer result alone.
    X11_TrapErrors(display);
    X11.XUnmapWindow(display, bogus);  // BadWindow for the outer trap
    X11_TrapErrors(display);
    X11.XRaiseWindow(display, root);
    EXPECT_EQ(X11_UntrapErrors(display), 0) << "the outer trap's error is not the inner one's";
    X11_TrapErrors(display);
    X11.XFreePixmap(display, bogus);
    EXPECT_EQ(X11_UntrapErrors(display), BadPixmap);
    EXPECT_EQ(X11_UntrapErrors(display), BadWindow) << "the outer trap kept its own error";
    EXPECT_EQ(log.text, "");
    // With no trap left, errors are logged again.
    X11.XMapWindow(display, bogus);
    X11.XSync(display, False);
    EXPECT_TRUE(log.Contains("BadWindow"));
    EXPECT_NE(X11.XInternAtom(display, "JEX_STILL_ALIVE", False), Atom(None));
}

X11_DisplayData *DisplayData(int index)
{
    return static_cast<X11_DisplayData *>(JEX_GetVideoDevice()->displays[index].driverdata);
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
    EXPECT_EQ(std::vector<int>({data->screen, data->depth, data->scanline_pad,
                                DisplayData(1)->screen, DisplayData(1)->depth}),
              std::vector<int>({0, 24, 32, 1, 16}));
    EXPECT_EQ(data->visual->c_class, DirectColor) << "direct colour is preferred";
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
    // Without the RandR library the screen size stands in (as with JEX_VIDEO_X11_XRANDR=0).
    JEX_X11_OverrideLibrary("libXrandr.so.2", "libJEXnoSuchXrandr.so.2");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    JEX_X11_OverrideLibrary("libXrandr.so.2", nullptr);
    EXPECT_FALSE(JEX_X11_HAVE_XRANDR);
    EXPECT_EQ(Modes(0), std::vector<std::string>{kRGB888 + " 1024x768@0"});
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
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes[0].substr(0, 18), kRGB888 + " 1024x768@") << "the first head, not the screen";
    JEX_VideoQuit();
    ScopedEnv off("JEX_VIDEO_X11_XINERAMA", "0");
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    Modes(0);
    EXPECT_EQ(DisplayData(0)->use_xinerama, 0);
}

TEST_F(X11ModesTest, VisualChoice)
{
    // Xvfb's 8-bit screen has no visual of a usable format: alone, it fails start-up.
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
    // A visual the server does not know has no description.
    XVisualInfo info{};
    Visual bogus = *DefaultVisual(display, 0);
    bogus.visualid = 0x7ffffff;
    EXPECT_EQ(X11_GetVisualInfoFromVisual(display, &bogus, &info), -1);
    JEX_VideoQuit();
    // A visual named by id; an id that names nothing falls back to matching by class.
    char id[32];
    std::snprintf(id, sizeof(id), "0x%lx", static_cast<unsigned long>(argb.visualid));
    ScopedEnv visual("JEX_VIDEO_X11_VISUALID", id);
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(X11.XVisualIDFromVisual(DisplayData(0)->visual), argb.visualid);
    EXPECT_EQ(DisplayData(0)->depth, 32);
    EXPECT_EQ(Desktop(0).substr(0, 8),
              Text({JEX_PIXELFORMAT_ARGB8888, 0, 0, 0, nullptr}).substr(0, 8))
        << "the bits outside the colour masks are alpha";
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
            // Nothing can switch: a different mode is refused, not reported as done.
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
