// Speed of the blitter families against peers in the same run, 1024x768:
// conversions against pixman SRC, per-pixel alpha blends against pixman
// OVER, the same-format copy against memcpy, and a colour-keyed sprite
// drawn plainly and run-length encoded. Conversions and blends run on the
// SSE2 and the AVX2 row kernels in turn.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_surface.h"
#include "surface/blit_family.h"

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
    JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_NONE);
    return s;
}

// Random colours; alpha spread over the whole range (no shortcut helps), or
// for the sprite 70% of the pixels in runs of the key.
void FillRandom(JEX_Surface *s, Uint32 seed)
{
    std::mt19937 rng(seed);
    auto *p = static_cast<Uint8 *>(s->pixels);
    for (size_t i = 0; i < size_t(s->pitch) * s->h; ++i)
        p[i] = Uint8(rng());
}

void FillSprite(JEX_Surface *s, Uint32 key)
{
    std::mt19937 rng(5);
    for (int y = 0; y < s->h; ++y) {
        auto *row = reinterpret_cast<Uint32 *>(static_cast<Uint8 *>(s->pixels) + y * s->pitch);
        int x = 0;
        while (x < s->w) {
            const bool clear = rng() % 10 < 7;
            const int len = 8 + int(rng() % 56);
            for (int i = 0; i < len && x < s->w; ++i, ++x)
                row[x] = clear ? key : (rng() | 0xFF000000) == key ? 1 : (rng() | 0xFF000000);
        }
    }
}

struct Images {
    JEX_Surface *argb = MakeSurface(JEX_PIXELFORMAT_ARGB8888);
    JEX_Surface *argb2 = MakeSurface(JEX_PIXELFORMAT_ARGB8888);
    JEX_Surface *xrgb = MakeSurface(JEX_PIXELFORMAT_RGB888);
    JEX_Surface *rgb565 = MakeSurface(JEX_PIXELFORMAT_RGB565);
    JEX_Surface *rgb565b = MakeSurface(JEX_PIXELFORMAT_RGB565);
    JEX_Surface *sprite = MakeSurface(JEX_PIXELFORMAT_ARGB8888);
    JEX_Surface *sprite_rle = MakeSurface(JEX_PIXELFORMAT_ARGB8888);
    Images()
    {
        FillRandom(argb, 1);
        FillRandom(argb2, 2);
        FillRandom(xrgb, 3);
        FillRandom(rgb565, 4);
        FillRandom(rgb565b, 6);
        FillSprite(sprite, 0xFF00FF00);
        std::memcpy(sprite_rle->pixels, sprite->pixels, size_t(sprite->pitch) * kH);
        JEX_SetColorKey(sprite, 1, 0xFF00FF00);
        JEX_SetColorKey(sprite_rle, JEX_SURFACE_RLEACCEL | 1, 0xFF00FF00);
    }
};

Images &Shared()
{
    static Images images;
    return images;
}

const char *PathName(SimdPath p)
{
    return p == SimdPath::AVX2 ? "AVX2" : "SSE2";
}

