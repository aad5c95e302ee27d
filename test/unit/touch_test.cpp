// Touch devices: scaling of raw reports, finger lifetime and buttons (focus: window_test).
#include "events/touch_internal.h"
#include "JEX_gesture.h"
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <cmath>
#include <tuple>

using namespace jextest;

namespace {

using Finger = std::tuple<Uint32, JEX_FingerID, int, int, int, int, int>;

Finger Seen(const JEX_TouchFingerEvent &f)
{
    return {f.type, f.finger_id, f.x, f.y, f.delta_x, f.delta_y, f.pressure};
}

class TouchTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    void SetUp() override
    {
        ASSERT_EQ(drv.Start(), 0);
        // x from 10 onwards, one raw unit per span; y spans two raw units.
        JEX_Touch templ{};
        templ.x_lo = 10.0f;
        templ.native_x_res = templ.native_pressure_res = 1.0f;
        templ.native_y_res = 2.0f;
        templ.pressure_res = 100;
        templ.id = 7;
        ASSERT_EQ(JEX_AddTouch(&templ, "pad"), 0);
        templ.id = 8;
        ASSERT_EQ(JEX_AddTouch(&templ, "pen"), 1);
    }
    void TearDown() override { JEX_VideoQuit(); }
};

TEST_F(TouchTest, RawValuesAreOffsetByTheAxisMinimumAndClamped)
{
    ASSERT_EQ(JEX_SendFingerDown(7, 1, JEX_TRUE, 10.5f, 1.0f, 0.5f), 1);
    // Far beyond the range, NaN and negative pressure land on the field's ends.
    ASSERT_EQ(JEX_SendFingerDown(7, 2, JEX_TRUE, 1e9f, NAN, -3.0f), 1);
    // A relative step of -0.25 raw units, then an absolute x below the range keeps x.
    ASSERT_EQ(JEX_SendTouchMotion(7, 1, 1, 9.75f, 0.0f, 0.5f), 1);
    ASSERT_EQ(JEX_SendTouchMotion(7, 1, 0, 5.0f, 1.5f, 0.5f), 1);
    ASSERT_EQ(JEX_SendTouchMotion(7, 1, 0, 10.0f + NAN, 1.5f, 0.5f), 1) << "NaN is 0";
    ASSERT_EQ(JEX_SendFingerDown(7, 1, JEX_FALSE, 0, 0, 0), 1);
    std::vector<Finger> seen;
    for (const JEX_Event &e : TakeAll(JEX_FINGERDOWN, JEX_FINGERMOTION))
        seen.push_back(Seen(e.tfinger));
    EXPECT_EQ(seen, (std::vector<Finger>{{JEX_FINGERDOWN, 1, 16384, 16384, 0, 0, 50},
                                         {JEX_FINGERDOWN, 2, 65535, 0, 0, 0, 0},
                                         {JEX_FINGERMOTION, 1, 8192, 16384, -8192, 0, 50},
                                         {JEX_FINGERMOTION, 1, 8192, 24576, 0, 8192, 50},
                                         {JEX_FINGERMOTION, 1, 0, 24576, -8192, 0, 50},
                                         {JEX_FINGERUP, 1, 0, 24576, 0, 0, 0}}));
}

TEST_F(TouchTest, OnlyFingersReportedDownAreReportedUp)
{
    // Below the range the finger is known but not down; its up is not posted.
    EXPECT_EQ(JEX_SendFingerDown(7, 3, JEX_TRUE, 9.0f, 1.0f, 0), 0);
    EXPECT_EQ(JEX_SendFingerDown(7, 3, JEX_FALSE, 0, 0, 0), 0);
    EXPECT_EQ(JEX_GetFinger(JEX_GetTouch(7), 3), nullptr);
    EXPECT_TRUE(TakeAll().empty());
    // Motion of an unknown finger reports it down.
    EXPECT_EQ(JEX_SendTouchMotion(7, 4, 0, 10.5f, 1.0f, 0), 1);
    EXPECT_EQ(Seen(TakeAll().at(0).tfinger), Finger(JEX_FINGERDOWN, 4, 16384, 16384, 0, 0, 0));
    EXPECT_EQ(JEX_SendTouchMotion(-5, 4, 0, 0, 0, 0), 0);
    EXPECT_STREQ(JEX_GetError(), "ERROR: Cannot send touch on non-existent device with id: -5 "
                                 "make sure JEX_AddTouch has been called\n");
    // Deleting a device frees its fingers (the leak check sees it) and its gestures.
    JEX_DelTouch(7);
    EXPECT_EQ(JEX_RecordGesture(7), 0);
    EXPECT_EQ(JEX_RecordGesture(8), 1);
}

TEST_F(TouchTest, OnlyButtonsOneToEightChangeTheMask)
{
    const Uint8 states[] = {1, 1, 2, 1, 1, 1, 0, 0}, buttons[] = {0, 9, 1, 8, 8, 1, 8, 8};
    std::vector<int> posted;
    for (int i = 0; i < 8; ++i)
        posted.push_back(JEX_SendTouchButton(7, states[i], buttons[i]));
    EXPECT_EQ(posted, (std::vector<int>{0, 0, 0, 1, 0, 1, 1, 0}));
    ASSERT_EQ(JEX_SendFingerDown(7, 1, JEX_TRUE, 10.0f, 0.0f, 0), 1);
    const std::vector<JEX_Event> e = TakeAll();
    EXPECT_EQ(std::tuple(e.at(3).tfinger.state, e[0].tbutton.button, e[2].type, e[2].tbutton.state),
              std::tuple(1, 8, JEX_TOUCHBUTTONUP, 0));
}

}  // namespace
