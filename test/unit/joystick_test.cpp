// Joysticks through the Linux driver over a scripted kernel: which devices
// count, event streams, lost events, removal, handles and the senders.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_joystick.h"
#include "evdev_fake.h"
#include "events/events_internal.h"
#include "joystick/joystick_internal.h"

namespace {

class Joystick : public ::testing::Test {
protected:
    FakeEvdev fake;
    void SetUp() override { ASSERT_EQ(JEX_StartEventLoop(), 0); }
    void TearDown() override
    {
        JEX_JoystickQuit();
        JEX_StopEventLoop();
        JEX_SetEventFilter(nullptr, nullptr);
    }
    // Pumps (which updates the open joysticks) and takes every event.
    static std::vector<std::string> Drain()
    {
        std::vector<std::string> lines;
        JEX_Event e;
        while (JEX_PollEvent(&e)) {
            const std::string which = std::to_string(e.jaxis.which) + " ";
            if (e.type == JEX_JOYAXISMOTION)
                lines.push_back("axis " + which + std::to_string(e.jaxis.axis) + " " +
                                std::to_string(e.jaxis.value));
            else if (e.type == JEX_JOYHATMOTION)
                lines.push_back("hat " + which + std::to_string(e.jhat.value));
            else if (e.type == JEX_JOYBUTTONDOWN || e.type == JEX_JOYBUTTONUP)
                lines.push_back((e.jbutton.state ? "down " : "up ") + which +
                                std::to_string(e.jbutton.button));
        }
        return lines;
    }
    using Lines = std::vector<std::string>;
};

TEST_F(Joystick, OnlyJoysticksAndGamepadsAreListed)
{
    fake.Add(Gamepad());
    fake.Add(Touchpad());
    fake.Add(Accelerometer());
    fake.Add(Gamepad("Locked")).open_errno = EACCES;
    FakeDevice keyboard("Keyboard");
    keyboard.Key(KEY_A), keyboard.Key(BTN_LEFT);
    fake.Add(keyboard);
    fake.Add(Wheel());
    ASSERT_EQ(JEX_JoystickInit(), 0);
    EXPECT_EQ(fake.OpenCount(), 0u);
    ASSERT_EQ(JEX_NumJoysticks(), 2);
    EXPECT_STREQ(JEX_JoystickName(0), "Pad");
    EXPECT_STREQ(JEX_JoystickName(1), "Wheel");
    for (int bad : {-1, 2, -200}) {
        JEX_ClearError();
        EXPECT_EQ(JEX_JoystickName(bad), nullptr);
        EXPECT_STREQ(JEX_GetError(), "There are 2 joysticks available");
        EXPECT_EQ(JEX_JoystickOpen(bad), nullptr);
        EXPECT_EQ(JEX_JoystickOpened(bad), 0);
    }
    JEX_Joystick *pad = JEX_JoystickOpen(0), *wheel = JEX_JoystickOpen(1);
    ASSERT_TRUE(pad && wheel);
    for (auto [j, counts] : {std::pair{pad, std::vector<int>{5, 1, 0, 6}}, {wheel, {4, 0, 0, 4}}})
        EXPECT_EQ((std::vector<int>{JEX_JoystickNumAxes(j), JEX_JoystickNumHats(j),
                                    JEX_JoystickNumBalls(j), JEX_JoystickNumButtons(j)}),
                  counts);
    EXPECT_EQ(fake.OpenCount(), 2u);
    JEX_JoystickQuit();
    EXPECT_EQ(fake.OpenCount(), 0u);
    // No node we may open is no joystick, not a failure.
    for (auto &[path, device] : fake.devices)
        device.open_errno = EACCES;
    EXPECT_EQ(JEX_JoystickInit(), 0);
    EXPECT_EQ(JEX_NumJoysticks(), 0);
}

TEST_F(Joystick, StreamOfAxesHatsAndButtons)
{
    FakeDevice &pad = fake.Add(Gamepad());
    pad.pressed = {BTN_B};
    pad.absinfo[ABS_Z].value = 255;
    ASSERT_EQ(JEX_JoystickInit(), 0);
    JEX_Joystick *j = JEX_JoystickOpen(0);
    ASSERT_NE(j, nullptr);
    // The first update reports what the device held when it was opened.
    EXPECT_EQ(Drain(), (Lines{"down 0 1", "axis 0 2 32767"}));
    pad.Push(EV_ABS, ABS_X, -32768);
    pad.Push(EV_ABS, ABS_Z, 128);
    pad.Push(EV_ABS, ABS_Z, 300);  // past the declared 0..255: the range widens
    pad.Push(EV_ABS, ABS_Z, 300);  // no change, no event
    pad.Push(EV_ABS, ABS_HAT0X, 1);
    pad.Push(EV_ABS, ABS_HAT0Y, -1);
    pad.Push(EV_KEY, BTN_A, 1);
    pad.Push(EV_KEY, BTN_A, 2);  // auto-repeat
    pad.Push(EV_SYN, SYN_REPORT, 0);
    pad.Push(EV_KEY, BTN_A, 0);
    pad.Push(EV_ABS, ABS_HAT0X, 0);
    EXPECT_EQ(Drain(), (Lines{"axis 0 0 -32768", "axis 0 2 128", "axis 0 2 32767", "hat 0 2",
                              "hat 0 3", "down 0 0", "up 0 0", "hat 0 1"}));
    EXPECT_EQ(JEX_JoystickGetAxis(j, 0), -32768);
    EXPECT_EQ(JEX_JoystickGetAxis(j, 2), 32767);
    EXPECT_EQ(JEX_JoystickGetHat(j, 0), JEX_HAT_UP);
    EXPECT_EQ(JEX_JoystickGetButton(j, 0), 0);
    EXPECT_EQ(JEX_JoystickGetButton(j, 1), 1);
    // Disabled events still move the state.
    EXPECT_EQ(JEX_JoystickEventState(JEX_DISABLE), JEX_DISABLE);
    EXPECT_EQ(JEX_JoystickEventState(JEX_QUERY), JEX_DISABLE);
    pad.Push(EV_ABS, ABS_Y, 100);
    JEX_JoystickUpdate();
    EXPECT_EQ(Drain(), Lines{});
    EXPECT_EQ(JEX_JoystickGetAxis(j, 1), 100);
    JEX_EventState(JEX_JOYHATMOTION, JEX_ENABLE);
    EXPECT_EQ(JEX_JoystickEventState(JEX_QUERY), JEX_ENABLE);
}

TEST_F(Joystick, DroppedEventsAreReadBackAndRemovalReleasesEverything)
{
    FakeDevice &pad = fake.Add(Gamepad());
    ASSERT_EQ(JEX_JoystickInit(), 0);
    JEX_Joystick *j = JEX_JoystickOpen(0);
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(Drain(), Lines{"axis 0 2 -32768"});  // the trigger at rest, 0 of 0..255
    pad.Push(EV_KEY, BTN_A, 1);
    pad.Push(EV_SYN, SYN_DROPPED, 0);
    pad.Push(EV_ABS, ABS_X, 5000);  // half a report: discarded
    pad.Push(EV_SYN, SYN_REPORT, 0);
    pad.pressed = {BTN_X};
    pad.absinfo[ABS_RY].value = 32767;
    EXPECT_EQ(Drain(), (Lines{"down 0 0", "up 0 0", "down 0 2", "axis 0 4 32767"}));
    pad.Push(EV_ABS, ABS_HAT0X, -1);
    pad.Push(EV_KEY, BTN_START, 1);
    pad.removed = true;
    EXPECT_EQ(Drain(), (Lines{"hat 0 8", "down 0 4", "axis 0 2 0", "axis 0 4 0", "up 0 2", "up 0 4",
                              "hat 0 0"}));
    EXPECT_EQ(fake.OpenCount(), 0u);
    EXPECT_EQ(Drain(), Lines{});
    EXPECT_EQ(JEX_JoystickNumAxes(j), 5);
    EXPECT_EQ(JEX_JoystickGetButton(j, 4), 0);
}

TEST_F(Joystick, HandlesAreCheckedAndSendersSayWhetherTheyQueued)
{
    fake.Add(Gamepad());
    ASSERT_EQ(JEX_JoystickInit(), 0);
    JEX_Joystick *j = JEX_JoystickOpen(0);
    ASSERT_EQ(JEX_JoystickOpen(0), j);
    JEX_JoystickClose(j);
    EXPECT_EQ(JEX_JoystickOpened(0), 1);
    EXPECT_EQ(JEX_JoystickIndex(j), 0);
    JEX_PrivateJoystickAxis(j, 0, 99), JEX_PrivateJoystickButton(j, 5, 1);
    EXPECT_EQ(JEX_JoystickGetAxis(j, -1), 0);
    EXPECT_STREQ(JEX_GetError(), "Joystick only has 5 axes");
    EXPECT_EQ(JEX_JoystickGetHat(j, 1), 0);
    EXPECT_STREQ(JEX_GetError(), "Joystick only has 1 hats");
    EXPECT_EQ(JEX_JoystickGetBall(j, 0, nullptr, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Joystick only has 0 balls");
    EXPECT_EQ(JEX_JoystickGetButton(j, 6), 0);
    EXPECT_STREQ(JEX_GetError(), "Joystick only has 6 buttons");
    EXPECT_EQ(JEX_PrivateJoystickButton(j, 3, 2), 0);
    EXPECT_EQ(JEX_JoystickGetButton(j, 3), 0);
    EXPECT_EQ(JEX_PrivateJoystickButton(j, 3, 1), 1);
    JEX_SetEventFilter([](void *, JEX_Event *) { return 0; }, nullptr);
    EXPECT_EQ(JEX_PrivateJoystickAxis(j, 1, -7), 0);
    EXPECT_EQ(JEX_JoystickGetAxis(j, 1), -7);
    JEX_SetEventFilter(nullptr, nullptr);
    JEX_Event user{};
    user.type = JEX_USEREVENT;
    while (JEX_PushEvent(&user) == 1) {
    }
    EXPECT_EQ(JEX_PrivateJoystickHat(j, 0, JEX_HAT_DOWN), 0);
    EXPECT_EQ(JEX_JoystickGetHat(j, 0), JEX_HAT_DOWN);
    JEX_JoystickClose(j);
    EXPECT_EQ(JEX_JoystickOpened(0), 0);
    EXPECT_EQ(fake.OpenCount(), 0u);
    for (JEX_Joystick *stale : {j, static_cast<JEX_Joystick *>(nullptr)}) {
        JEX_ClearError();
        JEX_JoystickClose(stale);
        EXPECT_STREQ(JEX_GetError(), "Joystick hasn't been opened yet");
        EXPECT_EQ(JEX_JoystickNumButtons(stale), -1);
    }
    // Quit closes what is still open; the old handle is refused afterwards.
    j = JEX_JoystickOpen(0);
    JEX_JoystickQuit();
    EXPECT_EQ(fake.OpenCount(), 0u);
    ASSERT_EQ(JEX_JoystickInit(), 0);
    EXPECT_EQ(JEX_JoystickIndex(j), -1);
}

}  // namespace
