// The AVX2 instance of the row kernels. Everything defined in this file is
// compiled for AVX2; it runs only after the processor was found to have it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "surface/blit_family.h"
#include "surface/blit_pixel.h"
#include "surface/simd.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

using namespace jex;

struct AVX2 {
    using reg = __m256i;
    static constexpr int lanes32 = 8;
    static constexpr int lanes16 = 16;
    static constexpr std::size_t width = 32;
    template <class T>
    static reg load(const T *p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    template <class T>
    static void store(T *p, reg v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v);
    }
    static void store_aligned(Uint8 *p, reg v)
    {
        _mm256_store_si256(reinterpret_cast<__m256i *>(p), v);
    }
    // Leaves the upper register halves clean for SSE code that follows.
    static void finish() { _mm256_zeroupper(); }
    static reg zero() { return _mm256_setzero_si256(); }
    static reg set64(Uint64 v) { return _mm256_set1_epi64x(Sint64(v)); }
    static reg set32(Uint32 v) { return _mm256_set1_epi32(int(v)); }
    static reg set16(unsigned v) { return _mm256_set1_epi16(short(v)); }
    static reg and_(reg a, reg b) { return _mm256_and_si256(a, b); }
    static reg or_(reg a, reg b) { return _mm256_or_si256(a, b); }
    static reg andnot(reg a, reg b) { return _mm256_andnot_si256(a, b); }
    // Counts are constants after inlining, so these are the immediate forms.
    static reg srli32(reg a, int n) { return _mm256_srli_epi32(a, n); }
    static reg slli32(reg a, int n) { return _mm256_slli_epi32(a, n); }
    static reg sll32(reg a, int n) { return _mm256_slli_epi32(a, n); }
    static reg srli16(reg a, int n) { return _mm256_srli_epi16(a, n); }
    static reg slli16(reg a, int n) { return _mm256_slli_epi16(a, n); }
    static reg add16(reg a, reg b) { return _mm256_add_epi16(a, b); }
    static reg sub32(reg a, reg b) { return _mm256_sub_epi32(a, b); }
    static reg sub16(reg a, reg b) { return _mm256_sub_epi16(a, b); }
    static reg mullo16(reg a, reg b) { return _mm256_mullo_epi16(a, b); }
    static reg mulhi16(reg a, reg b) { return _mm256_mulhi_epu16(a, b); }
    static reg cmpeq16(reg a, reg b) { return _mm256_cmpeq_epi16(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm256_cmpeq_epi32(a, b); }
    // The unpacks and packs work inside each 128-bit half; a byte round trip
    // through them keeps the order.
    static reg unpacklo8(reg a, reg b) { return _mm256_unpacklo_epi8(a, b); }
    static reg unpackhi8(reg a, reg b) { return _mm256_unpackhi_epi8(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm256_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm256_unpackhi_epi32(a, b); }
    static reg packus16(reg a, reg b) { return _mm256_packus_epi16(a, b); }
    static reg pack32to16(reg a, reg b)
    {
        // Values fit 16 bits unsigned; the 64-bit permute restores the order
        // the per-half pack leaves interleaved.
        return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
    }
    static reg madd16(reg a, reg b) { return _mm256_madd_epi16(a, b); }
    static void widen16(reg x, reg &lo, reg &hi)
    {
        const reg l = _mm256_unpacklo_epi16(x, _mm256_setzero_si256());
        const reg h = _mm256_unpackhi_epi16(x, _mm256_setzero_si256());
        lo = _mm256_permute2x128_si256(l, h, 0x20);
        hi = _mm256_permute2x128_si256(l, h, 0x31);
    }
    static reg select(reg mask, reg a, reg b) { return _mm256_blendv_epi8(b, a, mask); }
    static bool all_zero(reg a) { return _mm256_testz_si256(a, a) != 0; }
    static bool all_ones(reg a) { return _mm256_movemask_epi8(a) == -1; }
};

#include "surface/fill_kernel.h"
#include "surface/x86/blit_kernels.h"

constexpr JEX_SimdKernels kAVX2 = MakeKernels<AVX2>();

}  // namespace

const JEX_SimdKernels *JEX_SimdKernelsAVX2()
{
    return &kAVX2;
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
