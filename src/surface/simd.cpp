// The choice between the scalar, SSE2 and AVX2 kernels, made in one place.
#include "surface/simd.h"

#include <atomic>

#include "cpuinfo_internal.h"

namespace {

// -1: automatic; otherwise a forced SimdPath. Read and written from any
// thread, hence atomic; it only ever holds a whole value.
std::atomic<int> g_forced_path{-1};

// The widest built path not wider than the one asked for that this
// processor runs.
SimdPath Available(SimdPath wanted)
{
#if JEX_SIMD_X86
    if (wanted == SimdPath::AVX2 && !JEX_HasAVX2())
        wanted = SimdPath::SSE2;
    if (wanted == SimdPath::SSE2 && !JEX_HasSSE2())
        wanted = SimdPath::Scalar;
    return wanted;
#else
    (void)wanted;
    return SimdPath::Scalar;
#endif
}

}  // namespace

SimdPath JEX_ActiveSimdPath()
{
    const int forced = g_forced_path.load(std::memory_order_relaxed);
    if (forced >= 0)
        return Available(SimdPath(forced));
    if (JEX_BlitUseAVX2())
        return Available(SimdPath::AVX2);
    if (JEX_BlitUseSSE2())
        return Available(SimdPath::SSE2);
    return SimdPath::Scalar;
}

void JEX_ForceSimdPath(SimdPath path)
{
    g_forced_path.store(int(path), std::memory_order_relaxed);
}

void JEX_ResetSimdPath()
{
    g_forced_path.store(-1, std::memory_order_relaxed);
}

const JEX_SimdKernels *JEX_SimdKernelsFor(SimdPath path)
{
    switch (Available(path)) {
#if JEX_SIMD_X86
    case SimdPath::AVX2: return JEX_SimdKernelsAVX2();
    case SimdPath::SSE2: return JEX_SimdKernelsSSE2();
#endif
    default: return nullptr;
    }
}
