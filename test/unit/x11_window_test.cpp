// X11 windows and GL contexts on Xvfb, seen from the server's side (xprop, xwininfo, a peer).
#include "x11_test_util.h"
#include "JEX_mouse.h"
#include "JEX_surface.h"
#include "video/x11/x11_mouse.h"
#include "video/x11/x11_opengl.h"
#include <GL/gl.h>
#include <GL/glx.h>
#include <climits>

// Leak checking, when the tests run under a sanitizer.
extern "C" __attribute__((weak)) void __lsan_disable();
extern "C" __attribute__((weak)) void __lsan_enable();

namespace {

using namespace x11test;

class X11WindowTest : public X11DriverTest {
protected:
    Window PeerWindow(int w = 1, int h = 1, int x = 0, int y = 0)
    {
        return X11.XCreateWindow(peer_, DefaultRootWindow(peer_), x, y, unsigned(w), unsigned(h), 0,
                                 CopyFromParent, InputOutput, CopyFromParent, 0, nullptr);
    }
    template <typename Fn>
    Fn GL(const char *name)
    {
        return reinterpret_cast<Fn>(JEX_GL_GetProcAddress(name));
    }
    // The server's description of the window's visual, as GLX sees it.
    int VisualConfig(JEX_Window *window, int attribute)
    {
        XWindowAttributes a{};
        X11.XGetWindowAttributes(Data()->display, XidOf(window), &a);
        XVisualInfo wanted{};
        wanted.visualid = X11.XVisualIDFromVisual(a.visual);
        int count = 0;
        XVisualInfo *vinfo = X11.XGetVisualInfo(Data()->display, VisualIDMask, &wanted, &count);
        EXPECT_NE(vinfo, nullptr);
        int value = -1;
        if (vinfo) {
            auto get = GL<int (*)(Display *, XVisualInfo *, int, int *)>("glXGetConfig");
            EXPECT_EQ(get(Data()->display, vinfo, attribute, &value), 0);
            X11.XFree(vinfo);
        }
        return value;
    }
    std::string Xprop(Window w, const char *properties)
    {
        return RunCommand("xprop -id " + Hex(w) + " " + properties).value_or("xprop failed");
    }
};

TEST_F(X11WindowTest, CreatedWithSizeTitleHintsAndProtocols)
{
    JEX_Window *window = JEX_CreateWindow("Cube Größe", 30, 40, 320, 200, 0);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    const Window w = XidOf(window);
    const XWindowAttributes a = Attributes(w);
    EXPECT_EQ(std::vector({a.x, a.y, a.width, a.height}), std::vector({30, 40, 320, 200}));
    EXPECT_EQ(Read(w, "_NET_WM_NAME").bytes, "Cube Größe");
    EXPECT_EQ(Read(w, "WM_NAME").bytes, "Cube Gr\xf6\xdf"
                                        "e")
        << "WM_NAME is Latin-1";
    const std::string props = Xprop(w, "WM_NORMAL_HINTS WM_PROTOCOLS WM_CLASS");
    EXPECT_NE(props.find("minimum size: 320 by 200"), std::string::npos) << props;
    EXPECT_NE(props.find("maximum size: 320 by 200"), std::string::npos) << props;
    EXPECT_NE(props.find("WM_DELETE_WINDOW"), std::string::npos) << props;
    EXPECT_NE(props.find("\"JEX_App\", \"JEX_App\""), std::string::npos) << props;
    EXPECT_EQ(Read(w, "_NET_WM_PID").items, std::vector<long>{long(getpid())});
    // A resizable window states no fixed size.
    JEX_Window *resizable = JEX_CreateWindow("r", 0, 0, 100, 80, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(resizable, nullptr);
    EXPECT_EQ(Xprop(XidOf(resizable), "WM_NORMAL_HINTS").find("minimum size"), std::string::npos);
    // A foreign window brings its title and survives its record.
    JEX_Window *foreign = JEX_CreateWindowFrom(reinterpret_cast<void *>(uintptr_t(w)));
    ASSERT_NE(foreign, nullptr) << JEX_GetError();
    EXPECT_STREQ(JEX_GetWindowTitle(foreign), "Cube Größe");
    JEX_DestroyWindow(foreign);
    EXPECT_EQ(Attributes(w).width, 320) << "a foreign window is not destroyed with its record";
    // Handles the server does not know are refused, not adopted.
    for (const uintptr_t bogus : {uintptr_t(0), uintptr_t(0x12345)}) {
        EXPECT_EQ(JEX_CreateWindowFrom(reinterpret_cast<void *>(bogus)), nullptr);
        EXPECT_EQ(std::string(JEX_GetError()), "Invalid X window " + Hex(bogus));
    }
    EXPECT_EQ(Data()->numwindows, 2);
    // Borderless, where no manager defined a decoration property: transient for the root.
    ASSERT_EQ(X11.XInternAtom(peer_, "_MOTIF_WM_HINTS", True), Atom(None));
    JEX_Window *plain = JEX_CreateWindow("b", 0, 0, 50, 50, JEX_WINDOW_BORDERLESS);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(Read(XidOf(plain), "WM_TRANSIENT_FOR").items,
              std::vector<long>{long(DefaultRootWindow(peer_))});
    X11.XInternAtom(peer_, "_MOTIF_WM_HINTS", False);
    X11.XSync(peer_, False);
    JEX_Window *motif = JEX_CreateWindow("b", 0, 0, 50, 50, JEX_WINDOW_BORDERLESS);
    ASSERT_NE(motif, nullptr);
    EXPECT_EQ(Read(XidOf(motif), "_MOTIF_WM_HINTS").items, (std::vector<long>{2, 0, 0, 0, 0}))
        << "decorations given: none";
    EXPECT_TRUE(Read(XidOf(motif), "WM_TRANSIENT_FOR").items.empty());
    EXPECT_EQ(Read(w, "_MOTIF_WM_HINTS").type, Atom(None)) << "bordered";
}

TEST_F(X11WindowTest, SizesBeyondTheProtocolAreClampedAndSafeForGL)
{
    // The driver clamps what the server would take but GL's software path cannot draw.
    JEX_Window *window = JEX_CreateWindow("big", 0, 0, 30000, 30000, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    for (int round = 0; round < 2; ++round) {
        int w = 0, h = 0;
        JEX_GetWindowSize(window, &w, &h);
        const XWindowAttributes a = Attributes(XidOf(window));
        EXPECT_EQ(std::pair(w, h), std::pair(a.width, a.height)) << "what the server has";
        EXPECT_EQ(a.width, X11_MAX_WINDOW_SIZE);
        JEX_SetWindowSize(window, 300, 200);
        JEX_SetWindowSize(window, INT_MAX, INT_MAX);
        JEX_SetWindowSize(window, 30000, 30000);
    }
    JEX_SetWindowPosition(window, INT_MIN + 5, 70000);
    const XWindowAttributes a = Attributes(XidOf(window));
    EXPECT_EQ(std::pair(a.x, a.y), std::pair(-32768, 32767));
    // Unclamped, GL's software path overran its buffers on a swap at that size.
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    JEX_GL_SwapWindow(window);
    X11.XSync(Data()->display, False);
    JEX_GL_DeleteContext(context);
}

TEST_F(X11WindowTest, RequestsReachTheServerAndComeBackAsEvents)
{
    JEX_Window *window = ShownWindow("m", 10, 10, 160, 120, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    const Window w = XidOf(window);
    EXPECT_EQ(Attributes(w).map_state, IsViewable);
    JEX_SetWindowPosition(window, 100, 120);
    JEX_SetWindowSize(window, 200, 150);
    XWindowAttributes a = Attributes(w);
    EXPECT_EQ(std::vector<int>({a.x, a.y, a.width, a.height}),
              std::vector<int>({100, 120, 200, 150}));
    // A fixed-size window is resized through its hints.
    JEX_Window *fixed = ShownWindow("f", 0, 0, 90, 90);
    ASSERT_NE(fixed, nullptr);
    JEX_SetWindowSize(fixed, 60, 70);
    EXPECT_NE(Xprop(XidOf(fixed), "WM_NORMAL_HINTS").find("minimum size: 60 by 70"),
              std::string::npos);
    EXPECT_EQ(Attributes(XidOf(fixed)).width, 60);
    // Raising restacks; xwininfo lists children from the top down.
    for (JEX_Window *top : {window, fixed}) {
        JEX_RaiseWindow(top);
        X11.XSync(Data()->display, False);
        const std::string stack = RunCommand("xwininfo -root -children").value_or("");
        JEX_Window *below = top == window ? fixed : window;
        EXPECT_LT(stack.find(Hex(XidOf(top)) + " "), stack.find(Hex(XidOf(below)) + " "));
    }
    JEX_HideWindow(window);
    EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_HIDDEN));
    EXPECT_EQ(Attributes(w).map_state, IsUnmapped);
    EXPECT_FALSE(JEX_GetWindowFlags(window) & JEX_WINDOW_SHOWN);
}

TEST_F(X11WindowTest, ExtendedHintsManagerGetsStateRequests)
{
    // The peer as a minimal extended-hints manager: it maps windows and keeps client messages.
    JEX_VideoQuit();
    const Window root = DefaultRootWindow(peer_);
    const Window check = PeerWindow();
    const Atom supporting = X11.XInternAtom(peer_, "_NET_SUPPORTING_WM_CHECK", False);
    const long id = long(check);
    for (Window target : {root, check})
        X11.XChangeProperty(peer_, target, supporting, XA_WINDOW, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&id), 1);
    X11.XSelectInput(peer_, root, SubstructureRedirectMask | SubstructureNotifyMask);
    X11.XSync(peer_, False);
    std::vector<XClientMessageEvent> messages;
    auto serve = [&] {
        X11.XSync(Data()->display, False);
        X11.XSync(peer_, False);
        while (X11.XPending(peer_)) {
            XEvent e{};
            X11.XNextEvent(peer_, &e);
            if (e.type == MapRequest)
                X11.XMapWindow(peer_, e.xmaprequest.window);
            else if (e.type == ClientMessage)
                messages.push_back(e.xclient);
        }
        X11.XSync(peer_, False);
    };
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    EXPECT_TRUE(Data()->net_wm);
    JEX_Window *window = JEX_CreateWindow("s", 0, 0, 80, 60, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    // Unmapped: the state is written for the manager to read at map time.
    JEX_MaximizeWindow(window);
    X11.XSync(Data()->display, False);
    EXPECT_EQ(Read(XidOf(window), "_NET_WM_STATE").items,
              (std::vector<long>{long(Data()->_NET_WM_STATE_MAXIMIZED_VERT),
                                 long(Data()->_NET_WM_STATE_MAXIMIZED_HORZ)}));
    JEX_ShowWindow(window);
    serve();
    ASSERT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_SHOWN));
    // Mapped: the manager is asked.
    JEX_SetWindowFullscreen(window, JEX_TRUE);
    serve();
    bool asked = false;
    for (const XClientMessageEvent &m : messages)
        asked |= m.window == XidOf(window) && m.message_type == Data()->_NET_WM_STATE &&
                 m.data.l[0] == 1 && Atom(m.data.l[1]) == Data()->_NET_WM_STATE_FULLSCREEN;
    EXPECT_TRUE(asked) << messages.size() << " messages";
    X11.XSelectInput(peer_, root, NoEventMask);
    X11.XDeleteProperty(peer_, root, supporting);
    X11.XDestroyWindow(peer_, check);
}

