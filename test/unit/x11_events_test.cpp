// X11 event translation, keyboard mapping, clipboard and screen saver on
// private Xvfb servers: xdotool types and clicks, xmodmap reports and changes
// the server's key codes, xclip is the other end of the clipboard and a
// second connection plays a misbehaving peer.
#include "x11_test_util.h"

#include "JEX_keyboard.h"
#include "JEX_mouse.h"
#include "video/x11/x11_events.h"
#include "video/x11/x11_keyboard.h"

#include <X11/extensions/scrnsaver.h>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <optional>
#include <signal.h>
#include <sstream>

namespace {

using namespace x11test;

class X11EventsTest : public X11DriverTest {
protected:
    JEX_Window *FocusedWindow()
    {
        JEX_Window *window = ShownWindow("e", 0, 0, 200, 150);
        if (!window)
            return nullptr;
        EXPECT_TRUE(RunCommand("xdotool windowfocus --sync " + Hex(XidOf(window))));
        EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_FOCUS_GAINED));
        events_.clear();
        return window;
    }
    std::vector<JEX_Event> OfType(Uint32 type) const
    {
        std::vector<JEX_Event> out;
        for (const JEX_Event &e : events_)
            if (e.type == type)
                out.push_back(e);
        return out;
    }
    std::vector<JEX_Scancode> PressedScancodes() const
    {
        std::vector<JEX_Scancode> out;
        for (const JEX_Event &e : OfType(JEX_KEYDOWN))
            out.push_back(e.key.keyinfo.scancode);
        return out;
    }
    std::string Text() const
    {
        std::string text;
        for (const JEX_Event &e : OfType(JEX_TEXTINPUT))
            text += e.text.text;
        return text;
    }
};

TEST_F(X11EventsTest, TypedAndHeldKeysArriveWithScancodesModifiersAndText)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    JEX_StartTextInput();
    ASSERT_TRUE(RunCommand("xdotool type --delay 20 'aB1 z'"));
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_KEYUP && e.key.keyinfo.scancode == JEX_SCANCODE_Z;
    }));
    EXPECT_EQ(Text(), "aB1 z");
    EXPECT_EQ(PressedScancodes(),
              (std::vector<JEX_Scancode>{JEX_SCANCODE_A, JEX_SCANCODE_LSHIFT, JEX_SCANCODE_B,
                                         JEX_SCANCODE_1, JEX_SCANCODE_SPACE, JEX_SCANCODE_Z}));
    for (const JEX_Event &e : OfType(JEX_KEYDOWN)) {
        EXPECT_EQ(e.key.window_id, JEX_GetWindowID(window));
        const JEX_Scancode sc = e.key.keyinfo.scancode;
        if (sc == JEX_SCANCODE_A || sc == JEX_SCANCODE_B) {
            EXPECT_EQ(e.key.keyinfo.keycode, JEX_Keycode(sc == JEX_SCANCODE_A ? 'a' : 'b'));
            EXPECT_EQ((e.key.keyinfo.modifiers & JEX_KEYMOD_SHIFT) != 0, sc == JEX_SCANCODE_B)
                << "B is typed with shift, a without";
        }
    }
    EXPECT_EQ(OfType(JEX_KEYUP).size(), OfType(JEX_KEYDOWN).size());

    // Keys without text, and a chord.
    events_.clear();
    ASSERT_TRUE(RunCommand("xdotool key --delay 20 Return F5 Left KP_Add ctrl+x"));
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_KEYUP && e.key.keyinfo.scancode == JEX_SCANCODE_LCTRL;
    }));
    EXPECT_EQ(PressedScancodes(),
              (std::vector<JEX_Scancode>{JEX_SCANCODE_RETURN, JEX_Scancode(JEX_SCANCODE_F1 + 4),
                                         JEX_SCANCODE_LEFT, JEX_Scancode(87) /* keypad + */,
                                         JEX_SCANCODE_LCTRL, JEX_SCANCODE_X}));
    EXPECT_TRUE(OfType(JEX_KEYDOWN).back().key.keyinfo.modifiers & JEX_KEYMOD_CTRL);
    EXPECT_EQ(Text(), "+") << "only the keypad plus is text; control characters are not";
    JEX_StopTextInput();

    // A held key repeats as presses with one release.
    PumpFor(200);
    events_.clear();
    ASSERT_TRUE(RunCommand("xset r rate 200 40"));
    ASSERT_TRUE(RunCommand("xdotool keydown a sleep 0.6 keyup a"));
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) { return e.type == JEX_KEYUP; }));
    PumpFor(100);
    const auto downs = OfType(JEX_KEYDOWN);
    EXPECT_EQ(OfType(JEX_KEYUP).size(), 1u) << "the server's release/press pairs are one hold";
    ASSERT_GT(downs.size(), 1u) << "the server repeats a key held 0.6 s at a 200 ms delay";
    EXPECT_EQ(downs[0].key.repeat, 0);
    EXPECT_EQ(downs[1].key.repeat, 1);
}

