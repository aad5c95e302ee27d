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

// Pixels covered by a rectangle (small coordinates only).
std::set<std::pair<int, int>> pixels_of(const JEX_Rect &r)
{
    std::set<std::pair<int, int>> s;
    for (int y = r.y; y < r.y + r.h; ++y) {
        for (int x = r.x; x < r.x + r.w; ++x) {
            s.insert({x, y});
        }
    }
    return s;
}

JEX_Rect random_rect(std::mt19937 &rng)
{
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    return {pick(-8, 8), pick(-8, 8), pick(-3, 10), pick(-3, 10)};
}

JEX_Rect shifted(JEX_Rect r, int dx, int dy)
{
    r.x += dx;
    r.y += dy;
    return r;
}

TEST(RectTest, EmptyAndEquals)
{
    const JEX_Rect a{1, 2, 3, 4}, b{1, 2, 3, 4}, c{1, 2, 3, 5}, flat{0, 0, 5, 0}, neg{0, 0, -1, 5};
    EXPECT_FALSE(JEX_RectEmpty(&a));
    EXPECT_TRUE(JEX_RectEmpty(&flat));
    EXPECT_TRUE(JEX_RectEmpty(&neg));
    EXPECT_TRUE(JEX_RectEmpty(nullptr));
    EXPECT_TRUE(JEX_RectEquals(&a, &b));
    EXPECT_FALSE(JEX_RectEquals(&a, &c));
    EXPECT_FALSE(JEX_RectEquals(&a, nullptr));
}

// Intersection and union of small random rectangles (empty ones included)
// against the sets of pixels they cover.
TEST(RectTest, IntersectionAndUnionAgainstPixels)
{
    std::mt19937 rng(42);
    for (int n = 0; n < 20000; ++n) {
        const JEX_Rect a = random_rect(rng), b = random_rect(rng);
        const auto pa = pixels_of(a), pb = pixels_of(b);
        std::set<std::pair<int, int>> common;
        std::set_intersection(pa.begin(), pa.end(), pb.begin(), pb.end(),
                              std::inserter(common, common.begin()));

        EXPECT_EQ(bool(JEX_HasIntersection(&a, &b)), !common.empty());
        JEX_Rect r{99, 99, 99, 99};
        const bool any = JEX_IntersectRect(&a, &b, &r);
        ASSERT_EQ(any, !common.empty());
        if (any) {
            ASSERT_EQ(pixels_of(r), common);
        } else {
            ASSERT_TRUE(r.w <= 0 || r.h <= 0);
        }

        if (!pa.empty() && !pb.empty()) {
            // The union is the bounding box of both.
            int minx = INT_MAX, miny = INT_MAX, maxx = INT_MIN, maxy = INT_MIN;
            for (const auto *s : {&pa, &pb}) {
                for (const auto &[x, y] : *s) {
                    minx = std::min(minx, x);
                    maxx = std::max(maxx, x);
                    miny = std::min(miny, y);
                    maxy = std::max(maxy, y);
                }
            }
            JEX_UnionRect(&a, &b, &r);
            const JEX_Rect want{minx, miny, maxx - minx + 1, maxy - miny + 1};
            ASSERT_TRUE(JEX_RectEquals(&r, &want));
        }
    }
}

TEST(RectTest, KnownResults)
{
    const JEX_Rect a{0, 0, 10, 10}, b{20, 20, 5, 5};
    JEX_Rect r;
    EXPECT_FALSE(JEX_IntersectRect(&a, &b, &r));
    const JEX_Rect written{20, 20, -10, -10};
    EXPECT_TRUE(JEX_RectEquals(&r, &written));
    JEX_UnionRect(&a, &b, &r);
    const JEX_Rect u{0, 0, 25, 25};
    EXPECT_TRUE(JEX_RectEquals(&r, &u));
    // Empty inputs take part in the union as they are.
    const JEX_Rect e{-5, 3, 0, 0};
    JEX_UnionRect(&a, &e, &r);
    const JEX_Rect ue{-5, 0, 15, 10};
    EXPECT_TRUE(JEX_RectEquals(&r, &ue));

    EXPECT_FALSE(JEX_HasIntersection(&a, nullptr));
    EXPECT_FALSE(JEX_IntersectRect(&a, nullptr, &r));
    EXPECT_FALSE(JEX_IntersectRect(&a, &b, nullptr));
    JEX_UnionRect(nullptr, &a, &r); // no crash
}

