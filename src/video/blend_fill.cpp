// Blended rectangle fills.
#include "video/draw_internal.h"

namespace jex::draw {

namespace {

template <Mode M, class Fmt>
void BlendRows(const Fmt &fmt, const BlendSource &s, Uint8 *row, std::ptrdiff_t pitch, int w,
               int h)
{
    for (int y = 0; y < h; ++y, row += pitch) {
        Uint8 *p = row;
        for (int x = 0; x < w; ++x, p += Fmt::bpp)
            BlendPixel<M>(fmt, s, p);
    }
}

}  // namespace

int JEX_BlendFillArea(JEX_Surface *dst, Family fam, const JEX_Rect &area, Mode mode,
                      const BlendSource &s)
{
    if (fam == Family::Unsupported) {
        JEX_Unsupported();
        return -1;
    }
    Uint8 *row = PixelAddress(dst, area.x, area.y);
    return WithFamily(fam, dst->format, [&](const auto &fmt) {
        using Fmt = std::decay_t<decltype(fmt)>;
        if (mode == Mode::None) {
            // Every pixel becomes the same value: a solid fill.
            blit::Color c{s.r, s.g, s.b, s.a};
            JEX_FillPixels(JEX_ActiveFillPath(), row, dst->pitch, area.w, area.h, Fmt::bpp,
                           fmt.Pack(c));
            return 0;
        }
        WithMode(mode, [&]<Mode M>() {
            BlendRows<M>(fmt, s, row, dst->pitch, area.w, area.h);
        });
        return 0;
    });
}

}  // namespace jex::draw

using namespace jex::draw;

extern "C" {

int JEX_BlendFillRect(JEX_Surface *dst, const JEX_Rect *rect, JEX_BlendMode blendMode, Uint8 r,
                      Uint8 g, Uint8 b, Uint8 a)
{
    if (!dst) {
        JEX_SetError("Passed NULL destination surface");
        return -1;
    }
    if (!dst->format || dst->format->bits_per_pixel < 8) {
        JEX_SetError("JEX_BlendFillRect(): Unsupported surface format");
        return -1;
    }
    JEX_Rect area;
    if (!DrawableArea(dst, &area))
        return 0;
    if (rect && !JEX_IntersectRect(rect, &area, &area))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_BlendFillRect(): You must lock the surface");
        return -1;
    }
    const Mode mode = ModeOf(blendMode);
    return JEX_BlendFillArea(dst, FillFamily(dst->format), area, mode,
                             MakeSource(mode, r, g, b, a));
}

int JEX_BlendFillRects(JEX_Surface *dst, const JEX_Rect *rects, int count,
                       JEX_BlendMode blendMode, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!dst) {
        JEX_SetError("Passed NULL destination surface");
        return -1;
    }
    if (!dst->format || dst->format->bits_per_pixel < 8) {
        JEX_SetError("JEX_BlendFillRects(): Unsupported surface format");
        return -1;
    }
    if (count < 1)
        return 0;
    if (!rects) {
        JEX_SetError("JEX_BlendFillRects() passed NULL rects");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip))
        return 0;
    const Family fam = FillFamily(dst->format);
    const Mode mode = ModeOf(blendMode);
    const BlendSource s = MakeSource(mode, r, g, b, a);
    int status = 0;
    for (int i = 0; i < count; ++i) {
        JEX_Rect area;
        if (!JEX_IntersectRect(&rects[i], &clip, &area))
            continue;
        if (!dst->pixels) {
            JEX_SetError("JEX_BlendFillRects(): You must lock the surface");
            return -1;
        }
        status = JEX_BlendFillArea(dst, fam, area, mode, s);
    }
    return status;
}

}  // extern "C"
