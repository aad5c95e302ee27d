// Keyboard: key and modifier state with lock keys and repeats, the keymap,
// scancode and key names, text and composition events cut at a UTF-8
// boundary, focus order, and out-of-range scancodes and key codes.
#include "test_video_driver.h"

#include "events/keyboard_internal.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <vector>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

std::vector<JEX_Event> TakeAll(Uint32 first, Uint32 last)
{
    std::vector<JEX_Event> out;
    JEX_Event e;
    while (JEX_PeepEvents(&e, 1, JEX_GETEVENT, first, last) == 1)
        out.push_back(e);
    return out;
}

std::vector<JEX_KeyboardEvent> TakeKeys()
{
    std::vector<JEX_KeyboardEvent> out;
    for (const JEX_Event &e : TakeAll(JEX_KEYDOWN, JEX_KEYUP))
        out.push_back(e.key);
    return out;
}

class KeyboardTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    JEX_Window *a = nullptr;
    JEX_Window *b = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(drv.Start(), 0);
        a = JEX_CreateWindow("a", 0, 0, 320, 200, JEX_WINDOW_HIDDEN);
        b = JEX_CreateWindow("b", 0, 0, 320, 200, JEX_WINDOW_HIDDEN);
        ASSERT_TRUE(a && b);
        // The keyboard record outlives video restarts: start every case
        // from a known state.
        JEX_SetKeyboardFocus(nullptr);
        JEX_ResetKeyboard();
        JEX_SetModState(0);
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
        drv.Take();
    }
    void TearDown() override
    {
        JEX_SetKeyboardFocus(nullptr);
        JEX_VideoQuit();
    }
};

TEST_F(KeyboardTest, PressRepeatAndRelease)
{
    JEX_SetKeyboardFocus(a);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A), 0) << "the key is up";
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, 0), 0) << "scancode 0 is no key";
    EXPECT_EQ(JEX_SendKeyboardKey(2, JEX_SCANCODE_A), 0) << "neither pressed nor released";

    const auto keys = TakeKeys();
    ASSERT_EQ(keys.size(), 3u);
    const Uint32 types[] = {JEX_KEYDOWN, JEX_KEYDOWN, JEX_KEYUP};
    const Uint8 repeats[] = {0, 1, 0};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(keys[i].type, types[i]) << i;
        EXPECT_EQ(keys[i].repeat, repeats[i]) << i;
        EXPECT_EQ(keys[i].window_id, a->id);
        EXPECT_EQ(keys[i].keyinfo.scancode, Uint32(JEX_SCANCODE_A));
        EXPECT_EQ(keys[i].keyinfo.keycode, 'a');
        EXPECT_EQ(keys[i].keyinfo.unicode_value, 0u);
    }
    EXPECT_EQ(keys[0].state, JEX_PRESSED);
    EXPECT_EQ(keys[2].state, JEX_RELEASED);

    // The state array is live, and a disabled type still updates it.
    int numkeys = 0;
    const Uint8 *state = JEX_GetKeyboardState(&numkeys);
    EXPECT_EQ(numkeys, JEX_SCANCODE_COUNT);
    JEX_EventState(JEX_KEYDOWN, JEX_DISABLE);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_Z), 0);
    EXPECT_EQ(state[JEX_SCANCODE_Z], JEX_PRESSED);
    JEX_EventState(JEX_KEYDOWN, JEX_ENABLE);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_Z), 1);
    EXPECT_EQ(state[JEX_SCANCODE_Z], JEX_RELEASED);
    EXPECT_EQ(TakeKeys().size(), 1u);
}

