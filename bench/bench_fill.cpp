// Fill speed against peers in the same run, 1024x768: JEX_FillRect of
// ARGB8888 and RGB565 surfaces against memset of the same bytes (the
// ceiling) and pixman_fill (the peer), on the scalar, SSE2 and AVX2 paths;
// and a BLEND fill against pixman's solid OVER.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "JEX.h"
#include "surface/draw_internal.h"

#if __has_include(<pixman.h>)
#include <pixman.h>
#define JEX_BENCH_PIXMAN 1
#endif

namespace {

constexpr int kW = 1024, kH = 768;

JEX_Surface *MakeSurface(Uint32 code)
{
    int depth;
    Uint32 r, g, b, a;
    JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a);
    JEX_Surface *s = JEX_CreateRGBSurface(0, kW, kH, depth, r, g, b, a);
    if (!s) {
        std::fprintf(stderr, "surface: %s\n", JEX_GetError());
        std::abort();
    }
    return s;
}

JEX_Surface *Argb()
{
    static JEX_Surface *s = MakeSurface(JEX_PIXELFORMAT_ARGB8888);
    return s;
}

JEX_Surface *Rgb565()
{
    static JEX_Surface *s = MakeSurface(JEX_PIXELFORMAT_RGB565);
    return s;
}

const char *PathName(SimdPath p)
{
    return p == SimdPath::Scalar ? "scalar" : p == SimdPath::SSE2 ? "SSE2" : "AVX2";
}

