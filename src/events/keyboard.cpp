// Keyboard state: focus, key and modifier state, the keymap, key names and
// the key and text events built from driver reports.
#include "events/keyboard_internal.h"

#include "JEX_stdinc.h"
#include "events/events_internal.h"
#include "events/input_window.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {

using NameTable = std::array<const char *, JEX_SCANCODE_COUNT>;
using Keymap = std::array<JEX_Keycode, JEX_SCANCODE_COUNT>;

constexpr NameTable MakeScancodeNames()
{
    NameTable n{};
    constexpr const char *letters[26] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                         "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                         "S", "T", "U", "V", "W", "X", "Y", "Z"};
    for (int i = 0; i < 26; ++i)
        n[4 + i] = letters[i];
    constexpr const char *digits[10] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"};
    for (int i = 0; i < 10; ++i)
        n[30 + i] = digits[i];
    constexpr const char *row40[] = {"Return", "Escape", "Backspace", "Tab", "Space", "-",
                                     "=",      "[",      "]",         "\\",  "#",     ";",
                                     "'",      "`",      ",",         ".",   "/",     "CapsLock"};
    for (int i = 0; i < 18; ++i)
        n[40 + i] = row40[i];
    constexpr const char *fkeys[24] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                       "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                       "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
    for (int i = 0; i < 12; ++i) {
        n[58 + i] = fkeys[i];
        n[104 + i] = fkeys[12 + i];
    }
    constexpr const char *row70[] = {
        "PrintScreen",  "ScrollLock", "Pause",    "Insert",   "Home",     "PageUp",
        "Delete",       "End",        "PageDown", "Right",    "Left",     "Down",
        "Up",           "Numlock",    "Keypad /", "Keypad *", "Keypad -", "Keypad +",
        "Keypad Enter", "Keypad 1",   "Keypad 2", "Keypad 3", "Keypad 4", "Keypad 5",
        "Keypad 6",     "Keypad 7",   "Keypad 8", "Keypad 9", "Keypad 0", "Keypad ."};
    for (int i = 0; i < 30; ++i)
        n[70 + i] = row70[i];
    n[101] = "Application";
    n[102] = "Power";
    n[103] = "Keypad =";
    constexpr const char *row116[] = {"Execute", "Help", "Menu",     "Select",    "Stop",
                                      "Again",   "Undo", "Cut",      "Copy",      "Paste",
                                      "Find",    "Mute", "VolumeUp", "VolumeDown"};
    for (int i = 0; i < 14; ++i)
        n[116 + i] = row116[i];
    n[133] = "Keypad ,";
    n[134] = "Keypad = (AS400)";
    constexpr const char *row153[] = {"AltErase", "SysReq",        "Cancel",    "Clear",
                                      "Prior",    "Return",        "Separator", "Out",
                                      "Oper",     "Clear / Again", "CrSel",     "ExSel"};
    for (int i = 0; i < 12; ++i)
        n[153 + i] = row153[i];
    constexpr const char *row176[] = {
        "Keypad 00",          "Keypad 000",         "ThousandsSeparator", "DecimalSeparator",
        "CurrencyUnit",       "CurrencySubUnit",    "Keypad (",           "Keypad )",
        "Keypad {",           "Keypad }",           "Keypad Tab",         "Keypad Backspace",
        "Keypad A",           "Keypad B",           "Keypad C",           "Keypad D",
        "Keypad E",           "Keypad F",           "Keypad XOR",         "Keypad ^",
        "Keypad %",           "Keypad <",           "Keypad >",           "Keypad &",
        "Keypad &&",          "Keypad |",           "Keypad ||",          "Keypad :",
        "Keypad #",           "Keypad Space",       "Keypad @",           "Keypad !",
        "Keypad MemStore",    "Keypad MemRecall",   "Keypad MemClear",    "Keypad MemAdd",
        "Keypad MemSubtract", "Keypad MemMultiply", "Keypad MemDivide",   "Keypad +/-",
        "Keypad Clear",       "Keypad ClearEntry",  "Keypad Binary",      "Keypad Octal",
        "Keypad Decimal",     "Keypad Hexadecimal"};
    for (int i = 0; i < 46; ++i)
        n[176 + i] = row176[i];
    constexpr const char *row224[] = {"Left Ctrl",  "Left Shift",  "Left Alt",  "Left GUI",
                                      "Right Ctrl", "Right Shift", "Right Alt", "Right GUI"};
    for (int i = 0; i < 8; ++i)
        n[224 + i] = row224[i];
    constexpr const char *row257[] = {
        "ModeSwitch",    "AudioNext",      "AudioPrev",    "AudioStop",      "AudioPlay",
        "AudioMute",     "MediaSelect",    "WWW",          "Mail",           "Calculator",
        "Computer",      "AC Search",      "AC Home",      "AC Back",        "AC Forward",
        "AC Stop",       "AC Refresh",     "AC Bookmarks", "BrightnessDown", "BrightnessUp",
        "DisplaySwitch", "KBDIllumToggle", "KBDIllumDown", "KBDIllumUp",     "Eject",
        "Sleep"};
    for (int i = 0; i < 26; ++i)
        n[257 + i] = row257[i];
    return n;
}