// Near the limits: a pair of rectangles moved by a large offset gives the
// moved result, as long as every pixel still has an int coordinate. Any
// 32-bit overflow in x + w traps under UBSan.
TEST(RectTest, ExtremeCoordinatesByTranslation)
{
    std::mt19937 rng(5);
    const int offsets[] = {INT_MAX - 20, INT_MIN + 20, INT_MAX - 8, INT_MIN + 8, 1 << 30};
    for (int n = 0; n < 5000; ++n) {
        JEX_Rect a = random_rect(rng), b = random_rect(rng);
        a.w = std::abs(a.w);
        b.h = std::abs(b.h);
        const int dx = offsets[rng() % 5], dy = offsets[rng() % 5];
        // Keep every covered pixel representable.
        const auto fits = [](const JEX_Rect &r, int d, bool horizontal) {
            const i64 lo = i64(horizontal ? r.x : r.y) + d;
            const i64 hi = lo + (horizontal ? r.w : r.h);
            return lo >= INT_MIN && hi - 1 <= INT_MAX;
        };
        if (!fits(a, dx, true) || !fits(b, dx, true) || !fits(a, dy, false) ||
            !fits(b, dy, false)) {
            continue;
        }
        const JEX_Rect A = shifted(a, dx, dy), B = shifted(b, dx, dy);
        JEX_Rect small, big;
        const bool s = JEX_IntersectRect(&a, &b, &small);
        ASSERT_EQ(JEX_IntersectRect(&A, &B, &big), s);
        ASSERT_EQ(JEX_HasIntersection(&A, &B), JEX_HasIntersection(&a, &b));
        if (s) {
            const JEX_Rect want = shifted(small, dx, dy);
            ASSERT_TRUE(JEX_RectEquals(&big, &want));
        }
        JEX_UnionRect(&a, &b, &small);
        JEX_UnionRect(&A, &B, &big);
        ASSERT_EQ(big.w, small.w);
        ASSERT_EQ(big.h, small.h);
    }
}

TEST(RectTest, SumsBeyondTheIntRange)
{
    // Right ends past INT_MAX.
    const JEX_Rect a{INT_MAX - 5, 0, 10, 10}, b{INT_MAX - 2, -5, INT_MAX, 100};
    JEX_Rect r;
    ASSERT_TRUE(JEX_IntersectRect(&a, &b, &r));
    const JEX_Rect want{INT_MAX - 2, 0, 7, 10};
    EXPECT_TRUE(JEX_RectEquals(&r, &want));
    EXPECT_TRUE(JEX_HasIntersection(&a, &b));

    // A rectangle ending at -1 does not reach one starting at 0.
    const JEX_Rect left{INT_MIN, 0, INT_MAX, 1}, right{0, 0, INT_MAX, 1};
    EXPECT_FALSE(JEX_HasIntersection(&left, &right));
    EXPECT_FALSE(JEX_IntersectRect(&left, &right, &r));
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.w, -1);

    // Far apart: the (negative) width is clamped rather than wrapped.
    const JEX_Rect lo{INT_MIN, INT_MIN, 1, 1}, hi{INT_MAX, INT_MAX, 1, 1};
    EXPECT_FALSE(JEX_IntersectRect(&lo, &hi, &r));
    EXPECT_EQ(r.x, INT_MAX);
    EXPECT_EQ(r.w, INT_MIN);
    EXPECT_EQ(r.h, INT_MIN);

    // A union wider than INT_MAX is clamped, never negative.
    JEX_UnionRect(&left, &right, &r);
    EXPECT_EQ(r.x, INT_MIN);
    EXPECT_EQ(r.w, INT_MAX);
    JEX_UnionRect(&lo, &hi, &r);
    EXPECT_EQ(r.w, INT_MAX);
    EXPECT_EQ(r.h, INT_MAX);
}

