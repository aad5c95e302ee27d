// Force feedback through the Linux driver over a scripted kernel: uploads of every effect kind,
// slots, rumble, gain, autocentre, failed opens, opening from a joystick, and shutdown.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <vector>
#include "JEX_error.h"
#include "JEX_haptic.h"
#include "evdev_fake.h"
#include "haptic/haptic_internal.h"
#include "joystick/joystick_internal.h"

namespace {

FakeDevice ForceWheel()
{
    FakeDevice d = Wheel();
    d.ev.insert(EV_FF);
    d.ff = {FF_CONSTANT, FF_PERIODIC, FF_SINE,     FF_SQUARE, FF_TRIANGLE,
            FF_SAW_UP,   FF_SAW_DOWN, FF_CUSTOM,   FF_RAMP,   FF_SPRING,
            FF_DAMPER,   FF_INERTIA,  FF_FRICTION, FF_GAIN,   FF_AUTOCENTER};
    d.slots = 4;
    return d;
}

FakeDevice RumblePad()
{
    FakeDevice d = Gamepad("Rumble Pad");
    d.ev.insert(EV_FF);
    d.ff = {FF_RUMBLE};
    return d;
}

// Everything the kernel reads from an effect of its type.
std::vector<long> Fields(const ff_effect &e)
{
    std::vector<long> f{e.type,          e.direction,   e.trigger.button, e.trigger.interval,
                        e.replay.length, e.replay.delay};
    auto envelope = [&f](const ff_envelope &v) {
        f.insert(f.end(), {v.attack_length, v.attack_level, v.fade_length, v.fade_level});
    };
    const ff_periodic_effect &p = e.u.periodic;
    switch (e.type) {
    case FF_CONSTANT: f.push_back(e.u.constant.level), envelope(e.u.constant.envelope); break;
    case FF_RAMP:
        f.insert(f.end(), {e.u.ramp.start_level, e.u.ramp.end_level});
        envelope(e.u.ramp.envelope);
        break;
    case FF_PERIODIC:
        f.insert(f.end(),
                 {p.waveform, p.period, p.magnitude, p.offset, p.phase, long(p.custom_len)});
        envelope(p.envelope);
        break;
    case FF_RUMBLE:
        f.insert(f.end(), {e.u.rumble.strong_magnitude, e.u.rumble.weak_magnitude});
        break;
    default:
        for (const ff_condition_effect &c : e.u.condition)
            f.insert(f.end(), {c.right_saturation, c.left_saturation, c.right_coeff, c.left_coeff,
                               c.deadband, c.center});
    }
    return f;
}

std::vector<int> LastWrite(const FakeDevice &d)
{
    if (d.writes.empty())
        return {};
    const input_event &e = d.writes.back();
    return {e.type, e.code, e.value};
}

class Haptic : public ::testing::Test {
protected:
    FakeEvdev fake;
    void SetUp() override { unsetenv("JEX_HAPTIC_GAIN_MAX"); }
    void TearDown() override
    {
        JEX_HapticQuit();
        JEX_JoystickQuit();
        unsetenv("JEX_HAPTIC_GAIN_MAX");
    }
};

TEST_F(Haptic, EveryEffectKindReachesTheKernelFieldByField)
{
    fake.Add(Gamepad());
    FakeDevice &wheel = fake.Add(ForceWheel());
    FakeDevice &pad = fake.Add(RumblePad());
    ASSERT_EQ(JEX_HapticInit(), 0);
    ASSERT_EQ(JEX_NumHaptics(), 2);
    EXPECT_STREQ(JEX_HapticName(1), "Rumble Pad");
    JEX_Haptic *h = JEX_HapticOpen(0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(JEX_HapticQuery(h), 0x3FFFu);
    EXPECT_EQ(JEX_HapticNumEffects(h), 4);
    ASSERT_EQ(wheel.writes.size(), 2u);  // full gain and no autocentre on open
    EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, FF_AUTOCENTER, 0}));
    wheel.writes.pop_back();
    EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, FF_GAIN, 0xFFFF}));

    Uint16 samples[6] = {1, 2, 3, 4, 5, 0xFFFF};
    JEX_HapticEffect e[5] = {};
    // clang-format off
    e[0].constant = {JEX_HAPTIC_CONSTANT, {JEX_HAPTIC_POLAR, {9000}}, 1000, 20, 2, 30, -5000, 100,
                     40000, 200, 1000};
    e[1].periodic = {JEX_HAPTIC_SQUARE, {JEX_HAPTIC_CARTESIAN, {0, 1}}, JEX_HAPTIC_INFINITY, 0, 0,
                     0, 50, -12000, 300, 9000, 1, 2, 3, 4};
    e[2].condition = {JEX_HAPTIC_SPRING, {JEX_HAPTIC_SPHERICAL, {0}}, 40000, 0, 0, 0, {1, 2, 3},
                      {4, 5, 6}, {-7, 8, 9}, {10, -11, 12}, {13, 14, 15}, {-16, 17, 18}};
    e[3].ramp = {JEX_HAPTIC_RAMP, {JEX_HAPTIC_POLAR, {18000}}, 500, 0, 0, 0, -100, 100, 5, 6, 7, 8};
    e[4].custom = {JEX_HAPTIC_CUSTOM, {JEX_HAPTIC_POLAR, {27000}}, 100, 0, 0, 0, 2, 10, 3, samples,
                   0, 0, 0, 0};
    // clang-format on
    const std::vector<long> expected[5] = {
        {FF_CONSTANT, 0xC000, BTN_TRIGGER + 1, 30, 1000, 20, -5000, 100, 0x7FFF, 200, 1000},
        {FF_PERIODIC, 0, 0, 0, 0, 0, FF_SQUARE, 50, -12000, 300, 9000, 0, 1, 2, 3, 4},
        {FF_SPRING, 0xC000, 0, 0, 0x7FFF, 0, 1, 4, -7, 10, 13, -16, 2, 5, 8, -11, 14, 17},
        {FF_RAMP, 0, 0, 0, 500, 0, -100, 100, 5, 6, 7, 8},
        {FF_PERIODIC, 0x4000, 0, 0, 100, 0, FF_CUSTOM, 10, 0x7FFF, 0, 0, 6, 0, 0, 0, 0}};
    for (int i = 0; i < 5; ++i) {
        const int id = JEX_HapticNewEffect(h, &e[i]);
        ASSERT_GE(id, 0) << JEX_GetError();
        EXPECT_EQ(Fields(wheel.uploads.back()), expected[i]) << "effect " << i;
        EXPECT_EQ(wheel.uploads.back().id, -1);
        if (i < 4)
            JEX_HapticDestroyEffect(h, id);
    }
    EXPECT_EQ(wheel.custom_data.back(), (std::vector<Sint16>{1, 2, 3, 4, 5, -1}));
    EXPECT_EQ(wheel.erased, (std::vector<long>{0, 1, 2, 3}));
    // The custom samples are the library's copy, not the caller's array.
    EXPECT_NE(h->effects[0].effect.custom.data, samples);
    EXPECT_EQ(h->effects[0].custom_data, std::vector<Uint16>(samples, samples + 6));

    // A sine on a pad that only rumbles is a rumble at twice the magnitude.
    JEX_Haptic *p = JEX_HapticOpen(1);
    EXPECT_EQ(JEX_HapticQuery(p), JEX_HAPTIC_SINE);
    ASSERT_EQ(JEX_HapticRumbleInit(p), 0);
    EXPECT_EQ(JEX_HapticRumblePlay(p, 0.5f, 300), 0);
    EXPECT_EQ(Fields(pad.uploads.back()),
              (std::vector<long>{FF_RUMBLE, 0x8000, 0, 0, 300, 0, 32766, 32766}));
    EXPECT_EQ(LastWrite(pad), (std::vector<int>{EV_FF, 0, 1}));
}

