// X11 window surfaces read back from the server: the driver's framebuffer on 16- and 24-bit
// visuals with and without MIT-SHM, and the texture-backed one on the OpenGL renderer.
#include "x11_test_util.h"

#include "JEX_draw.h"
#include "JEX_hints.h"
#include "render/sysrender.h"

#include <sys/shm.h>

namespace {

using namespace x11test;

struct Case {
    int depth;     // of the server's screen
    bool shm;      // the server offers MIT-SHM (Mesa uses it too, so not with the texture)
    bool texture;  // the texture-backed framebuffer, else the hint pins the driver's
};

class X11FramebufferTest : public X11ServerTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        std::vector<std::string> args{"-extension", "MIT-SHM"};  // turned off
        StartServer({{"320x240x" + std::to_string(GetParam().depth)},
                     GetParam().shm ? std::vector<std::string>{} : args});
        JEX_ClearHints();
        JEX_SetHint("JEX_FRAMEBUFFER_ACCELERATION", GetParam().texture ? "" : "0");
        StartVideo();
    }
    // The first pixel of the window, as the server holds it masked to `mask`, that differs
    // from `want`; "" when none does.
    std::string Differs(JEX_Window *window, Uint32 mask, const std::vector<Uint32> &want)
    {
        return x11test::Differs(WindowPixels(Data()->display, XidOf(window), window->w, window->h),
                                want, window->w, 0, 0, mask);
    }
};

TEST_P(X11FramebufferTest, SurfaceReachesTheWindowAndResizes)
{
    constexpr int w = 101, h = 37;  // odd width: rows are padded to 4 bytes
    const Case c = GetParam();
    JEX_Window *window = JEX_CreateWindow("fb", 0, 0, w, h, JEX_WINDOW_SHOWN);
    ASSERT_NE(window, nullptr) << JEX_GetError();
    const auto *data = static_cast<X11_WindowData *>(window->driverdata);
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr) << JEX_GetError();
    JEX_FreeSurface(surface);  // DONTFREE: the window keeps it (ASan)
    KeepMesaResident();
    const JEX_PixelFormat *f = surface->format;
    const int bpp = f->bytes_per_pixel;
    EXPECT_EQ(std::tuple(bpp, surface->pitch, JEX_GetRenderer(window), data->use_mitshm,
                         JEX_GetWindowData(window, "_JEX_WindowTextureData") != nullptr),
              std::tuple(c.depth == 16 ? 2 : 4, (bpp * w + 3) & ~3, nullptr, c.shm, c.texture));

    const Uint32 rgb = f->rmask | f->gmask | f->bmask;
    std::vector<Uint32> expect(w * h);
    for (int i = 0; i < w * h; ++i) {
        expect[i] = JEX_MapRGB(f, Uint8(i % w * 2), Uint8(i / w * 6), Uint8(i % w + i / w)) & rgb;
        std::memcpy(static_cast<Uint8 *>(surface->pixels) + i / w * surface->pitch + i % w * bpp,
                    &expect[i], bpp);
    }
    ASSERT_EQ(JEX_UpdateWindowSurface(window), 0);
    EXPECT_EQ(Differs(window, rgb, expect), "");

    // The driver's framebuffer puts the rectangles clipped to the image; the texture-backed one
    // uploads the band of whole rows they span (none for the first two) and shows it all.
    JEX_FillRect(surface, nullptr, JEX_MapRGB(f, 255, 255, 255));
    const std::vector<JEX_Rect> updates[] = {{{0, 50, 9, 9}, {200, 40, 1, 1}},
                                             {{3, 4, 5, 0}},
                                             {{200, 20, 9, 2}},
                                             {{-5, -5, 20, 20}, {40, 9, 0, 5}},
                                             {{90, 30, 50, 50}}};
    for (const auto &rects : updates)
        ASSERT_EQ(JEX_UpdateWindowSurfaceRects(window, rects.data(), int(rects.size())), 0);
    for (int i = 0; i < w * h; ++i) {
        const int x = i % w, y = i / w;
        if (c.texture ? y < 15 || y == 20 || y == 21 || y >= 30
                      : (x < 15 && y < 15) || (x >= 90 && y >= 30))
            expect[i] = rgb;
    }
    EXPECT_EQ(Differs(window, rgb, expect), "");

    // Every size gets a new framebuffer in a private segment, marked for removal: none outlives
    // its framebuffer.
    const auto segment = [&] { return data->use_mitshm ? data->shminfo.shmid : -1; };
    shmid_ds ds{};
    for (int i = 1, old = segment(); i <= 30; ++i, old = segment()) {
        JEX_SetWindowSize(window, w + i, h + 2 * i);
        ASSERT_EQ(JEX_UpdateWindowSurface(window), -1);  // invalid until fetched again
        ASSERT_TRUE((surface = JEX_GetWindowSurface(window)) &&
                    JEX_UpdateWindowSurface(window) == 0);
        EXPECT_TRUE(old == -1 || shmctl(old, IPC_STAT, &ds) == -1);
        EXPECT_TRUE(segment() == -1 ||
                    (shmctl(segment(), IPC_STAT, &ds) == 0 &&
                     (ds.shm_perm.mode & (0777 | SHM_DEST)) == (0600 | SHM_DEST)));
    }
    if (c.texture) {
        // A software renderer of the user's draws into the surface of the framebuffer's own
        // renderer, which neither JEX_GetRenderer nor the user's destroy ever sees.
        JEX_Renderer *user = JEX_CreateRenderer(window, -1, JEX_RENDERER_SOFTWARE);
        ASSERT_NE(user, nullptr) << JEX_GetError();
        EXPECT_EQ(JEX_GetRenderer(window), user);
        JEX_SetRenderDrawColor(user, 0, 0, 255, 255);
        EXPECT_EQ(JEX_RenderClear(user), 0);
        JEX_RenderPresent(user);
        const std::vector<Uint32> blue(window->w * window->h, surface->format->bmask);
        EXPECT_EQ(Differs(window, rgb, blue), "");
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
    const int last = segment();
    JEX_DestroyWindow(window);
    EXPECT_TRUE(last == -1 || shmctl(last, IPC_STAT, &ds) == -1);
}

INSTANTIATE_TEST_SUITE_P(Visuals, X11FramebufferTest,
                         ::testing::Values(Case{16, true, false}, Case{16, false, false},
                                           Case{24, true, false}, Case{24, false, false},
                                           Case{24, false, true}));

}  // namespace
