// Solid rectangle fills. The rows are written by one kernel instantiated for
// plain 64-bit words, SSE2 and AVX2 (fill_avx2.cpp); the widest one the
// processor offers is chosen at run time, and all give the same bytes.
#include <atomic>

#include <emmintrin.h>

#include "cpuinfo_internal.h"
#include "video/draw_internal.h"

namespace jex::draw {

namespace {

#include "video/fill_kernel.h"

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
    static void storeu(Uint8 *p, reg v) { std::memcpy(p, &v, sizeof v); }
};

struct SSE2Vec {
    using reg = __m128i;
    static constexpr std::size_t width = 16;
    static reg load(const Uint8 *p)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    static void store(Uint8 *p, reg v) { _mm_store_si128(reinterpret_cast<__m128i *>(p), v); }
    static void storeu(Uint8 *p, reg v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
};

// -1: automatic; otherwise a forced FillPath.
std::atomic<int> g_forced{-1};

}  // namespace

FillPath JEX_ActiveFillPath()
{
    const int forced = g_forced.load(std::memory_order_relaxed);
    if (forced >= 0) {
        FillPath p = FillPath(forced);
        if (p == FillPath::AVX2 && !JEX_HasAVX2())
            p = FillPath::SSE2;
        return p;
    }
    if (JEX_BlitUseAVX2())
        return FillPath::AVX2;
    if (JEX_BlitUseSSE2())
        return FillPath::SSE2;
    return FillPath::Scalar;
}

void JEX_ForceFillPath(FillPath path)
{
    g_forced.store(int(path), std::memory_order_relaxed);
}

void JEX_ResetFillPath()
{
    g_forced.store(-1, std::memory_order_relaxed);
}

void JEX_FillPixels(FillPath path, Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp,
                    Uint32 color)
{
    if (w <= 0 || h <= 0 || bpp < 1 || bpp > 4)
        return;
    switch (path) {
    case FillPath::AVX2:
        if (JEX_HasAVX2()) {
            JEX_FillPixelsAVX2(dst, pitch, w, h, bpp, color);
            return;
        }
        [[fallthrough]];
    case FillPath::SSE2: FillRowsWith<SSE2Vec>(dst, pitch, w, h, bpp, color); return;
    default: FillRowsWith<ScalarWords>(dst, pitch, w, h, bpp, color); return;
    }
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
    JEX_FillPixels(JEX_ActiveFillPath(), PixelAddress(dst, area.x, area.y), dst->pitch, area.w,
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
