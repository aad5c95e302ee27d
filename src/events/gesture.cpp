// Gesture recognition: follows the finger events of every touch device,
// reports rotate and pinch of two or more fingers, and matches the path of
// the fingers' centre against stored templates after the $1 unistroke
// recogniser (resample, rotate to a reference angle, scale to a square,
// golden-section search over rotation).
#include "events/gesture_internal.h"

#include "JEX_error.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

namespace {

constexpr int kPoints = JEX_DOLLARNPOINTS;
constexpr float kSize = JEX_DOLLARSIZE;
constexpr float kPhi = 0.618033989f;
constexpr float kNoMatch = 10000.0f;
constexpr float kPi = std::numbers::pi_v<float>;

using Points = std::array<JEX_FloatPoint, kPoints>;

struct DollarTemplate {
    Points points;
    Uint32 hash;
};

struct DollarPath {
    float length = 0.0f;
    int num_points = 0;
    std::array<JEX_FloatPoint, JEX_MAXPATHSIZE> points{};
};

}  // namespace

struct JEX_GestureTouch {
    JEX_TouchID id = 0;
    JEX_FloatPoint res{1.0f, 1.0f};
    JEX_FloatPoint centroid{0.0f, 0.0f};
    DollarPath path;
    Uint16 down_fingers = 0;
    std::vector<DollarTemplate> templates;
    bool recording = false;
};

