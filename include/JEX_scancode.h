/* Scancodes: physical key positions, independent of the layout. 4 to 231
   follow the USB HID keyboard/keypad usage page; 257 to 282 are the
   library's own numbers for mode, media and application keys.

   Threads: constants only; nothing here is called. */
#ifndef JEX_SCANCODE_H_INCLUDED
#define JEX_SCANCODE_H_INCLUDED

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A physical key position, 0..JEX_SCANCODE_COUNT-1; 0 is the unknown key. */
typedef Uint32 JEX_Scancode;

/* Number of entries in every per-scancode table. */
#define JEX_SCANCODE_COUNT 512

/* Named positions; numbers without a constant here have no key name either,
   apart from the runs spelled out as ranges (letters, digits, F keys). */
enum {
    JEX_SCANCODE_UNKNOWN = 0,
    JEX_SCANCODE_A = 4,
    JEX_SCANCODE_B = 5,
    JEX_SCANCODE_C = 6,
    JEX_SCANCODE_D = 7,
    JEX_SCANCODE_E = 8,
    JEX_SCANCODE_F = 9,
    JEX_SCANCODE_G = 10,
    JEX_SCANCODE_H = 11,
    JEX_SCANCODE_I = 12,
    JEX_SCANCODE_J = 13,
    JEX_SCANCODE_K = 14,
    JEX_SCANCODE_L = 15,
    JEX_SCANCODE_M = 16,
    JEX_SCANCODE_N = 17,
    JEX_SCANCODE_O = 18,
    JEX_SCANCODE_P = 19,
    JEX_SCANCODE_Q = 20,
    JEX_SCANCODE_R = 21,
    JEX_SCANCODE_S = 22,
    JEX_SCANCODE_T = 23,
    JEX_SCANCODE_U = 24,
    JEX_SCANCODE_V = 25,
    JEX_SCANCODE_W = 26,
    JEX_SCANCODE_X = 27,
    JEX_SCANCODE_Y = 28,
    JEX_SCANCODE_Z = 29,
    JEX_SCANCODE_1 = 30, /* ... 38 is 9 */
    JEX_SCANCODE_0 = 39,
    JEX_SCANCODE_RETURN = 40,
    JEX_SCANCODE_ESCAPE = 41,
    JEX_SCANCODE_BACKSPACE = 42,
    JEX_SCANCODE_TAB = 43,
    JEX_SCANCODE_SPACE = 44,
    JEX_SCANCODE_MINUS = 45,
    JEX_SCANCODE_SLASH = 56,
    JEX_SCANCODE_CAPSLOCK = 57,
    JEX_SCANCODE_F1 = 58, /* ... 69 is F12 */
    JEX_SCANCODE_F12 = 69,
    JEX_SCANCODE_PRINTSCREEN = 70,
    JEX_SCANCODE_SCROLLLOCK = 71,
    JEX_SCANCODE_PAUSE = 72,
    JEX_SCANCODE_INSERT = 73,
    JEX_SCANCODE_HOME = 74,
    JEX_SCANCODE_PAGEUP = 75,
    JEX_SCANCODE_DELETE = 76,
    JEX_SCANCODE_END = 77,
    JEX_SCANCODE_PAGEDOWN = 78,
    JEX_SCANCODE_RIGHT = 79,
    JEX_SCANCODE_LEFT = 80,
    JEX_SCANCODE_DOWN = 81,
    JEX_SCANCODE_UP = 82,
    JEX_SCANCODE_NUMLOCKCLEAR = 83,
    JEX_SCANCODE_KP_DIVIDE = 84,
    JEX_SCANCODE_KP_ENTER = 88,
    JEX_SCANCODE_KP_1 = 89, /* ... 97 is keypad 9 */
    JEX_SCANCODE_KP_0 = 98,
    JEX_SCANCODE_KP_PERIOD = 99,
    JEX_SCANCODE_APPLICATION = 101,
    JEX_SCANCODE_F13 = 104, /* ... 115 is F24 */
    JEX_SCANCODE_F24 = 115,
    JEX_SCANCODE_MUTE = 127,
    JEX_SCANCODE_VOLUMEUP = 128,
    JEX_SCANCODE_VOLUMEDOWN = 129,
    JEX_SCANCODE_LCTRL = 224,
    JEX_SCANCODE_LSHIFT = 225,
    JEX_SCANCODE_LALT = 226,
    JEX_SCANCODE_LGUI = 227,
    JEX_SCANCODE_RCTRL = 228,
    JEX_SCANCODE_RSHIFT = 229,
    JEX_SCANCODE_RALT = 230,
    JEX_SCANCODE_RGUI = 231,
    JEX_SCANCODE_MODE = 257,
    JEX_SCANCODE_AUDIONEXT = 258,
    JEX_SCANCODE_SLEEP = 282
};

#ifdef __cplusplus
}
#endif

#endif /* JEX_SCANCODE_H_INCLUDED */
