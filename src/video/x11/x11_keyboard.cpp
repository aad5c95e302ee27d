// X key codes to scancodes. Servers number their keys differently; three
// well-known layouts are recognised by where Home, Page Up and Page Down
// sit, and any other layout is derived from the server's key symbols.
#include "video/x11/x11_keyboard.h"

#include "events/keyboard_internal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <span>
#include <utility>

namespace {

constexpr JEX_Keycode SC(int scancode)
{
    return JEX_Keycode(scancode | JEX_SCANCODE_BIT);
}

// Apple's X server: Mac virtual key codes.
constexpr Uint16 darwin_table[128] = {
    /*   0 */ 4,   22,  7,   9,   11,  10,  29,  27,  6,   25,
    /*  10 */ 100, 5,   20,  26,  8,   21,  28,  23,  30,  31,
    /*  20 */ 32,  33,  35,  34,  46,  38,  36,  45,  37,  39,
    /*  30 */ 48,  18,  24,  47,  12,  19,  40,  15,  13,  52,
    /*  40 */ 14,  51,  49,  54,  56,  17,  16,  55,  43,  44,
    /*  50 */ 53,  42,  88,  41,  231, 227, 225, 57,  226, 224,
    /*  60 */ 229, 230, 228, 0,   108, 99,  0,   85,  0,   87,
    /*  70 */ 0,   83,  128, 129, 127, 84,  88,  0,   86,  109,
    /*  80 */ 110, 103, 98,  89,  90,  91,  92,  93,  94,  95,
    /*  90 */ 111, 96,  97,  0,   0,   0,   62,  63,  64,  60,
    /* 100 */ 65,  66,  0,   68,  0,   104, 107, 105, 0,   67,
    /* 110 */ 101, 69,  0,   106, 73,  74,  75,  76,  61,  77,
    /* 120 */ 59,  78,  58,  80,  79,  81,  82,  102,
};

// XFree86's own keyboard driver: PC set-1 scancodes plus 8, with the
// extended keys moved to codes of their own.
constexpr Uint16 xfree86_table[147] = {
    /*   0 */ 0,  41,  30,  31, 32,  33,  34,  35,  36,  37,
    /*  10 */ 38, 39,  45,  46, 42,  43,  20,  26,  8,   21,
    /*  20 */ 23, 28,  24,  12, 18,  19,  47,  48,  40,  224,
    /*  30 */ 4,  22,  7,   9,  10,  11,  13,  14,  15,  51,
    /*  40 */ 52, 53,  225, 49, 29,  27,  6,   25,  5,   17,
    /*  50 */ 16, 54,  55,  56, 229, 85,  226, 44,  57,  58,
    /*  60 */ 59, 60,  61,  62, 63,  64,  65,  66,  67,  83,
    /*  70 */ 71, 95,  96,  97, 86,  92,  93,  94,  87,  89,
    /*  80 */ 90, 91,  98,  99, 0,   0,   100, 68,  69,  74,
    /*  90 */ 82, 75,  80,  0,  79,  77,  81,  78,  73,  76,
    /* 100 */ 88, 228, 72,  70, 84,  230, 0,   227, 231, 101,
    /* 110 */ 0,  0,   0,   0,  0,   0,   0,   0,   103, 0,
    /* 120 */ 0,  0,   0,   0,  0,   0,   0,   0,   0,   0,
    /* 130 */ 0,  0,   0,   0,  0,   0,   0,   0,   0,   0,
    /* 140 */ 0,  0,   0,   0,  0,   0,   0,
};

// XFree86/X.Org with the evdev key codes: Linux input key codes plus 8.
constexpr Uint16 xfree86_table2[239] = {
    /*   0 */ 0,   41,  30,  31,  32,  33,  34,  35,  36,  37,
    /*  10 */ 38,  39,  45,  46,  42,  43,  20,  26,  8,   21,
    /*  20 */ 23,  28,  24,  12,  18,  19,  47,  48,  40,  224,
    /*  30 */ 4,   22,  7,   9,   10,  11,  13,  14,  15,  51,
    /*  40 */ 52,  53,  225, 49,  29,  27,  6,   25,  5,   17,
    /*  50 */ 16,  54,  55,  56,  229, 85,  226, 44,  57,  58,
    /*  60 */ 59,  60,  61,  62,  63,  64,  65,  66,  67,  83,
    /*  70 */ 71,  95,  96,  97,  86,  92,  93,  94,  87,  89,
    /*  80 */ 90,  91,  98,  99,  0,   0,   100, 68,  69,  0,
    /*  90 */ 0,   0,   0,   0,   0,   0,   88,  228, 84,  70,
    /* 100 */ 230, 0,   74,  82,  75,  80,  79,  77,  81,  78,
    /* 110 */ 73,  76,  0,   127, 129, 128, 102, 103, 0,   72,
    /* 120 */ 0,   133, 0,   0,   0,   227, 231, 101, 120, 121,
    /* 130 */ 0,   122, 0,   124, 0,   125, 126, 123, 117, 118,
    /* 140 */ 266, 0,   282, 0,   0,   0,   0,   0,   0,   0,
    /* 150 */ 264, 0,   0,   0,   0,   265, 274, 267, 270, 271,
    /* 160 */ 0,   281, 281, 258, 261, 259, 260, 0,   0,   0,
    /* 170 */ 0,   0,   269, 273, 0,   0,   0,   0,   0,   182,
    /* 180 */ 183, 0,   0,   104, 105, 106, 107, 108, 109, 110,
    /* 190 */ 111, 112, 113, 114, 115, 0,   0,   0,   0,   0,
    /* 200 */ 261, 0,   0,   0,   0,   0,   0,   261, 0,   0,
    /* 210 */ 0,   0,   0,   0,   0,   0,   0,   268, 0,   0,
    /* 220 */ 0,   0,   0,   155, 275, 276, 263, 277, 278, 279,
    /* 230 */ 280, 0,   0,   0,   0,   0,   0,   0,   0,
};

struct BuiltinTable {
    const char *name;
    std::span<const Uint16> scancodes;
};

constexpr BuiltinTable builtin_tables[] = {
    {"darwin", darwin_table},
    {"xfree86", xfree86_table},
    {"xfree86 (evdev)", xfree86_table2},
};

// Keys whose position tells the layouts apart.
struct Fingerprint {
    JEX_Scancode scancode;
    KeySym keysym;
};
constexpr Fingerprint fingerprints[] = {{74, XK_Home}, {75, XK_Prior}, {78, XK_Next}};

// Key symbols of keys that type no character, with their key codes.
constexpr std::pair<KeySym, JEX_Keycode> keysym_keycodes[] = {
    {XK_Return, 13},
    {XK_Escape, 27},
    {XK_BackSpace, 8},
    {XK_Tab, 9},
    {XK_Caps_Lock, SC(57)},
    {XK_F1, SC(58)},
    {XK_F2, SC(59)},
    {XK_F3, SC(60)},
    {XK_F4, SC(61)},
    {XK_F5, SC(62)},
    {XK_F6, SC(63)},
    {XK_F7, SC(64)},
    {XK_F8, SC(65)},
    {XK_F9, SC(66)},
    {XK_F10, SC(67)},
    {XK_F11, SC(68)},
    {XK_F12, SC(69)},
    {XK_Print, SC(70)},
    {XK_Scroll_Lock, SC(71)},
    {XK_Pause, SC(72)},
    {XK_Insert, SC(73)},
    {XK_Home, SC(74)},
    {XK_Prior, SC(75)},
    {XK_Delete, 127},
    {XK_End, SC(77)},
    {XK_Next, SC(78)},
    {XK_Right, SC(79)},
    {XK_Left, SC(80)},
    {XK_Down, SC(81)},
    {XK_Up, SC(82)},
    {XK_Num_Lock, SC(83)},
    {XK_KP_Divide, SC(84)},
    {XK_KP_Multiply, SC(85)},
    {XK_KP_Subtract, SC(86)},
    {XK_KP_Add, SC(87)},
    {XK_KP_Enter, SC(88)},
    {XK_KP_1, SC(89)},
    {XK_KP_2, SC(90)},
    {XK_KP_3, SC(91)},
    {XK_KP_4, SC(92)},
    {XK_KP_5, SC(93)},
    {XK_KP_6, SC(94)},
    {XK_KP_7, SC(95)},
    {XK_KP_8, SC(96)},
    {XK_KP_9, SC(97)},
    {XK_KP_0, SC(98)},
    {XK_KP_Decimal, SC(99)},
    {XK_KP_End, SC(89)},
    {XK_KP_Down, SC(90)},
    {XK_KP_Next, SC(91)},
    {XK_KP_Left, SC(92)},
    {XK_KP_Begin, SC(93)},
    {XK_KP_Right, SC(94)},
    {XK_KP_Home, SC(95)},
    {XK_KP_Up, SC(96)},
    {XK_KP_Prior, SC(97)},
    {XK_KP_Insert, SC(98)},
    {XK_KP_Delete, SC(99)},
    {XK_KP_Equal, SC(103)},
    {XK_KP_Separator, SC(133)},
    {XK_Menu, SC(101)},
    {XK_F13, SC(104)},
    {XK_F14, SC(105)},
    {XK_F15, SC(106)},
    {XK_F16, SC(107)},
    {XK_F17, SC(108)},
    {XK_F18, SC(109)},
    {XK_F19, SC(110)},
    {XK_F20, SC(111)},
    {XK_F21, SC(112)},
    {XK_F22, SC(113)},
    {XK_F23, SC(114)},
    {XK_F24, SC(115)},
    {XK_Execute, SC(116)},
    {XK_Help, SC(117)},
    {XK_Select, SC(119)},
    {XK_Cancel, SC(155)},
    {XK_Redo, SC(121)},
    {XK_Undo, SC(122)},
    {XK_Find, SC(126)},
    {XK_Sys_Req, SC(154)},
    {XK_Clear, SC(156)},
    {XK_Control_L, SC(224)},
    {XK_Shift_L, SC(225)},
    {XK_Alt_L, SC(226)},
    {XK_Meta_L, SC(227)},
    {XK_Super_L, SC(227)},
    {XK_Control_R, SC(228)},
    {XK_Shift_R, SC(229)},
    {XK_Alt_R, SC(230)},
    {XK_ISO_Level3_Shift, SC(230)},
    {XK_Meta_R, SC(231)},
    {XK_Super_R, SC(231)},
    {XK_Mode_switch, SC(257)},
};

struct KeysymUcs {
    Uint16 keysym;
    Uint16 ucs;
};
constexpr KeysymUcs keysym_ucs[] = {
#include "video/x11/x11_keysym_ucs.inc"
};

// The unshifted key symbol of every key code from min to max.
struct KeyboardMapping {
    KeySym *syms = nullptr;
    int per_code = 0;
    int min = 0;
    int max = -1;

