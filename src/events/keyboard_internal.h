/* Keyboard state as the video core and the platform drivers see it. */
#ifndef JEX_KEYBOARD_INTERNAL_H
#define JEX_KEYBOARD_INTERNAL_H

#include "JEX_keyboard.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reloads the default keymap; the key state, modifiers and focus survive
   video restarts. */
int JEX_KeyboardInit(void);
void JEX_KeyboardQuit(void);

/* Copies the default keymap (JEX_SCANCODE_COUNT key codes). */
void JEX_GetDefaultKeymap(JEX_Keycode *keymap);

/* Replaces length keymap entries from index start; a range that does not
   lie inside the table is ignored. */
void JEX_SetKeymap(int start, const JEX_Keycode *keys, int length);

/* Names a scancode. Only the pointer is kept: the text must outlive its
   use. Null removes the name. */
void JEX_SetScancodeName(JEX_Scancode scancode, const char *name);

/* Moves keyboard focus, sending FOCUS_LOST to the old window and
   FOCUS_GAINED to the new one, and stops and restarts text input around
   the move. */
void JEX_SetKeyboardFocus(JEX_Window *window);

/* A key transition reported by a driver (state JEX_PRESSED or
   JEX_RELEASED). 1 when a key event was queued, else 0. */
int JEX_SendKeyboardKey(Uint8 state, JEX_Scancode scancode);

/* Committed text and input-method composition text, cut to fit the event
   at a UTF-8 boundary. 1 when an event was queued, else 0. */
int JEX_SendKeyboardText(const char *text);
int JEX_SendEditingText(const char *text, int start, int length);

/* Releases every key that is down, posting the releases. */
void JEX_ResetKeyboard(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_KEYBOARD_INTERNAL_H */
