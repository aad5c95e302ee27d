// Surfaces: creation and its bad sizes, defaults, blit state and when it
// invalidates the map, clip rectangles, reference counts, locking, and
// conversion of surfaces and pixels.
#include <climits>
#include <cstring>
#include <tuple>

#include "surface/blit.h"
#include "surface_test_util.h"

namespace {

using surftest::Make;
using surftest::SurfacePtr;

TEST(SurfaceCreate, RejectsBadSizesWithAMessage)
{
    const int sizes[][2] = {{0, 0}, {0, 5}, {5, 0}, {-1, 5}, {5, -1}, {INT_MIN, INT_MIN}};
    for (const auto &s : sizes) {
        JEX_ClearError();
        EXPECT_EQ(JEX_CreateRGBSurface(0, s[0], s[1], 32, 0xFF0000, 0xFF00, 0xFF, 0), nullptr);
        EXPECT_TRUE(std::string_view(JEX_GetError()).starts_with("Invalid surface size"))
            << JEX_GetError();
    }
    // Width x 4 overflows an int.
    JEX_ClearError();
    EXPECT_EQ(JEX_CreateRGBSurface(0, INT_MAX / 2, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0), nullptr);
    EXPECT_STRNE(JEX_GetError(), "");
    // Height x pitch overflows an int.
    JEX_ClearError();
    EXPECT_EQ(JEX_CreateRGBSurface(0, 70000, 70000, 32, 0xFF0000, 0xFF00, 0xFF, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Surface size is too large");
    EXPECT_EQ(JEX_CreateRGBSurface(0, 4, 4, 32, 0xF0, 0xF00, 0xF000, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Unknown pixel format");
}

// Masks must describe the depth asked for: a 32-bit layout at depth 24 would
// make a 32-bit surface, and an alpha mask with default colour masks would be
// dropped.
TEST(SurfaceCreate, RefusesMasksThatDoNotFitTheDepth)
{
    const struct {
        int depth;
        Uint32 r, g, b, a;
    } bad[] = {{24, 0xFF000000, 0xFF0000, 0xFF00, 0xFF},
               {24, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
               {8, 0, 0, 0, 0xFF},
               {16, 0, 0, 0, 0x8000},
               {32, 0, 0, 0, 0xFF000000}};
    for (const auto &c : bad) {
        JEX_ClearError();
        EXPECT_EQ(JEX_CreateRGBSurface(0, 4, 4, c.depth, c.r, c.g, c.b, c.a), nullptr) << c.depth;
        EXPECT_TRUE(std::string_view(JEX_GetError()).starts_with("Masks ")) << JEX_GetError();
    }
    Uint8 mem[64];
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem, 2, 2, 24, 8, 0xFF000000, 0xFF0000, 0xFF00, 0xFF),
              nullptr);
    // The defaults and exact layouts still work.
    for (int depth : {8, 15, 16, 24, 32}) {
        JEX_Surface *s = JEX_CreateRGBSurface(0, 4, 4, depth, 0, 0, 0, 0);
        ASSERT_NE(s, nullptr) << depth << ": " << JEX_GetError();
        EXPECT_EQ(s->format->bytes_per_pixel, (depth + 7) / 8);
        JEX_FreeSurface(s);
    }
}

TEST(SurfaceCreate, FromCallerMemoryChecksThePitch)
{
    std::vector<Uint8> mem(64 * 64);
    JEX_ClearError();
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem.data(), 10, 4, 32, 39, 0xFF0000, 0xFF00, 0xFF, 0),
              nullptr);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem.data(), 10, 4, 32, -40, 0xFF0000, 0xFF00, 0xFF, 0),
              nullptr);
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(nullptr, 10, 4, 32, 40, 0xFF0000, 0xFF00, 0xFF, 0), nullptr);
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem.data(), 0, 4, 32, 40, 0xFF0000, 0xFF00, 0xFF, 0),
              nullptr);
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem.data(), 1000, INT_MAX / 1000, 32, 4000, 0xFF0000, 0xFF00,
                                       0xFF, 0),
              nullptr);
    // A 9-pixel 1-bit row needs 2 bytes; a 3-byte row is exactly 3 x w.
    EXPECT_EQ(JEX_CreateRGBSurfaceFrom(mem.data(), 9, 4, 1, 1, 0, 0, 0, 0), nullptr);
    JEX_Surface *bits = JEX_CreateRGBSurfaceFrom(mem.data(), 9, 4, 1, 2, 0, 0, 0, 0);
    ASSERT_NE(bits, nullptr) << JEX_GetError();
    JEX_FreeSurface(bits);
    JEX_Surface *s = JEX_CreateRGBSurfaceFrom(mem.data(), 10, 4, 24, 30, 0xFF, 0xFF00, 0xFF0000, 0);
    ASSERT_NE(s, nullptr) << JEX_GetError();
    EXPECT_TRUE(s->format->format == JEX_PIXELFORMAT_RGB24 && s->pixels == mem.data() &&
                s->pitch == 30 && (s->flags & JEX_SURFACE_PREALLOC));
    const JEX_Rect full{0, 0, 10, 4};
    EXPECT_TRUE(JEX_RectEquals(&s->clip_rect, &full));
    JEX_FreeSurface(s);  // the caller's memory stays
    EXPECT_EQ(mem[0], 0);
}

