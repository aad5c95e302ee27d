// Alpha blending: per-pixel and surface alpha onto any packed or 8-bit
// destination, and the fixed-layout members (8888 onto 8888, 8888 onto
// 565/555, 565/555 onto themselves) that blend several channels in one
// integer operation. Their selector.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_pixel.h"
#include "surface/pixels_internal.h"

using namespace jex::blit;

namespace {

// Per-pixel alpha: d + (s - d) x a / 255 on the colour channels, the
// destination alpha kept; a transparent source pixel is skipped.
void PixelAlphaRows(JEX_BlitInfo *info)
{
    WithFormats(
        *info,
        [info](auto sf, auto df) {
            const int w = info->dst_w, sbpp = sf.bpp(), dbpp = df.bpp();
            ForRows(
                *info,
                [&](const Uint8 *s, Uint8 *d) {
                    Unroll4(
                        w,
                        [&](int i) {
                            const Color c = sf.Expand(sf.Load(s + std::ptrdiff_t(i) * sbpp));
                            if (c.a == 0)
                                return;
                            Uint8 *dp = d + std::ptrdiff_t(i) * dbpp;
                            Color dc = df.Expand(df.Load(dp));
                            dc.r = BlendChannel(c.r, dc.r, c.a);
                            dc.g = BlendChannel(c.g, dc.g, c.a);
                            dc.b = BlendChannel(c.b, dc.b, c.a);
                            df.Store(dp, df.Pack(dc));
                        });
                });
        });
}

// Surface alpha: the modulation alpha for every pixel, destination alpha
// set to opaque. Alpha 0 draws nothing.
template <bool kKey>
void SurfaceAlphaRows(JEX_BlitInfo *info)
{
    const unsigned a = info->a;
    if (a == 0)
        return;
    WithFormats(*info, [info, a](auto sf, auto df) {
        const KeyTest keyed(*info);
        const int w = info->dst_w, sbpp = sf.bpp(), dbpp = df.bpp();
        ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
            Unroll4(w, [&](int i) {
                const Uint32 p = sf.Load(s + std::ptrdiff_t(i) * sbpp);
                if constexpr (kKey) {
                    if (keyed(p))
                        return;
                }
                const Color c = sf.Expand(p);
                Uint8 *dp = d + std::ptrdiff_t(i) * dbpp;
                Color dc = df.Expand(df.Load(dp));
                dc.r = BlendChannel(c.r, dc.r, a);
                dc.g = BlendChannel(c.g, dc.g, a);
                dc.b = BlendChannel(c.b, dc.b, a);
                dc.a = 255;
                df.Store(dp, df.Pack(dc));
            });
        });
    });
}

// Colour of an 8-bit destination pixel: its palette entry, or the pixel read
// in its own format when it has no palette (RGB332).
struct IndexColours {
    Color c[256];
    explicit IndexColours(const JEX_PixelFormat *fmt)
    {
        const JEX_Palette *pal = fmt->palette;
        for (int i = 0; i < 256; ++i) {
            if (pal)
                if (i < pal->ncolors)
                    c[i] = Color{pal->colors[i].r, pal->colors[i].g, pal->colors[i].b, 255};
                else
                    c[i] = Color{0, 0, 0, 255};
            else
                c[i] = Expand(Uint32(i), MakeFormat(fmt));
        }
    }
};

// Blending onto an 8-bit destination, over the colour of the current pixel;
// the result is re-indexed as RGB332 and mapped through the table. A pixel
// whose alpha is 0 is left alone (re-indexing would change it).
template <bool kSurface, bool kKey>
void To1AlphaRows(JEX_BlitInfo *info)
{
    if (kSurface && info->a == 0)
        return;
    const IndexColours dcol(info->dst_fmt);
    const Uint8 *table = info->table;
    WithFormat(info->src_fmt, [&](auto sf) {
        const KeyTest keyed(*info);
        const int w = info->dst_w, sbpp = sf.bpp();
        ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
            Unroll4(w, [&](int i) {
                const Uint32 p = sf.Load(s + std::ptrdiff_t(i) * sbpp);
                if constexpr (kKey) {
                    if (keyed(p))
                        return;
                }
                const Color c = sf.Expand(p);
                const unsigned a = kSurface ? info->a : c.a;
                if (a == 0)
                    return;
                const Color &dc = dcol.c[d[i]];
                const unsigned r = BlendChannel(c.r, dc.r, a);
                const unsigned g = BlendChannel(c.g, dc.g, a);
                const unsigned b = BlendChannel(c.b, dc.b, a);
                const Uint8 index = Uint8((r & 0xE0) | ((g >> 3) & 0x1C) | (b >> 6));
                d[i] = table ? table[index] : index;
            });
        });
    });
}

