// Blit and stretch speed against peers in the same run: nearest-neighbour
// scaling of a 512x384 ARGB8888 image to 1024x768 against pixman, and a
// same-format 1024x768 ARGB8888 blit against memcpy of the same bytes.
#include "bench_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_surface.h"

#if __has_include(<pixman.h>)
#include <pixman.h>
#define JEX_BENCH_PIXMAN 1
#endif

namespace {

constexpr int kSrcW = 512, kSrcH = 384, kDstW = 1024, kDstH = 768;

JEX_Surface *MakeArgb(int w, int h)
{
    JEX_Surface *s =
        JEX_CreateRGBSurface(0, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!s) {
        std::fprintf(stderr, "surface: %s\n", JEX_GetError());
        std::abort();
    }
    JEX_SetSurfaceBlendMode(s, JEX_BLENDMODE_NONE);
    auto *p = static_cast<Uint32 *>(s->pixels);
    for (int i = 0; i < (s->pitch / 4) * h; ++i)
        p[i] = 0x9E3779B9u * Uint32(i + 1);
    return s;
}

struct Images {
    JEX_Surface *small = MakeArgb(kSrcW, kSrcH);
    JEX_Surface *big = MakeArgb(kDstW, kDstH);
    JEX_Surface *big2 = MakeArgb(kDstW, kDstH);
};

Images &Shared()
{
    static Images images;
    return images;
}

void BM_SoftStretch_ARGB8888_2x(benchmark::State &state)
{
    Images &im = Shared();
    for (auto _ : state) {
        if (JEX_SoftStretch(im.small, nullptr, im.big, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kDstW) * kDstH * 4);
}
BENCHMARK(BM_SoftStretch_ARGB8888_2x);

void BM_BlitScaled_ARGB8888_2x(benchmark::State &state)
{
    Images &im = Shared();
    for (auto _ : state) {
        if (JEX_UpperBlitScaled(im.small, nullptr, im.big, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kDstW) * kDstH * 4);
}
BENCHMARK(BM_BlitScaled_ARGB8888_2x);

#ifdef JEX_BENCH_PIXMAN
void BM_Pixman_NearestScale_ARGB8888_2x(benchmark::State &state)
{
    Images &im = Shared();
    pixman_image_t *src = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, kSrcW, kSrcH, static_cast<uint32_t *>(im.small->pixels), im.small->pitch);
    pixman_image_t *dst = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, kDstW, kDstH, static_cast<uint32_t *>(im.big2->pixels), im.big2->pitch);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(kSrcW) / kDstW),
                                pixman_double_to_fixed(double(kSrcH) / kDstH));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kDstW, kDstH);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kDstW) * kDstH * 4);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    // Both should have drawn the same picture.
    JEX_SoftStretch(im.small, nullptr, im.big, nullptr);
    if (std::memcmp(im.big->pixels, im.big2->pixels, size_t(im.big->pitch) * kDstH) != 0)
        std::fprintf(stderr, "warning: pixman and JEX_SoftStretch pictures differ\n");
}
BENCHMARK(BM_Pixman_NearestScale_ARGB8888_2x);
#endif