    KeyboardMapping(Display *display, int min_code, int max_code) : min(min_code), max(max_code)
    {
        if (max >= min)
            syms = X11.XGetKeyboardMapping(display, KeyCode(min), max - min + 1, &per_code);
    }
    ~KeyboardMapping()
    {
        if (syms)
            X11.XFree(syms);
    }
    KeyboardMapping(const KeyboardMapping &) = delete;
    KeyboardMapping &operator=(const KeyboardMapping &) = delete;

    KeySym unshifted(int code) const
    {
        if (!syms || per_code < 1 || code < min || code > max)
            return NoSymbol;
        return syms[size_t(code - min) * size_t(per_code)];
    }
};

const char *ScancodeName(JEX_Scancode scancode)
{
    const char *name = JEX_GetScancodeName(scancode);
    return name ? name : "";
}

X11_VideoData *DriverData(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata);
}

// Derives the table for a layout no built-in table fits, printing each
// key so the layout can be reported and added.
void DeriveTable(X11_VideoData *data, const KeyboardMapping &mapping)
{
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> defaults{};
    JEX_GetDefaultKeymap(defaults.data());
    std::printf("Keyboard layout unknown, please send the following to the JEX developers:\n");
    for (int code = data->min_keycode; code <= data->max_keycode && code < 256; ++code) {
        const KeySym sym = mapping.unshifted(code);
        if (sym == NoSymbol)
            continue;
        const char *sym_name = X11.XKeysymToString(sym);
        std::printf("code = %d, sym = 0x%X (%s) ", code - data->min_keycode, unsigned(sym),
                    sym_name ? sym_name : "");
        const JEX_Keycode key = X11_KeyCodeFromKeySym(sym);
        JEX_Scancode found = 0;
        if (key != 0) {
            for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc) {
                if (defaults[size_t(sc)] == key) {
                    found = JEX_Scancode(sc);
                    break;
                }
            }
        }
        data->key_layout[code] = found;
        if (found)
            std::printf("scancode = %u (%s)\n", unsigned(found), ScancodeName(found));
        else
            std::printf("scancode not found\n");
    }
    std::fflush(stdout);
}

}  // namespace

