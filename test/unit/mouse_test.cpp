// Mouse: motion, relative mode, buttons, wheel, warping, cursors and their lifetime.
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <tuple>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

std::tuple<int, int> Position()
{
    int x = -1, y = -1;
    JEX_GetMouseState(&x, &y);
    return {x, y};
}

class MouseTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    JEX_Window *a = nullptr;
    JEX_Window *b = nullptr;
    const Uint8 one[1] = {0x80};
    void Start(bool with_default = true)
    {
        drv.install_mouse = true;
        drv.install_default_cursor = with_default;
        ASSERT_EQ(drv.Start(), 0);
        a = JEX_CreateWindow("a", 0, 0, 640, 480, JEX_WINDOW_HIDDEN);
        b = JEX_CreateWindow("b", 0, 0, 320, 200, JEX_WINDOW_HIDDEN);
        ASSERT_TRUE(a && b);
        // The mouse outlives video restarts: bring it to rest at 0,0.
        JEX_SetMouseFocus(nullptr);
        for (Uint8 button = 1; button <= JEX_MOUSE_MAX_BUTTON; ++button)
            JEX_SendMouseButton(nullptr, JEX_RELEASED, button);
        JEX_SendMouseMotion(nullptr, 0, 0, 0);
        JEX_GetRelativeMouseState(nullptr, nullptr);
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
        drv.Take();
    }
    void SetUp() override { Start(); }
    void TearDown() override { JEX_VideoQuit(); }
    void Restart(std::initializer_list<const char *> omit, bool with_default)
    {
        JEX_VideoQuit();
        drv.Omit(omit);
        Start(with_default);
    }
};

TEST_F(MouseTest, MotionIsClampedToTheFocusWindowAndAccumulated)
{
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 100, 50), 1);
    EXPECT_EQ(JEX_SendMouseMotion(a, 0, 100, 50), 0) << "no motion";
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 700, -5), 1);
    EXPECT_EQ(Position(), std::tuple(639, 0));
    ASSERT_EQ(JEX_SendMouseMotion(a, 1, -3, 4), 1) << "relative reports start from the clamp";
    EXPECT_EQ(Position(), std::tuple(636, 4));
    using Motion = std::tuple<Uint32, int, int, int, int>;
    std::vector<Motion> seen;
    for (const JEX_Event &e : TakeAll(JEX_MOUSEMOTION, JEX_MOUSEMOTION))
        seen.emplace_back(e.motion.window_id, e.motion.x, e.motion.y, e.motion.rel_x,
                          e.motion.rel_y);
    // The relative part is the unclamped difference.
    EXPECT_EQ(seen,
              (std::vector<Motion>{
                  {a->id, 100, 50, 100, 50}, {a->id, 639, 0, 600, -55}, {a->id, 636, 4, -3, 4}}));
    int dx = -1, dy = -1;
    JEX_GetRelativeMouseState(&dx, &dy);
    EXPECT_EQ(std::tuple(dx, dy), std::tuple(697, -1));
    JEX_GetRelativeMouseState(&dx, &dy);
    EXPECT_EQ(std::tuple(dx, dy), std::tuple(0, 0)) << "read once";
    // A disabled type still moves the pointer.
    JEX_EventState(JEX_MOUSEMOTION, JEX_DISABLE);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 0, 10, 10), 0);
    JEX_EventState(JEX_MOUSEMOTION, JEX_ENABLE);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 1, 1, 1), 1);
    EXPECT_EQ(Position(), std::tuple(11, 11));
    // Without a focus window the pointer rests at the origin.
    JEX_SetMouseFocus(nullptr);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 0, 300, 300), 1);
    EXPECT_EQ(Position(), std::tuple(0, 0));
    // Extreme reports saturate instead of overflowing.
    EXPECT_EQ(JEX_SendMouseMotion(b, 0, INT_MIN, INT_MAX), 1);
    EXPECT_EQ(JEX_SendMouseMotion(b, 1, INT_MAX, INT_MIN), 1);
    EXPECT_EQ(Position(), std::tuple(319, 0));
}

