/* Drawing straight into a surface's pixels: solid rectangle fills, points
   and lines, and their blended forms under the four blend modes. Every
   primitive clips to the surface's clip rectangle and none locks the
   surface: the pixels must be available. All return 0 or -1. */
#ifndef JEX_DRAW_H
#define JEX_DRAW_H

#include "JEX_types.h"
#include "JEX_rect.h"
#include "JEX_blendmode.h"
#include "JEX_surface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Solid primitives: color is a pixel value of the surface's format (see
   JEX_MapRGB). A null rect fills the whole clip rectangle. */
JEX_API int JEX_FillRect(JEX_Surface *dst, const JEX_Rect *rect, Uint32 color);
JEX_API int JEX_FillRects(JEX_Surface *dst, const JEX_Rect *rects, int count, Uint32 color);
JEX_API int JEX_DrawPoint(JEX_Surface *dst, int x, int y, Uint32 color);
JEX_API int JEX_DrawPoints(JEX_Surface *dst, const JEX_Point *points, int count, Uint32 color);
JEX_API int JEX_DrawLine(JEX_Surface *dst, int x1, int y1, int x2, int y2, Uint32 color);
/* A polyline through the points; every pixel is drawn once. */
JEX_API int JEX_DrawLines(JEX_Surface *dst, const JEX_Point *points, int count, Uint32 color);

/* Blended primitives: an 8-bit colour and alpha combined with each pixel
   by the blend mode. */
JEX_API int JEX_BlendPoint(JEX_Surface *dst, int x, int y, JEX_BlendMode blendMode, Uint8 r,
                           Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_BlendPoints(JEX_Surface *dst, const JEX_Point *points, int count,
                            JEX_BlendMode blendMode, Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_BlendLine(JEX_Surface *dst, int x1, int y1, int x2, int y2, JEX_BlendMode blendMode,
                          Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_BlendLines(JEX_Surface *dst, const JEX_Point *points, int count,
                           JEX_BlendMode blendMode, Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_BlendFillRect(JEX_Surface *dst, const JEX_Rect *rect, JEX_BlendMode blendMode,
                              Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_BlendFillRects(JEX_Surface *dst, const JEX_Rect *rects, int count,
                               JEX_BlendMode blendMode, Uint8 r, Uint8 g, Uint8 b, Uint8 a);

#ifdef __cplusplus
}
#endif

#endif /* JEX_DRAW_H */