constexpr NameTable default_scancode_names = MakeScancodeNames();

// Pins of the name rows: the first and last entry of each run.
constexpr bool NameIs(int scancode, std::string_view name)
{
    return default_scancode_names[scancode] && default_scancode_names[scancode] == name;
}
static_assert(NameIs(4, "A") && NameIs(29, "Z") && NameIs(30, "1") && NameIs(39, "0") &&
              NameIs(40, "Return") && NameIs(57, "CapsLock") && NameIs(58, "F1") &&
              NameIs(69, "F12") && NameIs(70, "PrintScreen") && NameIs(99, "Keypad .") &&
              NameIs(101, "Application") && NameIs(103, "Keypad =") && NameIs(104, "F13") &&
              NameIs(115, "F24") && NameIs(116, "Execute") && NameIs(129, "VolumeDown") &&
              NameIs(133, "Keypad ,") && NameIs(134, "Keypad = (AS400)") &&
              NameIs(153, "AltErase") && NameIs(164, "ExSel") && NameIs(176, "Keypad 00") &&
              NameIs(221, "Keypad Hexadecimal") && NameIs(224, "Left Ctrl") &&
              NameIs(231, "Right GUI") && NameIs(257, "ModeSwitch") && NameIs(282, "Sleep"));

// Keys that type a character map to it; every other named key maps to its
// scancode with JEX_SCANCODE_BIT set, and unnamed positions to 0.
constexpr Keymap MakeDefaultKeymap()
{
    Keymap map{};
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        map[sc] = default_scancode_names[sc] ? (sc | JEX_SCANCODE_BIT) : 0;
    for (int i = 0; i < 26; ++i)
        map[4 + i] = 'a' + i;
    for (int i = 0; i < 9; ++i)
        map[30 + i] = '1' + i;
    map[39] = '0';
    map[40] = JEXK_RETURN;
    map[41] = JEXK_ESCAPE;
    map[42] = JEXK_BACKSPACE;
    map[43] = JEXK_TAB;
    map[44] = JEXK_SPACE;
    constexpr char punctuation[] = "-=[]\\#;'`,./";
    for (int i = 0; i < 12; ++i)
        map[45 + i] = punctuation[i];
    map[76] = JEXK_DELETE;
    return map;
}

constexpr Keymap JEX_default_keymap = MakeDefaultKeymap();

