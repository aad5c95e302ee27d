// Window surfaces on the null driver, whose framebuffer stands in for the texture-backed one
// (there is no hardware renderer); its saved frames are read back by ImageMagick. A window's
// software renderer follows the window's surface and goes with the window.
#include <gtest/gtest.h>

#include "JEX_draw.h"
#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_hints.h"
#include "JEX_render.h"
#include "test_files.h"
#include "video/sysvideo.h"

#include <filesystem>
#include <tuple>

namespace {

// The null driver has no GL; a stand-in context slot lets it make windows.
JEX_VideoDevice *StartDummy(const char *acceleration, const char *render_driver = "")
{
    JEX_VideoQuit();
    JEX_SetHint("JEX_FRAMEBUFFER_ACCELERATION", acceleration);
    JEX_SetHint("JEX_RENDER_DRIVER", render_driver);
    EXPECT_EQ(JEX_VideoInit("dummy"), 0) << JEX_GetError();
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    device->GL_CreateContext = [](JEX_VideoDevice *, JEX_Window *) { return JEX_GLContext(); };
    return device;
}

// Create, update, re-create and destroy all reach the driver's framebuffer (ASan sees a leak or
// a stray free); saved files are numbered on across windows, whatever the rectangles.
TEST(Framebuffer, DriverFramebufferStandsInAndSavesFrames)
{
    JEX_VideoDevice *device = StartDummy("");  // the texture-backed framebuffer is chosen
    namespace fs = std::filesystem;
    const TempDir dir;
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    JEX_Window *w[2] = {JEX_CreateWindow("a", 0, 0, 5, 3, 0), JEX_CreateWindow("b", 0, 0, 2, 2, 0)};
    std::string rgb[2];  // as ImageMagick decodes them
    for (int k = 0; k < 2; ++k) {
        JEX_Surface *s = JEX_GetWindowSurface(w[k]);
        ASSERT_NE(s, nullptr) << JEX_GetError();
        JEX_FillRect(s, nullptr, k ? 0x00FF00 : 0x123456);
        for (int i = 0; i < s->w * s->h; ++i)
            rgb[k].append(k ? "\0\xFF\0" : "\x12\x34\x56", 3);
    }
    const JEX_Rect outside = {100, 100, 1, 1};
    EXPECT_EQ(JEX_UpdateWindowSurface(w[0]), 0);  // not saving yet
    setenv("JEX_VIDEO_DUMMY_SAVE_FRAMES", "", 1);
    EXPECT_EQ((std::tuple{JEX_UpdateWindowSurface(w[0]), JEX_UpdateWindowSurface(w[1]),
                          JEX_UpdateWindowSurfaceRects(w[0], &outside, 1)}),
              std::tuple(0, 0, 0));
    for (int i = 0; i < 3; ++i) {  // the counter is the process's; no other test saves
        char name[64];
        std::snprintf(name, sizeof(name), "JEX_window%u-%8.8d.bmp", w[i % 2]->id, i + 1);
        EXPECT_EQ(RunCommand(std::string("convert ") + name + " rgb:-"), rgb[i % 2]) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 3);

    JEX_SetWindowSize(w[0], 8, 6);
    EXPECT_EQ(JEX_UpdateWindowSurface(w[0]), -1);
    EXPECT_STREQ(JEX_GetError(), "Window surface is invalid, please call JEX_GetWindowSurface() "
                                 "to get a new surface");
    JEX_Surface *surface = JEX_GetWindowSurface(w[0]);
    auto *own = static_cast<JEX_Surface *>(JEX_GetWindowData(w[0], "_JEX_DummySurface"));
    ASSERT_TRUE(surface && own);
    EXPECT_EQ(std::tuple(own->w, own->h, own->pixels), std::tuple(8, 6, surface->pixels));
    // A failed create leaves no freed surface for the next update to write out.
    JEX_SetWindowSize(w[0], JEX_MAX_WINDOW_SIZE, JEX_MAX_WINDOW_SIZE);  // too big a surface
    EXPECT_EQ(JEX_GetWindowSurface(w[0]), nullptr);
    EXPECT_EQ(device->UpdateWindowFramebuffer(device, w[0], nullptr, 0), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find dummy surface for window");
    fs::current_path(cwd);
    JEX_VideoQuit();
    unsetenv("JEX_VIDEO_DUMMY_SAVE_FRAMES");
}

TEST(Framebuffer, HintsChooseTheFramebuffer)
{
    // The driver's own slots stay only when a hint asks for them ("" is not set).
    for (auto [acceleration, render_driver, own] :
         {std::tuple{"0", "", true}, {"", "SoftWare", true}, {"1", "opengl", false}}) {
        JEX_VideoDevice *device = StartDummy(acceleration, render_driver);
        EXPECT_EQ(device->CreateWindowFramebuffer != JEX_CreateWindowTexture, own);
    }
    // A driver without framebuffer slots has nothing to fall back to: the renderer's error.
    JEX_GetVideoDevice()->driver_framebuffer = {};
    JEX_Window *window = JEX_CreateWindow("fb", 0, 0, 20, 10, 0);
    EXPECT_EQ(JEX_GetWindowSurface(window), nullptr);
    const std::string error = JEX_GetError();
    EXPECT_EQ(JEX_CreateRenderer(window, 0, 0), nullptr);
    EXPECT_EQ(error, JEX_GetError());
    // Rows padded to 4 bytes.
    EXPECT_EQ(std::tuple(JEX_WindowTexturePitch(JEX_PIXELFORMAT_RGB24, 1),
                         JEX_WindowTexturePitch(JEX_PIXELFORMAT_RGB565, 3)),
              std::tuple(4, 8));
    JEX_VideoQuit();
    JEX_ClearHints();
}

// With every window event dropped by a filter, the renderer never hears of the new size; it
// still draws into the window's new surface, never the freed one (ASan). Destroying the window
// destroys the renderer and its textures (ASan reports a leak or a late use of the window).
TEST(Framebuffer, WindowRendererFollowsTheSurfaceAndGoesWithTheWindow)
{
    StartDummy("");
    JEX_Window *window = JEX_CreateWindow("r", 0, 0, 40, 30, 0);
    JEX_Renderer *renderer = JEX_CreateRenderer(window, -1, JEX_RENDERER_SOFTWARE);
    ASSERT_NE(renderer, nullptr) << JEX_GetError();
    JEX_SetEventFilter([](void *, JEX_Event *e) { return int(e->type != JEX_WINDOWEVENT); },
                       nullptr);
    EXPECT_EQ(JEX_RenderClear(renderer), 0);
    JEX_RenderPresent(renderer);
    JEX_SetWindowSize(window, 80, 60);
    JEX_SetRenderDrawColor(renderer, 0x12, 0x34, 0x56, 0xFF);
    EXPECT_EQ(JEX_RenderFillRect(renderer, nullptr), 0);  // the old 40x30 viewport
    JEX_RenderPresent(renderer);
    JEX_SetEventFilter(nullptr, nullptr);
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_TRUE(surface && surface->w == 80 && surface->h == 60);
    const auto pixel = [&](int x, int y) {
        return static_cast<const Uint32 *>(surface->pixels)[y * surface->pitch / 4 + x] & 0xFFFFFF;
    };
    EXPECT_EQ(std::tuple(pixel(0, 0), pixel(39, 29), pixel(40, 29), pixel(39, 30)),
              std::tuple(0x123456u, 0x123456u, 0u, 0u));

    JEX_Texture *texture = JEX_CreateTexture(renderer, 0, JEX_TEXTUREACCESS_STREAMING, 8, 8);
    ASSERT_NE(texture, nullptr) << JEX_GetError();
    EXPECT_EQ(JEX_GetRenderer(window), renderer);
    JEX_DestroyWindow(window);
    EXPECT_EQ(JEX_RenderClear(renderer), -1);
    EXPECT_STREQ(JEX_GetError(), "Invalid renderer");
    JEX_DestroyTexture(texture);
    EXPECT_STREQ(JEX_GetError(), "Invalid texture");
    JEX_VideoQuit();
}

}  // namespace
