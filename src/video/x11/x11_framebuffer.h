/* The X11 window framebuffer (an X image in the window's own pixel format,
   in shared memory when the server is local and offers MIT-SHM), and the
   pixel formats of X visuals that it and the display part use. */
#ifndef JEX_X11_FRAMEBUFFER_H
#define JEX_X11_FRAMEBUFFER_H

#include "video/x11/x11_video.h"

int X11_CreateWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window, Uint32 *format,
                                void **pixels, int *pitch);
int X11_UpdateWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window, const JEX_Rect *rects,
                                int numrects);
void X11_DestroyWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window);

/* Copies the server's description of `visual` to `info`; -1 when the server
   knows none. */
int X11_GetVisualInfoFromVisual(Display *display, Visual *visual, XVisualInfo *info);

/* The pixel format code of a visual, 0 when none fits. */
Uint32 X11_GetPixelFormatFromVisualInfo(Display *display, const XVisualInfo *info);

/* Bits per pixel and scanline pad of the server's pixmap format for
   `depth`; false when the server lists none. */
bool X11_GetPixmapFormat(Display *display, int depth, int *bits_per_pixel, int *scanline_pad);

#endif /* JEX_X11_FRAMEBUFFER_H */