TEST(RectTest, EnclosePointsAgainstBruteForce)
{
    const JEX_Point two[] = {{1, 1}, {5, 3}};
    JEX_Rect r;
    ASSERT_TRUE(JEX_EnclosePoints(two, 2, nullptr, &r));
    const JEX_Rect want{1, 1, 5, 3};
    EXPECT_TRUE(JEX_RectEquals(&r, &want));
    EXPECT_FALSE(JEX_EnclosePoints(two, 0, nullptr, &r));
    EXPECT_FALSE(JEX_EnclosePoints(nullptr, 2, nullptr, &r));
    EXPECT_TRUE(JEX_EnclosePoints(two, 2, nullptr, nullptr));

    std::mt19937 rng(11);
    for (int n = 0; n < 5000; ++n) {
        std::vector<JEX_Point> pts(1 + rng() % 8);
        for (auto &p : pts) p = {int(rng() % 21) - 10, int(rng() % 21) - 10};
        JEX_Rect clip{int(rng() % 11) - 5, int(rng() % 11) - 5, int(rng() % 12) - 1,
                      int(rng() % 12) - 1};
        const bool use_clip = rng() % 2;
        const auto in_clip = pixels_of(clip);
        int minx = INT_MAX, miny = INT_MAX, maxx = INT_MIN, maxy = INT_MIN;
        bool any = false;
        for (const auto &p : pts) {
            if (use_clip && !in_clip.count({p.x, p.y})) continue;
            any = true;
            minx = std::min(minx, p.x);
            maxx = std::max(maxx, p.x);
            miny = std::min(miny, p.y);
            maxy = std::max(maxy, p.y);
        }
        JEX_Rect got{123, 456, 7, 8};
        const bool res = JEX_EnclosePoints(pts.data(), int(pts.size()), use_clip ? &clip : nullptr,
                                           &got);
        ASSERT_EQ(res, any);
        if (any) {
            const JEX_Rect w{minx, miny, maxx - minx + 1, maxy - miny + 1};
            ASSERT_TRUE(JEX_RectEquals(&got, &w));
        } else {
            const JEX_Rect untouched{123, 456, 7, 8};
            ASSERT_TRUE(JEX_RectEquals(&got, &untouched));
        }
    }

    // Points spanning the whole int range: the extent is clamped.
    const JEX_Point wide[] = {{INT_MIN, 0}, {INT_MAX, 0}, {0, INT_MAX}};
    ASSERT_TRUE(JEX_EnclosePoints(wide, 3, nullptr, &r));
    EXPECT_EQ(r.x, INT_MIN);
    EXPECT_EQ(r.w, INT_MAX);
    EXPECT_EQ(r.h, INT_MAX);
    // A clip reaching to INT_MAX includes a point there.
    const JEX_Rect edge{INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX};
    const JEX_Point corner[] = {{INT_MAX, INT_MAX}, {0, 0}};
    ASSERT_TRUE(JEX_EnclosePoints(corner, 2, &edge, &r));
    const JEX_Rect one{INT_MAX, INT_MAX, 1, 1};
    EXPECT_TRUE(JEX_RectEquals(&r, &one));
}

// ---- line clipping ---------------------------------------------------------

struct Seg {
    int x1, y1, x2, y2;
};

bool clip(const JEX_Rect &r, Seg &s)
{
    return JEX_IntersectRectAndLine(&r, &s.x1, &s.y1, &s.x2, &s.y2);
}

TEST(RectTest, LineClippingKnownCases)
{
    const JEX_Rect r{0, 0, 10, 10};
    Seg s{-5, 5, 15, 5};
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 0 && s.y1 == 5 && s.x2 == 9 && s.y2 == 5);
    s = {-5, -5, 15, 15};
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 0 && s.y1 == 0 && s.x2 == 9 && s.y2 == 9);
    s = {20, 0, 30, 5};
    EXPECT_FALSE(clip(r, s));
    s = {5, -3, 5, 30}; // vertical
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 5 && s.y1 == 0 && s.x2 == 5 && s.y2 == 9);
    s = {2, 3, 7, 8}; // inside: unchanged
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 2 && s.y1 == 3 && s.x2 == 7 && s.y2 == 8);
    s = {-1, 5, 5, -1}; // cuts the top-left corner along x + y = 4
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 0 && s.y1 == 4 && s.x2 == 4 && s.y2 == 0);
    s = {-3, 1, 1, -3}; // touches only outside the top-left corner
    EXPECT_FALSE(clip(r, s));

    const JEX_Rect r2{10, 10, 20, 20};
    s = {5, 5, 25, 25};
    ASSERT_TRUE(clip(r2, s));
    EXPECT_TRUE(s.x1 == 10 && s.y1 == 10 && s.x2 == 25 && s.y2 == 25);

    int x = 0;
    EXPECT_FALSE(JEX_IntersectRectAndLine(nullptr, &x, &x, &x, &x));
    EXPECT_FALSE(JEX_IntersectRectAndLine(&r, &x, nullptr, &x, &x));
    const JEX_Rect empty{0, 0, 0, 10};
    s = {-5, 5, 15, 5};
    EXPECT_FALSE(clip(empty, s));
}

