// The X11 video driver's entry: availability, the device and its operation
// table, start-up (atoms, window-manager check, displays, keyboard) and the
// driver's X error handling.
#include "video/x11/x11_video.h"

#include "JEX_error.h"
#include "JEX_log.h"
#include "video/x11/x11_events.h"
#include "video/x11/x11_framebuffer.h"
#include "video/x11/x11_keyboard.h"
#include "video/x11/x11_modes.h"
#include "video/x11/x11_mouse.h"
#include "video/x11/x11_opengl.h"
#include "video/x11/x11_shape.h"
#include "video/x11/x11_window.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace {

// Process-wide driver state. Xlib's error handler is one per process, and the
// availability probe runs before there is a device to keep anything in.
// Everything here belongs to the thread that started video.
struct X11DriverState {
    // Nested error traps: each level's first error code. The handler writes
    // to the innermost level; an untrap hands it back and uncovers the
    // level outside it, whose result the inner trap never touched. Levels
    // beyond the last slot share it.
    static constexpr int max_traps = 8;
    int trap_codes[max_traps];
    int trap_depth = 0;
    // The connection the availability probe opened, handed to the device
    // made right after it. A server that resets when its last client
    // leaves would otherwise be mid-reset when the device connects.
    Display *probe_display = nullptr;
};
X11DriverState g_x11;

int ErrorHandler(Display *display, XErrorEvent *e)
{
    if (g_x11.trap_depth > 0) {
        int &code = g_x11.trap_codes[std::min(g_x11.trap_depth, X11DriverState::max_traps) - 1];
        if (code == 0)
            code = e->error_code;
        return 0;
    }
    char text[256] = "";
    if (X11.XGetErrorText)
        X11.XGetErrorText(display, e->error_code, text, int(sizeof(text)));
    JEX_LogError(JEX_LOG_CATEGORY_VIDEO, "X11 error: %s (code %d, request %d.%d, resource 0x%lx)",
                 text, int(e->error_code), int(e->request_code), int(e->minor_code),
                 static_cast<unsigned long>(e->resourceid));
    return 0;
}

// Whether the default display names a server on this machine whose socket
// is there, i.e. one that exists even if it turned a connection away.
bool LocalServerSocketExists()
{
    const char *name = X11.XDisplayName(nullptr);
    const char *colon = name ? std::strrchr(name, ':') : nullptr;
    if (!colon || (colon != name && std::strncmp(name, "unix:", 5) != 0))
        return false;
    char *end = nullptr;
    const long number = std::strtol(colon + 1, &end, 10);
    if (end == colon + 1 || number < 0)
        return false;
    char path[64];
    std::snprintf(path, sizeof(path), "/tmp/.X11-unix/X%ld", number);
    return access(path, F_OK) == 0;
}

// A server that resets when its last client leaves turns connections away
// while it resets, as it does between one program's quit and the next
// start; a local server that is there is given a moment to come back.
Display *OpenDisplay()
{
    Display *display = X11.XOpenDisplay(nullptr);
    for (int attempt = 0; !display && attempt < 20 && LocalServerSocketExists(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        display = X11.XOpenDisplay(nullptr);
    }
    return display;
}

char *CopyString(const char *s)
{
    const size_t n = std::strlen(s) + 1;
    char *copy = static_cast<char *>(std::malloc(n));
    if (copy)
        std::memcpy(copy, s, n);
    return copy;
}

// The window named by a one-item WINDOW property, or None.
Window ReadWindowProperty(Display *display, Window w, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    Window result = None;
    if (X11.XGetWindowProperty(display, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count,
                               &after, &data) == Success) {
        if (data && type == XA_WINDOW && format == 32 && count == 1) {
            // 32-bit items come back as longs on every host.
            result = Window(*reinterpret_cast<unsigned long *>(data));
        }
    }
    if (data)
        X11.XFree(data);
    return result;
}

// Only a window manager that keeps the check window alive and pointing at
// itself counts; a stale property left by a dead one names a window that
// no longer exists, which the trap absorbs.
bool CheckWindowManager(Display *display)
{
    X11_TrapErrors(display);
    const Atom check = X11.XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    bool found = false;
    const Window wm =
        ReadWindowProperty(display, RootWindow(display, DefaultScreen(display)), check);
    if (wm != None)
        found = ReadWindowProperty(display, wm, check) == wm;
    X11_UntrapErrors(display);
    return found;
}

void FreeDevice(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    if (data) {
        if (data->display) {
            const XErrorHandler current = X11.XSetErrorHandler(data->previous_error_handler);
            if (current != ErrorHandler) {
                // Someone replaced ours meanwhile: leave theirs in place.
                X11.XSetErrorHandler(current);
            }
            X11.XCloseDisplay(data->display);
        }
        std::free(data->windowlist);
        std::free(data->classname);
        std::free(data);
    }
    std::free(device);
}

}  // namespace

