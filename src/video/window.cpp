// Windows: creation, destruction, validity, title, icon, user data,
// geometry, visibility, full-screen arbitration, grab, gamma ramps, the
// screen saver, text input, window-system information and the clipboard.
#include "video/sysvideo.h"

#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "events/touch_internal.h"
#include "render/render_internal.h"

#include "JEX_error.h"
#include "JEX_events.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kRampEntries = 256;
constexpr Uint32 kCreateFlagsKept =
    JEX_WINDOW_OPENGL | JEX_WINDOW_BORDERLESS | JEX_WINDOW_RESIZABLE;

// Width and height a window may be given: positive, and no larger than
// every driver can carry (X keeps window sizes in 16 bits).
bool SizeAllowed(int w, int h)
{
    if (w <= 0 || h <= 0) {
        JEX_SetError("Window width and height must be positive (%dx%d)", w, h);
        return false;
    }
    if (w > JEX_MAX_WINDOW_SIZE || h > JEX_MAX_WINDOW_SIZE) {
        JEX_SetError("Window size %dx%d is too large (at most %d)", w, h, JEX_MAX_WINDOW_SIZE);
        return false;
    }
    return true;
}

// The framebuffer and its surface belong to the native window: both go
// before it does. The surface was handed out undeletable, so the flag comes
// off first.
void ReleaseFramebuffer(JEX_VideoDevice *device, JEX_Window *window)
{
    if (JEX_Surface *surface = window->surface) {
        window->surface = nullptr;
        surface->flags &= ~Uint32(JEX_SURFACE_DONTFREE);
        JEX_FreeSurface(surface);
    }
    window->surface_valid = 0;
    if (device->DestroyWindowFramebuffer)
        device->DestroyWindowFramebuffer(device, window);
}

bool IsPositionCode(int v)
{
    return JEX_WINDOWPOS_ISUNDEFINED(v) || JEX_WINDOWPOS_ISCENTERED(v);
}

int ClampInt(long long v)
{
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// dx * dx + dy * dy, saturating at LLONG_MAX.
long long SquaredDistance(long long dx, long long dy)
{
    constexpr long long kRootMax = 3037000499;  // floor(sqrt(LLONG_MAX))
    const auto square = [](long long d) {
        d = d < 0 ? -d : d;
        return d > kRootMax ? LLONG_MAX : d * d;
    };
    const long long a = square(dx), b = square(dy);
    return a > LLONG_MAX - b ? LLONG_MAX : a + b;
}

// Centre of bounds for a window of the given extent, halves rounding toward
// zero as integer division does.
int Centred(int origin, int extent, int size)
{
    return ClampInt(origin + ((long long)extent - size) / 2);
}

JEX_Rect WindowDisplayBounds(JEX_Window *window)
{
    JEX_Rect bounds{0, 0, 0, 0};
    const int index = JEX_GetWindowDisplay(window);
    if (index >= 0)
        JEX_GetDisplayBounds(index, &bounds);
    return bounds;
}

void GiveBackGl(JEX_Window *window)
{
    if (window->gl_loaded) {
        window->gl_loaded = 0;
        JEX_GL_UnloadLibrary();
    }
}

void TakeGl(JEX_Window *window)
{
    if (!window->gl_loaded && JEX_GL_LoadLibrary(nullptr) == 0)
        window->gl_loaded = 1;
}

void LinkWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    window->prev = nullptr;
    window->next = device->windows;
    if (device->windows)
        device->windows->prev = window;
    device->windows = window;
}

JEX_Window *NewWindow(JEX_VideoDevice *device)
{
    auto *window = static_cast<JEX_Window *>(std::calloc(1, sizeof(JEX_Window)));
    if (!window) {
        JEX_OutOfMemory();
        return nullptr;
    }
    window->magic = &device->window_magic;
    window->id = device->next_object_id++;
    window->brightness = 1.0f;
    return window;
}