void FillWith(benchmark::State &state, JEX_Surface *s, SimdPath path, Uint32 color)
{
    if (path == SimdPath::AVX2 && !JEX_HasAVX2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    JEX_ForceSimdPath(path);
    for (auto _ : state) {
        if (JEX_FillRect(s, nullptr, color) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    JEX_ResetSimdPath();
    state.SetBytesProcessed(state.iterations() * int64_t(s->pitch) * kH);
    state.SetLabel(PathName(path));
}

void BM_FillRect_ARGB8888(benchmark::State &state)
{
    FillWith(state, Argb(), SimdPath(state.range(0)), 0x80FF4020u);
}
BENCHMARK(BM_FillRect_ARGB8888)->Arg(0)->Arg(1)->Arg(2);

void BM_FillRect_RGB565(benchmark::State &state)
{
    FillWith(state, Rgb565(), SimdPath(state.range(0)), 0xF81Fu);
}
BENCHMARK(BM_FillRect_RGB565)->Arg(0)->Arg(1)->Arg(2);

void MemsetWith(benchmark::State &state, JEX_Surface *s)
{
    const size_t n = size_t(s->pitch) * kH;
    for (auto _ : state) {
        std::memset(s->pixels, 0x5A, n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(n));
}

void BM_Memset_ARGB8888(benchmark::State &state)
{
    MemsetWith(state, Argb());
}
BENCHMARK(BM_Memset_ARGB8888);

void BM_Memset_RGB565(benchmark::State &state)
{
    MemsetWith(state, Rgb565());
}
BENCHMARK(BM_Memset_RGB565);

void BM_BlendFillRect_ARGB8888(benchmark::State &state)
{
    const SimdPath path = SimdPath(state.range(0));
    if (path == SimdPath::AVX2 && !JEX_HasAVX2()) {
        state.SkipWithError("no AVX2");
        return;
    }
    JEX_Surface *s = Argb();
    JEX_FillRect(s, nullptr, 0xFF336699u);
    JEX_ForceSimdPath(path);
    for (auto _ : state) {
        // Alpha 128: every pixel takes the full arithmetic.
        if (JEX_BlendFillRect(s, nullptr, JEX_BLENDMODE_BLEND, 200, 100, 50, 128) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    JEX_ResetSimdPath();
    state.SetBytesProcessed(state.iterations() * int64_t(s->pitch) * kH);
    state.SetLabel(PathName(path));
}
BENCHMARK(BM_BlendFillRect_ARGB8888)->Arg(0)->Arg(1)->Arg(2);

#ifdef JEX_BENCH_PIXMAN
void PixmanFillWith(benchmark::State &state, JEX_Surface *s, int bpp, uint32_t color)
{
    for (auto _ : state) {
        pixman_fill(static_cast<uint32_t *>(s->pixels), s->pitch / 4, bpp, 0, 0, kW, kH, color);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(s->pitch) * kH);
}

void BM_PixmanFill_ARGB8888(benchmark::State &state)
{
    PixmanFillWith(state, Argb(), 32, 0x80FF4020u);
}
BENCHMARK(BM_PixmanFill_ARGB8888);

void BM_PixmanFill_RGB565(benchmark::State &state)
{
    PixmanFillWith(state, Rgb565(), 16, 0xF81Fu);
}
BENCHMARK(BM_PixmanFill_RGB565);

void BM_Pixman_OverSolid_ARGB8888(benchmark::State &state)
{
    JEX_Surface *s = Argb();
    JEX_FillRect(s, nullptr, 0xFF336699u);
    // pixman takes a premultiplied colour.
    const pixman_color_t c{uint16_t(200 * 128 / 255 * 257), uint16_t(100 * 128 / 255 * 257),
                           uint16_t(50 * 128 / 255 * 257), uint16_t(128 * 257)};
    pixman_image_t *src = pixman_image_create_solid_fill(&c);
    pixman_image_t *dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH,
                                                   static_cast<uint32_t *>(s->pixels), s->pitch);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(s->pitch) * kH);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}
BENCHMARK(BM_Pixman_OverSolid_ARGB8888);
#endif

// Console output plus each benchmark's CPU time per iteration (the machine
// is shared, so wall time carries other processes' load). With repetitions
// the fastest repetition is kept; with aggregates only, the median.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.error_occurred)
                continue;
            const std::string name = r.run_name.str();
            const double t = r.GetAdjustedCPUTime();
            if (r.run_type == Run::RT_Iteration) {
                auto it = fastest.find(name);
                if (it == fastest.end() || t < it->second)
                    fastest[name] = t;
            } else if (r.aggregate_name == "median") {
                median[name] = t;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const double *Find(const std::string &name) const
    {
        if (auto it = fastest.find(name); it != fastest.end())
            return &it->second;
        if (auto it = median.find(name); it != median.end())
            return &it->second;
        return nullptr;
    }
    std::map<std::string, double> fastest, median;
};

void PrintRatio(const Recorder &rec, const std::string &label, const std::string &ours,
                const std::string &peer, double goal)
{
    const double *o = rec.Find(ours), *p = rec.Find(peer);
    if (!o || !p || *o <= 0) {
        std::printf("RATIO %s: n/a\n", label.c_str());
        return;
    }
    const double ratio = *p / *o;
    if (goal > 0)
        std::printf("RATIO %s: %.2f (goal %.1f) %s\n", label.c_str(), ratio, goal,
                    ratio >= goal ? "met" : "NOT met");
    else
        std::printf("RATIO %s: %.2f (reference, no goal)\n", label.c_str(), ratio);
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    const SimdPath paths[] = {SimdPath::Scalar, SimdPath::SSE2, SimdPath::AVX2};
    struct Case {
        const char *label, *ours, *peer;
        double goal;
    };
    const Case cases[] = {
        {"FillRect 1024x768 ARGB8888 (%s) vs memset", "BM_FillRect_ARGB8888/%d",
         "BM_Memset_ARGB8888", 0},
        {"FillRect 1024x768 ARGB8888 (%s) vs pixman_fill", "BM_FillRect_ARGB8888/%d",
         "BM_PixmanFill_ARGB8888", 0.9},
        {"FillRect 1024x768 RGB565 (%s) vs memset", "BM_FillRect_RGB565/%d", "BM_Memset_RGB565", 0},
        {"FillRect 1024x768 RGB565 (%s) vs pixman_fill", "BM_FillRect_RGB565/%d",
         "BM_PixmanFill_RGB565", 0.9},
        {"BlendFillRect BLEND 1024x768 ARGB8888 (%s) vs pixman solid OVER",
         "BM_BlendFillRect_ARGB8888/%d", "BM_Pixman_OverSolid_ARGB8888", 1.0},
    };
    for (SimdPath p : paths) {
        for (const Case &c : cases) {
            char label[128], ours[64];
            std::snprintf(label, sizeof label, c.label, PathName(p));
            std::snprintf(ours, sizeof ours, c.ours, int(p));
            PrintRatio(rec, label, ours, c.peer, c.goal);
        }
    }
    benchmark::Shutdown();
    return 0;
}
