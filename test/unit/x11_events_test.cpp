// X11 event translation, clipboard and screen saver on a private Xvfb, with
// xdotool typing and clicking, xclip on the other end of the clipboard and a
// second connection where a misbehaving peer is needed.
#include "x11_test_util.h"

#include "JEX_keyboard.h"
#include "JEX_mouse.h"
#include "video/x11/x11_events.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <cstdlib>

namespace {

using jextest::RunCommand;
using x11test::Data;
using x11test::Hex;
using x11test::XidOf;

class X11EventsTest : public x11test::X11DriverTest {
protected:
    JEX_Window *FocusedWindow()
    {
        JEX_Window *window = ShownWindow("e", 0, 0, 200, 150);
        if (!window)
            return nullptr;
        EXPECT_TRUE(RunCommand("xdotool windowfocus --sync " + Hex(XidOf(window))).has_value());
        EXPECT_TRUE(WaitWindowEvent(window, JEX_WINDOWEVENT_FOCUS_GAINED));
        events_.clear();
        return window;
    }

    template <typename Pred>
    std::vector<JEX_Event> Select(Pred pred) const
    {
        std::vector<JEX_Event> out;
        for (const JEX_Event &e : events_)
            if (pred(e))
                out.push_back(e);
        return out;
    }

    std::vector<JEX_Event> Keys(Uint32 type) const
    {
        return Select([type](const JEX_Event &e) { return e.type == type; });
    }

    std::string Text() const
    {
        std::string text;
        for (const JEX_Event &e : events_)
            if (e.type == JEX_TEXTINPUT)
                text += e.text.text;
        return text;
    }
};

TEST_F(X11EventsTest, TypedKeysArriveWithScancodesModifiersAndText)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    JEX_StartTextInput();
    ASSERT_TRUE(RunCommand("xdotool type --delay 20 'aB1 z'").has_value());
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_KEYUP && e.key.keyinfo.scancode == JEX_SCANCODE_Z;
    }));
    EXPECT_EQ(Text(), "aB1 z");

    const auto downs = Keys(JEX_KEYDOWN);
    std::vector<JEX_Scancode> scancodes;
    for (const JEX_Event &e : downs)
        scancodes.push_back(e.key.keyinfo.scancode);
    const std::vector<JEX_Scancode> expected = {JEX_SCANCODE_A,     JEX_SCANCODE_LSHIFT,
                                                JEX_SCANCODE_B,     JEX_SCANCODE_1,
                                                JEX_SCANCODE_SPACE, JEX_SCANCODE_Z};
    EXPECT_EQ(scancodes, expected);
    for (const JEX_Event &e : downs) {
        EXPECT_EQ(e.key.window_id, JEX_GetWindowID(window));
        if (e.key.keyinfo.scancode == JEX_SCANCODE_B) {
            EXPECT_TRUE(e.key.keyinfo.modifiers & JEX_KEYMOD_SHIFT) << "B is typed with shift";
            EXPECT_EQ(e.key.keyinfo.keycode, JEX_Keycode('b'));
        }
        if (e.key.keyinfo.scancode == JEX_SCANCODE_A) {
            EXPECT_FALSE(e.key.keyinfo.modifiers & JEX_KEYMOD_SHIFT);
            EXPECT_EQ(e.key.keyinfo.keycode, JEX_Keycode('a'));
        }
    }
    EXPECT_EQ(Keys(JEX_KEYUP).size(), downs.size());

    // Keys without text, and a chord.
    events_.clear();
    ASSERT_TRUE(RunCommand("xdotool key --delay 20 Return F5 Left KP_Add ctrl+x").has_value());
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_KEYUP && e.key.keyinfo.scancode == JEX_SCANCODE_LCTRL;
    }));
    scancodes.clear();
    for (const JEX_Event &e : Keys(JEX_KEYDOWN)) {
        scancodes.push_back(e.key.keyinfo.scancode);
        if (e.key.keyinfo.scancode == JEX_SCANCODE_X) {
            EXPECT_TRUE(e.key.keyinfo.modifiers & JEX_KEYMOD_CTRL);
        }
    }
    const std::vector<JEX_Scancode> keys = {JEX_SCANCODE_RETURN, JEX_Scancode(JEX_SCANCODE_F1 + 4),
                                            JEX_SCANCODE_LEFT,   JEX_Scancode(87) /* keypad + */,
                                            JEX_SCANCODE_LCTRL,  JEX_SCANCODE_X};
    EXPECT_EQ(scancodes, keys);
    EXPECT_EQ(Text(), "+") << "only the keypad plus is text; control characters are not";
    JEX_StopTextInput();
}