void BM_UpperBlit_ARGB8888_Copy(benchmark::State &state)
{
    Images &im = Shared();
    for (auto _ : state) {
        if (JEX_UpperBlit(im.big, nullptr, im.big2, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kDstW) * kDstH * 4);
}
BENCHMARK(BM_UpperBlit_ARGB8888_Copy);

void BM_Memcpy_ARGB8888_Frame(benchmark::State &state)
{
    Images &im = Shared();
    const size_t n = size_t(im.big->pitch) * kDstH;
    for (auto _ : state) {
        std::memcpy(im.big2->pixels, im.big->pixels, n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(n));
}
BENCHMARK(BM_Memcpy_ARGB8888_Frame);

// Two everyday cases through the blit selection, for reference only: the
// family routines they reach are measured against pixman, with goals, in
// bench_blit_families.
JEX_Surface *MakeSurface(Uint32 code, int w, int h)
{
    int depth;
    Uint32 r, g, b, a;
    JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a);
    JEX_Surface *s = JEX_CreateRGBSurface(0, w, h, depth, r, g, b, a);
    if (!s)
        std::abort();
    return s;
}

void BM_General_Convert_ARGB8888_RGB565(benchmark::State &state)
{
    Images &im = Shared();
    JEX_Surface *dst = MakeSurface(JEX_PIXELFORMAT_RGB565, kDstW, kDstH);
    for (auto _ : state) {
        if (JEX_UpperBlit(im.big, nullptr, dst, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    JEX_FreeSurface(dst);
}
BENCHMARK(BM_General_Convert_ARGB8888_RGB565);

void BM_General_Blend_ARGB8888_XRGB8888(benchmark::State &state)
{
    Images &im = Shared();
    JEX_Surface *dst = MakeSurface(JEX_PIXELFORMAT_RGB888, kDstW, kDstH);
    JEX_SetSurfaceBlendMode(im.big, JEX_BLENDMODE_BLEND);
    for (auto _ : state) {
        if (JEX_UpperBlit(im.big, nullptr, dst, nullptr) < 0)
            state.SkipWithError(JEX_GetError());
        benchmark::ClobberMemory();
    }
    JEX_SetSurfaceBlendMode(im.big, JEX_BLENDMODE_NONE);
    JEX_FreeSurface(dst);
}
BENCHMARK(BM_General_Blend_ARGB8888_XRGB8888);

#ifdef JEX_BENCH_PIXMAN
void PixmanComposite(benchmark::State &state, pixman_op_t op, pixman_format_code_t dst_format,
                     int dst_bpp)
{
    Images &im = Shared();
    std::vector<uint32_t> out(size_t(kDstW) * kDstH * dst_bpp / 4 + 1);
    pixman_image_t *src = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, kDstW, kDstH, static_cast<uint32_t *>(im.big->pixels), im.big->pitch);
    pixman_image_t *dst =
        pixman_image_create_bits(dst_format, kDstW, kDstH, out.data(), kDstW * dst_bpp);
    for (auto _ : state) {
        pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kDstW, kDstH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

void BM_Pixman_Src_ARGB8888_RGB565(benchmark::State &state)
{
    PixmanComposite(state, PIXMAN_OP_SRC, PIXMAN_r5g6b5, 2);
}
BENCHMARK(BM_Pixman_Src_ARGB8888_RGB565);

void BM_Pixman_Over_ARGB8888_XRGB8888(benchmark::State &state)
{
    PixmanComposite(state, PIXMAN_OP_OVER, PIXMAN_x8r8g8b8, 4);
}
BENCHMARK(BM_Pixman_Over_ARGB8888_XRGB8888);
#endif

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    PrintRatio(rec, "SoftStretch 512x384->1024x768 ARGB8888 vs pixman nearest SRC",
               "BM_SoftStretch_ARGB8888_2x", "BM_Pixman_NearestScale_ARGB8888_2x", 1.0);
    PrintRatio(rec, "UpperBlitScaled 512x384->1024x768 ARGB8888 vs pixman nearest SRC",
               "BM_BlitScaled_ARGB8888_2x", "BM_Pixman_NearestScale_ARGB8888_2x", 1.0);
    PrintRatio(rec, "UpperBlit copy 1024x768 ARGB8888 vs memcpy", "BM_UpperBlit_ARGB8888_Copy",
               "BM_Memcpy_ARGB8888_Frame", 0.9);
    PrintRatio(rec, "UpperBlit ARGB8888->RGB565 vs pixman SRC",
               "BM_General_Convert_ARGB8888_RGB565", "BM_Pixman_Src_ARGB8888_RGB565", 0);
    PrintRatio(rec, "UpperBlit BLEND ARGB8888->XRGB8888 vs pixman OVER",
               "BM_General_Blend_ARGB8888_XRGB8888", "BM_Pixman_Over_ARGB8888_XRGB8888", 0);
    benchmark::Shutdown();
    return 0;
}
