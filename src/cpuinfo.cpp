// Processor information from CPUID and the system. Each answer is worked out
// on first use and cached; a race on first use only computes the same value
// twice, so the caches are plain atomics without a lock.
#include "cpuinfo_internal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/sysinfo.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define JEX_CPU_X86 1
#endif

namespace jex::cpu {

namespace {

constexpr Uint32 kNotComputed = 0xFFFFFFFFu;

// What was found out about the machine, computed on first use by whichever
// thread asks first. Every field is an atomic: threads that race to compute
// a value compute the same one, so no lock is needed.
struct CpuState {
    std::atomic<Uint32> features{kNotComputed};
    std::atomic<int> count{0};
    std::atomic<int> cache_line{0};
    std::atomic<int> ram_mb{-1};
    std::atomic<Uint32> blit_features{kNotComputed};
};
CpuState g_cpu;

#ifdef JEX_CPU_X86
Uint64 ReadXCR0()
{
    Uint32 lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (Uint64(hi) << 32) | lo;
}
#endif

bool IsVendor(const Identification &id, const char *name)
{
    return id.has_cpuid && std::strcmp(id.vendor, name) == 0;
}

}  // namespace

Identification Identify()
{
    Identification id;
#ifdef JEX_CPU_X86
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return id;
    id.has_cpuid = true;
    const unsigned max_leaf = a;
    std::memcpy(id.vendor + 0, &b, 4);
    std::memcpy(id.vendor + 4, &d, 4);
    std::memcpy(id.vendor + 8, &c, 4);
    id.vendor[12] = '\0';
    if (max_leaf >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
        id.leaf1_ebx = b;
        id.leaf1_ecx = c;
        id.leaf1_edx = d;
        // The wide registers are usable only if the OS saves them.
        if (c & bit_OSXSAVE)
            id.xcr0 = ReadXCR0();
    }
    if (max_leaf >= 7 && __get_cpuid_count(7, 0, &a, &b, &c, &d))
        id.leaf7_ebx = b;
    const unsigned max_ext = __get_cpuid_max(0x80000000u, nullptr);
    if (max_ext >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d))
        id.ext1_edx = d;
    if (max_ext >= 0x80000005u && __get_cpuid(0x80000005u, &a, &b, &c, &d))
        id.ext5_ecx = c;
#endif
    return id;
}

Uint32 FeaturesFrom(const Identification &id)
{
    Uint32 f = 0;
    if (!id.has_cpuid)
        return f;
    const Uint32 edx = id.leaf1_edx, ecx = id.leaf1_ecx;
    if (edx & (1u << 4))
        f |= kRDTSC;
    if (edx & (1u << 23))
        f |= kMMX;
    if (edx & (1u << 25))
        f |= kSSE;
    if (edx & (1u << 26))
        f |= kSSE2;
    if (ecx & (1u << 0))
        f |= kSSE3;
    if (ecx & (1u << 19))
        f |= kSSE41;
    if (ecx & (1u << 20))
        f |= kSSE42;
    if (id.ext1_edx & (1u << 31))
        f |= k3DNow;
    // AVX needs the instruction set, OSXSAVE and the OS saving both the XMM
    // and YMM state (XCR0 bits 1 and 2).
    const bool os_ymm = (ecx & (1u << 27)) && (id.xcr0 & 0x6) == 0x6;
    if ((ecx & (1u << 28)) && os_ymm) {
        f |= kAVX;
        if (id.leaf7_ebx & (1u << 5))
            f |= kAVX2;
    }
    return f;
}

int CacheLineSizeFrom(const Identification &id)
{
    if (IsVendor(id, "GenuineIntel")) {
        // CLFLUSH line size, in units of 8 bytes.
        const int size = int((id.leaf1_ebx >> 8) & 0xFF) * 8;
        if (size > 0)
            return size;
    } else if (IsVendor(id, "AuthenticAMD")) {
        const int size = int(id.ext5_ecx & 0xFF);
        if (size > 0)
            return size;
    }
    return 128;
}

int CountFrom(long system_answer)
{
    return system_answer > 0 ? int(system_answer > 1 << 20 ? 1 << 20 : system_answer) : 1;
}

const char *VendorString()
{
    static const Identification id = Identify();
    return id.has_cpuid && id.vendor[0] ? id.vendor : "Unknown";
}

