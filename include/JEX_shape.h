/* Shaped windows: borderless windows cut to the opaque pixels of a mask
   surface. A mode says which mask pixels are opaque.

   Threads: every call belongs to the thread that started video. */
#ifndef JEX_SHAPE_H
#define JEX_SHAPE_H

#include "JEX_types.h"
#include "JEX_pixels.h"
#include "JEX_surface.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the shape calls besides the driver's own (0 = shape applied). */
#define JEX_NONSHAPEABLE_WINDOW -1
#define JEX_INVALID_SHAPE_ARGUMENT -2
#define JEX_WINDOW_LACKS_SHAPE -3

/* When a mask pixel is opaque. */
typedef enum {
    ShapeModeDefault = 0,              /* alpha at least 1 */
    ShapeModeBinarizeAlpha = 1,        /* alpha at least binarizationCutoff */
    ShapeModeReverseBinarizeAlpha = 2, /* alpha at most binarizationCutoff */
    ShapeModeColorKey = 3              /* (r, g, b) differs from colorKey's */
} WindowShapeMode;

#define JEX_SHAPEMODEALPHA(mode)                                                                   \
    ((mode) == ShapeModeDefault || (mode) == ShapeModeBinarizeAlpha ||                             \
     (mode) == ShapeModeReverseBinarizeAlpha)

typedef union {
    Uint8 binarizationCutoff;
    JEX_Color colorKey;
} JEX_WindowShapeParams;

typedef struct JEX_WindowShapeMode {
    int mode; /* a WindowShapeMode; other values are refused */
    JEX_WindowShapeParams parameters;
} JEX_WindowShapeMode;

/* A borderless window (never full-screen or resizable) that stays out of
   sight until its first shape is set, then moves to (x, y). Null when the
   video driver or the window system cannot shape windows. */
JEX_API JEX_Window *JEX_CreateShapedWindow(const char *title, int x, int y, int w, int h,
                                           Uint32 flags);

/* JEX_TRUE for a live window made by JEX_CreateShapedWindow. */
JEX_API JEX_bool JEX_IsShapedWindow(const JEX_Window *window);

/* Cuts the window to the opaque pixels of shape, which must have the
   window's size; a null mode keeps the window's current mode. The mode is
   kept, and the first shape shows the window at its position, only when
   the result is 0. Alpha modes need a mask with an alpha channel. */
JEX_API int JEX_SetWindowShape(JEX_Window *window, JEX_Surface *shape,
                               JEX_WindowShapeMode *shape_mode);

/* With a mode pointer: copies the window's mode out (ShapeModeDefault with
   cutoff 1 until one is set) and returns 0. With null: 0 when a shape is
   set, else JEX_WINDOW_LACKS_SHAPE. */
JEX_API int JEX_GetShapedWindowMode(JEX_Window *window, JEX_WindowShapeMode *shape_mode);

#ifdef __cplusplus
}
#endif

#endif /* JEX_SHAPE_H */