// Pins of the two tables: the gaps in the names are exactly these, keys
// type their characters, other named keys carry the scancode bit, gaps map
// to 0.
constexpr bool IsGap(int sc)
{
    return sc <= 3 || sc == 100 || (sc >= 130 && sc <= 132) || (sc >= 135 && sc <= 152) ||
           (sc >= 165 && sc <= 175) || sc == 222 || sc == 223 || (sc >= 232 && sc <= 256) ||
           sc >= 283;
}
constexpr bool TablesAgree()
{
    int named = 0;
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc) {
        if ((default_scancode_names[sc] == nullptr) != IsGap(sc))
            return false;
        if (IsGap(sc) ? JEX_default_keymap[sc] != 0
                      : sc > 56 && sc != 76 && JEX_default_keymap[sc] != (sc | JEX_SCANCODE_BIT))
            return false;
        named += !IsGap(sc);
    }
    return named == 219;
}
static_assert(TablesAgree());
static_assert(JEX_default_keymap[4] == 'a' && JEX_default_keymap[29] == 'z' &&
              JEX_default_keymap[30] == '1' && JEX_default_keymap[39] == '0' &&
              JEX_default_keymap[40] == 13 && JEX_default_keymap[41] == 27 &&
              JEX_default_keymap[42] == 8 && JEX_default_keymap[43] == 9 &&
              JEX_default_keymap[44] == ' ' && JEX_default_keymap[49] == '\\' &&
              JEX_default_keymap[53] == '`' && JEX_default_keymap[56] == '/' &&
              JEX_default_keymap[76] == 127);

// The keyboard belongs to the thread that started video; nothing here is
// shared with other threads. The name table is writable because drivers
// may rename entries; it holds pointers only.
struct KeyboardState {
    JEX_Window *focus = nullptr;
    Uint16 mod_state = 0;
    std::array<Uint8, JEX_SCANCODE_COUNT> key_state{};
    Keymap keymap{};
    NameTable scancode_names = default_scancode_names;
};

KeyboardState JEX_keyboard;

// Character key names; per thread so that concurrent callers do not share
// one buffer.
thread_local char key_name_buffer[8];

bool ValidScancode(JEX_Scancode scancode)
{
    return scancode < JEX_SCANCODE_COUNT;
}

// The modifier bit a held key sets, or 0.
constexpr Uint16 HeldModifier(JEX_Scancode scancode)
{
    switch (scancode) {
    case JEX_SCANCODE_LCTRL: return JEX_KEYMOD_LCTRL;
    case JEX_SCANCODE_LSHIFT: return JEX_KEYMOD_LSHIFT;
    case JEX_SCANCODE_LALT: return JEX_KEYMOD_LALT;
    case JEX_SCANCODE_LGUI: return JEX_KEYMOD_LGUI;
    case JEX_SCANCODE_RCTRL: return JEX_KEYMOD_RCTRL;
    case JEX_SCANCODE_RSHIFT: return JEX_KEYMOD_RSHIFT;
    case JEX_SCANCODE_RALT: return JEX_KEYMOD_RALT;
    case JEX_SCANCODE_RGUI: return JEX_KEYMOD_RGUI;
    case JEX_SCANCODE_MODE: return JEX_KEYMOD_MODE;
    default: return 0;
    }
}
// Nine keys, nine distinct bits: every held modifier has its own.
static_assert((HeldModifier(JEX_SCANCODE_LCTRL) | HeldModifier(JEX_SCANCODE_LSHIFT) |
               HeldModifier(JEX_SCANCODE_LALT) | HeldModifier(JEX_SCANCODE_LGUI) |
               HeldModifier(JEX_SCANCODE_RCTRL) | HeldModifier(JEX_SCANCODE_RSHIFT) |
               HeldModifier(JEX_SCANCODE_RALT) | HeldModifier(JEX_SCANCODE_RGUI) |
               HeldModifier(JEX_SCANCODE_MODE)) ==
              (JEX_KEYMOD_CTRL | JEX_KEYMOD_SHIFT | JEX_KEYMOD_ALT | JEX_KEYMOD_GUI |
               JEX_KEYMOD_MODE));

Uint32 FocusId()
{
    return JEX_InputWindowID(JEX_keyboard.focus);
}