const char *X11_KeyboardTableName(int table)
{
    if (table < 0 || table >= int(std::size(builtin_tables)))
        return "derived";
    return builtin_tables[table].name;
}

Uint32 X11_KeySymToUcs4(KeySym keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return Uint32(keysym);
    if ((keysym & 0xFF000000UL) == 0x01000000UL) {
        const Uint32 ucs = Uint32(keysym & 0x00FFFFFFUL);
        return (ucs >= 0x20 && ucs <= 0x10FFFF) ? ucs : 0;
    }
    if (keysym > 0xFFFF)
        return 0;
    const auto *end = std::end(keysym_ucs);
    const auto *it = std::lower_bound(std::begin(keysym_ucs), end, keysym,
                                      [](const KeysymUcs &e, KeySym k) { return e.keysym < k; });
    return (it != end && it->keysym == keysym) ? it->ucs : 0;
}

JEX_Keycode X11_KeyCodeFromKeySym(KeySym keysym)
{
    if (const Uint32 ucs = X11_KeySymToUcs4(keysym))
        return JEX_Keycode(ucs);
    for (const auto &[sym, key] : keysym_keycodes)
        if (sym == keysym)
            return key;
    return 0;
}

void X11_BuildKeymap(JEX_VideoDevice *device, JEX_Keycode *keymap)
{
    X11_VideoData *data = DriverData(device);
    std::fill(keymap, keymap + JEX_SCANCODE_COUNT, 0);
    KeyboardMapping mapping(data->display, data->min_keycode, data->max_keycode);
    for (int code = 0; code < 256; ++code) {
        const JEX_Scancode sc = data->key_layout[code];
        if (sc != 0 && sc < JEX_SCANCODE_COUNT)
            keymap[sc] = X11_KeyCodeFromKeySym(mapping.unshifted(code));
    }
}

