// Processor information against /proc and sysconf, and decoding of made-up answers.
#include <gtest/gtest.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include "JEX.h"
#include "cpuinfo_internal.h"

using namespace jex::cpu;

namespace {

// The flags line of the first processor in /proc/cpuinfo.
std::set<std::string> ProcFlags()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    std::set<std::string> flags;
    while (std::getline(in, line)) {
        if (line.rfind("flags", 0) == 0) {
            std::istringstream words(line.substr(line.find(':') + 1));
            std::string w;
            while (words >> w)
                flags.insert(w);
            break;
        }
    }
    return flags;
}

}  // namespace

TEST(CPUInfo, LiveAnswersAgreeWithTheKernelAndTheSystem)
{
    const auto flags = ProcFlags();
    ASSERT_FALSE(flags.empty()) << "no flags line in /proc/cpuinfo";
    // The kernel lists avx/avx2 only when it saves the YMM state.
    const std::pair<JEX_bool (*)(), const char *> features[] = {
        {JEX_HasRDTSC, "tsc"},    {JEX_HasMMX, "mmx"},      {JEX_Has3DNow, "3dnow"},
        {JEX_HasSSE, "sse"},      {JEX_HasSSE2, "sse2"},    {JEX_HasSSE3, "pni"},
        {JEX_HasSSE41, "sse4_1"}, {JEX_HasSSE42, "sse4_2"}, {JEX_HasAVX, "avx"},
        {JEX_HasAVX2, "avx2"}};
    for (const auto &[has, flag] : features)
        EXPECT_EQ(has(), flags.count(flag) ? JEX_TRUE : JEX_FALSE) << flag;
    EXPECT_EQ(JEX_HasAltiVec(), JEX_FALSE);
    // Count, cache line and memory.
    EXPECT_EQ(JEX_GetCPUCount(), int(sysconf(_SC_NPROCESSORS_ONLN)));
    const long line = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
    const std::string vendor = VendorString();
    if (line > 0 && (vendor == "GenuineIntel" || vendor == "AuthenticAMD")) {
        EXPECT_EQ(JEX_GetCPUCacheLineSize(), int(line));
    }
    EXPECT_GT(JEX_GetCPUCacheLineSize(), 0);
    std::ifstream in("/proc/meminfo");
    std::string key;
    long kb = 0;
    while (in >> key) {
        if (key == "MemTotal:") {
            in >> kb;
            break;
        }
        in.ignore(1 << 16, '\n');
    }
    ASSERT_GT(kb, 0);
    EXPECT_NEAR(JEX_GetSystemRAM(), kb / 1024, 1);
}

TEST(CPUInfo, DecodesIdentificationAndTheBlitFeatureWord)
{
    // A count the system cannot give falls back to one.
    EXPECT_TRUE(CountFrom(-1) == 1 && CountFrom(0) == 1 && CountFrom(12) == 12);
    Identification none;
    EXPECT_EQ(FeaturesFrom(none), 0u);
    EXPECT_EQ(CacheLineSizeFrom(none), 128);
    Identification intel;
    intel.has_cpuid = true;
    std::snprintf(intel.vendor, sizeof intel.vendor, "GenuineIntel");
    intel.leaf1_edx = (1u << 4) | (1u << 23) | (1u << 25) | (1u << 26);
    intel.leaf1_ecx = (1u << 0) | (1u << 19) | (1u << 20);
    intel.leaf1_ebx = 8u << 8;  // 8 x 8 = 64-byte lines
    EXPECT_EQ(FeaturesFrom(intel), kRDTSC | kMMX | kSSE | kSSE2 | kSSE3 | kSSE41 | kSSE42);
    EXPECT_EQ(CacheLineSizeFrom(intel), 64);
    // AVX and AVX2 need the OS to save the YMM registers.
    intel.leaf1_ecx |= (1u << 28);
    intel.leaf7_ebx = 1u << 5;
    EXPECT_EQ(FeaturesFrom(intel) & (kAVX | kAVX2), 0u) << "no OSXSAVE";
    intel.leaf1_ecx |= (1u << 27);
    intel.xcr0 = 0x3;  // XMM only
    EXPECT_EQ(FeaturesFrom(intel) & (kAVX | kAVX2), 0u) << "YMM state not saved";
    intel.xcr0 = 0x7;
    EXPECT_EQ(FeaturesFrom(intel) & (kAVX | kAVX2), kAVX | kAVX2);
    intel.leaf1_ecx &= ~(1u << 28);
    EXPECT_EQ(FeaturesFrom(intel) & (kAVX | kAVX2), 0u) << "AVX2 without AVX";
    Identification amd;
    amd.has_cpuid = true;
    std::snprintf(amd.vendor, sizeof amd.vendor, "AuthenticAMD");
    amd.ext1_edx = 1u << 31;
    amd.ext5_ecx = 64;
    EXPECT_EQ(FeaturesFrom(amd), k3DNow);
    EXPECT_EQ(CacheLineSizeFrom(amd), 64);
    Identification other = amd;
    std::snprintf(other.vendor, sizeof other.vendor, "CentaurHauls");
    EXPECT_EQ(CacheLineSizeFrom(other), 128);
    // The blit feature word: the environment, else the detected features.
    // Unreadable means no features.
    for (const auto &[text, want] : {std::pair{"0", 0u}, {"8", 8u}, {"72", 72u}, {"plain", 0u}})
        EXPECT_EQ(JEX_BlitCPUFeaturesFrom(text), want) << text;
    const Uint32 detected = JEX_BlitCPUFeaturesFrom(nullptr);
    EXPECT_TRUE(detected & JEX_BLITCPU_SSE2);
    EXPECT_EQ((detected & JEX_BLITCPU_AVX2) != 0, JEX_HasAVX2() == JEX_TRUE);
    EXPECT_EQ((detected & JEX_BLITCPU_MMX) != 0, JEX_HasMMX() == JEX_TRUE);
}
