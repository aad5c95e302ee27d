// Mouse: motion bookkeeping with clamping and relative mode, buttons and
// their masks, the wheel, warping, relative mode switches, cursors from
// bits and from colour surfaces, the current and default cursor, and what
// video shut-down leaves behind.
#include "test_video_driver.h"

#include "events/mouse_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

std::vector<JEX_Event> TakeAll(Uint32 first = JEX_FIRSTEVENT, Uint32 last = JEX_LASTEVENT)
{
    std::vector<JEX_Event> out;
    JEX_Event e;
    while (JEX_PeepEvents(&e, 1, JEX_GETEVENT, first, last) == 1)
        out.push_back(e);
    return out;
}

std::vector<JEX_MouseMotionEvent> TakeMotion()
{
    std::vector<JEX_MouseMotionEvent> out;
    for (const JEX_Event &e : TakeAll(JEX_MOUSEMOTION, JEX_MOUSEMOTION))
        out.push_back(e.motion);
    return out;
}

class MouseTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    JEX_Window *a = nullptr;
    JEX_Window *b = nullptr;

    void Start(bool with_mouse, bool with_default)
    {
        drv.install_mouse = with_mouse;
        drv.install_default_cursor = with_default;
        ASSERT_EQ(drv.Start(), 0);
        a = JEX_CreateWindow("a", 0, 0, 640, 480, JEX_WINDOW_HIDDEN);
        b = JEX_CreateWindow("b", 0, 0, 320, 200, JEX_WINDOW_HIDDEN);
        ASSERT_TRUE(a && b);
        // The mouse record outlives video restarts: start from rest.
        JEX_Mouse *m = JEX_GetMouse();
        JEX_SetMouseFocus(nullptr);
        for (Uint8 button = 1; button <= JEX_MOUSE_MAX_BUTTON; ++button)
            JEX_SendMouseButton(nullptr, JEX_RELEASED, button);
        m->x = m->y = m->prev_x = m->prev_y = m->acc_x = m->acc_y = 0;
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
        drv.Take();
    }
    void SetUp() override { Start(true, true); }
    void TearDown() override { JEX_VideoQuit(); }

    static JEX_Mouse &M() { return *JEX_GetMouse(); }
};

TEST_F(MouseTest, MotionIsClampedToTheFocusWindowAndAccumulated)
{
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 100, 50), 1);
    EXPECT_EQ(JEX_SendMouseMotion(a, 0, 100, 50), 0) << "no motion";
    int dx = -1, dy = -1;
    JEX_GetRelativeMouseState(&dx, &dy);
    EXPECT_EQ(dx, 100);
    EXPECT_EQ(dy, 50);

    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 700, -5), 1);
    int x, y;
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 639);
    EXPECT_EQ(y, 0);
    // Relative reports move from the clamped position.
    ASSERT_EQ(JEX_SendMouseMotion(a, 1, -3, 4), 1);
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 636);
    EXPECT_EQ(y, 4);

    auto motion = TakeMotion();
    ASSERT_EQ(motion.size(), 3u);
    EXPECT_EQ(motion[0].window_id, a->id);
    EXPECT_EQ(motion[1].x, 639);
    EXPECT_EQ(motion[1].y, 0);
    EXPECT_EQ(motion[1].rel_x, 600) << "the unclamped difference";
    EXPECT_EQ(motion[1].rel_y, -55);
    EXPECT_EQ(motion[2].rel_x, -3);
    EXPECT_EQ(motion[2].rel_y, 4);

    JEX_GetRelativeMouseState(&dx, &dy);
    EXPECT_EQ(dx, 597);
    EXPECT_EQ(dy, -51);
    JEX_GetRelativeMouseState(&dx, &dy);
    EXPECT_EQ(dx, 0) << "read once";
    EXPECT_EQ(dy, 0);
    JEX_GetRelativeMouseState(nullptr, nullptr);

    // A disabled type still moves the pointer.
    JEX_EventState(JEX_MOUSEMOTION, JEX_DISABLE);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 0, 10, 10), 0);
    JEX_EventState(JEX_MOUSEMOTION, JEX_ENABLE);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 1, 1, 1), 1);
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 11);

    // Without a focus window the pointer rests at the origin.
    JEX_SetMouseFocus(nullptr);
    EXPECT_EQ(JEX_SendMouseMotion(nullptr, 0, 300, 300), 1);
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    // Extreme reports saturate instead of overflowing.
    EXPECT_EQ(JEX_SendMouseMotion(b, 0, INT_MIN, INT_MAX), 1);
    EXPECT_EQ(JEX_SendMouseMotion(b, 1, INT_MAX, INT_MIN), 1);
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 319);
    EXPECT_EQ(y, 0);
}

