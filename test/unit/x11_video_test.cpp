// The X11 driver's set-up on a private Xvfb: run-time loading of the X
// libraries, driver selection, start-up failures, the window-manager check
// and protocol errors that must not end the program.
#include <gtest/gtest.h>

#include "JEX_error.h"
#include "JEX_log.h"
#include "JEX_video.h"
#include "video/sysvideo.h"
#include "xvfb_fixture.h"

#include "video/x11/x11_video.h"

#include <dlfcn.h>

#include <memory>

#include <string>
#include <vector>

namespace {

using jextest::ScopedEnv;
using jextest::Xvfb;

X11_VideoData *Data()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    return device ? static_cast<X11_VideoData *>(device->driverdata) : nullptr;
}

// Collects library log lines.
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

class X11VideoTest : public ::testing::Test {
protected:
    // The server outlives every connection to it: Xlib ends the process
    // when a server goes away under an open connection.
    void StartServer(jextest::XvfbOptions options = {})
    {
        server_ = std::make_unique<Xvfb>(std::move(options));
        ASSERT_TRUE(server_->ok()) << server_->error();
    }

    void TearDown() override
    {
        JEX_VideoQuit();
        server_.reset();
        JEX_X11_OverrideLibrary("libX11.so.6", nullptr);
        JEX_X11_OverrideLibrary("libXrandr.so.2", nullptr);
    }

    std::unique_ptr<Xvfb> server_;
};

TEST_F(X11VideoTest, SymbolTableIsReferenceCountedAndPrivate)
{
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    EXPECT_TRUE(JEX_X11_HAVE_BASEXLIB);
    EXPECT_TRUE(JEX_X11_HAVE_XRANDR);
    EXPECT_TRUE(JEX_X11_HAVE_XINERAMA);
    EXPECT_TRUE(JEX_X11_HAVE_XVIDMODE);
    EXPECT_TRUE(JEX_X11_HAVE_UTF8);

    JEX_X11_UnloadSymbols();
    EXPECT_NE(X11.XOpenDisplay, nullptr) << "one load is still held";
    EXPECT_NE(X11.XRRGetScreenInfo, nullptr);

    // The libraries are opened privately: nothing named like an X function
    // becomes visible to the rest of the process through us.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "XOpenDisplay"), nullptr);

    JEX_X11_UnloadSymbols();
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
    EXPECT_EQ(X11.XRRGetScreenInfo, nullptr);
    JEX_X11_UnloadSymbols();  // an extra unload is harmless
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
}

TEST_F(X11VideoTest, SharedLibraryExportsNoXFunctionNames)
{
    const std::string path = std::string(JEX_TEST_BINARY_DIR) + "/libjex.so";
    // Kept mapped: its static objects live as long as the process.
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib, "JEX_VideoInit"), nullptr);
    for (const char *name : {"XOpenDisplay", "XNextEvent", "XCreateWindow", "XInternAtom",
                             "XSetErrorHandler", "XRRGetScreenInfo", "XineramaQueryScreens"}) {
        // Neither defined by the library nor pulled in by linking Xlib.
        EXPECT_EQ(dlsym(lib, name), nullptr) << name;
    }
    dlclose(lib);
}

TEST_F(X11VideoTest, MissingOptionalLibraryOnlyClearsItsGroup)
{
    JEX_X11_OverrideLibrary("libXrandr.so.2", "libJEXnoSuchXrandr.so.2");
    JEX_SetError("marker");
    ASSERT_EQ(JEX_X11_LoadSymbols(), 1);
    EXPECT_TRUE(JEX_X11_HAVE_BASEXLIB);
    EXPECT_FALSE(JEX_X11_HAVE_XRANDR);
    EXPECT_TRUE(JEX_X11_HAVE_XINERAMA);
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
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
    EXPECT_EQ(X11_Available(), 0);
    EXPECT_EQ(X11_CreateDevice(0), nullptr);
    EXPECT_NE(std::string(JEX_GetError()).find("libX11"), std::string::npos) << JEX_GetError();
    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_STREQ(JEX_GetError(), "x11 not available");
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
}