// Makes sure the window has its gamma block: gamma and the ramp found at
// first use right behind it.
int EnsureGamma(JEX_VideoDevice *device, JEX_Window *window)
{
    if (window->gamma)
        return 0;
    auto *block = static_cast<Uint16 *>(std::malloc(2 * 3 * kRampEntries * sizeof(Uint16)));
    if (!block) {
        JEX_OutOfMemory();
        return -1;
    }
    if (device->GetWindowGammaRamp) {
        if (device->GetWindowGammaRamp(device, window, block) < 0) {
            std::free(block);
            return -1;
        }
    } else {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kRampEntries; ++i)
                block[c * kRampEntries + i] = Uint16(i * 257);
    }
    std::memcpy(block + 3 * kRampEntries, block, 3 * kRampEntries * sizeof(Uint16));
    window->gamma = block;
    window->saved_gamma = block + 3 * kRampEntries;
    return 0;
}

void WarpIfMouseFocus(JEX_Window *window)
{
    if (JEX_GetMouseFocus() == window) {
        int x = 0, y = 0;
        JEX_GetMouseState(&x, &y);
        JEX_WarpMouseInWindow(window, x, y);
    }
}

}  // namespace

// The device and window checks every window operation starts with.
JEX_VideoDevice *JEX_CheckWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device) {
        JEX_SetError("Video subsystem has not been initialized");
        return nullptr;
    }
    if (!JEX_IsLiveWindow(device, window)) {
        JEX_SetError("Invalid window");
        return nullptr;
    }
    return device;
}

extern "C" {

int JEX_IsLiveWindow(const JEX_VideoDevice *device, const JEX_Window *window)
{
    if (!device || !window)
        return 0;
    for (const JEX_Window *w = device->windows; w; w = w->next)
        if (w == window)
            return window->magic == &device->window_magic;
    return 0;
}

JEX_Window *JEX_CreateWindow(const char *title, int x, int y, int w, int h, Uint32 flags)
{
    if (!SizeAllowed(w, h))
        return nullptr;
    if (!JEX_GetVideoDevice() && JEX_VideoInit(nullptr) < 0)
        return nullptr;
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    flags |= JEX_WINDOW_OPENGL;
    if (!device->GL_CreateContext) {
        JEX_SetError("No OpenGL support in video driver");
        return nullptr;
    }
    JEX_Window *window = NewWindow(device);
    if (!window)
        return nullptr;
    // Linked first: the window calls below accept only listed windows.
    LinkWindow(device, window);
    // A failed load does not stop the window; it just holds no load then.
    TakeGl(window);

    window->x = x;
    window->y = y;
    window->w = w;
    window->h = h;
    if (IsPositionCode(x) || IsPositionCode(y)) {
        const JEX_Rect bounds = WindowDisplayBounds(window);
        if (IsPositionCode(x))
            window->x = Centred(bounds.x, bounds.w, w);
        if (IsPositionCode(y))
            window->y = Centred(bounds.y, bounds.h, h);
    }
    window->flags = (flags & kCreateFlagsKept) | JEX_WINDOW_OPENGL | JEX_WINDOW_HIDDEN;

    if (device->CreateWindow && device->CreateWindow(device, window) < 0) {
        JEX_DestroyWindow(window);
        return nullptr;
    }
    if (title)
        JEX_SetWindowTitle(window, title);
    JEX_FinishWindowCreation(window, flags);
    return window;
}

JEX_Window *JEX_CreateWindowFrom(const void *data)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device) {
        JEX_SetError("Video subsystem has not been initialized");
        return nullptr;
    }
    JEX_Window *window = NewWindow(device);
    if (!window)
        return nullptr;
    window->flags = JEX_WINDOW_FOREIGN;
    LinkWindow(device, window);
    if (!device->CreateWindowFrom) {
        JEX_Unsupported();
        JEX_DestroyWindow(window);
        return nullptr;
    }
    if (device->CreateWindowFrom(device, window, data) < 0) {
        JEX_DestroyWindow(window);
        return nullptr;
    }
    return window;
}

