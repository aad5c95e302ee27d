// Run-length encoded surfaces: blits from an encoded surface against the same
// blit from a plain one over random clipped rectangles, surface alpha
// formulas, lock/unlock round trips, what is never encoded, and long rows.
#include <cstring>

#include "surface/blit.h"
#include "surface/rle.h"
#include "surface_test_util.h"

namespace {

using surftest::Read;

struct Surf {
    JEX_Surface *s;
    explicit Surf(JEX_Surface *p) : s(p) { EXPECT_NE(p, nullptr) << JEX_GetError(); }
    ~Surf() { JEX_FreeSurface(s); }
    Surf(const Surf &) = delete;
    Surf &operator=(const Surf &) = delete;
    JEX_Surface *operator->() const { return s; }
    operator JEX_Surface *() const { return s; }
};

Uint8 *At(JEX_Surface *s, int x, int y)
{
    return static_cast<Uint8 *>(s->pixels) + y * s->pitch + x * s->format->bytes_per_pixel;
}

void Set(JEX_Surface *s, int x, int y, Uint32 v)
{
    std::memcpy(At(s, x, y), &v, s->format->bytes_per_pixel);
}

// Random pixels where about `clear` of them (out of 10) are the key, in runs.
void FillKeyed(JEX_Surface *s, Uint32 key, int clear, std::mt19937 &rng)
{
    const Uint32 mask = s->format->bytes_per_pixel == 4
                            ? 0xFFFFFFFFu
                            : (1u << (8 * s->format->bytes_per_pixel)) - 1;
    for (int y = 0; y < s->h; ++y) {
        int x = 0;
        while (x < s->w) {
            const bool transparent = int(rng() % 10) < clear;
            const int len = 1 + int(rng() % 12);
            for (int i = 0; i < len && x < s->w; ++i, ++x) {
                Uint32 v = rng() & mask;
                if (v == key)
                    v ^= 1;
                Set(s, x, y, transparent ? key : v);
            }
        }
    }
}

// A copy of a surface's pixels (same format, no blit state).
JEX_Surface *Clone(JEX_Surface *s)
{
    JEX_Surface *c =
        JEX_CreateRGBSurface(0, s->w, s->h, s->format->bits_per_pixel, s->format->rmask,
                             s->format->gmask, s->format->bmask, s->format->amask);
    for (int y = 0; y < s->h; ++y)
        std::memcpy(static_cast<Uint8 *>(c->pixels) + y * c->pitch,
                    static_cast<Uint8 *>(s->pixels) + y * s->pitch, size_t(s->pitch));
    if (s->format->palette)
        JEX_SetPaletteColors(c->format->palette, s->format->palette->colors, 0,
                             s->format->palette->ncolors);
    return c;
}

// Blits from `plain` and from its encoded copy `encoded` onto equal random
// destinations of format dcode agree over `rects` random rectangles clipped
// against the destination (the first: the whole surface), in the bits `used`.
void CompareBlits(JEX_Surface *plain, JEX_Surface *encoded, Uint32 dcode, int rects, Uint32 used,
                  std::mt19937 &rng)
{
    const int w = plain->w, h = plain->h, dw = w + 9, dh = h + 5;
    for (int i = 0; i < rects; ++i) {
        Surf d1(surftest::Make(dcode, dw, dh).release());
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                Set(d1, x, y, rng());
        Surf d2(Clone(d1));
        JEX_Rect sr{int(rng() % (w + 4)) - 2, int(rng() % (h + 4)) - 2, int(rng() % (w + 3)),
                    int(rng() % (h + 3))};
        if (i == 0)
            sr = JEX_Rect{0, 0, w, h};
        JEX_Rect dr1{int(rng() % (dw + 6)) - 5, int(rng() % (dh + 6)) - 5, 0, 0}, dr2 = dr1;
        ASSERT_EQ(JEX_UpperBlit(plain, &sr, d1, &dr1), 0) << JEX_GetError();
        ASSERT_EQ(JEX_UpperBlit(encoded, &sr, d2, &dr2), 0) << JEX_GetError();
        if (dr2.w > 0 && dr2.h > 0) {
            ASSERT_TRUE(encoded->flags & JEX_SURFACE_RLEACCEL);
        }
        EXPECT_TRUE(dr1.x == dr2.x && dr1.w == dr2.w);
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                ASSERT_EQ(Read(d1, x, y) & used, Read(d2, x, y) & used)
                    << x << "," << y << " rect " << sr.x << "," << sr.y << " " << sr.w << "x"
                    << sr.h;
    }
}

// Keyed surfaces of one format, about 7 in 10 pixels the key, in runs.
void CompareKeyed(Uint32 code, int w, int h, int rects, std::mt19937 &rng)
{
    SCOPED_TRACE(std::string(JEX_GetPixelFormatName(code)) + " " + std::to_string(w) + "x" +
                 std::to_string(h));
    Surf plain(surftest::Make(code, w, h).release());
    const int bpp = plain->format->bits_per_pixel;
    const Uint32 key = 0x5A & (bpp == 8 ? 0xFF : 0xFFFFFF);
    FillKeyed(plain, key, 7, rng);
    Surf encoded(Clone(plain));
    for (JEX_Surface *s : {plain.s, encoded.s}) {
        JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_NONE);
        JEX_SetColorKey(s, 1, key);
    }
    JEX_SetSurfaceRLE(encoded, 1);
    // The plain keyed copy between 32-bit formats clears the unused byte;
    // the runs keep the pixels as they are.
    const JEX_PixelFormat *f = plain->format;
    CompareBlits(plain, encoded, code, rects,
                 bpp == 8 ? 0xFF : (f->rmask | f->gmask | f->bmask | f->amask), rng);
}