VideoBootStrap X11_bootstrap = {"x11", "JEX X11 video driver", X11_Available, X11_CreateDevice};

void X11_TrapErrors(Display *display)
{
    // Errors of requests sent before the trap belong to whoever sent them:
    // the enclosing trap, or the log.
    X11.XSync(display, False);
    if (g_x11.trap_depth < X11DriverState::max_traps)
        g_x11.trap_codes[g_x11.trap_depth] = 0;
    ++g_x11.trap_depth;
}

int X11_UntrapErrors(Display *display)
{
    X11.XSync(display, False);
    if (g_x11.trap_depth == 0)
        return 0;
    const int level = std::min(g_x11.trap_depth, X11DriverState::max_traps) - 1;
    --g_x11.trap_depth;
    return g_x11.trap_codes[level];
}

bool X11_UseDirectColorVisuals(void)
{
    return std::getenv("JEX_VIDEO_X11_NODIRECTCOLOR") == nullptr;
}

int X11_Available(void)
{
    if (g_x11.probe_display)
        return 1;
    if (!JEX_X11_LoadSymbols())
        return 0;
    g_x11.probe_display = OpenDisplay();
    if (!g_x11.probe_display) {
        JEX_X11_UnloadSymbols();
        JEX_SetError("Couldn't open X11 display");
        return 0;
    }
    // The symbols stay loaded with the connection; the device takes both.
    return 1;
}

