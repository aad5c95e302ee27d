// X11 window surfaces of 16-, 24- and 32-bit visuals, with and without MIT-SHM, read back.
#include "x11_test_util.h"

#include "JEX_draw.h"
#include "JEX_log.h"
#include "JEX_pixels.h"

#include <sys/shm.h>

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

// The shared segments this process made, as ipcs lists them.
std::set<int> OwnSegments()
{
    std::istringstream in(RunCommand("ipcs -m -p").value_or(""));
    std::string line, owner;
    std::set<int> ids;
    for (int id = 0, pid = 0; std::getline(in, line);)
        if (std::istringstream(line) >> id >> owner >> pid && pid == getpid())
            ids.insert(id);
    return ids;
}

class X11FramebufferTest : public X11ServerTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        std::vector<std::string> args{"-extension", "MIT-SHM"};  // turned off
        StartServer({{"320x240x" + std::to_string(GetParam().depth)},
                     GetParam().shm ? std::vector<std::string>{} : args});
        StartVideo();
        display_ = Data()->display;
        JEX_LogSetOutputFunction(
            [](void *log, int, JEX_LogPriority, const char *message) {
                static_cast<std::string *>(log)->append(message).append("\n");
            },
            &log_);
    }
    void TearDown() override
    {
        JEX_LogSetOutputFunction(JEX_LogOutput, nullptr);
        X11ServerTest::TearDown();
    }
    Display *display_ = nullptr;
    std::string log_;
};

TEST_P(X11FramebufferTest, SurfaceReachesTheWindowAndResizes)
{
    constexpr int w = 101, h = 37;  // odd width: rows are padded to 4 bytes
    JEX_Window *window = nullptr;
    if (!GetParam().argb) {
        window = JEX_CreateWindow("fb", 0, 0, w, h, JEX_WINDOW_SHOWN);
    } else {  // a window of a depth-32 visual, adopted
        XVisualInfo vi{};
        X11.XMatchVisualInfo(display_, DefaultScreen(display_), 32, TrueColor, &vi);
        XSetWindowAttributes a{};
        a.colormap = X11.XCreateColormap(display_, DefaultRootWindow(display_), vi.visual, 0);
        const Window x = X11.XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, w, h, 0, 32,
                                           InputOutput, vi.visual, CWColormap | CWBorderPixel, &a);
        X11.XMapWindow(display_, x);
        window = JEX_CreateWindowFrom(reinterpret_cast<void *>(x));
    }
    ASSERT_NE(window, nullptr) << JEX_GetError();
    XWindowAttributes attributes{};
    for (int i = 0; i < 300 && attributes.map_state != IsViewable; ++i) {
        X11.XGetWindowAttributes(display_, XidOf(window), &attributes);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The window's pixels as the server holds them, masked to the colour bits.
    const auto read_back = [&](Uint32 mask) {
        std::vector<Uint32> out;
        XImage *image = X11.XGetImage(display_, XidOf(window), 0, 0, w, h, AllPlanes, ZPixmap);
        for (int i = 0; image && i < w * h; ++i)
            out.push_back(Uint32(XGetPixel(image, i % w, i / w)) & mask);
        if (image)
            XDestroyImage(image);
        return out;
    };
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr) << JEX_GetError();
    const JEX_PixelFormat *f = surface->format;
    const int bpp = f->bytes_per_pixel;
    EXPECT_EQ(std::tuple(bpp, surface->pitch),
              std::tuple(GetParam().depth == 16 ? 2 : 4, (bpp * w + 3) & ~3));
    EXPECT_EQ(static_cast<X11_WindowData *>(window->driverdata)->use_mitshm, GetParam().shm);

    const Uint32 rgb = f->rmask | f->gmask | f->bmask;
    std::vector<Uint32> expect(w * h);
    for (int i = 0; i < w * h; ++i) {
        const int x = i % w, y = i / w;
        expect[i] = JEX_MapRGB(f, Uint8(x * 2), Uint8(y * 6), Uint8(x + y)) & rgb;
        std::memcpy(static_cast<Uint8 *>(surface->pixels) + y * surface->pitch + x * bpp,
                    &expect[i], bpp);
    }
    ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
    EXPECT_EQ(read_back(rgb), expect);

    // Rectangles are clipped to the image: partly outside, wholly outside, empty.
    JEX_FillRect(surface, nullptr, JEX_MapRGB(f, 255, 255, 255));
    const JEX_Rect rects[] = {{-5, -5, 20, 20}, {90, 30, 50, 50}, {200, 200, 9, 9}, {40, 9, 0, 5}};
    ASSERT_EQ(JEX_UpdateWindowSurfaceRects(window, rects, 4), 0);
    for (int i = 0; i < w * h; ++i)
        if ((i % w < 15 && i / w < 15) || (i % w >= 90 && i / w >= 30))
            expect[i] = rgb;
    EXPECT_EQ(read_back(rgb), expect);
    EXPECT_EQ(log_, "");  // no X error

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
    JEX_Event e{};
    while (JEX_PollEvent(&e) && !(e.type == JEX_WINDOWEVENT && e.window.event == 14)) {
    }
    EXPECT_EQ(std::tuple(e.type, e.window.event), std::tuple(JEX_WINDOWEVENT, 14));  // CLOSE

    // Every size gets a fresh private segment, and none outlives its framebuffer.
    std::set<int> ids;
    for (int i = 1; i <= 30; ++i) {
        JEX_SetWindowSize(window, w + i, h + 2 * i);
        ASSERT_TRUE(JEX_GetWindowSurface(window) && JEX_UpdateWindowSurface(window) == 0);
        const std::set<int> now = OwnSegments();
        ASSERT_EQ(now.size(), GetParam().shm ? 1u : 0u);
        shmid_ds ds{};
        for (int id : now)
            EXPECT_TRUE(shmctl(id, IPC_STAT, &ds) == 0 && (ds.shm_perm.mode & 0777) == 0600);
        ids.insert(now.begin(), now.end());
    }
    EXPECT_EQ(ids.size(), GetParam().shm ? 30u : 0u);
    JEX_DestroyWindow(window);
    EXPECT_TRUE(OwnSegments().empty());
}

INSTANTIATE_TEST_SUITE_P(Visuals, X11FramebufferTest,
                         ::testing::Values(Case{16, false, true}, Case{16, false, false},
                                           Case{24, false, true}, Case{24, false, false},
                                           Case{24, true, true}, Case{24, true, false}));

}  // namespace