TEST_F(KeyboardTest, ModifiersAndLockKeys)
{
    // A modifier key's own events carry the state without it.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_LSHIFT);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_RCTRL);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_RCTRL);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_LSHIFT);
    auto keys = TakeKeys();
    ASSERT_EQ(keys.size(), 6u);
    const Uint16 mods[] = {0,
                           JEX_KEYMOD_LSHIFT,
                           JEX_KEYMOD_LSHIFT,
                           JEX_KEYMOD_LSHIFT | JEX_KEYMOD_RCTRL,
                           JEX_KEYMOD_LSHIFT,
                           0};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(keys[i].keyinfo.modifiers, mods[i]) << i;
    EXPECT_EQ(JEX_GetModState(), 0);

    // Each held modifier has its own bit.
    const std::pair<JEX_Scancode, Uint16> held[] = {
        {JEX_SCANCODE_LCTRL, JEX_KEYMOD_LCTRL}, {JEX_SCANCODE_LSHIFT, JEX_KEYMOD_LSHIFT},
        {JEX_SCANCODE_LALT, JEX_KEYMOD_LALT},   {JEX_SCANCODE_LGUI, JEX_KEYMOD_LGUI},
        {JEX_SCANCODE_RCTRL, JEX_KEYMOD_RCTRL}, {JEX_SCANCODE_RSHIFT, JEX_KEYMOD_RSHIFT},
        {JEX_SCANCODE_RALT, JEX_KEYMOD_RALT},   {JEX_SCANCODE_RGUI, JEX_KEYMOD_RGUI},
        {JEX_SCANCODE_MODE, JEX_KEYMOD_MODE}};
    for (const auto &[sc, bit] : held) {
        JEX_SendKeyboardKey(JEX_PRESSED, sc);
        EXPECT_EQ(JEX_GetModState(), bit) << sc;
        JEX_SendKeyboardKey(JEX_RELEASED, sc);
        EXPECT_EQ(JEX_GetModState(), 0) << sc;
    }
    TakeKeys();

    // Lock keys toggle on every press report, repeats included, and
    // releases leave them alone.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_CAPS);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    EXPECT_EQ(JEX_GetModState(), 0);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_NUMLOCKCLEAR);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_NUMLOCKCLEAR);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_NUM);
    keys = TakeKeys();
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].keyinfo.modifiers, 0) << "the state before the toggle";
    EXPECT_EQ(keys[1].keyinfo.modifiers, JEX_KEYMOD_CAPS);
    EXPECT_EQ(keys[1].repeat, 1);
    EXPECT_EQ(keys[4].keyinfo.modifiers, JEX_KEYMOD_NUM);

    // A report that is neither press nor release still lets go of a held
    // modifier, but posts nothing and leaves the key down.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_RALT);
    EXPECT_EQ(JEX_SendKeyboardKey(7, JEX_SCANCODE_RALT), 0);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_NUM);
    EXPECT_EQ(JEX_GetKeyboardState(nullptr)[JEX_SCANCODE_RALT], JEX_PRESSED);

    // Setting the state posts nothing.
    TakeKeys();
    JEX_SetModState(JEX_KEYMOD_CAPS | JEX_KEYMOD_LGUI);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_CAPS | JEX_KEYMOD_LGUI);
    EXPECT_TRUE(TakeKeys().empty());
}

TEST_F(KeyboardTest, ResetReleasesHeldKeysInScancodeOrder)
{
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_LSHIFT);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_Z);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A);
    TakeKeys();
    JEX_ResetKeyboard();
    const auto keys = TakeKeys();
    std::vector<Uint32> released;
    for (const auto &k : keys) {
        EXPECT_EQ(k.type, Uint32(JEX_KEYUP));
        released.push_back(k.keyinfo.scancode);
    }
    EXPECT_EQ(released, (std::vector<Uint32>{JEX_SCANCODE_A, JEX_SCANCODE_Z, JEX_SCANCODE_CAPSLOCK,
                                             JEX_SCANCODE_LSHIFT}));
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_CAPS) << "locks stay as they are";
    const Uint8 *state = JEX_GetKeyboardState(nullptr);
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        ASSERT_EQ(state[sc], JEX_RELEASED) << sc;
}

