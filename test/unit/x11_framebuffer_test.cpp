// X11 window surfaces on private Xvfb servers of 16- and 24-bit depth (and a 32-bit visual on
// the latter), with and without MIT-SHM, read back from the server with XGetImage.
#include "x11_test_util.h"

#include "JEX_draw.h"
#include "JEX_log.h"
#include "JEX_pixels.h"
#include "video/x11/x11_framebuffer.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <tuple>

namespace {

using namespace x11test;

struct Case {
    int depth;  // of the server's screen
    bool argb;  // a foreign window of a depth-32 visual instead of the library's own
    bool shm;   // the server offers MIT-SHM
};

class X11FramebufferTest : public X11ServerTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        const Case c = GetParam();
        XvfbOptions options;
        options.screens = {"320x240x" + std::to_string(c.depth)};
        if (!c.shm)
            options.extra_args = {"-extension", "MIT-SHM"};
        StartServer(options);
        StartVideo();
        display_ = Data()->display;
        JEX_LogSetOutputFunction(
            [](void *self, int, JEX_LogPriority, const char *message) {
                static_cast<std::string *>(self)->append(message).append("\n");
            },
            &errors_);
    }
    void TearDown() override
    {
        JEX_LogSetOutputFunction(JEX_LogOutput, nullptr);
        if (foreign_)
            X11.XDestroyWindow(display_, foreign_);
        X11ServerTest::TearDown();
    }
    JEX_Window *MakeWindow(int w, int h)
    {
        if (!GetParam().argb)
            return JEX_CreateWindow("fb", 0, 0, w, h, JEX_WINDOW_SHOWN);
        XVisualInfo vinfo;
        EXPECT_TRUE(X11.XMatchVisualInfo(display_, DefaultScreen(display_), 32, TrueColor, &vinfo));
        XSetWindowAttributes a{};
        a.colormap =
            X11.XCreateColormap(display_, DefaultRootWindow(display_), vinfo.visual, AllocNone);
        foreign_ = X11.XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, unsigned(w),
                                     unsigned(h), 0, 32, InputOutput, vinfo.visual,
                                     CWColormap | CWBorderPixel | CWBackPixel, &a);
        X11.XMapWindow(display_, foreign_);
        return JEX_CreateWindowFrom(reinterpret_cast<void *>(foreign_));
    }
    // The window's pixels as the server holds them, in the surface's format.
    std::vector<Uint32> ReadBack(JEX_Window *window, int w, int h)
    {
        std::vector<Uint32> out;
        XImage *image = X11.XGetImage(display_, XidOf(window), 0, 0, unsigned(w), unsigned(h),
                                      AllPlanes, ZPixmap);
        EXPECT_NE(image, nullptr);
        for (int y = 0; image && y < h; ++y)
            for (int x = 0; x < w; ++x)
                out.push_back(Uint32(XGetPixel(image, x, y)));
        if (image)
            XDestroyImage(image);
        return out;
    }
    Display *display_ = nullptr;
    Window foreign_ = None;
    std::string errors_;
};