int JEX_RecreateWindow(JEX_Window *window, Uint32 flags)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return -1;
    if ((flags & JEX_WINDOW_OPENGL) && !device->GL_CreateContext) {
        JEX_SetError("No OpenGL support in video driver");
        return -1;
    }
    if (window->flags & JEX_WINDOW_FOREIGN)
        flags |= JEX_WINDOW_FOREIGN;
    else
        flags &= ~Uint32(JEX_WINDOW_FOREIGN);
    const bool foreign = (flags & JEX_WINDOW_FOREIGN) != 0;

    JEX_HideWindow(window);
    ReleaseFramebuffer(device, window);
    if (device->DestroyWindow && !foreign)
        device->DestroyWindow(device, window);
    // A context current on the old drawable is current on nothing now.
    JEX_GL_TouchCurrent();

    const bool had_gl = (window->flags & JEX_WINDOW_OPENGL) != 0;
    const bool wants_gl = (flags & JEX_WINDOW_OPENGL) != 0;
    if (had_gl && !wants_gl)
        GiveBackGl(window);
    else if (!had_gl && wants_gl)
        TakeGl(window);

    char *title = window->title;
    window->title = nullptr;
    window->flags = (flags & kCreateFlagsKept) | JEX_WINDOW_HIDDEN;

    if (device->CreateWindow && !foreign) {
        if (device->CreateWindow(device, window) < 0) {
            // The window's own load, if any, goes back once; destroying the
            // window later finds nothing more to give back.
            if (wants_gl)
                GiveBackGl(window);
            std::free(title);
            return -1;
        }
    }
    if (title) {
        JEX_SetWindowTitle(window, title);
        std::free(title);
    }
    JEX_FinishWindowCreation(window, flags);
    return 0;
}

void JEX_FinishWindowCreation(JEX_Window *window, Uint32 flags)
{
    window->windowed.x = window->x;
    window->windowed.y = window->y;
    window->windowed.w = window->w;
    window->windowed.h = window->h;
    if (flags & JEX_WINDOW_MAXIMIZED)
        JEX_MaximizeWindow(window);
    if (flags & JEX_WINDOW_MINIMIZED)
        JEX_MinimizeWindow(window);
    if (flags & JEX_WINDOW_FULLSCREEN)
        JEX_SetWindowFullscreen(window, JEX_TRUE);
    if (flags & JEX_WINDOW_INPUT_GRABBED)
        JEX_SetWindowGrab(window, JEX_TRUE);
    if (!(flags & JEX_WINDOW_HIDDEN))
        JEX_ShowWindow(window);
}

void JEX_DestroyWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || window->is_destroying)
        return;
    window->is_destroying = 1;
    JEX_HideWindow(window);

    // No input source may keep pointing at the window once it is gone.
    if (JEX_GetKeyboardFocus() == window)
        JEX_SetKeyboardFocus(nullptr);
    if (JEX_GetMouseFocus() == window)
        JEX_SetMouseFocus(nullptr);
    for (int i = 0; i < JEX_GetNumTouch(); ++i) {
        JEX_Touch *touch = JEX_GetTouchIndex(i);
        if (touch && touch->focus == window)
            JEX_SetTouchFocus(touch->id, nullptr);
    }

    // The user's renderer draws into the framebuffer (or the window's GL
    // context): it goes first.
    JEX_DestroyWindowRenderer(window);
    ReleaseFramebuffer(device, window);
    if (device->DestroyWindow)
        device->DestroyWindow(device, window);
    GiveBackGl(window);

    // The window may own a display other than the one its position names
    // now; no display keeps a destroyed owner or its full-screen mode.
    for (int i = 0; i < device->num_displays; ++i) {
        JEX_VideoDisplay *display = &device->displays[i];
        if (display->fullscreen_window == window) {
            display->fullscreen_window = nullptr;
            JEX_SetDisplayModeForDisplay(display, nullptr);
        }
    }

    window->magic = nullptr;
    std::free(window->title);
    std::free(window->gamma);
    for (JEX_WindowUserData *entry = window->data; entry;) {
        JEX_WindowUserData *next = entry->next;
        std::free(entry->name);
        std::free(entry);
        entry = next;
    }
    if (window->next)
        window->next->prev = window->prev;
    if (window->prev)
        window->prev->next = window->next;
    else
        device->windows = window->next;
    std::free(window);
}

