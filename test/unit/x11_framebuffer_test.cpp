// X11 window surfaces of 16-, 24- and 32-bit visuals read back from the server: the driver's
// framebuffer with and without MIT-SHM, and the texture-backed one on the OpenGL renderer.
#include "x11_test_util.h"

#include "JEX_draw.h"
#include "JEX_hints.h"
#include "JEX_log.h"
#include "JEX_render.h"
#include "render/sysrender.h"

#include <sys/shm.h>

#include <set>
#include <sstream>
#include <tuple>

namespace {

using namespace x11test;

struct Case {
    int depth;     // of the server's screen
    bool argb;     // a foreign window of a depth-32 visual instead of the library's own
    bool shm;      // the server offers MIT-SHM
    bool texture;  // the texture-backed framebuffer (else the hint pins the driver's)
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
        if (!GetParam().texture)
            JEX_SetHint("JEX_FRAMEBUFFER_ACCELERATION", "0");
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
        JEX_ClearHints();
    }
    // The first pixel of the window, as the server holds it masked to the colour bits, that
    // differs from `want`; "" when none does.
    std::string Differs(JEX_Window *window, Uint32 mask, const std::vector<Uint32> &want)
    {
        const int w = window->w, h = window->h;
        XImage *image = X11.XGetImage(display_, XidOf(window), 0, 0, w, h, AllPlanes, ZPixmap);
        std::string out = image ? "" : "no image";
        for (int i = 0; image && out.empty() && i < w * h; ++i)
            if (const Uint32 got = Uint32(XGetPixel(image, i % w, i / w)) & mask; got != want[i])
                out = std::to_string(i % w) + "," + std::to_string(i / w) + ": " + Hex(got);
        if (image)
            XDestroyImage(image);
        return out;
    }
    Display *display_ = nullptr;
    std::string log_;
};

TEST_P(X11FramebufferTest, SurfaceReachesTheWindowAndResizes)
{
    constexpr int w = 101, h = 37;  // odd width: rows are padded to 4 bytes
    const Case c = GetParam();
    JEX_Window *window = nullptr;
    if (!c.argb) {
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
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr) << JEX_GetError();
    KeepMesaResident();
    const JEX_PixelFormat *f = surface->format;
    const int bpp = f->bytes_per_pixel;
    EXPECT_EQ(std::tuple(bpp, surface->pitch, JEX_GetRenderer(window)),
              std::tuple(c.depth == 16 ? 2 : 4, (bpp * w + 3) & ~3, nullptr));
    EXPECT_EQ(static_cast<X11_WindowData *>(window->driverdata)->use_mitshm, c.shm && !c.texture);
    EXPECT_EQ(JEX_GetWindowData(window, "_JEX_WindowTextureData") != nullptr, c.texture);

    const Uint32 rgb = f->rmask | f->gmask | f->bmask;
    std::vector<Uint32> expect(w * h);
    for (int i = 0; i < w * h; ++i) {
        const int x = i % w, y = i / w;
        expect[i] = JEX_MapRGB(f, Uint8(x * 2), Uint8(y * 6), Uint8(x + y)) & rgb;
        std::memcpy(static_cast<Uint8 *>(surface->pixels) + y * surface->pitch + x * bpp,
                    &expect[i], bpp);
    }
    ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
    EXPECT_EQ(Differs(window, rgb, expect), "");

    // The driver's framebuffer puts the rectangles clipped to the image; the texture-backed one
    // uploads the band of whole rows they span (none for the first update) and shows it all.
    JEX_FillRect(surface, nullptr, JEX_MapRGB(f, 255, 255, 255));
    const std::vector<JEX_Rect> updates[] = {{{0, 50, 9, 9}, {200, 40, 1, 1}},
                                             {{3, 4, 5, 0}},
                                             {{200, 20, 9, 2}},
                                             {{-5, -5, 20, 20}, {40, 9, 0, 5}},
                                             {{90, 30, 50, 50}}};
    for (const auto &rects : updates) {
        ASSERT_EQ(JEX_UpdateWindowSurfaceRects(window, rects.data(), int(rects.size())), 0);
        if (&rects == updates + 1) {
            EXPECT_EQ(Differs(window, rgb, expect), "");
        }
    }
    for (int i = 0; i < w * h; ++i) {
        const int x = i % w, y = i / w;
        if (c.texture ? y < 15 || y == 20 || y == 21 || y >= 30
                      : (x < 15 && y < 15) || (x >= 90 && y >= 30))
            expect[i] = rgb;
    }
    EXPECT_EQ(Differs(window, rgb, expect), "");
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
        ASSERT_TRUE((surface = JEX_GetWindowSurface(window)) &&
                    JEX_UpdateWindowSurface(window) == 0);
        const std::set<int> now = OwnSegments();
        ASSERT_EQ(now.size(), c.shm && !c.texture ? 1u : 0u);
        shmid_ds ds{};
        for (int id : now)
            EXPECT_TRUE(shmctl(id, IPC_STAT, &ds) == 0 && (ds.shm_perm.mode & 0777) == 0600);
        ids.insert(now.begin(), now.end());
    }
    EXPECT_EQ(ids.size(), c.shm && !c.texture ? 30u : 0u);
    if (c.texture) {
        // A software renderer of the user's draws into the surface of the framebuffer's own
        // renderer, which neither JEX_GetRenderer nor the user's destroy ever sees.
        JEX_Renderer *user = JEX_CreateRenderer(window, -1, JEX_RENDERER_SOFTWARE);
        ASSERT_NE(user, nullptr) << JEX_GetError();
        EXPECT_EQ(JEX_GetRenderer(window), user);
        JEX_SetRenderDrawColor(user, 0, 0, 255, 255);
        EXPECT_EQ(JEX_RenderClear(user), 0);
        JEX_RenderPresent(user);
        EXPECT_EQ(
            Differs(window, rgb, std::vector<Uint32>((w + 30) * (h + 60), surface->format->bmask)),
            "");
        JEX_DestroyRenderer(user);
        EXPECT_EQ(JEX_UpdateWindowSurface(window), 0);
        // A create that fails after one that worked leaves nothing to free twice (ASan).
        (*static_cast<JEX_Renderer **>(JEX_GetWindowData(window, "_JEX_WindowTextureData")))
            ->info.max_texture_width = 64;
        JEX_SetWindowSize(window, 100, 8);
        EXPECT_EQ(JEX_GetWindowSurface(window), nullptr);
        JEX_VideoDevice *device = JEX_GetVideoDevice();
        EXPECT_EQ(device->UpdateWindowFramebuffer(device, window, nullptr, 0), -1);
        EXPECT_STREQ(JEX_GetError(), "No window texture data");
    }
    JEX_DestroyWindow(window);
    EXPECT_TRUE(OwnSegments().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Visuals, X11FramebufferTest,
    ::testing::Values(Case{16, false, true, false}, Case{16, false, false, false},
                      Case{24, false, true, false}, Case{24, false, false, false},
                      Case{24, true, true, false}, Case{24, true, false, false},
                      Case{24, false, false, true}));

}  // namespace
