// Keyboard: key and modifier state, keymap, names, text events, focus, out-of-range codes.
#include "test_video_driver.h"
#include "events/keyboard_internal.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <climits>
#include <tuple>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

// "down A mods 1 repeat 0 in 2" per key event.
Log TakeKeys()
{
    Log out;
    for (const JEX_Event &e : TakeAll(JEX_KEYDOWN, JEX_KEYUP)) {
        const JEX_KeyboardEvent &k = e.key;
        out.push_back(
            std::string(k.type == JEX_KEYDOWN && k.state == JEX_PRESSED ? "down " : "up ") +
            JEX_GetScancodeName(k.keyinfo.scancode) + " mods " +
            std::to_string(k.keyinfo.modifiers) + " repeat " + std::to_string(k.repeat) + " in " +
            std::to_string(k.window_id));
    }
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
        // The keyboard outlives video restarts: start from a known state.
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

TEST_F(KeyboardTest, PressRepeatReleaseAndModifiers)
{
    JEX_SetKeyboardFocus(a);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A), 1);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_A), 0) << "the key is up";
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, 0), 0) << "scancode 0 is no key";
    EXPECT_EQ(JEX_SendKeyboardKey(2, JEX_SCANCODE_A), 0) << "neither pressed nor released";
    // A modifier key's own events carry the state without it.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_LSHIFT);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_RCTRL);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_LSHIFT);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_RCTRL);
    EXPECT_EQ(TakeKeys(),
              (Log{"down A mods 0 repeat 0 in 1", "down A mods 0 repeat 1 in 1",
                   "up A mods 0 repeat 0 in 1", "down Left Shift mods 0 repeat 0 in 1",
                   "down Right Ctrl mods 1 repeat 0 in 1", "up Left Shift mods 128 repeat 0 in 1",
                   "up Right Ctrl mods 0 repeat 0 in 1"}));
    // Lock keys toggle on every press report, repeats included, never on release.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_CAPSLOCK);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_NUMLOCKCLEAR);
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_NUMLOCKCLEAR);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_NUM);
    EXPECT_EQ(TakeKeys(),
              (Log{"down CapsLock mods 0 repeat 0 in 1", "down CapsLock mods 8192 repeat 1 in 1",
                   "up CapsLock mods 0 repeat 0 in 1", "down Numlock mods 0 repeat 0 in 1",
                   "up Numlock mods 4096 repeat 0 in 1"}));
    // Neither press nor release: a held modifier lets go, nothing posted, the key stays down.
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_RALT);
    EXPECT_EQ(JEX_SendKeyboardKey(7, JEX_SCANCODE_RALT), 0);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_NUM);
    EXPECT_EQ(JEX_GetKeyboardState(nullptr)[JEX_SCANCODE_RALT], JEX_PRESSED);
    TakeKeys();
    JEX_SetModState(JEX_KEYMOD_CAPS | JEX_KEYMOD_LGUI);
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_CAPS | JEX_KEYMOD_LGUI);
    EXPECT_TRUE(TakeKeys().empty()) << "setting the state posts nothing";
    // The state array is live, and a disabled type still updates it.
    const Uint8 *state = JEX_GetKeyboardState(nullptr);
    JEX_EventState(JEX_KEYDOWN, JEX_DISABLE);
    EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_Z), 0);
    EXPECT_EQ(state[JEX_SCANCODE_Z], JEX_PRESSED);
    JEX_EventState(JEX_KEYDOWN, JEX_ENABLE);
}

TEST_F(KeyboardTest, ResetReleasesHeldKeysInScancodeOrder)
{
    for (JEX_Scancode sc :
         {JEX_SCANCODE_LSHIFT, JEX_SCANCODE_Z, JEX_SCANCODE_CAPSLOCK, JEX_SCANCODE_A}) {
        JEX_SendKeyboardKey(JEX_PRESSED, sc);
    }
    TakeKeys();
    JEX_ResetKeyboard();
    EXPECT_EQ(TakeKeys(), (Log{"up A mods 8193 repeat 0 in 0", "up Z mods 8193 repeat 0 in 0",
                               "up CapsLock mods 8193 repeat 0 in 0",
                               "up Left Shift mods 8192 repeat 0 in 0"}));
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_CAPS) << "locks stay as they are";
    const Uint8 *state = JEX_GetKeyboardState(nullptr);
    EXPECT_EQ(std::count(state, state + JEX_SCANCODE_COUNT, JEX_PRESSED), 0);
}