namespace {

// Belongs to the thread that started video: the touch devices register here,
// and finger events reach it from their posts on that thread.
struct GestureState {
    // Each device's state has its own allocation, so pointers to it stay
    // valid while other devices come and go.
    std::vector<std::unique_ptr<JEX_GestureTouch>> touches;
    // Once recording was asked for every device, every recording is added
    // to all of them.
    bool record_all = false;
};

GestureState g_gesture;

float Distance(JEX_FloatPoint a, JEX_FloatPoint b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

// The coordinate truncated to a 32-bit integer; values outside that range
// are clamped and NaN counts as 0, so any stored float hashes the same way.
Uint32 HashCoordinate(float v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483648.0f)
        return 0x7FFFFFFFu;
    if (v < -2147483648.0f)
        return 0x80000000u;
    return static_cast<Uint32>(static_cast<Sint32>(v));
}

// Resamples the path to 64 points, rotates them to the reference angle and
// scales them to the template square. False (with the message) when the
// path is too short to give 64 points.
bool DollarNormalize(const DollarPath &path, Points &out)
{
    const JEX_FloatPoint *p = path.points.data();
    float length = path.length;
    if (!(length > 0.0f)) {
        length = 0.0f;
        for (int i = 1; i < path.num_points; ++i)
            length += Distance(p[i - 1], p[i]);
    }
    const float interval = length / (kPoints - 1);
    float dist = interval;
    int num = 0;
    JEX_FloatPoint centroid{0.0f, 0.0f};
    // Rounding may offer one point more than the buffer takes, and a zero
    // interval would offer points for ever: stop at 63.
    for (int i = 1; i < path.num_points && num < kPoints - 1; ++i) {
        const float d = Distance(p[i - 1], p[i]);
        while (dist + d > interval && num < kPoints - 1) {
            const float f = (interval - dist) / d;
            out[num] = {p[i - 1].x + f * (p[i].x - p[i - 1].x),
                        p[i - 1].y + f * (p[i].y - p[i - 1].y)};
            centroid.x += out[num].x;
            centroid.y += out[num].y;
            ++num;
            dist -= interval;
        }
        dist += d;
    }
    if (num < kPoints - 1) {
        JEX_SetError("ERROR: NumPoints = %i\n", num);
        return false;
    }
    out[kPoints - 1] = p[path.num_points - 1];
    centroid.x /= kPoints;
    centroid.y /= kPoints;

    const float angle = std::atan2(centroid.y - out[0].y, centroid.x - out[0].x);
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    float xmin = INFINITY, xmax = -INFINITY, ymin = INFINITY, ymax = -INFINITY;
    for (JEX_FloatPoint &q : out) {
        const float px = q.x - centroid.x;
        const float py = q.y - centroid.y;
        q = {px * c - py * s + centroid.x, px * s + py * c + centroid.y};
        xmin = std::fmin(xmin, q.x);
        xmax = std::fmax(xmax, q.x);
        ymin = std::fmin(ymin, q.y);
        ymax = std::fmax(ymax, q.y);
    }
    // A straight stroke has no extent across it (or only rounding noise):
    // that axis is flat rather than 0/0 or noise blown up to full size.
    const float w = xmax - xmin;
    const float h = ymax - ymin;
    const float flat = std::fmax(w, h) * 1e-4f;
    const float sx = w > flat ? kSize / w : 0.0f;
    const float sy = h > flat ? kSize / h : 0.0f;
    for (JEX_FloatPoint &q : out)
        q = {(q.x - centroid.x) * sx, (q.y - centroid.y) * sy};
    return true;
}

// Mean distance between the points rotated by angle and the template.
float DollarDifference(const Points &points, const Points &templ, float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    float sum = 0.0f;
    for (int i = 0; i < kPoints; ++i) {
        const JEX_FloatPoint q{points[i].x * c - points[i].y * s,
                               points[i].x * s + points[i].y * c};
        sum += Distance(q, templ[i]);
    }
    return sum / kPoints;
}

float BestDollarDifference(const Points &points, const Points &templ)
{
    float ta = -kPi / 4.0f;
    float tb = kPi / 4.0f;
    const float dt = kPi / 90.0f;
    float x1 = kPhi * ta + (1.0f - kPhi) * tb;
    float f1 = DollarDifference(points, templ, x1);
    float x2 = (1.0f - kPhi) * ta + kPhi * tb;
    float f2 = DollarDifference(points, templ, x2);
    while (std::fabs(ta - tb) > dt) {
        if (f1 < f2) {
            tb = x2;
            x2 = x1;
            f2 = f1;
            x1 = kPhi * ta + (1.0f - kPhi) * tb;
            f1 = DollarDifference(points, templ, x1);
        } else {
            ta = x1;
            x1 = x2;
            f1 = f2;
            x2 = (1.0f - kPhi) * ta + kPhi * tb;
            f2 = DollarDifference(points, templ, x2);
        }
    }
    return std::fmin(f1, f2);
}

int AddTemplate(JEX_GestureTouch &touch, const JEX_FloatPoint *points)
{
    DollarTemplate templ;
    std::memcpy(templ.points.data(), points, sizeof(templ.points));
    templ.hash = JEX_HashDollar(points);
    try {
        touch.templates.push_back(templ);
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return -1;
    }
    return static_cast<int>(touch.templates.size()) - 1;
}

bool SaveTemplate(const DollarTemplate &templ, JEX_RWops *dst)
{
    return dst->write(dst, templ.points.data(), sizeof(JEX_FloatPoint), kPoints) == size_t(kPoints);
}

JEX_Event DollarEvent(Uint32 type, JEX_TouchID touch_id, JEX_GestureID gesture_id)
{
    JEX_Event event;
    std::memset(&event, 0, sizeof(event));
    event.dgesture.type = type;
    event.dgesture.touch_id = touch_id;
    event.dgesture.gesture_id = gesture_id;
    return event;
}

// The path ends: match it against the templates or store it as one. The
// event, if any, is returned rather than posted, so that no callback runs
// while the device's state is being changed.
bool FingerUp(JEX_GestureTouch &touch, JEX_Event *out)
{
    Points points;
    if (touch.recording) {
        touch.recording = false;
        JEX_GestureID id = -1;
        if (DollarNormalize(touch.path, points)) {
            int index;
            if (g_gesture.record_all) {
                index = JEX_AddDollarGesture(nullptr, points.data());
                for (auto &other : g_gesture.touches)
                    other->recording = false;
            } else {
                index = JEX_AddDollarGesture(&touch, points.data());
            }
            if (index >= 0)
                id = JEX_HashDollar(points.data());
        }
        *out = DollarEvent(JEX_DOLLARRECORD, touch.id, id);
        return true;
    }
    if (touch.templates.empty() || !DollarNormalize(touch.path, points))
        return false;
    float best = kNoMatch;
    const DollarTemplate *match = nullptr;
    for (const DollarTemplate &templ : touch.templates) {
        const float diff = BestDollarDifference(points, templ.points);
        if (diff < best) {
            best = diff;
            match = &templ;
        }
    }
    if (!match)
        return false;
    *out = DollarEvent(JEX_DOLLARGESTURE, touch.id, match->hash);
    out->dgesture.finger_count = touch.down_fingers + 1u;
    out->dgesture.match_error = best;
    return true;
}

bool FingerMotion(JEX_GestureTouch &touch, JEX_FloatPoint at, JEX_FloatPoint delta, JEX_Event *out)
{
    DollarPath &path = touch.path;
    if (path.num_points < JEX_MAXPATHSIZE) {
        if (path.num_points > 0)
            path.length += Distance(path.points[path.num_points - 1], touch.centroid);
        path.points[path.num_points++] = touch.centroid;
    }
    if (touch.down_fingers == 0)
        return false;
    const JEX_FloatPoint last = touch.centroid;
    touch.centroid.x += delta.x / touch.down_fingers;
    touch.centroid.y += delta.y / touch.down_fingers;
    if (touch.down_fingers < 2)
        return false;
    const float lvx = at.x - delta.x - last.x;
    const float lvy = at.y - delta.y - last.y;
    const float vx = at.x - touch.centroid.x;
    const float vy = at.y - touch.centroid.y;
    const float ldist = std::sqrt(lvx * lvx + lvy * lvy);
    const float dist = std::sqrt(vx * vx + vy * vy);
    float rotation = 0.0f;
    float pinch = 0.0f;
    if (ldist > 0.0f) {
        pinch = dist - ldist;
        // A finger on the centre has no direction to turn from.
        if (dist > 0.0f) {
            const float ux = lvx / ldist, uy = lvy / ldist;
            const float wx = vx / dist, wy = vy / dist;
            rotation = std::atan2(ux * wy - uy * wx, ux * wx + uy * wy);
        }
    }
    std::memset(out, 0, sizeof(*out));
    out->mgesture.type = JEX_MULTIGESTURE;
    out->mgesture.touch_id = touch.id;
    out->mgesture.rotation = rotation;
    out->mgesture.pinch = pinch;
    out->mgesture.x = touch.centroid.x;
    out->mgesture.y = touch.centroid.y;
    out->mgesture.finger_count = touch.down_fingers;
    return true;
}

}  // namespace

