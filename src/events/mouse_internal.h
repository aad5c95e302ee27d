/* Mouse state as the video core and the platform drivers see it. */
#ifndef JEX_MOUSE_INTERNAL_H
#define JEX_MOUSE_INTERNAL_H

#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_Cursor {
    struct JEX_Cursor *next;
    void *driverdata;
} JEX_Cursor;

/* The one pointer. The operations are installed by the platform driver. */
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
    JEX_Cursor *cursor_list;
    JEX_Cursor *default_cursor;
    JEX_Cursor *current_cursor;
    int cursor_visible;
} JEX_Mouse;

int JEX_MouseInit(void);
void JEX_MouseQuit(void);
JEX_Mouse *JEX_GetMouse(void);

/* Moves mouse focus, sending LEAVE to the old window and ENTER to the new. */
void JEX_SetMouseFocus(JEX_Window *window);
JEX_API JEX_Window *JEX_GetMouseFocus(void);

JEX_API Uint8 JEX_GetMouseState(int *x, int *y);
JEX_API void JEX_WarpMouseInWindow(JEX_Window *window, int x, int y);

/* Reports pointer motion in window (or the focus window when null);
   1 when a motion event was queued. */
int JEX_SendMouseMotion(JEX_Window *window, int relative, int x, int y);

#ifdef __cplusplus
}
#endif

#endif /* JEX_MOUSE_INTERNAL_H */
