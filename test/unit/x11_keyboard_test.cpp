// The X11 driver's keyboard mapping against a real server: which key-code
// table it picks for a layout, the scancode of every key as xmodmap reports
// the server's key codes, the derived table for an unknown layout, and the
// keymap after a mapping change.
#include "x11_test_util.h"

#include "video/x11/x11_keyboard.h"

#include <map>
#include <sstream>

namespace {

using namespace x11test;

constexpr JEX_Keycode SC(int scancode)
{
    return JEX_Keycode(scancode | JEX_SCANCODE_BIT);
}

// keysym name -> lowest key code whose unshifted symbol it is, as
// `xmodmap -pke` prints the server's table.
std::map<std::string, int> ServerKeyCodes()
{
    std::map<std::string, int> codes;
    std::istringstream lines(RunCommand("xmodmap -pke").value_or(""));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string keyword, equals, sym;
        int code = 0;
        if (words >> keyword >> code >> equals >> sym && keyword == "keycode" && equals == "=")
            codes.emplace(sym, code);
    }
    return codes;
}

class X11KeyboardTest : public X11ServerTest {
protected:
    void Remap(const std::vector<std::string> &expressions)
    {
        std::string command = "xmodmap";
        for (const std::string &e : expressions)
            command += " -e '" + e + "'";
        ASSERT_TRUE(RunCommand(command)) << command;
    }
    std::vector<JEX_Keycode> Keymap()
    {
        std::vector<JEX_Keycode> keymap(JEX_SCANCODE_COUNT, -1);
        X11_BuildKeymap(JEX_GetVideoDevice(), keymap.data());
        return keymap;
    }
    int Layout(int keycode) { return int(Data()->key_layout[keycode]); }
};

TEST_F(X11KeyboardTest, XvfbUsesEvdevTableForEveryKindOfKey)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    const auto codes = ServerKeyCodes();
    ASSERT_GT(codes.size(), 50u) << "xmodmap -pke gave no key table";
    testing::internal::CaptureStdout();
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a known layout prints nothing";
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "xfree86 (evdev)");
    EXPECT_EQ(Data()->min_keycode, 8);

    std::map<std::string, int> expected = {
        {"0", 39},           {"Return", 40},       {"Escape", 41},      {"BackSpace", 42},
        {"Tab", 43},         {"space", 44},        {"minus", 45},       {"equal", 46},
        {"bracketleft", 47}, {"bracketright", 48}, {"backslash", 49},   {"semicolon", 51},
        {"apostrophe", 52},  {"grave", 53},        {"comma", 54},       {"period", 55},
        {"slash", 56},       {"Caps_Lock", 57},    {"Print", 70},       {"Scroll_Lock", 71},
        {"Pause", 72},       {"Insert", 73},       {"Home", 74},        {"Prior", 75},
        {"Delete", 76},      {"End", 77},          {"Next", 78},        {"Right", 79},
        {"Left", 80},        {"Down", 81},         {"Up", 82},          {"Num_Lock", 83},
        {"KP_Divide", 84},   {"KP_Multiply", 85},  {"KP_Subtract", 86}, {"KP_Add", 87},
        {"KP_Enter", 88},    {"KP_End", 89},       {"KP_Home", 95},     {"KP_Insert", 98},
        {"KP_Delete", 99},   {"less", 100},        {"Menu", 101},       {"Control_L", 224},
        {"Shift_L", 225},    {"Alt_L", 226},       {"Super_L", 227},    {"Control_R", 228},
        {"Shift_R", 229},
    };
    for (int i = 0; i < 26; ++i)
        expected[std::string(1, char('a' + i))] = 4 + i;
    for (int i = 1; i <= 9; ++i)
        expected[std::to_string(i)] = 29 + i;
    for (int i = 1; i <= 12; ++i)
        expected["F" + std::to_string(i)] = 57 + i;
    for (const auto &[sym, scancode] : expected) {
        const auto found = codes.find(sym);
        if (found == codes.end())
            ADD_FAILURE() << "xmodmap lists no key for " << sym;
        else
            EXPECT_EQ(Layout(found->second), scancode) << sym << " at key code " << found->second;
    }

    // The keymap gives each scancode the key code of its unshifted symbol;
    // scancodes no key produces stay empty.
    const auto keymap = Keymap();
    // Keypad 7 without Num Lock is KP_Home, a key without a character.
    const std::map<int, JEX_Keycode> keys = {
        {4, 'a'},     {29, 'z'},      {30, '1'},    {39, '0'}, {40, 13},
        {41, 27},     {42, 8},        {44, ' '},    {76, 127}, {58, SC(58)},
        {82, SC(82)}, {225, SC(225)}, {95, SC(95)}, {0, 0},    {300, 0},
    };
    for (const auto &[scancode, keycode] : keys)
        EXPECT_EQ(keymap[size_t(scancode)], keycode) << "scancode " << scancode;
}