void Blit(benchmark::State &state, JEX_Surface *src, JEX_Surface *dst, JEX_BlendMode mode,
          SimdPath path, int dst_bpp)
{
    JEX_ForceSimdPath(path);
    JEX_SetSurfaceBlendMode(src, mode);
    for (auto _ : state) {
        if (JEX_UpperBlit(src, nullptr, dst, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    JEX_SetSurfaceBlendMode(src, JEX_BLENDMODE_NONE);
    JEX_ResetSimdPath();
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * dst_bpp);
}

void Memcpy(benchmark::State &state)
{
    Images &im = Shared();
    const size_t n = size_t(im.argb->pitch) * kH;
    for (auto _ : state) {
        std::memcpy(im.argb2->pixels, im.argb->pixels, n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(n));
}

#ifdef JEX_BENCH_PIXMAN
void Pixman(benchmark::State &state, pixman_op_t op, JEX_Surface *s, pixman_format_code_t sf,
            JEX_Surface *d, pixman_format_code_t df, int dst_bpp)
{
    pixman_image_t *src =
        pixman_image_create_bits(sf, kW, kH, static_cast<uint32_t *>(s->pixels), s->pitch);
    pixman_image_t *dst =
        pixman_image_create_bits(df, kW, kH, static_cast<uint32_t *>(d->pixels), d->pitch);
    for (auto _ : state) {
        pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * dst_bpp);
}
#endif

struct Case {
    std::string label;
    std::string ours, peer;
    double goal;
};
std::vector<Case> g_cases;

void Register()
{
    Images &im = Shared();
    const auto add = [](const std::string &name, std::function<void(benchmark::State &)> fn) {
        benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State &s) { fn(s); })
            ->Repetitions(3)
            ->MinTime(0.2)
            ->Unit(benchmark::kMicrosecond);
    };
    add("Memcpy_ARGB8888", Memcpy);
    add("Copy_ARGB8888", [&im](benchmark::State &s) {
        Blit(s, im.argb, im.argb2, JEX_BLENDMODE_NONE, SimdPath::SSE2, 4);
    });
    g_cases.push_back(
        {"same-format copy ARGB8888 vs memcpy", "Copy_ARGB8888", "Memcpy_ARGB8888", 0.9});

    struct Conv {
        const char *name;
        JEX_Surface *src, *dst;
        JEX_BlendMode mode;
        int dst_bpp;
        const char *peer;
        double goal;
    };
    const Conv convs[] = {
        {"ARGB8888_to_RGB565", im.argb, im.rgb565, JEX_BLENDMODE_NONE, 2,
         "Pixman_Src_ARGB8888_RGB565", 1.0},
        {"ARGB8888_to_XRGB8888", im.argb, im.xrgb, JEX_BLENDMODE_NONE, 4,
         "Pixman_Src_ARGB8888_XRGB8888", 1.0},
        {"RGB565_to_ARGB8888", im.rgb565, im.argb2, JEX_BLENDMODE_NONE, 4,
         "Pixman_Src_RGB565_ARGB8888", 1.0},
        {"Blend_ARGB8888_onto_XRGB8888", im.argb, im.xrgb, JEX_BLENDMODE_BLEND, 4,
         "Pixman_Over_ARGB8888_XRGB8888", 1.0},
        {"Blend_ARGB8888_onto_RGB565", im.argb, im.rgb565b, JEX_BLENDMODE_BLEND, 2,
         "Pixman_Over_ARGB8888_RGB565", 1.0},
    };
    for (const Conv &c : convs)
        for (SimdPath path : {SimdPath::SSE2, SimdPath::AVX2}) {
            const std::string name = std::string(c.name) + "_" + PathName(path);
            add(name,
                [c, path](benchmark::State &s) { Blit(s, c.src, c.dst, c.mode, path, c.dst_bpp); });
            g_cases.push_back({name + " vs pixman", name, c.peer, c.goal});
        }
#ifdef JEX_BENCH_PIXMAN
    add(
        "Pixman_Src_ARGB8888_RGB565",
        [&im](benchmark::State &s) {
            Pixman(s, PIXMAN_OP_SRC, im.argb, PIXMAN_a8r8g8b8, im.rgb565, PIXMAN_r5g6b5, 2);
        });
    add(
        "Pixman_Src_ARGB8888_XRGB8888",
        [&im](benchmark::State &s) {
            Pixman(s, PIXMAN_OP_SRC, im.argb, PIXMAN_a8r8g8b8, im.xrgb, PIXMAN_x8r8g8b8, 4);
        });
    add(
        "Pixman_Src_RGB565_ARGB8888",
        [&im](benchmark::State &s) {
            Pixman(s, PIXMAN_OP_SRC, im.rgb565, PIXMAN_r5g6b5, im.argb2, PIXMAN_a8r8g8b8, 4);
        });
    add(
        "Pixman_Over_ARGB8888_XRGB8888",
        [&im](benchmark::State &s) {
            Pixman(s, PIXMAN_OP_OVER, im.argb, PIXMAN_a8r8g8b8, im.xrgb, PIXMAN_x8r8g8b8, 4);
        });
    add("Pixman_Over_ARGB8888_RGB565", [&im](benchmark::State &s) {
        Pixman(s, PIXMAN_OP_OVER, im.argb, PIXMAN_a8r8g8b8, im.rgb565b, PIXMAN_r5g6b5, 2);
    });
#endif
    // The keyed sprite: plain keyed copy (reported) and RLE (goal 2x plain).
    for (SimdPath path : {SimdPath::SSE2, SimdPath::AVX2}) {
        const std::string name = std::string("Keyed_ARGB8888_") + PathName(path);
        add(name, [&im, path](benchmark::State &s) {
            Blit(s, im.sprite, im.argb2, JEX_BLENDMODE_NONE, path, 4);
        });
        g_cases.push_back({name + " (reference: memcpy)", name, "Memcpy_ARGB8888", 0});
        g_cases.push_back(
            {"RLE keyed sprite (70% clear) vs " + name, "RLE_Keyed_ARGB8888", name, 2.0});
    }
    add("RLE_Keyed_ARGB8888", [&im](benchmark::State &s) {
        Blit(s, im.sprite_rle, im.argb2, JEX_BLENDMODE_NONE, SimdPath::SSE2, 4);
    });
}

// Fastest repetition's CPU time per benchmark (the machine is shared).
class Recorder : public benchmark::ConsoleReporter {
public:
    Recorder() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            const std::string name = r.run_name.function_name;
            const double t = r.GetAdjustedCPUTime();
            auto it = times.find(name);
            if (it == times.end() || t < it->second)
                times[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Register();
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    for (const Case &c : g_cases) {
        const auto o = rec.times.find(c.ours), p = rec.times.find(c.peer);
        if (o == rec.times.end() || p == rec.times.end() || o->second <= 0) {
            std::printf("RATIO %s: n/a\n", c.label.c_str());
            continue;
        }
        const double ratio = p->second / o->second;
        if (c.goal > 0)
            std::printf("RATIO %s: %.2f (goal %.1f) %s\n", c.label.c_str(), ratio, c.goal,
                        ratio >= c.goal ? "met" : "NOT met");
        else
            std::printf("RATIO %s: %.2f (reference, no goal)\n", c.label.c_str(), ratio);
    }
    benchmark::Shutdown();
    return 0;
}
