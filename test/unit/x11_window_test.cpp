// X11 windows on a private Xvfb, checked from the server's side with xprop,
// xwininfo, xdotool and a second connection that plays the window manager
// where no tool can.
#include "x11_test_util.h"

#include "JEX_mouse.h"
#include "JEX_surface.h"
#include "events/mouse_internal.h"
#include "video/x11/x11_mouse.h"

#include <cstring>

namespace {

using jextest::RunCommand;
using x11test::Data;
using x11test::Hex;
using x11test::XidOf;

class X11WindowTest : public x11test::X11DriverTest {
protected:
    // A property of a window read by the peer: its type, format and the
    // items (32-bit items as longs).
    struct Property {
        Atom type = None;
        int format = 0;
        std::vector<long> items;
        std::string bytes;
    };
    Property Read(Window w, const char *name)
    {
        Property p;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        const Atom atom = X11.XInternAtom(peer_, name, False);
        if (X11.XGetWindowProperty(peer_, w, atom, 0, 65536, False, AnyPropertyType, &p.type,
                                   &p.format, &count, &after, &data) == Success &&
            data) {
            if (p.format == 32) {
                const long *l = reinterpret_cast<const long *>(data);
                p.items.assign(l, l + count);
            } else if (p.format == 8) {
                p.bytes.assign(reinterpret_cast<const char *>(data), count);
            }
        }
        if (data)
            X11.XFree(data);
        return p;
    }

