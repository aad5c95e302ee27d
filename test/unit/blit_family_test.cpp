// The blitter families against an oracle of which routine each format pair and
// flag set takes and what its arithmetic gives; then widths 0-70 on every path.
#include <cstring>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/pixels_internal.h"
#include "surface_test_util.h"

using namespace surftest;

namespace {

const Flags kFlagSets[] = {
    {"none", false, false, false, JEX_BLENDMODE_NONE},
    {"key", true, false, false, JEX_BLENDMODE_NONE},
    {"blend", false, false, false, JEX_BLENDMODE_BLEND},
    {"surface alpha", false, false, true, JEX_BLENDMODE_BLEND},
};

// The routines, as the selection rules name them.
enum class R {
    Unsupported,
    Copy,
    Slow,
    Generated,
    BtoN,
    BtoNKey,
    BtoNAlpha,
    BtoNAlphaKey,
    NtoN,
    NtoNCopyAlpha,
    NtoNKey,
    NtoNKeyCopyAlpha,
    MaskAlpha,
    TwoKey,
    Nto1,
    Nto1Key,
    RGB888to16,
    RGB565to32,
    PixelAlpha,
    SurfaceAlpha,
    SurfaceAlphaKey,
    Nto1Surface,
    Nto1Pixel,
    Nto1SurfaceKey,
    RGBPixelAlpha,
    RGBSurfaceAlpha,
    Surface16,
    ARGBto16,
};

bool InGeneratedTable(Uint32 s, Uint32 d)
{
    const Uint32 srcs[] = {JEX_PIXELFORMAT_RGB888,   JEX_PIXELFORMAT_BGR888,
                           JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGBA8888,
                           JEX_PIXELFORMAT_ABGR8888, JEX_PIXELFORMAT_BGRA8888};
    const Uint32 dsts[] = {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_BGR888,
                           JEX_PIXELFORMAT_ARGB8888};
    return std::find(std::begin(srcs), std::end(srcs), s) != std::end(srcs) &&
           std::find(std::begin(dsts), std::end(dsts), d) != std::end(dsts);
}

R Select(const JEX_PixelFormat *sf, const JEX_PixelFormat *df, Uint32 flags, bool identity)
{
    const int sb = sf->bytes_per_pixel, db = df->bytes_per_pixel;
    const int which = df->bits_per_pixel < 8 ? 0 : db;
    const Uint32 surface_alpha = JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND;
    if (identity && flags == 0)
        return R::Copy;
    R r = R::Unsupported;
    if (sf->bits_per_pixel < 8 || sb == 1) {
        if (sf->bits_per_pixel < 8 && sf->bits_per_pixel != 1 && sf->bits_per_pixel != 4)
            return R::Unsupported;
        if (which != 0) {
            if (flags == 0)
                r = R::BtoN;
            else if (flags == JEX_COPY_COLORKEY)
                r = R::BtoNKey;
            else if (flags == surface_alpha && which > 1)
                r = R::BtoNAlpha;
            else if (flags == (surface_alpha | JEX_COPY_COLORKEY) && which > 1)
                r = R::BtoNAlphaKey;
        }
    } else if (flags & JEX_COPY_BLEND) {
        if (df->bits_per_pixel < 8) {
        } else if (flags == surface_alpha) {
            if (!sf->amask) {
                if (db == 1)
                    r = R::Nto1Surface;
                else if (db == 2 && identity && (df->gmask == 0x7E0 || df->gmask == 0x3E0))
                    r = R::Surface16;
                else if (db == 4 && sb == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
                         sf->bmask == df->bmask && (sf->rmask | sf->gmask | sf->bmask) == 0xFFFFFF)
                    r = R::RGBSurfaceAlpha;
                else
                    r = R::SurfaceAlpha;
            }
        } else if (flags == (surface_alpha | JEX_COPY_COLORKEY)) {
            if (!sf->amask)
                r = db == 1 ? R::Nto1SurfaceKey : R::SurfaceAlphaKey;
        } else if (flags == JEX_COPY_BLEND) {
            if (db == 2 && sb == 4 && !df->amask && sf->amask == 0xFF000000 &&
                sf->gmask == 0xFF00 &&
                ((sf->rmask == 0xFF && df->rmask == 0x1F) ||
                 (sf->bmask == 0xFF && df->bmask == 0x1F)) &&
                (df->gmask == 0x7E0 || df->gmask == 0x3E0))
                r = R::ARGBto16;
            else if (db == 4 && sb == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
                     sf->bmask == df->bmask && sf->amask == 0xFF000000)
                r = R::RGBPixelAlpha;
            else if (db == 1)
                r = R::Nto1Pixel;
            else
                r = R::PixelAlpha;
        }
    } else if (df->bits_per_pixel >= 8) {
        if (flags == 0) {
            if (db == 1)
                r = R::Nto1;
            else if (sb == 2 && sf->rmask == 0xF800 && sf->gmask == 0x7E0 && sf->bmask == 0x1F &&
                     db == 4 && df->amask &&
                     ((df->rmask == 0xFF0000 && df->gmask == 0xFF00 && df->bmask == 0xFF) ||
                      (df->rmask == 0xFF && df->gmask == 0xFF00 && df->bmask == 0xFF0000) ||
                      (df->rmask == 0xFF000000 && df->gmask == 0xFF0000 && df->bmask == 0xFF00) ||
                      (df->rmask == 0xFF00 && df->gmask == 0xFF0000 && df->bmask == 0xFF000000)))
                r = R::RGB565to32;
            else if (sb == 4 && sf->rmask == 0xFF0000 && sf->gmask == 0xFF00 && sf->bmask == 0xFF &&
                     db == 2 && !df->amask &&
                     ((df->rmask == 0xF800 && df->gmask == 0x7E0 && df->bmask == 0x1F) ||
                      (df->rmask == 0x7C00 && df->gmask == 0x3E0 && df->bmask == 0x1F)))
                r = R::RGB888to16;
            else if (sb == 4 && db == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
                     sf->bmask == df->bmask)
                r = R::MaskAlpha;
            else
                r = (df->amask && sf->amask) ? R::NtoNCopyAlpha : R::NtoN;
        } else if (flags == JEX_COPY_COLORKEY) {
            if (sb == 2 && identity)
                r = R::TwoKey;
            else if (db == 1)
                r = R::Nto1Key;
            else
                r = (sf->amask && df->amask) ? R::NtoNKeyCopyAlpha : R::NtoNKey;
        }
    }
    if (r == R::Unsupported && InGeneratedTable(sf->format, df->format) &&
        !(flags & JEX_COPY_COLORKEY))
        r = R::Generated;
    if (r == R::Unsupported && sb > 1 && db > 1 && sf->bits_per_pixel >= 8 &&
        df->bits_per_pixel >= 8)
        r = R::Slow;
    return r;
}

struct RGBA {
    int r, g, b, a;
};

RGBA Get(Uint32 p, const JEX_PixelFormat *f)
{
    Uint8 r, g, b, a;
    JEX_GetRGBA(p, f, &r, &g, &b, &a);
    return RGBA{r, g, b, a};
}

Uint32 Map(const JEX_PixelFormat *f, int r, int g, int b, int a)
{
    return JEX_MapRGBA(f, Uint8(r), Uint8(g), Uint8(b), Uint8(a));
}

// Colour of an 8-bit destination pixel.
RGBA ColourOf8(Uint32 d, const JEX_PixelFormat *df)
{
    if (df->palette) {
        if (int(d) < df->palette->ncolors) {
            const JEX_Color &c = df->palette->colors[d];
            return RGBA{c.r, c.g, c.b, 255};
        }
        return RGBA{0, 0, 0, 255};
    }
    return Get(d, df);
}

// An RGB332 index stored in 8 bits: itself, or the palette entry nearest its dither colour.
Uint32 Store332(int index, const JEX_PixelFormat *df)
{
    if (!df->palette)
        return Uint32(index);
    const auto replicate = [](int v, int bits) {
        int out = 0;
        for (int shift = 8 - bits; shift > -bits; shift -= bits)
            out |= shift >= 0 ? v << shift : v >> -shift;
        return out & 255;
    };
    const int r = replicate(index >> 5, 3), g = replicate((index >> 2) & 7, 3),
              b = replicate(index & 3, 2);
    return JEX_FindColor(df->palette, Uint8(r), Uint8(g), Uint8(b));
}

int To332(int r, int g, int b)
{
    return ((r >> 5) << 5) | ((g >> 5) << 2) | (b >> 6);
}

// d + (s - d) x a / 255, quotient truncated toward zero.
int Blend255(int s, int d, int a)
{
    return d + (s - d) * a / 255;
}
// d + floor(a x (s - d) / 2^bits).
int BlendShift(int s, int d, int a, int bits)
{
    const int num = a * (s - d);
    return d + (num >= 0 ? num >> bits : -((-num + (1 << bits) - 1) >> bits));
}

// The expected destination pixel for source pixel sp over destination dp.
Uint32 Expected(R r, Uint32 sp, Uint32 dp, const JEX_PixelFormat *sf, const JEX_PixelFormat *df,
                Uint32 flags, Uint32 key)
{
    const bool keyed_alpha = (sp & ~sf->amask) == (key & ~sf->amask);
    const RGBA s = Get(sp, sf), d = Get(dp, df);
    const auto spread_channels = [](Uint32 p, bool g6) {
        return RGBA{int((p >> (g6 ? 11 : 10)) & 31), int((p >> 5) & (g6 ? 63 : 31)), int(p & 31),
                    0};
    };
    switch (r) {
    case R::Copy: return sp;
    case R::Slow:
        if ((flags & JEX_COPY_COLORKEY) && sp == key)
            return dp;
        return General(sp, dp, sf, df, flags);
    case R::Generated: return General(sp, dp, sf, df, flags);
    case R::BtoN:
    case R::BtoNKey:
    case R::BtoNAlpha:
    case R::BtoNAlphaKey: {
        if ((r == R::BtoNKey || r == R::BtoNAlphaKey) && sp == key)
            return dp;
        // The source colour of the index: palette, or an 8-bit packed value.
        RGBA c{0, 0, 0, 255};
        if (sf->palette) {
            if (int(sp) < sf->palette->ncolors) {
                const JEX_Color &e = sf->palette->colors[sp];
                c = RGBA{e.r, e.g, e.b, 255};
            }
        } else {
            c = Get(sp, sf);
        }
        if (r == R::BtoNAlpha || r == R::BtoNAlphaKey)
            return Map(df, Blend255(c.r, d.r, kModA), Blend255(c.g, d.g, kModA),
                       Blend255(c.b, d.b, kModA), 255);
        if (df->palette) {
            // Palette to palette: the nearest entry, or the index itself
            // when the palettes are the same.
            const JEX_Palette *sp_pal = sf->palette, *dp_pal = df->palette;
            if (sp_pal && sp_pal->ncolors <= dp_pal->ncolors &&
                std::memcmp(sp_pal->colors, dp_pal->colors, sizeof(JEX_Color) * sp_pal->ncolors) ==
                    0)
                return sp;
            if (!sp_pal)
                return Store332(int(sp), df);
            return JEX_FindColor(dp_pal, Uint8(c.r), Uint8(c.g), Uint8(c.b));
        }
        return Map(df, c.r, c.g, c.b, 255);
    }
    case R::NtoNKey:
    case R::NtoNKeyCopyAlpha:
    case R::TwoKey:
    case R::Nto1Key:
        if (keyed_alpha)
            return dp;
        // Equal 32-bit formats with alpha move whole pixels, wide channels
        // included.
        if (r == R::TwoKey || (r == R::NtoNKeyCopyAlpha && sf->format == df->format))
            return sp;
        if (r == R::Nto1Key)
            return Store332(To332(s.r, s.g, s.b), df);
        return Map(df, s.r, s.g, s.b, r == R::NtoNKeyCopyAlpha ? s.a : 255);
    case R::NtoN:
    case R::RGB888to16: return Map(df, s.r, s.g, s.b, 255);
    case R::NtoNCopyAlpha: return Map(df, s.r, s.g, s.b, s.a);
    case R::MaskAlpha: return Map(df, s.r, s.g, s.b, sf->amask ? s.a : 255);
    case R::Nto1: return Store332(To332(s.r, s.g, s.b), df);
    case R::RGB565to32: {
        // The conversion tables: green 4 x (low 3 bits) + (high 3 bits) x 8 x
        // 255 / 63, so 63 becomes 254.
        const int r5 = int(sp >> 11), g6 = int((sp >> 5) & 63), b5 = int(sp & 31);
        return Map(df, r5 * 255 / 31, 4 * (g6 & 7) + (g6 >> 3) * 8 * 255 / 63, b5 * 255 / 31, 255);
    }
    case R::PixelAlpha:
        if (s.a == 0)
            return dp;
        return Map(df, Blend255(s.r, d.r, s.a), Blend255(s.g, d.g, s.a), Blend255(s.b, d.b, s.a),
                   d.a);
    case R::SurfaceAlpha:
    case R::SurfaceAlphaKey:
        if (r == R::SurfaceAlphaKey && keyed_alpha)
            return dp;
        return Map(df, Blend255(s.r, d.r, kModA), Blend255(s.g, d.g, kModA),
                   Blend255(s.b, d.b, kModA), 255);
    case R::Nto1Surface:
    case R::Nto1Pixel:
    case R::Nto1SurfaceKey: {
        if (r == R::Nto1SurfaceKey && keyed_alpha)
            return dp;
        const int a = r == R::Nto1Pixel ? s.a : kModA;
        if (a == 0)
            return dp;
        const RGBA dc = ColourOf8(dp, df);
        const int rr = Blend255(s.r, dc.r, a), gg = Blend255(s.g, dc.g, a),
                  bb = Blend255(s.b, dc.b, a);
        return Store332((rr & 0xE0) | ((gg >> 3) & 0x1C) | (bb >> 6), df);
    }
    case R::RGBPixelAlpha: {
        const int a = int(sp >> 24);
        if (a == 0)
            return dp;
        if (a == 255)
            return (sp & 0xFFFFFF) | (dp & 0xFF000000);
        Uint32 out = dp & 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8)
            out |= Uint32(BlendShift(int((sp >> shift) & 255), int((dp >> shift) & 255), a, 8))
                   << shift;
        return out;
    }
    case R::RGBSurfaceAlpha: {
        Uint32 out = 0xFF000000;
        for (int shift = 0; shift < 24; shift += 8) {
            const int sc = int((sp >> shift) & 255), dc = int((dp >> shift) & 255);
            const int v = kModA == 128 ? (sc + dc) / 2 : BlendShift(sc, dc, kModA, 8);
            out |= Uint32(v) << shift;
        }
        return out;
    }
    case R::Surface16: {
        const bool g6 = df->gmask == 0x7E0;
        const RGBA a = spread_channels(sp, g6), b = spread_channels(dp, g6);
        const int a5 = kModA >> 3;
        const int rr = BlendShift(a.r, b.r, a5, 5), gg = BlendShift(a.g, b.g, a5, 5),
                  bb = BlendShift(a.b, b.b, a5, 5);
        return Uint32((rr << (g6 ? 11 : 10)) | (gg << 5) | bb);
    }
    case R::ARGBto16: {
        const bool g6 = df->gmask == 0x7E0;
        const int a5 = int(sp >> 27);
        if (a5 == 0)
            return dp;
        // Source channels by bit position, reduced to the destination's
        // precision: bits 16-23 go to the top field, 8-15 to green, 0-7 low.
        const int hi = int((sp >> (g6 ? 19 : 19)) & 31),
                  mid = int((sp >> (g6 ? 10 : 11)) & (g6 ? 63 : 31)), lo = int((sp >> 3) & 31);
        const RGBA dd = spread_channels(dp, g6);
        const int top = a5 == 31 ? hi : BlendShift(hi, dd.r, a5, 5);
        const int green = a5 == 31 ? mid : BlendShift(mid, dd.g, a5, 5);
        const int low = a5 == 31 ? lo : BlendShift(lo, dd.b, a5, 5);
        return Uint32((top << (g6 ? 11 : 10)) | (green << 5) | low);
    }
    default: ADD_FAILURE() << "no formula"; return dp;
    }
}

