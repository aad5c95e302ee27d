// Mouse state: the focus window, the pointer position and its motion.
#include "events/mouse_internal.h"

#include "events/events_internal.h"
#include "events/windowevents_internal.h"
#include "video/sysvideo.h"

namespace {

JEX_Mouse JEX_mouse;

// The focus step every sender starts with: a window other than the focus
// takes it over; null leaves the focus alone.
void take_focus(JEX_Window *window)
{
    if (window && window != JEX_mouse.focus) {
        JEX_SetMouseFocus(window);
    }
}

} // namespace

extern "C" {

int JEX_MouseInit(void)
{
    JEX_mouse.cursor_visible = 1;
    return 0;
}

void JEX_MouseQuit(void) {}

JEX_Mouse *JEX_GetMouse(void) { return &JEX_mouse; }

JEX_Window *JEX_GetMouseFocus(void) { return JEX_mouse.focus; }

void JEX_SetMouseFocus(JEX_Window *window)
{
    JEX_Mouse &mouse = JEX_mouse;
    if (window == mouse.focus) {
        return;
    }
    if (mouse.focus) {
        JEX_SendWindowEvent(mouse.focus, JEX_WINDOWEVENT_LEAVE, 0, 0);
    }
    mouse.focus = window;
    if (window) {
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_ENTER, 0, 0);
    }
}

Uint8 JEX_GetMouseState(int *x, int *y)
{
    if (x) {
        *x = JEX_mouse.x;
    }
    if (y) {
        *y = JEX_mouse.y;
    }
    return JEX_mouse.buttons;
}

int JEX_SendMouseMotion(JEX_Window *window, int relative, int x, int y)
{
    JEX_Mouse &mouse = JEX_mouse;
    take_focus(window);

    int rel_x, rel_y, target_x, target_y;
    if (relative) {
        rel_x = x;
        rel_y = y;
        target_x = mouse.prev_x + x;
        target_y = mouse.prev_y + y;
    } else {
        rel_x = x - mouse.prev_x;
        rel_y = y - mouse.prev_y;
        target_x = x;
        target_y = y;
    }
    if (rel_x == 0 && rel_y == 0) {
        return 0;
    }
    if (mouse.relative_on) {
        mouse.x += rel_x;
        mouse.y += rel_y;
    } else {
        mouse.x = target_x;
        mouse.y = target_y;
    }
    int w = 0, h = 0;
    if (mouse.focus) {
        JEX_GetWindowSize(mouse.focus, &w, &h);
    }
    if (mouse.x > w - 1) {
        mouse.x = w - 1;
    }
    if (mouse.x < 0) {
        mouse.x = 0;
    }
    if (mouse.y > h - 1) {
        mouse.y = h - 1;
    }
    if (mouse.y < 0) {
        mouse.y = 0;
    }
    mouse.acc_x += rel_x;
    mouse.acc_y += rel_y;

    int posted = 0;
    if (JEX_EventState(JEX_MOUSEMOTION, JEX_QUERY) == JEX_ENABLE) {
        JEX_Event event{};
        event.motion.type = JEX_MOUSEMOTION;
        event.motion.window_id = mouse.focus ? mouse.focus->id : 0;
        event.motion.state = mouse.buttons;
        event.motion.x = mouse.x;
        event.motion.y = mouse.y;
        event.motion.rel_x = rel_x;
        event.motion.rel_y = rel_y;
        posted = JEX_PushEvent(&event) > 0;
    }
    mouse.prev_x = mouse.x;
    mouse.prev_y = mouse.y;
    return posted;
}

void JEX_WarpMouseInWindow(JEX_Window *window, int x, int y)
{
    if (JEX_mouse.WarpMouse) {
        JEX_mouse.WarpMouse(window, x, y);
    } else {
        JEX_SendMouseMotion(window, 0, x, y);
    }
}

} // extern "C"