JEX_Window *JEX_GetWindowFromID(Uint32 id)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device)
        return nullptr;
    for (JEX_Window *window = device->windows; window; window = window->next)
        if (window->id == id)
            return window;
    return nullptr;
}

Uint32 JEX_GetWindowID(JEX_Window *window)
{
    return JEX_CheckWindow(window) ? window->id : 0;
}

Uint32 JEX_GetWindowFlags(JEX_Window *window)
{
    return JEX_CheckWindow(window) ? window->flags : 0;
}

JEX_Window *JEX_GetFocusWindow(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device)
        return nullptr;
    for (JEX_Window *window = device->windows; window; window = window->next)
        if (window->flags & JEX_WINDOW_INPUT_FOCUS)
            return window;
    return nullptr;
}

void JEX_SetWindowTitle(JEX_Window *window, const char *title)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || title == window->title)
        return;
    char *copy = nullptr;
    if (title && *title) {
        copy = strdup(title);
        if (!copy) {
            JEX_OutOfMemory();
            return;
        }
    }
    std::free(window->title);
    window->title = copy;
    if (device->SetWindowTitle)
        device->SetWindowTitle(device, window);
}

const char *JEX_GetWindowTitle(JEX_Window *window)
{
    if (!JEX_CheckWindow(window))
        return "";
    return window->title ? window->title : "";
}

void JEX_SetWindowIcon(JEX_Window *window, JEX_Surface *icon)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || !icon)
        return;
    if (device->SetWindowIcon)
        device->SetWindowIcon(device, window, icon);
}

void *JEX_SetWindowData(JEX_Window *window, const char *name, void *userdata)
{
    if (!JEX_CheckWindow(window))
        return nullptr;
    if (!name) {
        JEX_SetError("Parameter '%s' is invalid", "name");
        return nullptr;
    }
    JEX_WindowUserData *prev = nullptr;
    for (JEX_WindowUserData *entry = window->data; entry; prev = entry, entry = entry->next) {
        if (std::strcmp(entry->name, name) == 0) {
            void *old = entry->data;
            if (userdata) {
                entry->data = userdata;
            } else {
                if (prev)
                    prev->next = entry->next;
                else
                    window->data = entry->next;
                std::free(entry->name);
                std::free(entry);
            }
            return old;
        }
    }
    if (userdata) {
        auto *entry = static_cast<JEX_WindowUserData *>(std::malloc(sizeof(JEX_WindowUserData)));
        char *copy = entry ? strdup(name) : nullptr;
        if (!copy) {
            std::free(entry);
            JEX_OutOfMemory();
            return nullptr;
        }
        entry->name = copy;
        entry->data = userdata;
        entry->next = window->data;
        window->data = entry;
    }
    return nullptr;
}

void *JEX_GetWindowData(JEX_Window *window, const char *name)
{
    if (!JEX_CheckWindow(window))
        return nullptr;
    if (!name) {
        JEX_SetError("Parameter '%s' is invalid", "name");
        return nullptr;
    }
    for (JEX_WindowUserData *entry = window->data; entry; entry = entry->next)
        if (std::strcmp(entry->name, name) == 0)
            return entry->data;
    return nullptr;
}

