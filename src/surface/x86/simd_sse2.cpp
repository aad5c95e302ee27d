// The SSE2 instance of the row kernels (SSE2 is always there on x86-64).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "surface/blit_family.h"
#include "surface/blit_pixel.h"
#include "surface/simd.h"

namespace {

using namespace jex;

struct SSE2 {
    using reg = __m128i;
    static constexpr int lanes32 = 4;
    static constexpr int lanes16 = 8;
    static constexpr std::size_t width = 16;
    template <class T>
    static reg load(const T *p)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    template <class T>
    static void store(T *p, reg v)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
    }
    static void store_aligned(Uint8 *p, reg v)
    {
        _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
    }
    static void finish() {}
    static reg zero() { return _mm_setzero_si128(); }
    static reg set64(Uint64 v) { return _mm_set1_epi64x(Sint64(v)); }
    static reg set32(Uint32 v) { return _mm_set1_epi32(int(v)); }
    static reg set16(unsigned v) { return _mm_set1_epi16(short(v)); }
    static reg and_(reg a, reg b) { return _mm_and_si128(a, b); }
    static reg or_(reg a, reg b) { return _mm_or_si128(a, b); }
    static reg andnot(reg a, reg b) { return _mm_andnot_si128(a, b); }
    // Counts are constants after inlining, so these are the immediate forms.
    static reg srli32(reg a, int n) { return _mm_srli_epi32(a, n); }
    static reg slli32(reg a, int n) { return _mm_slli_epi32(a, n); }
    static reg sll32(reg a, int n) { return _mm_slli_epi32(a, n); }
    static reg srli16(reg a, int n) { return _mm_srli_epi16(a, n); }
    static reg slli16(reg a, int n) { return _mm_slli_epi16(a, n); }
    static reg add16(reg a, reg b) { return _mm_add_epi16(a, b); }
    static reg sub32(reg a, reg b) { return _mm_sub_epi32(a, b); }
    static reg sub16(reg a, reg b) { return _mm_sub_epi16(a, b); }
    static reg mullo16(reg a, reg b) { return _mm_mullo_epi16(a, b); }
    static reg mulhi16(reg a, reg b) { return _mm_mulhi_epu16(a, b); }
    static reg cmpeq16(reg a, reg b) { return _mm_cmpeq_epi16(a, b); }
    static reg cmpeq32(reg a, reg b) { return _mm_cmpeq_epi32(a, b); }
    static reg unpacklo8(reg a, reg b) { return _mm_unpacklo_epi8(a, b); }
    static reg unpackhi8(reg a, reg b) { return _mm_unpackhi_epi8(a, b); }
    static reg unpacklo32(reg a, reg b) { return _mm_unpacklo_epi32(a, b); }
    static reg unpackhi32(reg a, reg b) { return _mm_unpackhi_epi32(a, b); }
    static reg packus16(reg a, reg b) { return _mm_packus_epi16(a, b); }
    // 32-bit lanes holding 16-bit values, narrowed in order.
    static reg pack32to16(reg a, reg b)
    {
        // Moved into the signed range, packed without saturating, moved back.
        const reg bias = _mm_set1_epi32(0x8000);
        return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias)),
                             _mm_set1_epi16(short(0x8000)));
    }
    static reg madd16(reg a, reg b) { return _mm_madd_epi16(a, b); }
    static void widen16(reg x, reg &lo, reg &hi)
    {
        lo = _mm_unpacklo_epi16(x, _mm_setzero_si128());
        hi = _mm_unpackhi_epi16(x, _mm_setzero_si128());
    }
    // mask ? a : b, for masks of whole lanes.
    static reg select(reg mask, reg a, reg b)
    {
        return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
    }
    static bool all_zero(reg a)
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128())) == 0xFFFF;
    }
    static bool all_ones(reg a) { return _mm_movemask_epi8(a) == 0xFFFF; }
};

#include "surface/fill_kernel.h"
#include "surface/x86/blit_kernels.h"

constexpr JEX_SimdKernels kSSE2 = MakeKernels<SSE2>();

}  // namespace

const JEX_SimdKernels *JEX_SimdKernelsSSE2()
{
    return &kSSE2;
}