TEST_F(X11WindowTest, PositionInsideManagerFrameIsReportedInRootCoordinates)
{
    JEX_Window *window = ShownWindow("p", 0, 0, 100, 80, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    // The peer frames the window the way a reparenting manager does.
    const Window frame = PeerWindow(120, 120, 200, 150);
    X11.XMapWindow(peer_, frame);
    X11.XReparentWindow(peer_, XidOf(window), frame, 5, 20);
    X11.XMapWindow(peer_, XidOf(window));
    X11.XResizeWindow(peer_, XidOf(window), 90, 70);
    X11.XSync(peer_, False);
    EXPECT_TRUE(PumpUntil([&](const JEX_Event &e) {
        return e.type == JEX_WINDOWEVENT && e.window.event == JEX_WINDOWEVENT_MOVED &&
               e.window.param1 == 205 && e.window.param2 == 170;
    })) << "frame-relative (5, 20) must become root (205, 170)";
    int x = 0, y = 0;
    JEX_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(205, 170));
    JEX_DestroyWindow(window);
    X11.XDestroyWindow(peer_, frame);
}

TEST_F(X11WindowTest, IconSystemInfoAndDestruction)
{
    JEX_Window *window = JEX_CreateWindow("i", 0, 0, 40, 40, 0);
    ASSERT_NE(window, nullptr);
    JEX_Surface *icon =
        JEX_CreateRGBSurface(0, 2, 2, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    ASSERT_NE(icon, nullptr);
    auto *px = static_cast<Uint32 *>(icon->pixels);
    px[0] = 0xFF102030;
    px[1] = 0x80405060;
    px[icon->pitch / 4] = 0x00000000;
    px[icon->pitch / 4 + 1] = 0xFFFFFFFF;
    JEX_SetWindowIcon(window, icon);
    JEX_FreeSurface(icon);
    std::vector<Uint32> items;  // Xlib widens 32-bit items to long with sign
    for (long item : Read(XidOf(window), "_NET_WM_ICON").items)
        items.push_back(Uint32(item));
    EXPECT_EQ(items, (std::vector<Uint32>{2, 2, 0xFF102030, 0x80405060, 0, 0xFFFFFFFF}));
    JEX_GetVideoDevice()->SetWindowIcon(JEX_GetVideoDevice(), window, nullptr);
    EXPECT_EQ(Read(XidOf(window), "_NET_WM_ICON").type, Atom(None));
    X11_SysWMinfo info{};
    info.major = 1;
    info.minor = 3;
    ASSERT_TRUE(JEX_GetWindowWMInfo(window, reinterpret_cast<JEX_SysWMinfo *>(&info)));
    EXPECT_EQ(info.subsystem, 2u);
    EXPECT_EQ(info.info.x11.display, Data()->display);
    EXPECT_EQ(info.info.x11.window, XidOf(window));
    info.major = 2;
    EXPECT_FALSE(JEX_GetWindowWMInfo(window, reinterpret_cast<JEX_SysWMinfo *>(&info)));
    EXPECT_STREQ(JEX_GetError(), "Application not compiled with JEX 1.3\n");
    // Destroying the record destroys the X window.
    const Window gone = XidOf(window);
    JEX_DestroyWindow(window);
    X11.XSync(Data()->display, False);
    XWindowAttributes a{};
    X11_TrapErrors(peer_);
    X11.XGetWindowAttributes(peer_, gone, &a);
    EXPECT_EQ(X11_UntrapErrors(peer_), BadWindow);
    EXPECT_EQ(Data()->numwindows, 0);
}

TEST_F(X11WindowTest, PointerGrabCursorsAndWarp)
{
    JEX_Window *window = ShownWindow("g", 0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(RunCommand("xdotool windowfocus --sync " + Hex(XidOf(window))));
    ASSERT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_FOCUS_GAINED));
    const Window other = PeerWindow(10, 10);
    X11.XMapWindow(peer_, other);
    X11.XSync(peer_, False);
    auto peer_grab = [&] {
        return X11.XGrabPointer(peer_, other, False, 0, GrabModeAsync, GrabModeAsync, None, None,
                                CurrentTime);
    };
    JEX_SetWindowGrab(window, JEX_TRUE);
    EXPECT_EQ(peer_grab(), AlreadyGrabbed);
    JEX_SetWindowGrab(window, JEX_FALSE);
    EXPECT_EQ(peer_grab(), GrabSuccess);
    X11.XUngrabPointer(peer_, CurrentTime);
    X11.XDestroyWindow(peer_, other);
    // A colour cursor becomes an X cursor; hiding uses the invisible one.
    JEX_Surface *image =
        JEX_CreateRGBSurface(0, 16, 16, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < 16 * 16; ++i)
        static_cast<Uint32 *>(image->pixels)[i] = (i % 3) ? 0xFFFF0000 : 0x00000000;
    JEX_Cursor *cursor = JEX_CreateColorCursor(image, 3, 4);
    JEX_FreeSurface(image);
    ASSERT_NE(cursor, nullptr) << JEX_GetError();
    EXPECT_NE(cursor->driverdata, nullptr) << "an X cursor was made";
    JEX_SetCursor(cursor);
    JEX_ShowCursor(0);
    EXPECT_NE(Data()->empty_cursor, Cursor(None)) << "hiding uses the invisible cursor";
    JEX_ShowCursor(1);
    X11.XSync(Data()->display, False);
    JEX_FreeCursor(cursor);
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);
    JEX_WarpMouseInWindow(window, 20, 25);
    Window root = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    ASSERT_TRUE(X11.XQueryPointer(peer_, XidOf(window), &root, &child, &rx, &ry, &wx, &wy, &mask));
    EXPECT_EQ(std::pair(wx, wy), std::pair(20, 25));
}