TEST_P(X11FramebufferTest, SurfaceReachesTheWindowRectangleByRectangle)
{
    constexpr int w = 101, h = 37;  // odd width: rows are padded to 4 bytes
    JEX_Window *window = MakeWindow(w, h);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    XWindowAttributes attributes{};
    for (int i = 0; i < 300 && attributes.map_state != IsViewable; ++i) {
        JEX_PumpEvents();
        X11.XGetWindowAttributes(display_, XidOf(window), &attributes);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr) << JEX_GetError();
    const JEX_PixelFormat *f = surface->format;
    const int bpp = f->bytes_per_pixel;
    EXPECT_EQ(std::tuple(bpp, surface->pitch),
              std::tuple(GetParam().depth == 16 ? 2 : 4, (bpp * w + 3) & ~3));
    EXPECT_EQ(static_cast<X11_WindowData *>(window->driverdata)->use_mitshm, GetParam().shm);

    const Uint32 rgb = f->rmask | f->gmask | f->bmask;
    std::vector<Uint32> expect(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            expect[y * w + x] = JEX_MapRGB(f, Uint8(x * 2), Uint8(y * 6), Uint8(x + y)) & rgb;
            const Uint32 v = expect[y * w + x];
            std::memcpy(static_cast<Uint8 *>(surface->pixels) + y * surface->pitch + x * bpp, &v,
                        bpp);
        }
    ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
    std::vector<Uint32> seen = ReadBack(window, w, h);
    for (Uint32 &v : seen)
        v &= rgb;
    EXPECT_EQ(seen, expect);

    // Rectangles are clipped to the image: partly outside, wholly outside, empty.
    JEX_FillRect(surface, nullptr, JEX_MapRGB(f, 255, 255, 255));
    const JEX_Rect rects[] = {
        {-5, -5, 20, 20}, {90, 30, 50, 50}, {200, 200, 10, 10}, {40, 10, 0, 5}};
    ASSERT_EQ(JEX_UpdateWindowSurfaceRects(window, rects, 4), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x < 15 && y < 15) || (x >= 90 && y >= 30))
                expect[y * w + x] = rgb;
    seen = ReadBack(window, w, h);
    for (Uint32 &v : seen)
        v &= rgb;
    EXPECT_EQ(seen, expect);
    EXPECT_EQ(errors_, "");

    // An update synchronises without throwing away events already queued.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = XidOf(window);
    close.xclient.message_type = X11.XInternAtom(display_, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(Data()->WM_DELETE_WINDOW);
    X11.XSendEvent(display_, XidOf(window), False, NoEventMask, &close);
    ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
    JEX_PumpEvents();
    bool closed = false;
    for (JEX_Event e; JEX_PollEvent(&e);)
        closed |= e.type == JEX_WINDOWEVENT && e.window.event == JEX_WINDOWEVENT_CLOSE;
    EXPECT_TRUE(closed);
}

// Our own shared segments, as ipcs lists them: id and permissions.
std::vector<std::pair<std::string, std::string>> OwnSegments()
{
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream creators(RunCommand("ipcs -m -p").value_or("")),
        all(RunCommand("ipcs -m").value_or(""));
    std::string line, id, owner, pid, key, perms;
    std::vector<std::string> ids;
    while (std::getline(creators, line))
        if (std::istringstream(line) >> id >> owner >> pid && pid == std::to_string(getpid()))
            ids.push_back(id);
    while (std::getline(all, line))
        if (std::istringstream(line) >> key >> id >> owner >> perms &&
            std::find(ids.begin(), ids.end(), id) != ids.end())
            out.emplace_back(id, perms);
    return out;
}

TEST_P(X11FramebufferTest, ResizingLeavesNoSharedSegmentsBehind)
{
    JEX_Window *window = MakeWindow(64, 64);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    std::set<std::string> ids;
    for (int i = 0; i < 30; ++i) {
        JEX_SetWindowSize(window, 64 + i, 64 + 2 * i);
        ASSERT_NE(JEX_GetWindowSurface(window), nullptr) << JEX_GetError();
        ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
        const auto segments = OwnSegments();
        ASSERT_EQ(segments.size(), GetParam().shm ? 1u : 0u);
        for (const auto &[id, perms] : segments) {
            EXPECT_EQ(perms, "600");
            ids.insert(id);
        }
    }
    EXPECT_EQ(ids.size(), GetParam().shm ? 30u : 0u);  // a fresh segment per size
    JEX_DestroyWindow(window);
    EXPECT_TRUE(OwnSegments().empty());
}

INSTANTIATE_TEST_SUITE_P(Visuals, X11FramebufferTest,
                         ::testing::Values(Case{16, false, true}, Case{16, false, false},
                                           Case{24, false, true}, Case{24, false, false},
                                           Case{24, true, true}, Case{24, true, false}),
                         [](const auto &info) {
                             const Case &c = info.param;
                             return std::string(c.argb ? "argb32"
                                                       : "depth" + std::to_string(c.depth)) +
                                    (c.shm ? "_shm" : "_noshm");
                         });

}  // namespace
