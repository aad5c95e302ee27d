// The SSE2 row kernels of the blitters (SSE2 is always there on x86-64) and
// the choice between the scalar, SSE2 and AVX2 kernels.
#include <atomic>
#include <cstddef>

#include <emmintrin.h>

#include "JEX_cpuinfo.h"
#include "cpuinfo_internal.h"
#include "video/blit_family.h"

namespace {

struct SSE2 {
    using reg = __m128i;
    static constexpr int lanes32 = 4;
    static constexpr int lanes16 = 8;
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
    static reg zero() { return _mm_setzero_si128(); }
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

#include "video/blit_kernels.h"

constexpr JEX_BlitKernels kSSE2 = MakeKernels<SSE2>();

// -1: automatic; otherwise a forced BlitPath.
std::atomic<int> g_forced{-1};

}  // namespace

const JEX_BlitKernels *JEX_BlitKernelsSSE2()
{
    return &kSSE2;
}

BlitPath JEX_ActiveBlitPath()
{
    const int forced = g_forced.load(std::memory_order_relaxed);
    if (forced >= 0) {
        const BlitPath p = BlitPath(forced);
        if (p == BlitPath::AVX2 && !JEX_HasAVX2())
            return BlitPath::SSE2;
        return p;
    }
    if (JEX_BlitUseAVX2())
        return BlitPath::AVX2;
    if (JEX_BlitUseSSE2())
        return BlitPath::SSE2;
    return BlitPath::Scalar;
}

void JEX_ForceBlitPath(BlitPath path)
{
    g_forced.store(int(path), std::memory_order_relaxed);
}

void JEX_ResetBlitPath()
{
    g_forced.store(-1, std::memory_order_relaxed);
}

const JEX_BlitKernels *JEX_ActiveBlitKernels()
{
    switch (JEX_ActiveBlitPath()) {
    case BlitPath::AVX2: return JEX_BlitKernelsAVX2();
    case BlitPath::SSE2: return &kSSE2;
    default: return nullptr;
    }
}
