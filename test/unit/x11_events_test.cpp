// X11 events, keyboard mapping, clipboard and screen saver on Xvfb, driven by xdotool and xmodmap.
#include "x11_test_util.h"
#include "JEX_keyboard.h"
#include "JEX_mouse.h"
#include "video/x11/x11_events.h"
#include "video/x11/x11_keyboard.h"
#include <X11/extensions/scrnsaver.h>
#include <cerrno>
#include <dlfcn.h>
#include <map>
#include <set>
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

TEST_F(X11EventsTest, KeysPointerMotionWheelAndFocus)
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
    // The pointer: motion, wheel steps, focus.
    events_.clear();
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

TEST_F(X11EventsTest, ClipboardOwnerAndPeersThatMisbehave)
{
    // No window: nothing can own the selection.
    EXPECT_EQ(JEX_SetClipboardText("x"), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find a window to own the selection");
    JEX_Window *window = ShownWindow("c", 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    // Text we own reads back as set (xclip at the other end is checked end to end).
    const char *const kText = "old style: grüße";
    ASSERT_EQ(JEX_SetClipboardText(kText), 0);
    char *own = JEX_GetClipboardText();
    EXPECT_STREQ(own, kText);
    std::free(own);
    auto make_window = [this] {
        return X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0, CopyFromParent,
                                 InputOnly, CopyFromParent, 0, nullptr);
    };
    // An old-style request (no property) is answered; a requestor that left upsets nothing.
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
    EXPECT_EQ(Read(requestor, "UTF8_STRING", utf8).bytes, kText);
    // An owner that never answers: the paste gives up with empty text, no wait left pending.
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
    // The desktop inhibitor's child (it fails at once here) is reaped, not left a zombie.
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

// keysym name -> lowest key code with it unshifted, as `xmodmap -pke` prints them.
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

// Xvfb's built-in evdev table against the layout derived from key symbols once no table fits.
TEST_F(X11KeyboardTest, EvdevTableAndTheLayoutDerivedFromKeySymbolsAgree)
{
    ASSERT_NO_FATAL_FAILURE(StartServer());
    testing::internal::CaptureStdout();
    ASSERT_NO_FATAL_FAILURE(StartVideo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a known layout prints nothing";
    EXPECT_STREQ(X11_KeyboardTableName(Data()->keyboard_table), "xfree86 (evdev)");
    EXPECT_EQ(Data()->min_keycode, 8);
    const std::vector<JEX_Scancode> evdev(Data()->key_layout, Data()->key_layout + 256);
    EXPECT_EQ(evdev[size_t(ServerKeyCodes().at("less"))], 100u) << "not in the default keymap";
    // Each scancode gets its unshifted symbol's key code (keypad 7 is KP_Home); others none.
    const auto keymap = Keymap();
    const std::map<int, JEX_Keycode> keys = {{4, 'a'},     {30, '1'}, {40, 13}, {82, SC(82)},
                                             {95, SC(95)}, {0, 0},    {300, 0}};
    for (const auto &[scancode, keycode] : keys)
        EXPECT_EQ(keymap[size_t(scancode)], keycode) << "scancode " << scancode;
    JEX_VideoQuit();
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
    // Apart from the swapped keys: second keys of a symbol the table leaves out (92, 190, 203,
    // 218), and keys it names by position, not symbol (KP comma at 129, Stop at 136).
    const std::set<int> differ = {92, 110, 117, 129, 136, 190, 203, 218};
    int derived = 0;
    for (int code = 8; code < 256; ++code) {
        if (Layout(code) == 0 || differ.count(code))
            continue;
        EXPECT_EQ(Layout(code), int(evdev[size_t(code)])) << "key code " << code;
        ++derived;
    }
    EXPECT_GT(derived, 90) << "letters, digits, punctuation, F keys, editing keys, keypad";
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
    // Direct Unicode symbols (0x01xxxxxx) up to U+10FFFF; keys that type no character give 0.
    const KeySym syms[] = {
        XK_a,        XK_space,        XK_eacute, XK_ydiaeresis, XK_Greek_alpha, XK_Cyrillic_ya,
        XK_EuroSign, XK_hebrew_aleph, XK_kana_A, 0x0100263A,    0x01110000,     XK_F1,
        XK_Shift_L,  XK_BackSpace,    XK_KP_7,   0x1F,          0x10000};
    const Uint32 ucs[] = {0x61, 0x20, 0xE9, 0xFF, 0x3B1, 0x44F, 0x20AC, 0x5D0, 0x30A2, 0x263A};
    for (size_t i = 0; i < std::size(syms); ++i)
        EXPECT_EQ(X11_KeySymToUcs4(syms[i]), i < std::size(ucs) ? ucs[i] : 0)
            << std::hex << syms[i];
    // 0xFE50 is a dead key.
    const KeySym keys[] = {XK_Greek_alpha, XK_BackSpace, XK_Delete, XK_Caps_Lock, XK_Mode_switch,
                           XK_KP_7,        XK_F24,       NoSymbol,  0xFE50};
    const JEX_Keycode codes[] = {0x3B1, 8, 127, SC(57), SC(257), SC(95), SC(115), 0, 0};
    for (size_t i = 0; i < std::size(keys); ++i)
        EXPECT_EQ(X11_KeyCodeFromKeySym(keys[i]), codes[i]) << std::hex << keys[i];
}

}  // namespace
