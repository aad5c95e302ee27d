// The X11 driver's keyboard mapping against a real server: which key-code
// table it picks for a layout, the scancode of every key as xmodmap reports
// the server's key codes, the derived table for an unknown layout, and the
// keymap after a mapping change.
#include <gtest/gtest.h>

#include "JEX_error.h"
#include "JEX_video.h"
#include "video/sysvideo.h"
#include "xvfb_fixture.h"

#include "video/x11/x11_keyboard.h"

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using jextest::RunCommand;
using jextest::Xvfb;

constexpr JEX_Keycode SC(int scancode)
{
    return JEX_Keycode(scancode | JEX_SCANCODE_BIT);
}

X11_VideoData *Data()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    return device ? static_cast<X11_VideoData *>(device->driverdata) : nullptr;
}

// keysym name -> lowest key code whose unshifted symbol it is, as
// `xmodmap -pke` prints the server's table.
std::map<std::string, int> ServerKeyCodes()
{
    std::map<std::string, int> codes;
    const auto out = RunCommand("xmodmap -pke");
    if (!out)
        return codes;
    std::istringstream lines(*out);
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

class X11KeyboardTest : public ::testing::Test {
protected:
    void StartServer()
    {
        server_ = std::make_unique<Xvfb>();
        ASSERT_TRUE(server_->ok()) << server_->error();
    }
    void Remap(const std::vector<std::string> &expressions)
    {
        std::string command = "xmodmap";
        for (const std::string &e : expressions)
            command += " -e '" + e + "'";
        ASSERT_TRUE(RunCommand(command).has_value()) << command;
    }
    void StartVideo()
    {
        ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
        ASSERT_NE(Data(), nullptr);
    }
    std::vector<JEX_Keycode> Keymap()
    {
        std::vector<JEX_Keycode> keymap(JEX_SCANCODE_COUNT, -1);
        X11_BuildKeymap(JEX_GetVideoDevice(), keymap.data());
        return keymap;
    }
    void TearDown() override
    {
        JEX_VideoQuit();
        server_.reset();
    }

    std::unique_ptr<Xvfb> server_;
};

TEST_F(X11KeyboardTest, XvfbUsesEvdevTableForEveryKindOfKey)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    const auto codes = ServerKeyCodes();
    ASSERT_GT(codes.size(), 50u) << "xmodmap -pke gave no key table";

    testing::internal::CaptureStdout();
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "") << "a known layout prints nothing";
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "xfree86 (evdev)");
    EXPECT_EQ(Data()->min_keycode, 8);

    std::map<std::string, int> expected;
    for (int i = 0; i < 26; ++i)
        expected[std::string(1, char('a' + i))] = 4 + i;
    for (int i = 1; i <= 9; ++i)
        expected[std::to_string(i)] = 29 + i;
    expected["0"] = 39;
    for (int i = 1; i <= 12; ++i)
        expected["F" + std::to_string(i)] = 57 + i;
    const std::map<std::string, int> named = {
        {"Return", 40},       {"Escape", 41},      {"BackSpace", 42},   {"Tab", 43},
        {"space", 44},        {"minus", 45},       {"equal", 46},       {"bracketleft", 47},
        {"bracketright", 48}, {"backslash", 49},   {"semicolon", 51},   {"apostrophe", 52},
        {"grave", 53},        {"comma", 54},       {"period", 55},      {"slash", 56},
        {"Caps_Lock", 57},    {"Print", 70},       {"Scroll_Lock", 71}, {"Pause", 72},
        {"Insert", 73},       {"Home", 74},        {"Prior", 75},       {"Delete", 76},
        {"End", 77},          {"Next", 78},        {"Right", 79},       {"Left", 80},
        {"Down", 81},         {"Up", 82},          {"Num_Lock", 83},    {"KP_Divide", 84},
        {"KP_Multiply", 85},  {"KP_Subtract", 86}, {"KP_Add", 87},      {"KP_Enter", 88},
        {"KP_End", 89},       {"KP_Home", 95},     {"KP_Insert", 98},   {"KP_Delete", 99},
        {"less", 100},        {"Menu", 101},       {"Control_L", 224},  {"Shift_L", 225},
        {"Alt_L", 226},       {"Super_L", 227},    {"Control_R", 228},  {"Shift_R", 229},
    };
    expected.insert(named.begin(), named.end());

    for (const auto &[sym, scancode] : expected) {
        const auto found = codes.find(sym);
        if (found == codes.end()) {
            ADD_FAILURE() << "xmodmap lists no key for " << sym;
            continue;
        }
        EXPECT_EQ(int(Data()->key_layout[found->second]), scancode)
            << sym << " at key code " << found->second;
    }

    // The keymap gives each scancode the key code of its unshifted symbol.
    const auto keymap = Keymap();
    EXPECT_EQ(keymap[4], 'a');
    EXPECT_EQ(keymap[29], 'z');
    EXPECT_EQ(keymap[30], '1');
    EXPECT_EQ(keymap[39], '0');
    EXPECT_EQ(keymap[40], 13);
    EXPECT_EQ(keymap[41], 27);
    EXPECT_EQ(keymap[42], 8);
    EXPECT_EQ(keymap[44], ' ');
    EXPECT_EQ(keymap[76], 127);
    EXPECT_EQ(keymap[58], SC(58));
    EXPECT_EQ(keymap[82], SC(82));
    EXPECT_EQ(keymap[225], SC(225));
    EXPECT_EQ(keymap[95], SC(95)) << "keypad 7 without Num Lock is KP_Home";
    // Scancodes no key of the table produces stay empty.
    EXPECT_EQ(keymap[0], 0);
    EXPECT_EQ(keymap[300], 0);
}

