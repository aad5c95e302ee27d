// Touch devices: the table of devices a driver has added and the window
// each one has focus on.
#include "events/touch_internal.h"

#include "JEX_error.h"
#include "events/input_window.h"

#include <cstdlib>
#include <cstring>

namespace {

// The devices belong to the thread that started video; nothing here is
// shared with other threads.
struct TouchState {
    JEX_Touch **pads = nullptr;
    int count = 0;
};

TouchState JEX_touch;

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
    for (int i = 0; i < JEX_touch.count; ++i)
        if (JEX_touch.pads[i] != self && JEX_touch.pads[i]->focus == window)
            return true;
    return false;
}

}  // namespace

extern "C" {

int JEX_TouchInit(void)
{
    return 0;
}

void JEX_TouchQuit(void)
{
    for (int i = 0; i < JEX_touch.count; ++i)
        FreeDevice(JEX_touch.pads[i]);
    std::free(JEX_touch.pads);
    JEX_touch.pads = nullptr;
    JEX_touch.count = 0;
}

int JEX_GetNumTouch(void)
{
    return JEX_touch.count;
}

JEX_Touch *JEX_GetTouchIndex(int index)
{
    if (index < 0 || index >= JEX_touch.count)
        return nullptr;
    return JEX_touch.pads[index];
}

int JEX_GetTouchIndexId(JEX_TouchID id)
{
    for (int i = 0; i < JEX_touch.count; ++i)
        if (JEX_touch.pads[i]->id == id)
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
        std::realloc(JEX_touch.pads, size_t(JEX_touch.count + 1) * sizeof(JEX_Touch *)));
    if (!table) {
        JEX_OutOfMemory();
        return -1;
    }
    JEX_touch.pads = table;
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
    const int index = JEX_touch.count++;
    JEX_touch.pads[index] = touch;
    return index;
}

void JEX_DelTouch(JEX_TouchID id)
{
    const int index = JEX_GetTouchIndexId(id);
    if (index < 0)
        return;
    FreeDevice(JEX_touch.pads[index]);
    --JEX_touch.count;
    JEX_touch.pads[index] = JEX_touch.pads[JEX_touch.count];
}

void JEX_SetTouchFocus(JEX_TouchID id, JEX_Window *window)
{
    JEX_Touch *touch = JEX_GetTouch(id);
    if (!touch || touch->focus == window)
        return;
    JEX_Window *old = touch->focus;
    if (old && !OtherDeviceFocuses(touch, old))
        JEX_InputWindowFocus(old, JEX_WINDOWEVENT_LEAVE);
    touch->focus = window;
    if (window && !OtherDeviceFocuses(touch, window))
        JEX_InputWindowFocus(window, JEX_WINDOWEVENT_ENTER);
}

}  // extern "C"