void JEX_SetWindowPosition(JEX_Window *window, int x, int y)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return;
    const int old_x = window->x, old_y = window->y;
    if (!JEX_WINDOWPOS_ISUNDEFINED(x))
        window->x = x;
    if (!JEX_WINDOWPOS_ISUNDEFINED(y))
        window->y = y;
    if (JEX_WINDOWPOS_ISCENTERED(x) || JEX_WINDOWPOS_ISCENTERED(y)) {
        const JEX_Rect bounds = WindowDisplayBounds(window);
        if (JEX_WINDOWPOS_ISCENTERED(x))
            window->x = Centred(bounds.x, bounds.w, window->w);
        if (JEX_WINDOWPOS_ISCENTERED(y))
            window->y = Centred(bounds.y, bounds.h, window->h);
    }
    if (window->flags & JEX_WINDOW_FULLSCREEN)
        return;
    if (device->SetWindowPosition)
        device->SetWindowPosition(device, window);
    // The move event stores the position itself and is dropped when nothing
    // moved; stored in advance, every move would look like no move at all.
    const int new_x = window->x, new_y = window->y;
    window->x = old_x;
    window->y = old_y;
    JEX_SendWindowEvent(window, JEX_WINDOWEVENT_MOVED, new_x, new_y);
}

void JEX_GetWindowPosition(JEX_Window *window, int *x, int *y)
{
    if (x)
        *x = 0;
    if (y)
        *y = 0;
    if (!JEX_CheckWindow(window) || (window->flags & JEX_WINDOW_FULLSCREEN))
        return;
    if (x)
        *x = window->x;
    if (y)
        *y = window->y;
}

void JEX_SetWindowSize(JEX_Window *window, int w, int h)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || (window->flags & JEX_WINDOW_FULLSCREEN) || !SizeAllowed(w, h))
        return;
    window->w = w;
    window->h = h;
    // Leaving full screen later returns to the size asked for here.
    window->windowed.w = w;
    window->windowed.h = h;
    if (device->SetWindowSize)
        device->SetWindowSize(device, window);
    if (window->w == w && window->h == h)
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_SIZE_CHANGED, w, h);
}

void JEX_GetWindowSize(JEX_Window *window, int *w, int *h)
{
    if (w)
        *w = 0;
    if (h)
        *h = 0;
    if (!JEX_CheckWindow(window))
        return;
    if (w)
        *w = window->w;
    if (h)
        *h = window->h;
}

int JEX_GetWindowDisplay(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return -1;
    if (IsPositionCode(window->x)) {
        const int index = window->x & 0xFFFF;
        return index < device->num_displays ? index : 0;
    }
    if (IsPositionCode(window->y)) {
        const int index = window->y & 0xFFFF;
        return index < device->num_displays ? index : 0;
    }
    if (device->num_displays == 0) {
        JEX_SetError("Couldn't find any displays");
        return -1;
    }
    // Centre of the window; the halves round toward zero. Sums are formed in
    // 64 bits; the squared distance saturates, since the centres of a window
    // at INT_MIN and a display near INT_MAX are more than 2^32 apart.
    const long long cx = (long long)window->x + window->w / 2;
    const long long cy = (long long)window->y + window->h / 2;
    const JEX_Point centre{ClampInt(cx), ClampInt(cy)};
    // Any distance counts: a window far out still finds its nearest display.
    int nearest = 0;
    long long best = LLONG_MAX;
    for (int i = 0; i < device->num_displays; ++i) {
        JEX_Rect bounds{0, 0, 0, 0};
        JEX_GetDisplayBounds(i, &bounds);
        if (device->displays[i].fullscreen_window == window)
            return i;
        JEX_Rect unused;
        if (JEX_EnclosePoints(&centre, 1, &bounds, &unused))
            return i;
        const long long dx = (long long)bounds.x + bounds.w / 2 - cx;
        const long long dy = (long long)bounds.y + bounds.h / 2 - cy;
        const long long dist = SquaredDistance(dx, dy);
        if (dist < best) {
            nearest = i;
            best = dist;
        }
    }
    return nearest;
}

JEX_VideoDisplay *JEX_GetDisplayForWindow(JEX_Window *window)
{
    const int index = JEX_GetWindowDisplay(window);
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (index < 0 || !device || index >= device->num_displays)
        return nullptr;
    return &device->displays[index];
}

