// What the input sources (keyboard, mouse, touch) may know of windows and of
// the video device behind them. The video core implements these; the input
// sources include nothing else of video, so the dependency runs one way.
#ifndef JEX_INPUT_WINDOW_H
#define JEX_INPUT_WINDOW_H

#include "JEX_mouse.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

// The window's id; 0 for null.
Uint32 JEX_InputWindowID(const JEX_Window *window);

// The window's size; 0x0 for a window that is not live.
void JEX_InputWindowSize(const JEX_Window *window, int *w, int *h);

// True for a live window of the current device: only those reach the driver.
JEX_bool JEX_InputWindowIsLive(const JEX_Window *window);

// An input source's focus moved onto or off the window (ENTER, LEAVE,
// FOCUS_GAINED or FOCUS_LOST): the video core updates the window, reacts and
// queues the window event.
void JEX_InputWindowFocus(JEX_Window *window, Uint8 windowevent);

// The device's text input; nothing happens without a device or operation.
void JEX_InputStartTextInput(void);
void JEX_InputStopTextInput(void);

// The device's cursor operations. JEX_InputHasCursors is false when the
// device cannot make cursors; showing and freeing do nothing then. Warping
// returns false when the device cannot warp; the relative mode call sets
// the unsupported error and returns -1 when the device has no such mode.
JEX_bool JEX_InputHasCursors(void);
JEX_Cursor *JEX_InputCreateCursor(JEX_Surface *argb, int hot_x, int hot_y);
void JEX_InputShowCursor(JEX_Cursor *cursor);
void JEX_InputFreeCursor(JEX_Cursor *cursor);
JEX_bool JEX_InputWarpMouse(JEX_Window *window, int x, int y);
int JEX_InputSetRelativeMouseMode(JEX_bool enabled);

#ifdef __cplusplus
}
#endif

#endif  // JEX_INPUT_WINDOW_H
