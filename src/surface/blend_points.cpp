// Blended points.
#include "surface/draw_internal.h"

using namespace jex::draw;

namespace {

// One point through the family's arithmetic; -1 for a family that has no
// routine for the surface's pixel size.
int BlendOne(JEX_Surface *dst, Family fam, Mode mode, const BlendSource &s, int x, int y)
{
    if (fam == Family::Unsupported) {
        JEX_Unsupported();
        return -1;
    }
    Uint8 *p = PixelAddress(dst, x, y);
    WithFamily(fam, dst->format, [&](const auto &fmt) {
        WithMode(mode, [&]<Mode M>() { BlendPixel<M>(fmt, s, p); });
    });
    return 0;
}

bool CheckBlendable(JEX_Surface *dst, const char *unsupported)
{
    if (!dst) {
        JEX_SetError("Passed NULL destination surface");
        return false;
    }
    if (!dst->format || dst->format->bits_per_pixel < 8) {
        JEX_SetError("%s", unsupported);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

int JEX_BlendPoint(JEX_Surface *dst, int x, int y, JEX_BlendMode blendMode, Uint8 r, Uint8 g,
                   Uint8 b, Uint8 a)
{
    if (!CheckBlendable(dst, "JEX_BlendPoint(): Unsupported surface format"))
        return -1;
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip) || !Inside(clip, x, y))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_BlendPoint(): You must lock the surface");
        return -1;
    }
    const Mode mode = ModeOf(blendMode);
    return BlendOne(dst, FillFamily(dst->format), mode, MakeSource(mode, r, g, b, a), x, y);
}

int JEX_BlendPoints(JEX_Surface *dst, const JEX_Point *points, int count, JEX_BlendMode blendMode,
                    Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!CheckBlendable(dst, "JEX_BlendPoints(): Unsupported surface format"))
        return -1;
    if (count < 1)
        return 0;
    if (!points) {
        JEX_SetError("JEX_BlendPoints() passed NULL points");
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
        if (!Inside(clip, points[i].x, points[i].y))
            continue;
        if (!dst->pixels) {
            JEX_SetError("JEX_BlendPoints(): You must lock the surface");
            return -1;
        }
        status = BlendOne(dst, fam, mode, s, points[i].x, points[i].y);
    }
    return status;
}

}  // extern "C"
