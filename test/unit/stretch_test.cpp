// Software stretch and scaled blits: nearest-neighbour placement against the
// 16.16 fixed-point rule, rectangle validation, degenerate and very large
// sizes, guard bytes.
#include <climits>

#include "surface_test_util.h"

using namespace surftest;

namespace {

// Stretches copy raw pixels; blits in these tests copy without blending.
struct Plain : Guarded {
    Plain(Uint32 code, int w, int h) : Guarded(code, w, h)
    {
        if (get())
            JEX_SetSurfaceBlendMode(get(), JEX_BLENDMODE_NONE);
    }
};

// Source index of destination index i: (i x ((n << 16) / m)) >> 16.
int SourceIndex(int i, int src_size, int dst_size)
{
    const Uint64 step = (Uint64(src_size) << 16) / Uint64(dst_size);
    return int((Uint64(i) * step) >> 16);
}

// Stretches src (sr) onto dst (dr): nearest source pixels inside dr, everything else untouched.
void CheckStretch(Uint32 code, int sw, int sh, JEX_Rect sr, int dw, int dh, JEX_Rect dr)
{
    Plain src(code, sw, sh), dst(code, dw, dh);
    ASSERT_TRUE(src.get() && dst.get());
    const Uint32 mask =
        JEX_BYTESPERPIXEL(code) == 4 ? 0xFFFFFFFFu : (1u << (8 * JEX_BYTESPERPIXEL(code))) - 1;
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            src.set(x, y, Uint32(0x9E3779B9u * Uint32(y * sw + x + 1)) & mask);
    dst.Fill(0x11111111u & mask);
    ASSERT_EQ(JEX_SoftStretch(src.get(), &sr, dst.get(), &dr), 0) << JEX_GetError();
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            Uint32 want = 0x11111111u & mask;
            if (x >= dr.x && x < dr.x + dr.w && y >= dr.y && y < dr.y + dr.h)
                want = src.pixel(sr.x + SourceIndex(x - dr.x, sr.w, dr.w),
                                 sr.y + SourceIndex(y - dr.y, sr.h, dr.h));
            ASSERT_EQ(dst.pixel(x, y), want) << "at (" << x << ", " << y << ")";
        }
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_TRUE(src.GuardsIntact());
}

// Every pixel size and shape, then every remainder of the four-pixel row loop
// at every destination offset.
TEST(SoftStretch, EveryPixelSizeShapeRowWidthAndOffset)
{
    const Uint32 codes[] = {JEX_PIXELFORMAT_RGB332, JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_BGR24,
                            JEX_PIXELFORMAT_ARGB8888};
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {3, 5}, {16, 9}, {13, 17}, {40, 3}};
    for (Uint32 code : codes)
        for (const auto &s : sizes)
            for (const auto &d : sizes) {
                SCOPED_TRACE(std::string(JEX_GetPixelFormatName(code)) + " " +
                             std::to_string(s[0]) + "x" + std::to_string(s[1]) + " -> " +
                             std::to_string(d[0]) + "x" + std::to_string(d[1]));
                CheckStretch(code, s[0] + 3, s[1] + 2, JEX_Rect{2, 1, s[0], s[1]}, d[0] + 4,
                             d[1] + 3, JEX_Rect{1, 2, d[0], d[1]});
                if (HasFailure())
                    return;
            }
    for (Uint32 code : {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_ARGB8888})
        for (int dw = 1; dw <= 13; ++dw)
            for (int dx = 0; dx < 4; ++dx)
                for (int sw : {1, 4, 9, 26}) {
                    SCOPED_TRACE(std::string(JEX_GetPixelFormatName(code)) + " " +
                                 std::to_string(sw) + " -> " + std::to_string(dw) + " at " +
                                 std::to_string(dx));
                    CheckStretch(code, sw + 1, 2, JEX_Rect{1, 0, sw, 2}, dw + dx + 1, 3,
                                 JEX_Rect{dx, 1, dw, 2});
                    if (HasFailure())
                        return;
                }
}