TEST_F(X11EventsTest, PointerMotionWheelAndFocus)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(RunCommand("xdotool mousemove --sync --window " + Hex(XidOf(window)) + " 40 30"));
    EXPECT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_MOUSEMOTION && e.motion.x == 40 && e.motion.y == 30;
    }));
    EXPECT_EQ(JEX_GetMouseFocus(), window);

    // Buttons 4 to 7 are wheel steps, never buttons.
    events_.clear();
    ASSERT_TRUE(RunCommand("xdotool click 4 click 5 click 5 click 6 click 7"));
    PumpUntil([this](const JEX_Event &) { return OfType(JEX_MOUSEWHEEL).size() >= 5; });
    std::vector<std::pair<int, int>> steps;
    for (const JEX_Event &e : OfType(JEX_MOUSEWHEEL))
        steps.emplace_back(e.wheel.x, e.wheel.y);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 1}, {0, -1}, {0, -1}, {-1, 0}, {1, 0}}));
    EXPECT_TRUE(OfType(JEX_MOUSEBUTTONDOWN).empty() && OfType(JEX_MOUSEBUTTONUP).empty());

    // Leaving the window drops the mouse focus.
    ASSERT_TRUE(RunCommand("xdotool mousemove --sync 900 700"));
    EXPECT_TRUE(PumpUntil([](const JEX_Event &) { return JEX_GetMouseFocus() == nullptr; }));
}

