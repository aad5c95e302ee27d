/* The keyboard: focus, key and modifier state, the keymap from scancodes
   to key codes, and key names for display.

   Threads: every call belongs to the thread that started video (the
   drivers change this state from its event pump). JEX_GetKeyName keeps the
   text it returns per thread. */
#ifndef JEX_KEYBOARD_H
#define JEX_KEYBOARD_H

#include "JEX_types.h"
#include "JEX_scancode.h"
#include "JEX_keycode.h"

#ifdef __cplusplus
extern "C" {
#endif

struct JEX_Window;

/* The key part of a key event. */
typedef struct JEX_KeyInfo {
    Uint32 scancode;
    Sint32 keycode;
    Uint16 modifiers;
    Uint32 unicode_value; /* always 0 */
} JEX_KeyInfo;

/* The window with keyboard focus, or null. */
JEX_API struct JEX_Window *JEX_GetKeyboardFocus(void);

/* The live key state: JEX_SCANCODE_COUNT entries, JEX_PRESSED or
   JEX_RELEASED, indexed by scancode. Writes the count to numkeys if given. */
JEX_API const Uint8 *JEX_GetKeyboardState(int *numkeys);

/* The modifier bits; setting them posts no event. */
JEX_API Uint16 JEX_GetModState(void);
JEX_API void JEX_SetModState(Uint16 modstate);

/* The keymap entry of a scancode (0 for one out of range), and the lowest
   scancode mapped to a key code (0 when none is). */
JEX_API JEX_Keycode JEX_GetKeyFromScancode(JEX_Scancode scancode);
JEX_API JEX_Scancode JEX_GetScancodeFromKey(JEX_Keycode key);

/* Display names, never null: "" when there is none. A character key's
   name lives in a per-thread buffer that the next call overwrites. */
JEX_API const char *JEX_GetScancodeName(JEX_Scancode scancode);
JEX_API const char *JEX_GetKeyName(JEX_Keycode key);

#ifdef __cplusplus
}
#endif

#endif /* JEX_KEYBOARD_H */