TEST_F(KeyboardTest, KeymapReplacementStaysInsideTheTable)
{
    EXPECT_EQ(JEX_GetScancodeFromKey('a'), Uint32(JEX_SCANCODE_A));
    EXPECT_EQ(JEX_GetScancodeFromKey(0x12345), 0u);
    EXPECT_EQ(JEX_GetScancodeFromKey(JEX_SCANCODE_TO_KEYCODE(JEX_SCANCODE_F1)),
              Uint32(JEX_SCANCODE_F1));
    std::array<JEX_Keycode, 16> keys;
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = JEX_Keycode(0x1000 + i);
    // Ranges that leave the table, for any pair of ints, change nothing.
    for (auto [start, n] :
         {std::pair{500, 13}, {-1, 2}, {10, -1}, {10, INT_MIN}, {INT_MAX, 1}, {1, INT_MAX}})
        JEX_SetKeymap(start, keys.data(), n);
    JEX_SetKeymap(10, nullptr, 2);
    std::array<JEX_Keycode, JEX_SCANCODE_COUNT> defaults;
    JEX_GetDefaultKeymap(defaults.data());
    for (int sc = 0; sc < JEX_SCANCODE_COUNT; ++sc)
        ASSERT_EQ(JEX_GetKeyFromScancode(sc), defaults[sc]) << sc;
    JEX_SetKeymap(500, keys.data(), 12);
    EXPECT_EQ(JEX_GetKeyFromScancode(500) + JEX_GetKeyFromScancode(511), 0x1000 + 0x100B);
    JEX_SetKeymap(300, &keys[3], 1);
    EXPECT_EQ(JEX_GetScancodeFromKey(0x1003), 300u) << "the lowest scancode wins";
    JEX_SetKeymap(JEX_SCANCODE_A, &keys[0], 1);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_A);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_LCTRL);
    EXPECT_EQ(TakeAll(JEX_KEYDOWN, JEX_KEYDOWN).at(0).key.keyinfo.keycode, 0x1000)
        << "events carry the installed layout";
    // A video restart reloads the default keymap and keeps the key state.
    JEX_VideoQuit();
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(std::tuple(JEX_GetKeyFromScancode(JEX_SCANCODE_A), JEX_GetKeyFromScancode(505)),
              std::tuple('a', 0));
    EXPECT_EQ(JEX_GetModState(), JEX_KEYMOD_LCTRL);
    EXPECT_EQ(JEX_GetKeyboardState(nullptr)[JEX_SCANCODE_LCTRL], JEX_PRESSED);
}