TEST_F(MouseTest, RelativeModeAndWarping)
{
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 200, 200), 1);
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    EXPECT_EQ(JEX_GetRelativeMouseMode(), JEX_TRUE);
    EXPECT_EQ(drv.shown_cursor, -1);
    EXPECT_EQ(CountQueued(JEX_MOUSEMOTION), 0) << "motion of the old mode is dropped";
    // Absolute reports still count as the difference from the last one.
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 210, 190), 1);
    ASSERT_EQ(JEX_SendMouseMotion(a, 1, 5, 5), 1);
    EXPECT_EQ(Position(), std::tuple(215, 195));
    drv.Take();
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    EXPECT_TRUE(drv.Take().empty()) << "no change, no driver call";
    // Leaving puts the system pointer where the application's pointer is.
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetRelativeMouseMode(0)", "WarpMouse(1,215,195)"}));
    EXPECT_EQ(drv.shown_cursor, 0);
    // ... unless there is no focus window: the driver never gets null.
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    JEX_SetMouseFocus(nullptr);
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetRelativeMouseMode(1)", "SetRelativeMouseMode(0)"}));
    drv.failing.insert("SetRelativeMouseMode");
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);
    EXPECT_EQ(JEX_GetRelativeMouseMode(), JEX_FALSE) << "a refusal keeps the mode";
    // Warping needs a live window.
    drv.Take();
    JEX_WarpMouseInWindow(a, 3, 4);
    JEX_WarpMouseInWindow(nullptr, 1, 1);  // no focus: nowhere to go
    JEX_SetMouseFocus(b);
    JEX_WarpMouseInWindow(nullptr, 9, 9);  // the focus window
    JEX_Window stranger{};
    JEX_WarpMouseInWindow(&stranger, 2, 2);
    EXPECT_EQ(drv.Take(), (Log{"WarpMouse(1,3,4)", "WarpMouse(2,9,9)"}));
    // Without warp or relative mode: made-up motion, and an error.
    Restart({"WarpMouse", "SetRelativeMouseMode"}, true);
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);
    EXPECT_STREQ(JEX_GetError(), "That operation is not supported");
    JEX_WarpMouseInWindow(a, 30, 40);
    JEX_WarpMouseInWindow(nullptr, 31, 41);
    JEX_WarpMouseInWindow(&stranger, 50, 50);
    const auto motion = TakeAll(JEX_MOUSEMOTION, JEX_MOUSEMOTION);
    ASSERT_EQ(motion.size(), 2u);
    EXPECT_EQ(std::tuple(motion[0].motion.window_id, motion[1].motion.x, motion[1].motion.rel_y),
              std::tuple(a->id, 31, 1));
}

