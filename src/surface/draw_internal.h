// Shared machinery of the drawing primitives: the clip every primitive works
// in, the row fill entry point, the line stepper and the
// blended pixel operation generated per destination format.
#ifndef JEX_SURFACE_DRAW_INTERNAL_H
#define JEX_SURFACE_DRAW_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "JEX_draw.h"
#include "JEX_error.h"
#include "surface/blit_pixel.h"
#include "surface/simd.h"

namespace jex::draw {

// ---------------------------------------------------------------------------
// Clipping

// The rectangle a primitive may touch: the clip rectangle, kept inside the
// surface even if a caller wrote a larger one into the public record.
inline bool DrawableArea(const JEX_Surface *dst, JEX_Rect *area)
{
    const JEX_Rect bounds{0, 0, dst->w, dst->h};
    return JEX_IntersectRect(&dst->clip_rect, &bounds, area) == JEX_TRUE;
}

// The checks a rectangle fill starts with, in their order: -1 with a message
// naming fn for a bad surface, 0 when the clip leaves nothing to fill, 1 with
// the area to fill.
inline int FillArea(const JEX_Surface *dst, const JEX_Rect *rect, const char *fn, JEX_Rect *area)
{
    if (!dst) {
        JEX_SetError("Passed NULL destination surface");
        return -1;
    }
    if (!dst->format || dst->format->bits_per_pixel < 8) {
        JEX_SetError("%s(): Unsupported surface format", fn);
        return -1;
    }
    if (!DrawableArea(dst, area))
        return 0;
    if (rect && !JEX_IntersectRect(rect, area, area))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("%s(): You must lock the surface", fn);
        return -1;
    }
    return 1;
}

inline bool Inside(const JEX_Rect &r, int x, int y)
{
    return x >= r.x && y >= r.y && Sint64(x) < Sint64(r.x) + r.w && Sint64(y) < Sint64(r.y) + r.h;
}

inline Uint8 *PixelAddress(const JEX_Surface *dst, int x, int y)
{
    return static_cast<Uint8 *>(dst->pixels) + std::ptrdiff_t(y) * dst->pitch +
           std::ptrdiff_t(x) * dst->format->bytes_per_pixel;
}

// ---------------------------------------------------------------------------
// Solid fills

// Fills h rows of w pixels of bpp (1-4) bytes starting at dst, rows pitch
// bytes apart. The pixel's bytes in memory are those of color stored as a
// little-endian value of bpp bytes (so 3-byte pixels hold bits 0-7, 8-15,
// 16-23 at increasing addresses, matching the masks of the 3-byte formats).
void JEX_FillPixels(SimdPath path, Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp,
                    Uint32 color);

// ---------------------------------------------------------------------------
// Line stepping

// Steps the segment (x1, y1)-(x2, y2), already clipped, calling plot(p) for
// each pixel address and run(p, n) for horizontal runs of n pixels. With
// draw_end false, (x2, y2) is left out. Addresses advance by whole bytes so
// any pitch works, including one that is not a multiple of the pixel size.
template <class Plot, class Run>
inline void StepLine(const JEX_Surface *dst, int x1, int y1, int x2, int y2, bool draw_end,
                     Plot &&plot, Run &&run)
{
    const int bpp = dst->format->bytes_per_pixel;
    const std::ptrdiff_t pitch = dst->pitch;
    const int end = draw_end ? 1 : 0;
    if (y1 == y2) {
        int start = x1 < x2 ? x1 : x2;
        const int length = (x1 < x2 ? x2 - x1 : x1 - x2) + end;
        if (!draw_end && x1 > x2)
            start = x2 + 1;
        if (length > 0)
            run(PixelAddress(dst, start, y1), length);
        return;
    }
    if (x1 == x2) {
        int start = y1 < y2 ? y1 : y2;
        const int length = (y1 < y2 ? y2 - y1 : y1 - y2) + end;
        if (!draw_end && y1 > y2)
            start = y2 + 1;
        Uint8 *p = PixelAddress(dst, x1, start);
        for (int i = 0; i < length; ++i, p += pitch)
            plot(p);
        return;
    }
    const int dx = x2 > x1 ? x2 - x1 : x1 - x2;
    const int dy = y2 > y1 ? y2 - y1 : y1 - y2;
    if (dx == dy) {
        // Downwards from the upper end; when that is (x2, y2) and it is
        // excluded, start one step further.
        int x = x1, y = y1, xdir = x2 > x1 ? 1 : -1;
        int count = dy + end;
        if (y1 > y2) {
            x = x2;
            y = y2;
            xdir = -xdir;
            if (!draw_end) {
                x += xdir;
                ++y;
            }
        }
        Uint8 *p = PixelAddress(dst, x, y);
        const std::ptrdiff_t step = pitch + std::ptrdiff_t(xdir) * bpp;
        for (int i = 0; i < count; ++i, p += step)
            plot(p);
        return;
    }
    // Bresenham from (x1, y1).
    const bool ymajor = dx < dy;
    const int major = ymajor ? dy : dx, minor = ymajor ? dx : dy;
    int count = major + end;
    if (count < 1)
        return;
    const std::ptrdiff_t xstep = (x2 > x1 ? 1 : -1) * std::ptrdiff_t(bpp);
    const std::ptrdiff_t ystep = (y2 > y1 ? 1 : -1) * pitch;
    const std::ptrdiff_t major_step = ymajor ? ystep : xstep;
    const std::ptrdiff_t both_step = xstep + ystep;
    const int dinc1 = 2 * minor, dinc2 = 2 * (minor - major);
    int d = 2 * minor - major;
    Uint8 *p = PixelAddress(dst, x1, y1);
    for (int i = 0; i < count; ++i) {
        plot(p);
        if (d < 0) {
            d += dinc1;
            p += major_step;
        } else {
            d += dinc2;
            p += both_step;
        }
    }
}