TEST(SurfaceCreate, Defaults)
{
    SurfacePtr s(JEX_CreateRGBSurface(0, 10, 3, 24, 0xFF, 0xFF00, 0xFF0000, 0));
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->pitch == 32 && s->refcount == 1 && s->locked == 0);
    for (int i = 0; i < s->pitch * s->h; ++i)
        ASSERT_EQ(static_cast<Uint8 *>(s->pixels)[i], 0);
    JEX_BlendMode mode;
    ASSERT_EQ(JEX_GetSurfaceBlendMode(s.get(), &mode), 0);
    EXPECT_EQ(mode, JEX_BLENDMODE_NONE);
    Uint8 r, g, b, a;
    ASSERT_EQ(JEX_GetSurfaceColorMod(s.get(), &r, &g, &b), 0);
    ASSERT_EQ(JEX_GetSurfaceAlphaMod(s.get(), &a), 0);
    EXPECT_EQ(r & g & b & a, 255);
    Uint32 key;
    EXPECT_EQ(JEX_GetColorKey(s.get(), &key), -1);
    SurfacePtr alpha = Make(JEX_PIXELFORMAT_ARGB8888, 2, 2);
    ASSERT_TRUE(alpha);
    ASSERT_EQ(JEX_GetSurfaceBlendMode(alpha.get(), &mode), 0);
    EXPECT_TRUE(mode == JEX_BLENDMODE_BLEND && (alpha->flags & JEX_SURFACE_BLENDED));
    // A 1-bit palette is white and black (larger ones all white: pixels_test AllocPalette).
    SurfacePtr one(JEX_CreateRGBSurface(0, 3, 3, 1, 0, 0, 0, 0));
    ASSERT_TRUE(one && one->format->palette);
    ASSERT_EQ(one->format->palette->ncolors, 2);
    const JEX_Color *c = one->format->palette->colors;
    EXPECT_TRUE(c[0].r == 255 && c[0].g == 255 && c[0].b == 255);
    EXPECT_TRUE(c[1].r == 0 && c[1].g == 0 && c[1].b == 0);
}

