// The AVX2 instance of the fill kernel. Everything defined in this file is
// compiled for AVX2; it runs only after the processor was found to have it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "video/blit_pixel.h"
#include "video/draw_internal.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace jex::draw {

namespace {

using namespace jex;

#include "video/fill_kernel.h"

struct AVX2Vec {
    using reg = __m256i;
    static constexpr std::size_t width = 32;
    static reg load(const Uint8 *p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    static void store(Uint8 *p, reg v) { _mm256_store_si256(reinterpret_cast<__m256i *>(p), v); }
    static void storeu(Uint8 *p, reg v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
};

}  // namespace

void JEX_FillPixelsAVX2(Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp, Uint32 color)
{
    FillRowsWith<AVX2Vec>(dst, pitch, w, h, bpp, color);
    // Leave the upper register halves clean for SSE code that follows.
    _mm256_zeroupper();
}

}  // namespace jex::draw

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
