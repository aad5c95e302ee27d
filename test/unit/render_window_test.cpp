// Renderers over windows of the null driver: the window's lifetime bounds its renderer's, and
// the software renderer follows the window's surface across size changes.
#include <gtest/gtest.h>

#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_render.h"
#include "video/sysvideo.h"

#include <tuple>

namespace {

// The null driver has no GL; a stand-in context slot lets it make windows.
class RenderWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(JEX_VideoInit("dummy"), 0) << JEX_GetError();
        JEX_GetVideoDevice()->GL_CreateContext = [](JEX_VideoDevice *, JEX_Window *) {
            return JEX_GLContext(nullptr);
        };
        window_ = JEX_CreateWindow("r", 0, 0, 40, 30, 0);
        ASSERT_NE(window_, nullptr) << JEX_GetError();
        renderer_ = JEX_CreateRenderer(window_, -1, JEX_RENDERER_SOFTWARE);
        ASSERT_NE(renderer_, nullptr) << JEX_GetError();
    }
    void TearDown() override
    {
        JEX_SetEventFilter(nullptr, nullptr);
        JEX_VideoQuit();
    }
    JEX_Window *window_ = nullptr;
    JEX_Renderer *renderer_ = nullptr;
};

// ASan reports a leak of the renderer or its texture, or a late use of the window.
TEST_F(RenderWindowTest, DestroyingTheWindowDestroysItsRendererAndTextures)
{
    JEX_Texture *texture = JEX_CreateTexture(renderer_, 0, JEX_TEXTUREACCESS_STREAMING, 8, 8);
    ASSERT_NE(texture, nullptr) << JEX_GetError();
    EXPECT_EQ(JEX_GetRenderer(window_), renderer_);
    JEX_DestroyWindow(window_);
    EXPECT_EQ(JEX_RenderClear(renderer_), -1);
    EXPECT_STREQ(JEX_GetError(), "Invalid renderer");
    JEX_DestroyTexture(texture);
    EXPECT_STREQ(JEX_GetError(), "Invalid texture");
    JEX_DestroyRenderer(renderer_);
    EXPECT_STREQ(JEX_GetError(), "Invalid renderer");
}

// With every window event dropped by a filter, the renderer never hears of the new size; it
// still draws into the window's new surface, never the freed one (ASan).
TEST_F(RenderWindowTest, SoftwareRendererFollowsTheSurfaceWithoutWindowEvents)
{
    JEX_SetEventFilter([](void *, JEX_Event *e) { return int(e->type != JEX_WINDOWEVENT); },
                       nullptr);
    ASSERT_EQ(JEX_RenderClear(renderer_), 0);
    JEX_RenderPresent(renderer_);
    JEX_SetWindowSize(window_, 80, 60);
    ASSERT_EQ(JEX_SetRenderDrawColor(renderer_, 0x12, 0x34, 0x56, 0xFF), 0);
    ASSERT_EQ(JEX_RenderFillRect(renderer_, nullptr), 0);  // the old 40x30 viewport
    JEX_RenderPresent(renderer_);
    JEX_Surface *surface = JEX_GetWindowSurface(window_);
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(std::tuple(surface->w, surface->h), std::tuple(80, 60));
    const auto pixel = [&](int x, int y) {
        return static_cast<const Uint32 *>(surface->pixels)[y * surface->pitch / 4 + x] & 0xFFFFFF;
    };
    EXPECT_EQ(std::tuple(pixel(0, 0), pixel(39, 29), pixel(40, 29), pixel(39, 30)),
              std::tuple(0x123456u, 0x123456u, 0u, 0u));
}

}  // namespace