const Uint32 kSources[] = {
    JEX_PIXELFORMAT_INDEX1MSB,   JEX_PIXELFORMAT_INDEX1LSB, JEX_PIXELFORMAT_INDEX4MSB,
    JEX_PIXELFORMAT_INDEX4LSB,   JEX_PIXELFORMAT_INDEX8,    JEX_PIXELFORMAT_RGB332,
    JEX_PIXELFORMAT_RGB444,      JEX_PIXELFORMAT_RGB555,    JEX_PIXELFORMAT_BGR555,
    JEX_PIXELFORMAT_ARGB4444,    JEX_PIXELFORMAT_RGBA4444,  JEX_PIXELFORMAT_ABGR4444,
    JEX_PIXELFORMAT_BGRA4444,    JEX_PIXELFORMAT_ARGB1555,  JEX_PIXELFORMAT_RGBA5551,
    JEX_PIXELFORMAT_ABGR1555,    JEX_PIXELFORMAT_BGRA5551,  JEX_PIXELFORMAT_RGB565,
    JEX_PIXELFORMAT_BGR565,      JEX_PIXELFORMAT_RGB24,     JEX_PIXELFORMAT_BGR24,
    JEX_PIXELFORMAT_RGB888,      JEX_PIXELFORMAT_BGR888,    JEX_PIXELFORMAT_ARGB8888,
    JEX_PIXELFORMAT_RGBA8888,    JEX_PIXELFORMAT_ABGR8888,  JEX_PIXELFORMAT_BGRA8888,
    JEX_PIXELFORMAT_ARGB2101010,
};
// Every destination of 8 bits or more.
const Uint32 *const kDestinations = kSources + 4;
constexpr size_t kDestinationCount = std::size(kSources) - 4;

