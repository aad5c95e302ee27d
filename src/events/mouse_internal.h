/* Mouse state as the video core and the platform drivers see it. */
#ifndef JEX_MOUSE_INTERNAL_H
#define JEX_MOUSE_INTERNAL_H

#include "JEX_mouse.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The driver allocates the record; the list link belongs to the mouse. */
struct JEX_Cursor {
    struct JEX_Cursor *next;
    void *driverdata;
};

/* The one pointer. The operations are installed by the platform driver's
   mouse start-up; any of them may be null. */
typedef struct JEX_Mouse {
    JEX_Cursor *(*CreateCursor)(JEX_Surface *surface, int hot_x, int hot_y);
    int (*ShowCursor)(JEX_Cursor *cursor);
    void (*FreeCursor)(JEX_Cursor *cursor);
    void (*WarpMouse)(JEX_Window *window, int x, int y);
    int (*SetRelativeMouseMode)(JEX_bool enabled);

    JEX_Window *focus;
    int x, y;
    int acc_x, acc_y;
    int prev_x, prev_y;
    Uint8 buttons;
    int relative_on;
    JEX_Cursor *cursor_list;    /* newest first */
    JEX_Cursor *default_cursor; /* not in the list */
    JEX_Cursor *current_cursor;
    int cursor_visible;
    Uint32 high_buttons; /* buttons 9 to 32, which have no bit in buttons */
} JEX_Mouse;

/* Highest button number the mouse keeps state for. */
#define JEX_MOUSE_MAX_BUTTON 32

int JEX_MouseInit(void);
void JEX_MouseQuit(void);
JEX_Mouse *JEX_GetMouse(void);

/* Called by video shut-down while the driver still exists: frees every
   cursor, the default one included, through the driver's FreeCursor, and
   forgets the driver's operations, the focus and relative mode. A driver
   therefore never frees its default cursor itself. */
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
