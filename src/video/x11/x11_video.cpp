// The X11 video driver's entry: availability, the device and its operation
// table, start-up (atoms, window-manager check, displays, keyboard) and the
// driver's X error handling.
#include "video/x11/x11_video.h"

#include "JEX_error.h"
#include "JEX_log.h"
#include "video/x11/x11_events.h"
#include "video/x11/x11_keyboard.h"
#include "video/x11/x11_modes.h"
#include "video/x11/x11_mouse.h"
#include "video/x11/x11_opengl.h"
#include "video/x11/x11_window.h"

#include <cstdlib>
#include <cstring>

namespace {

bool trapping = false;
int trapped_code = 0;

int X11_ErrorHandler(Display *display, XErrorEvent *e)
{
    if (trapping) {
        if (trapped_code == 0)
            trapped_code = e->error_code;
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

char *copy_string(const char *s)
{
    const size_t n = std::strlen(s) + 1;
    char *copy = static_cast<char *>(std::malloc(n));
    if (copy)
        std::memcpy(copy, s, n);
    return copy;
}

// The window named by a one-item WINDOW property, or None.
Window read_window_property(Display *display, Window w, Atom property)
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
bool check_window_manager(Display *display)
{
    X11.XSync(display, False);
    X11_TrapErrors();
    const Atom check = X11.XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    bool found = false;
    const Window wm =
        read_window_property(display, RootWindow(display, DefaultScreen(display)), check);
    if (wm != None)
        found = read_window_property(display, wm, check) == wm;
    X11_UntrapErrors(display);
    return found;
}

void free_device(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    if (data) {
        if (data->display) {
            const XErrorHandler current = X11.XSetErrorHandler(data->previous_error_handler);
            if (current != X11_ErrorHandler) {
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

void X11_TrapErrors(void)
{
    trapping = true;
    trapped_code = 0;
}

int X11_UntrapErrors(Display *display)
{
    X11.XSync(display, False);
    trapping = false;
    return trapped_code;
}

bool X11_UseDirectColorVisuals(void)
{
    return std::getenv("JEX_VIDEO_X11_NODIRECTCOLOR") == nullptr;
}

int X11_Available(void)
{
    if (!JEX_X11_LoadSymbols())
        return 0;
    Display *display = X11.XOpenDisplay(nullptr);
    if (display)
        X11.XCloseDisplay(display);
    JEX_X11_UnloadSymbols();
    return display != nullptr;
}

JEX_VideoDevice *X11_CreateDevice(int)
{
    if (!JEX_X11_LoadSymbols()) {
        JEX_SetError("Couldn't load the X11 libraries (libX11.so.6)");
        return nullptr;
    }
    auto *device = static_cast<JEX_VideoDevice *>(std::calloc(1, sizeof(JEX_VideoDevice)));
    if (!device) {
        JEX_Error(JEX_ERR_NOMEM);
        JEX_X11_UnloadSymbols();
        return nullptr;
    }
    auto *data = static_cast<X11_VideoData *>(std::calloc(1, sizeof(X11_VideoData)));
    if (!data) {
        std::free(device);
        JEX_Error(JEX_ERR_NOMEM);
        JEX_X11_UnloadSymbols();
        return nullptr;
    }
    device->driverdata = data;

    data->display = X11.XOpenDisplay(nullptr);
    if (!data->display) {
        const char *name = X11.XDisplayName(nullptr);
        JEX_LogError(JEX_LOG_CATEGORY_VIDEO, "X11: cannot connect to display \"%s\"",
                     name ? name : "");
        free_device(device);
        JEX_X11_UnloadSymbols();
        JEX_SetError("Couldn't open X11 display");
        return nullptr;
    }
    data->previous_error_handler = X11.XSetErrorHandler(X11_ErrorHandler);

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
    // The framebuffer and shape slots stay empty: the core treats an empty
    // slot as not supported.
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
    device->free = X11_DeleteDevice;
    return device;
}

void X11_DeleteDevice(JEX_VideoDevice *device)
{
    if (!device)
        return;
    free_device(device);
    JEX_X11_UnloadSymbols();
}

int X11_VideoInit(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    Display *display = data->display;

    const char *wmclass = std::getenv("JEX_VIDEO_X11_WMCLASS");
    data->classname = copy_string(wmclass ? wmclass : "JEX_App");
    if (!data->classname) {
        JEX_Error(JEX_ERR_NOMEM);
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

    data->net_wm = check_window_manager(display);

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
    X11_StopScreenSaverInhibitor();
}