// ---------------------------------------------------------------------------
// Blended pixel operation

enum class Mode { None, Blend, Add, Mod };

inline Mode ModeOf(JEX_BlendMode m)
{
    switch (m) {
    case JEX_BLENDMODE_BLEND: return Mode::Blend;
    case JEX_BLENDMODE_ADD: return Mode::Add;
    case JEX_BLENDMODE_MOD: return Mode::Mod;
    default: return Mode::None;
    }
}

// The source colour as the combination step sees it: premultiplied by alpha
// for BLEND and ADD.
struct BlendSource {
    unsigned r, g, b, a;
};

inline BlendSource MakeSource(Mode mode, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    BlendSource s{r, g, b, a};
    if (mode == Mode::Blend || mode == Mode::Add) {
        s.r = blit::Div255(s.r * s.a);
        s.g = blit::Div255(s.g * s.a);
        s.b = blit::Div255(s.b * s.a);
    }
    return s;
}

template <Mode M>
inline void CombineBlended(const BlendSource &s, blit::Color &d)
{
    if constexpr (M == Mode::Blend) {
        const unsigned inv = 255u - s.a;
        d.r = blit::Div255(inv * d.r) + s.r;
        d.g = blit::Div255(inv * d.g) + s.g;
        d.b = blit::Div255(inv * d.b) + s.b;
    } else if constexpr (M == Mode::Add) {
        d.r = d.r + s.r > 255u ? 255u : d.r + s.r;
        d.g = d.g + s.g > 255u ? 255u : d.g + s.g;
        d.b = d.b + s.b > 255u ? 255u : d.b + s.b;
    } else if constexpr (M == Mode::Mod) {
        d.r = blit::Div255(s.r * d.r);
        d.g = blit::Div255(s.g * d.g);
        d.b = blit::Div255(s.b * d.b);
    } else {
        d = blit::Color{s.r, s.g, s.b, s.a};
    }
}

// A destination format known at compile time (constant shifts and masks).
template <blit::Format F>
struct FixedFormat {
    static constexpr int bpp = F.bpp;
    blit::Color Expand(Uint32 p) const { return blit::ExpandT<F>(p); }
    Uint32 Pack(const blit::Color &c) const { return blit::PackT<F>(c); }
};

// Any other format, through its masks and the expansion tables.
template <int Bpp>
struct DynamicFormat {
    static constexpr int bpp = Bpp;
    blit::Format f;
    explicit DynamicFormat(const JEX_PixelFormat *fmt) : f(blit::MakeFormat(fmt)) {}
    blit::Color Expand(Uint32 p) const { return blit::Expand(p, f); }
    Uint32 Pack(const blit::Color &c) const { return blit::Pack(c, f); }
};

