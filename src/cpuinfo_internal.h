// Internal side of the processor information: the feature bits, the pure
// decoding steps (exposed so they can be checked against made-up processor
// answers) and the feature word the pixel routines choose their code by.
#ifndef JEX_CPUINFO_INTERNAL_H
#define JEX_CPUINFO_INTERNAL_H

#include "JEX_cpuinfo.h"

namespace jex::cpu {

// Bits of the cached feature word.
inline constexpr Uint32 kRDTSC = 0x001;
inline constexpr Uint32 kAltiVec = 0x002;
inline constexpr Uint32 kMMX = 0x004;
inline constexpr Uint32 k3DNow = 0x008;
inline constexpr Uint32 kSSE = 0x010;
inline constexpr Uint32 kSSE2 = 0x020;
inline constexpr Uint32 kSSE3 = 0x040;
inline constexpr Uint32 kSSE41 = 0x100;
inline constexpr Uint32 kSSE42 = 0x200;
inline constexpr Uint32 kAVX = 0x400;
inline constexpr Uint32 kAVX2 = 0x800;

// What the identification instruction reported, leaf by leaf. A leaf the
// processor does not have reads as zeros.
struct Identification {
    bool has_cpuid = false;
    char vendor[13] = {};
    Uint32 leaf1_ecx = 0, leaf1_edx = 0, leaf1_ebx = 0;
    Uint32 leaf7_ebx = 0;
    Uint32 ext1_edx = 0;  // 0x80000001
    Uint32 ext5_ecx = 0;  // 0x80000005 (AMD L1 data cache)
    Uint64 xcr0 = 0;      // extended state the OS saves (0 without OSXSAVE)
};

// Asks this processor.
Identification Identify();

// Feature word from an identification.
Uint32 FeaturesFrom(const Identification &id);

// Cache line size for a vendor string and identification.
int CacheLineSizeFrom(const Identification &id);

// Processor count from the system's answer (sysconf); at least 1.
int CountFrom(long system_answer);

// The vendor string the cache line size was decided by ("Unknown" when the
// processor cannot say).
const char *VendorString();

}  // namespace jex::cpu

// Feature word of the pixel routines: the environment variable
// "JEX_BLIT_CPU_FEATURES" (read as an unsigned decimal) when set, otherwise
// what the processor offers. Bits: 1 MMX, 2 3DNow!, 4 SSE, 8 SSE2, and
// 64 AVX2. Clearing a bit forces the plainer code; setting a bit the
// processor lacks never enables it (see JEX_BlitUseSSE2/JEX_BlitUseAVX2).
inline constexpr Uint32 JEX_BLITCPU_MMX = 1;
inline constexpr Uint32 JEX_BLITCPU_3DNOW = 2;
inline constexpr Uint32 JEX_BLITCPU_SSE = 4;
inline constexpr Uint32 JEX_BLITCPU_SSE2 = 8;
inline constexpr Uint32 JEX_BLITCPU_AVX2 = 64;

Uint32 JEX_GetBlitCPUFeatures();
// The same computation from an explicit environment value (null = unset).
Uint32 JEX_BlitCPUFeaturesFrom(const char *env_value);

// Whether the wide paths may run: asked of the word and the processor.
bool JEX_BlitUseSSE2();
bool JEX_BlitUseAVX2();

#endif
