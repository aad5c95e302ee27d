// Per-pixel arithmetic shared by every blit routine: raw loads and stores by
// bytes per pixel, expansion of a pixel to 8-bit channels and packing back,
// colour and alpha modulation and the three blend operations. All of it is
// small inline functions so that routines specialised at compile time for a
// pair of formats and a set of copy flags compute exactly what the general
// routine computes.
#ifndef JEX_SURFACE_BLIT_PIXEL_H
#define JEX_SURFACE_BLIT_PIXEL_H

#include <cstddef>
#include <cstring>

#include "JEX_pixels.h"
#include "JEX_surface.h"
#include "surface/blit.h"
#include "surface/pixels_internal.h"

namespace jex::blit {

// Unaligned loads and stores of whole 16- and 32-bit pixels.
inline Uint32 Load32(const Uint8 *p)
{
    Uint32 v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store32(Uint8 *p, Uint32 v)
{
    std::memcpy(p, &v, 4);
}
inline Uint16 Load16(const Uint8 *p)
{
    Uint16 v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store16(Uint8 *p, Uint16 v)
{
    std::memcpy(p, &v, 2);
}

// Raw pixel value of a 1-, 2-, 3- or 4-byte pixel. 3-byte pixels are read as
// little-endian 24-bit values, so the masks of the 3-byte formats describe
// their bytes in memory order (and a colour key compares against this value).
inline Uint32 LoadPixel(const Uint8 *p, int bpp)
{
    switch (bpp) {
    case 1: return p[0];
    case 2: {
        Uint16 v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 3: return Uint32(p[0]) | (Uint32(p[1]) << 8) | (Uint32(p[2]) << 16);
    default: {
        Uint32 v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

inline void StorePixel(Uint8 *p, int bpp, Uint32 v)
{
    switch (bpp) {
    case 1: p[0] = Uint8(v); break;
    case 2: {
        const Uint16 w = Uint16(v);
        std::memcpy(p, &w, 2);
        break;
    }
    case 3:
        p[0] = Uint8(v);
        p[1] = Uint8(v >> 8);
        p[2] = Uint8(v >> 16);
        break;
    default: std::memcpy(p, &v, 4); break;
    }
}

// One channel of a packed format: its mask, and the shift and loss that
// bring it to and from 8 bits: value8 = expand[loss][(pixel & mask) >> shift]
// and bits = (value8 >> loss) << shift. A channel wider than 8 bits
// (ARGB2101010) is addressed by its top 8 bits (shift past the low bits,
// loss 0), as the format records describe it, so its low bits read and
// write as 0. A missing channel has mask 0 and loss 8.
struct Channel {
    Uint32 mask = 0;
    Uint8 shift = 0;
    Uint8 loss = 8;
};

constexpr Channel MakeChannel(Uint32 mask)
{
    Channel c;
    c.mask = mask;
    if (mask == 0)
        return c;
    Uint32 m = mask;
    unsigned shift = 0, bits = 0;
    while ((m & 1u) == 0) {
        m >>= 1;
        ++shift;
    }
    while ((m & 1u) != 0) {
        m >>= 1;
        ++bits;
    }
    if (bits > 8) {
        shift += bits - 8;
        bits = 8;
    }
    c.shift = Uint8(shift);
    c.loss = Uint8(8 - bits);
    return c;
}

// The parts of a format the arithmetic needs, in a form that can also be
// built at compile time from a format's masks.
struct Format {
    int bpp = 0;
    Channel r, g, b, a;
};

constexpr Format MakeFormat(int bpp, Uint32 rmask, Uint32 gmask, Uint32 bmask, Uint32 amask)
{
    Format f;
    f.bpp = bpp;
    f.r = MakeChannel(rmask);
    f.g = MakeChannel(gmask);
    f.b = MakeChannel(bmask);
    f.a = MakeChannel(amask);
    return f;
}

inline Format MakeFormat(const JEX_PixelFormat *fmt)
{
    return MakeFormat(fmt->bytes_per_pixel, fmt->rmask, fmt->gmask, fmt->bmask, fmt->amask);
}

// A channel's value scaled to 0..255 through the expansion tables (both
// ends exact). A missing channel reads as `absent`.
inline unsigned ExpandChannel(Uint32 pixel, const Channel &c, unsigned absent)
{
    if (c.mask == 0)
        return absent;
    return JEX_expand_byte[c.loss][(pixel & c.mask) >> c.shift];
}

// An 8-bit value placed in a channel: its top bits.
constexpr Uint32 PackChannel(unsigned v, const Channel &c)
{
    return ((Uint32(v) >> c.loss) << c.shift) & c.mask;
}

struct Color {
    unsigned r, g, b, a;
};

// Expands a pixel; formats without alpha read as opaque.
inline Color Expand(Uint32 pixel, const Format &f)
{
    return Color{ExpandChannel(pixel, f.r, 0), ExpandChannel(pixel, f.g, 0),
                 ExpandChannel(pixel, f.b, 0), ExpandChannel(pixel, f.a, 255)};
}

// Packs a colour; the alpha bits are written only when the format has alpha.
inline Uint32 Pack(const Color &c, const Format &f)
{
    Uint32 p = PackChannel(c.r, f.r) | PackChannel(c.g, f.g) | PackChannel(c.b, f.b);
    if (f.a.mask)
        p |= PackChannel(c.a, f.a);
    return p;
}

// The same two operations for a format fixed at compile time (a format is
// a structural type, so it can be a template argument). An 8-bit channel's
// expansion table is the identity, so it is read directly; every other
// channel goes through the same tables as above, so the results are equal.
template <Channel C>
inline unsigned ExpandChannelT(Uint32 pixel, unsigned absent)
{
    if constexpr (C.mask == 0)
        return absent;
    else if constexpr (C.loss == 0)
        return (pixel & C.mask) >> C.shift;
    else
        return JEX_expand_byte[C.loss][(pixel & C.mask) >> C.shift];
}

template <Format F>
inline Color ExpandT(Uint32 pixel)
{
    return Color{ExpandChannelT<F.r>(pixel, 0), ExpandChannelT<F.g>(pixel, 0),
                 ExpandChannelT<F.b>(pixel, 0), ExpandChannelT<F.a>(pixel, 255)};
}

template <Format F>
constexpr Uint32 PackT(const Color &c)
{
    Uint32 p = PackChannel(c.r, F.r) | PackChannel(c.g, F.g) | PackChannel(c.b, F.b);
    if constexpr (F.a.mask != 0)
        p |= PackChannel(c.a, F.a);
    return p;
}

// Channel products are divided by 255 with truncation.
constexpr unsigned Div255(unsigned x)
{
    return x / 255u;
}

// d + (s - d) x a / 255, the difference signed, the quotient truncated
// toward zero.
constexpr unsigned BlendChannel(unsigned s, unsigned d, unsigned a)
{
    return unsigned(int(d) + (int(s) - int(d)) * int(a) / 255);
}

// The modulation values of a blit.
struct Modulation {
    unsigned r, g, b, a;
};

// Steps 1 and 2 of a copy: colour and alpha modulation of the source.
inline void Modulate(Uint32 flags, const Modulation &m, Color &s)
{
    if (flags & JEX_COPY_MODULATE_COLOR) {
        s.r = Div255(s.r * m.r);
        s.g = Div255(s.g * m.g);
        s.b = Div255(s.b * m.b);
    }
    if (flags & JEX_COPY_MODULATE_ALPHA)
        s.a = Div255(s.a * m.a);
}

// Step 3: BLEND and ADD work on colours premultiplied by the source alpha;
// an opaque source is left as it is.
inline void Premultiply(Uint32 flags, Color &s)
{
    if ((flags & (JEX_COPY_BLEND | JEX_COPY_ADD)) && s.a < 255) {
        s.r = Div255(s.r * s.a);
        s.g = Div255(s.g * s.a);
        s.b = Div255(s.b * s.a);
    }
}

// Step 4: combines the (modulated, premultiplied) source with the
// destination. BLEND, ADD and MOD keep the destination alpha; without a
// blend mode the source replaces the destination, alpha included.
inline void Combine(Uint32 flags, const Color &s, Color &d)
{
    switch (flags & (JEX_COPY_BLEND | JEX_COPY_ADD | JEX_COPY_MOD)) {
    case JEX_COPY_BLEND: {
        const unsigned inv = 255u - s.a;
        d.r = s.r + Div255(d.r * inv);
        d.g = s.g + Div255(d.g * inv);
        d.b = s.b + Div255(d.b * inv);
        break;
    }
    case JEX_COPY_ADD:
        d.r = s.r + d.r > 255u ? 255u : s.r + d.r;
        d.g = s.g + d.g > 255u ? 255u : s.g + d.g;
        d.b = s.b + d.b > 255u ? 255u : s.b + d.b;
        break;
    case JEX_COPY_MOD:
        d.r = Div255(s.r * d.r);
        d.g = Div255(s.g * d.g);
        d.b = Div255(s.b * d.b);
        break;
    default: d = s; break;
    }
}

// Whether the destination's current value takes part in the result.
constexpr bool ReadsDestination(Uint32 flags)
{
    return (flags & (JEX_COPY_BLEND | JEX_COPY_ADD | JEX_COPY_MOD)) != 0;
}

// Modulation, premultiplication and combination of one pixel, in order.
inline void ApplyCopy(Uint32 flags, const Modulation &m, Color s, Color &d)
{
    Modulate(flags, m, s);
    Premultiply(flags, s);
    Combine(flags, s, d);
}

// A source pixel with alpha 0 under BLEND or ADD leaves the destination as
// it is; fast routines may skip it (the arithmetic above gives the same).
constexpr bool SkipsTransparent(Uint32 flags)
{
    return (flags & (JEX_COPY_BLEND | JEX_COPY_ADD)) != 0 && (flags & JEX_COPY_MOD) == 0;
}

// Nearest-neighbour stepping in 16.16 fixed point, computed in 64 bits so
// that large sizes cannot overflow. Destination index i reads source index
// (i x step) >> 16, which is always below the source size.
constexpr Uint64 ScaleStep(int src_size, int dst_size)
{
    return dst_size > 0 ? (Uint64(Uint32(src_size)) << 16) / Uint64(dst_size) : 0;
}

// Pixel access for the general loop below, either from a format record at
// run time or from a format fixed at compile time. Both expose the same
// three operations.
struct RuntimeFormat {
    Format f;
    explicit RuntimeFormat(const JEX_PixelFormat *fmt) : f(MakeFormat(fmt)) {}
    int bpp() const { return f.bpp; }
    Uint32 Load(const Uint8 *p) const { return LoadPixel(p, f.bpp); }
    void Store(Uint8 *p, Uint32 v) const { StorePixel(p, f.bpp, v); }
    Color Expand(Uint32 pixel) const { return jex::blit::Expand(pixel, f); }
    Uint32 Pack(const Color &c) const { return jex::blit::Pack(c, f); }
    const Format &fmt() const { return f; }
};

template <Format F>
struct StaticFormat {
    static constexpr int bpp() { return F.bpp; }
    static Uint32 Load(const Uint8 *p) { return LoadPixel(p, F.bpp); }
    static void Store(Uint8 *p, Uint32 v) { StorePixel(p, F.bpp, v); }
    static Color Expand(Uint32 pixel) { return ExpandT<F>(pixel); }
    static constexpr Uint32 Pack(const Color &c) { return PackT<F>(c); }
    static constexpr const Format &fmt() { return F; }
};

// Compile-time descriptions of the formats the families specialise for.
inline constexpr Format kARGB8888 = MakeFormat(4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
inline constexpr Format kRGB888 = MakeFormat(4, 0xFF0000, 0xFF00, 0xFF, 0);
inline constexpr Format kABGR8888 = MakeFormat(4, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
inline constexpr Format kBGR888 = MakeFormat(4, 0xFF, 0xFF00, 0xFF0000, 0);
inline constexpr Format kRGBA8888 = MakeFormat(4, 0xFF000000, 0xFF0000, 0xFF00, 0xFF);
inline constexpr Format kBGRA8888 = MakeFormat(4, 0xFF00, 0xFF0000, 0xFF000000, 0xFF);
inline constexpr Format kRGB565 = MakeFormat(2, 0xF800, 0x7E0, 0x1F, 0);
inline constexpr Format kRGB555 = MakeFormat(2, 0x7C00, 0x3E0, 0x1F, 0);

// Calls fn with the pixel access of a format: a compile-time one for the
// common formats, the run-time one for every other.
template <class Fn>
inline void WithFormat(const JEX_PixelFormat *fmt, Fn &&fn)
{
    switch (fmt->format) {
    case JEX_PIXELFORMAT_ARGB8888: fn(StaticFormat<kARGB8888>{}); return;
    case JEX_PIXELFORMAT_RGB888: fn(StaticFormat<kRGB888>{}); return;
    case JEX_PIXELFORMAT_ABGR8888: fn(StaticFormat<kABGR8888>{}); return;
    case JEX_PIXELFORMAT_BGR888: fn(StaticFormat<kBGR888>{}); return;
    case JEX_PIXELFORMAT_RGB565: fn(StaticFormat<kRGB565>{}); return;
    default: fn(RuntimeFormat(fmt)); return;
    }
}

// Both formats of a blit.
template <class Fn>
inline void WithFormats(const JEX_BlitInfo &info, Fn &&fn)
{
    WithFormat(
        info.src_fmt,
        [&](auto sf) {
            WithFormat(
                info.dst_fmt, [&](auto df) { fn(sf, df); });
        });
}

// Walks the rows of an unscaled blit: fn(source row, destination row).
template <class Fn>
inline void ForRows(const JEX_BlitInfo &info, Fn &&fn)
{
    const Uint8 *s = info.src;
    Uint8 *d = info.dst;
    for (int y = 0; y < info.dst_h; ++y, s += info.src_pitch, d += info.dst_pitch)
        fn(s, d);
}

// fn(i) for i in 0..w-1, eight per step, then the rest.
template <class Fn>
inline void Unroll8(int w, Fn &&fn)
{
    int i = 0;
    for (; i + 8 <= w; i += 8) {
        fn(i);
        fn(i + 1);
        fn(i + 2);
        fn(i + 3);
        fn(i + 4);
        fn(i + 5);
        fn(i + 6);
        fn(i + 7);
    }
    for (; i < w; ++i)
        fn(i);
}

// Four per step, then the rest (the alpha loops).
template <class Fn>
inline void Unroll4(int w, Fn &&fn)
{
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        fn(i);
        fn(i + 1);
        fn(i + 2);
        fn(i + 3);
    }
    for (; i < w; ++i)
        fn(i);
}

// The colour key test of the N and alpha families: alpha bits ignored.
struct KeyTest {
    Uint32 mask, key;
    KeyTest(const JEX_BlitInfo &info)
        : mask(~info.src_fmt->amask), key(info.colorkey & ~info.src_fmt->amask)
    {}
    bool operator()(Uint32 p) const { return (p & mask) == key; }
};

// The general blit loop: walks dst_h rows of dst_w destination pixels,
// picking source pixels by nearest neighbour in 16.16 fixed point (a plain
// step of one pixel when the sizes are equal), skipping keyed source pixels
// (raw value equal to the key) and applying the copy arithmetic. `flags` is
// a Uint32 or a std::integral_constant, so a routine specialised for a
// format pair and a flag set is this same loop with everything folded.
template <class SrcFormat, class DstFormat, class Flags>
inline void BlitPixels(const JEX_BlitInfo &info, const SrcFormat &sf, const DstFormat &df,
                       Flags flag_value)
{
    const Uint32 flags = flag_value;
    const Modulation mod{info.r, info.g, info.b, info.a};
    const bool keyed = (flags & JEX_COPY_COLORKEY) != 0;
    const Uint32 key = info.colorkey;
    const int sbpp = sf.bpp(), dbpp = df.bpp();
    const int dst_w = info.dst_w, dst_h = info.dst_h;
    const Uint64 incx = ScaleStep(info.src_w, dst_w);
    const Uint64 incy = ScaleStep(info.src_h, dst_h);

    Uint64 posy = 0;
    for (int y = 0; y < dst_h; ++y, posy += incy) {
        const Uint8 *srow = info.src + std::ptrdiff_t(posy >> 16) * info.src_pitch;
        Uint8 *d = info.dst + std::ptrdiff_t(y) * info.dst_pitch;
        Uint64 posx = 0;
        for (int x = 0; x < dst_w; ++x, posx += incx, d += dbpp) {
            const Uint32 sp = sf.Load(srow + std::ptrdiff_t(posx >> 16) * sbpp);
            if (keyed && sp == key)
                continue;
            Color dc{0, 0, 0, 255};
            if (ReadsDestination(flags))
                dc = df.Expand(df.Load(d));
            ApplyCopy(flags, mod, sf.Expand(sp), dc);
            df.Store(d, df.Pack(dc));
        }
    }
}

}  // namespace jex::blit

#endif