TEST(SurfaceState, NullSurfacesFail)
{
    Uint8 v;
    Uint32 k;
    JEX_BlendMode m;
    EXPECT_EQ(JEX_SetColorKey(nullptr, 1, 0), -1);
    EXPECT_EQ(JEX_GetColorKey(nullptr, &k), -1);
    EXPECT_EQ(JEX_SetSurfaceColorMod(nullptr, 1, 2, 3), -1);
    EXPECT_EQ(JEX_GetSurfaceColorMod(nullptr, &v, &v, &v), -1);
    EXPECT_EQ(JEX_SetSurfaceAlphaMod(nullptr, 1), -1);
    EXPECT_EQ(JEX_GetSurfaceAlphaMod(nullptr, &v), -1);
    EXPECT_EQ(JEX_SetSurfaceBlendMode(nullptr, JEX_BLENDMODE_ADD), -1);
    EXPECT_EQ(JEX_GetSurfaceBlendMode(nullptr, &m), -1);
    EXPECT_EQ(JEX_SetSurfaceRLE(nullptr, 1), -1);
    EXPECT_EQ(JEX_LockSurface(nullptr), -1);
    JEX_UnlockSurface(nullptr);
    JEX_FreeSurface(nullptr);
    EXPECT_FALSE(JEX_SetClipRect(nullptr, nullptr));
    EXPECT_EQ(JEX_SetSurfacePalette(nullptr, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_SetSurfacePalette() passed a NULL surface");
}

// Setters invalidate the map exactly when they change the copy flags.
TEST(SurfaceState, SettersInvalidateOnlyOnFlagChanges)
{
    SurfacePtr src_owner = Make(JEX_PIXELFORMAT_RGB565, 4, 4),
               dst_owner = Make(JEX_PIXELFORMAT_RGB888, 4, 4);
    JEX_Surface *src = src_owner.get(), *dst = dst_owner.get();
    ASSERT_TRUE(src && dst);
    auto blit = [&] { ASSERT_EQ(JEX_UpperBlit(src, nullptr, dst, nullptr), 0) << JEX_GetError(); };
    blit();
    ASSERT_EQ(src->map->dst, dst);
    ASSERT_EQ(JEX_SetColorKey(src, 1, 0x1234), 0);
    EXPECT_TRUE(src->map->dst == nullptr && (src->flags & JEX_SURFACE_COLORKEYED));
    blit();
    ASSERT_EQ(JEX_SetColorKey(src, 1, 0x4321), 0);
    EXPECT_EQ(src->map->dst, dst) << "a new key value alone keeps the map";
    Uint32 key = 0;
    ASSERT_EQ(JEX_GetColorKey(src, &key), 0);
    EXPECT_EQ(key, 0x4321u);
    ASSERT_EQ(JEX_SetColorKey(src, 0, 0), 0);
    EXPECT_TRUE(src->map->dst == nullptr && !(src->flags & JEX_SURFACE_COLORKEYED));
    EXPECT_EQ(JEX_GetColorKey(src, &key), -1);
    blit();
    ASSERT_EQ(JEX_SetSurfaceColorMod(src, 10, 20, 30), 0);
    EXPECT_EQ(src->map->dst, nullptr);
    blit();
    ASSERT_EQ(JEX_SetSurfaceColorMod(src, 11, 20, 30), 0);
    EXPECT_EQ(src->map->dst, dst);
    Uint8 r, g, b;
    ASSERT_EQ(JEX_GetSurfaceColorMod(src, &r, &g, &b), 0);
    EXPECT_TRUE(r == 11 && g == 20 && b == 30);
    ASSERT_EQ(JEX_SetSurfaceColorMod(src, 255, 255, 255), 0);
    EXPECT_FALSE(src->map->info.flags & JEX_COPY_MODULATE_COLOR);
    blit();
    ASSERT_EQ(JEX_SetSurfaceAlphaMod(src, 128), 0);
    EXPECT_TRUE((src->map->info.flags & JEX_COPY_MODULATE_ALPHA) && src->map->dst == nullptr);
    ASSERT_EQ(JEX_SetSurfaceAlphaMod(src, 255), 0);
    EXPECT_FALSE(src->map->info.flags & JEX_COPY_MODULATE_ALPHA);
    blit();
    ASSERT_EQ(JEX_SetSurfaceBlendMode(src, JEX_BLENDMODE_NONE), 0);
    EXPECT_EQ(src->map->dst, dst) << "no change, no rebuild";
    ASSERT_EQ(JEX_SetSurfaceBlendMode(src, JEX_BLENDMODE_MOD), 0);
    JEX_BlendMode mode;
    ASSERT_EQ(JEX_GetSurfaceBlendMode(src, &mode), 0);
    EXPECT_EQ(mode, JEX_BLENDMODE_MOD);
    ASSERT_EQ(JEX_SetSurfaceBlendMode(src, JEX_BLENDMODE_BLEND), 0);
    EXPECT_TRUE(src->flags & JEX_SURFACE_BLENDED);
    JEX_ClearError();
    EXPECT_EQ(JEX_SetSurfaceBlendMode(src, JEX_BlendMode(3)), -1);
    EXPECT_STRNE(JEX_GetError(), "");
    ASSERT_EQ(JEX_GetSurfaceBlendMode(src, &mode), 0);
    EXPECT_TRUE(mode == JEX_BLENDMODE_NONE && !(src->flags & JEX_SURFACE_BLENDED))
        << "a bad mode means none";
    ASSERT_EQ(JEX_SetSurfaceRLE(src, 1), 0);
    EXPECT_TRUE(src->map->info.flags & JEX_COPY_RLE_DESIRED);
    ASSERT_EQ(JEX_SetSurfaceRLE(src, 0), 0);
    EXPECT_FALSE(src->map->info.flags & JEX_COPY_RLE_DESIRED);
    ASSERT_EQ(JEX_SetColorKey(src, JEX_SURFACE_RLEACCEL, 0), 0);
    EXPECT_TRUE(src->map->info.flags & JEX_COPY_RLE_DESIRED);
    blit();
}

// A destination palette that changes makes the map stale.
TEST(SurfaceState, DestinationPaletteVersion)
{
    SurfacePtr src = Make(JEX_PIXELFORMAT_INDEX8, 4, 4), dst = Make(JEX_PIXELFORMAT_INDEX8, 4, 4);
    ASSERT_TRUE(src && dst);
    static_cast<Uint8 *>(src->pixels)[5] = 77;
    ASSERT_EQ(JEX_UpperBlit(src.get(), nullptr, dst.get(), nullptr), 0) << JEX_GetError();
    EXPECT_EQ(static_cast<Uint8 *>(dst->pixels)[5], 77) << "identical palettes copy indexes";
    EXPECT_FALSE(JEX_MapIsStale(src.get(), dst.get()));
    const JEX_Color red{255, 0, 0, 255};
    ASSERT_EQ(JEX_SetPaletteColors(dst->format->palette, &red, 3, 1), 0);
    EXPECT_TRUE(JEX_MapIsStale(src.get(), dst.get()));
}

TEST(SurfaceState, ClipRect)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_RGB565, 20, 10);
    ASSERT_TRUE(s);
    const JEX_Rect outside{30, 0, 5, 5}, part{-5, 4, 10, 100};
    EXPECT_FALSE(JEX_SetClipRect(s.get(), &outside));
    EXPECT_TRUE(JEX_SetClipRect(s.get(), &part));
    JEX_Rect got;
    JEX_GetClipRect(s.get(), &got);
    EXPECT_TRUE(got.x == 0 && got.y == 4 && got.w == 5 && got.h == 6);
    EXPECT_TRUE(JEX_SetClipRect(s.get(), nullptr));
    JEX_GetClipRect(s.get(), &got);
    EXPECT_TRUE(got.x == 0 && got.y == 0 && got.w == 20 && got.h == 10);
}

