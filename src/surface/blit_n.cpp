// Conversions between packed formats, with and without a colour key, and
// their selector. The loops are written once over a format's pixel access and
// instantiated for the common formats at compile time; the 565/888 pairs that
// matter most have dedicated arithmetic and vector row kernels.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "JEX_cpuinfo.h"
#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_pixel.h"
#include "surface/pixels_internal.h"

using namespace jex::blit;

namespace {

// Expand the source, write it in the destination format; the destination
// alpha is the modulation alpha or the source's own.
template <bool kKey, bool kCopyAlpha>
void ConvertRows(JEX_BlitInfo *info)
{
    WithFormats(
        *info,
        [info](auto sf, auto df) {
            const KeyTest keyed(*info);
            const unsigned alpha = info->a;
            const int w = info->dst_w, sbpp = sf.bpp(), dbpp = df.bpp();
            ForRows(
                *info,
                [&](const Uint8 *s, Uint8 *d) {
                    Unroll8(
                        w,
                        [&](int i) {
                            const Uint32 p = sf.Load(s + std::ptrdiff_t(i) * sbpp);
                            if constexpr (kKey) {
                                if (keyed(p))
                                    return;
                            }
                            Color c = sf.Expand(p);
                            if constexpr (!kCopyAlpha)
                                c.a = alpha;
                            df.Store(d + std::ptrdiff_t(i) * dbpp, df.Pack(c));
                        });
                });
        });
}

// RGB332 index of a colour.
inline Uint8 Index332(unsigned r, unsigned g, unsigned b)
{
    return Uint8(((r >> 5) << 5) | ((g >> 5) << 2) | (b >> 6));
}

template <bool kKey>
void ToIndexRows(JEX_BlitInfo *info)
{
    WithFormat(
        info->src_fmt,
        [info](auto sf) {
            const KeyTest keyed(*info);
            const Uint8 *table = info->table;
            const int w = info->dst_w, sbpp = sf.bpp();
            ForRows(
                *info,
                [&](const Uint8 *s, Uint8 *d) {
                    Unroll8(
                        w,
                        [&](int i) {
                            const Uint32 p = sf.Load(s + std::ptrdiff_t(i) * sbpp);
                            if constexpr (kKey) {
                                if (keyed(p))
                                    return;
                            }
                            const Color c = sf.Expand(p);
                            const Uint8 index = Index332(c.r, c.g, c.b);
                            d[i] = table ? table[index] : index;
                        });
                });
        });
}

template <bool kMap>
void RGB888ToIndex8(JEX_BlitInfo *info)
{
    const Uint8 *table = info->table;
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        Unroll8(w, [&](int i) {
            const Uint32 p = Load32(s + 4 * i);
            const Uint8 index = Uint8(((p >> 16) & 0xE0) | ((p >> 11) & 0x1C) | ((p >> 6) & 0x3));
            d[i] = kMap ? table[index] : index;
        });
    });
}

// Rows of 32-bit pixels to 16 bits by a fixed formula, with a vector
// kernel for the front of each row when one is active.
template <class Scalar>
void To16Rows(JEX_BlitInfo *info,
              int (*const JEX_SimdKernels::*kernel)(const Uint32 *, Uint16 *, int), Scalar convert)
{
    const JEX_SimdKernels *k = JEX_ActiveSimdKernels();
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        int i = 0;
        // The kernels work on naturally aligned pixels.
        if (k && (reinterpret_cast<std::uintptr_t>(s) & 3) == 0 &&
            (reinterpret_cast<std::uintptr_t>(d) & 1) == 0)
            i = (k->*kernel)(reinterpret_cast<const Uint32 *>(s), reinterpret_cast<Uint16 *>(d), w);
        for (; i < w; ++i)
            Store16(d + 2 * i, convert(Load32(s + 4 * i)));
    });
}

// Entry e of a 565 expansion table for a 32-bit layout given by the four
// channel shifts.
constexpr Uint32 Lut565Entry(int e, int rs, int gs, int bs, int as)
{
    const unsigned byte = unsigned(e) >> 1;
    if ((e & 1) == 0) {
        // Low byte gggbbbbb.
        const unsigned g = byte >> 5, b = byte & 31;
        return (Uint32(4 * g) << gs) | (Uint32(b * 255 / 31) << bs);
    }
    // High byte rrrrrggg.
    const unsigned r = byte >> 3, g = byte & 7;
    return (Uint32(r * 255 / 31) << rs) | (Uint32(g * 8 * 255 / 63) << gs) | (Uint32(255) << as);
}

struct Lut {
    Uint32 v[512];
};

constexpr Lut MakeLut565(int rs, int gs, int bs, int as)
{
    Lut t{};
    for (int e = 0; e < 512; ++e)
        t.v[e] = Lut565Entry(e, rs, gs, bs, as);
    return t;
}