// Two channels per 32-bit operation: red and blue in one lane, green in
// the other, the product shifted by 8 with unsigned wrap-around.
inline Uint32 TwoLaneBlend(Uint32 s, Uint32 d, Uint32 a)
{
    const Uint32 rb = ((d & 0xFF00FF) + ((a * ((s & 0xFF00FF) - (d & 0xFF00FF))) >> 8)) & 0xFF00FF;
    const Uint32 g = ((d & 0xFF00) + ((a * ((s & 0xFF00) - (d & 0xFF00))) >> 8)) & 0xFF00;
    return rb | g;
}

inline Uint32 RGBPixelAlpha(Uint32 s, Uint32 d)
{
    const Uint32 a = s >> 24;
    if (a == 0)
        return d;
    if (a == 255)
        return (s & 0xFFFFFF) | (d & 0xFF000000);
    return TwoLaneBlend(s, d, a) | (d & 0xFF000000);
}

// 16-bit pixels spread over a 32-bit word so that the three channels blend
// with one multiply: green moves to the upper half.
template <Uint32 kSpread>
inline Uint16 Spread16Blend(Uint32 s, Uint32 d, Uint32 a5)
{
    s = (s | (s << 16)) & kSpread;
    d = (d | (d << 16)) & kSpread;
    d = (d + ((a5 * (s - d)) >> 5)) & kSpread;
    return Uint16((d >> 16) | d);
}

template <Uint32 kMask, Uint32 kSpread>
void Surface16Rows(JEX_BlitInfo *info)
{
    const Uint32 a = info->a;
    const int w = info->dst_w;
    if (a == 128) {
        // Half and half: the average of each channel, with the low bit the
        // two share.
        ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
            Unroll4(w, [&](int i) {
                const Uint32 sp = Load16(s + 2 * i), dp = Load16(d + 2 * i);
                Store16(d + 2 * i, Uint16((sp & dp & (~kMask & 0xFFFF)) +
                                          (((sp & kMask) + (dp & kMask)) >> 1)));
            });
        });
        return;
    }
    const Uint32 a5 = a >> 3;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        Unroll4(w, [&](int i) {
            Store16(d + 2 * i, Spread16Blend<kSpread>(Load16(s + 2 * i), Load16(d + 2 * i), a5));
        });
    });
}

// 8888 with alpha in the top byte onto 565 or 555 of the same channel order.
template <bool k565>
inline Uint16 ARGBto16PixelAlpha(Uint32 s, Uint16 d16)
{
    const Uint32 a5 = s >> 27;
    if (a5 == 0)
        return d16;
    if (a5 == 31) {
        if (k565)
            return Uint16(((s >> 8) & 0xF800) + ((s >> 5) & 0x7E0) + ((s >> 3) & 0x1F));
        return Uint16(((s >> 9) & 0x7C00) + ((s >> 6) & 0x3E0) + ((s >> 3) & 0x1F));
    }
    constexpr Uint32 spread = k565 ? 0x07E0F81F : 0x03E07C1F;
    Uint32 sp;
    if (k565)
        sp = ((s << 11) & 0x07E00000) + ((s >> 8) & 0xF800) + ((s >> 3) & 0x1F);
    else
        sp = ((s << 10) & 0x03E00000) + ((s >> 9) & 0x7C00) + ((s >> 3) & 0x1F);
    Uint32 d = (Uint32(d16) | (Uint32(d16) << 16)) & spread;
    d = (d + ((a5 * (sp - d)) >> 5)) & spread;
    return Uint16((d >> 16) | d);
}

template <bool k565>
void ARGBto16Rows(JEX_BlitInfo *info)
{
    const JEX_SimdKernels *k = k565 ? JEX_ActiveSimdKernels() : nullptr;
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        int i = 0;
        if (k && (reinterpret_cast<std::uintptr_t>(s) & 3) == 0 &&
            (reinterpret_cast<std::uintptr_t>(d) & 1) == 0)
            i = k->argb_to_565_pixel_alpha(reinterpret_cast<const Uint32 *>(s),
                                           reinterpret_cast<Uint16 *>(d), w);
        for (; i < w; ++i)
            Store16(d + 2 * i, ARGBto16PixelAlpha<k565>(Load32(s + 4 * i), Load16(d + 2 * i)));
    });
}

}  // namespace

void JEX_BlitNtoNPixelAlpha(JEX_BlitInfo *info)
{
    PixelAlphaRows(info);
}
void JEX_BlitNtoNSurfaceAlpha(JEX_BlitInfo *info)
{
    SurfaceAlphaRows<false>(info);
}
void JEX_BlitNtoNSurfaceAlphaKey(JEX_BlitInfo *info)
{
    SurfaceAlphaRows<true>(info);
}
void JEX_BlitNto1SurfaceAlpha(JEX_BlitInfo *info)
{
    To1AlphaRows<true, false>(info);
}
void JEX_BlitNto1PixelAlpha(JEX_BlitInfo *info)
{
    To1AlphaRows<false, false>(info);
}
void JEX_BlitNto1SurfaceAlphaKey(JEX_BlitInfo *info)
{
    To1AlphaRows<true, true>(info);
}