TEST(SurfaceLifetime, ReferenceCountsDontFreeAndLocks)
{
    JEX_Surface *s = Make(JEX_PIXELFORMAT_ARGB8888, 2, 2).release();
    ASSERT_NE(s, nullptr);
    s->refcount = 2;
    JEX_FreeSurface(s);
    EXPECT_EQ(s->refcount, 1);
    s->flags |= JEX_SURFACE_DONTFREE;
    JEX_FreeSurface(s);
    EXPECT_EQ(s->refcount, 1);
    s->flags &= ~Uint32(JEX_SURFACE_DONTFREE);
    ASSERT_EQ(JEX_LockSurface(s), 0);
    ASSERT_EQ(JEX_LockSurface(s), 0);
    EXPECT_EQ(s->locked, 2);
    JEX_UnlockSurface(s);
    EXPECT_EQ(s->locked, 1);
    JEX_FreeSurface(s);  // frees although still locked once (ASan checks)
}

// --- Conversion -----------------------------------------------------------

TEST(ConvertPixels, SameFormatCopiesRows)
{
    const Uint8 src[2][8] = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
    Uint8 dst[2][10];
    std::memset(dst, 0xEE, sizeof dst);
    EXPECT_EQ(
        JEX_ConvertPixels(2, 2, JEX_PIXELFORMAT_RGB24, src, 8, JEX_PIXELFORMAT_RGB24, dst, 10), 1);
    EXPECT_TRUE(!std::memcmp(dst[0], src[0], 6) && !std::memcmp(dst[1], src[1], 6));
    EXPECT_TRUE(dst[0][6] == 0xEE && dst[1][6] == 0xEE) << "row tails untouched";
    // 12 one-bit pixels span 2 bytes per row.
    std::memset(dst, 0xEE, sizeof dst);
    EXPECT_EQ(JEX_ConvertPixels(12, 2, JEX_PIXELFORMAT_INDEX1MSB, src, 8, JEX_PIXELFORMAT_INDEX1MSB,
                                dst, 10),
              1);
    EXPECT_TRUE(dst[0][0] == 1 && dst[0][1] == 2 && dst[0][2] == 0xEE && dst[1][1] == 10);
    EXPECT_EQ(JEX_ConvertPixels(2, 2, JEX_PIXELFORMAT_YV12, src, 8, JEX_PIXELFORMAT_YV12, dst, 10),
              -1);
    EXPECT_STREQ(JEX_GetError(), "Unknown FOURCC pixel format");
    EXPECT_EQ(
        JEX_ConvertPixels(2, 2, JEX_PIXELFORMAT_INDEX8, src, 8, JEX_PIXELFORMAT_RGB24, dst, 10),
        -1);
    EXPECT_STREQ(JEX_GetError(), "Indexed pixel formats not supported");
    EXPECT_EQ(
        JEX_ConvertPixels(2, 2, JEX_PIXELFORMAT_RGB24, src, 8, JEX_PIXELFORMAT_INDEX8, dst, 10),
        -1);
    EXPECT_EQ(
        JEX_ConvertPixels(-1, 2, JEX_PIXELFORMAT_RGB24, src, 8, JEX_PIXELFORMAT_RGB24, dst, 10),
        -1);
}