TEST(RLEColorKey, MatchesPlainBlits)
{
    std::mt19937 rng(17);
    for (Uint32 code : {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB24,
                        JEX_PIXELFORMAT_RGB888})
        CompareKeyed(code, 37, 23, 40, rng);
}

// Surface alpha other than 128: each layout's formula, pixel by pixel.
TEST(RLEColorKey, SurfaceAlphaFormulas)
{
    std::mt19937 rng(4);
    const Uint32 codes[] = {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB24};
    for (int alpha : {77, 128})
        for (Uint32 code : codes) {
            SCOPED_TRACE(std::string(JEX_GetPixelFormatName(code)) + " alpha " +
                         std::to_string(alpha));
            Surf s(surftest::Make(code, 40, 3).release()), d(surftest::Make(code, 40, 3).release());
            const Uint32 key = 0x123;
            FillKeyed(s, key, 3, rng);
            FillKeyed(d, 0xFFFFFFFF, 0, rng);
            Surf before(Clone(d));
            JEX_SetColorKey(s, JEX_SURFACE_RLEACCEL | 1, key);
            JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_BLEND);
            JEX_SetSurfaceAlphaMod(s, Uint8(alpha));
            JEX_Rect sr{0, 0, 40, 3};
            // Read the source before it is encoded.
            Surf src(Clone(s));
            ASSERT_EQ(JEX_UpperBlit(s, &sr, d, nullptr), 0);
            ASSERT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 40; ++x) {
                    const Uint32 sp = Read(src, x, y), dp = Read(before, x, y);
                    Uint32 want = dp;
                    if (sp != key) {
                        const auto ch = [alpha, code](Uint32 sv, Uint32 dv, int a_, int bits) {
                            // Half and half (565 and 8888 layouts): the average.
                            if (alpha == 128 && code != JEX_PIXELFORMAT_RGB24)
                                return (sv + dv) / 2;
                            const int num = a_ * (int(sv) - int(dv));
                            return Uint32(int(dv) + (num >= 0
                                                         ? num >> bits
                                                         : -((-num + (1 << bits) - 1) >> bits)));
                        };
                        if (code == JEX_PIXELFORMAT_RGB565) {
                            const int a5 = alpha >> 3;
                            want = (ch(sp >> 11, dp >> 11, a5, 5) << 11) |
                                   (ch((sp >> 5) & 63, (dp >> 5) & 63, a5, 5) << 5) |
                                   ch(sp & 31, dp & 31, a5, 5);
                        } else {
                            want = 0;
                            for (int sh = 0; sh < 24; sh += 8)
                                want |= ch((sp >> sh) & 255, (dp >> sh) & 255, alpha, 8) << sh;
                        }
                    }
                    ASSERT_EQ(Read(d, x, y), want) << x << "," << y;
                }
        }
}