TEST_F(KeyboardTest, OutOfRangeScancodesAndKeyCodesTouchNothing)
{
    const std::vector<Uint8> before(JEX_GetKeyboardState(nullptr),
                                    JEX_GetKeyboardState(nullptr) + JEX_SCANCODE_COUNT);
    for (JEX_Scancode sc : {512u, 513u, 0x40000004u, 0xFFFFFFFFu}) {
        EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, sc), 0) << sc;
        EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, sc), 0) << sc;
        EXPECT_EQ(JEX_GetKeyFromScancode(sc), 0) << sc;
        EXPECT_STREQ(JEX_GetScancodeName(sc), "") << sc;
        JEX_SetScancodeName(sc, "nowhere");
    }
    EXPECT_EQ(std::vector<Uint8>(JEX_GetKeyboardState(nullptr),
                                 JEX_GetKeyboardState(nullptr) + JEX_SCANCODE_COUNT),
              before);
    EXPECT_EQ(JEX_GetModState(), 0);
    EXPECT_TRUE(TakeKeys().empty());

    // Key codes naming scancodes past the table, or with bit 31 set too.
    for (Uint32 key :
         {0x40000000u | 512u, 0x40000000u | 0x3FFFFFFFu, 0xC0000004u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_STREQ(JEX_GetKeyName(JEX_Keycode(key)), "") << std::hex << key;
}

TEST_F(KeyboardTest, KeymapReplacementStaysInsideTheTable)
{
    EXPECT_EQ(JEX_GetKeyFromScancode(JEX_SCANCODE_A), 'a');
    EXPECT_EQ(JEX_GetScancodeFromKey('a'), Uint32(JEX_SCANCODE_A));
    EXPECT_EQ(JEX_GetScancodeFromKey(0x12345), 0u);
    EXPECT_EQ(JEX_GetScancodeFromKey(JEX_SCANCODE_TO_KEYCODE(JEX_SCANCODE_F1)),
              Uint32(JEX_SCANCODE_F1));

    std::array<JEX_Keycode, 16> keys;
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = JEX_Keycode(0x1000 + i);
    JEX_SetKeymap(500, keys.data(), 13);
    JEX_SetKeymap(-1, keys.data(), 2);
    JEX_SetKeymap(10, keys.data(), -1);
    JEX_SetKeymap(10, keys.data(), INT_MIN);
    JEX_SetKeymap(INT_MAX, keys.data(), 1);
    JEX_SetKeymap(1, keys.data(), INT_MAX);
    JEX_SetKeymap(10, nullptr, 2);
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> defaults;
    JEX_GetDefaultKeymap(defaults.data());
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        ASSERT_EQ(JEX_GetKeyFromScancode(sc), defaults[sc]) << sc;

    JEX_SetKeymap(500, keys.data(), 12);
    for (int sc = 500; sc < 512; ++sc)
        EXPECT_EQ(JEX_GetKeyFromScancode(sc), 0x1000 + sc - 500) << sc;
    // The lowest scancode wins when two map to the same key.
    JEX_SetKeymap(300, &keys[3], 1);
    EXPECT_EQ(JEX_GetScancodeFromKey(0x1003), 300u);
    JEX_SetKeymap(JEX_SCANCODE_A, &keys[0], 1);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_LCTRL);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A);
    const auto events = TakeKeys();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].keyinfo.keycode, 0x1000) << "events carry the installed layout";

    // A video restart reloads the default keymap and keeps the key and
    // modifier state.
    JEX_VideoQuit();
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(JEX_GetKeyFromScancode(JEX_SCANCODE_A), 'a');
    EXPECT_EQ(JEX_GetKeyFromScancode(505), 0);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_LCTRL | JEX_KEYMOD_CAPS);
    EXPECT_EQ(JEX_GetKeyboardState(nullptr)[JEX_SCANCODE_LCTRL], JEX_PRESSED);
    JEX_ResetKeyboard();
    JEX_SetModState(0);
}