TEST(X11CursorBitmaps, TwoColoursFromTheOpaquePixels)
{
    // Row 0: white, alpha 25 (out), alpha 26 (in), dark; row 1 spans two bytes.
    const Uint32 w = 0xFFFFFFFF;
    const Uint32 pixels[2][9] = {{w, 0x19FFFFFF, 0x1AFFFFFF, 0xFF101010, 0, 0, 0, 0, 0},
                                 {w, w, w, w, w, w, w, w, w}};
    X11_CursorBitmaps b{};
    ASSERT_TRUE(X11_MakeCursorBitmaps(&pixels[0][0], int(sizeof(pixels[0])), 9, 2, &b));
    EXPECT_EQ(b.mask[0], 0x01 | 0x04 | 0x08) << "alpha 25 is out, alpha 26 is in";
    EXPECT_EQ(b.data[0], 0x01 | 0x04) << "the dark pixel is background";
    EXPECT_EQ((std::vector<int>{b.mask[1], b.mask[2], b.mask[3], b.data[3]}),
              (std::vector<int>{0x00, 0xFF, 0x01, 0x01}));
    EXPECT_EQ((std::vector<int>{b.fg.red, b.fg.blue, b.bg.red}),
              (std::vector<int>{0xFFFF, 0xFFFF, 0x1010}));
    std::free(b.data);
    std::free(b.mask);
}

