// Renderer core and software renderer against per-pixel formulas and pixman; clipping, texture
// rectangles, the format-converting wrapper and handle lifetimes.
#include <gtest/gtest.h>
#include <pixman.h>

#include <climits>
#include <cstring>
#include <random>
#include <tuple>

#include "render/sysrender.h"
#include "surface_test_util.h"

namespace {

using surftest::Make;
using surftest::Read;
using surftest::SurfacePtr;

struct RendererDeleter {
    void operator()(JEX_Renderer *r) const { JEX_DestroyRenderer(r); }
};
using RendererPtr = std::unique_ptr<JEX_Renderer, RendererDeleter>;

constexpr Uint32 kTargets[] = {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB565,
                               JEX_PIXELFORMAT_ARGB8888};
constexpr JEX_BlendMode kModes[] = {JEX_BLENDMODE_NONE, JEX_BLENDMODE_BLEND, JEX_BLENDMODE_ADD,
                                    JEX_BLENDMODE_MOD};

void Noise(JEX_Surface *s, Uint32 seed)
{
    std::mt19937 rng(seed);
    surftest::Randomise(s, rng);
}

// A texture of random pixels, uploaded through the API from a surface.
JEX_Texture *RandomTexture(JEX_Renderer *r, Uint32 format, int access, int w, int h, Uint32 seed)
{
    SurfacePtr pixels = Make(format, w, h);
    Noise(pixels.get(), seed);
    JEX_Texture *t = JEX_CreateTexture(r, format, access, w, h);
    EXPECT_TRUE(t) << JEX_GetError();
    EXPECT_EQ(JEX_UpdateTexture(t, nullptr, pixels->pixels, pixels->pitch), 0);
    return t;
}

// Channels within two steps of the format's precision (blitters divide by 256 where the formula
// divides by 255); alpha only for plain copies, as blend families leave it differently.
bool Near(Uint32 got, Uint32 want, const JEX_PixelFormat *f, bool alpha)
{
    Uint8 g[4], w[4];
    JEX_GetRGBA(got, f, &g[0], &g[1], &g[2], &g[3]);
    JEX_GetRGBA(want, f, &w[0], &w[1], &w[2], &w[3]);
    const int loss[4] = {f->rloss, f->gloss, f->bloss, f->amask ? f->aloss : 0};
    for (int c = 0; c < (alpha ? 4 : 3); ++c) {
        const int levels = 256 >> loss[c];
        if (std::abs(g[c] - w[c]) > 2 * ((255 + levels - 2) / (levels - 1)))
            return false;
    }
    return true;
}

// Plain, scaled, modulated, keyed copies in every mode onto every target, pixel by pixel; the
// destination reaches past the top left corner, whose clipped part takes the matching source.
TEST(RenderSweep, CopiesMatchThePerPixelFormula)
{
    const Uint32 sources[] = {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB565};
    for (Uint32 target_format : kTargets)
        for (Uint32 source_format : sources)
            for (JEX_BlendMode mode : kModes)
                for (int mods = 0; mods < 4; ++mods)
                    for (int scale : {1, 2})
                        for (bool key : {false, true}) {
                            const std::string what =
                                surftest::Name(source_format, target_format, "") + " mode " +
                                std::to_string(mode) + " mods " + std::to_string(mods) + " scale " +
                                std::to_string(scale) + (key ? " key" : "");
                            SurfacePtr target = Make(target_format, 24, 20);
                            Noise(target.get(), 1);
                            SurfacePtr before = Make(target_format, 24, 20);
                            std::memcpy(before->pixels, target->pixels, size_t(target->pitch) * 20);
                            RendererPtr r(JEX_CreateSoftwareRenderer(target.get()));
                            SurfacePtr src = Make(source_format, 7, 5);
                            Noise(src.get(), 2);
                            const Uint32 keyval = Read(src.get(), 3, 2);
                            if (key)
                                JEX_SetColorKey(src.get(), 1, keyval);
                            JEX_Texture *t = JEX_CreateTextureFromSurface(r.get(), src.get());
                            ASSERT_TRUE(t) << what;
                            if (!key)
                                JEX_SetTextureBlendMode(t, mode);
                            JEX_SetTextureColorMod(t, mods & 1 ? surftest::kModR : 255,
                                                   mods & 1 ? surftest::kModG : 255,
                                                   mods & 1 ? surftest::kModB : 255);
                            JEX_SetTextureAlphaMod(t, mods & 2 ? surftest::kModA : 255);
                            const JEX_Rect dst = {-2, -2, 7 * scale, 5 * scale};
                            ASSERT_EQ(JEX_RenderCopy(r.get(), t, nullptr, &dst), 0) << what;
                            // Only a conversion turns the key into alpha.
                            JEX_Surface *ts = static_cast<JEX_Surface *>(t->driverdata);
                            const bool keyed_out = key && ts->format->format != source_format;
                            const surftest::Flags f = {"", false, (mods & 1) != 0, (mods & 2) != 0,
                                                       key ? JEX_BLENDMODE_BLEND : mode};
                            for (int y = 0; y < 20; ++y)
                                for (int x = 0; x < 24; ++x) {
                                    const Uint32 old = Read(before.get(), x, y);
                                    Uint32 want = old;
                                    const int sx = (x + 2) / scale, sy = (y + 2) / scale;
                                    if (sx < 7 && sy < 5 &&
                                        !(keyed_out && Read(src.get(), sx, sy) == keyval)) {
                                        JEX_LockSurface(ts);
                                        const Uint32 sp = Read(ts, sx, sy);
                                        JEX_UnlockSurface(ts);
                                        want =
                                            surftest::General(sp, old, ts->format, target->format,
                                                              surftest::FlagBits(f));
                                    }
                                    ASSERT_TRUE(Near(Read(target.get(), x, y), want, target->format,
                                                     f.mode == 0))
                                        << what << " at " << x << "," << y << ": " << std::hex
                                        << Read(target.get(), x, y) << " for " << want;
                                }
                        }
}

// Points, outlines and fills in every blend mode inside a viewport against the blend formula.
TEST(RenderSweep, DrawsMatchTheBlendFormula)
{
    for (Uint32 target_format : kTargets)
        for (JEX_BlendMode mode : kModes) {
            const std::string what =
                std::string(JEX_GetPixelFormatName(target_format)) + " " + std::to_string(mode);
            SurfacePtr target = Make(target_format, 30, 24);
            RendererPtr r(JEX_CreateSoftwareRenderer(target.get()));
            JEX_SetRenderDrawColor(r.get(), 90, 30, 200, 255);
            ASSERT_EQ(JEX_RenderClear(r.get()), 0);
            const JEX_Rect viewport = {4, 3, 20, 16};
            JEX_RenderSetViewport(r.get(), &viewport);
            JEX_SetRenderDrawColor(r.get(), 250, 120, 7, 130);
            ASSERT_EQ(JEX_SetRenderDrawBlendMode(r.get(), mode), 0);
            const Uint32 background = Read(target.get(), 0, 0);
            EXPECT_EQ(Read(target.get(), 29, 23), background) << "the clear fills everything";
            // Shapes in viewport coordinates; every one reaches past the viewport.
            const JEX_Point points[] = {{0, 0}, {19, 15}, {20, 0}, {-1, 4}, {7, 9}};
            const JEX_Rect outline = {2, 2, 30, 5}, fill = {-3, 10, 8, 20};
            ASSERT_EQ(JEX_RenderDrawPoints(r.get(), points, 5), 0);
            ASSERT_EQ(JEX_RenderDrawRect(r.get(), &outline), 0);
            ASSERT_EQ(JEX_RenderFillRect(r.get(), &fill), 0);
            const Uint32 want =
                surftest::OracleBlend(target->format, background, mode, 250, 120, 7, 130);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 30; ++x) {
                    const int vx = x - 4, vy = y - 3;
                    const bool in_view = vx >= 0 && vy >= 0 && vx < 20 && vy < 16;
                    const bool point =
                        (vx == 0 && vy == 0) || (vx == 19 && vy == 15) || (vx == 7 && vy == 9);
                    const bool edge =
                        ((vy == 2 || vy == 6) && vx >= 2) || (vx == 2 && vy >= 2 && vy <= 6);
                    const bool filled = vx < 5 && vy >= 10;
                    const bool drawn = in_view && (point || edge || filled);
                    ASSERT_EQ(Read(target.get(), x, y), drawn ? want : background)
                        << what << " at " << x << "," << y;
                }
        }
}