// A w x 2 blit from column sx to dx, checked pixel by pixel; returns the oracle's routine.
R CheckOne(Uint32 scode, Uint32 dcode, const Flags &f, int w, int sx, int dx, std::mt19937 &rng,
           bool same_palette = false, int lead = 0)
{
    const int sw = sx + w + 2, dw = dx + w + 2, h = 4;
    Guarded src(scode, sw, h, lead), dst(dcode, dw, h, (lead * 3) % 4);
    if (!src.get() || !dst.get())
        return R::Unsupported;
    src.Randomize(rng);
    dst.Randomize(rng);
    RandomPalette(src.get(), rng);
    RandomPalette(dst.get(), rng);
    if (same_palette && src.fmt()->palette && dst.fmt()->palette)
        JEX_SetPaletteColors(dst.fmt()->palette, src.fmt()->palette->colors, 0,
                             src.fmt()->palette->ncolors);
    // A key that occurs, and for packed sources a second occurrence that
    // differs only in the alpha bits.
    const Uint32 key = src.pixel(sx + w / 2, 1);
    if (src.fmt()->bits_per_pixel >= 8 && w > 1)
        src.set(sx, 2, key ^ src.fmt()->amask);
    Apply(src.get(), f, key);
    const bool identity = scode == dcode && (!src.fmt()->palette || same_palette);
    const R want_routine = Select(src.fmt(), dst.fmt(), FlagBits(f), identity);
    std::vector<Uint32> before(size_t(dw) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < dw; ++x)
            before[size_t(y) * dw + x] = dst.pixel(x, y);
    const std::vector<Uint8> dst_bytes = dst.Bytes();
    JEX_Rect sr{sx, 1, w, 2}, dr{dx, 1, 0, 0};
    JEX_ClearError();
    const int rc = JEX_UpperBlit(src.get(), &sr, dst.get(), &dr);
    if (want_routine == R::Unsupported) {
        EXPECT_EQ(rc, w > 0 ? -1 : 0);
        if (w > 0) {
            EXPECT_STREQ(JEX_GetError(), "Blit combination not supported");
        }
        EXPECT_TRUE(dst.Bytes() == dst_bytes) << "an unsupported blit drew";
        return want_routine;
    }
    EXPECT_EQ(rc, 0) << JEX_GetError();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < dw; ++x) {
            const Uint32 old = before[size_t(y) * dw + x];
            Uint32 want = old;
            if (x >= dx && x < dx + w && y >= 1 && y < 3)
                want = Expected(want_routine, src.pixel(x - dx + sx, y), old, src.fmt(), dst.fmt(),
                                FlagBits(f), key);
            if (dst.pixel(x, y) != want) {
                ADD_FAILURE() << "routine " << int(want_routine) << " pixel (" << x << ", " << y
                              << ") is 0x" << std::hex << dst.pixel(x, y) << ", want 0x" << want
                              << " (source 0x" << src.pixel(x - dx + sx, y) << ", was 0x" << old
                              << ")";
                return want_routine;
            }
        }
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_TRUE(src.GuardsIntact());
    return want_routine;
}

