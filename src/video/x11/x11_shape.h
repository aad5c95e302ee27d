/* The X11 driver's shaped windows: the opaque pixels of the mask become the
   window's bounding shape through the Shape extension of libXext, which is
   opened at run time and asked for before the first shape request. */
#ifndef JEX_X11_SHAPE_H
#define JEX_X11_SHAPE_H

#include "video/shape_internal.h"
#include "video/x11/x11_video.h"

/* The shaper's driverdata: one bit per pixel, rows of (w + 7) / 8 bytes as
   X bitmaps are laid out, for the window's current size. */
struct X11_ShapeData {
    Uint8 *bitmap;
    size_t bitmapsize; /* bytes */
};

/* Null, with a message, when libXext lacks the Shape functions or the
   server lacks the SHAPE extension. */
JEX_WindowShaper *X11_CreateShaper(JEX_VideoDevice *device, JEX_Window *window);

/* Sizes the bitmap for the window's new size and moves the window out of
   sight until the next shape brings it back to where it was. */
int X11_ResizeWindowShape(JEX_VideoDevice *device, JEX_Window *window);

int X11_SetWindowShape(JEX_VideoDevice *device, JEX_WindowShaper *shaper, JEX_Surface *shape,
                       JEX_WindowShapeMode *mode);

/* Frees the window's shaper, if it has one; part of destroying the window. */
void X11_DestroyShaper(JEX_Window *window);

#endif /* JEX_X11_SHAPE_H */
