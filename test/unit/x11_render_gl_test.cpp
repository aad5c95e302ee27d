// The OpenGL renderer on a private Xvfb (Mesa llvmpipe), drawn pixel for
// pixel against the software renderer drawing the same scene into a surface.
#include "x11_test_util.h"

#include "JEX_hints.h"
#include "JEX_render.h"

extern "C" {
#include <libswscale/swscale.h>
}

using namespace x11test;

namespace {

constexpr int kW = 160, kH = 120;
using Pixels = std::vector<Uint32>;

// Every alpha value along x, colour along y; transparent pixels are black, as
// the software renderer's run-length encoding of static textures keeps them.
JEX_Surface *Pattern(int w, int h)
{
    JEX_Surface *s =
        JEX_CreateRGBSurface(0, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<Uint32 *>(s->pixels)[y * s->pitch / 4 + x] =
                x == 0 ? 0
                       : Uint32(x * 255 / (w - 1)) << 24 | Uint32(y * 8 % 256) << 16 |
                             Uint32(255 - x * 6 % 256) << 8 | Uint32((x + y) * 5 % 256);
    return s;
}

// Every drawing call, blend mode and modulation, with the default colour as
// the first colour drawn and an off-centre viewport at the end.
void DrawScene(JEX_Renderer *r, const std::function<void(const char *, int)> &after)
{
    JEX_SetRenderDrawColor(r, 200, 30, 40, 255);
    after("clear", JEX_RenderClear(r));
    JEX_SetRenderDrawColor(r, 0, 0, 0, 0);
    const JEX_Rect first = {4, 4, 12, 8};
    after("fill in the default colour", JEX_RenderFillRect(r, &first));
    JEX_SetRenderDrawColor(r, 10, 220, 30, 255);
    const JEX_Point points[] = {{20, 2}, {22, 2}, {159, 119}, {0, 119}};
    after("points", JEX_RenderDrawPoints(r, points, 4));
    JEX_SetRenderDrawColor(r, 250, 250, 0, 255);
    after("line", JEX_RenderDrawLine(r, 30, 3, 60, 3));
    after("vertical line", JEX_RenderDrawLine(r, 62, 2, 62, 20));
    after("diagonal", JEX_RenderDrawLine(r, 64, 2, 80, 18));
    const JEX_Point strip[] = {{84, 2}, {100, 2}, {100, 12}, {90, 12}};
    after("strip", JEX_RenderDrawLines(r, strip, 4));
    const JEX_Rect outline = {104, 2, 20, 10};
    after("loop", JEX_RenderDrawRect(r, &outline));
    const int modes[] = {JEX_BLENDMODE_NONE, JEX_BLENDMODE_BLEND, JEX_BLENDMODE_ADD,
                         JEX_BLENDMODE_MOD};
    for (int i = 0; i < 4; ++i) {
        JEX_SetRenderDrawBlendMode(r, modes[i]);
        JEX_SetRenderDrawColor(r, Uint8(60 * i), 128, Uint8(255 - 50 * i), Uint8(90 + 40 * i));
        const JEX_Rect rect = {2 + 20 * i, 22, 30, 14};
        after("blended fill", JEX_RenderFillRect(r, &rect));
        const JEX_Point blended[] = {{4 + 20 * i, 40}, {6 + 20 * i, 40}};
        after("blended points", JEX_RenderDrawPoints(r, blended, 2));
        after("blended line", JEX_RenderDrawLine(r, 2 + 20 * i, 42, 16 + 20 * i, 42));
    }
    JEX_SetRenderDrawBlendMode(r, JEX_BLENDMODE_NONE);
    JEX_Surface *pattern = Pattern(40, 30);
    JEX_Texture *t = JEX_CreateTextureFromSurface(r, pattern);
    after("texture from surface", t ? 0 : -1);
    for (int i = 0; i < 4 && t; ++i) {
        JEX_SetTextureBlendMode(t, modes[i]);
        JEX_SetTextureColorMod(t, 255, 255, 255);
        JEX_SetTextureAlphaMod(t, 255);
        // Side by side: blends chained on one pixel add up truncations.
        JEX_Rect dst = {86 + 38 * (i % 2), 14 + 28 * (i / 2), 36, 26};
        const JEX_Rect inner = {2, 2, 36, 26};
        after("copy", JEX_RenderCopy(r, t, &inner, &dst));
        JEX_SetTextureColorMod(t, 200, 100, 255);
        JEX_SetTextureAlphaMod(t, 160);
        dst = {2 + 20 * i, 50, 20, 30};
        const JEX_Rect src = {10, 0, 20, 30};
        after("modulated copy", JEX_RenderCopy(r, t, &src, &dst));
    }
    JEX_SetTextureBlendMode(t, JEX_BLENDMODE_NONE);
    const JEX_Rect doubled = {80, 70, 80, 60};  // 2x, and cut by the window's edge
    after("scaled copy", JEX_RenderCopy(r, t, nullptr, &doubled));

    JEX_Texture *streaming =
        JEX_CreateTexture(r, JEX_PIXELFORMAT_ARGB8888, JEX_TEXTUREACCESS_STREAMING, 24, 16);
    after("streaming texture", streaming ? 0 : -1);
    const JEX_Rect part = {3, 2, 17, 11};
    void *locked = nullptr;
    int pitch = 0;
    after("lock", JEX_LockTexture(streaming, &part, &locked, &pitch));
    for (int y = 0; locked && y < part.h; ++y)
        for (int x = 0; x < part.w; ++x)
            static_cast<Uint32 *>(locked)[y * pitch / 4 + x] =
                0xFF000000u | Uint32(x * 15 << 8 | y * 20);
    JEX_UnlockTexture(streaming);

    // Coordinates below are relative to a viewport off the window's centre.
    const JEX_Rect viewport = {10, 84, 70, 30};
    after("viewport", JEX_RenderSetViewport(r, &viewport));
    JEX_SetRenderDrawColor(r, 90, 90, 250, 255);
    const JEX_Rect everything = {-5, -5, 200, 200};
    after("fill in viewport", JEX_RenderFillRect(r, &everything));
    const JEX_Rect beside = {30, 0, 18, 14}, corner = {1, 1, 9, 7};  // 2x
    after("streaming copy", JEX_RenderCopy(r, streaming, &part, &part));
    after("copy in viewport", JEX_RenderCopy(r, t, &corner, &beside));
    after("viewport point", JEX_RenderDrawPoint(r, 69, 29));
    after("viewport reset", JEX_RenderSetViewport(r, nullptr));
    JEX_FreeSurface(pattern);
}

Pixels ReadBack(JEX_Renderer *r, const JEX_Rect *rect = nullptr, int w = kW, int h = kH)
{
    Pixels out(size_t(w) * h);
    EXPECT_EQ(JEX_RenderReadPixels(r, rect, JEX_PIXELFORMAT_ARGB8888, out.data(), w * 4), 0)
        << JEX_GetError();
    return out;
}

// YV12 and IYUV against libswscale (limited range for the YUV program, full
// range for the core's software converter), updated from padded rows, then
// through a whole-texture lock. Samples stay in the limited range, where
// libswscale's accurate rounding is within a step of the exact values.
void CheckYuv(JEX_Renderer *gl, bool limited_range)
{
    const int w = 80, h = 22, cw = w / 2, ch = h / 2, pitch = w + 16;
    Uint32 seed = 7;
    auto next = [&seed](int top) {
        return Uint8(16 + ((seed = seed * 1664525u + 1013904223u) >> 24) * (top - 15) / 256);
    };
    std::vector<Uint8> y(w * h), u(cw * ch), v(cw * ch);
    for (auto *plane : {&y, &u, &v})
        for (Uint8 &sample : *plane)
            sample = next(plane == &y ? 235 : 240);
    Pixels want(w * h);
    SwsContext *ctx = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGRA,
                                     SWS_POINT | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr,
                                     nullptr, nullptr);
    const int *co = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(ctx, co, limited_range ? 0 : 1, co, 1, 0, 1 << 16, 1 << 16);
    const Uint8 *in[3] = {y.data(), u.data(), v.data()};
    const int in_pitch[3] = {w, cw, cw}, out_pitch = w * 4;
    Uint8 *out[1] = {reinterpret_cast<Uint8 *>(want.data())};
    sws_scale(ctx, in, in_pitch, 0, h, out, &out_pitch);
    sws_freeContext(ctx);

    for (const Uint32 format : {JEX_PIXELFORMAT_YV12, JEX_PIXELFORMAT_IYUV}) {
        // Luma rows of `row` bytes, then the format's two chroma planes with
        // rows half as long.
        const auto fill = [&](Uint8 *p, int row) {
            for (int r = 0; r < h; ++r)
                std::copy_n(&y[r * w], w, p + r * row);
            Uint8 *first = p + h * row, *second = first + ch * (row / 2);
            const bool yv12 = format == JEX_PIXELFORMAT_YV12;
            for (int r = 0; r < ch; ++r) {
                std::copy_n(&(yv12 ? v : u)[r * cw], cw, first + r * (row / 2));
                std::copy_n(&(yv12 ? u : v)[r * cw], cw, second + r * (row / 2));
            }
        };
        JEX_Texture *t = JEX_CreateTexture(gl, format, JEX_TEXTUREACCESS_STREAMING, w, h);
        ASSERT_NE(t, nullptr) << JEX_GetError();
        std::vector<Uint8> buffer(pitch * h + pitch * ch, 0xEE);
        fill(buffer.data(), pitch);
        EXPECT_EQ(JEX_UpdateTexture(t, nullptr, buffer.data(), pitch), 0) << JEX_GetError();
        const JEX_Rect updated = {3, 5, w, h}, locked = {70, 40, w, h}, part = {2, 2, 8, 8};
        EXPECT_EQ(JEX_RenderCopy(gl, t, nullptr, &updated), 0);
        void *pixels = nullptr;
        int lock_pitch = 0;
        EXPECT_EQ(JEX_LockTexture(t, &part, &pixels, &lock_pitch), -1);
        ASSERT_EQ(JEX_LockTexture(t, nullptr, &pixels, &lock_pitch), 0);
        fill(static_cast<Uint8 *>(pixels), lock_pitch);
        JEX_UnlockTexture(t);
        EXPECT_EQ(JEX_RenderCopy(gl, t, nullptr, &locked), 0);
        for (const JEX_Rect &at : {updated, locked})
            EXPECT_EQ(Differs(ReadBack(gl, &at, w, h), want, w, -2, 2), "")
                << JEX_GetPixelFormatName(format) << " drawn at " << at.x << "," << at.y;
    }
}

class RenderGLTest : public X11DriverTest {
protected:
    void TearDown() override
    {
        JEX_ClearHints();
        X11DriverTest::TearDown();
    }