// Malformed codes, pitches shorter than a row and rows that overflow are refused.
TEST(ConvertPixels, RefusesMalformedCodesAndShortPitches)
{
    // One malformed code on each side (every such code: pixels_test UnsupportedCodesFail).
    const Uint32 bad = 0x86362001u;
    Uint8 src[4] = {1, 2, 3, 4}, dst[16] = {};
    JEX_ClearError();
    EXPECT_EQ(JEX_ConvertPixels(4, 1, bad, src, 4, JEX_PIXELFORMAT_ARGB8888, dst, 16), -1);
    EXPECT_TRUE(std::string_view(JEX_GetError()).starts_with("Unknown pixel format"))
        << JEX_GetError();
    EXPECT_EQ(JEX_ConvertPixels(1, 1, JEX_PIXELFORMAT_ARGB8888, src, 4, bad, dst, 16), -1);
    EXPECT_EQ(JEX_ConvertPixels(1, 1, bad, src, 4, bad, dst, 16), -1);
    SurfacePtr argb = Make(JEX_PIXELFORMAT_ARGB8888, 2, 2);
    JEX_ClearError();
    EXPECT_EQ(JEX_ConvertSurfaceFormat(argb.get(), bad, 0), nullptr);
    EXPECT_STRNE(JEX_GetError(), "");
    for (const auto &[w, sp, dp] : {std::tuple{INT_MAX, 4, 4}, {2, 7, 16}, {2, 8, 3}}) {
        JEX_ClearError();
        EXPECT_EQ(JEX_ConvertPixels(w, 1, JEX_PIXELFORMAT_ARGB8888, src, sp, JEX_PIXELFORMAT_RGB565,
                                    dst, dp),
                  -1)
            << w << " " << sp << " " << dp;
        EXPECT_STRNE(JEX_GetError(), "");
    }
    EXPECT_EQ(
        JEX_ConvertPixels(1, 1, JEX_PIXELFORMAT_ARGB8888, src, 4, JEX_PIXELFORMAT_RGB565, dst, 2),
        0);
}