TEST_F(KeyboardTest, ScancodeNamesFollowTheTableAndItsGaps)
{
    const std::pair<int, const char *> named[] = {{4, "A"},
                                                  {29, "Z"},
                                                  {30, "1"},
                                                  {38, "9"},
                                                  {39, "0"},
                                                  {40, "Return"},
                                                  {44, "Space"},
                                                  {45, "-"},
                                                  {49, "\\"},
                                                  {53, "`"},
                                                  {56, "/"},
                                                  {57, "CapsLock"},
                                                  {58, "F1"},
                                                  {69, "F12"},
                                                  {70, "PrintScreen"},
                                                  {83, "Numlock"},
                                                  {84, "Keypad /"},
                                                  {88, "Keypad Enter"},
                                                  {89, "Keypad 1"},
                                                  {97, "Keypad 9"},
                                                  {98, "Keypad 0"},
                                                  {99, "Keypad ."},
                                                  {101, "Application"},
                                                  {103, "Keypad ="},
                                                  {104, "F13"},
                                                  {115, "F24"},
                                                  {116, "Execute"},
                                                  {129, "VolumeDown"},
                                                  {133, "Keypad ,"},
                                                  {134, "Keypad = (AS400)"},
                                                  {153, "AltErase"},
                                                  {158, "Return"},
                                                  {162, "Clear / Again"},
                                                  {164, "ExSel"},
                                                  {176, "Keypad 00"},
                                                  {187, "Keypad Backspace"},
                                                  {188, "Keypad A"},
                                                  {193, "Keypad F"},
                                                  {194, "Keypad XOR"},
                                                  {200, "Keypad &&"},
                                                  {207, "Keypad !"},
                                                  {208, "Keypad MemStore"},
                                                  {221, "Keypad Hexadecimal"},
                                                  {224, "Left Ctrl"},
                                                  {227, "Left GUI"},
                                                  {231, "Right GUI"},
                                                  {257, "ModeSwitch"},
                                                  {268, "AC Search"},
                                                  {278, "KBDIllumToggle"},
                                                  {282, "Sleep"}};
    for (const auto &[sc, name] : named)
        EXPECT_STREQ(JEX_GetScancodeName(Uint32(sc)), name) << sc;

    auto gap = [](int sc) {
        return sc <= 3 || sc == 100 || (sc >= 130 && sc <= 132) || (sc >= 135 && sc <= 152) ||
               (sc >= 165 && sc <= 175) || sc == 222 || sc == 223 || (sc >= 232 && sc <= 256) ||
               sc >= 283;
    };
    int count = 0;
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc) {
        const char *name = JEX_GetScancodeName(Uint32(sc));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name[0] == '\0', gap(sc)) << sc << " \"" << name << "\"";
        count += name[0] != '\0';
        // Keys without a name are unknown to the default layout; named
        // keys that type nothing map to their scancode.
        const JEX_Keycode key = JEX_GetKeyFromScancode(Uint32(sc));
        if (gap(sc))
            EXPECT_EQ(key, 0) << sc;
        else if (sc > 56 && sc != 76) {
            EXPECT_EQ(key, JEX_SCANCODE_TO_KEYCODE(sc)) << sc;
        }
    }
    EXPECT_EQ(count, 219);

    // Drivers rename entries; the table keeps the pointer.
    static const char option[] = "Left Option";
    JEX_SetScancodeName(JEX_SCANCODE_LALT, option);
    EXPECT_EQ(JEX_GetScancodeName(JEX_SCANCODE_LALT), option);
    JEX_SetScancodeName(JEX_SCANCODE_LALT, "Left Alt");
}

TEST_F(KeyboardTest, KeyNames)
{
    EXPECT_STREQ(JEX_GetKeyName('a'), "A");
    EXPECT_STREQ(JEX_GetKeyName('z'), "Z");
    EXPECT_STREQ(JEX_GetKeyName('5'), "5");
    EXPECT_STREQ(JEX_GetKeyName('['), "[");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_RETURN), "Return");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_ESCAPE), "Escape");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_BACKSPACE), "Backspace");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_TAB), "Tab");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_SPACE), "Space");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_DELETE), "Delete");
    EXPECT_STREQ(JEX_GetKeyName(0), "");
    EXPECT_STREQ(JEX_GetKeyName(JEX_SCANCODE_TO_KEYCODE(JEX_SCANCODE_F1)), "F1");
    EXPECT_STREQ(JEX_GetKeyName(JEX_SCANCODE_TO_KEYCODE(100)), "") << "a gap in the table";
    EXPECT_STREQ(JEX_GetKeyName(JEX_SCANCODE_TO_KEYCODE(0)), "");

    // Characters are spelt in UTF-8, up to the six-byte 31-bit forms.
    EXPECT_STREQ(JEX_GetKeyName(0xE9), "\xC3\xA9");
    EXPECT_STREQ(JEX_GetKeyName(0x7FF), "\xDF\xBF");
    EXPECT_STREQ(JEX_GetKeyName(0x20AC), "\xE2\x82\xAC");
    EXPECT_STREQ(JEX_GetKeyName(0x10348), "\xF0\x90\x8D\x88");
    EXPECT_STREQ(JEX_GetKeyName(0x200000), "\xF8\x88\x80\x80\x80");
    EXPECT_STREQ(JEX_GetKeyName(0x3FFFFFFF), "\xFC\xBF\xBF\xBF\xBF\xBF");

    // The control keys follow renamed or removed table entries.
    JEX_SetScancodeName(JEX_SCANCODE_RETURN, "Enter");
    JEX_SetScancodeName(JEX_SCANCODE_ESCAPE, nullptr);
    EXPECT_STREQ(JEX_GetKeyName(JEXK_RETURN), "Enter");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_ESCAPE), "");
    EXPECT_STREQ(JEX_GetScancodeName(JEX_SCANCODE_ESCAPE), "");
    JEX_SetScancodeName(JEX_SCANCODE_RETURN, "Return");
    JEX_SetScancodeName(JEX_SCANCODE_ESCAPE, "Escape");
}

