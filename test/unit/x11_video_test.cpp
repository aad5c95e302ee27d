// The X11 driver's set-up on private Xvfb servers: run-time loading of the X
// libraries, driver selection, start-up failures and their reasons, start-up
// against a server that resets, the window-manager check and protocol errors
// that must not end the program.
#include "x11_test_util.h"

#include "JEX_log.h"

#include <dlfcn.h>

namespace {

using namespace x11test;

// Collects the library's log lines for one scope.
struct LogCapture {
    std::vector<std::string> lines;
    JEX_LogOutputFunction old_fn = nullptr;
    void *old_data = nullptr;

    LogCapture()
    {
        JEX_LogSetPriority(JEX_LOG_CATEGORY_VIDEO, JEX_LOG_PRIORITY_VERBOSE);
        JEX_LogGetOutputFunction(&old_fn, &old_data);
        JEX_LogSetOutputFunction(
            [](void *self, int, JEX_LogPriority, const char *message) {
                static_cast<LogCapture *>(self)->lines.emplace_back(message);
            },
            this);
    }
    ~LogCapture()
    {
        JEX_LogSetOutputFunction(old_fn, old_data);
        JEX_LogResetPriorities();
    }
    bool Contains(const std::string &needle) const
    {
        for (const std::string &line : lines)
            if (line.find(needle) != std::string::npos)
                return true;
        return false;
    }
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

TEST_F(X11VideoTest, MissingCoreLibraryMakesDriverUnavailable)
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
}

TEST_F(X11VideoTest, DeadDisplayGivesItsReason)
{
    const std::string dead = ":" + std::to_string(Xvfb::UnusedDisplayNumber());
    ScopedEnv display("DISPLAY", dead.c_str());
    ScopedEnv driver("JEX_VIDEODRIVER", nullptr);
    LogCapture log;
    EXPECT_EQ(X11_CreateDevice(0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Couldn't open X11 display");
    EXPECT_TRUE(log.Contains("\"" + dead + "\"")) << "the log names the display";
    // Chosen automatically, the driver's reason is not replaced by a
    // generic one.
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
    EXPECT_NE(Data()->UTF8_STRING, Atom(None));
    // A window left open is destroyed with the video subsystem.
    EXPECT_NE(JEX_CreateWindow("t", 0, 0, 64, 64, 0), nullptr) << JEX_GetError();
    JEX_VideoQuit();
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "quitting unloads the libraries";

    // A peer plays the window manager: a check window naming itself,
    // linked from the root; `alive` false leaves a stale link, as after a
    // manager crashed.
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

// A server that resets when its last client leaves refuses connections for
// a moment; choosing the driver must not open, close and reopen across it.
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
    EXPECT_TRUE(log.Contains("BadWindow")) << (log.lines.empty() ? "" : log.lines.back());

    // An error sent before a trap is not the trap's; a valid request traps
    // nothing; the code comes back and nothing is logged.
    log.lines.clear();
    X11.XMapWindow(display, bogus);
    X11_TrapErrors(display);
    X11.XRaiseWindow(display, root);
    EXPECT_EQ(X11_UntrapErrors(display), 0);
    EXPECT_EQ(log.lines.size(), 1u) << "the earlier error was logged";
    log.lines.clear();

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
    EXPECT_TRUE(log.lines.empty());

    // With no trap left, errors are logged again.
    X11.XMapWindow(display, bogus);
    X11.XSync(display, False);
    EXPECT_TRUE(log.Contains("BadWindow"));
    EXPECT_NE(X11.XInternAtom(display, "JEX_STILL_ALIVE", False), Atom(None));
}

}  // namespace