void X11_UpdateKeymap(JEX_VideoDevice *device)
{
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> keymap{};
    X11_BuildKeymap(device, keymap.data());
    JEX_SetKeymap(0, keymap.data(), JEX_SCANCODE_COUNT);
}

int X11_InitKeyboard(JEX_VideoDevice *device)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;

    X11.XAutoRepeatOn(display);
    int min_code = 0, max_code = 0;
    X11.XDisplayKeycodes(display, &min_code, &max_code);
    // The protocol limits key codes to 8..255; stay inside the table.
    data->min_keycode = std::clamp(min_code, 0, 255);
    data->max_keycode = std::clamp(max_code, data->min_keycode, 255);
    std::fill(std::begin(data->key_layout), std::end(data->key_layout), 0);

    int fingerprint_index[std::size(fingerprints)];
    for (size_t i = 0; i < std::size(fingerprints); ++i) {
        fingerprint_index[i] =
            int(X11.XKeysymToKeycode(display, fingerprints[i].keysym)) - data->min_keycode;
    }

    const int span = data->max_keycode - data->min_keycode + 1;
    data->keyboard_table = -1;
    for (size_t t = 0; t < std::size(builtin_tables); ++t) {
        const auto table = builtin_tables[t].scancodes;
        const int length = int(table.size());
        if (length >= span)
            continue;
        bool fits = true;
        for (size_t i = 0; i < std::size(fingerprints) && fits; ++i) {
            const int at = fingerprint_index[i];
            fits = at >= 0 && at < length && table[size_t(at)] == fingerprints[i].scancode;
        }
        if (fits) {
            for (int i = 0; i < length && data->min_keycode + i < 256; ++i)
                data->key_layout[data->min_keycode + i] = table[size_t(i)];
            data->keyboard_table = int(t);
            break;
        }
    }

    if (data->keyboard_table < 0) {
        KeyboardMapping mapping(display, data->min_keycode, data->max_keycode);
        DeriveTable(data, mapping);
    }

    X11_UpdateKeymap(device);
    JEX_SetScancodeName(101, "Menu");
    return 0;
}

void X11_QuitKeyboard(JEX_VideoDevice *) {}