TEST_F(X11KeyboardTest, OtherLayoutsAreRecognisedByHomePageUpPageDown)
{
    // The classic XFree86 key codes for the three keys.
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(
        Remap({"keycode 97 = Home", "keycode 99 = Prior", "keycode 105 = Next"}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "xfree86");
    EXPECT_EQ(Data()->key_layout[97], 74u);
    EXPECT_EQ(Data()->key_layout[38], 4u) << "a is at the same code in both PC tables";
    EXPECT_EQ(Data()->key_layout[110], 72u) << "Pause in the XFree86 table";
    JEX_VideoQuit();
    server_.reset();

    // Apple's X server: Mac virtual key codes plus 8.
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(
        Remap({"keycode 110 = NoSymbol", "keycode 112 = NoSymbol", "keycode 117 = NoSymbol",
               "keycode 123 = Home", "keycode 124 = Prior", "keycode 129 = Next"}));
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "darwin");
    EXPECT_EQ(Data()->key_layout[8], 4u) << "Mac key 0 is A";
    EXPECT_EQ(Data()->key_layout[8 + 53], 41u) << "Mac key 53 is Escape";
    EXPECT_EQ(Data()->key_layout[8 + 127], 102u);
    EXPECT_EQ(Data()->key_layout[8 + 128], 0u) << "past the table's end";
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

    EXPECT_EQ(Data()->key_layout[38], 4u);
    EXPECT_EQ(Data()->key_layout[117], 74u);
    EXPECT_EQ(Data()->key_layout[110], 78u);
    EXPECT_EQ(Data()->key_layout[67], 58u);
    EXPECT_EQ(Data()->key_layout[50], 225u);
    EXPECT_EQ(Data()->key_layout[191], 0u);
    // Keys without any symbol are not listed and stay unmapped.
    EXPECT_EQ(Data()->key_layout[255], 0u);
}

TEST_F(X11KeyboardTest, MappingChangeUpdatesKeyCodesNotScancodes)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_TRUE(RunCommand("xset r off").has_value());
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    const auto xset = RunCommand("xset q");
    ASSERT_TRUE(xset.has_value());
    EXPECT_NE(xset->find("auto repeat:  on"), std::string::npos) << "start-up turns auto-repeat on";

    const int a_code = ServerKeyCodes().at("a");
    ASSERT_NO_FATAL_FAILURE(Remap({"keycode " + std::to_string(a_code) + " = q Q"}));
    const auto keymap = Keymap();
    EXPECT_EQ(keymap[4], 'q');
    EXPECT_EQ(keymap[20], 'q') << "the real q key is unchanged";
    EXPECT_EQ(Data()->key_layout[a_code], 4u) << "the scancode stays with the position";
}

TEST(X11KeySymTest, UnicodeOfKeySymbols)
{
    EXPECT_EQ(X11_KeySymToUcs4(XK_a), 0x61u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_space), 0x20u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_eacute), 0xE9u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_ydiaeresis), 0xFFu);
    EXPECT_EQ(X11_KeySymToUcs4(XK_Greek_alpha), 0x3B1u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_Cyrillic_ya), 0x44Fu);
    EXPECT_EQ(X11_KeySymToUcs4(XK_EuroSign), 0x20ACu);
    EXPECT_EQ(X11_KeySymToUcs4(XK_hebrew_aleph), 0x5D0u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_kana_A), 0x30A2u);
    EXPECT_EQ(X11_KeySymToUcs4(0x0100263A), 0x263Au) << "direct Unicode key symbols";
    EXPECT_EQ(X11_KeySymToUcs4(0x01110000), 0u) << "beyond Unicode";
    // Keys that type no character.
    EXPECT_EQ(X11_KeySymToUcs4(XK_F1), 0u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_Shift_L), 0u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_BackSpace), 0u);
    EXPECT_EQ(X11_KeySymToUcs4(XK_KP_7), 0u) << "keypad symbols only approximate a character";
    EXPECT_EQ(X11_KeySymToUcs4(0x1F), 0u);
    EXPECT_EQ(X11_KeySymToUcs4(0x10000), 0u);

    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_Greek_alpha), 0x3B1);
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_BackSpace), 8);
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_Delete), 127);
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_Caps_Lock), SC(57));
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_Mode_switch), SC(257));
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_KP_7), SC(95));
    EXPECT_EQ(X11_KeyCodeFromKeySym(XK_F24), SC(115));
    EXPECT_EQ(X11_KeyCodeFromKeySym(NoSymbol), 0);
    EXPECT_EQ(X11_KeyCodeFromKeySym(0xFE50), 0) << "a dead key has no key code";
}

}  // namespace