    XWindowAttributes Attributes(Window w)
    {
        XWindowAttributes a{};
        // Requests on two connections are not ordered: flush ours first.
        X11.XSync(Data()->display, False);
        X11.XSync(peer_, False);
        X11.XGetWindowAttributes(peer_, w, &a);
        return a;
    }
};

TEST_F(X11WindowTest, CreatedWithSizeTitleHintsAndProtocols)
{
    JEX_Window *window = JEX_CreateWindow("Cube Größe", 30, 40, 320, 200, 0);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    const Window w = XidOf(window);

    const auto info = RunCommand("xwininfo -id " + Hex(w));
    ASSERT_TRUE(info.has_value());
    EXPECT_NE(info->find("Width: 320"), std::string::npos) << *info;
    EXPECT_NE(info->find("Height: 200"), std::string::npos) << *info;
    EXPECT_NE(info->find("Absolute upper-left X:  30"), std::string::npos) << *info;

    EXPECT_EQ(Read(w, "_NET_WM_NAME").bytes, "Cube Größe");
    EXPECT_EQ(Read(w, "WM_NAME").bytes, "Cube Gr\xf6\xdf"
                                        "e")
        << "WM_NAME is Latin-1";
    const auto props = RunCommand("xprop -id " + Hex(w) + " WM_NORMAL_HINTS WM_PROTOCOLS WM_CLASS");
    ASSERT_TRUE(props.has_value());
    EXPECT_NE(props->find("minimum size: 320 by 200"), std::string::npos) << *props;
    EXPECT_NE(props->find("maximum size: 320 by 200"), std::string::npos) << *props;
    EXPECT_NE(props->find("WM_DELETE_WINDOW"), std::string::npos) << *props;
    EXPECT_NE(props->find("\"JEX_App\", \"JEX_App\""), std::string::npos) << *props;
    const Property pid = Read(w, "_NET_WM_PID");
    ASSERT_EQ(pid.items.size(), 1u);
    EXPECT_EQ(pid.items[0], long(getpid()));

    // A resizable window states no fixed size.
    JEX_Window *resizable = JEX_CreateWindow("r", 0, 0, 100, 80, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(resizable, nullptr);
    const auto hints = RunCommand("xprop -id " + Hex(XidOf(resizable)) + " WM_NORMAL_HINTS");
    ASSERT_TRUE(hints.has_value());
    EXPECT_EQ(hints->find("minimum size"), std::string::npos) << *hints;

    // The title comes back from a foreign window too.
    JEX_Window *foreign = JEX_CreateWindowFrom(reinterpret_cast<void *>(uintptr_t(w)));
    ASSERT_NE(foreign, nullptr) << JEX_GetError();
    EXPECT_STREQ(JEX_GetWindowTitle(foreign), "Cube Größe");
    JEX_DestroyWindow(foreign);
    EXPECT_NE(Attributes(w).map_state, -1) << "a foreign window is not destroyed with its record";
}

TEST_F(X11WindowTest, BorderlessDecorationsFollowTheKnownProperties)
{
    // Where no manager defined any decoration property, the window is made
    // transient for the root instead.
    if (X11.XInternAtom(peer_, "_MOTIF_WM_HINTS", True) == None &&
        X11.XInternAtom(peer_, "KWM_WIN_DECORATION", True) == None &&
        X11.XInternAtom(peer_, "_WIN_HINTS", True) == None) {
        JEX_Window *plain = JEX_CreateWindow("b", 0, 0, 50, 50, JEX_WINDOW_BORDERLESS);
        ASSERT_NE(plain, nullptr);
        const Property transient = Read(XidOf(plain), "WM_TRANSIENT_FOR");
        ASSERT_EQ(transient.items.size(), 1u);
        EXPECT_EQ(Window(transient.items[0]), DefaultRootWindow(peer_));
        JEX_DestroyWindow(plain);
    }
    X11.XInternAtom(peer_, "_MOTIF_WM_HINTS", False);
    X11.XSync(peer_, False);
    JEX_Window *window = JEX_CreateWindow("b", 0, 0, 50, 50, JEX_WINDOW_BORDERLESS);
    ASSERT_NE(window, nullptr);
    const Property motif = Read(XidOf(window), "_MOTIF_WM_HINTS");
    ASSERT_EQ(motif.items.size(), 5u) << "five 32-bit items, read back as longs";
    EXPECT_EQ(motif.items[0], 2);
    EXPECT_EQ(motif.items[2], 0) << "no decorations";
    EXPECT_TRUE(Read(XidOf(window), "WM_TRANSIENT_FOR").items.empty());

    JEX_Window *bordered = JEX_CreateWindow("d", 0, 0, 50, 50, 0);
    ASSERT_NE(bordered, nullptr);
    EXPECT_EQ(Read(XidOf(bordered), "_MOTIF_WM_HINTS").type, Atom(None));
}

TEST_F(X11WindowTest, RequestsReachTheServerAndComeBackAsEvents)
{
    JEX_Window *window = ShownWindow("m", 10, 10, 160, 120, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    const Window w = XidOf(window);
    EXPECT_EQ(Attributes(w).map_state, IsViewable);

    JEX_SetWindowPosition(window, 100, 120);
    XWindowAttributes a = Attributes(w);
    EXPECT_EQ(a.x, 100);
    EXPECT_EQ(a.y, 120);

    JEX_SetWindowSize(window, 200, 150);
    a = Attributes(w);
    EXPECT_EQ(a.width, 200);
    EXPECT_EQ(a.height, 150);

    // Another client moving and resizing the window is reported the same way.
    ASSERT_TRUE(RunCommand("xdotool windowmove --sync " + Hex(w) + " 300 200").has_value());
    EXPECT_TRUE(PumpUntil([&](const JEX_Event &e) {
        return e.type == JEX_WINDOWEVENT && e.window.event == JEX_WINDOWEVENT_MOVED &&
               e.window.param1 == 300 && e.window.param2 == 200;
    }));
    ASSERT_TRUE(RunCommand("xdotool windowsize --sync " + Hex(w) + " 240 180").has_value());
    EXPECT_TRUE(PumpUntil([&](const JEX_Event &e) {
        return e.type == JEX_WINDOWEVENT && e.window.event == JEX_WINDOWEVENT_RESIZED &&
               e.window.param1 == 240 && e.window.param2 == 180;
    }));
    int x = 0, y = 0, width = 0, height = 0;
    JEX_GetWindowPosition(window, &x, &y);
    JEX_GetWindowSize(window, &width, &height);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 200);
    EXPECT_EQ(width, 240);
    EXPECT_EQ(height, 180);

    // A fixed-size window is resized through its hints.
    JEX_Window *fixed = ShownWindow("f", 0, 0, 90, 90);
    ASSERT_NE(fixed, nullptr);
    JEX_SetWindowSize(fixed, 60, 70);
    const auto hints = RunCommand("xprop -id " + Hex(XidOf(fixed)) + " WM_NORMAL_HINTS");
    ASSERT_TRUE(hints.has_value());
    EXPECT_NE(hints->find("minimum size: 60 by 70"), std::string::npos) << *hints;
    EXPECT_EQ(Attributes(XidOf(fixed)).width, 60);

    // Raising puts the window on top of the other one.
    JEX_RaiseWindow(window);
    X11.XSync(Data()->display, False);
    const auto stack = RunCommand("xwininfo -root -children");
    ASSERT_TRUE(stack.has_value());
    // xwininfo lists children from the top of the stack down.
    EXPECT_LT(stack->find(Hex(w) + " "), stack->find(Hex(XidOf(fixed)) + " ")) << *stack;
    JEX_RaiseWindow(fixed);
    X11.XSync(Data()->display, False);
    const auto restacked = RunCommand("xwininfo -root -children");

    ASSERT_TRUE(restacked.has_value());
    EXPECT_GT(restacked->find(Hex(w) + " "), restacked->find(Hex(XidOf(fixed)) + " "))
        << *restacked;

    JEX_HideWindow(window);
    EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_HIDDEN));
    EXPECT_EQ(Attributes(w).map_state, IsUnmapped);
    EXPECT_FALSE(JEX_GetWindowFlags(window) & JEX_WINDOW_SHOWN);
}

