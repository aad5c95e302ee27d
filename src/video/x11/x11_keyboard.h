/* The X11 driver's keyboard mapping: X key codes to scancodes, and the
   keymap (scancode to key code) built from the server's key symbols. */
#ifndef JEX_X11_KEYBOARD_H
#define JEX_X11_KEYBOARD_H

#include "video/x11/x11_video.h"

/* Chooses the key-code table for the server (or derives one), then builds
   and installs the keymap. 0. */
int X11_InitKeyboard(JEX_VideoDevice *device);

/* Rebuilds and installs the keymap after a server mapping change. */
void X11_UpdateKeymap(JEX_VideoDevice *device);

void X11_QuitKeyboard(JEX_VideoDevice *device);

/* Unicode code point of a key symbol, 0 when it stands for no character. */
Uint32 X11_KeySymToUcs4(KeySym keysym);

/* The library key code of a key symbol: its character, else the key code
   of a key without one, else 0. */
JEX_Keycode X11_KeyCodeFromKeySym(KeySym keysym);

/* Fills `keymap` (JEX_SCANCODE_COUNT entries) from the current key-code
   table and the server's unshifted key symbols. */
void X11_BuildKeymap(JEX_VideoDevice *device, JEX_Keycode *keymap);

/* Names of the built-in tables, by the index stored in keyboard_table. */
const char *X11_KeyboardTableName(int table);

#endif /* JEX_X11_KEYBOARD_H */
