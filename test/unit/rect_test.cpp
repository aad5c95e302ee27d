// Rectangle arithmetic against per-pixel oracles, near the int limits too,
// and line clipping with coordinates across the whole int range.

#include "JEX_rect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using i64 = std::int64_t;
using Pixels = std::set<std::pair<int, int>>;

#define EXPECT_RECT(r, X, Y, W, H)                                                                 \
    EXPECT_TRUE((r).x == (X) && (r).y == (Y) && (r).w == (W) && (r).h == (H))                      \
        << (r).x << "," << (r).y << " " << (r).w << "x" << (r).h

// Pixels covered by a rectangle (small coordinates only).
Pixels pixels_of(const JEX_Rect &r)
{
    Pixels s;
    for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
            s.insert({x, y});
    return s;
}

// Bounding box of a non-empty set of pixels.
JEX_Rect bounds_of(const Pixels &s)
{
    int minx = INT_MAX, miny = INT_MAX, maxx = INT_MIN, maxy = INT_MIN;
    for (const auto &[x, y] : s) {
        minx = std::min(minx, x), maxx = std::max(maxx, x);
        miny = std::min(miny, y), maxy = std::max(maxy, y);
    }
    return {minx, miny, maxx - minx + 1, maxy - miny + 1};
}

JEX_Rect random_rect(std::mt19937 &rng)
{
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    return {pick(-8, 8), pick(-8, 8), pick(-3, 10), pick(-3, 10)};
}

JEX_Rect shifted(JEX_Rect r, int dx, int dy)
{
    return {r.x + dx, r.y + dy, r.w, r.h};
}

// Intersection and union of small random rectangles (empty ones too) against their pixels.
TEST(RectTest, IntersectionAndUnionAgainstPixels)
{
    std::mt19937 rng(42);
    for (int n = 0; n < 20000; ++n) {
        const JEX_Rect a = random_rect(rng), b = random_rect(rng);
        const Pixels pa = pixels_of(a), pb = pixels_of(b);
        Pixels common;
        std::set_intersection(pa.begin(), pa.end(), pb.begin(), pb.end(),
                              std::inserter(common, common.begin()));
        ASSERT_EQ(bool(JEX_RectEmpty(&a)), pa.empty());
        EXPECT_EQ(bool(JEX_HasIntersection(&a, &b)), !common.empty());
        JEX_Rect r{99, 99, 99, 99};
        const bool any = JEX_IntersectRect(&a, &b, &r);
        ASSERT_EQ(any, !common.empty());
        ASSERT_TRUE(any ? pixels_of(r) == common : r.w <= 0 || r.h <= 0)
            << r.x << "," << r.y << " " << r.w << "x" << r.h;
        if (!pa.empty() && !pb.empty()) {
            Pixels both = pa;
            both.insert(pb.begin(), pb.end());
            const JEX_Rect want = bounds_of(both);
            JEX_UnionRect(&a, &b, &r);
            ASSERT_TRUE(JEX_RectEquals(&r, &want));
        }
    }
}

TEST(RectTest, KnownResultsAndNulls)
{
    const JEX_Rect a{0, 0, 10, 10}, b{20, 20, 5, 5}, c{0, 0, 10, 11};
    EXPECT_TRUE(JEX_RectEmpty(nullptr));
    EXPECT_FALSE(JEX_RectEquals(&a, &c));
    EXPECT_FALSE(JEX_RectEquals(&a, nullptr));
    JEX_Rect r;
    EXPECT_FALSE(JEX_IntersectRect(&a, &b, &r));
    EXPECT_RECT(r, 20, 20, -10, -10);
    const JEX_Rect e{-5, 3, 0, 0};  // empty inputs take part in the union as they are
    JEX_UnionRect(&a, &e, &r);
    EXPECT_RECT(r, -5, 0, 15, 10);
    EXPECT_FALSE(JEX_HasIntersection(&a, nullptr));
    EXPECT_FALSE(JEX_IntersectRect(&a, nullptr, &r));
    EXPECT_FALSE(JEX_IntersectRect(&a, &b, nullptr));
    JEX_UnionRect(nullptr, &a, &r);  // no crash
}

