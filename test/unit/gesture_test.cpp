// Gesture recognition: recorded strokes matched turned, scaled and moved, rotate and pinch,
// and template files.
#include "events/touch_internal.h"
#include "JEX_gesture.h"
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <ranges>
#include <vector>

namespace {

struct P {
    float x, y;
};
using Stroke = std::vector<P>;
constexpr float kPi = std::numbers::pi_v<float>;

// Strokes about (cx, cy), turned by `turn` radians and scaled by `scale`.
using Shape = P (*)(float);
Stroke Make(int n, Shape at, float turn = 0, float scale = 1, float cx = 0.5f, float cy = 0.5f)
{
    Stroke s;
    for (const P p : std::views::iota(0, n + 1) | std::views::transform(at))
        s.push_back({cx + scale * (p.x * std::cos(turn) - p.y * std::sin(turn)),
                     cy + scale * (p.x * std::sin(turn) + p.y * std::cos(turn))});
    return s;
}
const Shape kCircle = [](float t) { return P{0.3f * cosf(t / 6.366f), 0.3f * sinf(t / 6.366f)}; };
const Shape kVee = [](float i) { return P{0.01f * i - 0.1f, 0.2f - 0.02f * std::abs(i - 10)}; };
const Shape kLine = [](float i) { return P{0.03f * i - 0.3f, -0.5f}; };

class GestureTest : public ::testing::Test {
protected:
    jextest::TestVideoDriver drv;
    void SetUp() override
    {
        ASSERT_EQ(drv.Start(), 0);
        JEX_Touch templ{};
        templ.native_x_res = templ.native_y_res = 1.0f;
        for (templ.id = 1; templ.id <= 3; ++templ.id)
            ASSERT_GE(JEX_AddTouch(&templ, "pad"), 0);
    }
    void TearDown() override { JEX_VideoQuit(); }
    // One finger of device `touch` along the stroke.
    static void Draw(const Stroke &s, JEX_TouchID touch = 1)
    {
        JEX_SendFingerDown(touch, 9, JEX_TRUE, s[0].x, s[0].y, 0);
        for (const P &p : s | std::views::drop(1))
            JEX_SendTouchMotion(touch, 9, 0, p.x, p.y, 0);
        JEX_SendFingerDown(touch, 9, JEX_FALSE, 0, 0, 0);
    }
    // The gesture events; the rest are drained so the queue never fills.
    static std::vector<JEX_Event> Gestures()
    {
        std::vector<JEX_Event> out = jextest::TakeAll(JEX_DOLLARGESTURE, JEX_MULTIGESTURE);
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
        return out;
    }
    static JEX_GestureID Record(const Stroke &s)
    {
        EXPECT_EQ(JEX_RecordGesture(1), 1);
        Draw(s);
        return Gestures().at(0).dgesture.gesture_id;
    }
    // The one match a stroke gives, checked against the template it should find.
    static void ExpectMatch(const Stroke &s, JEX_GestureID id, float bound, JEX_TouchID touch = 1)
    {
        Draw(s, touch);
        const std::vector<JEX_Event> events = Gestures();
        ASSERT_EQ(events.size(), 1u);
        const JEX_DollarGestureEvent &g = events[0].dgesture;
        EXPECT_EQ(std::tuple(g.type, g.touch_id, g.gesture_id, g.finger_count),
                  std::tuple(Uint32(JEX_DOLLARGESTURE), touch, id, 1u));
        EXPECT_LT(g.match_error, bound);
    }
};

TEST_F(GestureTest, RecordedStrokesMatchTurnedScaledAndMoved)
{
    const Stroke circle = Make(40, kCircle), line = Make(20, kLine);
    Stroke saved(3 * 64);
    const JEX_GestureID round = Record(circle), vee = Record(Make(20, kVee)), flat = Record(line);
    EXPECT_TRUE(round != vee && vee != flat && round != flat);
    JEX_RWops *rw = JEX_RWFromMem(saved.data(), 3 * 512);
    ASSERT_EQ(JEX_SaveAllDollarTemplates(rw), 3);
    JEX_RWclose(rw);
    // A template is 64 little-endian points about their centroid, scaled to a 256 square.
    const auto [x0, x1] =
        std::ranges::minmax(saved | std::views::take(64) | std::views::transform(&P::x));
    const auto [y0, y1] =
        std::ranges::minmax(saved | std::views::take(64) | std::views::transform(&P::y));
    EXPECT_TRUE(std::abs(x1 - x0 - 256) < 0.01f && std::abs(y1 - y0 - 256) < 0.01f)
        << x0 << " " << x1 << " " << y0 << " " << y1;
    // A flat stroke keeps a flat template rather than 0/0, its points evenly spaced.
    for (int i = 129; i < 192; ++i)
        EXPECT_TRUE(std::abs(std::abs(saved[i].x - saved[i - 1].x) - 256 / 63.0f) < 0.01f &&
                    saved[i].y == 0.0f)
            << i;
    // The same stroke differs only by the search's last bracket of a degree; a turned,
    // smaller or moved one still finds its template.
    ExpectMatch(circle, round, 1.0f);
    ExpectMatch(line, flat, 1.0f);
    ExpectMatch(Make(20, kVee, 10 * kPi / 180), vee, 16.0f);
    ExpectMatch(Make(20, kVee, 0, 0.5f, 0.3f, 0.6f), vee, 16.0f);
    ExpectMatch(Make(40, kCircle, 0, 0.6f, 0.4f, 0.45f), round, 4.0f);
    // A tap is too short to resample: nothing is matched. A tap recorded posts id -1.
    Draw({{0.5f, 0.5f}});
    EXPECT_TRUE(Gestures().empty());
    EXPECT_STREQ(JEX_GetError(), "ERROR: NumPoints = 0\n");
    EXPECT_EQ(Record({{0.5f, 0.5f}}), -1);
}

TEST_F(GestureTest, TwoFingersRotateAndPinchAndStrayUpsAreIgnored)
{
    JEX_SendFingerDown(1, 1, JEX_TRUE, 0.4f, 0.5f, 0);
    JEX_SendFingerDown(1, 2, JEX_TRUE, 0.6f, 0.5f, 0);
    JEX_SendTouchMotion(1, 2, 0, 0.7f, 0.5f, 0);  // apart along the line
    JEX_SendTouchMotion(1, 2, 0, 0.7f, 0.6f, 0);  // round the centre
    // Two fingers on one spot: no direction to turn from, so 0 rather than NaN.
    JEX_SendFingerDown(2, 1, JEX_TRUE, 0.5f, 0.5f, 0);
    JEX_SendFingerDown(2, 2, JEX_TRUE, 0.5f, 0.5f, 0);
    JEX_SendTouchMotion(2, 2, 0, 0.6f, 0.5f, 0);
    const std::vector<JEX_Event> e = Gestures();
    EXPECT_TRUE(e.at(2).mgesture.rotation == 0.0f && e[2].mgesture.pinch == 0.0f);
    EXPECT_TRUE(e[0].mgesture.pinch > 0.04f && std::abs(e[0].mgesture.rotation) < 1e-4f &&
                e[0].mgesture.finger_count == 2);
    EXPECT_TRUE(e[1].mgesture.rotation > 0.1f &&
                std::abs(e[1].mgesture.pinch) < e[0].mgesture.pinch);
    // Ups and motion pushed by hand with no finger down change nothing.
    JEX_RecordGesture(3);
    for (Uint32 type : {JEX_FINGERUP, JEX_FINGERMOTION, JEX_FINGERUP}) {
        JEX_Event stray{.tfinger = {type, 0, 3, 1, 0, 100, 100, 5, 5, 0}};
        JEX_PushEvent(&stray);
    }
    EXPECT_TRUE(Gestures().empty());
}

TEST_F(GestureTest, TemplatesKeepTheirIdsThroughFilesAndHostileFilesStop)
{
    const JEX_GestureID vee = Record(Make(20, kVee)), round = Record(Make(40, kCircle));
    std::vector<Uint8> one(512), file(1024), out(4 * 512);
    JEX_RWops *rw = JEX_RWFromMem(one.data(), 512);
    EXPECT_EQ(JEX_SaveDollarTemplate(round, rw), 1);
    JEX_RWclose(rw);
    rw = JEX_RWFromMem(file.data(), 1024);
    EXPECT_EQ(JEX_SaveAllDollarTemplates(rw), 2);
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), file.begin() + 512)) << "in recording order";
    // Loaded for every device the templates are counted once; saving stops when the stream is
    // full, after the first four of eight. A trailing part record is ignored.
    std::vector<Uint8> padded = file;
    padded.resize(1024 + 488, 0x7F);
    rw = JEX_RWFromConstMem(padded.data(), int(padded.size()));
    EXPECT_EQ(JEX_LoadDollarTemplates(-1, rw), 2);
    JEX_RWclose(rw);
    rw = JEX_RWFromMem(out.data(), int(out.size()));
    EXPECT_EQ(JEX_SaveAllDollarTemplates(rw), 4);
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), out.begin()) &&
                std::equal(file.begin(), file.end(), out.begin() + 1024));
    // A device that never recorded finds the loaded templates by their recorded ids.
    ExpectMatch(Make(40, kCircle), round, 1.0f, 2);
    ExpectMatch(Make(20, kVee), vee, 1.0f, 3);
    // Values that are not finite end the load after the good records.
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        std::vector<Uint8> hostile = file;
        std::memcpy(&hostile[512 + 17 * 8 + 4], &bad, 4);
        rw = JEX_RWFromConstMem(hostile.data(), int(hostile.size()));
        EXPECT_EQ(JEX_LoadDollarTemplates(2, rw), 1);
        JEX_RWclose(rw);
    }
}

}  // namespace