TEST_F(X11EventsTest, ClipboardRoundTripsWithXclip)
{
    // No window: nothing can own the selection.
    EXPECT_EQ(JEX_SetClipboardText("x"), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find a window to own the selection");

    JEX_Window *window = ShownWindow("c", 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(JEX_SetClipboardText("from JEX: grüße"), 0);
    // The server orders requests per client only: wait for ours before asking as the peer.
    X11.XSync(Data()->display, False);
    EXPECT_EQ(X11.XGetSelectionOwner(peer_, XA_PRIMARY), XidOf(window));
    char *own = JEX_GetClipboardText();
    EXPECT_STREQ(own, "from JEX: grüße");
    std::free(own);

    // xclip owns PRIMARY and answers one request (the other way round is
    // the cube program's copy hot key, checked end to end).
    ASSERT_TRUE(RunCommand(
        "printf 'from xclip ✓' | timeout 10 xclip -i -selection primary -l 1 >/dev/null 2>&1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char *text = JEX_GetClipboardText();
    EXPECT_STREQ(text, "from xclip ✓");
    std::free(text);
}

TEST_F(X11EventsTest, SelectionPeersThatMisbehave)
{
    JEX_Window *window = ShownWindow("c", 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    auto make_window = [this] {
        return X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0, CopyFromParent,
                                 InputOnly, CopyFromParent, 0, nullptr);
    };

    // An old-style request (no property) is answered on the target's name;
    // a requestor gone before the answer must not upset the pump.
    ASSERT_EQ(JEX_SetClipboardText("old style"), 0);
    const Atom utf8 = X11.XInternAtom(peer_, "UTF8_STRING", False);
    const Window requestor = make_window();
    const Window vanishing = make_window();
    X11.XConvertSelection(peer_, XA_PRIMARY, utf8, utf8, vanishing, CurrentTime);
    X11.XDestroyWindow(peer_, vanishing);
    X11.XConvertSelection(peer_, XA_PRIMARY, utf8, None, requestor, CurrentTime);
    X11.XSync(peer_, False);
    XEvent reply{};
    ASSERT_TRUE(PumpUntil([](const JEX_Event &) { return false; }, 3000,
                          [&] {
                              while (X11.XPending(peer_)) {
                                  X11.XNextEvent(peer_, &reply);
                                  if (reply.type == SelectionNotify &&
                                      reply.xselection.requestor == requestor)
                                      return true;
                              }
                              return false;
                          }));
    EXPECT_EQ(reply.xselection.property, utf8) << "answered under the target's name";
    EXPECT_EQ(Read(requestor, "UTF8_STRING", utf8).bytes, "old style");

    // An owner that never answers: the paste gives up with empty text and
    // leaves no wait pending (a hang is caught by the test's time limit).
    X11.XSetSelectionOwner(peer_, XA_PRIMARY, requestor, CurrentTime);
    X11.XSync(peer_, False);
    char *text = JEX_GetClipboardText();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    std::free(text);
    EXPECT_FALSE(Data()->selection_waiting);
    X11.XDestroyWindow(peer_, requestor);
}

TEST_F(X11EventsTest, ScreenSaverStaysOffWhileSuspended)
{
    void *xss = dlopen("libXss.so.1", RTLD_NOW);
    ASSERT_NE(xss, nullptr);
    auto alloc = reinterpret_cast<XScreenSaverInfo *(*)()>(dlsym(xss, "XScreenSaverAllocInfo"));
    auto query = reinterpret_cast<Status (*)(Display *, Drawable, XScreenSaverInfo *)>(
        dlsym(xss, "XScreenSaverQueryInfo"));
    ASSERT_TRUE(alloc && query);
    XScreenSaverInfo *info = alloc();
    auto saver_state = [&] {
        query(peer_, DefaultRootWindow(peer_), info);
        return info->state;
    };

    ASSERT_TRUE(RunCommand("xset s 1 1 s noblank"));
    JEX_DisableScreenSaver();
    const int inhibitor = X11_ScreenSaverInhibitorPid(JEX_GetVideoDevice());
    PumpFor(2500);
    EXPECT_NE(saver_state(), ScreenSaverOn) << "suspended, the saver never starts";
    // The desktop inhibitor (absent here, so its child exits at once) is
    // reaped rather than left a zombie.
    if (inhibitor > 0) {
        EXPECT_EQ(X11_ScreenSaverInhibitorPid(JEX_GetVideoDevice()), 0);
        errno = 0;
        EXPECT_EQ(kill(pid_t(inhibitor), 0), -1);
        EXPECT_EQ(errno, ESRCH);
    }
    JEX_EnableScreenSaver();
    PumpFor(2500);
    EXPECT_EQ(saver_state(), ScreenSaverOn) << "released, the one-second time-out applies again";
    RunCommand("xset s off s reset");
    X11.XFree(info);
    dlclose(xss);
}

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

    // The keymap gives each scancode the key code of its unshifted symbol
    // (keypad 7 without Num Lock is KP_Home); unused scancodes stay empty.
    const auto keymap = Keymap();
    const std::map<int, JEX_Keycode> keys = {{4, 'a'},     {30, '1'}, {40, 13}, {82, SC(82)},
                                             {95, SC(95)}, {0, 0},    {300, 0}};
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