    // The scene drawn by the software renderer into an RGB888 surface.
    Pixels SoftwareScene()
    {
        JEX_Surface *target = JEX_CreateRGBSurface(0, kW, kH, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        JEX_Renderer *sw = JEX_CreateSoftwareRenderer(target);
        DrawScene(sw, [](const char *what, int result) { EXPECT_EQ(result, 0) << what; });
        Pixels pixels = ReadBack(sw);
        JEX_DestroyRenderer(sw);
        JEX_FreeSurface(target);
        return pixels;
    }

    // The scene on the OpenGL renderer, GL errors checked after every step;
    // compared before present and, from the window, after; then YUV. The
    // software reference truncates /255 up to three times for a pixel
    // (modulation, premultiplication, blending), GL rounds; a texel off by
    // one, a wrong blend or a lost modulation is far outside [-2, 3].
    void CheckScene(bool yuv_program)
    {
        JEX_Window *window = ShownWindow("gl", 0, 0, kW, kH);
        JEX_Renderer *gl = JEX_CreateRenderer(window, 0, 0);
        ASSERT_NE(gl, nullptr) << JEX_GetError();
        KeepMesaResident();
        const auto gl_get_error =
            reinterpret_cast<unsigned (*)()>(JEX_GL_GetProcAddress("glGetError"));
        DrawScene(gl, [&](const char *what, int result) {
            EXPECT_EQ(result, 0) << what << ": " << JEX_GetError();
            EXPECT_EQ(gl_get_error(), 0u) << what;
        });
        const Pixels want = SoftwareScene();
        EXPECT_EQ(Differs(ReadBack(gl), want, kW, -2, 3), "") << "read back before present";
        JEX_RenderPresent(gl);
        EXPECT_EQ(gl_get_error(), 0u) << "present";
        EXPECT_EQ(Differs(OnScreen(window), want, kW, -2, 3), "") << "on screen after present";
        JEX_RendererInfo info;
        ASSERT_EQ(JEX_GetRendererInfo(gl, &info), 0);
        EXPECT_EQ(info.num_texture_formats, yuv_program ? 3u : 1u);
        CheckYuv(gl, yuv_program);
        EXPECT_EQ(gl_get_error(), 0u) << "YUV";
        JEX_DestroyRenderer(gl);
        JEX_DestroyWindow(window);
    }

    Pixels OnScreen(JEX_Window *window)
    {
        Attributes(XidOf(window));  // both connections synchronised
        return WindowPixels(peer_, XidOf(window), kW, kH);
    }
};

TEST_F(RenderGLTest, SceneMatchesSoftwareWithAndWithoutShaders)
{
    CheckScene(true);
    JEX_SetHint(JEX_HINT_RENDER_OPENGL_SHADERS, "0");
    CheckScene(false);
}

// Mesa hides extensions only when its first context is made, so the
// power-of-two textures are drawn by a fresh run of this program.
TEST_F(RenderGLTest, SceneMatchesSoftwareWithPowerOfTwoTextures)
{
    if (!std::getenv("MESA_EXTENSION_OVERRIDE")) {
        const std::string command =
            "MESA_EXTENSION_OVERRIDE='-GL_ARB_texture_rectangle -GL_EXT_texture_rectangle "
            "-GL_NV_texture_rectangle' /proc/" +
            std::to_string(getpid()) + "/exe --gtest_filter=*PowerOfTwo* 2>&1";
        const auto out = RunCommand(command);
        EXPECT_TRUE(out && out->find("[  PASSED  ] 1 test") != std::string::npos)
            << out.value_or("the run failed");
        return;
    }
    JEX_Window *probe = ShownWindow("probe", 0, 0, 8, 8);
    JEX_GLContext context = JEX_GL_CreateContext(probe);
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_texture_rectangle"));
    JEX_GL_DeleteContext(context);
    JEX_DestroyWindow(probe);
    CheckScene(true);
}

// Each renderer draws into its own window whatever the application makes
// current on the same thread in between.
TEST_F(RenderGLTest, TwoRenderersAndAnApplicationContextShareAThread)
{
    JEX_Window *a = ShownWindow("a", 0, 0, kW, kH), *b = ShownWindow("b", 200, 0, kW, kH);
    JEX_Window *app = ShownWindow("app", 400, 0, kW, kH);
    JEX_Renderer *ra = JEX_CreateRenderer(a, 0, 0), *rb = JEX_CreateRenderer(b, 0, 0);
    ASSERT_TRUE(ra && rb) << JEX_GetError();
    KeepMesaResident();
    JEX_GLContext context = JEX_GL_CreateContext(app);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    const auto clear_color = reinterpret_cast<void (*)(float, float, float, float)>(
        JEX_GL_GetProcAddress("glClearColor"));
    const auto clear = reinterpret_cast<void (*)(unsigned)>(JEX_GL_GetProcAddress("glClear"));
    const auto app_draws = [&](float blue) {
        ASSERT_EQ(JEX_GL_MakeCurrent(app, context), 0);
        clear_color(0, 0, blue, 1);
        clear(0x4000);
    };
    JEX_SetRenderDrawColor(ra, 255, 0, 0, 255);
    JEX_SetRenderDrawColor(rb, 0, 255, 0, 255);
    EXPECT_EQ(JEX_RenderClear(ra), 0);
    app_draws(1.0f);
    EXPECT_EQ(JEX_RenderClear(rb), 0);
    app_draws(0.5f);
    JEX_SetRenderDrawColor(ra, 255, 255, 255, 255);
    EXPECT_EQ(JEX_RenderDrawPoint(ra, 0, 0), 0);
    app_draws(0.25f);
    EXPECT_EQ(ReadBack(ra)[0] & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(ReadBack(ra)[kW * kH - 1] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(ReadBack(rb)[0] & 0xFFFFFF, 0x00FF00u);
    JEX_RenderPresent(ra);
    JEX_RenderPresent(rb);
    ASSERT_EQ(JEX_GL_MakeCurrent(app, context), 0);
    JEX_GL_SwapWindow(app);
    EXPECT_EQ(OnScreen(a)[kW * kH - 1] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(OnScreen(b)[0] & 0xFFFFFF, 0x00FF00u);
    EXPECT_NEAR(int(OnScreen(app)[0] & 0xFF), 64, 1);
    JEX_GL_DeleteContext(context);
    JEX_DestroyRenderer(ra);
    JEX_DestroyRenderer(rb);
}

}  // namespace