Uint32 JEX_GetWindowPixelFormat(JEX_Window *window)
{
    JEX_VideoDisplay *display = JEX_GetDisplayForWindow(window);
    return display ? display->current_mode.format : 0;
}

int JEX_SetWindowDisplayMode(JEX_Window *window, const JEX_DisplayMode *mode)
{
    if (!JEX_CheckWindow(window))
        return -1;
    if (mode)
        window->fullscreen_mode = *mode;
    else
        std::memset(&window->fullscreen_mode, 0, sizeof(window->fullscreen_mode));
    return 0;
}

int JEX_GetWindowDisplayMode(JEX_Window *window, JEX_DisplayMode *mode)
{
    if (!JEX_CheckWindow(window))
        return -1;
    JEX_DisplayMode wanted = window->fullscreen_mode;
    if (!wanted.w)
        wanted.w = window->w;
    if (!wanted.h)
        wanted.h = window->h;
    JEX_VideoDisplay *display = JEX_GetDisplayForWindow(window);
    JEX_DisplayMode found;
    if (!display || !JEX_GetClosestDisplayModeForDisplay(display, &wanted, &found)) {
        JEX_SetError("Couldn't find display mode match");
        return -1;
    }
    if (mode)
        *mode = found;
    return 0;
}

void JEX_ShowWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || (window->flags & JEX_WINDOW_SHOWN))
        return;
    if (device->ShowWindow)
        device->ShowWindow(device, window);
    JEX_SendWindowEvent(window, JEX_WINDOWEVENT_SHOWN, 0, 0);
}

void JEX_HideWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || !(window->flags & JEX_WINDOW_SHOWN))
        return;
    JEX_UpdateFullscreenMode(window, JEX_FALSE);
    if (device->HideWindow)
        device->HideWindow(device, window);
    JEX_SendWindowEvent(window, JEX_WINDOWEVENT_HIDDEN, 0, 0);
}

void JEX_RaiseWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || !(window->flags & JEX_WINDOW_SHOWN))
        return;
    if (device->RaiseWindow)
        device->RaiseWindow(device, window);
}

void JEX_MaximizeWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || (window->flags & JEX_WINDOW_MAXIMIZED))
        return;
    if (device->MaximizeWindow)
        device->MaximizeWindow(device, window);
}

void JEX_MinimizeWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || (window->flags & JEX_WINDOW_MINIMIZED))
        return;
    JEX_UpdateFullscreenMode(window, JEX_FALSE);
    if (device->MinimizeWindow)
        device->MinimizeWindow(device, window);
}

void JEX_RestoreWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || !(window->flags & (JEX_WINDOW_MAXIMIZED | JEX_WINDOW_MINIMIZED)))
        return;
    if (device->RestoreWindow)
        device->RestoreWindow(device, window);
}

int JEX_SetWindowFullscreen(JEX_Window *window, JEX_bool fullscreen)
{
    if (!JEX_CheckWindow(window))
        return -1;
    const bool on = fullscreen != 0;
    if (on == ((window->flags & JEX_WINDOW_FULLSCREEN) != 0))
        return 0;
    if (on)
        window->flags |= JEX_WINDOW_FULLSCREEN;
    else
        window->flags &= ~Uint32(JEX_WINDOW_FULLSCREEN);
    JEX_UpdateFullscreenMode(window, FULLSCREEN_VISIBLE(window) ? JEX_TRUE : JEX_FALSE);
    return 0;
}

