// Solid rectangle fills. The rows are written by one kernel instantiated for
// plain 64-bit words here and for SSE2 and AVX2 in surface/x86; the widest
// one allowed is chosen at run time, and all give the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "surface/draw_internal.h"

namespace jex::draw {

namespace {

struct ScalarWords {
    using reg = Uint64;
    static constexpr std::size_t width = 8;
    static reg load(const Uint8 *p)
    {
        reg v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(Uint8 *p, reg v) { std::memcpy(p, &v, sizeof v); }
    static void store_aligned(Uint8 *p, reg v) { std::memcpy(p, &v, sizeof v); }
    static void finish() {}
};

#include "surface/fill_kernel.h"

}  // namespace

void JEX_FillPixels(SimdPath path, Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp,
                    Uint32 color)
{
    if (w <= 0 || h <= 0 || bpp < 1 || bpp > 4)
        return;
    if (const JEX_SimdKernels *k = JEX_SimdKernelsFor(path))
        k->fill_rows(dst, pitch, w, h, bpp, color);
    else
        FillRowsWith<ScalarWords>(dst, pitch, w, h, bpp, color);
}

}  // namespace jex::draw

using namespace jex::draw;

extern "C" {

int JEX_FillRect(JEX_Surface *dst, const JEX_Rect *rect, Uint32 color)
{
    JEX_Rect area;
    if (const int ready = FillArea(dst, rect, "JEX_FillRect", &area); ready <= 0)
        return ready;
    const int bpp = dst->format->bytes_per_pixel;
    if (bpp < 1 || bpp > 4)
        return 0;
    JEX_FillPixels(JEX_ActiveSimdPath(), PixelAddress(dst, area.x, area.y), dst->pitch, area.w,
                   area.h, bpp, color);
    return 0;
}

int JEX_FillRects(JEX_Surface *dst, const JEX_Rect *rects, int count, Uint32 color)
{
    if (!rects) {
        JEX_SetError("JEX_FillRects() passed NULL rects");
        return -1;
    }
    // The first failure ends the call with -1 rather than a count of
    // failures; the checks that can fail come before any pixel is written.
    for (int i = 0; i < count; ++i)
        if (JEX_FillRect(dst, &rects[i], color) < 0)
            return -1;
    return 0;
}

}  // extern "C"