TEST_F(MouseTest, RelativeModeAddsMotionToThePosition)
{
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 200, 200), 1);
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    EXPECT_EQ(JEX_GetRelativeMouseMode(), JEX_TRUE);
    EXPECT_EQ(drv.Take(), (Log{"SetRelativeMouseMode(1)", "ShowCursor(none)"}))
        << "the pointer is hidden in relative mode";
    EXPECT_EQ(CountQueued(JEX_MOUSEMOTION), 0) << "motion of the old mode is dropped";

    // Absolute reports still count as the difference from the last one.
    ASSERT_EQ(JEX_SendMouseMotion(a, 0, 210, 190), 1);
    ASSERT_EQ(JEX_SendMouseMotion(a, 1, 5, 5), 1);
    int x, y;
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 215);
    EXPECT_EQ(y, 195);
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    EXPECT_TRUE(drv.Take().empty()) << "no change, no driver call";

    // Leaving warps the system pointer to the application's pointer and
    // shows the cursor again.
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(),
              (Log{"SetRelativeMouseMode(0)", "WarpMouse(" + std::to_string(a->id) + ",215,195)",
                   "ShowCursor(0)"}));

    // Leaving with no focus window hands the driver no null window.
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), 0);
    JEX_SetMouseFocus(nullptr);
    drv.Take();
    ASSERT_EQ(JEX_SetRelativeMouseMode(JEX_FALSE), 0);
    EXPECT_EQ(drv.Take(), (Log{"SetRelativeMouseMode(0)", "ShowCursor(0)"}));

    // A failing driver leaves the mode as it was.
    drv.failing.insert("SetRelativeMouseMode");
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);
    EXPECT_EQ(JEX_GetRelativeMouseMode(), JEX_FALSE);
    drv.failing.clear();
}

TEST_F(MouseTest, ButtonsKeepAMaskAndRejectButtonZero)
{
    JEX_SetMouseFocus(a);
    JEX_SendMouseMotion(nullptr, 0, 7, 8);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_LEFT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_LEFT), 0);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), JEX_BUTTON_LMASK);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, JEX_BUTTON_RIGHT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 8), 1);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x85);
    EXPECT_EQ(JEX_GetRelativeMouseState(nullptr, nullptr), 0x85);
    JEX_SendMouseMotion(nullptr, 1, 1, 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_LEFT), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_LEFT), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, JEX_BUTTON_MIDDLE), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, 2, JEX_BUTTON_MIDDLE), 0);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x84);

    // Button 0 does not exist: it changes nothing and posts nothing.
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 0), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, 0), 0);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x84);

    // Buttons past the mask report both press and release, once each.
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 9), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 9), 0);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_RELEASED, 9), 1);
    EXPECT_EQ(JEX_SendMouseButton(nullptr, JEX_PRESSED, 200), 0);
    EXPECT_EQ(JEX_GetMouseState(nullptr, nullptr), 0x84);

    const auto events = TakeAll();
    std::vector<std::string> seen;
    for (const JEX_Event &e : events) {
        if (e.type == JEX_MOUSEMOTION) {
            seen.push_back("motion state " + std::to_string(e.motion.state));
        } else {
            EXPECT_EQ(e.button.window_id, a->id);
            seen.push_back(std::string(e.type == JEX_MOUSEBUTTONDOWN ? "down " : "up ") +
                           std::to_string(e.button.button) + " at " + std::to_string(e.button.x) +
                           "," + std::to_string(e.button.y));
        }
    }
    EXPECT_EQ(seen, (Log{"down 1 at 7,8", "down 3 at 7,8", "down 8 at 7,8", "motion state 133",
                         "up 1 at 8,8", "down 9 at 8,8", "up 9 at 8,8"}));
}