TEST_F(X11EventsTest, EveryKeyClassMapsToItsScancode)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    std::vector<std::pair<std::string, JEX_Scancode>> keys;
    for (int i = 0; i < 26; ++i)
        keys.emplace_back(std::string(1, char('a' + i)), JEX_Scancode(JEX_SCANCODE_A + i));
    for (int i = 1; i <= 10; ++i)
        keys.emplace_back(std::to_string(i % 10), JEX_Scancode(JEX_SCANCODE_1 + i - 1));
    for (int i = 1; i <= 12; ++i)
        keys.emplace_back("F" + std::to_string(i), JEX_Scancode(JEX_SCANCODE_F1 + i - 1));
    const std::pair<const char *, int> named[] = {
        {"Right", 79},  {"Left", 80},      {"Down", 81},     {"Up", 82},       {"Home", 74},
        {"Prior", 75},  {"Delete", 76},    {"End", 77},      {"Next", 78},     {"Insert", 73},
        {"Escape", 41}, {"BackSpace", 42}, {"Tab", 43},      {"minus", 45},    {"KP_1", 89},
        {"KP_9", 97},   {"KP_0", 98},      {"KP_Enter", 88}, {"Shift_R", 229}, {"Control_R", 228},
    };
    for (const auto &[name, scancode] : named)
        keys.emplace_back(name, JEX_Scancode(scancode));
    // In groups, so the library's event queue never fills up in between.
    for (size_t first = 0; first < keys.size(); first += 16) {
        events_.clear();
        const size_t end = std::min(keys.size(), first + 16);
        std::string command = "xdotool key --delay 5";
        std::vector<JEX_Scancode> expected;
        for (size_t i = first; i < end; ++i) {
            command += " " + keys[i].first;
            expected.push_back(keys[i].second);
        }
        ASSERT_TRUE(RunCommand(command).has_value());
        const JEX_Scancode last = expected.back();
        EXPECT_TRUE(PumpUntil([last](const JEX_Event &e) {
            return e.type == JEX_KEYUP && e.key.keyinfo.scancode == last;
        }));
        // xdotool itself turns Num Lock on for keypad digits and holds the
        // left modifier while typing a right one: those presses are real.
        std::vector<JEX_Scancode> got;
        for (const JEX_Event &e : Keys(JEX_KEYDOWN)) {
            const JEX_Scancode sc = e.key.keyinfo.scancode;
            if (sc != JEX_SCANCODE_NUMLOCKCLEAR && sc != JEX_SCANCODE_LSHIFT &&
                sc != JEX_SCANCODE_LCTRL)
                got.push_back(sc);
        }
        EXPECT_EQ(got, expected) << command;
    }
}

TEST_F(X11EventsTest, HeldKeyRepeatsAsPressesWithOneRelease)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(RunCommand("xset r rate 200 40").has_value());
    ASSERT_TRUE(RunCommand("xdotool keydown a sleep 0.6 keyup a").has_value());
    ASSERT_TRUE(PumpUntil([](const JEX_Event &e) { return e.type == JEX_KEYUP; }));
    PumpFor(100);
    const auto downs = Keys(JEX_KEYDOWN);
    const auto ups = Keys(JEX_KEYUP);
    EXPECT_EQ(ups.size(), 1u);
    ASSERT_FALSE(downs.empty());
    if (downs.size() > 1) {
        EXPECT_EQ(downs[0].key.repeat, 0);
        EXPECT_EQ(downs[1].key.repeat, 1);
    } else {
        GTEST_LOG_(INFO) << "the server did not repeat the held key";
    }
}

TEST_F(X11EventsTest, PointerMotionClicksAndWheel)
{
    JEX_Window *window = FocusedWindow();
    ASSERT_NE(window, nullptr);
    const std::string id = Hex(XidOf(window));
    ASSERT_TRUE(RunCommand("xdotool mousemove --sync --window " + id + " 40 30").has_value());
    EXPECT_TRUE(PumpUntil([](const JEX_Event &e) {
        return e.type == JEX_MOUSEMOTION && e.motion.x == 40 && e.motion.y == 30;
    }));
    EXPECT_EQ(JEX_GetMouseFocus(), window);

    events_.clear();
    ASSERT_TRUE(RunCommand("xdotool click 1 click 3").has_value());
    ASSERT_TRUE(PumpUntil(
        [](const JEX_Event &e) { return e.type == JEX_MOUSEBUTTONUP && e.button.button == 3; }));
    const auto downs = Select([](const JEX_Event &e) { return e.type == JEX_MOUSEBUTTONDOWN; });
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].button.button, 1);
    EXPECT_EQ(downs[0].button.x, 40);
    EXPECT_EQ(downs[0].button.y, 30);
    EXPECT_EQ(downs[1].button.button, 3);

    // Buttons 4 to 7 are wheel steps, never buttons.
    events_.clear();
    ASSERT_TRUE(RunCommand("xdotool click 4 click 5 click 5 click 6 click 7").has_value());
    PumpUntil([this](const JEX_Event &) {
        return Select([](const JEX_Event &e) { return e.type == JEX_MOUSEWHEEL; }).size() >= 5;
    });
    const auto wheel = Select([](const JEX_Event &e) { return e.type == JEX_MOUSEWHEEL; });
    ASSERT_EQ(wheel.size(), 5u);
    EXPECT_EQ(wheel[0].wheel.y, 1);
    EXPECT_EQ(wheel[1].wheel.y, -1);
    EXPECT_EQ(wheel[2].wheel.y, -1);
    EXPECT_EQ(wheel[3].wheel.x, -1);
    EXPECT_EQ(wheel[4].wheel.x, 1);
    EXPECT_TRUE(Select([](const JEX_Event &e) {
                    return e.type == JEX_MOUSEBUTTONDOWN || e.type == JEX_MOUSEBUTTONUP;
                }).empty());

    // Leaving the window drops the mouse focus.
    ASSERT_TRUE(RunCommand("xdotool mousemove --sync 900 700").has_value());
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
    EXPECT_EQ(X11.XGetSelectionOwner(peer_, XA_PRIMARY), XidOf(window));
    char *own = JEX_GetClipboardText();
    EXPECT_STREQ(own, "from JEX: grüße");
    std::free(own);

    // xclip asks; the pump must answer while xclip waits.
    std::atomic<bool> done{false};
    std::optional<std::string> got;
    std::thread reader([&] {
        got = RunCommand("timeout 5 xclip -o -selection primary");
        done = true;
    });
    while (!done) {
        JEX_PumpEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reader.join();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, "from JEX: grüße");

    // The other way round: xclip owns PRIMARY and answers one request.
    ASSERT_TRUE(
        RunCommand(
            "printf 'from xclip ✓' | timeout 10 xclip -i -selection primary -l 1 >/dev/null 2>&1")
            .has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char *text = JEX_GetClipboardText();
    EXPECT_STREQ(text, "from xclip ✓");
    std::free(text);
}