// Every subset of key, colour modulation, alpha modulation and blend mode.
std::vector<Flags> AllFlagSets()
{
    static const JEX_BlendMode modes[] = {JEX_BLENDMODE_NONE, JEX_BLENDMODE_BLEND,
                                          JEX_BLENDMODE_ADD, JEX_BLENDMODE_MOD};
    static const char *const names[] = {"none", "blend", "add", "mod"};
    static std::vector<std::string> labels(32);
    std::vector<Flags> out;
    for (int i = 0; i < 32; ++i) {
        const int bits = i / 4, m = i % 4;
        labels[size_t(i)] = std::string(names[m]) + ((bits & 1) ? "+key" : "") +
                            ((bits & 2) ? "+modcolor" : "") + ((bits & 4) ? "+modalpha" : "");
        out.push_back(Flags{labels[size_t(i)].c_str(), (bits & 1) != 0, (bits & 2) != 0,
                            (bits & 4) != 0, modes[m]});
    }
    return out;
}

TEST(BlitFamilies, EveryFormatPairAndFlagSetMatchesItsRoutine)
{
    std::mt19937 rng(99);
    int by_kind[64] = {};
    const std::vector<Flags> sets = AllFlagSets();
    for (Uint32 s : kSources)
        for (size_t di = 0; di < kDestinationCount; ++di)
            for (const Flags &f : sets) {
                const Uint32 d = kDestinations[di];
                SCOPED_TRACE(Name(s, d, f.name));
                // Odd start columns exercise the bit addressing of 1- and
                // 4-bit sources.
                const R r = CheckOne(s, d, f, 7, 3, 2, rng);
                ++by_kind[int(r)];
                if (HasFailure())
                    return;
            }
    // Every routine kind was reached by the sweep.
    for (int k = int(R::Unsupported); k <= int(R::ARGBto16); ++k)
        EXPECT_GT(by_kind[k], 0) << "kind " << k;
}

