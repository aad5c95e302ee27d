// Harness event logger and hot keys on the scripted video driver.
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <unistd.h>
#include <sstream>
#include <tuple>
#include "common.h"

using namespace jextest;

namespace {

char kProgram[] = "prog";
char *kArgv[] = {kProgram, nullptr};

struct StateFree {
    void operator()(CommonState *s) const { std::free(s); }
};

JEX_Event Key(Uint32 type, Uint32 window, Sint32 keycode, Uint16 mods = 0, Uint32 scancode = 0)
{
    JEX_Event e{};
    e.key.type = type;
    e.key.window_id = window;
    e.key.state = type == JEX_KEYDOWN ? JEX_PRESSED : JEX_RELEASED;
    e.key.keyinfo.scancode = scancode;
    e.key.keyinfo.keycode = keycode;
    e.key.keyinfo.modifiers = mods;
    return e;
}

JEX_Event WindowEvent(Uint32 window, int code, int p1 = 0, int p2 = 0)
{
    JEX_Event e{};
    e.window.type = JEX_WINDOWEVENT;
    e.window.window_id = window;
    e.window.event = Uint8(code);
    e.window.param1 = p1;
    e.window.param2 = p2;
    return e;
}

TEST(CommonEventLog, OneLinePerEventWithTheFieldsInOrder)
{
    std::unique_ptr<CommonState, StateFree> state(CommonCreateState(kArgv, JEX_INIT_VIDEO));
    ASSERT_TRUE(state);
    state->info_flags = INFO_EVENT;
    std::vector<std::pair<JEX_Event, std::string>> cases;
    auto add = [&](const JEX_Event &e, std::string line) { cases.emplace_back(e, line); };
    JEX_Event e{};
    e.type = JEX_QUIT;
    add(e, "Quit requested");  // key presses: checked end to end
    // Window event codes 0 to 15, then 255; 10 and 11 are told apart below.
    std::istringstream window_lines(
        "got unknown event 0|shown|hidden|exposed|moved to -5,7|resized to -5x7|got unknown "
        "event 6|minimized|maximized|restored|||gained keyboard focus|lost keyboard focus|closed|"
        "got unknown event 15|got unknown event 255");
    std::string text;
    for (int code = 0; std::getline(window_lines, text, '|'); ++code)
        add(WindowEvent(3, code == 16 ? 255 : code, -5, 7), code == 10   ? "Mouse entered window 3"
                                                            : code == 11 ? "Mouse left window 3"
                                                                         : "Window 3 " + text);
    add(Key(JEX_KEYUP, 2, 0x400000E0, 0, 224),
        "Keyboard: key released in window 2: scancode 0x000000E0 = Left Ctrl, "
        "keycode 0x400000E0 = Left Ctrl");
    e.text = {JEX_TEXTINPUT, 4, "h\xC3\xA9"};
    add(e, "Keyboard: text input \"h\xC3\xA9\" in window 4");
    e.motion = {JEX_MOUSEMOTION, 1, 0, 10, 20, -1, 2};
    add(e, "Mouse: moved to 10,20 (-1,2) in window 1");
    e.button = {JEX_MOUSEBUTTONDOWN, 1, 3, JEX_PRESSED, 4, 5};
    add(e, "Mouse: button 3 pressed at 4,5 in window 1");
    e.button.type = JEX_MOUSEBUTTONUP;
    add(e, "Mouse: button 3 released at 4,5 in window 1");
    e.wheel = {.type = JEX_MOUSEWHEEL, .window_id = 1, .x = 0, .y = -1};
    add(e, "Mouse: wheel scrolled 0 in x and -1 in y in window 1");
    e.jball = {.type = JEX_JOYBALLMOTION, .which = 1, .ball = 2, .rel_x = -3, .rel_y = 4};
    add(e, "Joystick 1: ball 2 moved by -3,4");
    // Hat values 0 to 15 (5, 7, 10, 11, 13, 14, 15 are no direction).
    std::istringstream hats("CENTER UP RIGHT RIGHTUP DOWN UNKNOWN RIGHTDOWN UNKNOWN LEFT LEFTUP "
                            "UNKNOWN UNKNOWN LEFTDOWN UNKNOWN UNKNOWN UNKNOWN");
    for (Uint8 value = 0; hats >> text; ++value) {
        e.jhat = {.type = JEX_JOYHATMOTION, .which = 0, .hat = 1, .value = value};
        add(e, "Joystick 0: hat 1 moved to " + text);
    }
    e.jbutton = {.type = JEX_JOYBUTTONDOWN, .which = 2, .button = 7, .state = 1};
    add(e, "Joystick 2: button 7 pressed");
    e.jbutton.type = JEX_JOYBUTTONUP;
    add(e, "Joystick 2: button 7 released");
    e.type = JEX_CLIPBOARDUPDATE;
    add(e, "Clipboard updated");
    e.user = {JEX_USEREVENT, 0, -42, nullptr, nullptr};
    add(e, "User event -42");
    for (Uint32 type : {0x8001u, 0x600u, 0x302u, 0x700u, 0x802u, 0x201u, 0xFFFFu}) {
        e.type = type;
        add(e, "Unknown event " + std::to_string(type));
    }
    for (auto &[event, line] : cases) {
        int done = 0;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        CommonEvent(state.get(), &event, &done);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "JEX EVENT: " + line + "\n");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << line;
        EXPECT_EQ(done, event.type == JEX_QUIT ? 1 : 0) << line;
    }
    // Without INFO_EVENT nothing is printed.
    state->info_flags = INFO_VIDEO | INFO_MODES | INFO_RENDER;
    testing::internal::CaptureStderr();
    for (auto &c : cases) {
        int done = 0;
        CommonEvent(state.get(), &c.first, &done);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

class CommonHotKeys : public ::testing::Test {
protected:
    TestVideoDriver drv;
    CommonState *state = nullptr;
    JEX_Window *w[3] = {};
    int done = 0;
    void SetUp() override
    {
        drv.displays[0].modes = {Mode(1024, 768), Mode(640, 480)};
        ASSERT_EQ(drv.Start(), 0);
        state = CommonCreateState(kArgv, JEX_INIT_VIDEO);
        ASSERT_TRUE(state);
        state->num_windows = 3;
        state->windows = static_cast<JEX_Window **>(std::calloc(3, sizeof(JEX_Window *)));
        state->renderers = static_cast<JEX_Renderer **>(std::calloc(3, sizeof(JEX_Renderer *)));
        for (int i = 0; i < 3; ++i) {
            w[i] = state->windows[i] = JEX_CreateWindow("w", 0, 0, 320, 200, 0);
            ASSERT_TRUE(w[i]);
        }
        // Window 1 shows a renderer drawing into a surface of its own.
        target = JEX_CreateRGBSurface(0, 32, 16, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        state->renderers[1] = JEX_CreateSoftwareRenderer(target);
        ASSERT_TRUE(state->renderers[1]);
    }
    void TearDown() override
    {
        CommonQuit(state);  // destroys the renderers, frees the arrays and stops video
        JEX_VideoQuit();
        JEX_FreeSurface(target);
    }
    JEX_Surface *target = nullptr;
    void Send(JEX_Event e) { CommonEvent(state, &e, &done); }
    Uint32 Id(int i) { return JEX_GetWindowID(w[i]); }
};

TEST_F(CommonHotKeys, ClosingAWindowQuitAndEscape)
{
    const Uint32 id = Id(1);
    JEX_Renderer *stand_in = state->renderers[1];  // not the window's own: freed here
    Send(WindowEvent(id, JEX_WINDOWEVENT_CLOSE));
    JEX_DestroyRenderer(stand_in);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(JEX_GetWindowFromID(id), nullptr) << "destroyed";
    EXPECT_EQ(state->windows[1], nullptr);
    EXPECT_EQ(state->renderers[1], nullptr);
    // A second close for the same window and one for an unknown id change nothing.
    Send(WindowEvent(id, JEX_WINDOWEVENT_CLOSE));
    Send(WindowEvent(999, JEX_WINDOWEVENT_CLOSE));
    EXPECT_EQ(std::tuple(state->windows[0], state->windows[2], done), std::tuple(w[0], w[2], 0));
    JEX_Event quit{};
    quit.type = JEX_QUIT;
    Send(quit);
    EXPECT_EQ(done, 1);
    // Escape ends the run on a press, with any modifiers.
    done = 0;
    Send(Key(JEX_KEYUP, Id(0), 27));
    EXPECT_EQ(done, 0);
    Send(Key(JEX_KEYDOWN, 999, 27, JEX_KEYMOD_LSHIFT | JEX_KEYMOD_LCTRL));
    EXPECT_EQ(done, 1) << "no window needed";
}

TEST_F(CommonHotKeys, ControlKeysActOnTheEventsWindow)
{
    auto flags = [&](int i) { return JEX_GetWindowFlags(w[i]); };
    auto call = [&](const char *name, int i) {
        return std::vector<std::string>{name + ("(" + std::to_string(Id(i)) + ")")};
    };
    Send(Key(JEX_KEYDOWN, Id(0), 13, JEX_KEYMOD_LCTRL));
    EXPECT_TRUE(flags(0) & JEX_WINDOW_FULLSCREEN);
    EXPECT_FALSE(flags(1) & JEX_WINDOW_FULLSCREEN);
    Send(Key(JEX_KEYUP, Id(0), 13, JEX_KEYMOD_LCTRL));
    EXPECT_TRUE(flags(0) & JEX_WINDOW_FULLSCREEN) << "releases never act";
    Send(Key(JEX_KEYDOWN, Id(0), 13, JEX_KEYMOD_RCTRL));
    EXPECT_FALSE(flags(0) & JEX_WINDOW_FULLSCREEN);
    // Maximised/minimised states come from the window system: check the requests.
    drv.Take();
    Send(Key(JEX_KEYDOWN, Id(2), 'm'));
    EXPECT_EQ(drv.Take(), std::vector<std::string>{}) << "no Control";
    Send(Key(JEX_KEYDOWN, Id(2), 'm', JEX_KEYMOD_RCTRL));
    EXPECT_EQ(drv.Take(), call("MaximizeWindow", 2));
    JEX_SendWindowEvent(w[2], JEX_WINDOWEVENT_MAXIMIZED, 0, 0);
    Send(Key(JEX_KEYDOWN, Id(2), 'm', JEX_KEYMOD_LCTRL));
    EXPECT_EQ(drv.Take(), call("RestoreWindow", 2));
    Send(Key(JEX_KEYDOWN, Id(2), 'z', JEX_KEYMOD_LCTRL));
    EXPECT_EQ(drv.Take(), call("MinimizeWindow", 2));
    Send(Key(JEX_KEYDOWN, Id(1), 'g', JEX_KEYMOD_LCTRL));
    EXPECT_TRUE(JEX_GetWindowGrab(w[1]));
    Send(Key(JEX_KEYDOWN, Id(1), 'g', JEX_KEYMOD_LCTRL));
    EXPECT_FALSE(JEX_GetWindowGrab(w[1]));
    // A key for a window that is gone does nothing.
    Send(Key(JEX_KEYDOWN, 999, 'm', JEX_KEYMOD_LCTRL));
    Send(Key(JEX_KEYDOWN, 999, 13, JEX_KEYMOD_LCTRL));
    EXPECT_EQ(done, 0);
}

// Copy and paste themselves are checked end to end with xclip.
TEST_F(CommonHotKeys, HotKeysWithNothingToActOn)
{
    testing::internal::CaptureStdout();
    Send(Key(JEX_KEYDOWN, Id(0), 'v', JEX_KEYMOD_LCTRL));
    Send(Key(JEX_KEYDOWN, Id(0), 'c'));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Clipboard is empty\n");
    EXPECT_FALSE(JEX_HasClipboardText());
    // Print Screen without a renderer saves nothing.
    std::remove("screenshot.bmp");
    testing::internal::CaptureStderr();
    Send(Key(JEX_KEYDOWN, Id(0), 0x40000046));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(access("screenshot.bmp", F_OK), 0);
}

// The saved file holds the renderer's pixels; a failed read is reported and
// saves nothing (the surface is freed once either way, under ASan).
TEST_F(CommonHotKeys, PrintScreenSavesTheRendererPixels)
{
    std::remove("screenshot.bmp");
    JEX_Renderer *r = state->renderers[1];
    JEX_SetRenderDrawColor(r, 10, 20, 30, 255);
    JEX_RenderClear(r);
    const JEX_Rect box = {4, 2, 3, 5};
    JEX_SetRenderDrawColor(r, 200, 150, 100, 255);
    JEX_RenderFillRect(r, &box);
    Send(Key(JEX_KEYDOWN, Id(1), 0x40000046));
    JEX_Surface *file = JEX_LoadBMP("screenshot.bmp");
    ASSERT_TRUE(file) << JEX_GetError();
    JEX_Surface *shot = JEX_ConvertSurfaceFormat(file, JEX_PIXELFORMAT_RGB888, 0);
    JEX_FreeSurface(file);
    ASSERT_TRUE(shot);
    ASSERT_EQ(std::tuple(shot->w, shot->h), std::tuple(32, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const Uint32 pixel = static_cast<Uint32 *>(shot->pixels)[y * shot->pitch / 4 + x];
            const bool in = x >= 4 && x < 7 && y >= 2 && y < 7;
            ASSERT_EQ(pixel & 0xFFFFFF, in ? 0xC89664u : 0x0A141Eu) << x << "," << y;
        }
    JEX_FreeSurface(shot);
    std::remove("screenshot.bmp");

    const JEX_Rect beyond = {20, 10, 32, 16};
    JEX_RenderSetViewport(r, &beyond);
    testing::internal::CaptureStderr();
    Send(Key(JEX_KEYDOWN, Id(1), 0x40000046));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Couldn't read screen: Tried to read outside of surface bounds\n");
    EXPECT_NE(access("screenshot.bmp", F_OK), 0);
}

}  // namespace