TEST(SoftStretch, RefusesBadRectanglesFormatsAndSubBytePixels)
{
    Plain a(JEX_PIXELFORMAT_RGB565, 10, 10), b(JEX_PIXELFORMAT_RGB565, 10, 10);
    b.Fill(0x1234);
    const JEX_Rect bad_src[] = {{1, 0, 10, 10},    {0, 0, 11, 1}, {-1, 0, 2, 2},
                                {0, -1, 2, 2},     {0, 0, -1, 2}, {INT_MAX, 0, INT_MAX, 1},
                                {5, 5, 2, INT_MAX}};
    for (const JEX_Rect &r : bad_src) {
        EXPECT_EQ(JEX_SoftStretch(a.get(), &r, b.get(), nullptr), -1);
        EXPECT_STREQ(JEX_GetError(), "Invalid source blit rectangle");
        EXPECT_EQ(JEX_SoftStretch(a.get(), nullptr, b.get(), &r), -1);
        EXPECT_STREQ(JEX_GetError(), "Invalid destination blit rectangle");
    }
    Plain c(JEX_PIXELFORMAT_ARGB8888, 10, 10);
    EXPECT_EQ(JEX_SoftStretch(a.get(), nullptr, c.get(), nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Only works with same format surfaces");
    SurfacePtr bits = Make(JEX_PIXELFORMAT_INDEX1MSB, 16, 4),
               bits2 = Make(JEX_PIXELFORMAT_INDEX1MSB, 32, 8);
    EXPECT_EQ(JEX_SoftStretch(bits.get(), nullptr, bits2.get(), nullptr), -1);
    EXPECT_EQ(b.pixel(3, 3), 0x1234u) << "failures write nothing";
    EXPECT_TRUE(b.GuardsIntact());
}

// Empty rectangles on either side draw nothing (and divide by nothing).
TEST(SoftStretch, EmptyRectanglesDrawNothing)
{
    Plain a(JEX_PIXELFORMAT_ARGB8888, 6, 6), b(JEX_PIXELFORMAT_ARGB8888, 6, 6);
    a.Fill(0xFFFFFFFF);
    b.Fill(0x01020304);
    const JEX_Rect empties[] = {{0, 0, 0, 3}, {2, 2, 3, 0}, {6, 6, 0, 0}, {6, 0, 0, 6}};
    for (const JEX_Rect &r : empties) {
        EXPECT_EQ(JEX_SoftStretch(a.get(), &r, b.get(), nullptr), 0);
        EXPECT_EQ(JEX_SoftStretch(a.get(), nullptr, b.get(), &r), 0);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(b.pixel(x, y), 0x01020304u);
    EXPECT_TRUE(b.GuardsIntact());
}

// Same pixel size is enough: raw values are copied without conversion.
TEST(SoftStretch, CopiesRawValuesBetweenFormatsOfOneSize)
{
    Plain a(JEX_PIXELFORMAT_RGB888, 1, 1), b(JEX_PIXELFORMAT_BGR888, 3, 2);
    a.set(0, 0, 0x00123456);
    ASSERT_EQ(JEX_SoftStretch(a.get(), nullptr, b.get(), nullptr), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(b.pixel(x, y), 0x00123456u);
}

// Widths past 32768 pixels: the 16.16 step needs more than 32 bits.
TEST(SoftStretch, WideRowsDoNotOverflowTheStep)
{
    constexpr int kW = 70000;
    Plain a(JEX_PIXELFORMAT_ARGB8888, kW, 1), b(JEX_PIXELFORMAT_ARGB8888, kW / 2, 1);
    for (int x = 0; x < kW; ++x)
        a.set(x, 0, Uint32(x));
    ASSERT_EQ(JEX_SoftStretch(a.get(), nullptr, b.get(), nullptr), 0);
    for (int x = 0; x < kW / 2; ++x)
        ASSERT_EQ(b.pixel(x, 0), Uint32(2 * x)) << "at " << x;
    Plain c(JEX_PIXELFORMAT_ARGB8888, 3, 1);
    ASSERT_EQ(JEX_SoftStretch(a.get(), nullptr, c.get(), nullptr), 0);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(c.pixel(x, 0), Uint32(SourceIndex(x, kW, 3))) << x;
    EXPECT_TRUE(b.GuardsIntact() && c.GuardsIntact());
}

// --- Scaled blits ---------------------------------------------------------

// Source rectangles outside the source, or shrunk to nothing by the
// destination's edges, draw nothing and read nothing out of bounds.
TEST(BlitScaled, DegenerateRectanglesDrawNothing)
{
    for (Uint32 dcode : {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB565}) {
        Plain src(JEX_PIXELFORMAT_ARGB8888, 8, 8), dst(dcode, 8, 8);
        src.Fill(0xFFFFFFFF);
        dst.Fill(0x2222);
        const JEX_Rect srcs[] = {{8, 0, 4, 4},     {0, 8, 4, 4},
                                 {-10, 0, 5, 5},   {0, -10, 5, 5},
                                 {100, 100, 5, 5}, {INT_MAX, INT_MAX, INT_MAX, 1},
                                 {2, 2, 0, 5},     {INT_MIN, 0, INT_MAX, 8}};
        for (const JEX_Rect &sr : srcs) {
            JEX_Rect dr{1, 1, 6, 6};
            EXPECT_EQ(JEX_UpperBlitScaled(src.get(), &sr, dst.get(), &dr), 0);
            EXPECT_EQ(JEX_LowerBlitScaled(src.get(), const_cast<JEX_Rect *>(&sr), dst.get(), &dr),
                      0);
        }
        const JEX_Rect dsts[] = {{8, 0, 4, 4},
                                 {-4, 0, 4, 4},
                                 {0, 0, 0, 8},
                                 {INT_MAX, 0, 5, 5},
                                 {INT_MIN, INT_MIN, INT_MAX, INT_MAX}};
        for (const JEX_Rect &dr : dsts) {
            JEX_Rect d = dr;
            EXPECT_EQ(JEX_UpperBlitScaled(src.get(), nullptr, dst.get(), &d), 0);
            EXPECT_TRUE(JEX_RectEquals(&d, &dr)) << "the caller's rectangle is not changed";
            JEX_Rect whole{0, 0, 8, 8};
            EXPECT_EQ(JEX_LowerBlitScaled(src.get(), &whole, dst.get(), &d), 0);
        }
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(dst.pixel(x, y) & 0xFFFF, 0x2222u) << "at (" << x << ", " << y << ")";
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

// A destination partly outside the surface is cut at the edge, and the
// source width shrinks in proportion; large sizes keep the proportion exact.
TEST(BlitScaled, DestinationCutAtTheEdge)
{
    Plain src(JEX_PIXELFORMAT_ARGB8888, 8, 2), dst(JEX_PIXELFORMAT_ARGB8888, 10, 2);
    for (int x = 0; x < 16; ++x)
        src.set(x % 8, x / 8, Uint32(x % 8 + 1));
    dst.Fill(0);
    JEX_Rect sr{0, 0, 8, 2}, dr{2, 0, 16, 2};
    ASSERT_EQ(JEX_LowerBlitScaled(src.get(), &sr, dst.get(), &dr), 0);
    // 8 of the 16 requested columns fit, so 4 source columns are used.
    const Uint32 want[10] = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(dst.pixel(x, 0), want[x]) << x;
    EXPECT_TRUE(dst.GuardsIntact());
}

}  // namespace