TEST(BlitFamilies, IndexedOntoIndexedWithSameAndOtherPalettes)
{
    std::mt19937 rng(5);
    for (Uint32 s : {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_INDEX4LSB, JEX_PIXELFORMAT_INDEX8})
        for (bool same : {false, true})
            for (const Flags &f : {kFlagSets[0], kFlagSets[1]}) {
                SCOPED_TRACE(Name(s, JEX_PIXELFORMAT_INDEX8, f.name) + (same ? " same" : " other"));
                CheckOne(s, JEX_PIXELFORMAT_INDEX8, f, 9, 1, 0, rng, same);
            }
    // Onto sub-byte destinations only the plain copy between equal formats.
    const R r =
        CheckOne(JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_INDEX1MSB, kFlagSets[0], 5, 0, 0, rng);
    EXPECT_EQ(r, R::Unsupported);
}

// Surface alpha 0 (the sweep uses one value) leaves the destination untouched, alpha too.
TEST(BlitFamilies, SurfaceAlphaZero)
{
    Guarded e(JEX_PIXELFORMAT_RGB24, 1, 1), g(JEX_PIXELFORMAT_ARGB4444, 1, 1);
    e.set(0, 0, 0xFFFFFF);
    g.set(0, 0, 0x1234);
    ASSERT_EQ(JEX_SetSurfaceBlendMode(e.get(), JEX_BLENDMODE_BLEND), 0);
    ASSERT_EQ(JEX_SetSurfaceAlphaMod(e.get(), 0), 0);
    ASSERT_EQ(JEX_UpperBlit(e.get(), nullptr, g.get(), nullptr), 0);
    EXPECT_EQ(g.pixel(0, 0), 0x1234u);
}

