// Keyboard state: the focus window and the keymap that video start-up
// reloads.
#include "events/keyboard_internal.h"

#include "events/events_internal.h"
#include "events/windowevents_internal.h"
#include "video/sysvideo.h"

#include <array>
#include <cstring>

namespace {

// Scancodes without a name map to key code 0; every other key that types
// no character maps to its scancode with JEX_SCANCODE_BIT set.
constexpr bool has_name(int sc)
{
    return !(sc <= 3 || sc == 100 || (sc >= 130 && sc <= 132) || (sc >= 135 && sc <= 152) ||
             (sc >= 165 && sc <= 175) || sc == 222 || sc == 223 || (sc >= 232 && sc <= 256) ||
             sc >= 283);
}

constexpr std::array<JEX_Keycode, JEX_SCANCODE_COUNT> make_default_keymap()
{
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> map{};
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc) {
        map[sc] = has_name(sc) ? (sc | JEX_SCANCODE_BIT) : 0;
    }
    for (int i = 0; i < 26; ++i) {
        map[4 + i] = 'a' + i;
    }
    for (int i = 0; i < 9; ++i) {
        map[30 + i] = '1' + i;
    }
    map[39] = '0';
    map[40] = 13;
    map[41] = 27;
    map[42] = 8;
    map[43] = 9;
    map[44] = ' ';
    constexpr char punctuation[] = "-=[]\\#;'`,./";
    for (int i = 0; i < 12; ++i) {
        map[45 + i] = punctuation[i];
    }
    map[76] = 127;
    return map;
}

constexpr std::array<JEX_Keycode, JEX_SCANCODE_COUNT> JEX_default_keymap = make_default_keymap();

struct Keyboard {
    JEX_Window *focus = nullptr;
    Uint16 mod_state = 0;
    std::array<Uint8, JEX_SCANCODE_COUNT> key_state{};
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> keymap{};
};

Keyboard JEX_keyboard;

} // namespace

extern "C" {

int JEX_KeyboardInit(void)
{
    JEX_keyboard.keymap = JEX_default_keymap;
    return 0;
}

void JEX_KeyboardQuit(void) {}

void JEX_GetDefaultKeymap(Sint32 *keymap)
{
    if (keymap) {
        std::memcpy(keymap, JEX_default_keymap.data(), sizeof(JEX_default_keymap));
    }
}

JEX_Window *JEX_GetKeyboardFocus(void) { return JEX_keyboard.focus; }

void JEX_SetKeyboardFocus(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    Keyboard &kb = JEX_keyboard;
    if (kb.focus && kb.focus != window) {
        JEX_SendWindowEvent(kb.focus, JEX_WINDOWEVENT_FOCUS_LOST, 0, 0);
        // Commits any pending input-method composition of the old window.
        if (JEX_EventState(JEX_TEXTINPUT, JEX_QUERY) == JEX_ENABLE && device &&
            device->StopTextInput) {
            device->StopTextInput(device);
        }
    }
    kb.focus = window;
    if (window) {
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_FOCUS_GAINED, 0, 0);
        if (JEX_EventState(JEX_TEXTINPUT, JEX_QUERY) == JEX_ENABLE && device &&
            device->StartTextInput) {
            device->StartTextInput(device);
        }
    }
}

} // extern "C"
