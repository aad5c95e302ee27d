// Shaped windows without a display: quad-trees and bitmaps of random masks against a pixel
// reading, and the core's shaped-window calls on the scripted driver.
#include "JEX_draw.h"
#include "test_video_driver.h"
#include "video/shape_internal.h"
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

using Surface = std::unique_ptr<JEX_Surface, decltype(&JEX_FreeSurface)>;
using Counts = std::vector<std::vector<int>>;

// Random blocks and single pixels: clear, white, and (10, 20, 30) at alpha 128 and 127.
Surface RandomMask(std::mt19937 &rng, int w, int h, Uint32 format)
{
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    JEX_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a);
    Surface s(JEX_CreateRGBSurface(0, w, h, bpp, r, g, b, a), JEX_FreeSurface);
    const Uint32 colours[4] = {0, JEX_MapRGBA(s->format, 255, 255, 255, 255),
                               JEX_MapRGBA(s->format, 10, 20, 30, 128),
                               JEX_MapRGBA(s->format, 10, 20, 30, 127)};
    for (int i = 0, size = w * h; i < 11; ++i, size = i < 6 ? int(rng() % (w * h)) : 0) {
        const JEX_Rect r{int(rng() % w), int(rng() % h), size % w + 1, size / w + 1};
        JEX_FillRect(s.get(), i ? &r : nullptr, colours[rng() % 4]);
    }
    return s;
}

// Whether pixel (x, y) is opaque by the table of modes, read byte by byte.
bool Opaque(const JEX_Surface *s, JEX_WindowShapeMode m, int x, int y)
{
    const int bpp = s->format->bytes_per_pixel;
    Uint32 pixel = 0;
    std::memcpy(&pixel, static_cast<Uint8 *>(s->pixels) + y * s->pitch + x * bpp, bpp);
    Uint8 r, g, b, a, cut = m.parameters.binarizationCutoff;
    JEX_GetRGBA(pixel, s->format, &r, &g, &b, &a);
    const JEX_Color k = m.parameters.colorKey;
    const bool by_mode[4] = {a >= 1, a >= cut, a <= cut, r != k.r || g != k.g || b != k.b};
    return by_mode[m.mode];
}

// Each leaf adds 1 to its pixels, 2 where a pixel's class is not the leaf's kind: every count
// must come out 1.
struct Walk {
    JEX_Surface *s;
    JEX_WindowShapeMode mode;
    Counts counts;
};
void Visit(JEX_ShapeTree *leaf, void *closure)
{
    auto &[s, mode, counts] = *static_cast<Walk *>(closure);
    const JEX_Rect &r = leaf->data.shape;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            counts.at(y).at(x) += 1 + (Opaque(s, mode, x, y) != (leaf->kind == OpaqueShape));
}

TEST(ShapeMask, TreesAndBitmapsOfRandomMasksMatchEveryPixelBadArgumentsChangeNothing)
{
    std::mt19937 rng(17);
    JEX_WindowShapeMode modes[4] = {{0, {1}}, {1, {128}}, {2, {128}}, {3, {}}};
    modes[3].parameters.colorKey = JEX_Color{10, 20, 30, 0};
    for (Uint32 format : {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGBA4444, JEX_PIXELFORMAT_RGB24,
                          JEX_PIXELFORMAT_RGB565})
        for (JEX_WindowShapeMode mode : modes)
            for (auto [w, h] : {std::pair(1, 1), {1, 9}, {7, 5}, {8, 8}, {13, 6}, {33, 17}}) {
                Surface s = RandomMask(rng, w, h, format);
                Walk walk{s.get(), mode, Counts(h, std::vector<int>(w))};
                JEX_ShapeTree *tree = JEX_CalculateShapeTree(mode, s.get());
                JEX_TraverseShapeTree(tree, Visit, &walk);
                JEX_FreeShapeTree(&tree);
                EXPECT_EQ(walk.counts, Counts(h, std::vector<int>(w, 1)));
                // Packed bitmaps: pixel i = x + y * w is bit 8 - ppb + i % ppb of byte i / ppb.
                for (Uint8 ppb : {1, 2, 4, 8}) {
                    std::vector<Uint8> bits((w * h + ppb - 1) / ppb), want(bits.size());
                    for (int i = 0; i < w * h; ++i)
                        want[i / ppb] |= Opaque(s.get(), mode, i % w, i / w) << (8 - ppb + i % ppb);
                    EXPECT_EQ((JEX_CalculateShapeBitmap(mode, s.get(), bits.data(), ppb), bits),
                              want);
                }
            }
    Surface s = RandomMask(rng, 4, 4, JEX_PIXELFORMAT_ARGB8888);
    std::vector<Uint8> bits(4, 0xA5);
    for (Uint8 ppb : {0, 3, 9, 16})
        EXPECT_EQ(JEX_CalculateShapeBitmap(modes[0], s.get(), bits.data(), ppb), -1) << int(ppb);
    EXPECT_EQ(JEX_CalculateShapeBitmapRows(modes[0], s.get(), bits.data(), 8, 0), -1);
    EXPECT_EQ(bits, std::vector<Uint8>(4, 0xA5));
}