// Widths 0-70 at several offsets and alignments on every path: oracle, and scalar byte for byte.
TEST(BlitFamilies, WidthsOffsetsAndPaths)
{
    struct Pair {
        Uint32 s, d;
        int flags;  // index into kFlagSets
    };
    const Pair pairs[] = {
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB565, 0},    // RGB888 to 565
        {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB555, 0},      // RGB888 to 555
        {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_ARGB8888, 0},    // 565 table
        {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGBA8888, 0},    // 565 table
        {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_ABGR8888, 0},    // 565 table
        {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_BGRA8888, 0},    // 565 table
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB888, 0},    // mask
        {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_ARGB8888, 0},    // mask, set alpha
        {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB888, 1},      // keyed 32
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_ARGB8888, 1},  // keyed 32, copy alpha
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB888, 2},    // pixel alpha 8888
        {JEX_PIXELFORMAT_ABGR8888, JEX_PIXELFORMAT_ABGR8888, 2},  // pixel alpha 8888
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB565, 2},    // pixel alpha 565
        {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB555, 2},    // pixel alpha 555
        {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB565, 3},      // surface alpha 565
        {JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_RGB888, 3},      // surface alpha 8888
        {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB24, 0},       // 8-bit, 3 bytes
        {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB565, 1},      // 8-bit keyed
        {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_ARGB8888, 0},
        {JEX_PIXELFORMAT_INDEX4LSB, JEX_PIXELFORMAT_INDEX8, 1},
        {JEX_PIXELFORMAT_RGB24, JEX_PIXELFORMAT_BGR565, 0},  // general conversion
        {JEX_PIXELFORMAT_BGR24, JEX_PIXELFORMAT_RGB332, 0},  // to 8 bits
    };
    const SimdPath paths[] = {SimdPath::Scalar, SimdPath::SSE2, SimdPath::AVX2};
    for (const Pair &p : pairs)
        for (int w = 0; w <= 70; ++w) {
            const int offset = w % 4, lead = (w / 4) % 4;
            std::vector<Uint8> reference;
            for (SimdPath path : paths) {
                JEX_ForceSimdPath(path);
                SCOPED_TRACE(Name(p.s, p.d, kFlagSets[p.flags].name) + " width " +
                             std::to_string(w) + " path " + std::to_string(int(path)));
                // Same random data on every path.
                std::mt19937 rng(Uint32(w * 131 + p.flags));
                const int sw = offset + w + 2, dw = (3 - offset) + w + 2;
                Guarded src(p.s, sw, 3, lead), dst(p.d, dw, 3, (lead + 1) % 4);
                src.Randomize(rng);
                dst.Randomize(rng);
                RandomPalette(src.get(), rng);
                RandomPalette(dst.get(), rng);
                if (w > 8 && src.fmt()->bits_per_pixel == 32) {
                    // Runs of opaque and transparent pixels for the shortcuts.
                    for (int x = 0; x < 8; ++x)
                        src.set(offset + x, 1, src.pixel(offset + x, 1) | 0xFF000000);
                    for (int x = 8; x < std::min(w, 16); ++x)
                        src.set(offset + x, 1, src.pixel(offset + x, 1) & 0x00FFFFFF);
                }
                const Uint32 key = src.pixel(offset + w / 2, 1);
                Apply(src.get(), kFlagSets[p.flags], key);
                std::vector<Uint32> before;
                for (int x = 0; x < dw; ++x)
                    before.push_back(dst.pixel(x, 1));
                const bool identity = p.s == p.d;
                const R r = Select(src.fmt(), dst.fmt(), FlagBits(kFlagSets[p.flags]), identity);
                JEX_Rect sr{offset, 1, w, 1}, dr{3 - offset, 1, 0, 0};
                ASSERT_EQ(JEX_UpperBlit(src.get(), &sr, dst.get(), &dr), 0) << JEX_GetError();
                for (int x = 0; x < dw; ++x) {
                    Uint32 want = before[size_t(x)];
                    const int sx = x - (3 - offset) + offset;
                    if (x >= 3 - offset && x < 3 - offset + w)
                        want = Expected(r, src.pixel(sx, 1), want, src.fmt(), dst.fmt(),
                                        FlagBits(kFlagSets[p.flags]), key);
                    ASSERT_EQ(dst.pixel(x, 1), want) << "column " << x;
                }
                ASSERT_TRUE(dst.GuardsIntact());
                if (path == SimdPath::Scalar)
                    reference = dst.Bytes();
                else
                    ASSERT_TRUE(dst.Bytes() == reference) << "differs from the scalar path";
            }
        }
    JEX_ResetSimdPath();
}

