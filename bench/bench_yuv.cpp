// YUV conversion speed against libswscale in the same run: a YV12 1920x1080
// frame to ARGB8888, ours against libswscale's point (SWS_POINT) conversion,
// both full range.
#include "bench_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "render/yuv_sw.h"

namespace {

constexpr int kW = 1920, kH = 1080;

std::vector<Uint8> Frame()
{
    std::vector<Uint8> f(size_t(kW) * kH * 3 / 2);
    Uint32 seed = 1;
    for (Uint8 &b : f)
        b = Uint8((seed = seed * 1664525u + 1013904223u) >> 24);
    return f;
}

void BM_Jex_YV12_ARGB8888_1080p(benchmark::State &state)
{
    const std::vector<Uint8> frame = Frame();
    std::vector<Uint8> out(size_t(kW) * kH * 4);
    JEX_SW_YUVTexture *yuv = JEX_SW_CreateYUVTexture(JEX_PIXELFORMAT_YV12, kW, kH);
    const JEX_Rect whole{0, 0, kW, kH};
    if (!yuv || JEX_SW_UpdateYUVTexture(yuv, &whole, frame.data(), kW) < 0) {
        state.SkipWithError(JEX_GetError());
        return;
    }
    for (auto _ : state) {
        if (JEX_SW_CopyYUVToRGB(yuv, &whole, JEX_PIXELFORMAT_ARGB8888, kW, kH, out.data(), kW * 4) <
            0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    JEX_SW_DestroyYUVTexture(yuv);
}
BENCHMARK(BM_Jex_YV12_ARGB8888_1080p)->Unit(benchmark::kMillisecond);

void BM_Swscale_YV12_BGRA_1080p(benchmark::State &state)
{
    const std::vector<Uint8> frame = Frame();
    std::vector<Uint8> out(size_t(kW) * kH * 4);
    SwsContext *ctx = sws_getContext(kW, kH, AV_PIX_FMT_YUV420P, kW, kH, AV_PIX_FMT_BGRA, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    const int *co = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(ctx, co, 1, co, 1, 0, 1 << 16, 1 << 16);
    // YV12 keeps V before U; libswscale takes the planes by pointer.
    const Uint8 *y = frame.data(), *v = y + kW * kH, *u = v + kW * kH / 4;
    const Uint8 *in[3] = {y, u, v};
    const int in_pitch[3] = {kW, kW / 2, kW / 2};
    Uint8 *dst[1] = {out.data()};
    const int dst_pitch[1] = {kW * 4};
    for (auto _ : state) {
        sws_scale(ctx, in, in_pitch, 0, kH, dst, dst_pitch);
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    sws_freeContext(ctx);
}
BENCHMARK(BM_Swscale_YV12_BGRA_1080p)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    PrintRatio(rec, "YV12 1920x1080 -> ARGB8888 vs libswscale SWS_POINT",
               "BM_Jex_YV12_ARGB8888_1080p", "BM_Swscale_YV12_BGRA_1080p", 1.0);
    benchmark::Shutdown();
    return 0;
}
