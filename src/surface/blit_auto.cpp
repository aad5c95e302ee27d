// The generated table: for each of six 32-bit source formats and three
// destination formats, seven routines that each accept a subset of the
// copy flags. Every routine is the general blit loop with both formats fixed
// at compile time, so its arithmetic is the general routine's; the blend
// mode is fixed at compile time too, since it decides the work per pixel.
#include <array>
#include <utility>

#include "cpuinfo_internal.h"

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_pixel.h"

using namespace jex::blit;

namespace {

constexpr Uint32 kModulate = JEX_COPY_MODULATE_COLOR | JEX_COPY_MODULATE_ALPHA;
constexpr Uint32 kBlendModes = JEX_COPY_BLEND | JEX_COPY_ADD | JEX_COPY_MOD;
constexpr Uint32 kScale = JEX_COPY_NEAREST;

// Variants in table order.
constexpr Uint32 kVariants[7] = {
    kScale,
    kBlendModes,
    kBlendModes | kScale,
    kModulate,
    kModulate | kScale,
    kModulate | kBlendModes,
    kModulate | kBlendModes | kScale,
};

template <Format S, Format D, Uint32 kMode>
void RunWithMode(JEX_BlitInfo *info, Uint32 flags)
{
    // The mode bits are constant; modulation and scaling stay run-time
    // values the loop tests per pixel and per row.
    struct Flags {
        Uint32 rest;
        constexpr operator Uint32() const { return rest | kMode; }
    };
    BlitPixels(*info, StaticFormat<S>{}, StaticFormat<D>{}, Flags{flags & ~kBlendModes});
}

template <Format S, Format D, Uint32 kAccepted>
void Generated(JEX_BlitInfo *info)
{
    const Uint32 flags = info->flags & kAccepted;
    if constexpr ((kAccepted & kBlendModes) != 0) {
        switch (flags & kBlendModes) {
        case JEX_COPY_BLEND: RunWithMode<S, D, JEX_COPY_BLEND>(info, flags); return;
        case JEX_COPY_ADD: RunWithMode<S, D, JEX_COPY_ADD>(info, flags); return;
        case JEX_COPY_MOD: RunWithMode<S, D, JEX_COPY_MOD>(info, flags); return;
        default: break;
        }
    }
    RunWithMode<S, D, 0>(info, flags);
}

struct Named {
    Uint32 code;
    Format f;
};
constexpr Named kSources[6] = {
    {JEX_PIXELFORMAT_RGB888, kRGB888},     {JEX_PIXELFORMAT_BGR888, kBGR888},
    {JEX_PIXELFORMAT_ARGB8888, kARGB8888}, {JEX_PIXELFORMAT_RGBA8888, kRGBA8888},
    {JEX_PIXELFORMAT_ABGR8888, kABGR8888}, {JEX_PIXELFORMAT_BGRA8888, kBGRA8888},
};
constexpr Named kDestinations[3] = {
    {JEX_PIXELFORMAT_RGB888, kRGB888},
    {JEX_PIXELFORMAT_BGR888, kBGR888},
    {JEX_PIXELFORMAT_ARGB8888, kARGB8888},
};

template <int kIndex>
constexpr JEX_BlitFuncEntry MakeEntry()
{
    constexpr int s = kIndex / 21, d = (kIndex / 7) % 3, v = kIndex % 7;
    return JEX_BlitFuncEntry{kSources[s].code, kDestinations[d].code, kVariants[v], 0,
                             Generated<kSources[s].f, kDestinations[d].f, kVariants[v]>};
}

template <int... I>
constexpr auto MakeTable(std::integer_sequence<int, I...>)
{
    return std::array<JEX_BlitFuncEntry, sizeof...(I) + 1>{MakeEntry<I>()...,
                                                           JEX_BlitFuncEntry{0, 0, 0, 0, nullptr}};
}

}  // namespace

// The table proper; 126 routines and the terminator.
constexpr auto kGenerated = MakeTable(std::make_integer_sequence<int, 126>{});
const JEX_BlitFuncEntry *const JEX_GeneratedBlitFuncTable = kGenerated.data();

Uint32 JEX_GeneratedBlitFeatures()
{
    static const Uint32 word = JEX_GetBlitCPUFeatures();
    return word;
}

JEX_BlitFunc JEX_FindGeneratedBlit(Uint32 src_format, Uint32 dst_format, Uint32 flags)
{
    // The groups an entry must accept whole: modulation, blend mode, colour
    // key and scaling; the key is in no entry.
    constexpr Uint32 groups = kModulate | kBlendModes | JEX_COPY_COLORKEY | kScale;
    const Uint32 wanted = flags & groups;
    const Uint32 features = JEX_GeneratedBlitFeatures();
    for (const JEX_BlitFuncEntry *e = JEX_GeneratedBlitFuncTable; e->func; ++e)
        if (e->src_format == src_format && e->dst_format == dst_format &&
            (wanted & ~e->flags) == 0 && (e->cpu & features) == e->cpu)
            return e->func;
    return nullptr;
}