// Near the limits: a pair of rectangles moved by a large offset gives the
// moved result, as long as every pixel still has an int coordinate. Any
// 32-bit overflow in x + w traps under UBSan.
TEST(RectTest, ExtremeCoordinatesByTranslation)
{
    std::mt19937 rng(5);
    const int offsets[] = {INT_MAX - 20, INT_MIN + 20, INT_MAX - 8, INT_MIN + 8, 1 << 30};
    const auto fits = [](int pos, int len, int d) {
        return i64(pos) + d >= INT_MIN && i64(pos) + d + len - 1 <= INT_MAX;
    };
    for (int n = 0; n < 5000; ++n) {
        JEX_Rect a = random_rect(rng), b = random_rect(rng);
        a.w = std::abs(a.w);
        b.h = std::abs(b.h);
        const int dx = offsets[rng() % 5], dy = offsets[rng() % 5];
        if (!fits(a.x, a.w, dx) || !fits(b.x, b.w, dx) || !fits(a.y, a.h, dy) ||
            !fits(b.y, b.h, dy))
            continue;
        const JEX_Rect A = shifted(a, dx, dy), B = shifted(b, dx, dy);
        JEX_Rect small, big;
        const bool s = JEX_IntersectRect(&a, &b, &small);
        ASSERT_EQ(JEX_IntersectRect(&A, &B, &big), s);
        ASSERT_EQ(JEX_HasIntersection(&A, &B), JEX_HasIntersection(&a, &b));
        const JEX_Rect want = shifted(small, dx, dy);
        ASSERT_TRUE(!s || JEX_RectEquals(&big, &want));
        JEX_UnionRect(&a, &b, &small);
        JEX_UnionRect(&A, &B, &big);
        ASSERT_TRUE(big.w == small.w && big.h == small.h);
    }
}