extern "C" {

int JEX_GestureAddTouch(const JEX_Touch *touch)
{
    if (!touch) {
        JEX_SetError("Parameter '%s' is invalid", "touch");
        return -1;
    }
    std::unique_ptr<JEX_GestureTouch> entry(new (std::nothrow) JEX_GestureTouch);
    if (!entry) {
        JEX_OutOfMemory();
        return -1;
    }
    entry->id = touch->id;
    entry->res = {static_cast<float>(touch->x_res), static_cast<float>(touch->y_res)};
    try {
        g_gesture.touches.push_back(std::move(entry));
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return -1;
    }
    return 0;
}

int JEX_GestureRemoveTouch(JEX_TouchID id)
{
    auto &touches = g_gesture.touches;
    for (size_t i = 0; i < touches.size(); ++i) {
        if (touches[i]->id == id) {
            touches[i] = std::move(touches.back());
            touches.pop_back();
            return 1;
        }
    }
    return -1;
}

JEX_GestureTouch *JEX_GetGestureTouch(JEX_TouchID id)
{
    for (auto &touch : g_gesture.touches)
        if (touch->id == id)
            return touch.get();
    return nullptr;
}

Uint32 JEX_HashDollar(const JEX_FloatPoint *points)
{
    Uint32 hash = 5381;
    for (int i = 0; i < kPoints; ++i) {
        hash = hash * 33 + HashCoordinate(points[i].x);
        hash = hash * 33 + HashCoordinate(points[i].y);
    }
    return hash;
}

int JEX_AddDollarGesture(JEX_GestureTouch *state, const JEX_FloatPoint *points)
{
    if (!points)
        return -1;
    if (state)
        return AddTemplate(*state, points);
    int index = -1;
    for (auto &touch : g_gesture.touches) {
        index = AddTemplate(*touch, points);
        if (index < 0)
            return -1;
    }
    return index;
}

int JEX_RecordGesture(JEX_TouchID touchId)
{
    if (touchId < 0) {
        g_gesture.record_all = true;
        for (auto &touch : g_gesture.touches)
            touch->recording = true;
        return 1;
    }
    JEX_GestureTouch *touch = JEX_GetGestureTouch(touchId);
    if (!touch)
        return 0;
    touch->recording = true;
    return 1;
}

int JEX_SaveAllDollarTemplates(JEX_RWops *dst)
{
    if (!dst || !dst->write)
        return 0;
    int saved = 0;
    for (auto &touch : g_gesture.touches)
        for (const DollarTemplate &templ : touch->templates)
            saved += SaveTemplate(templ, dst) ? 1 : 0;
    return saved;
}

int JEX_SaveDollarTemplate(JEX_GestureID gestureId, JEX_RWops *dst)
{
    if (!dst || !dst->write)
        return 0;
    if ((static_cast<Uint64>(gestureId) >> 32) == 0) {
        for (auto &touch : g_gesture.touches)
            for (const DollarTemplate &templ : touch->templates)
                if (templ.hash == static_cast<Uint32>(gestureId))
                    return SaveTemplate(templ, dst) ? 1 : 0;
    }
    JEX_SetError("Unknown gestureId");
    return -1;
}

int JEX_LoadDollarTemplates(JEX_TouchID touchId, JEX_RWops *src)
{
    if (!src || !src->read)
        return 0;
    JEX_GestureTouch *touch = nullptr;
    if (touchId >= 0) {
        touch = JEX_GetGestureTouch(touchId);
        if (!touch) {
            JEX_SetError("Unknown touchId");
            return -1;
        }
    }
    int loaded = 0;
    for (;;) {
        Points points;
        if (src->read(src, points.data(), sizeof(JEX_FloatPoint), kPoints) < size_t(kPoints))
            break;
        for (const JEX_FloatPoint &q : points) {
            if (!std::isfinite(q.x) || !std::isfinite(q.y)) {
                JEX_SetError("Gesture template %d holds a value that is not finite", loaded);
                return loaded;
            }
        }
        if (JEX_AddDollarGesture(touch, points.data()) < 0)
            break;
        ++loaded;
    }
    return loaded;
}

void JEX_GestureProcessEvent(JEX_Event *event)
{
    if (!event || event->type < JEX_FINGERDOWN || event->type > JEX_FINGERMOTION)
        return;
    JEX_GestureTouch *touch = JEX_GetGestureTouch(event->tfinger.touch_id);
    if (!touch)
        return;
    const JEX_FloatPoint at{event->tfinger.x / touch->res.x, event->tfinger.y / touch->res.y};
    JEX_Event post;
    bool posting = false;
    switch (event->type) {
    case JEX_FINGERDOWN: {
        if (touch->down_fingers == 0xFFFF)
            return;  // the count would wrap to 0 and divide by it
        const int n = ++touch->down_fingers;
        touch->centroid.x = ((n - 1) * touch->centroid.x + at.x) / n;
        touch->centroid.y = ((n - 1) * touch->centroid.y + at.y) / n;
        touch->path.num_points = 1;
        touch->path.points[0] = at;
        touch->path.length = 0.0f;
        break;
    }
    case JEX_FINGERUP: {
        // An up with no finger down (posted by hand) would count below 0.
        if (touch->down_fingers == 0)
            return;
        --touch->down_fingers;
        posting = FingerUp(*touch, &post);
        if (const int n = touch->down_fingers; n > 0) {
            touch->centroid.x = ((n + 1) * touch->centroid.x - at.x) / n;
            touch->centroid.y = ((n + 1) * touch->centroid.y - at.y) / n;
        }
        break;
    }
    default: {
        const JEX_FloatPoint delta{event->tfinger.delta_x / touch->res.x,
                                   event->tfinger.delta_y / touch->res.y};
        posting = FingerMotion(*touch, at, delta, &post);
        break;
    }
    }
    if (posting)
        JEX_PushEvent(&post);
}

}  // extern "C"