// SRC, OVER and ADD of a random ARGB texture agree with pixman within one step per channel.
TEST(RenderSweep, CopiesAgreeWithPixman)
{
    const std::pair<JEX_BlendMode, pixman_op_t> ops[] = {{JEX_BLENDMODE_NONE, PIXMAN_OP_SRC},
                                                         {JEX_BLENDMODE_BLEND, PIXMAN_OP_OVER},
                                                         {JEX_BLENDMODE_ADD, PIXMAN_OP_ADD}};
    const std::pair<Uint32, pixman_format_code_t> targets[] = {
        {JEX_PIXELFORMAT_ARGB8888, PIXMAN_a8r8g8b8}, {JEX_PIXELFORMAT_RGB888, PIXMAN_x8r8g8b8}};
    constexpr int kW = 33, kH = 9;
    for (const auto &[mode, op] : ops)
        for (const auto &[code, pcode] : targets) {
            SurfacePtr target = Make(code, kW, kH), src = Make(JEX_PIXELFORMAT_ARGB8888, kW, kH);
            Noise(target.get(), 3);
            Noise(src.get(), 4);
            std::vector<Uint32> peer_dst(kW * kH), peer_src(kW * kH);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const Uint32 s = Read(src.get(), x, y), a = s >> 24;
                    Uint32 pm = a << 24;  // pixman blends premultiplied colour
                    for (int shift : {0, 8, 16})
                        pm |= (((s >> shift) & 0xFF) * a / 255) << shift;
                    peer_src[y * kW + x] = op == PIXMAN_OP_SRC ? s : pm;
                    peer_dst[y * kW + x] = Read(target.get(), x, y);
                }
            pixman_image_t *ps =
                pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, peer_src.data(), kW * 4);
            pixman_image_t *pd = pixman_image_create_bits(pcode, kW, kH, peer_dst.data(), kW * 4);
            pixman_image_composite32(op, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, kW, kH);
            pixman_image_unref(ps);
            pixman_image_unref(pd);

            RendererPtr r(JEX_CreateSoftwareRenderer(target.get()));
            JEX_Texture *t = JEX_CreateTexture(r.get(), JEX_PIXELFORMAT_ARGB8888,
                                               JEX_TEXTUREACCESS_STREAMING, kW, kH);
            ASSERT_EQ(JEX_UpdateTexture(t, nullptr, src->pixels, src->pitch), 0);
            JEX_SetTextureBlendMode(t, mode);
            ASSERT_EQ(JEX_RenderCopy(r.get(), t, nullptr, nullptr), 0);
            for (int i = 0; i < kW * kH; ++i)
                for (int shift : {0, 8, 16}) {
                    const int ours = int(Read(target.get(), i % kW, i / kW) >> shift & 0xFF);
                    const int peer = int(peer_dst[i] >> shift & 0xFF);
                    ASSERT_LE(std::abs(ours - peer), 1) << "op " << op << " pixel " << i;
                }
        }
}

