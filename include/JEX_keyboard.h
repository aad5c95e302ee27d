/* Keyboard types: scancodes, key codes, modifier bits and the key record
   carried by key events. */
#ifndef JEX_KEYBOARD_H
#define JEX_KEYBOARD_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A physical key position, 0..JEX_SCANCODE_COUNT-1; 0 is the unknown key.
   4..231 follow the USB HID keyboard usage page. */
typedef Uint32 JEX_Scancode;

/* Number of entries in every per-scancode table. */
#define JEX_SCANCODE_COUNT 512

/* A key code: the character a key types, or its scancode with this bit set
   for keys that type none. 0 is the unknown key. */
typedef Sint32 JEX_Keycode;

#define JEX_SCANCODE_BIT 0x40000000

/* Modifier bits (the modifiers field and the modifier state). */
typedef enum {
    JEX_KEYMOD_NONE = 0x0000,
    JEX_KEYMOD_LSHIFT = 0x0001,
    JEX_KEYMOD_RSHIFT = 0x0002,
    JEX_KEYMOD_LCTRL = 0x0040,
    JEX_KEYMOD_RCTRL = 0x0080,
    JEX_KEYMOD_LALT = 0x0100,
    JEX_KEYMOD_RALT = 0x0200,
    JEX_KEYMOD_LGUI = 0x0400,
    JEX_KEYMOD_RGUI = 0x0800,
    JEX_KEYMOD_NUM = 0x1000,
    JEX_KEYMOD_CAPS = 0x2000,
    JEX_KEYMOD_MODE = 0x4000
} JEX_Keymod;

/* The key part of a key event. */
typedef struct JEX_KeyInfo {
    Uint32 scancode;
    Sint32 keycode;
    Uint16 modifiers;
    Uint32 unicode_value; /* always 0 */
} JEX_KeyInfo;

#ifdef __cplusplus
}
#endif

#endif /* JEX_KEYBOARD_H */
