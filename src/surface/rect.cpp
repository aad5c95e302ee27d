// Rectangle arithmetic: intersection, union, enclosing points, line clipping
// and row spans.
//
// Every sum such as x + w is formed in 64 bits, so rectangles near the int
// limits never overflow; a result that does not fit in an int is clamped to
// the int range (it can only arise for extents wider than INT_MAX).
#include "JEX_rect.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using i64 = std::int64_t;

constexpr i64 int_min = std::numeric_limits<int>::min();
constexpr i64 int_max = std::numeric_limits<int>::max();

inline int clamp_int(i64 v)
{
    return static_cast<int>(std::clamp(v, int_min, int_max));
}

// Out-codes of the line clipper.
constexpr int code_bottom = 1;
constexpr int code_top = 2;
constexpr int code_left = 4;
constexpr int code_right = 8;

struct Bounds {
    i64 left, top, right, bottom;  // inclusive
};

inline int out_code(const Bounds &b, i64 x, i64 y)
{
    int code = 0;
    if (y < b.top)
        code |= code_top;
    else if (y > b.bottom)
        code |= code_bottom;
    if (x < b.left)
        code |= code_left;
    else if (x > b.right)
        code |= code_right;
    return code;
}

// a + (b - a) * num / den, truncating toward zero. |b - a| and |num| may
// both approach 2^32, so the product needs more than 64 bits.
inline i64 interpolate(i64 a, i64 b, i64 num, i64 den)
{
    const __int128 q = static_cast<__int128>(b - a) * num / den;
    return a + static_cast<i64>(q);
}

}  // namespace