TEST_F(Haptic, SlotsKindsRumbleAndGain)
{
    FakeDevice &wheel = fake.Add(ForceWheel());
    ASSERT_EQ(JEX_HapticInit(), 0);
    JEX_Haptic *h = JEX_HapticOpen(0);
    JEX_HapticEffect sine = {};
    sine.periodic = {
        JEX_HAPTIC_SINE, {JEX_HAPTIC_POLAR, {0}}, 100, 0, 0, 0, 10, 1000, 0, 0, 0, 0, 0, 0};
    for (int id = 0; id < 4; ++id)
        EXPECT_EQ(JEX_HapticNewEffect(h, &sine), id);
    EXPECT_EQ(JEX_HapticNewEffect(h, &sine), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Device has no free space left.");
    JEX_HapticDestroyEffect(h, 1);
    const size_t writes = wheel.writes.size();
    for (int result : {JEX_HapticRunEffect(h, 1, 1), JEX_HapticStopEffect(h, 1),
                       JEX_HapticUpdateEffect(h, 1, &sine), JEX_HapticRunEffect(h, -1, 1)}) {
        EXPECT_EQ(result, -1);
        EXPECT_STREQ(JEX_GetError(), "Haptic: Invalid effect identifier.");
    }
    EXPECT_EQ(wheel.writes.size(), writes);
    EXPECT_EQ(JEX_HapticNewEffect(h, &sine), 1);
    EXPECT_EQ(JEX_HapticRunEffect(h, 1, 3), 0);
    EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, 4, 3}));  // the kernel's id
    JEX_HapticEffect odd = sine;
    for (unsigned type : {0u, JEX_HAPTIC_SINE | JEX_HAPTIC_SQUARE, JEX_HAPTIC_GAIN, 0x8000u}) {
        odd.type = static_cast<Uint16>(type);
        EXPECT_EQ(JEX_HapticEffectSupported(h, &odd), 0);
        EXPECT_EQ(JEX_HapticUpdateEffect(h, 1, &odd), -1);
        EXPECT_STREQ(JEX_GetError(), "Haptic: Updating effect type is illegal.");
    }
    odd = sine, odd.periodic.direction.type = 3;
    EXPECT_EQ(JEX_HapticUpdateEffect(h, 1, &odd), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Unknown direction type.");

    // Rumble: one effect, strengths clamped, a failed update plays nothing.
    JEX_HapticDestroyEffect(h, 0);
    EXPECT_EQ(JEX_HapticRumblePlay(h, 1, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Rumble effect not initialized on haptic device");
    EXPECT_EQ(JEX_HapticRumbleInit(h), 0);
    EXPECT_EQ(JEX_HapticRumbleInit(h), 0);
    EXPECT_EQ(wheel.uploads.size(), 6u);
    for (auto [strength, magnitude] :
         {std::pair{0.5f, 16383}, {2.0f, 32767}, {-1.0f, 0}, {std::nanf(""), 0}}) {
        EXPECT_EQ(JEX_HapticRumblePlay(h, strength, 250), 0);
        EXPECT_EQ(wheel.uploads.back().u.periodic.magnitude, magnitude);
        EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, wheel.uploads.back().id, 1}));
    }
    wheel.sff_errno = EIO;
    const size_t before = wheel.writes.size();
    EXPECT_EQ(JEX_HapticRumblePlay(h, 0.25f, 250), -1);
    EXPECT_EQ(wheel.writes.size(), before);
    wheel.sff_errno = 0;
    JEX_HapticDestroyEffect(h, 0);  // the rumble's slot: playing makes it anew
    EXPECT_EQ(JEX_HapticRumblePlay(h, 0.25f, 250), 0);
    EXPECT_EQ(wheel.uploads.back().u.periodic.magnitude, 8191);

    for (auto [limit, sent] :
         {std::pair{"50", 40}, {"150", 80}, {"-5", 0}, {"99999999999999999999999", 80}}) {
        setenv("JEX_HAPTIC_GAIN_MAX", limit, 1);
        EXPECT_EQ(JEX_HapticSetGain(h, 80), 0);
        EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, FF_GAIN, 0xFFFF * sent / 100}));
    }
    for (int bad : {101, -1}) {
        EXPECT_EQ(JEX_HapticSetGain(h, bad), -1);
        EXPECT_STREQ(JEX_GetError(), "Haptic: Gain must be between 0 and 100.");
    }
    EXPECT_EQ(JEX_HapticSetAutocenter(h, 50), 0);
    EXPECT_EQ(LastWrite(wheel), (std::vector<int>{EV_FF, FF_AUTOCENTER, 0xFFFF / 2}));
    EXPECT_EQ(JEX_HapticSetAutocenter(h, -3), -1);
    EXPECT_EQ(JEX_HapticUnpause(h), 0);
    EXPECT_EQ(JEX_HapticPause(h), -1);
    EXPECT_EQ(JEX_HapticGetEffectStatus(h, 1), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Device does not support status queries.");
}