constexpr Lut kLutARGB = MakeLut565(16, 8, 0, 24);
constexpr Lut kLutABGR = MakeLut565(0, 8, 16, 24);
constexpr Lut kLutRGBA = MakeLut565(24, 16, 8, 0);
constexpr Lut kLutBGRA = MakeLut565(8, 16, 24, 0);
static_assert(kLutARGB.v[2 * 0xFF] + kLutARGB.v[2 * 0xFF + 1] == 0xFFFFFEFFu);

void RGB565To32(JEX_BlitInfo *info, const Uint32 *lut, int kind)
{
    const JEX_SimdKernels *k = JEX_ActiveSimdKernels();
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        int i = 0;
        if (k && (reinterpret_cast<std::uintptr_t>(s) & 1) == 0 &&
            (reinterpret_cast<std::uintptr_t>(d) & 3) == 0)
            i = k->rgb565_to_32(reinterpret_cast<const Uint16 *>(s), reinterpret_cast<Uint32 *>(d),
                                w, kind);
        for (; i < w; ++i) {
            const Uint16 p = Load16(s + 2 * i);
            Store32(d + 4 * i, lut[2 * (p & 0xFF)] + lut[2 * (p >> 8) + 1]);
        }
    });
}

}  // namespace

void JEX_BlitNtoN(JEX_BlitInfo *info)
{
    ConvertRows<false, false>(info);
}
void JEX_BlitNtoNCopyAlpha(JEX_BlitInfo *info)
{
    ConvertRows<false, true>(info);
}
void JEX_BlitNtoNKey(JEX_BlitInfo *info)
{
    ConvertRows<true, false>(info);
}
void JEX_BlitNtoNKeyCopyAlpha(JEX_BlitInfo *info)
{
    ConvertRows<true, true>(info);
}
void JEX_BlitNto1(JEX_BlitInfo *info)
{
    ToIndexRows<false>(info);
}
void JEX_BlitNto1Key(JEX_BlitInfo *info)
{
    ToIndexRows<true>(info);
}
void JEX_Blit_RGB888_index8(JEX_BlitInfo *info)
{
    RGB888ToIndex8<false>(info);
}
void JEX_Blit_RGB888_index8_map(JEX_BlitInfo *info)
{
    RGB888ToIndex8<true>(info);
}

// Equal colour masks: the colour bits move as they are. Without destination
// alpha the rest is cleared; with it the alpha is the source's when the
// source has alpha in the same place, else the modulation alpha.
void JEX_Blit4to4MaskAlpha(JEX_BlitInfo *info)
{
    const JEX_PixelFormat *sf = info->src_fmt, *df = info->dst_fmt;
    const Uint32 rgb = sf->rmask | sf->gmask | sf->bmask;
    Uint32 and_mask = rgb, or_mask = 0;
    if (df->amask) {
        if (sf->amask == df->amask)
            and_mask = rgb | sf->amask;
        else
            or_mask = (Uint32(info->a) >> df->aloss) << df->ashift;
    }
    const JEX_SimdKernels *k = JEX_ActiveSimdKernels();
    const auto row = [&](const Uint8 *s, Uint8 *d, int w) {
        int i = 0;
        if (k &&
            ((reinterpret_cast<std::uintptr_t>(s) | reinterpret_cast<std::uintptr_t>(d)) & 3) == 0)
            i = k->mask_or_32(reinterpret_cast<const Uint32 *>(s), reinterpret_cast<Uint32 *>(d), w,
                              and_mask, or_mask);
        for (; i < w; ++i)
            Store32(d + 4 * i, (Load32(s + 4 * i) & and_mask) | or_mask);
    };
    // Rows without gaps on both sides are one long row: a copy that changes
    // bits on the way, streamed at the speed of memory. (The pixel count
    // fits an int: the surfaces' extents do.)
    const int w = info->dst_w;
    if (info->src_pitch == 4 * w && info->dst_pitch == 4 * w) {
        row(info->src, info->dst, w * info->dst_h);
        return;
    }
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) { row(s, d, w); });
}

void JEX_Blit2to2Key(JEX_BlitInfo *info)
{
    const KeyTest keyed(*info);
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        Unroll8(w, [&](int i) {
            const Uint16 p = Load16(s + 2 * i);
            if (!keyed(p))
                Store16(d + 2 * i, p);
        });
    });
}

void JEX_Blit_RGB888_RGB565(JEX_BlitInfo *info)
{
    To16Rows(
        info, &JEX_SimdKernels::rgb888_to_565,
        [](Uint32 p) {
            return Uint16(((p >> 8) & 0xF800) | ((p >> 5) & 0x7E0) | ((p >> 3) & 0x1F));
        });
}

