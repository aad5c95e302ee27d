// Touch devices: the table of devices a driver has added, the fingers in
// contact with each, the window each one has focus on, and the finger and
// button events built from the driver's raw reports.
#include "events/touch_internal.h"

#include "JEX_error.h"
#include "events/events_internal.h"
#include "events/gesture_internal.h"
#include "events/input_window.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The devices belong to the thread that started video; nothing here is
// shared with other threads.
struct TouchState {
    JEX_Touch **pads = nullptr;
    int count = 0;
};

TouchState g_touch;

void FreeDevice(JEX_Touch *touch)
{
    std::free(touch->name);
    touch->name = nullptr;
    if (touch->free_touch)
        touch->free_touch(touch);
    for (int i = 0; i < touch->finger_count; ++i)
        std::free(touch->fingers[i]);
    std::free(touch->fingers);
    std::free(touch);
}

bool OtherDeviceFocuses(const JEX_Touch *self, const JEX_Window *window)
{
    for (int i = 0; i < g_touch.count; ++i)
        if (g_touch.pads[i] != self && g_touch.pads[i]->focus == window)
            return true;
    return false;
}

// A driver may report anything a float holds: out-of-range values are
// clamped to the field's range and NaN counts as 0.
Uint16 ToU16(float v)
{
    if (!(v > 0.0f))
        return 0;
    return v >= 65535.0f ? 65535 : static_cast<Uint16>(v);
}

Sint16 ToS16(float v)
{
    if (std::isnan(v))
        return 0;
    if (v <= -32768.0f)
        return -32768;
    return v >= 32767.0f ? 32767 : static_cast<Sint16>(v);
}

// A raw value on an axis, in the device's resolution.
float Scale(float v, float lo, Uint16 res, float native)
{
    return (v - lo) * static_cast<float>(res) / native;
}

// The device, or null with the message a driver needs to see.
JEX_Touch *Device(JEX_TouchID id)
{
    JEX_Touch *touch = JEX_GetTouch(id);
    if (!touch) {
        // The error formatter stores no 64-bit integers: pass the id as text.
        char text[24];
        std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(id));
        JEX_SetError("ERROR: Cannot send touch on non-existent device with id: %s make sure "
                     "JEX_AddTouch has been called\n",
                     text);
    }
    return touch;
}

JEX_Event FingerEvent(Uint32 type, const JEX_Touch *touch, const JEX_Finger &finger)
{
    JEX_Event event;
    std::memset(&event, 0, sizeof(event));
    event.tfinger.type = type;
    event.tfinger.window_id = JEX_InputWindowID(touch->focus);
    event.tfinger.touch_id = touch->id;
    event.tfinger.finger_id = finger.id;
    event.tfinger.state = touch->buttons;
    event.tfinger.x = finger.x;
    event.tfinger.y = finger.y;
    event.tfinger.delta_x = finger.delta_x;
    event.tfinger.delta_y = finger.delta_y;
    event.tfinger.pressure = finger.pressure;
    return event;
}

bool Enabled(Uint32 type)
{
    return JEX_EventState(type, JEX_QUERY) == JEX_ENABLE;
}