// A keyed 16-bit surface converted to a format with alpha: the key becomes
// transparency and the blend mode BLEND; the source keeps its own state.
TEST(ConvertSurface, KeyBecomesTransparency)
{
    SurfacePtr owner = Make(JEX_PIXELFORMAT_RGB565, 4, 3);
    JEX_Surface *src = owner.get();
    ASSERT_NE(src, nullptr);
    auto put = [src](int x, int y, Uint32 v) {
        surftest::WriteRaw(static_cast<Uint8 *>(src->pixels) + y * src->pitch + 2 * x, 2, v);
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            put(x, y, 0x1000 * y + 0x41 * x + 1);
    put(2, 1, 0xF81F);
    put(0, 2, 0xF81F);
    ASSERT_EQ(JEX_SetColorKey(src, 1, 0xF81F), 0);
    ASSERT_EQ(JEX_SetSurfaceAlphaMod(src, 200), 0);
    const JEX_Rect clip{1, 1, 2, 2};
    JEX_SetClipRect(src, &clip);
    SurfacePtr owned_conv(JEX_ConvertSurfaceFormat(src, JEX_PIXELFORMAT_ARGB8888, 0));
    JEX_Surface *conv = owned_conv.get();
    ASSERT_NE(conv, nullptr) << JEX_GetError();
    Uint32 key;
    EXPECT_EQ(JEX_GetColorKey(conv, &key), -1);
    JEX_BlendMode mode;
    Uint8 a = 0;
    ASSERT_EQ(JEX_GetSurfaceBlendMode(conv, &mode) | JEX_GetSurfaceAlphaMod(conv, &a), 0);
    EXPECT_TRUE(mode == JEX_BLENDMODE_BLEND && a == 200) << int(mode) << " " << int(a);
    EXPECT_TRUE(JEX_RectEquals(&conv->clip_rect, &clip));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const Uint16 p = Uint16(surftest::Read(src, x, y));
            Uint8 r, g, b;
            JEX_GetRGB(p, src->format, &r, &g, &b);
            const Uint32 colour = Uint32(r) << 16 | Uint32(g) << 8 | b;
            const Uint32 want = p == 0xF81F ? colour : 0xFF000000u | colour;
            EXPECT_EQ(surftest::Read(conv, x, y), want) << "at (" << x << ", " << y << ")";
        }
    // The source keeps its key and modulation.
    ASSERT_EQ(JEX_GetColorKey(src, &key), 0);
    EXPECT_TRUE(key == 0xF81Fu && (src->map->info.flags & JEX_COPY_MODULATE_ALPHA));
}

// Conversions themselves: blit_family_test's oracle (ConvertIndexedSurfaces).
TEST(ConvertSurface, OntoAnAllWhitePaletteIsRefused)
{
    SurfacePtr src = Make(JEX_PIXELFORMAT_RGB888, 9, 4);
    ASSERT_TRUE(src);
    JEX_PixelFormat *indexed = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX8);
    JEX_Palette *white = JEX_AllocPalette(256);
    ASSERT_TRUE(indexed && white);
    ASSERT_EQ(JEX_SetPixelFormatPalette(indexed, white), 0);
    EXPECT_EQ(JEX_ConvertSurface(src.get(), indexed, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Empty destination palette");
    JEX_FreePalette(white);
    JEX_FreeFormat(indexed);
}

}  // namespace