extern "C" {

JEX_bool JEX_HasIntersection(const JEX_Rect *A, const JEX_Rect *B)
{
    if (!A || !B)
        return JEX_FALSE;
    const i64 left = std::max<i64>(A->x, B->x);
    const i64 right = std::min<i64>(i64(A->x) + A->w, i64(B->x) + B->w);
    if (left >= right)
        return JEX_FALSE;
    const i64 top = std::max<i64>(A->y, B->y);
    const i64 bottom = std::min<i64>(i64(A->y) + A->h, i64(B->y) + B->h);
    return top < bottom ? JEX_TRUE : JEX_FALSE;
}

JEX_bool JEX_IntersectRect(const JEX_Rect *A, const JEX_Rect *B, JEX_Rect *result)
{
    if (!A || !B || !result)
        return JEX_FALSE;
    const i64 x = std::max<i64>(A->x, B->x);
    const i64 w = std::min<i64>(i64(A->x) + A->w, i64(B->x) + B->w) - x;
    const i64 y = std::max<i64>(A->y, B->y);
    const i64 h = std::min<i64>(i64(A->y) + A->h, i64(B->y) + B->h) - y;
    result->x = static_cast<int>(x);
    result->y = static_cast<int>(y);
    result->w = clamp_int(w);
    result->h = clamp_int(h);
    return (w > 0 && h > 0) ? JEX_TRUE : JEX_FALSE;
}

void JEX_UnionRect(const JEX_Rect *A, const JEX_Rect *B, JEX_Rect *result)
{
    if (!A || !B || !result)
        return;
    const i64 x = std::min<i64>(A->x, B->x);
    const i64 w = std::max<i64>(i64(A->x) + A->w, i64(B->x) + B->w) - x;
    const i64 y = std::min<i64>(A->y, B->y);
    const i64 h = std::max<i64>(i64(A->y) + A->h, i64(B->y) + B->h) - y;
    result->x = static_cast<int>(x);
    result->y = static_cast<int>(y);
    result->w = clamp_int(w);
    result->h = clamp_int(h);
}

JEX_bool JEX_EnclosePoints(const JEX_Point *points, int count, const JEX_Rect *clip,
                           JEX_Rect *result)
{
    if (!points || count < 1)
        return JEX_FALSE;
    i64 minx = 0, maxx = 0, miny = 0, maxy = 0;
    bool any = false;
    if (clip) {
        if (clip->w <= 0 || clip->h <= 0)
            return JEX_FALSE;
        const i64 left = clip->x, right = i64(clip->x) + clip->w - 1;
        const i64 top = clip->y, bottom = i64(clip->y) + clip->h - 1;
        for (int i = 0; i < count; ++i) {
            const i64 x = points[i].x, y = points[i].y;
            if (x < left || x > right || y < top || y > bottom)
                continue;
            if (!any) {
                minx = maxx = x;
                miny = maxy = y;
                any = true;
                continue;
            }
            minx = std::min(minx, x);
            maxx = std::max(maxx, x);
            miny = std::min(miny, y);
            maxy = std::max(maxy, y);
        }
        if (!any)
            return JEX_FALSE;
    } else {
        minx = maxx = points[0].x;
        miny = maxy = points[0].y;
        for (int i = 1; i < count; ++i) {
            const i64 x = points[i].x, y = points[i].y;
            minx = std::min(minx, x);
            maxx = std::max(maxx, x);
            miny = std::min(miny, y);
            maxy = std::max(maxy, y);
        }
    }
    if (result) {
        result->x = static_cast<int>(minx);
        result->y = static_cast<int>(miny);
        result->w = clamp_int(maxx - minx + 1);
        result->h = clamp_int(maxy - miny + 1);
    }
    return JEX_TRUE;
}

JEX_bool JEX_IntersectRectAndLine(const JEX_Rect *rect, int *X1, int *Y1, int *X2, int *Y2)
{
    if (!rect || !X1 || !Y1 || !X2 || !Y2)
        return JEX_FALSE;
    // An empty rectangle contains no point of any segment.
    if (rect->w <= 0 || rect->h <= 0)
        return JEX_FALSE;
    const Bounds b{rect->x, rect->y, i64(rect->x) + rect->w - 1, i64(rect->y) + rect->h - 1};
    i64 x1 = *X1, y1 = *Y1, x2 = *X2, y2 = *Y2;

    if ((x1 < b.left && x2 < b.left) || (x1 > b.right && x2 > b.right) ||
        (y1 < b.top && y2 < b.top) || (y1 > b.bottom && y2 > b.bottom))
        return JEX_FALSE;
    if (x1 >= b.left && x1 <= b.right && x2 >= b.left && x2 <= b.right && y1 >= b.top &&
        y1 <= b.bottom && y2 >= b.top && y2 <= b.bottom)
        return JEX_TRUE;
    if (y1 == y2) {
        *X1 = static_cast<int>(std::clamp(x1, b.left, b.right));
        *X2 = static_cast<int>(std::clamp(x2, b.left, b.right));
        return JEX_TRUE;
    }
    if (x1 == x2) {
        *Y1 = static_cast<int>(std::clamp(y1, b.top, b.bottom));
        *Y2 = static_cast<int>(std::clamp(y2, b.top, b.bottom));
        return JEX_TRUE;
    }

    // Cohen-Sutherland. Each move puts one coordinate exactly on an edge and
    // the other strictly between the current ends, so a handful of steps
    // settle it; the bound only guards against a runaway loop.
    int code1 = out_code(b, x1, y1);
    int code2 = out_code(b, x2, y2);
    for (int steps = 0; code1 || code2; ++steps) {
        if ((code1 & code2) || steps > 16)
            return JEX_FALSE;
        const bool first = code1 != 0;
        const int code = first ? code1 : code2;
        i64 x, y;
        if (code & code_top) {
            y = b.top;
            x = interpolate(x1, x2, y - y1, y2 - y1);
        } else if (code & code_bottom) {
            y = b.bottom;
            x = interpolate(x1, x2, y - y1, y2 - y1);
        } else if (code & code_left) {
            x = b.left;
            y = interpolate(y1, y2, x - x1, x2 - x1);
        } else {
            x = b.right;
            y = interpolate(y1, y2, x - x1, x2 - x1);
        }
        if (first) {
            x1 = x;
            y1 = y;
            code1 = out_code(b, x1, y1);
        } else {
            x2 = x;
            y2 = y;
            code2 = out_code(b, x2, y2);
        }
    }
    *X1 = static_cast<int>(x1);
    *Y1 = static_cast<int>(y1);
    *X2 = static_cast<int>(x2);
    *Y2 = static_cast<int>(y2);
    return JEX_TRUE;
}

JEX_bool JEX_GetSpanEnclosingRect(int width, int height, int numrects, const JEX_Rect *rects,
                                  JEX_Rect *span)
{
    if (!rects || !span || numrects < 1 || width <= 0 || height <= 0)
        return JEX_FALSE;
    i64 y1 = height, y2 = 0;
    for (int i = 0; i < numrects; ++i) {
        const JEX_Rect &r = rects[i];
        if (r.y < 0)
            y1 = 0;
        else
            y1 = std::min<i64>(y1, r.y);
        const i64 end = i64(r.y) + r.h;
        if (end > height)
            y2 = height;
        else
            y2 = std::max(y2, end);
    }
    if (y2 > y1) {
        span->x = 0;
        span->y = static_cast<int>(y1);
        span->w = width;
        span->h = static_cast<int>(y2 - y1);
        return JEX_TRUE;
    }
    return JEX_FALSE;
}

}  // extern "C"
