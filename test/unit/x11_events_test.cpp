// X11 event translation, clipboard and screen saver on a private Xvfb, with
// xdotool typing and clicking, xclip on the other end of the clipboard and a
// second connection where a misbehaving peer is needed.
#include "x11_test_util.h"

#include "JEX_keyboard.h"
#include "JEX_mouse.h"
#include "video/x11/x11_events.h"

#include <X11/extensions/scrnsaver.h>
#include <dlfcn.h>
#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

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

TEST_F(X11EventsTest, TypedKeysArriveWithScancodesModifiersAndText)
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
}

TEST_F(X11EventsTest, HeldKeyRepeatsAsPressesWithOneRelease)
{
    ASSERT_NE(FocusedWindow(), nullptr);
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

}  // namespace