TEST_F(X11WindowTest, DeleteWindowMessageBecomesCloseEvent)
{
    JEX_Window *window = ShownWindow("c", 0, 0, 64, 64);
    ASSERT_NE(window, nullptr);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = XidOf(window);
    e.xclient.message_type = X11.XInternAtom(peer_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(X11.XInternAtom(peer_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    X11.XSendEvent(peer_, XidOf(window), False, NoEventMask, &e);
    X11.XSync(peer_, False);
    EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_CLOSE));
    EXPECT_EQ(JEX_GetWindowFlags(window) & JEX_WINDOW_SHOWN, Uint32(JEX_WINDOW_SHOWN))
        << "closing is the application's decision";
}

// The peer as a minimal extended-hints window manager: it names a check
// window, takes substructure redirection on the root, maps what asks to be
// mapped and records the state requests it receives.
class MiniWindowManager {
public:
    explicit MiniWindowManager(Display *d) : d_(d)
    {
        const Window root = DefaultRootWindow(d_);
        check_ = X11.XCreateWindow(d_, root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                                   CopyFromParent, 0, nullptr);
        const Atom supporting = X11.XInternAtom(d_, "_NET_SUPPORTING_WM_CHECK", False);
        const long id = long(check_);
        for (Window w : {root, check_}) {
            X11.XChangeProperty(d_, w, supporting, XA_WINDOW, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(&id), 1);
        }
        X11.XSelectInput(d_, root, SubstructureRedirectMask | SubstructureNotifyMask);
        X11.XSync(d_, False);
    }
    ~MiniWindowManager()
    {
        X11.XDeleteProperty(d_, DefaultRootWindow(d_),
                            X11.XInternAtom(d_, "_NET_SUPPORTING_WM_CHECK", False));
        X11.XSelectInput(d_, DefaultRootWindow(d_), NoEventMask);
        X11.XDestroyWindow(d_, check_);
        X11.XSync(d_, False);
    }

    // Serves requests for a moment.
    void Serve()
    {
        X11.XSync(d_, False);
        while (X11.XPending(d_)) {
            XEvent e{};
            X11.XNextEvent(d_, &e);
            if (e.type == MapRequest) {
                X11.XMapWindow(d_, e.xmaprequest.window);
            } else if (e.type == ConfigureRequest) {
                XWindowChanges c{};
                c.x = e.xconfigurerequest.x;
                c.y = e.xconfigurerequest.y;
                c.width = e.xconfigurerequest.width;
                c.height = e.xconfigurerequest.height;
                X11.XConfigureWindow(d_, e.xconfigurerequest.window,
                                     unsigned(e.xconfigurerequest.value_mask) & 0xF, &c);
            } else if (e.type == ClientMessage) {
                messages.push_back(e.xclient);
            }
        }
        X11.XSync(d_, False);
    }

    std::vector<XClientMessageEvent> messages;

private:
    Display *d_;
    Window check_;
};

TEST_F(X11WindowTest, ExtendedHintsManagerGetsStateRequests)
{
    JEX_VideoQuit();
    MiniWindowManager wm(peer_);
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    EXPECT_TRUE(Data()->net_wm);

    JEX_Window *window = JEX_CreateWindow("s", 0, 0, 80, 60, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    const Window w = XidOf(window);
    // Unmapped: the state is written for the manager to read at map time.
    JEX_MaximizeWindow(window);
    X11.XSync(Data()->display, False);
    const Property state = Read(w, "_NET_WM_STATE");
    ASSERT_EQ(state.items.size(), 2u);
    EXPECT_EQ(Atom(state.items[0]), Data()->_NET_WM_STATE_MAXIMIZED_VERT);
    EXPECT_EQ(Atom(state.items[1]), Data()->_NET_WM_STATE_MAXIMIZED_HORZ);

    JEX_ShowWindow(window);
    wm.Serve();
    ASSERT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_SHOWN));
    // Mapped: the manager is asked.
    JEX_SetWindowFullscreen(window, JEX_TRUE);
    X11.XSync(Data()->display, False);
    wm.Serve();
    bool asked = false;
    for (const XClientMessageEvent &m : wm.messages)
        if (m.window == w && m.message_type == Data()->_NET_WM_STATE && m.data.l[0] == 1 &&
            Atom(m.data.l[1]) == Data()->_NET_WM_STATE_FULLSCREEN)
            asked = true;
    EXPECT_TRUE(asked) << wm.messages.size() << " messages";
}