// The vector kernels, which run only on aligned rows, against the oracle: every
// 565 value to each 32-bit layout, random 8888 pixels to 565 and 555 and, with
// every alpha, onto 8888 and 565.
TEST(BlitKernels, ExhaustiveAgainstTheOracle)
{
    const Uint32 layouts[] = {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_ABGR8888,
                              JEX_PIXELFORMAT_RGBA8888, JEX_PIXELFORMAT_BGRA8888};
    JEX_PixelFormat *f565 = JEX_AllocFormat(JEX_PIXELFORMAT_RGB565),
                    *f555 = JEX_AllocFormat(JEX_PIXELFORMAT_RGB555),
                    *argb = JEX_AllocFormat(layouts[0]);
    std::mt19937 rng(3);
    std::vector<Uint16> all(65536), d16(4096);
    std::vector<Uint32> src(4096), d32(4096);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = Uint16(i);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = i % 7 ? rng() : (rng() & 0xFFFFFF) | Uint32(i & 255) << 24;
        d32[i] = rng();
        d16[i] = Uint16(rng());
    }
    for (SimdPath path : {SimdPath::SSE2, SimdPath::AVX2}) {
        const JEX_SimdKernels *k = JEX_SimdKernelsFor(path);
        if (!k || (path == SimdPath::AVX2 && k == JEX_SimdKernelsFor(SimdPath::SSE2)))
            continue;
        for (int kind = 0; kind < 4; ++kind) {
            JEX_PixelFormat *df = JEX_AllocFormat(layouts[kind]);
            std::vector<Uint32> out(65536);
            ASSERT_EQ(k->rgb565_to_32(all.data(), out.data(), 65536, kind), 65536);
            for (Uint32 p = 0; p < 65536; ++p)
                ASSERT_EQ(out[p], Expected(R::RGB565to32, p, 0, f565, df, 0, 0))
                    << kind << " " << p;
            JEX_FreeFormat(df);
        }
        std::vector<Uint32> o32 = d32;
        std::vector<Uint16> o16 = d16, o565(4096), o555(4096);
        ASSERT_EQ(k->rgb888_to_565(src.data(), o565.data(), 4096), 4096);
        ASSERT_EQ(k->rgb888_to_555(src.data(), o555.data(), 4096), 4096);
        ASSERT_EQ(k->rgb_pixel_alpha(src.data(), o32.data(), 4096), 4096);
        ASSERT_EQ(k->argb_to_565_pixel_alpha(src.data(), o16.data(), 4096), 4096);
        for (size_t i = 0; i < src.size(); ++i) {
            ASSERT_EQ(o565[i], Expected(R::RGB888to16, src[i], 0, argb, f565, 0, 0)) << i;
            ASSERT_EQ(o555[i], Expected(R::RGB888to16, src[i], 0, argb, f555, 0, 0)) << i;
            ASSERT_EQ(o32[i],
                      Expected(R::RGBPixelAlpha, src[i], d32[i], argb, argb, JEX_COPY_BLEND, 0))
                << i;
            ASSERT_EQ(o16[i], Expected(R::ARGBto16, src[i], d16[i], argb, f565, JEX_COPY_BLEND, 0))
                << i;
        }
    }
    for (JEX_PixelFormat *f : {f565, f555, argb})
        JEX_FreeFormat(f);
}

