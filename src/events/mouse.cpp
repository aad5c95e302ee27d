// Mouse state: focus, position, relative motion, buttons and wheel, and the
// cursors that the platform driver makes and shows.
#include "events/mouse_internal.h"

#include "JEX_error.h"
#include "events/events_internal.h"
#include "events/input_window.h"

#include <climits>
#include <cstdint>

namespace {

// The one pointer. It belongs to the thread that started video, like the
// windows it refers to; nothing here is shared with other threads.
struct MouseState {
    JEX_Window *focus = nullptr;
    int x = 0, y = 0;
    int acc_x = 0, acc_y = 0;
    int prev_x = 0, prev_y = 0;
    Uint8 buttons = 0;
    Uint32 high_buttons = 0;  // buttons 9 to 32, which have no bit in buttons
    int relative_on = 0;
    JEX_Cursor *cursor_list = nullptr;     // newest first
    JEX_Cursor *default_cursor = nullptr;  // not in the list
    JEX_Cursor *current_cursor = nullptr;
    int cursor_visible = 0;
};

MouseState JEX_mouse;

// The focus step every sender starts with: a window other than the focus
// takes it over; null leaves the focus alone.
void TakeFocus(JEX_Window *window)
{
    if (window && window != JEX_mouse.focus)
        JEX_SetMouseFocus(window);
}

Uint32 FocusId()
{
    return JEX_InputWindowID(JEX_mouse.focus);
}

// Drivers report raw numbers; sums saturate rather than overflow.
int ClampInt(std::int64_t v)
{
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

bool InCursorList(const JEX_Cursor *cursor)
{
    for (const JEX_Cursor *c = JEX_mouse.cursor_list; c; c = c->next)
        if (c == cursor)
            return true;
    return false;
}

// Shows the current cursor, or hides the pointer when there is none, the
// application hid it, or relative mode is on.
void ApplyCursor()
{
    MouseState &mouse = JEX_mouse;
    JEX_Cursor *cursor = mouse.current_cursor;
    JEX_InputShowCursor(cursor && mouse.cursor_visible && !mouse.relative_on ? cursor : nullptr);
}

}  // namespace

extern "C" {

int JEX_MouseInit(void)
{
    JEX_mouse.cursor_visible = 1;
    return 0;
}

void JEX_MouseQuit(void) {}

void JEX_MouseReleaseDriver(void)
{
    MouseState &mouse = JEX_mouse;
    mouse.current_cursor = nullptr;
    while (JEX_Cursor *cursor = mouse.cursor_list) {
        mouse.cursor_list = cursor->next;
        JEX_InputFreeCursor(cursor);
    }
    if (JEX_Cursor *cursor = mouse.default_cursor) {
        mouse.default_cursor = nullptr;
        JEX_InputFreeCursor(cursor);
    }
    // The windows and the pointer mode belonged to the device.
    mouse.focus = nullptr;
    mouse.relative_on = 0;
}

JEX_Window *JEX_GetMouseFocus(void)
{
    return JEX_mouse.focus;
}

void JEX_SetMouseFocus(JEX_Window *window)
{
    MouseState &mouse = JEX_mouse;
    if (window == mouse.focus)
        return;
    if (mouse.focus)
        JEX_InputWindowFocus(mouse.focus, JEX_WINDOWEVENT_LEAVE);
    mouse.focus = window;
    if (window)
        JEX_InputWindowFocus(window, JEX_WINDOWEVENT_ENTER);
}

Uint8 JEX_GetMouseState(int *x, int *y)
{
    if (x)
        *x = JEX_mouse.x;
    if (y)
        *y = JEX_mouse.y;
    return JEX_mouse.buttons;
}

Uint8 JEX_GetRelativeMouseState(int *dx, int *dy)
{
    if (dx)
        *dx = JEX_mouse.acc_x;
    if (dy)
        *dy = JEX_mouse.acc_y;
    JEX_mouse.acc_x = 0;
    JEX_mouse.acc_y = 0;
    return JEX_mouse.buttons;
}

int JEX_SendMouseMotion(JEX_Window *window, int relative, int x, int y)
{
    MouseState &mouse = JEX_mouse;
    TakeFocus(window);

    int rel_x, rel_y, target_x, target_y;
    if (relative) {
        rel_x = x;
        rel_y = y;
        target_x = ClampInt(std::int64_t(mouse.prev_x) + x);
        target_y = ClampInt(std::int64_t(mouse.prev_y) + y);
    } else {
        rel_x = ClampInt(std::int64_t(x) - mouse.prev_x);
        rel_y = ClampInt(std::int64_t(y) - mouse.prev_y);
        target_x = x;
        target_y = y;
    }
    if (rel_x == 0 && rel_y == 0)
        return 0;
    if (mouse.relative_on) {
        mouse.x = ClampInt(std::int64_t(mouse.x) + rel_x);
        mouse.y = ClampInt(std::int64_t(mouse.y) + rel_y);
    } else {
        mouse.x = target_x;
        mouse.y = target_y;
    }
    // The pointer never leaves the focus window; with none it rests at 0,0.
    int w = 0, h = 0;
    if (mouse.focus)
        JEX_InputWindowSize(mouse.focus, &w, &h);
    if (mouse.x > w - 1)
        mouse.x = w - 1;
    if (mouse.x < 0)
        mouse.x = 0;
    if (mouse.y > h - 1)
        mouse.y = h - 1;
    if (mouse.y < 0)
        mouse.y = 0;
    mouse.acc_x = ClampInt(std::int64_t(mouse.acc_x) + rel_x);
    mouse.acc_y = ClampInt(std::int64_t(mouse.acc_y) + rel_y);

    int posted = 0;
    if (JEX_EventState(JEX_MOUSEMOTION, JEX_QUERY) == JEX_ENABLE) {
        JEX_Event event{};
        event.motion.type = JEX_MOUSEMOTION;
        event.motion.window_id = FocusId();
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

int JEX_SendMouseButton(JEX_Window *window, Uint8 state, Uint8 button)
{
    MouseState &mouse = JEX_mouse;
    TakeFocus(window);

    // Buttons count from 1. Those past the 8-bit mask are tracked on the
    // side so that their releases are reported as well as their presses.
    if (button == 0 || button > JEX_MOUSE_MAX_BUTTON)
        return 0;
    const Uint32 bit = Uint32(1) << (button - 1);
    const bool low = button <= 8;
    const bool held = low ? (mouse.buttons & bit) != 0 : (mouse.high_buttons & bit) != 0;
    Uint32 type;
    if (state == JEX_PRESSED) {
        if (held)
            return 0;
        if (low)
            mouse.buttons = Uint8(mouse.buttons | bit);
        else
            mouse.high_buttons |= bit;
        type = JEX_MOUSEBUTTONDOWN;
    } else if (state == JEX_RELEASED) {
        if (!held)
            return 0;
        if (low)
            mouse.buttons = Uint8(mouse.buttons & ~bit);
        else
            mouse.high_buttons &= ~bit;
        type = JEX_MOUSEBUTTONUP;
    } else {
        return 0;
    }
    if (JEX_EventState(type, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event{};
    event.button.type = type;
    event.button.window_id = FocusId();
    event.button.button = button;
    event.button.state = state;
    event.button.x = mouse.x;
    event.button.y = mouse.y;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

int JEX_SendMouseWheel(JEX_Window *window, int x, int y)
{
    TakeFocus(window);
    if (x == 0 && y == 0)
        return 0;
    if (JEX_EventState(JEX_MOUSEWHEEL, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event{};
    event.wheel.type = JEX_MOUSEWHEEL;
    event.wheel.window_id = FocusId();
    event.wheel.x = x;
    event.wheel.y = y;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

void JEX_WarpMouseInWindow(JEX_Window *window, int x, int y)
{
    MouseState &mouse = JEX_mouse;
    // No window means the focus window; with neither there is nowhere to go.
    if (!window) {
        window = mouse.focus;
        if (!window)
            return;
    }
    if (!JEX_InputWindowIsLive(window))
        return;
    if (!JEX_InputWarpMouse(window, x, y))
        JEX_SendMouseMotion(window, 0, x, y);
}

int JEX_SetRelativeMouseMode(JEX_bool enabled)
{
    MouseState &mouse = JEX_mouse;
    const int on = enabled ? 1 : 0;
    if (on == mouse.relative_on)
        return 0;
    if (JEX_InputSetRelativeMouseMode(on ? JEX_TRUE : JEX_FALSE) < 0)
        return -1;
    mouse.relative_on = on;
    // The system pointer reappears where the application's pointer is;
    // without a focus window there is no place to put it.
    if (!on && mouse.focus)
        JEX_WarpMouseInWindow(mouse.focus, mouse.x, mouse.y);
    JEX_FlushEvent(JEX_MOUSEMOTION);
    ApplyCursor();
    return 0;
}

JEX_bool JEX_GetRelativeMouseMode(void)
{
    return JEX_mouse.relative_on ? JEX_TRUE : JEX_FALSE;
}

JEX_Cursor *JEX_CreateCursor(const Uint8 *data, const Uint8 *mask, int w, int h, int hot_x,
                             int hot_y)
{
    if (!data || !mask) {
        JEX_SetError("Passed NULL cursor data");
        return nullptr;
    }
    if (w <= 0 || h <= 0 || w > INT_MAX - 7) {
        JEX_SetError("Cursor hot spot doesn't lie within cursor");
        return nullptr;
    }
    w = (w + 7) & ~7;
    JEX_Surface *surface =
        JEX_CreateRGBSurface(0, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface)
        return nullptr;
    // Each row reads w / 8 bytes of both arrays, most significant bit first.
    for (int row = 0; row < h; ++row) {
        auto *pixel = reinterpret_cast<Uint32 *>(static_cast<Uint8 *>(surface->pixels) +
                                                 std::ptrdiff_t(row) * surface->pitch);
        Uint8 datab = 0, maskb = 0;
        for (int col = 0; col < w; ++col) {
            if (col % 8 == 0) {
                datab = *data++;
                maskb = *mask++;
            }
            const bool d = (datab & 0x80) != 0;
            const bool m = (maskb & 0x80) != 0;
            datab = Uint8(datab << 1);
            maskb = Uint8(maskb << 1);
            // Inverting pixels (mask 0, data 1) cannot be drawn in colour:
            // black stands in for them.
            pixel[col] = m ? (d ? 0xFF000000u : 0xFFFFFFFFu) : (d ? 0xFF000000u : 0x00000000u);
        }
    }
    JEX_Cursor *cursor = JEX_CreateColorCursor(surface, hot_x, hot_y);
    JEX_FreeSurface(surface);
    return cursor;
}

JEX_Cursor *JEX_CreateColorCursor(JEX_Surface *surface, int hot_x, int hot_y)
{
    MouseState &mouse = JEX_mouse;
    if (!surface) {
        JEX_SetError("Passed NULL cursor surface");
        return nullptr;
    }
    if (!JEX_InputHasCursors()) {
        JEX_SetError("Cursors are not currently supported");
        return nullptr;
    }
    if (hot_x < 0 || hot_y < 0 || hot_x >= surface->w || hot_y >= surface->h) {
        JEX_SetError("Cursor hot spot doesn't lie within cursor");
        return nullptr;
    }
    JEX_Surface *converted = nullptr;
    JEX_Surface *argb = surface;
    if (!surface->format || surface->format->format != JEX_PIXELFORMAT_ARGB8888) {
        converted = JEX_ConvertSurfaceFormat(surface, JEX_PIXELFORMAT_ARGB8888, 0);
        if (!converted)
            return nullptr;
        argb = converted;
    }
    JEX_Cursor *cursor = JEX_InputCreateCursor(argb, hot_x, hot_y);
    if (cursor) {
        cursor->next = mouse.cursor_list;
        mouse.cursor_list = cursor;
    }
    if (converted)
        JEX_FreeSurface(converted);
    return cursor;
}

void JEX_SetCursor(JEX_Cursor *cursor)
{
    MouseState &mouse = JEX_mouse;
    if (cursor) {
        if (cursor != mouse.default_cursor && !InCursorList(cursor)) {
            JEX_SetError("Cursor not associated with the current mouse");
            return;
        }
        mouse.current_cursor = cursor;
    }
    ApplyCursor();
}

JEX_Cursor *JEX_GetCursor(void)
{
    return JEX_mouse.current_cursor;
}

void JEX_SetDefaultCursor(JEX_Cursor *cursor)
{
    JEX_mouse.default_cursor = cursor;
    if (!JEX_mouse.current_cursor)
        JEX_SetCursor(cursor);
}

void JEX_FreeCursor(JEX_Cursor *cursor)
{
    MouseState &mouse = JEX_mouse;
    if (!cursor || cursor == mouse.default_cursor)
        return;
    if (cursor == mouse.current_cursor) {
        if (mouse.default_cursor) {
            JEX_SetCursor(mouse.default_cursor);
        } else {
            // Nothing to fall back on: the pointer is hidden rather than
            // left showing a cursor that is about to go.
            mouse.current_cursor = nullptr;
            ApplyCursor();
        }
    }
    for (JEX_Cursor **link = &mouse.cursor_list; *link; link = &(*link)->next) {
        if (*link == cursor) {
            *link = cursor->next;
            JEX_InputFreeCursor(cursor);
            return;
        }
    }
}

int JEX_ShowCursor(int toggle)
{
    MouseState &mouse = JEX_mouse;
    const int shown = mouse.cursor_visible ? 1 : 0;
    if (toggle >= 0) {
        const int visible = toggle ? 1 : 0;
        if (visible != shown) {
            mouse.cursor_visible = visible;
            ApplyCursor();
        }
    }
    return shown;
}

}  // extern "C"