// Position of (px, py) relative to the line through a and b, scaled by the
// segment's length: the distance from the line.
long double distance_to_line(const Seg &orig, i64 px, i64 py)
{
    const long double dx = (long double)orig.x2 - orig.x1, dy = (long double)orig.y2 - orig.y1;
    const long double cross = dx * ((long double)py - orig.y1) - dy * ((long double)px - orig.x1);
    return std::fabs(cross) / std::sqrt(dx * dx + dy * dy);
}

// Parametric (Liang-Barsky) clip of the exact segment to the rectangle
// widened by `margin`: the length of the visible part, 0 if none.
long double visible_length(const Seg &s, const JEX_Rect &r, long double margin)
{
    const long double x1 = s.x1, y1 = s.y1, dx = (long double)s.x2 - s.x1,
                      dy = (long double)s.y2 - s.y1;
    const long double left = r.x - margin, right = (long double)r.x + r.w - 1 + margin;
    const long double top = r.y - margin, bottom = (long double)r.y + r.h - 1 + margin;
    long double t0 = 0, t1 = 1;
    const long double p[4] = {-dx, dx, -dy, dy};
    const long double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return 0;
            continue;
        }
        const long double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    if (t1 < t0) return 0;
    return (t1 - t0) * std::sqrt(dx * dx + dy * dy);
}

void check_clip(const JEX_Rect &r, const Seg &orig)
{
    Seg s = orig;
    const bool visible = clip(r, s);
    const i64 left = r.x, right = i64(r.x) + r.w - 1, top = r.y, bottom = i64(r.y) + r.h - 1;
    auto inside = [&](i64 x, i64 y) { return x >= left && x <= right && y >= top && y <= bottom; };
    if (orig.x1 == orig.x2 && orig.y1 == orig.y2) {
        ASSERT_EQ(visible, inside(orig.x1, orig.y1));
        ASSERT_TRUE(s.x1 == orig.x1 && s.y1 == orig.y1 && s.x2 == orig.x2 && s.y2 == orig.y2);
        return;
    }
    if (!visible) {
        // Nothing of the exact segment may lie well inside.
        ASSERT_LT(visible_length(orig, r, -1.0L), 1e-9L)
            << orig.x1 << "," << orig.y1 << " " << orig.x2 << "," << orig.y2;
        return;
    }
    // The segment reaches (nearly) into the rectangle.
    ASSERT_GT(visible_length(orig, r, 1.0L), 0.0L)
        << orig.x1 << "," << orig.y1 << " " << orig.x2 << "," << orig.y2;
    ASSERT_TRUE(inside(s.x1, s.y1)) << s.x1 << "," << s.y1;
    ASSERT_TRUE(inside(s.x2, s.y2)) << s.x2 << "," << s.y2;
    // Ends already inside stay where they were.
    if (inside(orig.x1, orig.y1)) {
        ASSERT_TRUE(s.x1 == orig.x1 && s.y1 == orig.y1);
    }
    if (inside(orig.x2, orig.y2)) {
        ASSERT_TRUE(s.x2 == orig.x2 && s.y2 == orig.y2);
    }
    // Moved ends stay on the line, up to the truncation of one coordinate.
    ASSERT_LT(distance_to_line(orig, s.x1, s.y1), 1.5L);
    ASSERT_LT(distance_to_line(orig, s.x2, s.y2), 1.5L);
}

TEST(RectTest, LineClippingRandomSmall)
{
    std::mt19937 rng(3);
    const JEX_Rect r{-4, 2, 13, 9};
    for (int n = 0; n < 100000; ++n) {
        const Seg s{int(rng() % 41) - 20, int(rng() % 41) - 20, int(rng() % 41) - 20,
                    int(rng() % 41) - 20};
        ASSERT_NO_FATAL_FAILURE(check_clip(r, s));
    }
}

