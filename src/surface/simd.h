// The one choice of instruction set for the pixel routines. Blits, solid
// fills and blended fills all ask JEX_ActiveSimdKernels() for their row
// kernels; null means the scalar code does the whole row. The x86 kernels
// exist only when the build has them (JEX_SIMD_X86, set by the build for x86
// targets unless JEX_SIMD is off); nothing outside surface/x86 names them.
#ifndef JEX_SURFACE_SIMD_H
#define JEX_SURFACE_SIMD_H

#include <cstddef>

#include "JEX_types.h"

enum class SimdPath { Scalar, SSE2, AVX2 };

// 32-bit formats whose channels are whole bytes take a blended fill lane by
// lane: each byte becomes min(255, byte x mul / 255 + add).
struct JEX_LaneOp {
    Uint16 mul[4];
    Uint16 add[4];
};

// Row kernels of one instruction set. The blit kernels handle a prefix of
// the row whose length they return (a multiple of their vector width); the
// caller finishes the rest with the scalar code. `kind` of the 565
// expansion selects the 32-bit layout: 0 ARGB8888, 1 ABGR8888, 2 RGBA8888,
// 3 BGRA8888. The fill kernels do whole rectangles.
struct JEX_SimdKernels {
    int (*rgb888_to_565)(const Uint32 *src, Uint16 *dst, int n);
    int (*rgb888_to_555)(const Uint32 *src, Uint16 *dst, int n);
    int (*rgb565_to_32)(const Uint16 *src, Uint32 *dst, int n, int kind);
    int (*mask_or_32)(const Uint32 *src, Uint32 *dst, int n, Uint32 and_mask, Uint32 or_mask);
    int (*key_mask_or_32)(const Uint32 *src, Uint32 *dst, int n, Uint32 key_mask, Uint32 key,
                          Uint32 and_mask, Uint32 or_mask);
    int (*rgb_pixel_alpha)(const Uint32 *src, Uint32 *dst, int n);
    int (*argb_to_565_pixel_alpha)(const Uint32 *src, Uint16 *dst, int n);
    // One row of the translucent part of a run-length alpha encoding for a
    // 32-bit destination ((skip, run) pairs of 16-bit counts, each followed
    // by run values in the destination's order with alpha on top), blended
    // onto a whole row of w pixels with an opaque top byte written; returns
    // where the next row's entries begin. Both pointers 4-byte aligned.
    const Uint8 *(*rle_alpha_row)(const Uint8 *enc, Uint32 *dst, int w);
    void (*fill_rows)(Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp, Uint32 color);
    void (*blend_lanes)(Uint8 *row, std::ptrdiff_t pitch, int w, int h, const JEX_LaneOp &op);
};

// The widest path the build, the processor and JEX_BLIT_CPU_FEATURES allow,
// unless a test or benchmark forced one. A forced path that is not built or
// that the processor lacks falls back to the next narrower one.
SimdPath JEX_ActiveSimdPath();
void JEX_ForceSimdPath(SimdPath path);
void JEX_ResetSimdPath();

// The kernels of a path (after the fallback above); null for the scalar path.
const JEX_SimdKernels *JEX_SimdKernelsFor(SimdPath path);
inline const JEX_SimdKernels *JEX_ActiveSimdKernels()
{
    return JEX_SimdKernelsFor(JEX_ActiveSimdPath());
}

#if JEX_SIMD_X86
const JEX_SimdKernels *JEX_SimdKernelsSSE2();
const JEX_SimdKernels *JEX_SimdKernelsAVX2();
#endif

#endif
