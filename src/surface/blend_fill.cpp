// Blended rectangle fills. Formats whose channels are whole bytes of a
// 32-bit pixel go through the vector lane kernel of the active path;
// everything else, and the scalar path, through the routines generated per
// format family.
#include "surface/draw_internal.h"

namespace jex::draw {

namespace {

// Byte lane (0-3) of a channel that is a whole byte, -1 for no channel, -2
// for a channel of any other shape.
int LaneOf(Uint32 mask)
{
    if (mask == 0)
        return -1;
    for (int k = 0; k < 4; ++k)
        if (mask == 0xFFu << (8 * k))
            return k;
    return -2;
}

template <Mode M, class Fmt>
void BlendRows(const Fmt &fmt, const BlendSource &s, Uint8 *row, std::ptrdiff_t pitch, int w, int h)
{
    for (int y = 0; y < h; ++y, row += pitch) {
        Uint8 *p = row;
        for (int x = 0; x < w; ++x, p += Fmt::bpp)
            BlendPixel<M>(fmt, s, p);
    }
}

}  // namespace

bool JEX_MakeLaneOp(const JEX_PixelFormat *f, Mode mode, const BlendSource &s, JEX_LaneOp *op)
{
    if (f->bytes_per_pixel != 4 || mode == Mode::None)
        return false;
    const int r = LaneOf(f->rmask), g = LaneOf(f->gmask), b = LaneOf(f->bmask),
              a = LaneOf(f->amask);
    if (r < 0 || g < 0 || b < 0 || a == -2)
        return false;
    for (int k = 0; k < 4; ++k) {
        op->mul[k] = 0;
        op->add[k] = 0;
    }
    if (a >= 0)
        op->mul[a] = 255;
    const int lanes[3] = {r, g, b};
    const unsigned src[3] = {s.r, s.g, s.b};
    for (int i = 0; i < 3; ++i) {
        const int k = lanes[i];
        switch (mode) {
        case Mode::Blend:
            op->mul[k] = Uint16(255 - s.a);
            op->add[k] = Uint16(src[i]);
            break;
        case Mode::Add:
            op->mul[k] = 255;
            op->add[k] = Uint16(src[i]);
            break;
        default:
            op->mul[k] = Uint16(src[i]);
            op->add[k] = 0;
            break;
        }
    }
    return true;
}

int JEX_BlendFillArea(JEX_Surface *dst, Family fam, const JEX_Rect &area, Mode mode,
                      const BlendSource &s)
{
    if (fam == Family::Unsupported) {
        JEX_Unsupported();
        return -1;
    }
    Uint8 *row = PixelAddress(dst, area.x, area.y);
    const SimdPath path = JEX_ActiveSimdPath();
    const JEX_SimdKernels *k = JEX_SimdKernelsFor(path);
    JEX_LaneOp op;
    if (k && JEX_MakeLaneOp(dst->format, mode, s, &op)) {
        k->blend_lanes(row, dst->pitch, area.w, area.h, op);
        return 0;
    }
    return WithFamily(fam, dst->format, [&](const auto &fmt) {
        using Fmt = std::decay_t<decltype(fmt)>;
        if (mode == Mode::None) {
            // Every pixel becomes the same value: a solid fill.
            blit::Color c{s.r, s.g, s.b, s.a};
            JEX_FillPixels(path, row, dst->pitch, area.w, area.h, Fmt::bpp, fmt.Pack(c));
            return 0;
        }
        WithMode(mode, [&]<Mode M>() { BlendRows<M>(fmt, s, row, dst->pitch, area.w, area.h); });
        return 0;
    });
}

}  // namespace jex::draw

using namespace jex::draw;

extern "C" {

int JEX_BlendFillRect(JEX_Surface *dst, const JEX_Rect *rect, JEX_BlendMode blendMode, Uint8 r,
                      Uint8 g, Uint8 b, Uint8 a)
{
    JEX_Rect area;
    if (const int ready = FillArea(dst, rect, "JEX_BlendFillRect", &area); ready <= 0)
        return ready;
    const Mode mode = ModeOf(blendMode);
    return JEX_BlendFillArea(dst, FillFamily(dst->format), area, mode,
                             MakeSource(mode, r, g, b, a));
}

int JEX_BlendFillRects(JEX_Surface *dst, const JEX_Rect *rects, int count, JEX_BlendMode blendMode,
                       Uint8 r, Uint8 g, Uint8 b, Uint8 a)
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