TEST(RectTest, SumsBeyondTheIntRange)
{
    const JEX_Rect a{INT_MAX - 5, 0, 10, 10}, b{INT_MAX - 2, -5, INT_MAX, 100};
    JEX_Rect r;
    ASSERT_TRUE(JEX_IntersectRect(&a, &b, &r));  // right ends past INT_MAX
    EXPECT_RECT(r, INT_MAX - 2, 0, 7, 10);
    EXPECT_TRUE(JEX_HasIntersection(&a, &b));
    // A rectangle ending at -1 does not reach one starting at 0.
    const JEX_Rect left{INT_MIN, 0, INT_MAX, 1}, right{0, 0, INT_MAX, 1};
    EXPECT_FALSE(JEX_HasIntersection(&left, &right));
    EXPECT_FALSE(JEX_IntersectRect(&left, &right, &r));
    EXPECT_RECT(r, 0, 0, -1, 1);
    // Far apart: the (negative) width is clamped rather than wrapped.
    const JEX_Rect lo{INT_MIN, INT_MIN, 1, 1}, hi{INT_MAX, INT_MAX, 1, 1};
    EXPECT_FALSE(JEX_IntersectRect(&lo, &hi, &r));
    EXPECT_RECT(r, INT_MAX, INT_MAX, INT_MIN, INT_MIN);
    // A union wider than INT_MAX is clamped, never negative.
    JEX_UnionRect(&left, &right, &r);
    EXPECT_RECT(r, INT_MIN, 0, INT_MAX, 1);
    JEX_UnionRect(&lo, &hi, &r);
    EXPECT_RECT(r, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
}

TEST(RectTest, EnclosePointsAgainstBruteForce)
{
    const JEX_Point two[] = {{1, 1}, {5, 3}};
    JEX_Rect r;
    EXPECT_FALSE(JEX_EnclosePoints(two, 0, nullptr, &r));
    EXPECT_FALSE(JEX_EnclosePoints(nullptr, 2, nullptr, &r));
    EXPECT_TRUE(JEX_EnclosePoints(two, 2, nullptr, nullptr));
    std::mt19937 rng(11);
    for (int n = 0; n < 5000; ++n) {
        std::vector<JEX_Point> pts(1 + rng() % 8);
        for (auto &p : pts)
            p = {int(rng() % 21) - 10, int(rng() % 21) - 10};
        const JEX_Rect clip{int(rng() % 11) - 5, int(rng() % 11) - 5, int(rng() % 12) - 1,
                            int(rng() % 12) - 1};
        const bool use_clip = rng() % 2;
        const Pixels in_clip = pixels_of(clip);
        Pixels kept;
        for (const auto &p : pts)
            if (!use_clip || in_clip.count({p.x, p.y}))
                kept.insert({p.x, p.y});
        JEX_Rect got{123, 456, 7, 8};
        ASSERT_EQ(
            bool(JEX_EnclosePoints(pts.data(), int(pts.size()), use_clip ? &clip : nullptr, &got)),
            !kept.empty());
        const JEX_Rect want = kept.empty() ? JEX_Rect{123, 456, 7, 8} : bounds_of(kept);
        ASSERT_TRUE(JEX_RectEquals(&got, &want));  // untouched when nothing is enclosed
    }
    // Points spanning the whole int range: the extent is clamped.
    const JEX_Point wide[] = {{INT_MIN, 0}, {INT_MAX, 0}, {0, INT_MAX}};
    ASSERT_TRUE(JEX_EnclosePoints(wide, 3, nullptr, &r));
    EXPECT_RECT(r, INT_MIN, 0, INT_MAX, INT_MAX);
    // A clip reaching to INT_MAX includes a point there.
    const JEX_Rect edge{INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX};
    const JEX_Point corner[] = {{INT_MAX, INT_MAX}, {0, 0}};
    ASSERT_TRUE(JEX_EnclosePoints(corner, 2, &edge, &r));
    EXPECT_RECT(r, INT_MAX, INT_MAX, 1, 1);
}

// ---- line clipping ---------------------------------------------------------

struct Seg {
    int x1, y1, x2, y2;
    bool operator==(const Seg &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Seg &s)
{
    return os << s.x1 << "," << s.y1 << " " << s.x2 << "," << s.y2;
}

bool clip(const JEX_Rect &r, Seg &s)
{
    return JEX_IntersectRectAndLine(&r, &s.x1, &s.y1, &s.x2, &s.y2);
}

TEST(RectTest, LineClippingKnownCases)
{
    // visible: the clipped segment; not visible: the segment is left alone.
    // The large ones need products wider than 64 bits.
    const JEX_Rect r{0, 0, 10, 10}, huge{INT_MAX - 100, INT_MAX - 100, INT_MAX, INT_MAX};
    const struct {
        JEX_Rect rect;
        Seg in;
        bool visible;
        Seg out;
    } cases[] = {
        {r, {-5, 5, 15, 5}, true, {0, 5, 9, 5}},
        {r, {-5, -5, 15, 15}, true, {0, 0, 9, 9}},
        {r, {20, 0, 30, 5}, false, {20, 0, 30, 5}},
        {r, {5, -3, 5, 30}, true, {5, 0, 5, 9}},
        {r, {2, 3, 7, 8}, true, {2, 3, 7, 8}},
        {r, {-1, 5, 5, -1}, true, {0, 4, 4, 0}},     // cuts the corner along x + y = 4
        {r, {-3, 1, 1, -3}, false, {-3, 1, 1, -3}},  // passes outside the corner
        {{10, 10, 20, 20}, {5, 5, 25, 25}, true, {10, 10, 25, 25}},
        {{0, 0, 0, 10}, {-5, 5, 15, 5}, false, {-5, 5, 15, 5}},
        {r, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, true, {0, 0, 9, 9}},
        {r, {INT_MAX, INT_MIN, INT_MIN, INT_MAX}, false, {INT_MAX, INT_MIN, INT_MIN, INT_MAX}},
        {r, {INT_MAX, INT_MIN + 9, INT_MIN + 9, INT_MAX}, true, {8, 0, 0, 8}},
        {huge,
         {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
         true,
         {INT_MAX - 100, INT_MAX - 100, INT_MAX, INT_MAX}},
        {huge, {INT_MIN, 5, INT_MAX, 5}, false, {INT_MIN, 5, INT_MAX, 5}},
    };
    for (const auto &c : cases) {
        Seg s = c.in;
        EXPECT_EQ(clip(c.rect, s), c.visible) << c.in;
        EXPECT_EQ(s, c.out) << c.in;
    }
    int x = 0;
    EXPECT_FALSE(JEX_IntersectRectAndLine(nullptr, &x, &x, &x, &x));
    EXPECT_FALSE(JEX_IntersectRectAndLine(&r, &x, nullptr, &x, &x));
}

// Distance of (px, py) from the line through the original segment.
long double distance_to_line(const Seg &o, i64 px, i64 py)
{
    const long double dx = (long double)o.x2 - o.x1, dy = (long double)o.y2 - o.y1;
    return std::fabs(dx * ((long double)py - o.y1) - dy * ((long double)px - o.x1)) /
           std::sqrt(dx * dx + dy * dy);
}

// Length of the exact segment inside the rectangle widened by `margin` (Liang-Barsky).
long double visible_length(const Seg &s, const JEX_Rect &r, long double margin)
{
    const long double dx = (long double)s.x2 - s.x1, dy = (long double)s.y2 - s.y1;
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {s.x1 - (r.x - margin), (long double)r.x + r.w - 1 + margin - s.x1,
                              s.y1 - (r.y - margin), (long double)r.y + r.h - 1 + margin - s.y1};
    long double t0 = 0, t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return 0;
        } else if (p[i] < 0) {
            t0 = std::max(t0, q[i] / p[i]);
        } else {
            t1 = std::min(t1, q[i] / p[i]);
        }
    }
    return t1 < t0 ? 0 : (t1 - t0) * std::sqrt(dx * dx + dy * dy);
}

void check_clip(const JEX_Rect &r, const Seg &orig)
{
    Seg s = orig;
    const bool visible = clip(r, s);
    auto inside = [&](i64 x, i64 y) {
        return x >= r.x && x <= i64(r.x) + r.w - 1 && y >= r.y && y <= i64(r.y) + r.h - 1;
    };
    if (orig.x1 == orig.x2 && orig.y1 == orig.y2) {
        ASSERT_EQ(visible, inside(orig.x1, orig.y1));
        ASSERT_EQ(s, orig);
        return;
    }
    if (!visible) {  // nothing of the exact segment may lie well inside
        ASSERT_LT(visible_length(orig, r, -1.0L), 1e-9L) << orig;
        return;
    }
    ASSERT_GT(visible_length(orig, r, 1.0L), 0.0L) << orig;
    ASSERT_TRUE(inside(s.x1, s.y1) && inside(s.x2, s.y2)) << orig << " -> " << s;
    // Ends already inside stay where they were.
    ASSERT_TRUE(!inside(orig.x1, orig.y1) || (s.x1 == orig.x1 && s.y1 == orig.y1))
        << orig << " -> " << s;
    ASSERT_TRUE(!inside(orig.x2, orig.y2) || (s.x2 == orig.x2 && s.y2 == orig.y2))
        << orig << " -> " << s;
    // Moved ends stay on the line, up to the truncation of one coordinate.
    ASSERT_LT(distance_to_line(orig, s.x1, s.y1), 1.5L) << orig;
    ASSERT_LT(distance_to_line(orig, s.x2, s.y2), 1.5L) << orig;
}

TEST(RectTest, LineClippingRandom)
{
    std::mt19937 rng(3);
    for (int n = 0; n < 100000; ++n) {
        const Seg s{int(rng() % 41) - 20, int(rng() % 41) - 20, int(rng() % 41) - 20,
                    int(rng() % 41) - 20};
        ASSERT_NO_FATAL_FAILURE(check_clip({-4, 2, 13, 9}, s));
    }
    rng.seed(17);
    auto any_int = [&] { return int(std::uint32_t(rng())); };
    const JEX_Rect rects[] = {{0, 0, 10, 10},
                              {-1000000, -1000000, 2000000, 2000000},
                              {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                              {INT_MAX - 1000, INT_MIN, 1000, INT_MAX},
                              {-3, INT_MIN / 2, 1 << 30, 1 << 30}};
    for (const auto &rect : rects)
        for (int n = 0; n < 20000; ++n) {
            Seg s{any_int(), any_int(), any_int(), any_int()};
            if (n % 4 == 1)
                s.y2 = s.y1;
            if (n % 4 == 2)
                s.x2 = s.x1;
            ASSERT_NO_FATAL_FAILURE(check_clip(rect, s));
        }
}

TEST(RectTest, SpanEnclosingRects)
{
    const JEX_Rect rects[] = {{5, 10, 3, 4}, {0, 2, 1, 1}};
    // Rectangles reaching past either end are cut to the area; y + h past
    // INT_MAX is not wrapped into a negative end.
    const JEX_Rect over[] = {{0, -10, 5, 15}, {0, 40, 5, 100}}, far[] = {{0, 3, 5, INT_MAX}},
                   below[] = {{0, 60, 5, 5}};
    JEX_Rect span;
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(100, 50, 2, rects, &span));
    EXPECT_RECT(span, 0, 2, 100, 12);
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(100, 50, 2, over, &span));
    EXPECT_RECT(span, 0, 0, 100, 50);
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(10, 20, 1, far, &span));
    EXPECT_RECT(span, 0, 3, 10, 17);
    EXPECT_FALSE(JEX_GetSpanEnclosingRect(100, 50, 1, below, &span));
    EXPECT_FALSE(JEX_GetSpanEnclosingRect(100, 50, 0, rects, &span));
    EXPECT_FALSE(JEX_GetSpanEnclosingRect(100, 50, 2, nullptr, &span));
    EXPECT_FALSE(JEX_GetSpanEnclosingRect(100, 50, 2, rects, nullptr));
    // Every row a rectangle covers inside the area lies in the span.
    std::mt19937 rng(8);
    for (int n = 0; n < 5000; ++n) {
        const int height = 1 + int(rng() % 30);
        std::vector<JEX_Rect> rs(1 + rng() % 4);
        std::vector<bool> covered(size_t(height), false);
        bool any = false;
        for (auto &r : rs) {
            r = {0, int(rng() % 50) - 10, 1, int(rng() % 20)};
            for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, height); ++y)
                covered[size_t(y)] = any = true;
        }
        const bool got = JEX_GetSpanEnclosingRect(7, height, int(rs.size()), rs.data(), &span);
        ASSERT_TRUE(got || !any);
        if (!got)
            continue;
        ASSERT_TRUE(span.y >= 0 && span.h > 0 && span.y + span.h <= height && span.w == 7)
            << span.y << " " << span.h << " " << span.w;
        for (int y = 0; y < height; ++y)
            ASSERT_TRUE(!covered[size_t(y)] || (y >= span.y && y < span.y + span.h)) << y;
    }
}

}  // namespace
