// Window state reports: keep the window record in step, run the core's
// reactions, coalesce pending moves and resizes, and turn the close of the
// last window into a quit request.
#include "video/sysvideo.h"

#include "events/events_internal.h"

namespace {

bool Has(const JEX_Window *window, Uint32 flag)
{
    return (window->flags & flag) != 0;
}

// Drops queued size reports of the new event's window: RESIZED and
// SIZE_CHANGED replace each other.
int RemovePendingResizes(void *userdata, JEX_Event *event)
{
    const auto *fresh = static_cast<const JEX_Event *>(userdata);
    if (event->type == JEX_WINDOWEVENT && event->window.window_id == fresh->window.window_id &&
        (event->window.event == JEX_WINDOWEVENT_RESIZED ||
         event->window.event == JEX_WINDOWEVENT_SIZE_CHANGED))
        return 0;
    return 1;
}

int RemovePendingMoves(void *userdata, JEX_Event *event)
{
    const auto *fresh = static_cast<const JEX_Event *>(userdata);
    if (event->type == JEX_WINDOWEVENT && event->window.window_id == fresh->window.window_id &&
        event->window.event == JEX_WINDOWEVENT_MOVED)
        return 0;
    return 1;
}

bool UndefinedHalf(int v)
{
    return ((Uint32(v) >> 16) & 0xFFFF) == 0x1FFF;
}

// Applies the report to the window; false when it changes nothing.
bool UpdateWindow(JEX_Window *window, Uint8 code, int param1, int param2)
{
    switch (code) {
    case JEX_WINDOWEVENT_SHOWN:
        if (Has(window, JEX_WINDOW_SHOWN))
            return false;
        window->flags = (window->flags & ~Uint32(JEX_WINDOW_HIDDEN)) | JEX_WINDOW_SHOWN;
        JEX_OnWindowShown(window);
        return true;
    case JEX_WINDOWEVENT_HIDDEN:
        if (!Has(window, JEX_WINDOW_SHOWN))
            return false;
        window->flags = (window->flags & ~Uint32(JEX_WINDOW_SHOWN)) | JEX_WINDOW_HIDDEN;
        JEX_OnWindowHidden(window);
        return true;
    case JEX_WINDOWEVENT_MOVED:
        if (UndefinedHalf(param1) || UndefinedHalf(param2))
            return false;
        if (!Has(window, JEX_WINDOW_FULLSCREEN)) {
            window->windowed.x = param1;
            window->windowed.y = param2;
        }
        if (param1 == window->x && param2 == window->y)
            return false;
        window->x = param1;
        window->y = param2;
        return true;
    case JEX_WINDOWEVENT_RESIZED:
        if (!Has(window, JEX_WINDOW_FULLSCREEN)) {
            window->windowed.w = param1;
            window->windowed.h = param2;
        }
        if (param1 == window->w && param2 == window->h)
            return false;
        window->w = param1;
        window->h = param2;
        JEX_OnWindowResized(window);
        return true;
    case JEX_WINDOWEVENT_SIZE_CHANGED:
        // Every size change ends in this report; the next
        // JEX_GetWindowSurface rebuilds the framebuffer at the new size.
        window->surface_valid = 0;
        return true;
    case JEX_WINDOWEVENT_MINIMIZED:
        if (Has(window, JEX_WINDOW_MINIMIZED))
            return false;
        window->flags |= JEX_WINDOW_MINIMIZED;
        JEX_OnWindowMinimized(window);
        return true;
    case JEX_WINDOWEVENT_MAXIMIZED:
        if (Has(window, JEX_WINDOW_MAXIMIZED))
            return false;
        window->flags |= JEX_WINDOW_MAXIMIZED;
        return true;
    case JEX_WINDOWEVENT_RESTORED:
        if (!Has(window, JEX_WINDOW_MINIMIZED | JEX_WINDOW_MAXIMIZED))
            return false;
        window->flags &= ~Uint32(JEX_WINDOW_MINIMIZED | JEX_WINDOW_MAXIMIZED);
        JEX_OnWindowRestored(window);
        return true;
    case JEX_WINDOWEVENT_ENTER:
        if (Has(window, JEX_WINDOW_MOUSE_FOCUS))
            return false;
        window->flags |= JEX_WINDOW_MOUSE_FOCUS;
        return true;
    case JEX_WINDOWEVENT_LEAVE:
        if (!Has(window, JEX_WINDOW_MOUSE_FOCUS))
            return false;
        window->flags &= ~Uint32(JEX_WINDOW_MOUSE_FOCUS);
        return true;
    case JEX_WINDOWEVENT_FOCUS_GAINED:
        if (Has(window, JEX_WINDOW_INPUT_FOCUS))
            return false;
        window->flags |= JEX_WINDOW_INPUT_FOCUS;
        JEX_OnWindowFocusGained(window);
        return true;
    case JEX_WINDOWEVENT_FOCUS_LOST:
        if (!Has(window, JEX_WINDOW_INPUT_FOCUS))
            return false;
        window->flags &= ~Uint32(JEX_WINDOW_INPUT_FOCUS);
        JEX_OnWindowFocusLost(window);
        return true;
    default: return true;
    }
}

}  // namespace

extern "C" {

int JEX_SendWindowEvent(JEX_Window *window, Uint8 windowevent, int param1, int param2)
{
    if (!window)
        return 0;
    if (!UpdateWindow(window, windowevent, param1, param2))
        return 0;
    int posted = 0;
    if (JEX_EventState(JEX_WINDOWEVENT, JEX_QUERY) == JEX_ENABLE) {
        JEX_Event event{};
        event.window.type = JEX_WINDOWEVENT;
        event.window.window_id = window->id;
        event.window.event = windowevent;
        event.window.param1 = param1;
        event.window.param2 = param2;
        if (windowevent == JEX_WINDOWEVENT_RESIZED || windowevent == JEX_WINDOWEVENT_SIZE_CHANGED)
            JEX_FilterEvents(RemovePendingResizes, &event);
        else if (windowevent == JEX_WINDOWEVENT_MOVED)
            JEX_FilterEvents(RemovePendingMoves, &event);
        posted = JEX_PushEvent(&event) > 0;
    }
    if (windowevent == JEX_WINDOWEVENT_CLOSE && !window->prev && !window->next)
        JEX_SendQuit();
    return posted;
}

}  // extern "C"
