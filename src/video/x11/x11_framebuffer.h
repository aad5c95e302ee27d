/* Pixel formats of X visuals and the server's pixmap formats, for the
   display part. */
#ifndef JEX_X11_FRAMEBUFFER_H
#define JEX_X11_FRAMEBUFFER_H

#include "video/x11/x11_video.h"

/* Copies the server's description of `visual` to `info`; -1 when the server
   knows none. */
int X11_GetVisualInfoFromVisual(Display *display, Visual *visual, XVisualInfo *info);

/* The pixel format code of a visual, 0 when none fits. */
Uint32 X11_GetPixelFormatFromVisualInfo(Display *display, const XVisualInfo *info);

/* Bits per pixel and scanline pad of the server's pixmap format for
   `depth`; false when the server lists none. */
bool X11_GetPixmapFormat(Display *display, int depth, int *bits_per_pixel, int *scanline_pad);

#endif /* JEX_X11_FRAMEBUFFER_H */
