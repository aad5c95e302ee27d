// Points, lines and polylines, solid and blended: pixel sets, clipping past 32
// bits, each polyline pixel once, guard bytes, failures, blended oracle.
#include <functional>
#include <climits>
#include <cstring>
#include <set>
#include <utility>

#include "surface_test_util.h"

namespace {

using namespace surftest;
using PixelSet = std::set<std::pair<int, int>>;

void Clear(JEX_Surface *s)
{
    std::memset(s->pixels, 0, std::size_t(s->pitch) * s->h);
}

PixelSet NonZero(const JEX_Surface *s)
{
    PixelSet set;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x)
            if (Read(s, x, y))
                set.insert({x, y});
    return set;
}

// The pixels one solid line sets on a blank surface of the given size.
PixelSet LinePixels(int w, int h, int x1, int y1, int x2, int y2)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_ARGB8888, w, h);
    EXPECT_EQ(JEX_DrawLine(s.get(), x1, y1, x2, y2, 1), 0);
    return NonZero(s.get());
}

}  // namespace

TEST(DrawLine, ExamplePixelSets)
{
    EXPECT_EQ(LinePixels(8, 8, 0, 0, 3, 0), (PixelSet{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(LinePixels(8, 8, 0, 0, 4, 1), (PixelSet{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(LinePixels(8, 8, 3, 3, 0, 0), (PixelSet{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(LinePixels(8, 8, 0, 3, 3, 0), (PixelSet{{0, 3}, {1, 2}, {2, 1}, {3, 0}}));
    EXPECT_EQ(LinePixels(8, 8, 2, 5, 2, 2), (PixelSet{{2, 2}, {2, 3}, {2, 4}, {2, 5}}));
    EXPECT_EQ(LinePixels(8, 8, 5, 5, 5, 5), (PixelSet{{5, 5}}));
}

// Any line (a quarter of them horizontal runs, which fill rows): one pixel per step of its
// longer axis, both ends included, the same set on 1-, 2- and 4-byte pixels.
TEST(DrawLine, ShapeOfRandomLinesAndSameSetForEveryPixelSize)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 400; ++n) {
        const int x1 = int(rng() % 80), y1 = int(rng() % 30), x2 = int(rng() % 80),
                  y2 = n % 4 ? int(rng() % 30) : y1;
        const PixelSet set = LinePixels(80, 30, x1, y1, x2, y2);
        const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
        ASSERT_EQ(int(set.size()), std::max(dx, dy) + 1)
            << x1 << "," << y1 << " " << x2 << "," << y2;
        EXPECT_TRUE(set.count({x1, y1}) && set.count({x2, y2}));
        std::set<int> majors;
        for (const auto &[x, y] : set)
            majors.insert(dx >= dy ? x : y);
        EXPECT_EQ(majors.size(), set.size()) << "two pixels in one step of the major axis";
        for (Uint32 code : {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB565}) {
            SurfacePtr s = Make(code, 80, 30);
            ASSERT_EQ(JEX_DrawLine(s.get(), x1, y1, x2, y2, 0xFF), 0);
            EXPECT_EQ(NonZero(s.get()), set) << JEX_GetPixelFormatName(code);
        }
    }
}

// Rows addressed by the byte pitch even when it is not a multiple of the pixel size.
TEST(DrawLine, OddPitchRowsAreAddressedInBytes)
{
    const int pitch = 4 * 10 + 2;
    std::vector<Uint8> buf(std::size_t(pitch) * 8 + 16, 0);
    SurfacePtr s = MakeFrom(JEX_PIXELFORMAT_RGB888, buf.data(), 10, 8, pitch);
    ASSERT_TRUE(s) << JEX_GetError();
    ASSERT_EQ(JEX_DrawLine(s.get(), 3, 0, 3, 7, 0xAABBCCDD), 0);
    ASSERT_EQ(JEX_DrawLine(s.get(), 0, 0, 7, 7, 0x11111111), 0);
    for (int y = 0; y < 8; ++y) {
        Uint32 v;
        std::memcpy(&v, buf.data() + y * pitch + 3 * 4, 4);
        EXPECT_EQ(v, y == 3 ? 0x11111111u : 0xAABBCCDDu) << y;
        std::memcpy(&v, buf.data() + y * pitch + y * 4, 4);
        EXPECT_EQ(v, 0x11111111u) << y;
    }
}

// Far-away ends: the clipping products pass 32 bits, yet lines through the clip come out exact
// (that clipped ends lie inside the clip: rect_test LineClippingRandom).
TEST(DrawLine, HugeCoordinatesClipExactlyAndStayInside)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_ARGB8888, 60, 60);
    const JEX_Rect clip{10, 10, 40, 40};
    JEX_SetClipRect(s.get(), &clip);
    const int big = 1 << 30;
    ASSERT_EQ(JEX_DrawLine(s.get(), -big, -big, big, big, 1), 0);
    PixelSet want;
    for (int i = 10; i < 50; ++i)
        want.insert({i, i});
    EXPECT_EQ(NonZero(s.get()), want);
    // A shallow line across the whole int range: one pixel per column.
    Clear(s.get());
    ASSERT_EQ(JEX_DrawLine(s.get(), INT_MIN + 1, 20, INT_MAX, 40, 1), 0);
    const PixelSet got = NonZero(s.get());
    std::set<int> columns;
    for (const auto &[x, y] : got) {
        columns.insert(x);
        EXPECT_TRUE(y == 29 || y == 30) << y;
    }
    EXPECT_TRUE(columns.size() == 40u && got.size() == 40u) << columns.size() << " " << got.size();
}

// --- Polylines: each pixel once (counted with ADD of 1), inside the clip ---

namespace {

// Per-pixel counts of a polyline drawn with ADD of 1 on a blank RGB888 surface (blue = count).
std::vector<int> DrawCounts(JEX_Surface *s, const std::vector<JEX_Point> &pts)
{
    Clear(s);
    EXPECT_EQ(JEX_BlendLines(s, pts.data(), int(pts.size()), JEX_BLENDMODE_ADD, 1, 1, 1, 255), 0);
    std::vector<int> counts(std::size_t(s->w) * s->h);
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x)
            counts[std::size_t(y) * s->w + x] = int(Read(s, x, y) & 0xFF);
    return counts;
}

}  // namespace

// Shapes partly outside the clip: no pixel twice or outside, exactly the union
// of the segments; fewer than two points draw nothing.
TEST(DrawLines, ShapesPartlyClippedDrawEachPixelOnceInsideTheClip)
{
    const std::vector<std::vector<JEX_Point>> shapes = {
        {{5, 5}, {40, 5}, {40, 30}, {5, 30}, {5, 5}},     // square
        {{25, 2}, {45, 22}, {25, 42}, {5, 22}, {25, 2}},  // diamond
        {{15, 3}, {35, 3}, {47, 15}, {47, 30}, {35, 42}, {15, 42}, {3, 30}, {3, 15}, {15, 3}},
        {{2, 40}, {12, 34}, {30, 28}, {48, 26}},    // open, bending
        {{-20, 10}, {30, 10}, {30, 60}, {-5, 25}},  // leaves the clip
        {{60, -10}, {20, 20}, {0, 20}}};
    SurfacePtr s = Make(JEX_PIXELFORMAT_RGB888, 50, 45);
    SurfacePtr solid = Make(JEX_PIXELFORMAT_ARGB8888, 50, 45);
    const JEX_Rect clip{2, 3, 44, 38};
    JEX_SetClipRect(s.get(), &clip);
    JEX_SetClipRect(solid.get(), &clip);
    // Fewer than two points draw nothing.
    const JEX_Point two[] = {{5, 5}, {9, 5}};
    ASSERT_EQ(JEX_DrawLines(s.get(), two, 1, 0xFFFFFF) | JEX_DrawLines(s.get(), two, 0, 0xFFFFFF) |
                  JEX_BlendLines(s.get(), two, 1, JEX_BLENDMODE_ADD, 1, 1, 1, 255),
              0);
    EXPECT_TRUE(NonZero(s.get()).empty());
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        const auto &pts = shapes[k];
        const std::vector<int> counts = DrawCounts(s.get(), pts);
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 50; ++x) {
                const int c = counts[std::size_t(y) * 50 + x];
                ASSERT_LE(c, 1) << "shape " << k << " drew " << x << "," << y << " " << c
                                << " times";
                if (c) {
                    ASSERT_TRUE(x >= 2 && x < 46 && y >= 3 && y < 41) << "outside the clip";
                }
            }
        // Union of the separately clipped segments (ends included).
        PixelSet want;
        for (std::size_t i = 1; i < pts.size(); ++i) {
            Clear(solid.get());
            ASSERT_EQ(JEX_DrawLine(solid.get(), pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y, 1),
                      0);
            const PixelSet seg = NonZero(solid.get());
            want.insert(seg.begin(), seg.end());
        }
        Clear(solid.get());
        ASSERT_EQ(JEX_DrawLines(solid.get(), pts.data(), int(pts.size()), 1), 0);
        EXPECT_EQ(NonZero(solid.get()), want) << "shape " << k;
        PixelSet blended;
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 50; ++x)
                if (counts[std::size_t(y) * 50 + x])
                    blended.insert({x, y});
        EXPECT_EQ(blended, want) << "shape " << k;
    }
}

// --- Points and failures ---

TEST(DrawPoint, ClipPixelSizesAndFailures)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_RGB565, 6, 6);
    const JEX_Rect clip{1, 1, 4, 4};
    JEX_SetClipRect(s.get(), &clip);
    EXPECT_EQ(JEX_DrawPoint(s.get(), 0, 0, 0x1234), 0);
    EXPECT_EQ(JEX_DrawPoint(s.get(), 4, 4, 0x1234), 0);
    EXPECT_EQ(JEX_DrawPoint(s.get(), 5, 4, 0x1234), 0);
    const JEX_Point pts[] = {{1, 1}, {-1, 2}, {2, 5}, {3, 2}};
    EXPECT_EQ(JEX_DrawPoints(s.get(), pts, 4, 0xF00F), 0);
    EXPECT_EQ(NonZero(s.get()), (PixelSet{{4, 4}, {1, 1}, {3, 2}}));
    EXPECT_TRUE(Read(s.get(), 4, 4) == 0x1234u && Read(s.get(), 3, 2) == 0xF00Fu);
    EXPECT_EQ(JEX_DrawPoints(s.get(), pts, 0, 1), 0);
    SurfacePtr rgb24 = Make(JEX_PIXELFORMAT_RGB24, 4, 4);
    EXPECT_EQ(JEX_DrawPoint(rgb24.get(), 9, 9, 0), 0) << "outside the clip is not an error";
    JEX_ClearError();
    EXPECT_EQ(JEX_DrawPoint(rgb24.get(), 1, 1, 0xFFFFFF), -1);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_DrawPoints(rgb24.get(), pts, 4, 0xFFFFFF), -1);
    EXPECT_TRUE(NonZero(rgb24.get()).empty());
    EXPECT_EQ(JEX_DrawLine(rgb24.get(), 0, 0, 3, 3, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_DrawLine(): Unsupported surface format");
    EXPECT_EQ(JEX_DrawLines(rgb24.get(), pts, 4, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_DrawLines(): Unsupported surface format");
    EXPECT_EQ(JEX_BlendLine(rgb24.get(), 0, 0, 3, 3, JEX_BLENDMODE_ADD, 1, 1, 1, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_BlendLine(): Unsupported surface format");
}

// Every drawing call by name, for the checks that hold for all of them.
const JEX_Point kTwo[] = {{0, 0}, {3, 3}};
const std::pair<const char *, std::function<int(JEX_Surface *)>> kCalls[] = {
    {"DrawPoint", [](JEX_Surface *s) { return JEX_DrawPoint(s, 1, 1, 1); }},
    {"DrawPoints", [](JEX_Surface *s) { return JEX_DrawPoints(s, kTwo, 2, 1); }},
    {"DrawLine", [](JEX_Surface *s) { return JEX_DrawLine(s, 0, 0, 3, 3, 1); }},
    {"DrawLines", [](JEX_Surface *s) { return JEX_DrawLines(s, kTwo, 2, 1); }},
    {"BlendPoint",
     [](JEX_Surface *s) { return JEX_BlendPoint(s, 1, 1, JEX_BLENDMODE_NONE, 1, 1, 1, 1); }},
    {"BlendPoints",
     [](JEX_Surface *s) { return JEX_BlendPoints(s, kTwo, 2, JEX_BLENDMODE_NONE, 1, 1, 1, 1); }},
    {"BlendLine",
     [](JEX_Surface *s) { return JEX_BlendLine(s, 0, 0, 3, 3, JEX_BLENDMODE_NONE, 1, 1, 1, 1); }},
    {"BlendLines",
     [](JEX_Surface *s) { return JEX_BlendLines(s, kTwo, 2, JEX_BLENDMODE_NONE, 1, 1, 1, 1); }},
};

TEST(Draw, SubByteFormatsAreRefusedUntouched)
{
    for (Uint32 code : {JEX_PIXELFORMAT_INDEX1LSB, JEX_PIXELFORMAT_INDEX4MSB}) {
        SurfacePtr s = Make(code, 16, 4);
        ASSERT_TRUE(s);
        for (const auto &[name, call] : kCalls) {
            EXPECT_EQ(call(s.get()), -1) << name;
            EXPECT_EQ(JEX_GetError(),
                      std::string("JEX_") + name + "(): Unsupported surface format");
        }
        for (int i = 0; i < s->pitch * s->h; ++i)
            ASSERT_EQ(static_cast<Uint8 *>(s->pixels)[i], 0);
    }
}

TEST(Draw, NullSurfacesAndPixels)
{
    // The point routines name no function in their message.
    for (const auto &[name, call] : kCalls) {
        EXPECT_EQ(call(nullptr), -1) << name;
        const std::string msg = "Passed NULL destination surface";
        EXPECT_EQ(JEX_GetError(), std::string(name).find("Point") != std::string::npos
                                      ? msg
                                      : std::string("JEX_") + name + "(): " + msg);
    }
    const JEX_Point pts[] = {{0, 0}, {3, 3}};
    // Without pixels nothing may be written: an error when something would
    // be drawn, 0 when the clip leaves nothing.
    SurfacePtr s = Make(JEX_PIXELFORMAT_ARGB8888, 4, 4);
    void *pixels = s->pixels;
    s->pixels = nullptr;
    EXPECT_EQ(JEX_DrawPoint(s.get(), 1, 1, 0), -1);
    EXPECT_EQ(JEX_DrawPoint(s.get(), 9, 9, 0), 0);
    EXPECT_EQ(JEX_DrawLine(s.get(), 0, 0, 3, 3, 0), -1);
    EXPECT_EQ(JEX_DrawLine(s.get(), 10, 10, 30, 30, 0), 0);
    EXPECT_EQ(JEX_BlendLine(s.get(), 0, 0, 3, 3, JEX_BLENDMODE_BLEND, 1, 1, 1, 1), -1);
    EXPECT_EQ(JEX_BlendPoint(s.get(), 1, 1, JEX_BLENDMODE_BLEND, 1, 1, 1, 1), -1);
    EXPECT_EQ(JEX_DrawLines(s.get(), pts, 2, 0), -1);
    EXPECT_EQ(JEX_BlendLines(s.get(), pts, 2, JEX_BLENDMODE_BLEND, 1, 1, 1, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_BlendLines(): You must lock the surface");
    s->pixels = pixels;
}

// --- Blended points and lines against the oracle ---

// Every mode and format with a blended routine: line pixels get the oracle's value, others keep.
TEST(BlendLine, EveryModeAndFormatMatchesTheOracle)
{
    const Uint32 formats[] = {
        JEX_PIXELFORMAT_RGB555,   JEX_PIXELFORMAT_RGB565,   JEX_PIXELFORMAT_RGB888,
        JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_BGR555,   JEX_PIXELFORMAT_BGR565,
        JEX_PIXELFORMAT_RGB444,   JEX_PIXELFORMAT_BGR888,   JEX_PIXELFORMAT_ABGR8888,
        JEX_PIXELFORMAT_RGBA8888, JEX_PIXELFORMAT_BGRA8888, JEX_PIXELFORMAT_ARGB2101010,
        JEX_PIXELFORMAT_ARGB4444, JEX_PIXELFORMAT_ARGB1555};
    const int modes[] = {JEX_BLENDMODE_NONE, JEX_BLENDMODE_BLEND, JEX_BLENDMODE_ADD,
                         JEX_BLENDMODE_MOD, 6 /* not a mode: replaces */};
    std::mt19937 rng(5);
    for (Uint32 code : formats) {
        SurfacePtr s = Make(code, 24, 16);
        ASSERT_TRUE(s) << JEX_GetPixelFormatName(code);
        const bool points_ok = s->format->bytes_per_pixel == 4 || s->format->amask == 0;
        for (int mode : modes)
            for (int n = 0; n < 12; ++n) {
                Randomise(s.get(), rng);
                std::vector<Uint32> before(24 * 16);
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 24; ++x)
                        before[y * 24 + x] = Read(s.get(), x, y);
                const Uint8 r = Uint8(rng()), g = Uint8(rng()), b = Uint8(rng());
                const Uint8 a = n == 0 ? 0 : n == 1 ? 255 : Uint8(rng());
                const int x1 = int(rng() % 24), y1 = int(rng() % 16), x2 = int(rng() % 24),
                          y2 = int(rng() % 16);
                const PixelSet on = LinePixels(24, 16, x1, y1, x2, y2);
                ASSERT_EQ(JEX_BlendLine(s.get(), x1, y1, x2, y2, JEX_BlendMode(mode), r, g, b, a),
                          0)
                    << JEX_GetError();
                // Then one point off the line, where the routine exists.
                const int px = int(rng() % 24), py = int(rng() % 16);
                const bool point = points_ok && !on.count({px, py});
                if (point) {
                    ASSERT_EQ(JEX_BlendPoint(s.get(), px, py, JEX_BlendMode(mode), r, g, b, a), 0);
                }
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 24; ++x) {
                        const Uint32 old = before[y * 24 + x];
                        const bool hit = on.count({x, y}) || (point && x == px && y == py);
                        const Uint32 want =
                            hit ? OracleBlend(s->format, old, mode, r, g, b, a) : old;
                        ASSERT_EQ(Read(s.get(), x, y), want)
                            << JEX_GetPixelFormatName(code) << " mode " << mode << " at " << x
                            << "," << y << " rgba " << int(r) << "," << int(g) << "," << int(b)
                            << "," << int(a);
                    }
            }
    }
}

TEST(BlendPoints, ClipLastResultAndFamiliesWithoutRoutine)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_RGB565, 4, 4);
    const JEX_Point pts[] = {{0, 0}, {9, 9}, {3, 3}, {-1, 2}};
    EXPECT_EQ(JEX_BlendPoints(s.get(), pts, 4, JEX_BLENDMODE_NONE, 255, 255, 255, 255), 0);
    EXPECT_EQ(NonZero(s.get()), (PixelSet{{0, 0}, {3, 3}}));
    EXPECT_EQ(Read(s.get(), 3, 3), 0xFFFFu);
    // ARGB4444 has blended lines but no blended points: the point routines
    // fail only once a point is inside the clip.
    SurfacePtr argb4444 = Make(JEX_PIXELFORMAT_ARGB4444, 4, 4);
    const JEX_Point outside[] = {{7, 7}, {-3, 0}};
    EXPECT_EQ(JEX_BlendPoints(argb4444.get(), outside, 2, JEX_BLENDMODE_ADD, 1, 1, 1, 1), 0);
    JEX_ClearError();
    EXPECT_EQ(JEX_BlendPoints(argb4444.get(), pts, 4, JEX_BLENDMODE_ADD, 1, 1, 1, 1), -1);
    EXPECT_STRNE(JEX_GetError(), "");
    // An open polyline there still ends on its last point.
    const JEX_Point line[] = {{0, 0}, {3, 0}, {3, 3}};
    EXPECT_EQ(JEX_BlendLines(argb4444.get(), line, 3, JEX_BLENDMODE_NONE, 255, 255, 255, 255), 0);
    EXPECT_EQ(Read(argb4444.get(), 3, 3), 0xFFFFu);
    EXPECT_EQ(NonZero(argb4444.get()).size(), 7u);
}