Uint32 Features()
{
    Uint32 f = g_cpu.features.load(std::memory_order_relaxed);
    if (f == kNotComputed) {
        f = FeaturesFrom(Identify());
        g_cpu.features.store(f, std::memory_order_relaxed);
    }
    return f;
}

}  // namespace jex::cpu

using namespace jex::cpu;

Uint32 JEX_BlitCPUFeaturesFrom(const char *env_value)
{
    if (env_value) {
        unsigned v = 0;
        if (std::sscanf(env_value, "%u", &v) != 1)
            v = 0;
        return v;
    }
    const Uint32 f = Features();
    Uint32 w = 0;
    if (f & kMMX)
        w |= JEX_BLITCPU_MMX;
    if (f & k3DNow)
        w |= JEX_BLITCPU_3DNOW;
    if (f & kSSE)
        w |= JEX_BLITCPU_SSE;
    if (f & kSSE2)
        w |= JEX_BLITCPU_SSE2;
    if (f & kAVX2)
        w |= JEX_BLITCPU_AVX2;
    return w;
}

Uint32 JEX_GetBlitCPUFeatures()
{
    Uint32 w = g_cpu.blit_features.load(std::memory_order_relaxed);
    if (w == kNotComputed) {
        w = JEX_BlitCPUFeaturesFrom(std::getenv("JEX_BLIT_CPU_FEATURES"));
        // 0xFFFFFFFF is the "not yet" marker; a caller asking for every bit
        // gets every bit the processor has anyway.
        if (w == kNotComputed)
            w = kNotComputed - 1;
        g_cpu.blit_features.store(w, std::memory_order_relaxed);
    }
    return w;
}

bool JEX_BlitUseSSE2()
{
    return (JEX_GetBlitCPUFeatures() & JEX_BLITCPU_SSE2) && (Features() & kSSE2);
}

bool JEX_BlitUseAVX2()
{
    return (JEX_GetBlitCPUFeatures() & JEX_BLITCPU_AVX2) && (Features() & kAVX2);
}

extern "C" {

int JEX_GetCPUCount(void)
{
    int n = g_cpu.count.load(std::memory_order_relaxed);
    if (n == 0) {
        n = CountFrom(sysconf(_SC_NPROCESSORS_ONLN));
        g_cpu.count.store(n, std::memory_order_relaxed);
    }
    return n;
}

int JEX_GetCPUCacheLineSize(void)
{
    int size = g_cpu.cache_line.load(std::memory_order_relaxed);
    if (size == 0) {
        size = CacheLineSizeFrom(Identify());
        g_cpu.cache_line.store(size, std::memory_order_relaxed);
    }
    return size;
}

int JEX_GetSystemRAM(void)
{
    int mb = g_cpu.ram_mb.load(std::memory_order_relaxed);
    if (mb < 0) {
        Uint64 bytes = 0;
        struct sysinfo info;
        if (sysinfo(&info) == 0) {
            bytes = Uint64(info.totalram) * (info.mem_unit ? info.mem_unit : 1);
        } else {
            const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
            if (pages > 0 && page > 0)
                bytes = Uint64(pages) * Uint64(page);
        }
        const Uint64 m = bytes / (1024 * 1024);
        mb = m > 0x7FFFFFFF ? 0x7FFFFFFF : int(m);
        g_cpu.ram_mb.store(mb, std::memory_order_relaxed);
    }
    return mb;
}

#define JEX_CPU_QUERY(name, bit)                                                                   \
    JEX_bool name(void)                                                                            \
    {                                                                                              \
        return (Features() & (bit)) ? JEX_TRUE : JEX_FALSE;                                        \
    }

JEX_CPU_QUERY(JEX_HasRDTSC, kRDTSC)
JEX_CPU_QUERY(JEX_HasAltiVec, kAltiVec)
JEX_CPU_QUERY(JEX_HasMMX, kMMX)
JEX_CPU_QUERY(JEX_Has3DNow, k3DNow)
JEX_CPU_QUERY(JEX_HasSSE, kSSE)
JEX_CPU_QUERY(JEX_HasSSE2, kSSE2)
JEX_CPU_QUERY(JEX_HasSSE3, kSSE3)
JEX_CPU_QUERY(JEX_HasSSE41, kSSE41)
JEX_CPU_QUERY(JEX_HasSSE42, kSSE42)
JEX_CPU_QUERY(JEX_HasAVX, kAVX)
JEX_CPU_QUERY(JEX_HasAVX2, kAVX2)

#undef JEX_CPU_QUERY

}  // extern "C"