TEST_F(MouseTest, FocusFollowsReportsAndTheWheelMovesNothing)
{
    JEX_SetMouseFocus(a);
    TakeAll();
    ASSERT_EQ(JEX_SendMouseMotion(b, 0, 5, 5), 1);
    auto events = TakeAll();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].window.event, JEX_WINDOWEVENT_LEAVE);
    EXPECT_EQ(events[0].window.window_id, a->id);
    EXPECT_EQ(events[1].window.event, JEX_WINDOWEVENT_ENTER);
    EXPECT_EQ(events[1].window.window_id, b->id);
    EXPECT_EQ(events[2].type, Uint32(JEX_MOUSEMOTION));
    EXPECT_EQ(events[2].motion.window_id, b->id);

    EXPECT_EQ(JEX_SendMouseWheel(a, 0, 0), 0);
    EXPECT_EQ(JEX_GetMouseFocus(), a) << "the focus step comes first";
    EXPECT_EQ(JEX_SendMouseWheel(nullptr, 0, -1), 1);
    EXPECT_EQ(JEX_SendMouseButton(b, 7, 1), 0);
    EXPECT_EQ(JEX_GetMouseFocus(), b);
    events = TakeAll(JEX_MOUSEWHEEL, JEX_MOUSEWHEEL);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].wheel.window_id, a->id);
    EXPECT_EQ(events[0].wheel.y, -1);
    int x, y;
    JEX_GetMouseState(&x, &y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
}

