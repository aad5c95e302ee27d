// Sprite drawing through the software renderer against pixman in the same
// run: 64x64 ARGB8888 sprites (a disc with a soft edge) copied with BLEND
// onto a 1024x768 XRGB8888 surface, against pixman OVER compositing the same
// sprites at the same places.
#include "bench_report.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_render.h"
#include "JEX_surface.h"

#if __has_include(<pixman.h>)
#include <pixman.h>
#define JEX_BENCH_PIXMAN 1
#endif

namespace {

constexpr int kW = 1024, kH = 768, kSprite = 64, kSprites = 500;

struct Scene {
    JEX_Surface *target = nullptr;
    JEX_Surface *sprite = nullptr;
    std::vector<JEX_Rect> places;
    Scene()
    {
        target = JEX_CreateRGBSurface(0, kW, kH, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        sprite = JEX_CreateRGBSurface(0, kSprite, kSprite, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
        if (!target || !sprite) {
            std::fprintf(stderr, "surface: %s\n", JEX_GetError());
            std::abort();
        }
        // Opaque in the middle, fading over the last eight pixels of the
        // radius, clear outside: the mix a sprite usually has.
        for (int y = 0; y < kSprite; ++y)
            for (int x = 0; x < kSprite; ++x) {
                const double d = std::hypot(x - 31.5, y - 31.5);
                const int a = d < 24 ? 255 : d < 32 ? int(255 * (32 - d) / 8) : 0;
                static_cast<Uint32 *>(sprite->pixels)[y * kSprite + x] =
                    Uint32(a) << 24 | Uint32(x * 4) << 16 | Uint32(y * 4) << 8 | 0x80;
            }
        unsigned seed = 12345;
        for (int i = 0; i < kSprites; ++i) {
            seed = seed * 1103515245 + 12345;
            const int x = int(seed >> 8) % (kW - kSprite);
            seed = seed * 1103515245 + 12345;
            const int y = int(seed >> 8) % (kH - kSprite);
            places.push_back({x, y, kSprite, kSprite});
        }
    }
};

Scene &Shared()
{
    static Scene scene;
    return scene;
}

// Static textures, as made from surfaces, are run-length encoded; a
// streaming one is blitted as it is.
void SpriteBlend(benchmark::State &state, bool streaming)
{
    Scene &s = Shared();
    JEX_Renderer *r = JEX_CreateSoftwareRenderer(s.target);
    JEX_Texture *t = nullptr;
    if (r && streaming) {
        t = JEX_CreateTexture(r, JEX_PIXELFORMAT_ARGB8888, JEX_TEXTUREACCESS_STREAMING, kSprite,
                              kSprite);
        if (t)
            JEX_UpdateTexture(t, nullptr, s.sprite->pixels, s.sprite->pitch);
    } else if (r) {
        t = JEX_CreateTextureFromSurface(r, s.sprite);
    }
    if (!t) {
        state.SkipWithError(JEX_GetError());
        JEX_DestroyRenderer(r);
        return;
    }
    JEX_SetTextureBlendMode(t, JEX_BLENDMODE_BLEND);
    for (auto _ : state) {
        for (const JEX_Rect &place : s.places)
            JEX_RenderCopy(r, t, nullptr, &place);
        benchmark::ClobberMemory();
    }
    state.counters["sprites/s"] =
        benchmark::Counter(double(state.iterations()) * kSprites, benchmark::Counter::kIsRate);
    JEX_DestroyRenderer(r);
}

void BM_Renderer_SpriteBlend(benchmark::State &state)
{
    SpriteBlend(state, false);
}
BENCHMARK(BM_Renderer_SpriteBlend);

void BM_Renderer_SpriteBlend_Streaming(benchmark::State &state)
{
    SpriteBlend(state, true);
}
BENCHMARK(BM_Renderer_SpriteBlend_Streaming);

#ifdef JEX_BENCH_PIXMAN
void BM_Pixman_SpriteOver(benchmark::State &state)
{
    Scene &s = Shared();
    // pixman composites premultiplied colour.
    std::vector<uint32_t> premultiplied(size_t(kSprite) * kSprite);
    for (size_t i = 0; i < premultiplied.size(); ++i) {
        const Uint32 p = static_cast<Uint32 *>(s.sprite->pixels)[i], a = p >> 24;
        premultiplied[i] = a << 24 | ((p >> 16 & 0xFF) * a / 255) << 16 |
                           ((p >> 8 & 0xFF) * a / 255) << 8 | ((p & 0xFF) * a / 255);
    }
    std::vector<uint32_t> out(size_t(kW) * kH);
    pixman_image_t *src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSprite, kSprite,
                                                   premultiplied.data(), kSprite * 4);
    pixman_image_t *dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, out.data(), kW * 4);
    for (auto _ : state) {
        for (const JEX_Rect &place : s.places)
            pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, place.x,
                                     place.y, kSprite, kSprite);
        benchmark::ClobberMemory();
    }
    state.counters["sprites/s"] =
        benchmark::Counter(double(state.iterations()) * kSprites, benchmark::Counter::kIsRate);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}
BENCHMARK(BM_Pixman_SpriteOver);
#endif

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    PrintRatio(rec, "renderer 64x64 ARGB8888 sprites BLEND onto XRGB8888 vs pixman OVER",
               "BM_Renderer_SpriteBlend", "BM_Pixman_SpriteOver", 1.0);
    PrintRatio(rec, "renderer streaming (not RLE) sprites BLEND vs pixman OVER",
               "BM_Renderer_SpriteBlend_Streaming", "BM_Pixman_SpriteOver", 1.0);
    benchmark::Shutdown();
    JEX_FreeSurface(Shared().target);
    JEX_FreeSurface(Shared().sprite);
    return 0;
}
