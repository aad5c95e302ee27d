// The AVX2 lane kernel of the blended fills, eight pixels per step; compiled
// for AVX2 and run only after the processor was found to have it.
#include <immintrin.h>

#include "video/draw_internal.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace jex::draw {

void JEX_BlendLanesAVX2(Uint8 *row, std::ptrdiff_t pitch, int w, int h, const LaneOp &op)
{
    Uint64 mul4, add4;
    std::memcpy(&mul4, op.mul, 8);
    std::memcpy(&add4, op.add, 8);
    // Two pixels' worth of 16-bit lanes, in every 128-bit half.
    const __m256i mul = _mm256_set1_epi64x(Sint64(mul4));
    const __m256i add = _mm256_set1_epi64x(Sint64(add4));
    const __m256i div = _mm256_set1_epi16(Sint16(0x8081));
    const __m256i zero = _mm256_setzero_si256();
    for (int y = 0; y < h; ++y, row += pitch) {
        Uint8 *p = row;
        int x = 0;
        for (; x + 8 <= w; x += 8, p += 32) {
            const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
            __m256i lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), mul);
            __m256i hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), mul);
            // x / 255 for every 16-bit x is (x * 0x8081) >> 23.
            lo = _mm256_add_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(lo, div), 7), add);
            hi = _mm256_add_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(hi, div), 7), add);
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), _mm256_packus_epi16(lo, hi));
        }
        BlendLanes(p, w - x, op);
    }
    _mm256_zeroupper();
}

}  // namespace jex::draw

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