void JEX_Blit_RGB888_RGB555(JEX_BlitInfo *info)
{
    To16Rows(
        info, &JEX_SimdKernels::rgb888_to_555,
        [](Uint32 p) {
            return Uint16(((p >> 9) & 0x7C00) | ((p >> 6) & 0x3E0) | ((p >> 3) & 0x1F));
        });
}

void JEX_Blit_RGB565_ARGB8888(JEX_BlitInfo *info)
{
    RGB565To32(info, kLutARGB.v, 0);
}
void JEX_Blit_RGB565_ABGR8888(JEX_BlitInfo *info)
{
    RGB565To32(info, kLutABGR.v, 1);
}
void JEX_Blit_RGB565_RGBA8888(JEX_BlitInfo *info)
{
    RGB565To32(info, kLutRGBA.v, 2);
}
void JEX_Blit_RGB565_BGRA8888(JEX_BlitInfo *info)
{
    RGB565To32(info, kLutBGRA.v, 3);
}

// Colour-keyed 32-bit copies between formats with equal colour masks get the
// vector kernel too; everything else runs the general loop.
namespace {

void Key4to4Equal(JEX_BlitInfo *info, bool copy_alpha)
{
    const JEX_PixelFormat *sf = info->src_fmt, *df = info->dst_fmt;
    const Uint32 rgb = sf->rmask | sf->gmask | sf->bmask;
    Uint32 and_mask = rgb, or_mask = 0;
    if (df->amask) {
        if (copy_alpha)
            and_mask = rgb | sf->amask;
        else
            or_mask = (Uint32(info->a) >> df->aloss) << df->ashift;
    }
    const KeyTest keyed(*info);
    const JEX_SimdKernels *k = JEX_ActiveSimdKernels();
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        int i = 0;
        if (k &&
            ((reinterpret_cast<std::uintptr_t>(s) | reinterpret_cast<std::uintptr_t>(d)) & 3) == 0)
            i = k->key_mask_or_32(reinterpret_cast<const Uint32 *>(s),
                                  reinterpret_cast<Uint32 *>(d), w, keyed.mask, keyed.key, and_mask,
                                  or_mask);
        for (; i < w; ++i) {
            const Uint32 p = Load32(s + 4 * i);
            if (!keyed(p))
                Store32(d + 4 * i, (p & and_mask) | or_mask);
        }
    });
}

bool EqualColourMasks32(const JEX_PixelFormat *sf, const JEX_PixelFormat *df)
{
    // Colour channels of 8 bits: the packed colour bits are the expanded
    // values, so moving them is the conversion.
    return sf->bytes_per_pixel == 4 && df->bytes_per_pixel == 4 && sf->rmask == df->rmask &&
           sf->gmask == df->gmask && sf->bmask == df->bmask && sf->rloss == 0 && sf->gloss == 0 &&
           sf->bloss == 0 && (sf->rmask | sf->gmask | sf->bmask) != 0 &&
           sf->format != JEX_PIXELFORMAT_ARGB2101010 && df->format != JEX_PIXELFORMAT_ARGB2101010;
}

void BlitNtoNKeyFast(JEX_BlitInfo *info)
{
    if (EqualColourMasks32(info->src_fmt, info->dst_fmt))
        Key4to4Equal(info, false);
    else
        JEX_BlitNtoNKey(info);
}

void BlitNtoNKeyCopyAlphaFast(JEX_BlitInfo *info)
{
    // Between equal formats the pixel moves whole, which also keeps the low
    // bits of channels wider than 8 bits (ARGB2101010).
    if ((EqualColourMasks32(info->src_fmt, info->dst_fmt) ||
         (info->src_fmt->format == info->dst_fmt->format && info->src_fmt->bytes_per_pixel == 4)) &&
        info->src_fmt->amask == info->dst_fmt->amask)
        Key4to4Equal(info, true);
    else
        JEX_BlitNtoNKeyCopyAlpha(info);
}

// ---------------------------------------------------------------------------
// Selection

enum AlphaCase : unsigned { kNoAlpha = 1, kSetAlpha = 2, kCopyAlpha = 4 };

struct NormalEntry {
    Uint32 srcR, srcG, srcB;
    int dstbpp;  // 0 ends a list
    Uint32 dstR, dstG, dstB;
    Uint32 features;
    JEX_BlitFunc func;
    unsigned alpha;
};

