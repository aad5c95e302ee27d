/* Integer points and rectangles and their arithmetic. */
#ifndef JEX_RECT_H
#define JEX_RECT_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_Point {
    int x;
    int y;
} JEX_Point;

/* Covers columns x .. x + w - 1 and rows y .. y + h - 1; empty when w or h
   is 0 or negative. */
typedef struct JEX_Rect {
    int x, y;
    int w, h;
} JEX_Rect;

/* True for a null or empty rectangle. */
static inline JEX_bool JEX_RectEmpty(const JEX_Rect *r)
{
    return (!r || r->w <= 0 || r->h <= 0) ? JEX_TRUE : JEX_FALSE;
}

/* True when both are given and hold the same four values. */
static inline JEX_bool JEX_RectEquals(const JEX_Rect *a, const JEX_Rect *b)
{
    return (a && b && a->x == b->x && a->y == b->y && a->w == b->w && a->h == b->h) ? JEX_TRUE
                                                                                    : JEX_FALSE;
}

/* Sums such as x + w are formed without overflow, so rectangles anywhere in
   the int range are handled; results that do not fit an int are clamped. */
JEX_API JEX_bool JEX_HasIntersection(const JEX_Rect *A, const JEX_Rect *B);

/* Always writes result (possibly an empty rectangle); true when not empty. */
JEX_API JEX_bool JEX_IntersectRect(const JEX_Rect *A, const JEX_Rect *B, JEX_Rect *result);

JEX_API void JEX_UnionRect(const JEX_Rect *A, const JEX_Rect *B, JEX_Rect *result);

/* clip and result may be null. */
JEX_API JEX_bool JEX_EnclosePoints(const JEX_Point *points, int count, const JEX_Rect *clip,
                                   JEX_Rect *result);

/* Clips the segment (X1, Y1)-(X2, Y2) to rect in place; false when nothing
   of it lies inside. */
JEX_API JEX_bool JEX_IntersectRectAndLine(const JEX_Rect *rect, int *X1, int *Y1, int *X2, int *Y2);

/* The full-width band of rows of a width x height area touched by rects. */
JEX_API JEX_bool JEX_GetSpanEnclosingRect(int width, int height, int numrects,
                                          const JEX_Rect *rects, JEX_Rect *span);

#ifdef __cplusplus
}
#endif

#endif /* JEX_RECT_H */