TEST_F(X11WindowTest, GLGrantedAttributesSwapIntervalAndVersionedContexts)
{
    const std::pair<JEX_GLattr, int> requests[] = {
        {JEX_GL_RED_SIZE, 5},    {JEX_GL_GREEN_SIZE, 5},   {JEX_GL_BLUE_SIZE, 5},
        {JEX_GL_DEPTH_SIZE, 16}, {JEX_GL_STENCIL_SIZE, 8}, {JEX_GL_DOUBLEBUFFER, 1},
    };
    const int glx_names[] = {GLX_RED_SIZE,   GLX_GREEN_SIZE,   GLX_BLUE_SIZE,
                             GLX_DEPTH_SIZE, GLX_STENCIL_SIZE, GLX_DOUBLEBUFFER};
    for (const auto &[attribute, value] : requests)
        JEX_GL_SetAttribute(attribute, value);
    JEX_Window *window = ShownWindow("gl", 0, 0, 32, 32);
    ASSERT_NE(window, nullptr);
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    for (size_t i = 0; i < std::size(requests); ++i) {
        int granted = -1;
        ASSERT_EQ(JEX_GL_GetAttribute(requests[i].first, &granted), 0) << JEX_GetError();
        const int real = VisualConfig(window, glx_names[i]);
        EXPECT_EQ(granted, real) << "attribute " << requests[i].first;
        EXPECT_GE(real, requests[i].second) << "attribute " << requests[i].first;
    }
    if (JEX_GL_SetSwapInterval(1) == 0) {
        EXPECT_EQ(JEX_GL_GetSwapInterval(), 1);
        EXPECT_EQ(JEX_GL_SetSwapInterval(0), 0);
        EXPECT_EQ(JEX_GL_GetSwapInterval(), 0);
    } else {
        EXPECT_EQ(JEX_GL_GetSwapInterval(), -1) << "no swap control: " << JEX_GetError();
    }
    JEX_GL_DeleteContext(context);
    // A versioned context is really of that version.
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 3);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 2);
    context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    GLint major = 0, minor = 0;
    auto get_integer = GL<void (*)(GLenum, GLint *)>("glGetIntegerv");
    get_integer(0x821B /* GL_MAJOR_VERSION */, &major);
    get_integer(0x821C /* GL_MINOR_VERSION */, &minor);
    EXPECT_GE(major * 10 + minor, 32);
    JEX_GL_DeleteContext(context);
    // A version no library offers is refused, and the program goes on.
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 9);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 9);
    EXPECT_EQ(JEX_GL_CreateContext(window), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Could not create GL 9.9 context");
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 2);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 1);
    context = JEX_GL_CreateContext(window);
    EXPECT_NE(context, nullptr) << "the connection is still usable: " << JEX_GetError();
    JEX_GL_DeleteContext(context);
    // A request list that does not fit is cut but still closed.
    int small[4];
    EXPECT_EQ(X11_GL_GetAttributes(JEX_GetVideoDevice(), Data()->display, 0, small, 4), 4);
    EXPECT_EQ(small[3], None);
    EXPECT_TRUE(X11_GL_HasExtension("GLX_A GLX_SGI_swap_control GLX_B", "GLX_SGI_swap_control"));
    EXPECT_TRUE(X11_GL_HasExtension("GLX_SGI_swap_control", "GLX_SGI_swap_control"));
    EXPECT_FALSE(X11_GL_HasExtension("GLX_SGI_swap_control_tear", "GLX_SGI_swap_control"));
    EXPECT_FALSE(X11_GL_HasExtension("XGLX_SGI_swap_control", "GLX_SGI_swap_control"));
}