TEST_F(MouseTest, ButtonsKeepAMaskAndTheWheelMovesNothing)
{
    JEX_SetMouseFocus(a);
    JEX_SendMouseMotion(nullptr, 0, 7, 8);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_LEFT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_LEFT), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_RIGHT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 8), 1);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x85);
    EXPECT_EQ(JEX_GetRelativeMouseState(nullptr, nullptr), 0x85);
    JEX_SendMouseMotion(nullptr, 1, 1, 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_LEFT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_LEFT), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_MIDDLE), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, 2, JEX_BUTTON_MIDDLE), 0) << "no such state";
    // No button 0; past the mask press/release once each; past 32 nothing kept.
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 0), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 9), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 9), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, 9), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 200), 0);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x84);
    // The wheel: the focus step comes first, the pointer stays.
    EXPECT_EQ(JEX_SendMouseWheel(b, 0, 0), 0);
    EXPECT_EQ(JEX_GetMouseFocus(), b);
    EXPECT_EQ(JEX_SendMouseWheel(nullptr, 0, -1), 1);
    EXPECT_EQ(Position(), std::tuple(8, 8));
    Log seen;
    for (const JEX_Event &e : TakeAll()) {
        auto n = [](int v) { return std::to_string(v); };
        const JEX_MouseButtonEvent &b = e.button;
        seen.push_back(e.type == JEX_MOUSEBUTTONDOWN || e.type == JEX_MOUSEBUTTONUP
                           ? (e.type == JEX_MOUSEBUTTONUP ? "up " : "down ") + n(b.button) +
                                 " at " + n(b.x) + "," + n(b.y) + " in " + n(b.window_id)
                       : e.type == JEX_MOUSEMOTION
                           ? "motion " + n(e.motion.state) + " in " + n(e.motion.window_id)
                       : e.type == JEX_MOUSEWHEEL
                           ? "wheel " + n(e.wheel.y) + " in " + n(e.wheel.window_id)
                           : "window " + n(e.window.event) + " in " + n(e.window.window_id));
    }
    EXPECT_EQ(seen, (Log{"down 1 at 7,8 in 1", "down 3 at 7,8 in 1", "down 8 at 7,8 in 1",
                         "motion 133 in 1", "up 1 at 8,8 in 1", "down 9 at 8,8 in 1",
                         "up 9 at 8,8 in 1", "window 11 in 1", "window 10 in 2", "wheel -1 in 2"}));
}

