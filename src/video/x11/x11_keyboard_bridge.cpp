// Hands the keymap and key names to the keyboard state. The keyboard
// state's setters are bound weakly so that the driver builds and runs on a
// tree whose keyboard part does not have them yet; once they exist they
// are used. This file deliberately sees no keyboard header, so the weak
// declarations below cannot clash with the real ones.
#include "JEX_types.h"

extern "C" {
__attribute__((weak)) void JEX_SetKeymap(int start, const Sint32 *keys, int length);
__attribute__((weak)) void JEX_SetScancodeName(Uint32 scancode, const char *name);
__attribute__((weak)) const char *JEX_GetScancodeName(Uint32 scancode);
}

void X11_InstallKeymap(const Sint32 *keymap, int length)
{
    if (JEX_SetKeymap) {
        JEX_SetKeymap(0, keymap, length);
    }
}

void X11_RenameScancode(Uint32 scancode, const char *name)
{
    if (JEX_SetScancodeName) {
        JEX_SetScancodeName(scancode, name);
    }
}

const char *X11_ScancodeName(Uint32 scancode)
{
    const char *name = JEX_GetScancodeName ? JEX_GetScancodeName(scancode) : nullptr;
    return name ? name : "";
}