TEST(RLEColorKey, LockRestoresPixelsExactly)
{
    std::mt19937 rng(2);
    for (Uint32 code : {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_BGR24,
                        JEX_PIXELFORMAT_ARGB8888}) {
        SCOPED_TRACE(JEX_GetPixelFormatName(code));
        Surf s(surftest::Make(code, 29, 11).release()), d(surftest::Make(code, 29, 11).release());
        const size_t row = size_t(29) * s->format->bytes_per_pixel;
        const Uint32 key = 0x42;
        FillKeyed(s, key, 5, rng);
        Surf orig(Clone(s));
        JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_NONE);
        JEX_SetColorKey(s, JEX_SURFACE_RLEACCEL | 1, key);
        if (!s->format->amask) {
            // Alpha modulation blends the runs when drawn, never when decoded.
            JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_BLEND);
            JEX_SetSurfaceAlphaMod(s, 90);
        }
        for (int round = 0; round < 3; ++round) {
            ASSERT_EQ(JEX_UpperBlit(s, nullptr, d, nullptr), 0) << JEX_GetError();
            ASSERT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
            ASSERT_TRUE(JEX_MUSTLOCK(s.s));
            ASSERT_EQ(JEX_LockSurface(s), 0);
            ASSERT_NE(s->pixels, nullptr);
            for (int y = 0; y < 11; ++y)
                ASSERT_EQ(std::memcmp(At(s, 0, y), At(orig, 0, y), row), 0)
                    << "round " << round << " row " << y;
            // An edit while locked is encoded on the last unlock.
            Set(s, round, 0, 0x11);
            Set(orig, round, 0, 0x11);
            ASSERT_EQ(JEX_LockSurface(s), 0);
            JEX_UnlockSurface(s);
            EXPECT_NE(s->pixels, nullptr);
            JEX_UnlockSurface(s);
            EXPECT_EQ(s->pixels, nullptr);
            EXPECT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
        }
        // Turning the key off decodes for good.
        JEX_SetColorKey(s, 0, 0);
        EXPECT_FALSE(s->flags & JEX_SURFACE_RLEACCEL);
        ASSERT_NE(s->pixels, nullptr);
        EXPECT_EQ(std::memcmp(At(s, 0, 3), At(orig, 0, 3), row), 0);
    }
}

TEST(RLE, NeverEncoded)
{
    // No key and no per-pixel alpha: nothing to skip.
    Surf a(JEX_CreateRGBSurface(0, 8, 8, 16, 0xF800, 0x7E0, 0x1F, 0));
    Surf d(JEX_CreateRGBSurface(0, 8, 8, 16, 0xF800, 0x7E0, 0x1F, 0));
    JEX_SetSurfaceRLE(a, 1);
    JEX_SetSurfaceBlendMode(a, JEX_BLENDMODE_BLEND);
    JEX_SetSurfaceAlphaMod(a, 100);
    ASSERT_EQ(JEX_UpperBlit(a, nullptr, d, nullptr), 0);
    EXPECT_FALSE(a->flags & JEX_SURFACE_RLEACCEL);
    // A key with colour modulation.
    JEX_SetColorKey(a, 1, 0);
    JEX_SetSurfaceColorMod(a, 10, 20, 30);
    ASSERT_EQ(JEX_UpperBlit(a, nullptr, d, nullptr), 0);
    EXPECT_FALSE(a->flags & JEX_SURFACE_RLEACCEL);
    // A key onto another format (no identity).
    JEX_SetSurfaceColorMod(a, 255, 255, 255);
    Surf e(JEX_CreateRGBSurface(0, 8, 8, 32, 0xFF0000, 0xFF00, 0xFF, 0));
    ASSERT_EQ(JEX_UpperBlit(a, nullptr, e, nullptr), 0);
    EXPECT_FALSE(a->flags & JEX_SURFACE_RLEACCEL);
    // Scaled.
    ASSERT_EQ(JEX_UpperBlit(a, nullptr, d, nullptr), 0);
    EXPECT_TRUE(a->flags & JEX_SURFACE_RLEACCEL);
    ASSERT_EQ(JEX_UpperBlitScaled(a, nullptr, d, nullptr), 0);
    EXPECT_FALSE(a->flags & JEX_SURFACE_RLEACCEL);
    EXPECT_NE(a->pixels, nullptr);
}