void JEX_BlitRGBtoRGBPixelAlpha(JEX_BlitInfo *info)
{
    const JEX_SimdKernels *k = JEX_ActiveSimdKernels();
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        int i = 0;
        if (k &&
            ((reinterpret_cast<std::uintptr_t>(s) | reinterpret_cast<std::uintptr_t>(d)) & 3) == 0)
            i = k->rgb_pixel_alpha(reinterpret_cast<const Uint32 *>(s),
                                   reinterpret_cast<Uint32 *>(d), w);
        for (; i < w; ++i)
            Store32(d + 4 * i, RGBPixelAlpha(Load32(s + 4 * i), Load32(d + 4 * i)));
    });
}

void JEX_BlitRGBtoRGBSurfaceAlpha(JEX_BlitInfo *info)
{
    const Uint32 a = info->a;
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        Unroll4(w, [&](int i) {
            const Uint32 sp = Load32(s + 4 * i), dp = Load32(d + 4 * i);
            Uint32 out;
            if (a == 128)
                out = (((sp & 0xFEFEFE) + (dp & 0xFEFEFE)) >> 1) + (sp & dp & 0x010101);
            else
                out = TwoLaneBlend(sp, dp, a);
            Store32(d + 4 * i, out | 0xFF000000);
        });
    });
}

void JEX_Blit565to565SurfaceAlpha(JEX_BlitInfo *info)
{
    Surface16Rows<0xF7DE, 0x07E0F81F>(info);
}
void JEX_Blit555to555SurfaceAlpha(JEX_BlitInfo *info)
{
    Surface16Rows<0xFBDE, 0x03E07C1F>(info);
}
void JEX_BlitARGBto565PixelAlpha(JEX_BlitInfo *info)
{
    ARGBto16Rows<true>(info);
}
void JEX_BlitARGBto555PixelAlpha(JEX_BlitInfo *info)
{
    ARGBto16Rows<false>(info);
}

JEX_BlitFunc JEX_CalculateBlitA(JEX_Surface *surface)
{
    const JEX_BlitMap *map = surface->map;
    const JEX_PixelFormat *sf = surface->format;
    const JEX_PixelFormat *df = map->dst->format;
    const Uint32 flags = JEX_SelectionFlags(map);
    const int sbpp = sf->bytes_per_pixel, dbpp = df->bytes_per_pixel;
    if (df->bits_per_pixel < 8)
        return nullptr;

    if (flags == (JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND)) {
        if (sf->amask)
            return nullptr;
        if (dbpp == 1)
            return JEX_BlitNto1SurfaceAlpha;
        if (dbpp == 2 && map->identity) {
            if (df->gmask == 0x7E0)
                return JEX_Blit565to565SurfaceAlpha;
            if (df->gmask == 0x3E0)
                return JEX_Blit555to555SurfaceAlpha;
        }
        if (dbpp == 4 && sbpp == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
            sf->bmask == df->bmask && (sf->rmask | sf->gmask | sf->bmask) == 0xFFFFFF)
            return JEX_BlitRGBtoRGBSurfaceAlpha;
        return JEX_BlitNtoNSurfaceAlpha;
    }
    if (flags == (JEX_COPY_COLORKEY | JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND)) {
        if (sf->amask)
            return nullptr;
        if (dbpp == 1)
            return JEX_BlitNto1SurfaceAlphaKey;
        return JEX_BlitNtoNSurfaceAlphaKey;
    }
    if (flags == JEX_COPY_BLEND) {
        // The 565/555 members write no alpha bits, so they serve only
        // destinations without alpha.
        if (dbpp == 2 && sbpp == 4 && !df->amask && sf->amask == 0xFF000000 &&
            sf->gmask == 0xFF00 &&
            ((sf->rmask == 0xFF && df->rmask == 0x1F) ||
             (sf->bmask == 0xFF && df->bmask == 0x1F))) {
            if (df->gmask == 0x7E0)
                return JEX_BlitARGBto565PixelAlpha;
            if (df->gmask == 0x3E0)
                return JEX_BlitARGBto555PixelAlpha;
        }
        if (dbpp == 4 && sbpp == 4 && sf->rmask == df->rmask && sf->gmask == df->gmask &&
            sf->bmask == df->bmask && sf->amask == 0xFF000000)
            return JEX_BlitRGBtoRGBPixelAlpha;
        if (dbpp == 1)
            return JEX_BlitNto1PixelAlpha;
        return JEX_BlitNtoNPixelAlpha;
    }
    return nullptr;
}