TEST_F(KeyboardTest, NamesAndOutOfRangeScancodesAndKeyCodes)
{
    // Letters upper-cased, control keys by scancode, others in UTF-8 up to six bytes.
    const JEX_Keycode f1 = JEX_SCANCODE_TO_KEYCODE(JEX_SCANCODE_F1), gap = f1 + 42;  // 100: no name
    const JEX_Keycode keys[] = {'a',  '5',   JEXK_RETURN, JEXK_DELETE, 0,        f1,        gap,
                                0xE9, 0x7FF, 0x20AC,      0x10348,     0x200000, 0x3FFFFFFF};
    std::string joined;
    for (JEX_Keycode key : keys)
        joined += std::string(JEX_GetKeyName(key)) + "|";
    EXPECT_EQ(joined, "A|5|Return|Delete||F1||\xC3\xA9|\xDF\xBF|\xE2\x82\xAC|\xF0\x90\x8D\x88|"
                      "\xF8\x88\x80\x80\x80|\xFC\xBF\xBF\xBF\xBF\xBF|");
    // Drivers rename entries (the pointer is kept); control keys follow renames and removals.
    static const char enter[] = "Enter";
    JEX_SetScancodeName(JEX_SCANCODE_RETURN, enter);
    JEX_SetScancodeName(JEX_SCANCODE_ESCAPE, nullptr);
    EXPECT_EQ(JEX_GetScancodeName(JEX_SCANCODE_RETURN), enter);
    EXPECT_STREQ(JEX_GetKeyName(JEXK_RETURN), "Enter");
    EXPECT_STREQ(JEX_GetKeyName(JEXK_ESCAPE), "");
    JEX_SetScancodeName(JEX_SCANCODE_RETURN, "Return");
    JEX_SetScancodeName(JEX_SCANCODE_ESCAPE, "Escape");
    // Out-of-range scancodes and key codes touch nothing and have no name.
    const std::vector<Uint8> before(JEX_GetKeyboardState(nullptr),
                                    JEX_GetKeyboardState(nullptr) + JEX_SCANCODE_COUNT);
    for (JEX_Scancode sc : {512u, 513u, 0x40000004u, 0xFFFFFFFFu}) {
        EXPECT_EQ(JEX_SendKeyboardKey(JEX_PRESSED, sc) + JEX_SendKeyboardKey(JEX_RELEASED, sc), 0);
        EXPECT_EQ(JEX_GetKeyFromScancode(sc), 0) << sc;
        EXPECT_STREQ(JEX_GetScancodeName(sc), "") << sc;
        JEX_SetScancodeName(sc, "nowhere");
    }
    EXPECT_EQ(std::vector<Uint8>(JEX_GetKeyboardState(nullptr),
                                 JEX_GetKeyboardState(nullptr) + JEX_SCANCODE_COUNT),
              before);
    EXPECT_TRUE(TakeKeys().empty());
    // Key codes naming scancodes past the table, or with bit 31 set too.
    for (Uint32 key :
         {0x40000000u | 512u, 0x40000000u | 0x3FFFFFFFu, 0xC0000004u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_STREQ(JEX_GetKeyName(JEX_Keycode(key)), "") << std::hex << key;
    }
}

TEST_F(KeyboardTest, TextAndFocusMoves)
{
    JEX_SetKeyboardFocus(b);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    for (const char *refused : {"\t", "",
                                "\x7F"
                                "abc",
                                static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(JEX_SendKeyboardText(refused), 0);
    }
    EXPECT_EQ(JEX_SendEditingText(nullptr, 0, 0), 0);
    const std::string forty(40, 'q');
    const std::string e_acute = std::string(30, 'x') + "\xC3\xA9";  // 31st byte is a lead
    const std::string euro = std::string(29, 'y') + "\xE2\x82\xAC"
                                                    "z";         // 30th to 32nd bytes
    const std::string fits = std::string(29, 'w') + "\xC3\xA9";  // exactly 31 bytes
    for (const std::string &text : {std::string("h\xC3\xA9llo"), forty, e_acute, euro, fits})
        EXPECT_EQ(JEX_SendKeyboardText(text.c_str()), 1);
    Log texts;
    for (const JEX_Event &e : TakeAll(JEX_TEXTINPUT, JEX_TEXTINPUT)) {
        EXPECT_EQ(e.text.window_id, b->id);
        texts.push_back(e.text.text);
    }
    EXPECT_EQ(texts, (Log{"h\xC3\xA9llo", forty.substr(0, 31), std::string(30, 'x'),
                          std::string(29, 'y'), fits}));
    // Composition text is not filtered, carries cursor and selection, and is cut the same.
    EXPECT_EQ(JEX_SendEditingText("\t", 1, 0), 1);
    EXPECT_EQ(JEX_SendEditingText(euro.c_str(), 3, 2), 1);
    const auto edits = TakeAll(JEX_TEXTEDITING, JEX_TEXTEDITING);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_STREQ(edits[0].edit.text, "\t");
    EXPECT_EQ(std::tuple(std::string(edits[1].edit.text), edits[1].edit.start, edits[1].edit.length,
                         edits[1].edit.window_id),
              std::tuple(std::string(29, 'y'), 3, 2, b->id));
    JEX_StopTextInput();
    EXPECT_EQ(JEX_SendKeyboardText("abc") + JEX_SendEditingText("abc", 0, 0), 0);
    JEX_StartTextInput();
    EXPECT_EQ(JEX_SendKeyboardText("abc"), 1);
    // Focus moves: lose before gain, held keys kept.
    JEX_SetKeyboardFocus(a);
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_B);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    drv.Take();
    // The old window's composition is committed before the new one starts.
    JEX_SetKeyboardFocus(b);
    EXPECT_EQ(drv.Take(), (Log{"StopTextInput()", "StartTextInput()"}));
    EXPECT_EQ(TakeWindowEventText(), (Log{"13:1", "12:2"}));
    EXPECT_TRUE(TakeKeys().empty()) << "no key releases while focus moves";
    JEX_SendKeyboardKey(JEX_RELEASED, JEX_SCANCODE_B);
    EXPECT_EQ(TakeKeys(), (Log{"up B mods 0 repeat 0 in 2"}));
    // With text input off the driver's text input is left alone.
    JEX_StopTextInput();
    drv.Take();
    JEX_SetKeyboardFocus(a);
    JEX_SetKeyboardFocus(nullptr);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(TakeWindowEventText(), (Log{"13:2", "12:1", "13:1"}));
    JEX_SendKeyboardKey(JEX_PRESSED, JEX_SCANCODE_C);
    EXPECT_EQ(TakeKeys(), (Log{"down C mods 0 repeat 0 in 0"}));
    JEX_StartTextInput();
}

}  // namespace
