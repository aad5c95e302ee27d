/* The mouse: focus, position, relative motion and mode, buttons, warping,
   and cursors made from bitmaps or colour surfaces.

   Threads: every call belongs to the thread that started video. */
#ifndef JEX_MOUSE_H
#define JEX_MOUSE_H

#include "JEX_types.h"
#include "JEX_surface.h"

#ifdef __cplusplus
extern "C" {
#endif

struct JEX_Window;
typedef struct JEX_Cursor JEX_Cursor;

/* Buttons count from 1; button n is bit n - 1 of the button mask. */
#define JEX_BUTTON(X) (1u << ((X)-1))
#define JEX_BUTTON_LEFT 1
#define JEX_BUTTON_MIDDLE 2
#define JEX_BUTTON_RIGHT 3
#define JEX_BUTTON_LMASK JEX_BUTTON(JEX_BUTTON_LEFT)
#define JEX_BUTTON_MMASK JEX_BUTTON(JEX_BUTTON_MIDDLE)
#define JEX_BUTTON_RMASK JEX_BUTTON(JEX_BUTTON_RIGHT)

JEX_API struct JEX_Window *JEX_GetMouseFocus(void);

/* The button mask; x and y (if given) receive the position in the focus
   window. */
JEX_API Uint8 JEX_GetMouseState(int *x, int *y);

/* The button mask; dx and dy (if given) receive the motion accumulated
   since the previous call, which is then reset. */
JEX_API Uint8 JEX_GetRelativeMouseState(int *dx, int *dy);

/* Moves the pointer to a point of the window (the focus window when null). */
JEX_API void JEX_WarpMouseInWindow(struct JEX_Window *window, int x, int y);

/* In relative mode the pointer is hidden and motion is reported without
   the window's edges stopping it. 0 on success, -1 on failure. */
JEX_API int JEX_SetRelativeMouseMode(JEX_bool enabled);
JEX_API JEX_bool JEX_GetRelativeMouseMode(void);

/* A two-colour cursor from bit rows, most significant bit first, each row
   (w + 7) / 8 bytes: mask 1 data 0 is white, mask 1 data 1 black, mask 0
   data 0 transparent, mask 0 data 1 black. */
JEX_API JEX_Cursor *JEX_CreateCursor(const Uint8 *data, const Uint8 *mask, int w, int h, int hot_x,
                                     int hot_y);

/* A cursor from any surface; the hot spot must lie inside it. */
JEX_API JEX_Cursor *JEX_CreateColorCursor(JEX_Surface *surface, int hot_x, int hot_y);

/* Makes a cursor current (null re-applies the current one). */
JEX_API void JEX_SetCursor(JEX_Cursor *cursor);
JEX_API JEX_Cursor *JEX_GetCursor(void);
JEX_API void JEX_FreeCursor(JEX_Cursor *cursor);

/* 1 shows the pointer, 0 hides it, a negative toggle only asks; returns
   whether it was shown before the call. */
JEX_API int JEX_ShowCursor(int toggle);

#ifdef __cplusplus
}
#endif

#endif /* JEX_MOUSE_H */
