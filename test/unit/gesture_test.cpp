// Gesture recognition: template recording and matching against a reference
// of the $1 normalisation, rotate and pinch, and template files.
#include "events/touch_internal.h"
#include "JEX_gesture.h"
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

using namespace jextest;

namespace {

struct P {
    float x, y;
};
using Stroke = std::vector<P>;
constexpr float kPi = std::numbers::pi_v<float>;

// Reference: 63 points evenly spaced along the path plus its last point,
// rotated about their centroid (sum of the 63 over 64) by the angle from the
// first point to it, then scaled to the 256 square.
std::vector<P> Normalize(const Stroke &path)
{
    std::vector<float> along{0.0f};
    for (size_t i = 1; i < path.size(); ++i)
        along.push_back(along.back() +
                        std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y));
    std::vector<P> out;
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
    float lo[2] = {1e9f, 1e9f}, hi[2] = {-1e9f, -1e9f};
    for (P &p : out) {
        p = {(p.x - c.x) * std::cos(a) - (p.y - c.y) * std::sin(a),
             (p.x - c.x) * std::sin(a) + (p.y - c.y) * std::cos(a)};
        lo[0] = std::min(lo[0], p.x), hi[0] = std::max(hi[0], p.x);
        lo[1] = std::min(lo[1], p.y), hi[1] = std::max(hi[1], p.y);
    }
    for (P &p : out)
        p = {p.x * 256 / (hi[0] - lo[0]), p.y * 256 / (hi[1] - lo[1])};
    return out;
}

Uint32 Hash(const std::vector<P> &points)
{
    Uint64 h = 5381;
    for (const P &p : points)
        for (float v : {p.x, p.y})
            h = (h * 33 + Uint32(Sint32(std::trunc(v)))) & 0xFFFFFFFFu;
    return Uint32(h);
}

// Little-endian file records to and from points.
std::vector<Uint8> Bytes(const std::vector<P> &points)
{
    std::vector<Uint8> out;
    for (const P &p : points)
        for (float v : {p.x, p.y}) {
            Uint32 u;
            std::memcpy(&u, &v, 4);
            for (int b = 0; b < 32; b += 8)
                out.push_back(Uint8(u >> b));
        }
    return out;
}
std::vector<P> Points(const Uint8 *bytes)
{
    std::vector<P> out(64);
    for (int i = 0; i < 128; ++i) {
        const Uint32 u = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                         Uint32(bytes[4 * i + 3]) << 24;
        std::memcpy(i % 2 ? &out[i / 2].y : &out[i / 2].x, &u, 4);
    }
    return out;
}

Stroke Circle()
{
    Stroke s;
    for (int i = 0; i <= 40; ++i)
        s.push_back({0.5f + 0.3f * std::cos(i * kPi / 20), 0.5f + 0.3f * std::sin(i * kPi / 20)});
    return s;
}
Stroke Vee(float turn = 0)
{
    Stroke s;
    for (int i = 0; i <= 20; ++i) {
        const float x = 0.01f * i - 0.1f, y = 0.2f - 0.02f * std::abs(i - 10);
        s.push_back({0.5f + x * std::cos(turn) - y * std::sin(turn),
                     0.5f + x * std::sin(turn) + y * std::cos(turn)});
    }
    return s;
}
Stroke Line()
{
    Stroke s;
    for (int i = 0; i <= 20; ++i)
        s.push_back({0.2f + 0.03f * i, 0.0f});
    return s;
}

class GestureTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    void SetUp() override
    {
        ASSERT_EQ(drv.Start(), 0);
        JEX_Touch templ{};
        templ.native_x_res = templ.native_y_res = 1.0f;
        for (templ.id = 1; templ.id <= 2; ++templ.id)
            ASSERT_GE(JEX_AddTouch(&templ, "pad"), 0);
    }
    void TearDown() override { JEX_VideoQuit(); }
    // One finger along the stroke; returns the path recognition follows:
    // the centre before each motion, in units of the device's resolution.
    static Stroke Draw(const Stroke &s, JEX_TouchID touch = 1)
    {
        JEX_SendFingerDown(touch, 9, JEX_TRUE, s[0].x, s[0].y, 0);
        Stroke path;
        for (size_t i = 0; i < s.size(); ++i) {
            const P at = s[i == 0 ? 0 : i - 1];
            path.push_back(
                {float(Uint16(at.x * 32768)) / 32768, float(Uint16(at.y * 32768)) / 32768});
            if (i > 0)
                JEX_SendTouchMotion(touch, 9, 0, s[i].x, s[i].y, 0);
        }
        JEX_SendFingerDown(touch, 9, JEX_FALSE, 0, 0, 0);
        return path;
    }
    // The gesture events; the finger events are drained too, so the queue
    // never fills.
    static std::vector<JEX_Event> Gestures()
    {
        std::vector<JEX_Event> out = TakeAll(JEX_DOLLARGESTURE, JEX_MULTIGESTURE);
        JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
        return out;
    }
    static JEX_GestureID Record(const Stroke &s)
    {
        JEX_RecordGesture(1);
        Draw(s);
        return Gestures().at(0).dgesture.gesture_id;
    }
};

TEST_F(GestureTest, RecordedTemplateIsTheNormalisedPathAndItsHash)
{
    ASSERT_EQ(JEX_RecordGesture(1), 1);
    const std::vector<P> expected = Normalize(Draw(Circle()));
    const std::vector<JEX_Event> events = Gestures();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, JEX_DOLLARRECORD);
    Uint8 file[512];
    JEX_RWops *rw = JEX_RWFromMem(file, sizeof(file));
    ASSERT_EQ(JEX_SaveAllDollarTemplates(rw), 1);
    JEX_RWclose(rw);
    const std::vector<P> saved = Points(file);
    for (int i = 0; i < 64; ++i) {
        EXPECT_NEAR(saved[i].x, expected[i].x, 0.05f) << i;
        EXPECT_NEAR(saved[i].y, expected[i].y, 0.05f) << i;
    }
    EXPECT_EQ(events[0].dgesture.gesture_id, JEX_GestureID(Hash(saved)));
}

TEST_F(GestureTest, StrokesMatchTheirTemplatesEvenTurned)
{
    const JEX_GestureID circle = Record(Circle()), vee = Record(Vee()), line = Record(Line());
    ASSERT_TRUE(circle != vee && vee != line && line != circle);
    // A flat stroke keeps a flat, finite template rather than 0/0.
    Uint8 file[512];
    JEX_RWops *rw = JEX_RWFromMem(file, sizeof(file));
    ASSERT_EQ(JEX_SaveDollarTemplate(line, rw), 1);
    JEX_RWclose(rw);
    for (const P &p : Points(file))
        EXPECT_TRUE(std::isfinite(p.x) && p.y == 0.0f);
    // The same stroke differs only by the search's last bracket of a degree.
    for (auto [stroke, id, bound] : {std::tuple{Circle(), circle, 1.0f},
                                     {Vee(10 * kPi / 180), vee, 16.0f},
                                     {Line(), line, 1.0f}}) {
        Draw(stroke);
        const std::vector<JEX_Event> events = Gestures();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].type, JEX_DOLLARGESTURE);
        EXPECT_EQ(events[0].dgesture.gesture_id, id);
        EXPECT_EQ(events[0].dgesture.finger_count, 1u);
        EXPECT_LT(events[0].dgesture.match_error, bound);
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
    const std::vector<JEX_Event> events = Gestures();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_GT(events[0].mgesture.pinch, 0.04f);
    EXPECT_NEAR(events[0].mgesture.rotation, 0.0f, 1e-4f);
    EXPECT_EQ(events[0].mgesture.finger_count, 2);
    EXPECT_GT(events[1].mgesture.rotation, 0.1f);
    EXPECT_LT(std::abs(events[1].mgesture.pinch), std::abs(events[0].mgesture.pinch));
    // Two fingers on one spot: no direction to turn from, so 0 rather than NaN.
    JEX_SendFingerDown(2, 1, JEX_TRUE, 0.5f, 0.5f, 0);
    JEX_SendFingerDown(2, 2, JEX_TRUE, 0.5f, 0.5f, 0);
    JEX_SendTouchMotion(2, 2, 0, 0.6f, 0.5f, 0);
    const JEX_Event spot = Gestures().at(0);
    EXPECT_TRUE(spot.mgesture.rotation == 0.0f && spot.mgesture.pinch == 0.0f);
    // Ups and motion pushed by hand with no finger down change nothing.
    JEX_Event up{};
    up.tfinger = {JEX_FINGERUP, 0, 3, 1, 0, 100, 100, 0, 0, 0};
    JEX_Touch templ{};
    templ.id = 3;
    ASSERT_GE(JEX_AddTouch(&templ, "bare"), 0);
    JEX_RecordGesture(3);
    for (Uint32 type : {JEX_FINGERUP, JEX_FINGERMOTION, JEX_FINGERUP}) {
        up.type = type;
        JEX_PushEvent(&up);
    }
    EXPECT_TRUE(Gestures().empty());
}

