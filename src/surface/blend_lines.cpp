// Blended lines and polylines: the solid lines' stepping with the blended
// pixel operation of the surface's family.
#include "surface/draw_internal.h"

using namespace jex::draw;

namespace {

void BlendSegment(JEX_Surface *dst, Family fam, Mode mode, const BlendSource &s, int x1, int y1,
                  int x2, int y2, bool draw_end)
{
    WithFamily(
        fam, dst->format,
        [&](const auto &fmt) {
            using Fmt = std::decay_t<decltype(fmt)>;
            WithMode(
                mode,
                [&]<Mode M>() {
                    StepLine(
                        dst, x1, y1, x2, y2, draw_end, [&](Uint8 *p) { BlendPixel<M>(fmt, s, p); },
                        [&](Uint8 *p, int n) {
                            for (int i = 0; i < n; ++i, p += Fmt::bpp)
                                BlendPixel<M>(fmt, s, p);
                        });
                });
        });
}

}  // namespace

extern "C" {

int JEX_BlendLine(JEX_Surface *dst, int x1, int y1, int x2, int y2, JEX_BlendMode blendMode,
                  Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!dst) {
        JEX_SetError("JEX_BlendLine(): Passed NULL destination surface");
        return -1;
    }
    const Family fam = dst->format ? LineFamily(dst->format) : Family::Unsupported;
    if (fam == Family::Unsupported) {
        JEX_SetError("JEX_BlendLine(): Unsupported surface format");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip) || !JEX_IntersectRectAndLine(&clip, &x1, &y1, &x2, &y2))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_BlendLine(): You must lock the surface");
        return -1;
    }
    const Mode mode = ModeOf(blendMode);
    BlendSegment(dst, fam, mode, MakeSource(mode, r, g, b, a), x1, y1, x2, y2, true);
    return 0;
}

int JEX_BlendLines(JEX_Surface *dst, const JEX_Point *points, int count, JEX_BlendMode blendMode,
                   Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!dst) {
        JEX_SetError("JEX_BlendLines(): Passed NULL destination surface");
        return -1;
    }
    const Family fam = dst->format ? LineFamily(dst->format) : Family::Unsupported;
    if (fam == Family::Unsupported) {
        JEX_SetError("JEX_BlendLines(): Unsupported surface format");
        return -1;
    }
    if (count < 2)
        return 0;
    if (!points) {
        JEX_SetError("JEX_BlendLines() passed NULL points");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_BlendLines(): You must lock the surface");
        return -1;
    }
    const Mode mode = ModeOf(blendMode);
    const BlendSource s = MakeSource(mode, r, g, b, a);
    for (int i = 1; i < count; ++i) {
        int x1 = points[i - 1].x, y1 = points[i - 1].y;
        int x2 = points[i].x, y2 = points[i].y;
        if (!JEX_IntersectRectAndLine(&clip, &x1, &y1, &x2, &y2))
            continue;
        const bool draw_end = x2 != points[i].x || y2 != points[i].y;
        BlendSegment(dst, fam, mode, s, x1, y1, x2, y2, draw_end);
    }
    // The last point of an open polyline, through the line's own family so
    // that formats the point routines lack (2-byte with alpha) are finished
    // rather than left one pixel short with an error.
    const JEX_Point &first = points[0], &last = points[count - 1];
    if ((first.x != last.x || first.y != last.y) && Inside(clip, last.x, last.y))
        BlendSegment(dst, fam, mode, s, last.x, last.y, last.x, last.y, true);
    return 0;
}

}  // extern "C"