TEST_F(MouseTest, WarpingNeverHandsTheDriverANullWindow)
{
    JEX_WarpMouseInWindow(a, 3, 4);
    JEX_WarpMouseInWindow(nullptr, 1, 1);
    EXPECT_EQ(drv.Take(), (Log{"WarpMouse(" + std::to_string(a->id) + ",3,4)"}));
    // A null window means the focus window.
    JEX_SetMouseFocus(b);
    JEX_WarpMouseInWindow(nullptr, 9, 9);
    EXPECT_EQ(drv.Take(), (Log{"WarpMouse(" + std::to_string(b->id) + ",9,9)"}));
    // A record that is no window of the device is not handed on either.
    JEX_Window stranger{};
    JEX_WarpMouseInWindow(&stranger, 2, 2);
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(MouseTest, RelativeModeAndWarpingWithoutDriverSupport)
{
    JEX_VideoQuit();
    drv.Omit({"WarpMouse", "SetRelativeMouseMode"});
    Start(true, true);
    EXPECT_EQ(JEX_SetRelativeMouseMode(JEX_TRUE), -1);
    EXPECT_STREQ(JEX_GetError(), "That operation is not supported");
    EXPECT_EQ(JEX_GetRelativeMouseMode(), JEX_FALSE);
    // Without the driver's warp the motion is made up.
    JEX_WarpMouseInWindow(a, 30, 40);
    JEX_WarpMouseInWindow(nullptr, 31, 41);
    JEX_Window stranger{};
    JEX_WarpMouseInWindow(&stranger, 50, 50);
    EXPECT_EQ(JEX_GetMouseFocus(), a);
    const auto motion = TakeMotion();
    ASSERT_EQ(motion.size(), 2u);
    EXPECT_EQ(motion[0].window_id, a->id);
    EXPECT_EQ(motion[1].x, 31);
    EXPECT_EQ(motion[1].rel_y, 1);
}

TEST_F(MouseTest, CursorBitsDecodeMostSignificantBitFirst)
{
    // Width 5 rounds up to 8: one byte of each array per row. Row 0 walks
    // the four data/mask pairs; row 1 is the inverse.
    const Uint8 data[] = {0x50, 0xAF};  // 0101 0000, 1010 1111
    const Uint8 mask[] = {0x30, 0xCF};  // 0011 0000, 1100 1111
    JEX_Cursor *cursor = JEX_CreateCursor(data, mask, 5, 2, 4, 1);
    ASSERT_NE(cursor, nullptr) << JEX_GetError();
    EXPECT_EQ(drv.Take(), (Log{"CreateCursor(8x2,4,1)"}));
    const auto *made = TestVideoDriver::CursorData(cursor);
    const Uint32 T = 0x00000000, W = 0xFFFFFFFF, B = 0xFF000000;
    EXPECT_EQ(made->pixels, (std::vector<Uint32>{T, B, W, B, T, T, T, T,     // row 0
                                                 B, W, B, T, B, B, B, B}));  // row 1

    // Sixteen wide reads two bytes per row.
    const Uint8 data16[] = {0xFF, 0x00, 0x00, 0x01};
    const Uint8 mask16[] = {0xFF, 0xFF, 0x00, 0x01};
    JEX_Cursor *wide = JEX_CreateCursor(data16, mask16, 16, 2, 0, 0);
    ASSERT_NE(wide, nullptr);
    const auto &px = TestVideoDriver::CursorData(wide)->pixels;
    ASSERT_EQ(px.size(), 32u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(px[i], B) << i;
        EXPECT_EQ(px[8 + i], W) << i;
        EXPECT_EQ(px[16 + i], T) << i;
    }
    EXPECT_EQ(px[30], T);
    EXPECT_EQ(px[31], B);

    EXPECT_EQ(JEX_CreateCursor(data16, mask16, 16, 2, 16, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Cursor hot spot doesn't lie within cursor");
    EXPECT_EQ(JEX_CreateCursor(data16, mask16, 16, 2, 0, -1), nullptr);
    EXPECT_EQ(JEX_CreateCursor(nullptr, mask16, 16, 2, 0, 0), nullptr);
    EXPECT_EQ(JEX_CreateCursor(data16, mask16, 0, 2, 0, 0), nullptr);
    EXPECT_EQ(JEX_CreateCursor(data16, mask16, INT_MAX, 1, 0, 0), nullptr);
    EXPECT_EQ(drv.cursors_alive, 3) << "two made and the default";
}

TEST_F(MouseTest, ColourCursorsFromSurfaces)
{
    EXPECT_EQ(JEX_CreateColorCursor(nullptr, 0, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Passed NULL cursor surface");

    // Another format reaches the driver as ARGB8888.
    JEX_Surface *rgb = JEX_CreateRGBSurface(0, 3, 2, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    ASSERT_NE(rgb, nullptr);
    auto *p = static_cast<Uint32 *>(rgb->pixels);
    p[0] = 0x123456;
    p[1] = 0xFFFFFF;
    JEX_Cursor *cursor = JEX_CreateColorCursor(rgb, 2, 1);
    ASSERT_NE(cursor, nullptr) << JEX_GetError();
    const auto *made = TestVideoDriver::CursorData(cursor);
    EXPECT_EQ(made->w, 3);
    EXPECT_EQ(made->h, 2);
    EXPECT_EQ(made->hot_x, 2);
    EXPECT_EQ(made->hot_y, 1);
    EXPECT_EQ(made->pixels[0], 0xFF123456u);
    EXPECT_EQ(made->pixels[1], 0xFFFFFFFFu);
    EXPECT_EQ(JEX_CreateColorCursor(rgb, 3, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Cursor hot spot doesn't lie within cursor");
    EXPECT_EQ(JEX_CreateColorCursor(rgb, 0, 2), nullptr);
    JEX_FreeSurface(rgb);

    // A driver failure adds nothing to the list.
    const Uint8 one[] = {0x80};
    drv.failing.insert("CreateCursor");
    EXPECT_EQ(JEX_CreateCursor(one, one, 1, 1, 0, 0), nullptr);
    drv.failing.clear();
    EXPECT_EQ(drv.cursors_alive, 2);
    JEX_FreeCursor(cursor);
    EXPECT_EQ(drv.cursors_alive, 1);

    // Without driver support there are no cursors at all.
    JEX_VideoQuit();
    drv.Omit({"CreateCursor"});
    Start(true, false);
    EXPECT_EQ(JEX_CreateCursor(one, one, 1, 1, 0, 0), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Cursors are not currently supported");
}

TEST_F(MouseTest, CurrentAndDefaultCursorLifecycle)
{
    JEX_Cursor *def = JEX_GetCursor();
    ASSERT_NE(def, nullptr) << "the default cursor is current from the start";
    const Uint8 one[] = {0x80};
    JEX_Cursor *c1 = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    JEX_Cursor *c2 = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    ASSERT_TRUE(c1 && c2);
    drv.Take();

    JEX_SetCursor(c1);
    EXPECT_EQ(JEX_GetCursor(), c1);
    JEX_SetCursor(nullptr);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(1)", "ShowCursor(1)"})) << "null re-applies";

    JEX_Cursor foreign{nullptr, nullptr};
    JEX_SetCursor(&foreign);
    EXPECT_STREQ(JEX_GetError(), "Cursor not associated with the current mouse");
    EXPECT_EQ(JEX_GetCursor(), c1);
    EXPECT_TRUE(drv.Take().empty());

    // Hiding and showing.
    EXPECT_EQ(JEX_ShowCursor(0), 1);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(none)"}));
    EXPECT_EQ(JEX_ShowCursor(-1), 0);
    EXPECT_EQ(JEX_ShowCursor(0), 0);
    EXPECT_TRUE(drv.Take().empty());
    JEX_SetCursor(c2);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(none)"})) << "selected while hidden";
    EXPECT_EQ(JEX_ShowCursor(5), 0);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(2)"}));
    EXPECT_EQ(JEX_ShowCursor(-1), 1);

    // Freeing the current cursor falls back on the default; the default
    // and unknown cursors are left alone.
    JEX_FreeCursor(c2);
    EXPECT_EQ(JEX_GetCursor(), def);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(0)", "FreeCursor(2)"}));
    JEX_FreeCursor(def);
    JEX_FreeCursor(&foreign);
    JEX_FreeCursor(nullptr);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(drv.cursors_alive, 2);

    // Video shut-down frees the rest through the driver and forgets it.
    JEX_SetMouseFocus(a);
    JEX_VideoQuit();
    EXPECT_EQ(drv.cursors_alive, 0);
    const Log log = drv.Take();
    EXPECT_NE(std::find(log.begin(), log.end(), "FreeCursor(1)"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "FreeCursor(0)"), log.end());
    EXPECT_EQ(log.back(), "VideoQuit()") << "cursors go while the driver still runs";
    EXPECT_EQ(JEX_GetCursor(), nullptr);
    EXPECT_EQ(JEX_GetMouseFocus(), nullptr);
    EXPECT_EQ(M().CreateCursor, nullptr);
    EXPECT_EQ(M().ShowCursor, nullptr);
    EXPECT_EQ(M().FreeCursor, nullptr);
    EXPECT_EQ(M().WarpMouse, nullptr);
    EXPECT_EQ(M().SetRelativeMouseMode, nullptr);
    JEX_ShowCursor(1);
    JEX_SetCursor(nullptr);
    JEX_WarpMouseInWindow(nullptr, 1, 1);
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(MouseTest, FreeingTheCurrentCursorWithoutADefaultHidesThePointer)
{
    JEX_VideoQuit();
    Start(true, false);
    EXPECT_EQ(JEX_GetCursor(), nullptr);
    const Uint8 one[] = {0x80};
    JEX_Cursor *c = JEX_CreateCursor(one, one, 1, 1, 0, 0);
    ASSERT_NE(c, nullptr);
    JEX_SetCursor(c);
    drv.Take();
    JEX_FreeCursor(c);
    EXPECT_EQ(JEX_GetCursor(), nullptr);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(none)", "FreeCursor(1)"}));
    // Re-applying after the free touches nothing that is gone.
    JEX_SetCursor(nullptr);
    EXPECT_EQ(drv.Take(), (Log{"ShowCursor(none)"}));
    EXPECT_EQ(drv.cursors_alive, 0);
}

}  // namespace