bool TextInputEnabled()
{
    return JEX_EventState(JEX_TEXTINPUT, JEX_QUERY) == JEX_ENABLE;
}

// RFC 2279 encoding of a 31-bit code; six bytes and the terminator fit the
// 8-byte buffer.
void EncodeUtf8(Uint32 ch, char *out)
{
    auto *p = reinterpret_cast<unsigned char *>(out);
    if (ch < 0x80) {
        p[0] = static_cast<unsigned char>(ch);
        p[1] = 0;
        return;
    }
    int n = 6;
    unsigned char lead = 0xFC;
    if (ch < 0x800)
        n = 2, lead = 0xC0;
    else if (ch < 0x10000)
        n = 3, lead = 0xE0;
    else if (ch < 0x200000)
        n = 4, lead = 0xF0;
    else if (ch < 0x4000000)
        n = 5, lead = 0xF8;
    for (int i = n - 1; i > 0; --i) {
        p[i] = static_cast<unsigned char>(0x80 | (ch & 0x3F));
        ch >>= 6;
    }
    p[0] = static_cast<unsigned char>(lead | ch);
    p[n] = 0;
}

}  // namespace

extern "C" {

int JEX_KeyboardInit(void)
{
    JEX_keyboard.keymap = JEX_default_keymap;
    return 0;
}

void JEX_KeyboardQuit(void) {}

void JEX_GetDefaultKeymap(JEX_Keycode *keymap)
{
    if (keymap)
        std::memcpy(keymap, JEX_default_keymap.data(), sizeof(JEX_default_keymap));
}

void JEX_SetKeymap(int start, const JEX_Keycode *keys, int length)
{
    // Written so that no sum can overflow for any pair of ints.
    if (!keys || start < 0 || length < 0 || length > JEX_SCANCODE_COUNT - start)
        return;
    std::memcpy(&JEX_keyboard.keymap[start], keys, sizeof(JEX_Keycode) * size_t(length));
}

void JEX_SetScancodeName(JEX_Scancode scancode, const char *name)
{
    if (ValidScancode(scancode))
        JEX_keyboard.scancode_names[scancode] = name;
}

const char *JEX_GetScancodeName(JEX_Scancode scancode)
{
    if (!ValidScancode(scancode) || !JEX_keyboard.scancode_names[scancode])
        return "";
    return JEX_keyboard.scancode_names[scancode];
}

JEX_Window *JEX_GetKeyboardFocus(void)
{
    return JEX_keyboard.focus;
}

const Uint8 *JEX_GetKeyboardState(int *numkeys)
{
    if (numkeys)
        *numkeys = JEX_SCANCODE_COUNT;
    return JEX_keyboard.key_state.data();
}

Uint16 JEX_GetModState(void)
{
    return JEX_keyboard.mod_state;
}

void JEX_SetModState(Uint16 modstate)
{
    JEX_keyboard.mod_state = modstate;
}

JEX_Keycode JEX_GetKeyFromScancode(JEX_Scancode scancode)
{
    return ValidScancode(scancode) ? JEX_keyboard.keymap[scancode] : 0;
}

JEX_Scancode JEX_GetScancodeFromKey(JEX_Keycode key)
{
    for (JEX_Scancode sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        if (JEX_keyboard.keymap[sc] == key)
            return sc;
    return 0;
}

const char *JEX_GetKeyName(JEX_Keycode key)
{
    const auto code = static_cast<Uint32>(key);
    if (code & JEX_SCANCODE_BIT)
        return JEX_GetScancodeName(code & ~Uint32(JEX_SCANCODE_BIT));
    switch (key) {
    case JEXK_RETURN: return JEX_GetScancodeName(JEX_SCANCODE_RETURN);
    case JEXK_ESCAPE: return JEX_GetScancodeName(JEX_SCANCODE_ESCAPE);
    case JEXK_BACKSPACE: return JEX_GetScancodeName(JEX_SCANCODE_BACKSPACE);
    case JEXK_TAB: return JEX_GetScancodeName(JEX_SCANCODE_TAB);
    case JEXK_SPACE: return JEX_GetScancodeName(JEX_SCANCODE_SPACE);
    case JEXK_DELETE: return JEX_GetScancodeName(JEX_SCANCODE_DELETE);
    default: break;
    }
    // Negative codes are no characters; 0 is the unknown key.
    if (key <= 0)
        return "";
    Uint32 ch = code;
    if (ch >= 'a' && ch <= 'z')
        ch -= 'a' - 'A';
    EncodeUtf8(ch, key_name_buffer);
    return key_name_buffer;
}

void JEX_SetKeyboardFocus(JEX_Window *window)
{
    KeyboardState &kb = JEX_keyboard;
    if (kb.focus && kb.focus != window) {
        JEX_InputWindowFocus(kb.focus, JEX_WINDOWEVENT_FOCUS_LOST);
        // Commits any pending input-method composition of the old window.
        if (TextInputEnabled())
            JEX_InputStopTextInput();
    }
    kb.focus = window;
    if (window) {
        JEX_InputWindowFocus(window, JEX_WINDOWEVENT_FOCUS_GAINED);
        if (TextInputEnabled())
            JEX_InputStartTextInput();
    }
}

int JEX_SendKeyboardKey(Uint8 state, JEX_Scancode scancode)
{
    KeyboardState &kb = JEX_keyboard;
    // Scancode 0 is no key; larger ones than the tables hold are ignored.
    if (scancode == 0 || !ValidScancode(scancode))
        return 0;
    Uint16 modifiers;
    Uint8 repeat = 0;
    if (state == JEX_PRESSED) {
        modifiers = kb.mod_state;
        if (scancode == JEX_SCANCODE_CAPSLOCK)
            kb.mod_state ^= JEX_KEYMOD_CAPS;
        else if (scancode == JEX_SCANCODE_NUMLOCKCLEAR)
            kb.mod_state ^= JEX_KEYMOD_NUM;
        else
            kb.mod_state |= HeldModifier(scancode);
        repeat = kb.key_state[scancode] == JEX_PRESSED;
    } else {
        kb.mod_state &= Uint16(~HeldModifier(scancode));
        if (state != JEX_RELEASED)
            return 0;
        modifiers = kb.mod_state;
    }
    if (kb.key_state[scancode] == state && !repeat)
        return 0;
    kb.key_state[scancode] = state;

    const Uint32 type = state == JEX_PRESSED ? JEX_KEYDOWN : JEX_KEYUP;
    if (JEX_EventState(type, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event{};
    event.key.type = type;
    event.key.window_id = FocusId();
    event.key.state = state;
    event.key.repeat = repeat;
    event.key.keyinfo.scancode = scancode;
    event.key.keyinfo.keycode = kb.keymap[scancode];
    event.key.keyinfo.modifiers = modifiers;
    event.key.keyinfo.unicode_value = 0;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

void JEX_ResetKeyboard(void)
{
    for (JEX_Scancode sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        if (JEX_keyboard.key_state[sc] == JEX_PRESSED)
            JEX_SendKeyboardKey(JEX_RELEASED, sc);
}

int JEX_SendKeyboardText(const char *text)
{
    if (!text)
        return 0;
    // Control characters are never text.
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 32 || first == 127)
        return 0;
    if (!TextInputEnabled())
        return 0;
    JEX_Event event{};
    event.text.type = JEX_TEXTINPUT;
    event.text.window_id = FocusId();
    JEX_utf8strlcpy(event.text.text, text, sizeof(event.text.text));
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

int JEX_SendEditingText(const char *text, int start, int length)
{
    if (!text || JEX_EventState(JEX_TEXTEDITING, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event{};
    event.edit.type = JEX_TEXTEDITING;
    event.edit.window_id = FocusId();
    JEX_utf8strlcpy(event.edit.text, text, sizeof(event.edit.text));
    event.edit.start = start;
    event.edit.length = length;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

}  // extern "C"