template <int Bpp>
inline Uint32 Load(const Uint8 *p)
{
    if constexpr (Bpp == 2) {
        Uint16 v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        Uint32 v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bpp>
inline void Store(Uint8 *p, Uint32 v)
{
    if constexpr (Bpp == 2) {
        const Uint16 w = Uint16(v);
        std::memcpy(p, &w, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// One destination pixel under mode M.
template <Mode M, class Fmt>
inline void BlendPixel(const Fmt &fmt, const BlendSource &s, Uint8 *p)
{
    blit::Color d{};
    if constexpr (M != Mode::None)
        d = fmt.Expand(Load<Fmt::bpp>(p));
    CombineBlended<M>(s, d);
    Store<Fmt::bpp>(p, fmt.Pack(d));
}

// The routine families, chosen by destination format.
enum class Family { RGB555, RGB565, RGB888, ARGB8888, Generic2, Generic4, Unsupported };

inline constexpr blit::Format kRGB555 = blit::MakeFormat(2, 0x7C00, 0x03E0, 0x001F, 0);
inline constexpr blit::Format kRGB565 = blit::MakeFormat(2, 0xF800, 0x07E0, 0x001F, 0);
inline constexpr blit::Format kRGB888 = blit::MakeFormat(4, 0xFF0000, 0xFF00, 0xFF, 0);
inline constexpr blit::Format kARGB8888 = blit::MakeFormat(4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);

inline bool MasksAre(const JEX_PixelFormat *f, Uint32 r, Uint32 g, Uint32 b, Uint32 a)
{
    return f->rmask == r && f->gmask == g && f->bmask == b && f->amask == a;
}

// Family of the fills and points: the fixed layouts, then the generic
// routines (4 bytes with alpha, 2 or 4 bytes without).
inline Family FillFamily(const JEX_PixelFormat *f)
{
    const int bytes = f->bytes_per_pixel;
    if (bytes == 2 && MasksAre(f, 0x7C00, 0x03E0, 0x001F, 0))
        return Family::RGB555;
    if (bytes == 2 && MasksAre(f, 0xF800, 0x07E0, 0x001F, 0))
        return Family::RGB565;
    if (bytes == 4 && MasksAre(f, 0xFF0000, 0xFF00, 0xFF, 0))
        return Family::RGB888;
    if (bytes == 4 && MasksAre(f, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u))
        return Family::ARGB8888;
    if (f->amask)
        return bytes == 4 ? Family::Generic4 : Family::Unsupported;
    if (bytes == 2)
        return Family::Generic2;
    return bytes == 4 ? Family::Generic4 : Family::Unsupported;
}

// Family of the lines: chosen by pixel size; any 2- or 4-byte format.
inline Family LineFamily(const JEX_PixelFormat *f)
{
    const int bytes = f->bytes_per_pixel;
    if (bytes != 2 && bytes != 4)
        return Family::Unsupported;
    const Family fam = FillFamily(f);
    return fam == Family::Unsupported ? (bytes == 2 ? Family::Generic2 : Family::Generic4) : fam;
}

// Calls fn(fmt) with the format object of the family (fam not Unsupported).
template <class Fn>
inline decltype(auto) WithFamily(Family fam, const JEX_PixelFormat *f, Fn &&fn)
{
    switch (fam) {
    case Family::RGB555: return fn(FixedFormat<kRGB555>{});
    case Family::RGB565: return fn(FixedFormat<kRGB565>{});
    case Family::RGB888: return fn(FixedFormat<kRGB888>{});
    case Family::ARGB8888: return fn(FixedFormat<kARGB8888>{});
    case Family::Generic2: return fn(DynamicFormat<2>(f));
    default: return fn(DynamicFormat<4>(f));
    }
}

// Calls fn.template operator()<M>() with the mode as a constant.
template <class Fn>
inline decltype(auto) WithMode(Mode m, Fn &&fn)
{
    switch (m) {
    case Mode::Blend: return fn.template operator()<Mode::Blend>();
    case Mode::Add: return fn.template operator()<Mode::Add>();
    case Mode::Mod: return fn.template operator()<Mode::Mod>();
    default: return fn.template operator()<Mode::None>();
    }
}

// The lane form of the blended operation for f (see JEX_LaneOp): for the
// colour lanes (mul, add) is (255 - a, s) under BLEND, (255, s) under ADD and
// (s, 0) under MOD; an alpha lane is kept with (255, 0) and an unused byte is
// cleared with (0, 0), exactly as packing the format would. False when f's
// channels are not whole bytes of a 4-byte pixel (or mode is NONE, which is a
// plain fill).
bool JEX_MakeLaneOp(const JEX_PixelFormat *f, Mode mode, const BlendSource &s, JEX_LaneOp *op);

// Fills rows of the area with the blended operation; the SIMD paths cover
// BLEND, ADD and MOD on 8-bit-channel 32-bit formats (blend_fill.cpp).
int JEX_BlendFillArea(JEX_Surface *dst, Family fam, const JEX_Rect &area, Mode mode,
                      const BlendSource &s);

}  // namespace jex::draw

#endif