TEST_F(X11KeyboardTest, OtherLayoutsAreRecognisedByHomePageUpPageDown)
{
    // The classic XFree86 key codes for the three keys.
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(
        Remap({"keycode 97 = Home", "keycode 99 = Prior", "keycode 105 = Next"}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "xfree86");
    EXPECT_EQ(std::vector<int>({Layout(97), Layout(38), Layout(110)}),
              std::vector<int>({74, 4, 72}))
        << "Home; A at the same code in both PC tables; Pause";
    JEX_VideoQuit();
    server_.reset();

    // Apple's X server: Mac virtual key codes plus 8.
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(
        Remap({"keycode 110 = NoSymbol", "keycode 112 = NoSymbol", "keycode 117 = NoSymbol",
               "keycode 123 = Home", "keycode 124 = Prior", "keycode 129 = Next"}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "darwin");
    EXPECT_EQ(std::vector<int>({Layout(8), Layout(8 + 53), Layout(8 + 127), Layout(8 + 128)}),
              std::vector<int>({4, 41, 102, 0}))
        << "Mac keys 0 (A), 53 (Escape), 127, and past the table's end";
}

TEST_F(X11KeyboardTest, UnknownLayoutIsDerivedFromKeySymbols)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    // Home and Page Down swap places: no built-in table fits any more.
    ASSERT_NO_FATAL_FAILURE(
        Remap({"keycode 110 = Next", "keycode 117 = Home", "keycode 191 = XF86AudioMute"}));
    testing::internal::CaptureStdout();
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Data()->keyboard_table, -1);
    EXPECT_EQ(printed.rfind("Keyboard layout unknown", 0), 0u) << printed.substr(0, 200);
    EXPECT_NE(printed.find("code = 30, sym = 0x61 (a) scancode = 4 ("), std::string::npos);
    EXPECT_NE(printed.find("code = 109, sym = 0xFF50 (Home) scancode = 74 ("), std::string::npos);
    EXPECT_NE(printed.find("(XF86AudioMute) scancode not found\n"), std::string::npos);
    // Keys without a symbol (255) or without a scancode stay unmapped.
    EXPECT_EQ(std::vector<int>({Layout(38), Layout(117), Layout(110), Layout(67), Layout(50),
                                Layout(191), Layout(255)}),
              std::vector<int>({4, 74, 78, 58, 225, 0, 0}));
}

TEST_F(X11KeyboardTest, MappingChangeUpdatesKeyCodesNotScancodes)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_TRUE(RunCommand("xset r off"));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_NE(RunCommand("xset q").value_or("").find("auto repeat:  on"), std::string::npos)
        << "start-up turns auto-repeat on";
    const int a_code = ServerKeyCodes().at("a");
    ASSERT_NO_FATAL_FAILURE(Remap({"keycode " + std::to_string(a_code) + " = q Q"}));
    const auto keymap = Keymap();
    EXPECT_EQ(keymap[4], 'q');
    EXPECT_EQ(keymap[20], 'q') << "the real q key is unchanged";
    EXPECT_EQ(Layout(a_code), 4) << "the scancode stays with the position";
}

TEST(X11KeySymTest, UnicodeAndKeyCodesOfKeySymbols)
{
    const std::pair<KeySym, Uint32> ucs[] = {
        {XK_a, 0x61},
        {XK_space, 0x20},
        {XK_eacute, 0xE9},
        {XK_ydiaeresis, 0xFF},
        {XK_Greek_alpha, 0x3B1},
        {XK_Cyrillic_ya, 0x44F},
        {XK_EuroSign, 0x20AC},
        {XK_hebrew_aleph, 0x5D0},
        {XK_kana_A, 0x30A2},
        {0x0100263A, 0x263A} /* direct Unicode */,
        {0x01110000, 0} /* beyond Unicode */,
        // Keys that type no character; keypad symbols only approximate one.
        {XK_F1, 0},
        {XK_Shift_L, 0},
        {XK_BackSpace, 0},
        {XK_KP_7, 0},
        {0x1F, 0},
        {0x10000, 0},
    };
    for (const auto &[sym, code] : ucs)
        EXPECT_EQ(X11_KeySymToUcs4(sym), code) << std::hex << sym;
    const std::pair<KeySym, JEX_Keycode> keycodes[] = {
        {XK_Greek_alpha, 0x3B1},      {XK_BackSpace, 8}, {XK_Delete, 127},  {XK_Caps_Lock, SC(57)},
        {XK_Mode_switch, SC(257)},    {XK_KP_7, SC(95)}, {XK_F24, SC(115)}, {NoSymbol, 0},
        {0xFE50, 0} /* a dead key */,
    };
    for (const auto &[sym, keycode] : keycodes)
        EXPECT_EQ(X11_KeyCodeFromKeySym(sym), keycode) << std::hex << sym;
}

}  // namespace