// A new key, conversion or alpha blending on an encoded surface works from its exact pixels.
TEST(RLE, StateChangesOnEncodedSurfaces)
{
    std::mt19937 rng(12);
    Surf s(JEX_CreateRGBSurface(0, 23, 9, 16, 0xF800, 0x7E0, 0x1F, 0));
    Surf d(JEX_CreateRGBSurface(0, 23, 9, 16, 0xF800, 0x7E0, 0x1F, 0));
    FillKeyed(s, 0x1111, 6, rng);
    Surf orig(Clone(s));
    JEX_SetColorKey(s, JEX_SURFACE_RLEACCEL | 1, 0x1111);
    ASSERT_EQ(JEX_UpperBlit(s, nullptr, d, nullptr), 0);
    ASSERT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    // A new key value: decoded first, then encoded for the new key.
    const Uint32 key2 = Read(orig, 5, 5);
    ASSERT_EQ(JEX_SetColorKey(s, JEX_SURFACE_RLEACCEL | 1, key2), 0);
    EXPECT_FALSE(s->flags & JEX_SURFACE_RLEACCEL);
    for (int y = 0; y < 9; ++y)
        ASSERT_EQ(std::memcmp(At(s, 0, y), At(orig, 0, y), 46), 0);
    std::memset(d->pixels, 0, size_t(d->pitch) * 9);
    ASSERT_EQ(JEX_UpperBlit(s, nullptr, d, nullptr), 0);
    EXPECT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(Read(d, x, y), Read(orig, x, y) == key2 ? 0u : Read(orig, x, y));
    // Converting an encoded surface: the plain surface's colours, the key transparent.
    Surf c(JEX_ConvertSurfaceFormat(s, JEX_PIXELFORMAT_ARGB8888, 0));
    Surf want(JEX_ConvertSurfaceFormat(orig, JEX_PIXELFORMAT_ARGB8888, 0));
    ASSERT_TRUE(c.s && want.s);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(Read(c, x, y),
                      (Read(want, x, y) & 0xFFFFFF) | (Read(orig, x, y) == key2 ? 0u : 0xFF000000u))
                << x << "," << y;
    EXPECT_FALSE(s->map->info.flags & (JEX_COPY_RLE_COLORKEY | JEX_COPY_RLE_ALPHAKEY));
    ASSERT_EQ(JEX_UpperBlit(s, nullptr, d, nullptr), 0);
    EXPECT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    JEX_FreeSurface(s.s);  // encoded at release: nothing leaks
    s.s = nullptr;
}

// Per-pixel alpha onto 565, 555 and 8888: the encoded blit matches the plain routine.
TEST(RLEAlpha, MatchesPlainBlits)
{
    std::mt19937 rng(31);
    for (Uint32 dcode : {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB555, JEX_PIXELFORMAT_RGB888,
                         JEX_PIXELFORMAT_ARGB8888}) {
        SCOPED_TRACE(JEX_GetPixelFormatName(dcode));
        const int w = 41, h = 17;
        Surf plain(surftest::Make(JEX_PIXELFORMAT_ARGB8888, w, h).release());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Translucent alpha below 248: the plain 565 routine treats
                // 248 to 254 as opaque, the encoding as translucent.
                const Uint32 kind = rng() % 4;
                const Uint32 alpha = kind == 0 ? 0 : kind == 1 ? 255 : 1 + rng() % 247;
                Set(plain, x, y, (rng() & 0xFFFFFF) | (alpha << 24));
            }
        for (int x = 0; x < w; ++x)
            Set(plain, x, h - 1, 0x00FFFFFF);  // a last row drawing nothing
        Surf encoded(Clone(plain));
        JEX_SetSurfaceRLE(encoded, 1);
        // The encoded 32-bit blit writes its own top byte, and the 555 blends
        // drop the unused top bit.
        JEX_PixelFormat *f = JEX_AllocFormat(dcode);
        const Uint32 used = f->bits_per_pixel == 32 ? 0xFFFFFF : (f->rmask | f->gmask | f->bmask);
        JEX_FreeFormat(f);
        CompareBlits(plain, encoded, dcode, 30, used, rng);
        EXPECT_TRUE((encoded->flags & JEX_SURFACE_RLEACCEL) &&
                    (encoded->map->info.flags & JEX_COPY_RLE_ALPHAKEY));
    }
}