// Rectangles and points at the ends of the int range clip without overflow (UBSan watches).
TEST(RenderClip, IntExtremes)
{
    SurfacePtr target = Make(JEX_PIXELFORMAT_RGB888, 16, 12);
    RendererPtr r(JEX_CreateSoftwareRenderer(target.get()));
    JEX_Texture *t = RandomTexture(r.get(), JEX_PIXELFORMAT_RGB888, 0, 4, 4, 5);
    const JEX_Rect viewport = {2, 1, 12, 10};
    JEX_RenderSetViewport(r.get(), &viewport);
    JEX_SetRenderDrawColor(r.get(), 255, 255, 255, 255);
    const JEX_Rect nowhere[] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                                {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                                {INT_MAX - 1, 0, 2, 2},
                                {0, INT_MIN, 5, INT_MAX}};
    for (const JEX_Rect &rect : nowhere) {
        EXPECT_EQ(JEX_RenderCopy(r.get(), t, &rect, &rect), 0);
        EXPECT_EQ(JEX_RenderCopy(r.get(), t, nullptr, &rect), 0);
        EXPECT_EQ(JEX_RenderFillRect(r.get(), &rect), 0);
        EXPECT_EQ(JEX_RenderDrawRect(r.get(), &rect), 0);
    }
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(Read(target.get(), x, y), 0u) << x << "," << y;
    // A rectangle across the viewport fills it all; a line across the int range one row.
    const JEX_Rect huge = {INT_MIN / 2, -5, INT_MAX, INT_MAX};
    EXPECT_EQ(JEX_RenderFillRect(r.get(), &huge), 0);
    const JEX_Point line[] = {{INT_MIN, 11}, {INT_MAX, 11}};
    JEX_SetRenderDrawColor(r.get(), 0, 0, 255, 255);
    EXPECT_EQ(JEX_RenderDrawLines(r.get(), line, 2), 0);  // row 11 is outside the viewport
    const JEX_Point inside[] = {{INT_MIN, 4}, {INT_MAX, 4}};
    EXPECT_EQ(JEX_RenderDrawLines(r.get(), inside, 2), 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 2 && x < 14 && y >= 1 && y < 11;
            ASSERT_EQ(Read(target.get(), x, y), !in      ? 0u
                                                : y == 5 ? 0xFFu
                                                         : 0xFFFFFFu)
                << x << "," << y;
        }
}