TEST_F(X11WindowTest, PositionInsideManagerFrameIsReportedInRootCoordinates)
{
    JEX_Window *window = ShownWindow("p", 0, 0, 100, 80, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    const Window w = XidOf(window);
    // The peer frames the window the way a reparenting manager does.
    XSetWindowAttributes fa{};
    const Window frame = X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 200, 150, 120, 120, 0,
                                           CopyFromParent, InputOutput, CopyFromParent, 0, &fa);
    X11.XMapWindow(peer_, frame);
    X11.XReparentWindow(peer_, w, frame, 5, 20);
    X11.XMapWindow(peer_, w);
    X11.XResizeWindow(peer_, w, 90, 70);
    X11.XSync(peer_, False);
    EXPECT_TRUE(PumpUntil([&](const JEX_Event &e) {
        return e.type == JEX_WINDOWEVENT && e.window.event == JEX_WINDOWEVENT_MOVED &&
               e.window.param1 == 205 && e.window.param2 == 170;
    })) << "frame-relative (5, 20) must become root (205, 170)";
    int x = 0, y = 0;
    JEX_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, 205);
    EXPECT_EQ(y, 170);
    JEX_DestroyWindow(window);
    X11.XDestroyWindow(peer_, frame);
}

TEST_F(X11WindowTest, IconWindowListAndSystemInfo)
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
    const Property p = Read(XidOf(window), "_NET_WM_ICON");
    ASSERT_EQ(p.items.size(), 6u);
    EXPECT_EQ(p.items[0], 2);
    EXPECT_EQ(p.items[1], 2);
    EXPECT_EQ(Uint32(p.items[2]), 0xFF102030u);
    EXPECT_EQ(Uint32(p.items[3]), 0x80405060u);
    EXPECT_EQ(Uint32(p.items[5]), 0xFFFFFFFFu);
    JEX_GetVideoDevice()->SetWindowIcon(JEX_GetVideoDevice(), window, nullptr);
    EXPECT_EQ(Read(XidOf(window), "_NET_WM_ICON").type, Atom(None));

    // Destroying the first of three moves the last into its slot.
    JEX_Window *second = JEX_CreateWindow("2", 0, 0, 10, 10, 0);
    JEX_Window *third = JEX_CreateWindow("3", 0, 0, 10, 10, 0);
    ASSERT_TRUE(second && third);
    ASSERT_EQ(Data()->numwindows, 3);
    const Window gone = XidOf(window);
    JEX_DestroyWindow(window);
    ASSERT_EQ(Data()->numwindows, 2);
    EXPECT_EQ(Data()->windowlist[0]->xwindow, XidOf(third));
    EXPECT_EQ(Data()->windowlist[1]->xwindow, XidOf(second));
    X11_TrapErrors();
    XWindowAttributes a{};
    X11.XGetWindowAttributes(peer_, gone, &a);
    X11.XSync(peer_, False);
    X11_UntrapErrors(Data()->display);

    X11_SysWMinfo info{};
    info.major = 1;
    info.minor = 3;
    ASSERT_TRUE(JEX_GetWindowWMInfo(second, reinterpret_cast<JEX_SysWMinfo *>(&info)));
    EXPECT_EQ(info.subsystem, 2u);
    EXPECT_EQ(info.info.x11.display, Data()->display);
    EXPECT_EQ(info.info.x11.window, XidOf(second));
    info.major = 2;
    info.minor = 0;
    EXPECT_FALSE(JEX_GetWindowWMInfo(second, reinterpret_cast<JEX_SysWMinfo *>(&info)));
    EXPECT_STREQ(JEX_GetError(), "Application not compiled with JEX 1.3\n");
}