TEST_F(X11WindowTest, GLMultisampleRequestGetsAMultisampleVisual)
{
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLEBUFFERS, 1);
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLESAMPLES, 4);
    // Mesa keeps records of a multisample visual's first use for life: its own, not ours.
    if (__lsan_disable)
        __lsan_disable();
    JEX_Window *window = JEX_CreateWindow("ms", 0, 0, 32, 32, 0);
    if (__lsan_enable)
        __lsan_enable();
    ASSERT_NE(window, nullptr) << "Mesa offers multisample visuals: " << JEX_GetError();
    EXPECT_EQ(VisualConfig(window, GLX_SAMPLE_BUFFERS_ARB), 1);
    EXPECT_GE(VisualConfig(window, GLX_SAMPLES_ARB), 4);
}

TEST_F(X11WindowTest, GLLibraryLoadFailureIsReportedWithItsReason)
{
    JEX_VideoQuit();
    ScopedEnv library("JEX_OPENGL_LIBRARY", "/nonexistent/libGL.so.1");
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    JEX_Window *window = JEX_CreateWindow("nogl", 0, 0, 32, 32, 0);
    ASSERT_NE(window, nullptr) << "a window without GL is still a window: " << JEX_GetError();
    EXPECT_EQ(JEX_GL_CreateContext(window), nullptr);
    const std::string error = JEX_GetError();
    EXPECT_EQ(
        error.rfind("Could not create GL context: Failed loading /nonexistent/libGL.so.1: ", 0), 0u)
        << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << "dlopen's reason";
}

}  // namespace