// Rows for AltiVec routines are absent: that unit does not exist on this
// processor; the vector kernels work inside the scalar routines instead.
constexpr NormalEntry kNormal1[] = {{0, 0, 0, 0, 0, 0, 0, 0, nullptr, 0}};
constexpr NormalEntry kNormal2[] = {
    {0xF800, 0x7E0, 0x1F, 4, 0xFF0000, 0xFF00, 0xFF, 0, JEX_Blit_RGB565_ARGB8888, kSetAlpha},
    {0xF800, 0x7E0, 0x1F, 4, 0xFF, 0xFF00, 0xFF0000, 0, JEX_Blit_RGB565_ABGR8888, kSetAlpha},
    {0xF800, 0x7E0, 0x1F, 4, 0xFF000000, 0xFF0000, 0xFF00, 0, JEX_Blit_RGB565_RGBA8888, kSetAlpha},
    {0xF800, 0x7E0, 0x1F, 4, 0xFF00, 0xFF0000, 0xFF000000, 0, JEX_Blit_RGB565_BGRA8888, kSetAlpha},
    {0, 0, 0, 0, 0, 0, 0, 0, JEX_BlitNtoN, 0},
};
constexpr NormalEntry kNormal3[] = {{0, 0, 0, 0, 0, 0, 0, 0, JEX_BlitNtoN, 0}};
constexpr NormalEntry kNormal4[] = {
    {0xFF0000, 0xFF00, 0xFF, 2, 0xF800, 0x7E0, 0x1F, 0, JEX_Blit_RGB888_RGB565, kNoAlpha},
    {0xFF0000, 0xFF00, 0xFF, 2, 0x7C00, 0x3E0, 0x1F, 0, JEX_Blit_RGB888_RGB555, kNoAlpha},
    {0, 0, 0, 0, 0, 0, 0, 0, JEX_BlitNtoN, 0},
};
constexpr const NormalEntry *kNormal[] = {nullptr, kNormal1, kNormal2, kNormal3, kNormal4};

bool MaskMatches(Uint32 want, Uint32 have)
{
    return want == 0 || want == have;
}

}  // namespace

JEX_BlitFunc JEX_CalculateBlitN(JEX_Surface *surface)
{
    const JEX_BlitMap *map = surface->map;
    const JEX_PixelFormat *sf = surface->format;
    const JEX_PixelFormat *df = map->dst->format;
    if (df->bits_per_pixel < 8)
        return nullptr;
    const Uint32 flags = JEX_SelectionFlags(map);
    const int sbpp = sf->bytes_per_pixel, dbpp = df->bytes_per_pixel;

    if (flags == 0) {
        if (df->bits_per_pixel == 8) {
            if (sbpp == 4 && sf->rmask == 0xFF0000 && sf->gmask == 0xFF00 && sf->bmask == 0xFF)
                return map->info.table ? JEX_Blit_RGB888_index8_map : JEX_Blit_RGB888_index8;
            return JEX_BlitNto1;
        }
        if (sbpp < 1 || sbpp > 4)
            return nullptr;
        const unsigned alpha = !df->amask ? kNoAlpha : sf->amask ? kCopyAlpha : kSetAlpha;
        const Uint32 features = JEX_ConversionBlitFeatures();
        const NormalEntry *e = kNormal[sbpp];
        for (; e->dstbpp != 0; ++e)
            if (MaskMatches(e->srcR, sf->rmask) && MaskMatches(e->srcG, sf->gmask) &&
                MaskMatches(e->srcB, sf->bmask) && e->dstbpp == dbpp &&
                MaskMatches(e->dstR, df->rmask) && MaskMatches(e->dstG, df->gmask) &&
                MaskMatches(e->dstB, df->bmask) && (e->alpha & alpha) &&
                (e->features & features) == e->features)
                break;
        JEX_BlitFunc f = e->func;
        if (f == JEX_BlitNtoN) {
            if (sbpp == 4 && dbpp == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
                sf->bmask == df->bmask)
                return JEX_Blit4to4MaskAlpha;
            if (alpha == kCopyAlpha)
                return JEX_BlitNtoNCopyAlpha;
        }
        return f;
    }
    if (flags == JEX_COPY_COLORKEY) {
        if (sbpp == 2 && map->identity)
            return JEX_Blit2to2Key;
        if (dbpp == 1)
            return JEX_BlitNto1Key;
        if (sf->amask && df->amask)
            return BlitNtoNKeyCopyAlphaFast;
        return BlitNtoNKeyFast;
    }
    return nullptr;
}

namespace {

Uint32 ReadFeatureWord(const char *name, Uint32 fallback)
{
    const char *env = std::getenv(name);
    if (!env)
        return fallback;
    unsigned v = 0;
    if (std::sscanf(env, "%u", &v) != 1)
        v = 0;
    return v;
}

}  // namespace

Uint32 JEX_ConversionBlitFeatures()
{
    static const Uint32 word = [] {
        // No level-3 cache query exists here; the query counts as failed.
        Uint32 fallback = 4;
        if (JEX_HasMMX())
            fallback |= 1;
        if (JEX_HasAltiVec())
            fallback |= 2;
        return ReadFeatureWord("JEX_ALTIVEC_BLIT_FEATURES", fallback);
    }();
    return word;
}
