// Test harness event logger and hot keys.
#include "common.h"

#include <cstdio>
#include <cstdlib>

namespace {

void PrintWindowEvent(const JEX_WindowEvent &e)
{
    const int id = static_cast<int>(e.window_id);
    switch (e.event) {
    case JEX_WINDOWEVENT_SHOWN: std::fprintf(stderr, "Window %d shown", id); break;
    case JEX_WINDOWEVENT_HIDDEN: std::fprintf(stderr, "Window %d hidden", id); break;
    case JEX_WINDOWEVENT_EXPOSED: std::fprintf(stderr, "Window %d exposed", id); break;
    case JEX_WINDOWEVENT_MOVED:
        std::fprintf(stderr, "Window %d moved to %d,%d", id, e.param1, e.param2);
        break;
    case JEX_WINDOWEVENT_RESIZED:
        std::fprintf(stderr, "Window %d resized to %dx%d", id, e.param1, e.param2);
        break;
    case JEX_WINDOWEVENT_MINIMIZED: std::fprintf(stderr, "Window %d minimized", id); break;
    case JEX_WINDOWEVENT_MAXIMIZED: std::fprintf(stderr, "Window %d maximized", id); break;
    case JEX_WINDOWEVENT_RESTORED: std::fprintf(stderr, "Window %d restored", id); break;
    case JEX_WINDOWEVENT_ENTER: std::fprintf(stderr, "Mouse entered window %d", id); break;
    case JEX_WINDOWEVENT_LEAVE: std::fprintf(stderr, "Mouse left window %d", id); break;
    case JEX_WINDOWEVENT_FOCUS_GAINED:
        std::fprintf(stderr, "Window %d gained keyboard focus", id);
        break;
    case JEX_WINDOWEVENT_FOCUS_LOST:
        std::fprintf(stderr, "Window %d lost keyboard focus", id);
        break;
    case JEX_WINDOWEVENT_CLOSE: std::fprintf(stderr, "Window %d closed", id); break;
    default: std::fprintf(stderr, "Window %d got unknown event %d", id, e.event); break;
    }
}

const char *HatWord(Uint8 value)
{
    switch (value) {
    case 0: return "CENTER";
    case 1: return "UP";
    case 2: return "RIGHT";
    case 3: return "RIGHTUP";
    case 4: return "DOWN";
    case 6: return "RIGHTDOWN";
    case 8: return "LEFT";
    case 9: return "LEFTUP";
    case 12: return "LEFTDOWN";
    default: return "UNKNOWN";
    }
}

void PrintKey(const char *what, const JEX_KeyboardEvent &e)
{
    const JEX_KeyInfo &k = e.keyinfo;
    std::fprintf(stderr, "Keyboard: key %s in window %d: scancode 0x%08X = %s, keycode 0x%08X = %s",
                 what, static_cast<int>(e.window_id), k.scancode, JEX_GetScancodeName(k.scancode),
                 static_cast<unsigned>(k.keycode), JEX_GetKeyName(k.keycode));
}

void PrintEvent(const JEX_Event *event)
{
    std::fprintf(stderr, "JEX EVENT: ");
    switch (event->type) {
    case JEX_QUIT: std::fprintf(stderr, "Quit requested"); break;
    case JEX_WINDOWEVENT: PrintWindowEvent(event->window); break;
    case JEX_KEYDOWN: PrintKey("pressed ", event->key); break;
    case JEX_KEYUP: PrintKey("released", event->key); break;
    case JEX_TEXTINPUT:
        std::fprintf(stderr, "Keyboard: text input \"%s\" in window %d", event->text.text,
                     static_cast<int>(event->text.window_id));
        break;
    case JEX_MOUSEMOTION:
        std::fprintf(stderr, "Mouse: moved to %d,%d (%d,%d) in window %d", event->motion.x,
                     event->motion.y, event->motion.rel_x, event->motion.rel_y,
                     static_cast<int>(event->motion.window_id));
        break;
    case JEX_MOUSEBUTTONDOWN:
    case JEX_MOUSEBUTTONUP:
        std::fprintf(stderr, "Mouse: button %d %s at %d,%d in window %d", event->button.button,
                     event->type == JEX_MOUSEBUTTONDOWN ? "pressed" : "released", event->button.x,
                     event->button.y, static_cast<int>(event->button.window_id));
        break;
    case JEX_MOUSEWHEEL:
        std::fprintf(stderr, "Mouse: wheel scrolled %d in x and %d in y in window %d",
                     event->wheel.x, event->wheel.y, static_cast<int>(event->wheel.window_id));
        break;
    case JEX_JOYBALLMOTION:
        std::fprintf(stderr, "Joystick %d: ball %d moved by %d,%d", event->jball.which,
                     event->jball.ball, event->jball.rel_x, event->jball.rel_y);
        break;
    case JEX_JOYHATMOTION:
        std::fprintf(stderr, "Joystick %d: hat %d moved to %s", event->jhat.which, event->jhat.hat,
                     HatWord(event->jhat.value));
        break;
    case JEX_JOYBUTTONDOWN:
    case JEX_JOYBUTTONUP:
        std::fprintf(stderr, "Joystick %d: button %d %s", event->jbutton.which,
                     event->jbutton.button,
                     event->type == JEX_JOYBUTTONDOWN ? "pressed" : "released");
        break;
    case JEX_CLIPBOARDUPDATE: std::fprintf(stderr, "Clipboard updated"); break;
    case JEX_USEREVENT: std::fprintf(stderr, "User event %d", event->user.code); break;
    default: std::fprintf(stderr, "Unknown event %d", static_cast<int>(event->type)); break;
    }
    std::fprintf(stderr, "\n");
}

// The window is destroyed and forgotten: its slot, and the renderer that
// went with it, become null so that nobody draws into a dead window.
void CloseWindow(CommonState *state, JEX_Window *window)
{
    JEX_DestroyWindow(window);
    if (!state->windows)
        return;
    for (int i = 0; i < state->num_windows; ++i) {
        if (state->windows[i] == window) {
            state->windows[i] = nullptr;
            if (state->renderers)
                state->renderers[i] = nullptr;
        }
    }
}

// Saves what the window's renderer shows as screenshot.bmp. The surface is
// freed exactly once, and a failed read saves nothing.
void Screenshot(CommonState *state, JEX_Window *window)
{
    if (!state->windows || !state->renderers)
        return;
    for (int i = 0; i < state->num_windows; ++i) {
        JEX_Renderer *renderer = state->renderers[i];
        if (state->windows[i] != window || !renderer)
            continue;
        JEX_Rect viewport;
        JEX_RenderGetViewport(renderer, &viewport);
        JEX_Surface *shot = JEX_CreateRGBSurface(0, viewport.w, viewport.h, 24, 0x000000FF,
                                                 0x0000FF00, 0x00FF0000, 0x00000000);
        if (!shot) {
            std::fprintf(stderr, "Couldn't create surface: %s\n", JEX_GetError());
            continue;
        }
        if (JEX_RenderReadPixels(renderer, nullptr, shot->format->format, shot->pixels,
                                 shot->pitch) < 0)
            std::fprintf(stderr, "Couldn't read screen: %s\n", JEX_GetError());
        else if (JEX_SaveBMP_RW(shot, JEX_RWFromFile("screenshot.bmp", "wb"), 1) < 0)
            std::fprintf(stderr, "Couldn't save screenshot.bmp: %s\n", JEX_GetError());
        JEX_FreeSurface(shot);
    }
}

void HotKey(CommonState *state, const JEX_KeyboardEvent &e, int *done)
{
    const Sint32 key = e.keyinfo.keycode;
    if (key == 27) {  // Escape, with or without modifiers
        *done = 1;
        return;
    }
    if (key == 0x40000046) {  // Print Screen, with or without modifiers
        if (JEX_Window *window = JEX_GetWindowFromID(e.window_id))
            Screenshot(state, window);
        return;
    }
    const bool control = (e.keyinfo.modifiers & (JEX_KEYMOD_LCTRL | JEX_KEYMOD_RCTRL)) != 0;
    if (!control)
        return;
    JEX_Window *window = JEX_GetWindowFromID(e.window_id);
    if (!window)
        return;
    switch (key) {
    case 13:  // Return
        JEX_SetWindowFullscreen(
            window, (JEX_GetWindowFlags(window) & JEX_WINDOW_FULLSCREEN) ? JEX_FALSE : JEX_TRUE);
        break;
    case 'm':
        if (JEX_GetWindowFlags(window) & JEX_WINDOW_MAXIMIZED)
            JEX_RestoreWindow(window);
        else
            JEX_MaximizeWindow(window);
        break;
    case 'z': JEX_MinimizeWindow(window); break;
    case 'g': JEX_SetWindowGrab(window, JEX_GetWindowGrab(window) ? JEX_FALSE : JEX_TRUE); break;
    case 'r': JEX_SetRelativeMouseMode(JEX_GetRelativeMouseMode() ? JEX_FALSE : JEX_TRUE); break;
    case 'c':
        JEX_SetClipboardText("JEX rocks!\nYou know it!");
        std::printf("Copied text to clipboard\n");
        break;
    case 'v': {
        char *text = JEX_GetClipboardText();
        if (text && *text)
            std::printf("Clipboard: %s\n", text);
        else
            std::printf("Clipboard is empty\n");
        std::free(text);
        break;
    }
    default: break;
    }
}

}  // namespace

extern "C" {

void CommonEvent(CommonState *state, JEX_Event *event, int *done)
{
    if (state->info_flags & INFO_EVENT)
        PrintEvent(event);
    switch (event->type) {
    case JEX_QUIT: *done = 1; break;
    case JEX_WINDOWEVENT:
        if (event->window.event == JEX_WINDOWEVENT_CLOSE) {
            JEX_Window *window = JEX_GetWindowFromID(event->window.window_id);
            if (window)
                CloseWindow(state, window);
        }
        break;
    case JEX_KEYDOWN: HotKey(state, event->key, done); break;
    default: break;
    }
}

}  // extern "C"