int FingerDown(JEX_Touch *touch, JEX_FingerID fingerid, float x, float y, float pressure)
{
    const Uint16 sx = ToU16(Scale(x, touch->x_lo, touch->x_res, touch->native_x_res));
    const Uint16 sy = ToU16(Scale(y, touch->y_lo, touch->y_res, touch->native_y_res));
    const Uint16 sp =
        ToU16(Scale(pressure, touch->pressure_lo, touch->pressure_res, touch->native_pressure_res));
    JEX_Finger *finger = JEX_GetFinger(touch, fingerid);
    if (finger && finger->down)
        return 0;
    if (!finger) {
        JEX_Finger templ{};
        templ.id = fingerid;
        templ.x = templ.prev_x = sx;
        templ.y = templ.prev_y = sy;
        templ.pressure = templ.prev_pressure = sp;
        const int index = JEX_AddFinger(touch, &templ);
        if (index < 0)
            return 0;
        finger = touch->fingers[index];
    } else {
        // Known but not reported yet: the contact is where it is now.
        finger->x = finger->prev_x = sx;
        finger->y = finger->prev_y = sy;
        finger->pressure = finger->prev_pressure = sp;
    }
    // Below the range the contact is known but not yet reported.
    if (x < touch->x_lo || y < touch->y_lo)
        return 0;
    if (!Enabled(JEX_FINGERDOWN))
        return 0;
    finger->delta_x = finger->delta_y = 0;
    JEX_Event event = FingerEvent(JEX_FINGERDOWN, touch, *finger);
    if (JEX_PushEvent(&event) <= 0)
        return 0;
    finger->down = 1;
    return 1;
}

int FingerUp(JEX_Touch *touch, JEX_FingerID fingerid)
{
    JEX_Finger *finger = JEX_GetFinger(touch, fingerid);
    if (!finger) {
        JEX_SetError("Finger not found.");
        return 0;
    }
    // A contact whose down was never reported ends unseen.
    if (!finger->down) {
        JEX_DelFinger(touch, fingerid);
        return 0;
    }
    if (!Enabled(JEX_FINGERUP))
        return 0;
    JEX_Event event = FingerEvent(JEX_FINGERUP, touch, *finger);
    event.tfinger.delta_x = event.tfinger.delta_y = 0;
    event.tfinger.pressure = 0;
    JEX_DelFinger(touch, fingerid);
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

}  // namespace

