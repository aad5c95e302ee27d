/* The X11 driver's cursors, installed in the mouse record at start-up. */
#ifndef JEX_X11_MOUSE_H
#define JEX_X11_MOUSE_H

#include "events/mouse_internal.h"
#include "video/x11/x11_video.h"

void X11_InitMouse(JEX_VideoDevice *device);
void X11_QuitMouse(JEX_VideoDevice *device);

JEX_Cursor *X11_CreateCursor(JEX_VideoDevice *device, JEX_Surface *surface, int hot_x, int hot_y);
int X11_ShowCursor(JEX_VideoDevice *device, JEX_Cursor *cursor);
void X11_FreeCursor(JEX_VideoDevice *device, JEX_Cursor *cursor);
void X11_WarpMouse(JEX_VideoDevice *device, JEX_Window *window, int x, int y);
int X11_SetRelativeMouseMode(JEX_VideoDevice *device, JEX_bool enabled);

/* The two-colour rendering of an ARGB8888 image: data and mask bitmaps
   (rows of (w + 7) / 8 bytes, least significant bit first) and the 16-bit
   foreground and background colours. Pixels with alpha above 25 belong to
   the cursor; those with r + g + b below 65 are dark (background). */
struct X11_CursorBitmaps {
    unsigned char *data;
    unsigned char *mask;
    XColor fg, bg;
};
bool X11_MakeCursorBitmaps(const Uint32 *pixels, int pitch, int w, int h, X11_CursorBitmaps *out);

#endif /* JEX_X11_MOUSE_H */