// Update and lock rectangles must lie inside the texture, native or wrapped.
TEST(RenderTexture, RectanglesInAndOutOfRange)
{
    SurfacePtr target = Make(JEX_PIXELFORMAT_RGB888, 8, 8);
    RendererPtr r(JEX_CreateSoftwareRenderer(target.get()));
    const Uint8 row[64] = {};
    for (Uint32 format : {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB24}) {
        JEX_Texture *t = JEX_CreateTexture(r.get(), format, JEX_TEXTUREACCESS_STREAMING, 6, 4);
        ASSERT_TRUE(t);
        const JEX_Rect bad[] = {{-1, 0, 1, 1},      {0, -1, 1, 1},     {0, 0, -1, 1}, {0, 0, 1, -1},
                                {0, 0, 7, 1},       {5, 0, 2, 1},      {0, 3, 1, 2},  {6, 0, 1, 1},
                                {INT_MAX, 0, 1, 1}, {1, 1, INT_MAX, 1}};
        void *pixels;
        int pitch;
        for (const JEX_Rect &rect : bad) {
            JEX_ClearError();
            EXPECT_EQ(JEX_UpdateTexture(t, &rect, row, 64), -1);
            EXPECT_STRNE(JEX_GetError(), "");
            EXPECT_EQ(JEX_LockTexture(t, &rect, &pixels, &pitch), -1);
        }
        const JEX_Rect corner = {5, 3, 1, 1}, empty = {6, 4, 0, 0};
        EXPECT_EQ(JEX_UpdateTexture(t, &empty, row, 64), 0);
        EXPECT_EQ(JEX_UpdateTexture(t, &corner, row, 64), 0);
        ASSERT_EQ(JEX_LockTexture(t, &corner, &pixels, &pitch), 0);
        void *whole;
        ASSERT_EQ(JEX_LockTexture(t, nullptr, &whole, &pitch), 0);
        EXPECT_EQ(static_cast<Uint8 *>(pixels),
                  static_cast<Uint8 *>(whole) + 3 * pitch + 5 * JEX_BYTESPERPIXEL(format));
        JEX_UnlockTexture(t);
    }
    JEX_Texture *still = JEX_CreateTexture(r.get(), 0, JEX_TEXTUREACCESS_STATIC, 2, 2);
    void *pixels;
    int pitch;
    EXPECT_EQ(JEX_LockTexture(still, nullptr, &pixels, &pitch), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_LockTexture(): texture must be streaming");
    // Sizes whose rows overflow are refused and leave nothing in the list.
    const JEX_Texture *head = r->textures;
    EXPECT_EQ(JEX_CreateTexture(r.get(), JEX_PIXELFORMAT_RGB24, 1, INT_MAX, 2), nullptr);
    EXPECT_EQ(JEX_CreateTexture(r.get(), JEX_PIXELFORMAT_RGB888, 1, INT_MAX, INT_MAX), nullptr);
    EXPECT_EQ(r->textures, head);
}

// A wrapped streaming texture: a partial lock keeps the other pixels; the renderer's destroy
// frees wrapper and backing once each.
TEST(RenderTexture, StreamingWrapper)
{
    SurfacePtr target = Make(JEX_PIXELFORMAT_RGB888, 4, 4);
    JEX_Renderer *r = JEX_CreateSoftwareRenderer(target.get());
    JEX_Texture *t = JEX_CreateTexture(r, JEX_PIXELFORMAT_RGB24, JEX_TEXTUREACCESS_STREAMING, 4, 4);
    ASSERT_TRUE(t && t->native);
    EXPECT_EQ(std::tuple(r->textures, t->next, t->native->format),
              std::tuple(t, t->native, JEX_PIXELFORMAT_RGB555));
    // Colours that RGB555 holds exactly: white, and green at (1, 1).
    std::vector<Uint8> white(4 * 4 * 3, 0xFF);
    ASSERT_EQ(JEX_UpdateTexture(t, nullptr, white.data(), 12), 0);
    void *pixels;
    int pitch;
    const JEX_Rect top = {0, 0, 4, 2};
    ASSERT_EQ(JEX_LockTexture(t, &top, &pixels, &pitch), 0);
    EXPECT_EQ(static_cast<Uint8 *>(pixels)[pitch + 7], 0xFF);
    const Uint8 green[3] = {0, 0xFF, 0};
    std::memcpy(static_cast<Uint8 *>(pixels) + pitch + 3, green, 3);
    JEX_UnlockTexture(t);
    ASSERT_EQ(JEX_RenderCopy(r, t, nullptr, nullptr), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(Read(target.get(), x, y) & 0xFFFFFF, x == 1 && y == 1 ? 0x00FF00u : 0xFFFFFFu)
                << x << "," << y;
    // Same-format reads succeed with 0.
    std::vector<Uint32> back(16);
    EXPECT_EQ(JEX_RenderReadPixels(r, nullptr, JEX_PIXELFORMAT_RGB888, back.data(), 16), 0);
    EXPECT_EQ(back[5] & 0xFFFFFF, 0x00FF00u);
    JEX_DestroyRenderer(r);
}

// Destroyed and foreign handles are refused by message, never read.
TEST(RenderHandles, DestroyedAndForeign)
{
    SurfacePtr target = Make(JEX_PIXELFORMAT_RGB888, 4, 4);
    JEX_Renderer *r = JEX_CreateSoftwareRenderer(target.get());
    RendererPtr other(JEX_CreateSoftwareRenderer(target.get()));
    JEX_Texture *t = JEX_CreateTexture(r, 0, 0, 2, 2), *u = JEX_CreateTexture(r, 0, 0, 2, 2);
    EXPECT_EQ(JEX_RenderCopy(other.get(), t, nullptr, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Texture was not created with this renderer");
    JEX_DestroyTexture(t);
    JEX_DestroyTexture(t);
    EXPECT_STREQ(JEX_GetError(), "Invalid texture");
    JEX_DestroyRenderer(r);
    JEX_DestroyRenderer(r);
    EXPECT_STREQ(JEX_GetError(), "Invalid renderer");
    EXPECT_EQ(JEX_SetTextureAlphaMod(u, 3), -1);
    EXPECT_STREQ(JEX_GetError(), "Invalid texture");
    EXPECT_EQ(JEX_RenderClear(r), -1);
    EXPECT_EQ(JEX_CreateSoftwareRenderer(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Can't create renderer for NULL surface");
}

}  // namespace