TEST_F(Haptic, OpeningFromIndicesAndJoysticksAndClosingEverything)
{
    fake.Add(Gamepad());
    FakeDevice &pad = fake.Add(RumblePad());
    fake.Add(ForceWheel()).rw_errno = EACCES;
    FakeDevice &gone = fake.Add(ForceWheel());
    ASSERT_EQ(JEX_JoystickInit(), 0);
    JEX_Joystick *plain = JEX_JoystickOpen(0), *rumbler = JEX_JoystickOpen(1);
    EXPECT_EQ(JEX_HapticOpenFromJoystick(rumbler), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Haptic subsystem not started");
    ASSERT_EQ(JEX_HapticInit(), 0);
    ASSERT_EQ(JEX_NumHaptics(), 3);
    for (int bad : {-1, 3}) {
        EXPECT_EQ(JEX_HapticOpen(bad), nullptr);
        EXPECT_STREQ(JEX_GetError(), "Haptic: There are 3 haptic devices available");
    }
    EXPECT_EQ(JEX_HapticOpen(1), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Unable to open /dev/input/event2: Permission denied");
    gone.open_errno = ENODEV;
    EXPECT_EQ(JEX_HapticOpen(2), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Unable to open /dev/input/event3: No such device");

    EXPECT_EQ(JEX_JoystickIsHaptic(plain), 0);
    EXPECT_EQ(JEX_HapticOpenFromJoystick(plain), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Joystick isn't a haptic device.");
    EXPECT_EQ(JEX_JoystickIsHaptic(rumbler), 1);
    JEX_Haptic *h = JEX_HapticOpenFromJoystick(rumbler);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(JEX_HapticIndex(h), 0);
    EXPECT_EQ(JEX_HapticOpen(0), h);
    EXPECT_EQ(JEX_HapticOpenFromJoystick(rumbler), h);
    JEX_HapticClose(h);
    JEX_HapticClose(h);
    EXPECT_EQ(JEX_HapticOpened(0), 1);
    EXPECT_EQ(fake.OpenCount(), 3u);  // two joysticks, one haptic device

    // Quit stops and erases what is still there and lets the device go.
    ASSERT_EQ(JEX_HapticRumbleInit(h), 0);
    ASSERT_EQ(JEX_HapticRumblePlay(h, 1.0f, 1000), 0);
    JEX_HapticQuit();
    EXPECT_EQ(LastWrite(pad), (std::vector<int>{EV_FF, 0, 0}));
    EXPECT_EQ(pad.erased, std::vector<long>{0});
    EXPECT_EQ(fake.OpenCount(), 2u);
    EXPECT_EQ(JEX_HapticNumAxes(h), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic: Invalid haptic device identifier");
}

}  // namespace