TEST(RectTest, LineClippingLargeCoordinates)
{
    // The products of the intersection formula need more than 64 bits here.
    const JEX_Rect r{0, 0, 10, 10};
    Seg s{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 0 && s.y1 == 0 && s.x2 == 9 && s.y2 == 9)
        << s.x1 << "," << s.y1 << " " << s.x2 << "," << s.y2;
    // x + y = -1 passes just outside the corner; x + y = 8 crosses.
    s = {INT_MAX, INT_MIN, INT_MIN, INT_MAX};
    EXPECT_FALSE(clip(r, s));
    s = {INT_MAX, INT_MIN + 9, INT_MIN + 9, INT_MAX};
    ASSERT_TRUE(clip(r, s));
    EXPECT_TRUE(s.x1 == 8 && s.y1 == 0 && s.x2 == 0 && s.y2 == 8)
        << s.x1 << "," << s.y1 << " " << s.x2 << "," << s.y2;

    // A rectangle whose far edges lie past INT_MAX.
    const JEX_Rect huge{INT_MAX - 100, INT_MAX - 100, INT_MAX, INT_MAX};
    s = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    ASSERT_TRUE(clip(huge, s));
    EXPECT_TRUE(s.x1 == INT_MAX - 100 && s.y1 == INT_MAX - 100 && s.x2 == INT_MAX &&
                s.y2 == INT_MAX);
    s = {INT_MIN, 5, INT_MAX, 5};
    EXPECT_FALSE(clip(huge, s));

    std::mt19937 rng(17);
    auto any_int = [&] { return int(std::uint32_t(rng())); };
    const JEX_Rect rects[] = {{0, 0, 10, 10},
                              {-1000000, -1000000, 2000000, 2000000},
                              {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                              {INT_MAX - 1000, INT_MIN, 1000, INT_MAX},
                              {-3, INT_MIN / 2, 1 << 30, 1 << 30}};
    for (const auto &rect : rects) {
        for (int n = 0; n < 20000; ++n) {
            Seg s2{any_int(), any_int(), any_int(), any_int()};
            if (n % 4 == 1) s2.y2 = s2.y1;
            if (n % 4 == 2) s2.x2 = s2.x1;
            ASSERT_NO_FATAL_FAILURE(check_clip(rect, s2));
        }
    }
}

TEST(RectTest, SpanEnclosingRects)
{
    const JEX_Rect rects[] = {{5, 10, 3, 4}, {0, 2, 1, 1}};
    JEX_Rect span;
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(100, 50, 2, rects, &span));
    const JEX_Rect want{0, 2, 100, 12};
    EXPECT_TRUE(JEX_RectEquals(&span, &want));

    // Rectangles reaching past either end are cut to the area.
    const JEX_Rect over[] = {{0, -10, 5, 15}, {0, 40, 5, 100}};
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(100, 50, 2, over, &span));
    const JEX_Rect all{0, 0, 100, 50};
    EXPECT_TRUE(JEX_RectEquals(&span, &all));

    // y + h past INT_MAX is not wrapped into a negative end.
    const JEX_Rect far[] = {{0, 3, 5, INT_MAX}};
    ASSERT_TRUE(JEX_GetSpanEnclosingRect(10, 20, 1, far, &span));
    const JEX_Rect tail{0, 3, 10, 17};
    EXPECT_TRUE(JEX_RectEquals(&span, &tail));

    const JEX_Rect below[] = {{0, 60, 5, 5}};
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
            for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, height); ++y) {
                covered[size_t(y)] = true;
                any = true;
            }
        }
        const bool got = JEX_GetSpanEnclosingRect(7, height, int(rs.size()), rs.data(), &span);
        if (any) {
            ASSERT_TRUE(got);
        }
        if (got) {
            ASSERT_GE(span.y, 0);
            ASSERT_LE(span.y + span.h, height);
            ASSERT_GT(span.h, 0);
            ASSERT_EQ(span.w, 7);
            for (int y = 0; y < height; ++y) {
                if (covered[size_t(y)]) {
                    ASSERT_TRUE(y >= span.y && y < span.y + span.h);
                }
            }
        }
    }
}

} // namespace