void JEX_UpdateFullscreenMode(JEX_Window *window, JEX_bool attempt)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return;
    JEX_VideoDisplay *display = JEX_GetDisplayForWindow(window);
    if (!display)
        return;
    if (attempt && display->fullscreen_window && display->fullscreen_window != window)
        JEX_MinimizeWindow(display->fullscreen_window);
    if (attempt && display->fullscreen_window == window)
        return;
    if (!attempt && display->fullscreen_window != window)
        return;

    // The first window that can own the display: this one when it asks,
    // or another visible full-screen window on the same display. A window
    // on its way out never takes a display.
    JEX_Window *owner = nullptr;
    JEX_DisplayMode mode;
    for (JEX_Window *other = device->windows; other; other = other->next) {
        if (other->is_destroying)
            continue;
        if (other == window) {
            if (attempt && JEX_GetWindowDisplayMode(other, &mode) == 0) {
                owner = other;
                break;
            }
        } else if (FULLSCREEN_VISIBLE(other) && JEX_GetDisplayForWindow(other) == display &&
                   JEX_GetWindowDisplayMode(other, &mode) == 0) {
            owner = other;
            break;
        }
    }

    if (owner) {
        const bool resized = owner->w != mode.w || owner->h != mode.h;
        JEX_SetDisplayModeForDisplay(display, &mode);
        if (device->SetWindowFullscreen)
            device->SetWindowFullscreen(device, owner, display, JEX_TRUE);
        display->fullscreen_window = owner;
        if (resized)
            JEX_SendWindowEvent(owner, JEX_WINDOWEVENT_RESIZED, mode.w, mode.h);
        else
            JEX_SendWindowEvent(owner, JEX_WINDOWEVENT_SIZE_CHANGED, owner->w, owner->h);
        WarpIfMouseFocus(owner);
        return;
    }

    JEX_SetDisplayModeForDisplay(display, nullptr);
    if (device->SetWindowFullscreen)
        device->SetWindowFullscreen(device, window, display, JEX_FALSE);
    display->fullscreen_window = nullptr;
    JEX_SendWindowEvent(window, JEX_WINDOWEVENT_SIZE_CHANGED, window->w, window->h);
    WarpIfMouseFocus(window);
}

void JEX_SetWindowGrab(JEX_Window *window, JEX_bool grabbed)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return;
    const bool on = grabbed != 0;
    if (on == ((window->flags & JEX_WINDOW_INPUT_GRABBED) != 0))
        return;
    if (on)
        window->flags |= JEX_WINDOW_INPUT_GRABBED;
    else
        window->flags &= ~Uint32(JEX_WINDOW_INPUT_GRABBED);
    if ((window->flags & JEX_WINDOW_INPUT_FOCUS) && device->SetWindowGrab)
        device->SetWindowGrab(device, window);
}

JEX_bool JEX_GetWindowGrab(JEX_Window *window)
{
    if (!JEX_CheckWindow(window))
        return JEX_FALSE;
    return (window->flags & JEX_WINDOW_INPUT_GRABBED) ? JEX_TRUE : JEX_FALSE;
}

int JEX_GetWindowGammaRamp(JEX_Window *window, Uint16 *red, Uint16 *green, Uint16 *blue)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return -1;
    if (EnsureGamma(device, window) < 0)
        return -1;
    Uint16 *channels[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        if (channels[c]) {
            std::memcpy(channels[c], window->gamma + c * kRampEntries,
                        kRampEntries * sizeof(Uint16));
        }
    }
    return 0;
}

int JEX_SetWindowGammaRamp(JEX_Window *window, const Uint16 *red, const Uint16 *green,
                           const Uint16 *blue)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return -1;
    if (!device->SetWindowGammaRamp) {
        JEX_Unsupported();
        return -1;
    }
    if (EnsureGamma(device, window) < 0)
        return -1;
    const Uint16 *channels[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        if (channels[c]) {
            std::memmove(window->gamma + c * kRampEntries, channels[c],
                         kRampEntries * sizeof(Uint16));
        }
    }
    if (window->flags & JEX_WINDOW_INPUT_FOCUS)
        return device->SetWindowGammaRamp(device, window, window->gamma);
    return 0;
}

int JEX_SetWindowBrightness(JEX_Window *window, float brightness)
{
    if (!JEX_CheckWindow(window))
        return -1;
    Uint16 ramp[kRampEntries];
    JEX_CalculateGammaRamp(brightness, ramp);
    const int status = JEX_SetWindowGammaRamp(window, ramp, ramp, ramp);
    if (status == 0)
        window->brightness = brightness;
    return status;
}