extern "C" {

int JEX_TouchInit(void)
{
    JEX_SetGestureHook(JEX_GestureProcessEvent);
    return 0;
}

void JEX_TouchQuit(void)
{
    while (g_touch.count > 0)
        JEX_DelTouch(g_touch.pads[g_touch.count - 1]->id);
    std::free(g_touch.pads);
    g_touch.pads = nullptr;
    JEX_SetGestureHook(nullptr);
}

int JEX_GetNumTouch(void)
{
    return g_touch.count;
}

JEX_Touch *JEX_GetTouchIndex(int index)
{
    if (index < 0 || index >= g_touch.count)
        return nullptr;
    return g_touch.pads[index];
}

int JEX_GetTouchIndexId(JEX_TouchID id)
{
    for (int i = 0; i < g_touch.count; ++i)
        if (g_touch.pads[i]->id == id)
            return i;
    return -1;
}

JEX_Touch *JEX_GetTouch(JEX_TouchID id)
{
    return JEX_GetTouchIndex(JEX_GetTouchIndexId(id));
}

JEX_Window *JEX_GetTouchFocusWindow(JEX_TouchID id)
{
    JEX_Touch *touch = JEX_GetTouch(id);
    return touch ? touch->focus : nullptr;
}

const char *JEX_GetTouchName(JEX_TouchID id)
{
    JEX_Touch *touch = JEX_GetTouch(id);
    return touch ? touch->name : nullptr;
}

int JEX_AddTouch(const JEX_Touch *templ, const char *name)
{
    if (!templ) {
        JEX_SetError("Parameter '%s' is invalid", "touch");
        return -1;
    }
    if (JEX_GetTouchIndexId(templ->id) >= 0)
        JEX_SetError("Touch ID already in use");
    auto *table = static_cast<JEX_Touch **>(
        std::realloc(g_touch.pads, size_t(g_touch.count + 1) * sizeof(JEX_Touch *)));
    if (!table) {
        JEX_OutOfMemory();
        return -1;
    }
    g_touch.pads = table;
    auto *touch = static_cast<JEX_Touch *>(std::malloc(sizeof(JEX_Touch)));
    auto **fingers = static_cast<JEX_Finger **>(std::calloc(1, sizeof(JEX_Finger *)));
    char *copy = strdup(name ? name : "");
    if (!touch || !fingers || !copy) {
        std::free(touch);
        std::free(fingers);
        std::free(copy);
        JEX_OutOfMemory();
        return -1;
    }
    *touch = *templ;
    touch->focus = nullptr;
    touch->name = copy;
    touch->finger_capacity = 1;
    touch->finger_count = 0;
    touch->fingers = fingers;
    touch->buttons = 0;
    touch->drop_motion = 0;
    touch->x_res = 32768;
    touch->y_res = 32768;
    if (JEX_GestureAddTouch(touch) < 0) {
        touch->free_touch = nullptr;  // the driver's data was never ours
        FreeDevice(touch);
        return -1;
    }
    const int index = g_touch.count++;
    g_touch.pads[index] = touch;
    return index;
}

void JEX_DelTouch(JEX_TouchID id)
{
    const int index = JEX_GetTouchIndexId(id);
    if (index < 0)
        return;
    JEX_GestureRemoveTouch(id);
    FreeDevice(g_touch.pads[index]);
    --g_touch.count;
    g_touch.pads[index] = g_touch.pads[g_touch.count];
}

void JEX_SetTouchFocus(JEX_TouchID id, JEX_Window *window)
{
    JEX_Touch *touch = JEX_GetTouch(id);
    if (!touch || touch->focus == window)
        return;
    // A destroyed window must never become a focus that outlives it.
    if (window && !JEX_InputWindowIsLive(window))
        return;
    JEX_Window *old = touch->focus;
    if (old && !OtherDeviceFocuses(touch, old))
        JEX_InputWindowFocus(old, JEX_WINDOWEVENT_LEAVE);
    touch->focus = window;
    if (window && !OtherDeviceFocuses(touch, window))
        JEX_InputWindowFocus(window, JEX_WINDOWEVENT_ENTER);
}

int JEX_GetFingerIndexId(JEX_Touch *touch, JEX_FingerID id)
{
    if (!touch)
        return -1;
    for (int i = 0; i < touch->finger_count; ++i)
        if (touch->fingers[i]->id == id)
            return i;
    return -1;
}

JEX_Finger *JEX_GetFinger(JEX_Touch *touch, JEX_FingerID id)
{
    const int index = JEX_GetFingerIndexId(touch, id);
    return index < 0 ? nullptr : touch->fingers[index];
}

int JEX_AddFinger(JEX_Touch *touch, const JEX_Finger *templ)
{
    if (!touch || !templ) {
        JEX_SetError("Parameter '%s' is invalid", touch ? "finger" : "touch");
        return -1;
    }
    if (JEX_GetFingerIndexId(touch, templ->id) >= 0)
        JEX_SetError("Finger ID already in use");
    if (touch->finger_count >= touch->finger_capacity) {
        auto *grown = static_cast<JEX_Finger **>(std::realloc(
            touch->fingers, size_t(touch->finger_capacity + 1) * sizeof(JEX_Finger *)));
        if (!grown) {
            JEX_OutOfMemory();
            return -1;
        }
        touch->fingers = grown;
        ++touch->finger_capacity;
    }
    auto *finger = static_cast<JEX_Finger *>(std::malloc(sizeof(JEX_Finger)));
    if (!finger) {
        JEX_OutOfMemory();
        return -1;
    }
    *finger = *templ;
    touch->fingers[touch->finger_count] = finger;
    return touch->finger_count++;
}

int JEX_DelFinger(JEX_Touch *touch, JEX_FingerID fingerid)
{
    const int index = JEX_GetFingerIndexId(touch, fingerid);
    if (index < 0)
        return -1;
    std::free(touch->fingers[index]);
    --touch->finger_count;
    touch->fingers[index] = touch->fingers[touch->finger_count];
    touch->fingers[touch->finger_count] = nullptr;
    return 0;
}

int JEX_SendFingerDown(JEX_TouchID id, JEX_FingerID fingerid, JEX_bool down, float x, float y,
                       float pressure)
{
    JEX_Touch *touch = Device(id);
    if (!touch)
        return 0;
    return down ? FingerDown(touch, fingerid, x, y, pressure) : FingerUp(touch, fingerid);
}

int JEX_SendTouchMotion(JEX_TouchID id, JEX_FingerID fingerid, int relative, float x, float y,
                        float pressure)
{
    JEX_Touch *touch = Device(id);
    if (!touch)
        return 0;
    const float fx = Scale(x, touch->x_lo, touch->x_res, touch->native_x_res);
    const float fy = Scale(y, touch->y_lo, touch->y_res, touch->native_y_res);
    const float fp =
        Scale(pressure, touch->pressure_lo, touch->pressure_res, touch->native_pressure_res);
    if (touch->drop_motion)
        return 0;
    JEX_Finger *finger = JEX_GetFinger(touch, fingerid);
    if (!finger || !finger->down)
        return FingerDown(touch, fingerid, x, y, pressure);

    Uint16 nx, ny, np = ToU16(fp);
    Sint16 dx, dy;
    if (relative) {
        // A relative report is a signed step: it moves from the previous
        // position with 16-bit wrap-around.
        dx = ToS16(fx);
        dy = ToS16(fy);
        nx = static_cast<Uint16>(finger->prev_x + dx);
        ny = static_cast<Uint16>(finger->prev_y + dy);
    } else {
        // An axis reported below its range did not move.
        nx = x < touch->x_lo ? finger->prev_x : ToU16(fx);
        ny = y < touch->y_lo ? finger->prev_y : ToU16(fy);
        if (pressure < touch->pressure_lo)
            np = finger->prev_pressure;
        dx = ToS16(float(int(nx) - int(finger->prev_x)));
        dy = ToS16(float(int(ny) - int(finger->prev_y)));
    }
    if (dx == 0 && dy == 0)
        return 0;

    finger->x = nx;
    finger->y = ny;
    finger->delta_x = dx;
    finger->delta_y = dy;
    finger->pressure = np;
    int posted = 0;
    if (Enabled(JEX_FINGERMOTION)) {
        JEX_Event event = FingerEvent(JEX_FINGERMOTION, touch, *finger);
        posted = JEX_PushEvent(&event) > 0 ? 1 : 0;
    }
    // The event may have been handed to gesture recognition, which does not
    // touch the device's fingers, so the record is still ours.
    finger->prev_x = finger->x;
    finger->prev_y = finger->y;
    finger->prev_pressure = finger->pressure;
    return posted;
}

int JEX_SendTouchButton(JEX_TouchID id, Uint8 state, Uint8 button)
{
    JEX_Touch *touch = Device(id);
    if (!touch)
        return 0;
    // Only buttons 1 to 8 have a bit in the mask.
    if (button == 0 || button > 8)
        return 0;
    const Uint8 bit = static_cast<Uint8>(1u << (button - 1));
    Uint32 type;
    if (state == JEX_PRESSED) {
        if (touch->buttons & bit)
            return 0;
        touch->buttons |= bit;
        type = JEX_TOUCHBUTTONDOWN;
    } else if (state == JEX_RELEASED) {
        if (!(touch->buttons & bit))
            return 0;
        touch->buttons &= static_cast<Uint8>(~bit);
        type = JEX_TOUCHBUTTONUP;
    } else {
        return 0;
    }
    if (!Enabled(type))
        return 0;
    JEX_Event event;
    std::memset(&event, 0, sizeof(event));
    event.tbutton.type = type;
    event.tbutton.window_id = JEX_InputWindowID(touch->focus);
    event.tbutton.touch_id = touch->id;
    event.tbutton.state = state;
    event.tbutton.button = button;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

}  // extern "C"
