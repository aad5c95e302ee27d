// Gesture recognition: template recording and matching against a reference
// of the $1 normalisation, rotate and pinch, and template files.
#include "events/touch_internal.h"
#include "JEX_gesture.h"
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <bit>
#include <numbers>
#include <ranges>
#include <vector>

namespace {

struct P {
    float x, y;
};
using Stroke = std::vector<P>;
constexpr float kPi = std::numbers::pi_v<float>;

// Reference: 63 points evenly spaced along the path plus its last point, rotated about their
// centroid (sum of the 63 over 64) by the angle from the first point to it, scaled to 256.
Stroke Normalize(const Stroke &path)
{
    std::vector<float> along{0.0f};
    for (size_t i = 1; i < path.size(); ++i)
        along.push_back(along.back() +
                        std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y));
    Stroke out;
    P c{0, 0};
    for (size_t i = 1; out.size() < 63;) {
        const float at = along.back() * float(out.size()) / 63.0f;
        while (along[i] <= at)
            ++i;
        const float f = (at - along[i - 1]) / (along[i] - along[i - 1]);
        out.push_back({path[i - 1].x + f * (path[i].x - path[i - 1].x),
                       path[i - 1].y + f * (path[i].y - path[i - 1].y)});
        c = {c.x + out.back().x / 64, c.y + out.back().y / 64};
    }
    out.push_back(path.back());
    const float a = std::atan2(c.y - out[0].y, c.x - out[0].x);
    for (P &p : out)
        p = {(p.x - c.x) * std::cos(a) - (p.y - c.y) * std::sin(a),
             (p.x - c.x) * std::sin(a) + (p.y - c.y) * std::cos(a)};
    const auto [x0, x1] = std::ranges::minmax(out | std::views::transform(&P::x));
    const auto [y0, y1] = std::ranges::minmax(out | std::views::transform(&P::y));
    for (P &p : out)
        p = {p.x * 256 / (x1 - x0), p.y * 256 / (y1 - y0)};
    return out;
}

Uint32 Hash(const Stroke &points)
{
    Uint64 h = 5381;
    for (const P &p : points)
        for (float v : {p.x, p.y})
            h = (h * 33 + Uint32(Sint32(std::trunc(v)))) & 0xFFFFFFFFu;
    return Uint32(h);
}

// Template records as little-endian bytes (this host is little-endian too).
std::vector<Uint8> Bytes(std::initializer_list<Stroke> records)
{
    std::vector<Uint8> out;
    for (const Stroke &points : records)
        for (const P &p : points)
            for (Uint32 u : {std::bit_cast<Uint32>(p.x), std::bit_cast<Uint32>(p.y)})
                for (int b = 0; b < 32; b += 8)
                    out.push_back(Uint8(u >> b));
    return out;
}

// Strokes about (0.5, 0.5), turned by `turn` radians.
using Shape = P (*)(float);
Stroke Make(int n, Shape at, float turn = 0)
{
    Stroke s;
    for (const P p : std::views::iota(0, n + 1) | std::views::transform(at))
        s.push_back({0.5f + p.x * std::cos(turn) - p.y * std::sin(turn),
                     0.5f + p.x * std::sin(turn) + p.y * std::cos(turn)});
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
    // One finger along the stroke; `path` is then what recognition followed:
    // the centre before each motion, in units of the device's resolution.
    static inline Stroke path;
    static void Draw(const Stroke &s)
    {
        JEX_SendFingerDown(1, 9, JEX_TRUE, s[0].x, s[0].y, 0);
        for (const P &p : s | std::views::drop(1))
            JEX_SendTouchMotion(1, 9, 0, p.x, p.y, 0);
        JEX_SendFingerDown(1, 9, JEX_FALSE, 0, 0, 0);
        path = {s[0]};
        path.insert(path.end(), s.begin(), s.end() - 1);
        for (P &p : path)
            p = {float(Uint16(p.x * 32768)) / 32768, float(Uint16(p.y * 32768)) / 32768};
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
};

TEST_F(GestureTest, RecordedStrokesMatchEvenTurned)
{
    const Stroke circle = Make(40, kCircle), line = Make(20, kLine);
    Stroke saved(3 * 64);
    const JEX_GestureID round = Record(circle);
    const Stroke expected = Normalize(path);
    const JEX_GestureID vee = Record(Make(20, kVee)), flat = Record(line);
    JEX_RWops *rw = JEX_RWFromMem(saved.data(), 3 * 512);
    ASSERT_EQ(JEX_SaveAllDollarTemplates(rw), 3);
    JEX_RWclose(rw);
    // A recording is the normalised path (reference within rounding) and its hash.
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(std::hypot(saved[i].x - expected[i].x, saved[i].y - expected[i].y) < 0.05f)
            << i;
    EXPECT_EQ(round, JEX_GestureID(Hash(Stroke(saved.begin(), saved.begin() + 64))));
    // A flat stroke keeps a flat, finite template rather than 0/0.
    for (int i = 128; i < 192; ++i)
        EXPECT_TRUE(std::isfinite(saved[i].x) && saved[i].y == 0.0f);
    // The same stroke differs only by the search's last bracket of a degree.
    for (auto [stroke, id, bound] : {std::tuple{circle, round, 1.0f},
                                     {Make(20, kVee, 10 * kPi / 180), vee, 16.0f},
                                     {line, flat, 1.0f}}) {
        Draw(stroke);
        const std::vector<JEX_Event> events = Gestures();
        ASSERT_EQ(events.size(), 1u);
        const JEX_DollarGestureEvent &g = events[0].dgesture;
        EXPECT_EQ(std::tuple(g.type, g.gesture_id, g.finger_count),
                  std::tuple(Uint32(JEX_DOLLARGESTURE), id, 1u));
        EXPECT_LT(g.match_error, bound);
    }
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

TEST_F(GestureTest, TemplateFilesAreLittleEndianAndHostileFilesStop)
{
    const Stroke a = Make(63, kVee), b = Make(63, kCircle);
    std::vector<Uint8> file = Bytes({a, b}), out(4 * 512);
    file.resize(1024 + 488, 0x7F);  // a trailing part record is ignored
    JEX_RWops *rw = JEX_RWFromConstMem(file.data(), int(file.size()));
    EXPECT_EQ(JEX_LoadDollarTemplates(-1, rw), 2) << "counted once for all devices";
    JEX_RWclose(rw);
    rw = JEX_RWFromMem(out.data(), int(out.size()));
    EXPECT_EQ(JEX_SaveAllDollarTemplates(rw), 4) << "the first four of six";
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 1024, out.begin()));
    rw = JEX_RWFromMem(out.data(), 512);
    EXPECT_EQ(JEX_SaveDollarTemplate(Hash(b), rw), 1);
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(file.begin() + 512, file.begin() + 1024, out.begin()));
    // Values that are not finite end the load after the good records.
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        Stroke c = b;
        c[17].y = bad;
        const std::vector<Uint8> hostile = Bytes({a, c, b});
        rw = JEX_RWFromConstMem(hostile.data(), int(hostile.size()));
        EXPECT_EQ(JEX_LoadDollarTemplates(2, rw), 1);
        JEX_RWclose(rw);
    }
}

}  // namespace