TEST(RLEAlpha, LockRestoresReducedPixels)
{
    Surf s(JEX_CreateRGBSurface(0, 4, 2, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    Surf d(JEX_CreateRGBSurface(0, 4, 2, 16, 0xF800, 0x7E0, 0x1F, 0));
    const Uint32 in[4] = {0x00ABCDEF, 0xFF123456, 0x87FEDCBA, 0x01010101};
    for (int x = 0; x < 4; ++x)
        Set(s, x, 0, in[x]);
    JEX_SetSurfaceRLE(s, 1);
    ASSERT_EQ(JEX_UpperBlit(s, nullptr, d, nullptr), 0);
    ASSERT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    // The destination may be gone by the time the surface is re-encoded.
    JEX_FreeSurface(d.s);
    d.s = nullptr;
    ASSERT_EQ(JEX_LockSurface(s), 0);
    // Alpha 0 becomes 0; opaque colours at 565 precision expanded back with
    // alpha 255; translucent alpha rounded down to a multiple of 8.
    JEX_PixelFormat *f565 = JEX_AllocFormat(JEX_PIXELFORMAT_RGB565);
    const auto reduced = [&](Uint32 p, Uint32 alpha) {
        Uint8 r, g, b;
        JEX_GetRGB(JEX_MapRGB(f565, Uint8(p >> 16), Uint8(p >> 8), Uint8(p)), f565, &r, &g, &b);
        return (alpha << 24) | (Uint32(r) << 16) | (Uint32(g) << 8) | b;
    };
    EXPECT_EQ(Read(s, 0, 0), 0u);
    EXPECT_EQ(Read(s, 1, 0), reduced(in[1], 255));
    EXPECT_EQ(Read(s, 2, 0), reduced(in[2], 0x80));
    EXPECT_NE(reduced(in[1], 255), in[1]);
    EXPECT_EQ(Read(s, 3, 0), 0x00000000u);
    EXPECT_EQ(Read(s, 0, 1), 0u);  // a row that draws nothing
    JEX_UnlockSurface(s);
    EXPECT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    EXPECT_EQ(s->pixels, nullptr);
    JEX_FreeFormat(f565);
}

// Rows of 1 to 600 pixels and one of 70,000, for byte and 16-bit counts and
// the alpha encoding's 16-bit translucent counts.
TEST(RLE, RowLengths)
{
    std::mt19937 rng(71);
    for (int w : {1, 2, 3, 254, 255, 256, 511, 600})
        for (Uint32 code : {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_ARGB8888})
            CompareKeyed(code, w, 2, 2, rng);
    CompareKeyed(JEX_PIXELFORMAT_INDEX8, 70000, 1, 1, rng);
    CompareKeyed(JEX_PIXELFORMAT_RGB888, 70000, 1, 1, rng);
    // All keyed, all opaque and all translucent rows of 70,000 pixels.
    Surf s(JEX_CreateRGBSurface(0, 70000, 3, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    for (int x = 0; x < 70000; ++x) {
        Set(s, x, 0, 0x80000000 | Uint32(x));
        Set(s, x, 1, 0xFF000000 | Uint32(x));
        Set(s, x, 2, 0x00FFFFFF);
    }
    Surf plain(Clone(s));
    JEX_SetSurfaceRLE(s, 1);
    Surf d1(JEX_CreateRGBSurface(0, 70000, 3, 32, 0xFF0000, 0xFF00, 0xFF, 0));
    Surf d2(JEX_CreateRGBSurface(0, 70000, 3, 32, 0xFF0000, 0xFF00, 0xFF, 0));
    ASSERT_EQ(JEX_UpperBlit(plain, nullptr, d1, nullptr), 0);
    ASSERT_EQ(JEX_UpperBlit(s, nullptr, d2, nullptr), 0);
    ASSERT_TRUE(s->flags & JEX_SURFACE_RLEACCEL);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 70000; ++x)
            ASSERT_EQ(Read(d1, x, y) & 0xFFFFFF, Read(d2, x, y) & 0xFFFFFF) << x << "," << y;
}

}  // namespace