TEST_F(X11WindowTest, GrabHoldsPointerWhileFocused)
{
    JEX_Window *window = ShownWindow("g", 0, 0, 100, 100);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(RunCommand("xdotool windowfocus --sync " + Hex(XidOf(window))).has_value());
    ASSERT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_FOCUS_GAINED));
    JEX_SetWindowGrab(window, JEX_TRUE);
    const Window peer_window =
        X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 10, 10, 0, CopyFromParent,
                          InputOnly, CopyFromParent, 0, nullptr);
    X11.XMapWindow(peer_, peer_window);
    X11.XSync(peer_, False);
    EXPECT_EQ(X11.XGrabPointer(peer_, peer_window, False, 0, GrabModeAsync, GrabModeAsync, None,
                               None, CurrentTime),
              AlreadyGrabbed);
    JEX_SetWindowGrab(window, JEX_FALSE);
    EXPECT_EQ(X11.XGrabPointer(peer_, peer_window, False, 0, GrabModeAsync, GrabModeAsync, None,
                               None, CurrentTime),
              GrabSuccess);
    X11.XUngrabPointer(peer_, CurrentTime);
    X11.XDestroyWindow(peer_, peer_window);
}

}  // namespace

namespace {

TEST(X11CursorBitmaps, TwoColoursFromTheOpaquePixels)
{
    // Row 0: opaque white, alpha 25 (transparent), alpha 26 (opaque), dark.
    // Row 1: nine opaque white pixels, so the row spans two bytes.
    const Uint32 pixels[2][9] = {
        {0xFFFFFFFF, 0x19FFFFFF, 0x1AFFFFFF, 0xFF101010, 0, 0, 0, 0, 0},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
         0xFFFFFFFF, 0xFFFFFFFF},
    };
    X11_CursorBitmaps b{};
    ASSERT_TRUE(X11_MakeCursorBitmaps(&pixels[0][0], int(sizeof(pixels[0])), 9, 2, &b));
    EXPECT_EQ(b.mask[0], 0x01 | 0x04 | 0x08) << "alpha 25 is out, alpha 26 is in";
    EXPECT_EQ(b.data[0], 0x01 | 0x04) << "the dark pixel is background";
    EXPECT_EQ(b.mask[1], 0x00);
    EXPECT_EQ(b.mask[2], 0xFF);
    EXPECT_EQ(b.mask[3], 0x01);
    EXPECT_EQ(b.data[3], 0x01);
    EXPECT_EQ(b.fg.red, 0xFFFF);
    EXPECT_EQ(b.fg.blue, 0xFFFF);
    EXPECT_EQ(b.bg.red, 0x1010);
    std::free(b.data);
    std::free(b.mask);

    const Uint32 white[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0, 0};
    ASSERT_TRUE(X11_MakeCursorBitmaps(white, 8, 2, 2, &b));
    EXPECT_EQ(b.bg.red, 0) << "no dark pixel: black background";
    EXPECT_EQ(b.fg.green, 0xFFFF);
    EXPECT_EQ(b.data[0], 0x03);
    EXPECT_EQ(b.mask[1], 0x00);
    std::free(b.data);
    std::free(b.mask);
}

}  // namespace

TEST_F(X11WindowTest, ColourCursorsAndHiddenCursor)
{
    JEX_Window *window = ShownWindow("cur", 0, 0, 64, 64);
    ASSERT_NE(window, nullptr);
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
    JEX_ShowCursor(1);
    X11.XSync(Data()->display, False);
    JEX_FreeCursor(cursor);
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);

    // Warping lands the pointer where asked, inside the window.
    JEX_WarpMouseInWindow(window, 20, 25);
    Window root = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    ASSERT_TRUE(X11.XQueryPointer(peer_, XidOf(window), &root, &child, &rx, &ry, &wx, &wy, &mask));
    EXPECT_EQ(wx, 20);
    EXPECT_EQ(wy, 25);
}
