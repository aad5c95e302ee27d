/* Key codes: what a key means in the current layout. A key that types a
   character has that character's code (letters in lower case); every other
   key's code is its scancode with JEX_SCANCODE_BIT set. 0 is the unknown
   key.

   Threads: constants only; nothing here is called. */
#ifndef JEX_KEYCODE_H
#define JEX_KEYCODE_H

#include "JEX_scancode.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef Sint32 JEX_Keycode;

#define JEX_SCANCODE_BIT 0x40000000
#define JEX_SCANCODE_TO_KEYCODE(X) ((JEX_Keycode)((X) | JEX_SCANCODE_BIT))

/* The control characters that keys type. */
enum {
    JEXK_UNKNOWN = 0,
    JEXK_BACKSPACE = 8,
    JEXK_TAB = 9,
    JEXK_RETURN = 13,
    JEXK_ESCAPE = 27,
    JEXK_SPACE = 32,
    JEXK_DELETE = 127
};

/* Modifier bits (the modifiers field of a key event and the modifier
   state). Each bit follows one key: the lock bits toggle on every press of
   CapsLock or Numlock, the others are set while their key is down. */
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

#define JEX_KEYMOD_CTRL (JEX_KEYMOD_LCTRL | JEX_KEYMOD_RCTRL)
#define JEX_KEYMOD_SHIFT (JEX_KEYMOD_LSHIFT | JEX_KEYMOD_RSHIFT)
#define JEX_KEYMOD_ALT (JEX_KEYMOD_LALT | JEX_KEYMOD_RALT)
#define JEX_KEYMOD_GUI (JEX_KEYMOD_LGUI | JEX_KEYMOD_RGUI)

#ifdef __cplusplus
}
#endif

#endif /* JEX_KEYCODE_H */