TEST_F(GestureTest, TemplateFilesAreLittleEndianAndHostileFilesStop)
{
    std::vector<P> a(64), b(64);
    for (int i = 0; i < 64; ++i)
        a[i] = {1.5f * i - 40, -2.25f * i}, b[i] = {-0.5f * i, 100.0f - i};
    std::vector<Uint8> file = Bytes(a), second = Bytes(b);
    file.insert(file.end(), second.begin(), second.end());
    file.resize(1024 + 488, 0x7F);  // a trailing part record is ignored
    JEX_RWops *rw = JEX_RWFromConstMem(file.data(), int(file.size()));
    EXPECT_EQ(JEX_LoadDollarTemplates(-1, rw), 2) << "counted once for both devices";
    JEX_RWclose(rw);
    std::vector<Uint8> out(4 * 512);
    rw = JEX_RWFromMem(out.data(), int(out.size()));
    EXPECT_EQ(JEX_SaveAllDollarTemplates(rw), 4);
    EXPECT_EQ(JEX_SaveDollarTemplate(Hash(b), rw), 0) << "stream full";
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 1024, out.begin()));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 1024, out.begin() + 1024));
    rw = JEX_RWFromMem(out.data(), 512);
    EXPECT_EQ(JEX_SaveDollarTemplate(Hash(b), rw), 1);
    EXPECT_EQ(JEX_SaveDollarTemplate(Hash(b) | (1ll << 32), rw), -1);
    EXPECT_STREQ(JEX_GetError(), "Unknown gestureId");
    JEX_RWclose(rw);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), out.begin()));
    // Values that are not finite end the load after the good records.
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        std::vector<P> c = b;
        c[17].y = bad;
        std::vector<Uint8> hostile = Bytes(a), tail = Bytes(c);
        hostile.insert(hostile.end(), tail.begin(), tail.end());
        hostile.insert(hostile.end(), second.begin(), second.end());
        rw = JEX_RWFromConstMem(hostile.data(), int(hostile.size()));
        EXPECT_EQ(JEX_LoadDollarTemplates(2, rw), 1);
        JEX_RWclose(rw);
    }
    rw = JEX_RWFromConstMem(file.data(), 511);
    EXPECT_EQ(JEX_LoadDollarTemplates(2, rw), 0);
    EXPECT_EQ(JEX_LoadDollarTemplates(99, rw), -1);
    EXPECT_EQ(JEX_LoadDollarTemplates(2, nullptr), 0);
    JEX_RWclose(rw);
}

}  // namespace