JEX_VideoDevice *X11_CreateDevice(int)
{
    // A probe's connection comes with its own load of the symbols.
    Display *probed = std::exchange(g_x11.probe_display, nullptr);
    if (!probed && !JEX_X11_LoadSymbols()) {
        JEX_SetError("Couldn't load the X11 libraries (libX11.so.6)");
        return nullptr;
    }
    auto *device = static_cast<JEX_VideoDevice *>(std::calloc(1, sizeof(JEX_VideoDevice)));
    auto *data = static_cast<X11_VideoData *>(std::calloc(1, sizeof(X11_VideoData)));
    if (!device || !data) {
        std::free(device);
        std::free(data);
        if (probed)
            X11.XCloseDisplay(probed);
        JEX_X11_UnloadSymbols();
        JEX_OutOfMemory();
        return nullptr;
    }
    device->driverdata = data;

    data->display = probed ? probed : OpenDisplay();
    if (!data->display) {
        const char *name = X11.XDisplayName(nullptr);
        JEX_LogError(JEX_LOG_CATEGORY_VIDEO, "X11: cannot connect to display \"%s\"",
                     name ? name : "");
        FreeDevice(device);
        JEX_X11_UnloadSymbols();
        JEX_SetError("Couldn't open X11 display");
        return nullptr;
    }
    data->previous_error_handler = X11.XSetErrorHandler(ErrorHandler);

    device->VideoInit = X11_VideoInit;
    device->VideoQuit = X11_VideoQuit;
    device->GetDisplayModes = X11_GetDisplayModes;
    device->SetDisplayMode = X11_SetDisplayMode;
    device->CreateWindow = X11_CreateWindow;
    device->CreateWindowFrom = X11_CreateWindowFrom;
    device->SetWindowTitle = X11_SetWindowTitle;
    device->SetWindowIcon = X11_SetWindowIcon;
    device->SetWindowPosition = X11_SetWindowPosition;
    device->SetWindowSize = X11_SetWindowSize;
    device->ShowWindow = X11_ShowWindow;
    device->HideWindow = X11_HideWindow;
    device->RaiseWindow = X11_RaiseWindow;
    device->MaximizeWindow = X11_MaximizeWindow;
    device->MinimizeWindow = X11_MinimizeWindow;
    device->RestoreWindow = X11_RestoreWindow;
    device->SetWindowFullscreen = X11_SetWindowFullscreen;
    device->SetWindowGammaRamp = X11_SetWindowGammaRamp;
    device->SetWindowGrab = X11_SetWindowGrab;
    device->DestroyWindow = X11_DestroyWindow;
    device->CreateWindowFramebuffer = X11_CreateWindowFramebuffer;
    device->UpdateWindowFramebuffer = X11_UpdateWindowFramebuffer;
    device->DestroyWindowFramebuffer = X11_DestroyWindowFramebuffer;
    device->GetWindowWMInfo = X11_GetWindowWMInfo;
    device->GL_LoadLibrary = X11_GL_LoadLibrary;
    device->GL_GetProcAddress = X11_GL_GetProcAddress;
    device->GL_UnloadLibrary = X11_GL_UnloadLibrary;
    device->GL_CreateContext = X11_GL_CreateContext;
    device->GL_MakeCurrent = X11_GL_MakeCurrent;
    device->GL_SetSwapInterval = X11_GL_SetSwapInterval;
    device->GL_GetSwapInterval = X11_GL_GetSwapInterval;
    device->GL_SwapWindow = X11_GL_SwapWindow;
    device->GL_DeleteContext = X11_GL_DeleteContext;
    device->PumpEvents = X11_PumpEvents;
    device->SuspendScreenSaver = X11_SuspendScreenSaver;
    device->SetClipboardText = X11_SetClipboardText;
    device->GetClipboardText = X11_GetClipboardText;
    device->HasClipboardText = X11_HasClipboardText;
    device->CreateShaper = X11_CreateShaper;
    device->SetWindowShape = X11_SetWindowShape;
    device->ResizeWindowShape = X11_ResizeWindowShape;
    device->free = X11_DeleteDevice;
    return device;
}

void X11_DeleteDevice(JEX_VideoDevice *device)
{
    if (!device)
        return;
    FreeDevice(device);
    JEX_X11_UnloadSymbols();
}

int X11_VideoInit(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    Display *display = data->display;

    const char *wmclass = std::getenv("JEX_VIDEO_X11_WMCLASS");
    data->classname = CopyString(wmclass ? wmclass : "JEX_App");
    if (!data->classname) {
        JEX_OutOfMemory();
        return -1;
    }

    if (JEX_X11_HAVE_UTF8)
        data->im = X11.XOpenIM(display, nullptr, data->classname, data->classname);

#define JEX_X11_INTERN(name) data->name = X11.XInternAtom(display, #name, False)
    JEX_X11_INTERN(WM_DELETE_WINDOW);
    JEX_X11_INTERN(_NET_WM_STATE);
    JEX_X11_INTERN(_NET_WM_STATE_HIDDEN);
    JEX_X11_INTERN(_NET_WM_STATE_MAXIMIZED_VERT);
    JEX_X11_INTERN(_NET_WM_STATE_MAXIMIZED_HORZ);
    JEX_X11_INTERN(_NET_WM_STATE_FULLSCREEN);
    JEX_X11_INTERN(_NET_WM_NAME);
    JEX_X11_INTERN(_NET_WM_ICON_NAME);
    JEX_X11_INTERN(_NET_WM_ICON);
    JEX_X11_INTERN(UTF8_STRING);
#undef JEX_X11_INTERN

    data->net_wm = CheckWindowManager(display);

    if (X11_InitModes(device) < 0)
        return -1;
    if (X11_InitKeyboard(device) != 0)
        return -1;
    X11_InitMouse(device);
    return 0;
}

void X11_VideoQuit(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    std::free(data->classname);
    data->classname = nullptr;
    if (data->im) {
        X11.XCloseIM(data->im);
        data->im = nullptr;
    }
    X11_QuitModes(device);
    X11_QuitKeyboard(device);
    X11_QuitMouse(device);
    X11_StopScreenSaverInhibitor(device);
}