TEST_F(X11EventsTest, PasteGivesUpOnSilentOwnerWithoutSpinning)
{
    JEX_Window *window = ShownWindow("c", 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    // The peer takes PRIMARY and never reads its requests.
    const Window owner = X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0,
                                           CopyFromParent, InputOnly, CopyFromParent, 0, nullptr);
    X11.XSetSelectionOwner(peer_, XA_PRIMARY, owner, CurrentTime);
    X11.XSync(peer_, False);

    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    char *text = JEX_GetClipboardText();
    const auto waited = std::chrono::steady_clock::now() - start;
    getrusage(RUSAGE_SELF, &after);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    std::free(text);
    EXPECT_GE(waited, std::chrono::milliseconds(X11_SELECTION_TIMEOUT_MS - 50));
    EXPECT_LT(waited, std::chrono::milliseconds(X11_SELECTION_TIMEOUT_MS + 1500));
    const double cpu = double(after.ru_utime.tv_sec - before.ru_utime.tv_sec) +
                       double(after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6 +
                       double(after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
                       double(after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e6;
    EXPECT_LT(cpu, 0.4) << "the wait sleeps on the connection";
    EXPECT_FALSE(Data()->selection_waiting);
    X11.XDestroyWindow(peer_, owner);
}

TEST_F(X11EventsTest, OldStyleRequestIsAnsweredOnTheTarget)
{
    JEX_Window *window = ShownWindow("c", 0, 0, 50, 50);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(JEX_SetClipboardText("old style"), 0);

    const Atom utf8 = X11.XInternAtom(peer_, "UTF8_STRING", False);
    const Window requestor =
        X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                          CopyFromParent, 0, nullptr);
    // A requestor that is gone before the answer must not upset the pump.
    const Window vanishing =
        X11.XCreateWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                          CopyFromParent, 0, nullptr);
    X11.XConvertSelection(peer_, XA_PRIMARY, utf8, utf8, vanishing, CurrentTime);
    X11.XDestroyWindow(peer_, vanishing);
    X11.XConvertSelection(peer_, XA_PRIMARY, utf8, None, requestor, CurrentTime);
    X11.XSync(peer_, False);

    XEvent reply{};
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!answered && std::chrono::steady_clock::now() < deadline) {
        JEX_PumpEvents();
        while (!answered && X11.XPending(peer_)) {
            X11.XNextEvent(peer_, &reply);
            answered = reply.type == SelectionNotify && reply.xselection.requestor == requestor;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(answered);
    EXPECT_EQ(reply.xselection.property, utf8) << "answered under the target's name";
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    ASSERT_EQ(X11.XGetWindowProperty(peer_, requestor, utf8, 0, 1024, False, utf8, &type, &format,
                                     &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), count), "old style");
    X11.XFree(data);
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

    ASSERT_TRUE(RunCommand("xset s 1 1 s noblank").has_value());
    JEX_DisableScreenSaver();
    const int inhibitor = X11_ScreenSaverInhibitorPid();
    PumpFor(2500);
    EXPECT_NE(saver_state(), ScreenSaverOn) << "suspended, the saver never starts";

    // The desktop inhibitor (absent here, so its child exits at once) is
    // reaped rather than left a zombie.
    if (inhibitor > 0) {
        EXPECT_EQ(X11_ScreenSaverInhibitorPid(), 0);
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

}  // namespace