float JEX_GetWindowBrightness(JEX_Window *window)
{
    if (!JEX_CheckWindow(window))
        return 1.0f;
    return window->brightness;
}

void JEX_OnWindowShown(JEX_Window *window)
{
    JEX_RaiseWindow(window);
    if (FULLSCREEN_VISIBLE(window))
        JEX_UpdateFullscreenMode(window, JEX_TRUE);
}

void JEX_OnWindowRestored(JEX_Window *window)
{
    JEX_OnWindowShown(window);
}

void JEX_OnWindowHidden(JEX_Window *window)
{
    JEX_UpdateFullscreenMode(window, JEX_FALSE);
}

void JEX_OnWindowMinimized(JEX_Window *window)
{
    JEX_UpdateFullscreenMode(window, JEX_FALSE);
}

void JEX_OnWindowResized(JEX_Window *window)
{
    JEX_SendWindowEvent(window, JEX_WINDOWEVENT_SIZE_CHANGED, window->w, window->h);
}

void JEX_OnWindowFocusGained(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return;
    if (window->gamma && device->SetWindowGammaRamp)
        device->SetWindowGammaRamp(device, window, window->gamma);
    if ((window->flags & (JEX_WINDOW_FULLSCREEN | JEX_WINDOW_INPUT_GRABBED)) &&
        device->SetWindowGrab)
        device->SetWindowGrab(device, window);
}

void JEX_OnWindowFocusLost(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return;
    if (window->gamma && device->SetWindowGammaRamp)
        device->SetWindowGammaRamp(device, window, window->saved_gamma);
    if ((window->flags & (JEX_WINDOW_FULLSCREEN | JEX_WINDOW_INPUT_GRABBED)) &&
        device->SetWindowGrab)
        device->SetWindowGrab(device, window);
    // A window being destroyed is not minimised on its way out.
    if ((window->flags & JEX_WINDOW_FULLSCREEN) && device->num_displays == 1 &&
        !window->is_destroying)
        JEX_MinimizeWindow(window);
}

JEX_bool JEX_IsScreenSaverEnabled(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device)
        return JEX_TRUE;
    return device->suspend_screensaver ? JEX_FALSE : JEX_TRUE;
}

void JEX_EnableScreenSaver(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device || !device->suspend_screensaver)
        return;
    device->suspend_screensaver = 0;
    if (device->SuspendScreenSaver)
        device->SuspendScreenSaver(device);
}

void JEX_DisableScreenSaver(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device || device->suspend_screensaver)
        return;
    device->suspend_screensaver = 1;
    if (device->SuspendScreenSaver)
        device->SuspendScreenSaver(device);
}

void JEX_StartTextInput(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (device && device->StartTextInput)
        device->StartTextInput(device);
    JEX_EventState(JEX_TEXTINPUT, JEX_ENABLE);
    JEX_EventState(JEX_TEXTEDITING, JEX_ENABLE);
}

void JEX_StopTextInput(void)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (device && device->StopTextInput)
        device->StopTextInput(device);
    JEX_EventState(JEX_TEXTINPUT, JEX_DISABLE);
    JEX_EventState(JEX_TEXTEDITING, JEX_DISABLE);
}

void JEX_SetTextInputRect(JEX_Rect *rect)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (device && device->SetTextInputRect)
        device->SetTextInputRect(device, rect);
}

JEX_bool JEX_GetWindowWMInfo(JEX_Window *window, struct JEX_SysWMinfo *info)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device || !info)
        return JEX_FALSE;
    // The window-system kind is the record's second 32-bit field.
    const Uint32 none = 0;
    std::memcpy(reinterpret_cast<unsigned char *>(info) + sizeof(Uint32), &none, sizeof(none));
    if (!device->GetWindowWMInfo)
        return JEX_FALSE;
    return device->GetWindowWMInfo(device, window, info);
}

}  // extern "C"
