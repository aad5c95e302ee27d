// Solid points.
#include "surface/draw_internal.h"

using namespace jex::draw;

namespace {

// Writes one pixel of 1, 2 or 4 bytes; 3-byte pixels are not drawn as
// points (the unsupported-operation error).
int PutPixel(JEX_Surface *dst, int x, int y, Uint32 color)
{
    const int bpp = dst->format->bytes_per_pixel;
    if (bpp == 3 || bpp < 1 || bpp > 4)
        return JEX_Unsupported(), -1;
    jex::blit::StorePixel(PixelAddress(dst, x, y), bpp, color);
    return 0;
}

bool CheckDrawable(JEX_Surface *dst, const char *unsupported)
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

bool CheckPixels(JEX_Surface *dst, const char *fn)
{
    if (dst->pixels)
        return true;
    JEX_SetError("%s(): You must lock the surface", fn);
    return false;
}

}  // namespace

extern "C" {

int JEX_DrawPoint(JEX_Surface *dst, int x, int y, Uint32 color)
{
    if (!CheckDrawable(dst, "JEX_DrawPoint(): Unsupported surface format"))
        return -1;
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip) || !Inside(clip, x, y))
        return 0;
    if (!CheckPixels(dst, "JEX_DrawPoint"))
        return -1;
    return PutPixel(dst, x, y, color);
}

int JEX_DrawPoints(JEX_Surface *dst, const JEX_Point *points, int count, Uint32 color)
{
    if (!CheckDrawable(dst, "JEX_DrawPoints(): Unsupported surface format"))
        return -1;
    if (count < 1)
        return 0;
    if (!points) {
        JEX_SetError("JEX_DrawPoints() passed NULL points");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip))
        return 0;
    for (int i = 0; i < count; ++i) {
        if (!Inside(clip, points[i].x, points[i].y))
            continue;
        if (!CheckPixels(dst, "JEX_DrawPoints") ||
            PutPixel(dst, points[i].x, points[i].y, color) < 0)
            return -1;
    }
    return 0;
}

}  // extern "C"