TEST_F(MouseTest, CursorsFromBitsAndSurfaces)
{
    // Width 5 rounds to 8: a byte per row, MSB first; row 0 walks all four pairs.
    const Uint8 data[] = {0x50, 0xAF, 0xFF, 0x00, 0x00, 0x01};
    const Uint8 mask[] = {0x30, 0xCF, 0xFF, 0xFF, 0x00, 0x01};
    const Uint32 T = 0x00000000, W = 0xFFFFFFFF, B = 0xFF000000;
    JEX_Cursor *narrow = JEX_CreateCursor(data, mask, 5, 2, 4, 1);
    ASSERT_NE(narrow, nullptr) << JEX_GetError();
    EXPECT_EQ(drv.Take(), (Log{"CreateCursor(8x2,4,1)"}));
    EXPECT_EQ(TestVideoDriver::CursorData(narrow)->pixels,
              (std::vector<Uint32>{T, B, W, B, T, T, T, T, B, W, B, T, B, B, B, B}));
    // Sixteen wide reads two bytes per row.
    JEX_Cursor *wide = JEX_CreateCursor(data + 2, mask + 2, 16, 2, 0, 0);
    ASSERT_NE(wide, nullptr);
    std::vector<Uint32> expect(32, T);
    std::fill_n(expect.begin(), 8, B);
    std::fill_n(expect.begin() + 8, 8, W);
    expect[31] = B;
    EXPECT_EQ(TestVideoDriver::CursorData(wide)->pixels, expect);
    EXPECT_EQ(JEX_CreateCursor(data, mask, 16, 2, 16, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Cursor hot spot doesn't lie within cursor");
    EXPECT_EQ(JEX_CreateCursor(data, mask, 16, 2, 0, -1), nullptr);
    EXPECT_EQ(JEX_CreateCursor(nullptr, mask, 16, 2, 0, 0), nullptr);
    EXPECT_EQ(JEX_CreateCursor(data, mask, 0, 2, 0, 0), nullptr);
    EXPECT_EQ(JEX_CreateCursor(data, mask, INT_MAX, 1, 0, 0), nullptr);
    EXPECT_EQ(JEX_CreateColorCursor(nullptr, 0, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Passed NULL cursor surface");
    // Another format reaches the driver as ARGB8888.
    JEX_Surface *rgb = JEX_CreateRGBSurface(0, 3, 2, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    ASSERT_NE(rgb, nullptr);
    static_cast<Uint32 *>(rgb->pixels)[0] = 0x123456;
    JEX_Cursor *colour = JEX_CreateColorCursor(rgb, 2, 1);
    ASSERT_NE(colour, nullptr) << JEX_GetError();
    const auto *made = TestVideoDriver::CursorData(colour);
    EXPECT_EQ(std::tuple(made->w, made->h, made->hot_x, made->hot_y, made->pixels[0]),
              std::tuple(3, 2, 2, 1, 0xFF123456u));
    EXPECT_EQ(JEX_CreateColorCursor(rgb, 3, 0), nullptr);
    EXPECT_EQ(JEX_CreateColorCursor(rgb, 0, 2), nullptr);
    JEX_FreeSurface(rgb);
    drv.failing.insert("CreateCursor");
    EXPECT_EQ(JEX_CreateCursor(one, one, 1, 1, 0, 0), nullptr);
    EXPECT_EQ(drv.cursors_alive, 4) << "three made and the default";
    Restart({"CreateCursor"}, false);
    EXPECT_EQ(JEX_CreateCursor(one, one, 1, 1, 0, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Cursors are not currently supported");
}

TEST_F(MouseTest, CurrentAndDefaultCursorLifecycle)
{
    JEX_Cursor *def = JEX_GetCursor();
    ASSERT_NE(def, nullptr) << "the default cursor is current from the start";
    JEX_Cursor *c1 = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    JEX_Cursor *c2 = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    ASSERT_TRUE(c1 && c2);
    JEX_SetCursor(c1);
    EXPECT_EQ(drv.shown_cursor, 1);
    JEX_Cursor foreign{nullptr, nullptr};
    JEX_SetCursor(&foreign);
    EXPECT_STREQ(JEX_GetError(), "Cursor not associated with the current mouse");
    EXPECT_EQ(JEX_GetCursor(), c1);
    // Hidden stays hidden whatever is selected.
    EXPECT_EQ(JEX_ShowCursor(0), 1);
    EXPECT_EQ(drv.shown_cursor, -1);
    EXPECT_EQ(JEX_ShowCursor(-1), 0);
    JEX_SetCursor(c2);
    EXPECT_EQ(drv.shown_cursor, -1);
    EXPECT_EQ(JEX_ShowCursor(5), 0);
    EXPECT_EQ(drv.shown_cursor, 2);
    // Freeing the current cursor selects the default; default/unknown ones stay.
    drv.Take();
    JEX_FreeCursor(c2);
    EXPECT_EQ(JEX_GetCursor(), def);
    EXPECT_EQ(drv.shown_cursor, 0);
    JEX_FreeCursor(def);
    JEX_FreeCursor(&foreign);
    JEX_FreeCursor(nullptr);
    EXPECT_EQ(drv.Take(), (Log{"FreeCursor(2)"}));
    // Video shut-down frees the rest through the driver, before it stops.
    JEX_SetMouseFocus(a);
    JEX_VideoQuit();
    EXPECT_EQ(drv.cursors_alive, 0);
    const Log log = drv.Take();
    EXPECT_EQ(log.back(), "VideoQuit()");
    EXPECT_EQ(std::count(log.begin(), log.end(), "FreeCursor(1)"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "FreeCursor(0)"), 1);
    EXPECT_EQ(std::tuple(JEX_GetCursor(), JEX_GetMouseFocus()), std::tuple(nullptr, nullptr));
    drv.shown_cursor = -2;
    JEX_ShowCursor(1);
    JEX_SetCursor(nullptr);
    JEX_WarpMouseInWindow(nullptr, 1, 1);
    EXPECT_EQ(drv.shown_cursor, -2);
    EXPECT_TRUE(drv.Take().empty()) << "nothing reaches a stopped driver";
    // Without a default, freeing the current cursor hides the pointer.
    Start(false);
    JEX_Cursor *c = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    JEX_SetCursor(c);
    JEX_FreeCursor(c);
    EXPECT_EQ(std::tuple(JEX_GetCursor(), drv.shown_cursor), std::tuple(nullptr, -1));
    JEX_SetCursor(nullptr);
    EXPECT_EQ(drv.cursors_alive, 0);
}
}  // namespace