// Indexed surfaces convert to packed formats (formerly "Blit combination not supported").
TEST(BlitFamilies, ConvertIndexedSurfaces)
{
    std::mt19937 rng(8);
    for (Uint32 code :
         {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_INDEX4MSB, JEX_PIXELFORMAT_INDEX8}) {
        SCOPED_TRACE(JEX_GetPixelFormatName(code));
        Guarded src(code, 13, 5);
        src.Randomize(rng);
        RandomPalette(src.get(), rng);
        JEX_Surface *rgb = JEX_ConvertSurfaceFormat(src.get(), JEX_PIXELFORMAT_RGB888, 0);
        ASSERT_NE(rgb, nullptr) << JEX_GetError();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) {
                const JEX_Color &c = src.fmt()->palette->colors[src.pixel(x, y)];
                Uint32 p;
                std::memcpy(&p, static_cast<Uint8 *>(rgb->pixels) + y * rgb->pitch + 4 * x, 4);
                ASSERT_EQ(p, (Uint32(c.r) << 16) | (Uint32(c.g) << 8) | c.b) << x << "," << y;
            }
        // Nothing converts onto fewer than 8 bits per pixel but an equal
        // format.
        if (code != JEX_PIXELFORMAT_INDEX8) {
            JEX_ClearError();
            EXPECT_EQ(JEX_ConvertSurface(rgb, src.fmt(), 0), nullptr);
            EXPECT_STREQ(JEX_GetError(), "Blit combination not supported");
        }
        JEX_FreeSurface(rgb);
    }
}

}  // namespace
