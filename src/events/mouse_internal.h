/* Mouse state as the video core and the platform drivers see it. */
#ifndef JEX_MOUSE_INTERNAL_H
#define JEX_MOUSE_INTERNAL_H

#include "JEX_mouse.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The driver allocates the record in the device's CreateCursor; the list
   link belongs to the mouse. */
struct JEX_Cursor {
    struct JEX_Cursor *next;
    void *driverdata;
};

/* Highest button number the mouse keeps state for. */
#define JEX_MOUSE_MAX_BUTTON 32

int JEX_MouseInit(void);
void JEX_MouseQuit(void);

/* Called by video shut-down while the driver still exists: frees every
   cursor, the default one included, through the device's FreeCursor, and
   forgets the focus and relative mode. A driver therefore never frees its
   default cursor itself. */
void JEX_MouseReleaseDriver(void);

/* Installs the driver's default cursor; it becomes current when there is
   none yet. */
void JEX_SetDefaultCursor(JEX_Cursor *cursor);

/* Moves mouse focus, sending LEAVE to the old window and ENTER to the new. */
void JEX_SetMouseFocus(JEX_Window *window);

/* Driver reports. A window other than the focus takes the focus first; a
   null window leaves it alone. Each returns 1 when an event was queued. */
int JEX_SendMouseMotion(JEX_Window *window, int relative, int x, int y);
int JEX_SendMouseButton(JEX_Window *window, Uint8 state, Uint8 button);
int JEX_SendMouseWheel(JEX_Window *window, int x, int y);

#ifdef __cplusplus
}
#endif

#endif /* JEX_MOUSE_INTERNAL_H */