int g_result = 0, g_seen_mode = -1;  // SetWindowShape answers g_result

TEST(ShapedWindow, ModeFlagAndPositionChangeOnlyWhenTheDriverAppliedTheShape)
{
    jextest::TestVideoDriver drv;
    drv.after["DestroyWindow"] = [](JEX_Window *w) { delete w->shaper; };
    ASSERT_EQ(drv.Start(), 0);
    JEX_VideoDevice *d = JEX_GetVideoDevice();
    d->CreateShaper = [](JEX_VideoDevice *, JEX_Window *) { return new JEX_WindowShaper{}; };
    d->SetWindowShape = [](auto, auto, auto, JEX_WindowShapeMode *m) {
        return g_seen_mode = m->mode, g_result;
    };
    Surface mask(JEX_CreateRGBSurface(0, 8, 8, 32, 0, 0, 0, 0), JEX_FreeSurface);
    JEX_WindowShapeMode mode{}, unknown{7, {}}, binarize{1, {9}};
    JEX_Window *w =
        JEX_CreateShapedWindow("s", 0, 50, 8, 8, JEX_WINDOW_RESIZABLE | JEX_WINDOW_FULLSCREEN);
    const auto state = [&] {  // (has a shape, mode, cutoff, x, y)
        int x = 0, y = 0, has = JEX_GetShapedWindowMode(w, nullptr);
        JEX_GetShapedWindowMode(w, &mode);
        JEX_GetWindowPosition(w, &x, &y);
        return std::tuple(has, mode.mode, int(mode.parameters.binarizationCutoff), x, y);
    };
    ASSERT_TRUE(JEX_IsShapedWindow(w)) << JEX_GetError();
    EXPECT_EQ(JEX_GetWindowFlags(w) & 0x31, Uint32(JEX_WINDOW_BORDERLESS)) << "never resizable";
    EXPECT_EQ(state(), std::tuple(JEX_WINDOW_LACKS_SHAPE, 0, 1, -1000, -1000));
    EXPECT_EQ(JEX_SetWindowShape(w, nullptr, nullptr), JEX_INVALID_SHAPE_ARGUMENT);
    EXPECT_EQ(JEX_SetWindowShape(w, mask.get(), &unknown), JEX_INVALID_SHAPE_ARGUMENT);
    g_result = -5;  // the driver fails: nothing of the request is kept
    EXPECT_EQ(JEX_SetWindowShape(w, mask.get(), &binarize), -5);
    EXPECT_EQ(state(), std::tuple(JEX_WINDOW_LACKS_SHAPE, 0, 1, -1000, -1000));
    g_result = 0;  // applied: kept, and the window comes to (0, 50), zero or not
    EXPECT_EQ(JEX_SetWindowShape(w, mask.get(), &binarize), 0);
    EXPECT_EQ(state(), std::tuple(0, 1, 9, 0, 50));
    JEX_SetWindowPosition(w, 5, 6);  // later shapes keep the mode and leave the window be
    EXPECT_EQ(JEX_SetWindowShape(w, mask.get(), nullptr), 0);
    EXPECT_EQ(std::pair(g_seen_mode, state()), std::pair(1, std::tuple(0, 1, 9, 5, 6)));
    JEX_DestroyWindow(w);
    EXPECT_EQ(JEX_SetWindowShape(w, mask.get(), nullptr), JEX_NONSHAPEABLE_WINDOW);
    EXPECT_FALSE(JEX_IsShapedWindow(w) || JEX_IsShapedWindow(nullptr));
}

}  // namespace
