/* Keyboard state as the video core and the platform drivers see it. */
#ifndef JEX_KEYBOARD_INTERNAL_H
#define JEX_KEYBOARD_INTERNAL_H

#include "JEX_keyboard.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reloads the default keymap; the key state and focus survive restarts. */
int JEX_KeyboardInit(void);
void JEX_KeyboardQuit(void);

/* Copies the default keymap (JEX_SCANCODE_COUNT key codes). */
void JEX_GetDefaultKeymap(Sint32 *keymap);

/* Moves keyboard focus, sending FOCUS_LOST to the old window and
   FOCUS_GAINED to the new one. */
void JEX_SetKeyboardFocus(JEX_Window *window);
JEX_API JEX_Window *JEX_GetKeyboardFocus(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_KEYBOARD_INTERNAL_H */
