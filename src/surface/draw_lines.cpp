// Solid lines and polylines.
#include "surface/draw_internal.h"

using namespace jex::draw;

namespace {

// The pixel routines of 1, 2 and 4 bytes; a horizontal run is a row fill.
template <int Bpp>
void DrawLineT(JEX_Surface *dst, int x1, int y1, int x2, int y2, Uint32 color, bool draw_end)
{
    StepLine(
        dst, x1, y1, x2, y2, draw_end,
        [color](Uint8 *p) {
            if constexpr (Bpp == 1) {
                *p = Uint8(color);
            } else if constexpr (Bpp == 2) {
                const Uint16 v = Uint16(color);
                std::memcpy(p, &v, 2);
            } else {
                std::memcpy(p, &color, 4);
            }
        },
        [color](Uint8 *p, int n) {
            if constexpr (Bpp == 1)
                std::memset(p, Uint8(color), std::size_t(n));
            else
                JEX_FillPixels(JEX_ActiveSimdPath(), p, 0, n, 1, Bpp, color);
        });
}

using LineFunc = void (*)(JEX_Surface *, int, int, int, int, Uint32, bool);

LineFunc ChooseLine(const JEX_PixelFormat *f)
{
    switch (f->bytes_per_pixel) {
    case 1: return f->bits_per_pixel >= 8 ? DrawLineT<1> : nullptr;
    case 2: return DrawLineT<2>;
    case 4: return DrawLineT<4>;
    default: return nullptr;
    }
}

}  // namespace

extern "C" {

int JEX_DrawLine(JEX_Surface *dst, int x1, int y1, int x2, int y2, Uint32 color)
{
    if (!dst) {
        JEX_SetError("JEX_DrawLine(): Passed NULL destination surface");
        return -1;
    }
    const LineFunc line = dst->format ? ChooseLine(dst->format) : nullptr;
    if (!line) {
        JEX_SetError("JEX_DrawLine(): Unsupported surface format");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip) || !JEX_IntersectRectAndLine(&clip, &x1, &y1, &x2, &y2))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_DrawLine(): You must lock the surface");
        return -1;
    }
    line(dst, x1, y1, x2, y2, color, true);
    return 0;
}

int JEX_DrawLines(JEX_Surface *dst, const JEX_Point *points, int count, Uint32 color)
{
    if (!dst) {
        JEX_SetError("JEX_DrawLines(): Passed NULL destination surface");
        return -1;
    }
    const LineFunc line = dst->format ? ChooseLine(dst->format) : nullptr;
    if (!line) {
        JEX_SetError("JEX_DrawLines(): Unsupported surface format");
        return -1;
    }
    if (count < 2)
        return 0;
    if (!points) {
        JEX_SetError("JEX_DrawLines() passed NULL points");
        return -1;
    }
    JEX_Rect clip;
    if (!DrawableArea(dst, &clip))
        return 0;
    if (!dst->pixels) {
        JEX_SetError("JEX_DrawLines(): You must lock the surface");
        return -1;
    }
    for (int i = 1; i < count; ++i) {
        int x1 = points[i - 1].x, y1 = points[i - 1].y;
        int x2 = points[i].x, y2 = points[i].y;
        if (!JEX_IntersectRectAndLine(&clip, &x1, &y1, &x2, &y2))
            continue;
        // Leave out the shared vertex; the next segment (or the closing
        // point below) draws it.
        const bool draw_end = x2 != points[i].x || y2 != points[i].y;
        line(dst, x1, y1, x2, y2, color, draw_end);
    }
    const JEX_Point &first = points[0], &last = points[count - 1];
    if (first.x != last.x || first.y != last.y)
        return JEX_DrawPoint(dst, last.x, last.y, color);
    return 0;
}

}  // extern "C"