TEST_F(KeyboardTest, TextIsFilteredAndCutAtACharacterBoundary)
{
    JEX_SetKeyboardFocus(b);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_SendKeyboardText("\t"), 0);
    EXPECT_EQ(JEX_SendKeyboardText(""), 0);
    EXPECT_EQ(JEX_SendKeyboardText("\x7F"
                                   "abc"),
              0);
    EXPECT_EQ(JEX_SendKeyboardText(nullptr), 0);
    EXPECT_EQ(JEX_SendEditingText(nullptr, 0, 0), 0);

    const std::string forty(40, 'q');
    const std::string e_acute = std::string(30, 'x') + "\xC3\xA9";  // 31st byte is a lead
    const std::string euro = std::string(29, 'y') + "\xE2\x82\xAC"
                                                    "z";         // 30th to 32nd bytes
    const std::string fits = std::string(29, 'w') + "\xC3\xA9";  // exactly 31 bytes
    EXPECT_EQ(JEX_SendKeyboardText("h\xC3\xA9llo"), 1);
    EXPECT_EQ(JEX_SendKeyboardText(forty.c_str()), 1);
    EXPECT_EQ(JEX_SendKeyboardText(e_acute.c_str()), 1);
    EXPECT_EQ(JEX_SendKeyboardText(euro.c_str()), 1);
    EXPECT_EQ(JEX_SendKeyboardText(fits.c_str()), 1);
    auto events = TakeAll(JEX_TEXTINPUT, JEX_TEXTINPUT);
    ASSERT_EQ(events.size(), 5u);
    const std::string expected[] = {"h\xC3\xA9llo", forty.substr(0, 31), std::string(30, 'x'),
                                    std::string(29, 'y'), fits};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i].text.window_id, b->id);
        EXPECT_EQ(std::string(events[i].text.text), expected[i]) << i;
    }

    // Composition text is not filtered, carries its cursor and selection,
    // and is cut the same way.
    EXPECT_EQ(JEX_SendEditingText("\t", 1, 0), 1);
    EXPECT_EQ(JEX_SendEditingText(euro.c_str(), 3, 2), 1);
    events = TakeAll(JEX_TEXTEDITING, JEX_TEXTEDITING);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_STREQ(events[0].edit.text, "\t");
    EXPECT_EQ(std::string(events[1].edit.text), std::string(29, 'y'));
    EXPECT_EQ(events[1].edit.start, 3);
    EXPECT_EQ(events[1].edit.length, 2);
    EXPECT_EQ(events[1].edit.window_id, b->id);

    // Stopping text input disables both kinds.
    JEX_StopTextInput();
    EXPECT_EQ(JEX_SendKeyboardText("abc"), 0);
    EXPECT_EQ(JEX_SendEditingText("abc", 0, 0), 0);
    JEX_StartTextInput();
    EXPECT_EQ(JEX_SendKeyboardText("abc"), 1);
}

TEST_F(KeyboardTest, FocusMovesLoseBeforeGainAndKeepHeldKeys)
{
    JEX_SetKeyboardFocus(a);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_B);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    drv.Take();

    JEX_SetKeyboardFocus(b);
    EXPECT_EQ(drv.Take(), (Log{"StopTextInput()", "StartTextInput()"}));
    const auto events = TakeAll(JEX_FIRSTEVENT, JEX_LASTEVENT);
    ASSERT_EQ(events.size(), 2u) << "no key releases while focus moves";
    EXPECT_EQ(events[0].window.event, JEX_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(events[0].window.window_id, a->id);
    EXPECT_EQ(events[1].window.event, JEX_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(events[1].window.window_id, b->id);
    EXPECT_EQ(JEX_GetKeyboardState(nullptr)[JEX_SCANCODE_B], JEX_PRESSED);
    // The release is reported to the new focus window.
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_B);
    const auto keys = TakeKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].window_id, b->id);

    // With text input off the driver's text input is left alone; losing
    // focus to nothing only reports the loss.
    JEX_StopTextInput();
    drv.Take();
    JEX_SetKeyboardFocus(a);
    JEX_SetKeyboardFocus(nullptr);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(TakeWindowEventText(), (Log{"13:2", "12:1", "13:1"}));
    EXPECT_EQ(JEX_GetKeyboardFocus(), nullptr);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_C);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_C);
    for (const auto &k : TakeKeys())
        EXPECT_EQ(k.window_id, 0u);
    JEX_StartTextInput();
}

}  // namespace
