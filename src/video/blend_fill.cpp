// Blended rectangle fills. Formats whose channels are whole bytes of a
// 32-bit pixel go through the SSE2 or AVX2 lane kernels; everything else,
// and the plain path, through the routines generated per format family.
#include <emmintrin.h>

#include "video/draw_internal.h"

namespace jex::draw {

namespace {

void BlendLanesSSE2(Uint8 *row, std::ptrdiff_t pitch, int w, int h, const LaneOp &op)
{
    Uint64 mul4, add4;
    std::memcpy(&mul4, op.mul, 8);
    std::memcpy(&add4, op.add, 8);
    const __m128i mul = _mm_set1_epi64x(Sint64(mul4));
    const __m128i add = _mm_set1_epi64x(Sint64(add4));
    const __m128i div = _mm_set1_epi16(Sint16(0x8081));
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < h; ++y, row += pitch) {
        Uint8 *p = row;
        int x = 0;
        for (; x + 4 <= w; x += 4, p += 16) {
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), mul);
            __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), mul);
            // x / 255 for every 16-bit x is (x * 0x8081) >> 23.
            lo = _mm_add_epi16(_mm_srli_epi16(_mm_mulhi_epu16(lo, div), 7), add);
            hi = _mm_add_epi16(_mm_srli_epi16(_mm_mulhi_epu16(hi, div), 7), add);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_packus_epi16(lo, hi));
        }
        BlendLanes(p, w - x, op);
    }
}

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

bool JEX_MakeLaneOp(const JEX_PixelFormat *f, Mode mode, const BlendSource &s, LaneOp *op)
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
    const FillPath path = JEX_ActiveFillPath();
    LaneOp op;
    if (path != FillPath::Scalar && JEX_MakeLaneOp(dst->format, mode, s, &op)) {
        if (path == FillPath::AVX2)
            JEX_BlendLanesAVX2(row, dst->pitch, area.w, area.h, op);
        else
            BlendLanesSSE2(row, dst->pitch, area.w, area.h, op);
        return 0;
    }
    return WithFamily(fam, dst->format, [&](const auto &fmt) {
        using Fmt = std::decay_t<decltype(fmt)>;
        if (mode == Mode::None) {
            // Every pixel becomes the same value: a solid fill.
            blit::Color c{s.r, s.g, s.b, s.a};
            JEX_FillPixels(JEX_ActiveFillPath(), row, dst->pitch, area.w, area.h, Fmt::bpp,
                           fmt.Pack(c));
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