TEST_F(X11VideoTest, DeadDisplayGivesClearError)
{
    const std::string dead = ":" + std::to_string(Xvfb::UnusedDisplayNumber());
    ScopedEnv display("DISPLAY", dead.c_str());
    LogCapture log;
    EXPECT_EQ(X11_Available(), 0);
    EXPECT_EQ(X11_CreateDevice(0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Couldn't open X11 display");
    EXPECT_TRUE(log.Contains("\"" + dead + "\"")) << "the log names the display";
    EXPECT_EQ(JEX_VideoInit("x11"), -1);
    EXPECT_EQ(JEX_GetVideoDevice(), nullptr);
    // The symbols were given back on every failure path.
    EXPECT_EQ(X11.XOpenDisplay, nullptr);
}

TEST_F(X11VideoTest, SelectedByNameAndAutomatically)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ScopedEnv driver("JEX_VIDEODRIVER", nullptr);

    EXPECT_EQ(X11_Available(), 1);
    ASSERT_EQ(JEX_VideoInit("X11"), 0) << JEX_GetError();
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "x11");
    ASSERT_NE(Data(), nullptr);
    EXPECT_STREQ(Data()->classname, "JEX_App");
    EXPECT_FALSE(Data()->net_wm) << "no window manager runs on a bare Xvfb";
    EXPECT_NE(Data()->WM_DELETE_WINDOW, Atom(None));
    EXPECT_NE(Data()->UTF8_STRING, Atom(None));
    JEX_VideoQuit();
    EXPECT_EQ(X11.XOpenDisplay, nullptr) << "quitting unloads the libraries";

    ASSERT_EQ(JEX_VideoInit(nullptr), 0) << JEX_GetError();
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "x11") << "first available driver in table order";
    JEX_VideoQuit();

    // A window left open is destroyed with the video subsystem.
    ASSERT_EQ(JEX_VideoInit("x11"), 0);
    EXPECT_NE(JEX_CreateWindow("t", 0, 0, 64, 64, 0), nullptr) << JEX_GetError();
}

TEST_F(X11VideoTest, WindowClassComesFromEnvironment)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ScopedEnv wmclass("JEX_VIDEO_X11_WMCLASS", "cube-demo");
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    EXPECT_STREQ(Data()->classname, "cube-demo");
}

// A second client that plays the window manager's part of the extended
// hints: a check window whose property names itself, linked from the root.
class FakeWindowManager {
public:
    explicit FakeWindowManager(bool alive)
    {
        JEX_X11_LoadSymbols();
        display_ = X11.XOpenDisplay(nullptr);
        if (!display_)
            return;
        const Window root = RootWindow(display_, DefaultScreen(display_));
        const Atom check = X11.XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
        const Window w = X11.XCreateWindow(display_, root, 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                                           CopyFromParent, 0, nullptr);
        long value = long(w);
        X11.XChangeProperty(display_, root, check, XA_WINDOW, 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(&value), 1);
        X11.XChangeProperty(display_, w, check, XA_WINDOW, 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(&value), 1);
        if (!alive) {
            // The root keeps naming a window that is gone, as after a
            // window manager crashed.
            X11.XDestroyWindow(display_, w);
        }
        X11.XSync(display_, False);
    }
    ~FakeWindowManager()
    {
        if (display_)
            X11.XCloseDisplay(display_);
        JEX_X11_UnloadSymbols();
    }
    bool ok() const { return display_ != nullptr; }

private:
    Display *display_ = nullptr;
};

int application_errors = 0;
int ApplicationHandler(Display *, XErrorEvent *)
{
    ++application_errors;
    return 0;
}

TEST_F(X11VideoTest, WindowManagerCheck)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    {
        FakeWindowManager wm(true);
        ASSERT_TRUE(wm.ok());
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        EXPECT_TRUE(Data()->net_wm);
        JEX_VideoQuit();
    }
    {
        FakeWindowManager stale(false);
        ASSERT_TRUE(stale.ok());
        // An application's own handler must not see the driver's probe fail.
        JEX_X11_LoadSymbols();
        const XErrorHandler before = X11.XSetErrorHandler(ApplicationHandler);
        application_errors = 0;
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        EXPECT_FALSE(Data()->net_wm);
        EXPECT_EQ(application_errors, 0);
        JEX_VideoQuit();
        // Quitting put the application's handler back.
        EXPECT_EQ(X11.XSetErrorHandler(before), ApplicationHandler);
        JEX_X11_UnloadSymbols();
    }
}

TEST_F(X11VideoTest, ProtocolErrorsDoNotEndTheProgram)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    Display *display = Data()->display;
    const Window bogus = 0x7fffff0;

    // Untrapped: Xlib's default handler would exit; the driver's logs.
    LogCapture log;
    X11.XMapWindow(display, bogus);
    X11.XSync(display, False);
    EXPECT_TRUE(log.Contains("BadWindow")) << (log.lines.empty() ? "" : log.lines.back());

    // Trapped: the code comes back to the caller and nothing is logged.
    log.lines.clear();
    X11_TrapErrors();
    X11.XUnmapWindow(display, bogus);
    EXPECT_EQ(X11_UntrapErrors(display), BadWindow);
    EXPECT_TRUE(log.lines.empty());

    X11_TrapErrors();
    X11.XRaiseWindow(display, RootWindow(display, 0));
    EXPECT_EQ(X11_UntrapErrors(display), 0) << "a valid request traps nothing";

    // And the connection still works afterwards.
    EXPECT_NE(X11.XInternAtom(display, "JEX_STILL_ALIVE", False), Atom(None));
}

}  // namespace
