// X windows behind library windows: creation with the hints and protocols a
// window manager needs, and the requests that move, resize, show, hide,
// restack and change the state of a window.
#include "video/x11/x11_window.h"

#include "JEX_error.h"
#include "JEX_log.h"
#include "JEX_stdinc.h"
#include "JEX_surface.h"
#include "video/x11/x11_framebuffer.h"
#include "video/x11/x11_modes.h"
#include "video/x11/x11_opengl.h"
#include "video/x11/x11_shape.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

X11_VideoData *DriverData(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata);
}

X11_WindowData *WindowData(JEX_Window *window)
{
    return static_cast<X11_WindowData *>(window->driverdata);
}

int WindowScreen(JEX_Window *window)
{
    JEX_VideoDisplay *display = JEX_GetDisplayForWindow(window);
    if (display && display->driverdata)
        return static_cast<X11_DisplayData *>(display->driverdata)->screen;
    return 0;
}

// The protocol carries sizes as 16-bit counts and positions as signed 16-bit
// numbers; anything larger would wrap around on the way to the server. Sizes
// stop lower still (see X11_MAX_WINDOW_SIZE).
int ClampSize(int v)
{
    return std::clamp(v, 1, X11_MAX_WINDOW_SIZE);
}

int ClampPosition(int v)
{
    return std::clamp(v, -32768, 32767);
}

char *CopyText(const char *s, size_t n)
{
    char *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy) {
        std::memcpy(copy, s, n);
        copy[n] = '\0';
    }
    return copy;
}

// STRING properties are Latin-1 by the protocol's definition; characters
// beyond it become '?'.
char *Utf8ToLatin1(const char *s)
{
    const size_t n = std::strlen(s);
    char *out = static_cast<char *>(std::malloc(n + 1));
    if (!out)
        return nullptr;
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(s[i]);
        unsigned code = c;
        size_t len = 1;
        if (c >= 0xC0 && c < 0xE0)
            len = 2, code = c & 0x1F;
        else if (c >= 0xE0 && c < 0xF0)
            len = 3, code = c & 0x0F;
        else if (c >= 0xF0)
            len = 4, code = c & 0x07;
        else if (c >= 0x80)
            code = '?';
        if (i + len > n) {
            len = n - i;
            code = '?';
        }
        for (size_t k = 1; k < len; ++k)
            code = (code << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out[o++] = code <= 0xFF ? char(code) : '?';
        i += len;
    }
    out[o] = '\0';
    return out;
}

char *Latin1ToUtf8(const unsigned char *s, size_t n)
{
    char *out = static_cast<char *>(std::malloc(2 * n + 1));
    if (!out)
        return nullptr;
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < 0x80) {
            out[o++] = char(s[i]);
        } else {
            out[o++] = char(0xC0 | (s[i] >> 6));
            out[o++] = char(0x80 | (s[i] & 0x3F));
        }
    }
    out[o] = '\0';
    return out;
}

bool IsMapped(Display *display, Window w)
{
    XWindowAttributes attributes{};
    return X11.XGetWindowAttributes(display, w, &attributes) && attributes.map_state != IsUnmapped;
}

// Shift of the lowest set bit of a channel mask, and the mask moved down.
void SplitMask(unsigned long mask, int *shift, unsigned long *bits)
{
    *shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++*shift;
    }
    *bits = mask;
}

// The pixel value of colormap entry i of n in a DirectColor visual: every
// channel at the same fraction of its range.
unsigned long RampPixel(const Visual *visual, int i, int n)
{
    unsigned long pixel = 0;
    for (unsigned long mask : {visual->red_mask, visual->green_mask, visual->blue_mask}) {
        int shift = 0;
        unsigned long bits = 0;
        SplitMask(mask, &shift, &bits);
        pixel |= ((static_cast<unsigned long>(i) * bits / unsigned(n - 1)) << shift);
    }
    return pixel;
}

// Stores n colours in a DirectColor colormap; `value(channel, i)` gives the
// 16-bit level. 0, or -1 when out of memory.
template <typename Value>
int StoreRamp(Display *display, Colormap colormap, const Visual *visual, Value value)
{
    const int n = visual->map_entries;
    if (n < 2)
        return 0;
    std::vector<XColor> colours;
    try {
        colours.resize(size_t(n));
    } catch (...) {
        JEX_OutOfMemory();
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        XColor &c = colours[size_t(i)];
        c.pixel = RampPixel(visual, i, n);
        c.red = value(0, i);
        c.green = value(1, i);
        c.blue = value(2, i);
        c.flags = DoRed | DoGreen | DoBlue;
    }
    X11.XStoreColors(display, colormap, colours.data(), n);
    return 0;
}

Atom AtomIfExists(Display *display, const char *name)
{
    return X11.XInternAtom(display, name, True);
}

void SetDecorations(Display *display, Window xwindow, bool borderless)
{
    const Atom motif = AtomIfExists(display, "_MOTIF_WM_HINTS");
    const Atom kwm = AtomIfExists(display, "KWM_WIN_DECORATION");
    const Atom win = AtomIfExists(display, "_WIN_HINTS");
    const bool any = motif != None || kwm != None || win != None;
    if (!borderless) {
        for (Atom a : {motif, kwm, win})
            if (a != None)
                X11.XDeleteProperty(display, xwindow, a);
        if (!any)
            X11.XDeleteProperty(display, xwindow, XA_WM_TRANSIENT_FOR);
        return;
    }
    // 32-bit properties travel as arrays of long.
    if (motif != None) {
        const long hints[5] = {2, 0, 0, 0, 0};  // decorations given: none
        X11.XChangeProperty(display, xwindow, motif, motif, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(hints), 5);
    }
    const long zero = 0;
    if (kwm != None) {
        X11.XChangeProperty(display, xwindow, kwm, kwm, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&zero), 1);
    }
    if (win != None) {
        X11.XChangeProperty(display, xwindow, win, win, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&zero), 1);
    }
    if (!any)
        X11.XSetTransientForHint(display, xwindow, RootWindow(display, DefaultScreen(display)));
}

void SetSizeHints(Display *display, Window xwindow, JEX_Window *window, bool with_position)
{
    XSizeHints *hints = X11.XAllocSizeHints();
    if (!hints)
        return;
    if (!(window->flags & JEX_WINDOW_RESIZABLE)) {
        hints->min_width = hints->max_width = window->w;
        hints->min_height = hints->max_height = window->h;
        hints->flags |= PMinSize | PMaxSize;
    }
    if (with_position) {
        hints->x = window->x;
        hints->y = window->y;
        hints->flags |= USPosition;
    }
    X11.XSetWMNormalHints(display, xwindow, hints);
    X11.XFree(hints);
}

// The state atoms a window with these flags carries.
int StateAtoms(const X11_VideoData *data, bool fullscreen, bool maximized, long *atoms)
{
    int count = 0;
    if (fullscreen)
        atoms[count++] = long(data->_NET_WM_STATE_FULLSCREEN);
    if (maximized) {
        atoms[count++] = long(data->_NET_WM_STATE_MAXIMIZED_VERT);
        atoms[count++] = long(data->_NET_WM_STATE_MAXIMIZED_HORZ);
    }
    return count;
}

void WriteStateProperty(Display *display, const X11_VideoData *data, Window xwindow,
                        bool fullscreen, bool maximized)
{
    long atoms[3];
    const int count = StateAtoms(data, fullscreen, maximized, atoms);
    if (count > 0) {
        X11.XChangeProperty(display, xwindow, data->_NET_WM_STATE, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(atoms), count);
    } else {
        X11.XDeleteProperty(display, xwindow, data->_NET_WM_STATE);
    }
}

// Changes the window-manager state: directly on an unmapped window (the
// manager reads it when the window is mapped), else by asking the manager.
void ChangeState(JEX_VideoDevice *device, JEX_Window *window, bool add, Atom first, Atom second,
                 bool fullscreen, bool maximized)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    X11_WindowData *wd = WindowData(window);
    if (!IsMapped(display, wd->xwindow)) {
        WriteStateProperty(display, data, wd->xwindow, fullscreen, maximized);
    } else {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = wd->xwindow;
        e.xclient.message_type = data->_NET_WM_STATE;
        e.xclient.format = 32;
        e.xclient.data.l[0] = add ? 1 : 0;
        e.xclient.data.l[1] = long(first);
        e.xclient.data.l[2] = long(second);
        e.xclient.data.l[3] = 0;
        X11.XSendEvent(display, RootWindow(display, WindowScreen(window)), False,
                       SubstructureNotifyMask | SubstructureRedirectMask, &e);
    }
    X11.XFlush(display);
}

// The title of a window made by someone else, as UTF-8 (never null unless
// out of memory).
char *GetWindowTitle(JEX_VideoDevice *device, Window xwindow)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *prop = nullptr;
    char *title = nullptr;
    if (X11.XGetWindowProperty(display, xwindow, data->_NET_WM_NAME, 0, 8192, False,
                               data->UTF8_STRING, &type, &format, &count, &after,
                               &prop) == Success &&
        prop && type == data->UTF8_STRING)
        title = CopyText(reinterpret_cast<const char *>(prop), count);
    if (prop) {
        X11.XFree(prop);
        prop = nullptr;
    }
    if (!title &&
        X11.XGetWindowProperty(display, xwindow, XA_WM_NAME, 0, 8192, False, XA_STRING, &type,
                               &format, &count, &after, &prop) == Success &&
        prop && type == XA_STRING)
        title = Latin1ToUtf8(prop, count);
    if (prop)
        X11.XFree(prop);
    return title ? title : CopyText("", 0);
}

int SetupWindow(JEX_VideoDevice *device, JEX_Window *window, Window xwindow, bool created)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;

    auto *wd = static_cast<X11_WindowData *>(std::calloc(1, sizeof(X11_WindowData)));
    if (!wd) {
        JEX_OutOfMemory();
        return -1;
    }
    wd->window = window;
    wd->xwindow = xwindow;
    wd->created = created;
    wd->videodata = data;
    // Only an input method that really opened can give a context. The
    // context is not given resource names: Xlib copies them and never
    // frees the copies, and the input method's resources are named by the
    // class the method was opened with anyway.
    if (JEX_X11_HAVE_UTF8 && data->im) {
        wd->ic = X11.XCreateIC(data->im, XNClientWindow, xwindow, XNFocusWindow, xwindow,
                               XNInputStyle, XIMPreeditNothing | XIMStatusNothing, nullptr);
    }

    if (data->numwindows == data->windowlistlength) {
        const int length = data->windowlistlength + 1;
        auto *list = static_cast<X11_WindowData **>(
            std::realloc(data->windowlist, size_t(length) * sizeof(X11_WindowData *)));
        if (!list) {
            if (wd->ic)
                X11.XDestroyIC(wd->ic);
            std::free(wd);
            JEX_OutOfMemory();
            return -1;
        }
        data->windowlist = list;
        data->windowlistlength = length;
    }
    data->windowlist[data->numwindows++] = wd;

    XWindowAttributes attributes{};
    if (X11.XGetWindowAttributes(display, xwindow, &attributes)) {
        X11_GetRootPosition(display, xwindow, &window->x, &window->y);
        window->w = attributes.width;
        window->h = attributes.height;
        if (attributes.map_state != IsUnmapped)
            window->flags |= JEX_WINDOW_SHOWN;
        else
            window->flags &= ~Uint32(JEX_WINDOW_SHOWN);
        wd->visual = attributes.visual;
        wd->colormap = attributes.colormap;
    }

    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *prop = nullptr;
    if (X11.XGetWindowProperty(display, xwindow, data->_NET_WM_STATE, 0, 1024, False, XA_ATOM,
                               &type, &format, &count, &after, &prop) == Success &&
        prop && type == XA_ATOM && format == 32) {
        const auto *atoms = reinterpret_cast<const unsigned long *>(prop);
        bool vert = false, horz = false, full = false;
        for (unsigned long i = 0; i < count; ++i) {
            vert |= atoms[i] == data->_NET_WM_STATE_MAXIMIZED_VERT;
            horz |= atoms[i] == data->_NET_WM_STATE_MAXIMIZED_HORZ;
            full |= atoms[i] == data->_NET_WM_STATE_FULLSCREEN;
        }
        if (vert && horz)
            window->flags |= JEX_WINDOW_MAXIMIZED;
        else if (full)
            window->flags |= JEX_WINDOW_FULLSCREEN;
    }
    if (prop)
        X11.XFree(prop);
    window->driverdata = wd;
    return 0;
}

}  // namespace

void X11_GetRootPosition(Display *display, Window xwindow, int *x, int *y)
{
    XWindowAttributes attributes{};
    if (!X11.XGetWindowAttributes(display, xwindow, &attributes))
        return;
    Window child = None;
    int rx = attributes.x, ry = attributes.y;
    // The window's origin inside its border, in root coordinates; the
    // position of the window is its outer corner.
    if (X11.XTranslateCoordinates(display, xwindow, attributes.root, 0, 0, &rx, &ry, &child)) {
        rx -= attributes.border_width;
        ry -= attributes.border_width;
    }
    *x = rx;
    *y = ry;
}

int X11_CreateWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    JEX_VideoDisplay *jex_display = JEX_GetDisplayForWindow(window);
    auto *dd = jex_display ? static_cast<X11_DisplayData *>(jex_display->driverdata) : nullptr;
    const int screen = dd ? dd->screen : DefaultScreen(display);

    Visual *visual = dd ? dd->visual : DefaultVisual(display, screen);
    int depth = dd ? dd->depth : DefaultDepth(display, screen);
    if ((window->flags & JEX_WINDOW_OPENGL) && device->gl_data) {
        XVisualInfo *vinfo = X11_GL_GetVisual(device, display, screen);
        if (!vinfo)
            return -1;
        visual = vinfo->visual;
        depth = vinfo->depth;
        X11.XFree(vinfo);
    }

    const Window root = RootWindow(display, screen);
    Colormap colormap;
    if (visual->c_class == DirectColor) {
        colormap = X11.XCreateColormap(display, root, visual, AllocAll);
        if (!colormap) {
            JEX_SetError("Could not create writable colormap");
            return -1;
        }
        const int n = visual->map_entries;
        if (StoreRamp(display, colormap, visual, [n](int, int i) {
                return Uint16(n > 1 ? unsigned(i) * 65535u / unsigned(n - 1) : 0);
            }) < 0) {
            X11.XFreeColormap(display, colormap);
            return -1;
        }
    } else {
        colormap = X11.XCreateColormap(display, root, visual, AllocNone);
    }

    XSetWindowAttributes xattr{};
    xattr.background_pixel = 0;
    xattr.border_pixel = 0;
    xattr.override_redirect = False;
    xattr.colormap = colormap;
    window->w = ClampSize(window->w);
    window->h = ClampSize(window->h);
    X11_TrapErrors(display);
    const Window w =
        X11.XCreateWindow(display, root, ClampPosition(window->x), ClampPosition(window->y),
                          unsigned(window->w), unsigned(window->h), 0, depth, InputOutput, visual,
                          CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWColormap, &xattr);
    if (X11_UntrapErrors(display) != 0 || !w) {
        X11.XFreeColormap(display, colormap);
        JEX_SetError("Couldn't create window");
        return -1;
    }

    SetSizeHints(display, w, window, true);
    SetDecorations(display, w, (window->flags & JEX_WINDOW_BORDERLESS) != 0);

    if (XWMHints *wmhints = X11.XAllocWMHints()) {
        wmhints->input = True;
        wmhints->flags = InputHint;
        X11.XSetWMHints(display, w, wmhints);
        X11.XFree(wmhints);
    }
    if (XClassHint *classhints = X11.XAllocClassHint()) {
        classhints->res_name = data->classname;
        classhints->res_class = data->classname;
        X11.XSetClassHint(display, w, classhints);
        X11.XFree(classhints);
    }

    WriteStateProperty(display, data, w, (window->flags & JEX_WINDOW_FULLSCREEN) != 0,
                       (window->flags & JEX_WINDOW_MAXIMIZED) != 0);

    const Atom window_type = X11.XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const long normal = long(X11.XInternAtom(display, "_NET_WM_WINDOW_TYPE_NORMAL", False));
    X11.XChangeProperty(display, w, window_type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&normal), 1);

    // The process id lets a window manager offer to end a hung program.
    const Atom wm_pid = X11.XInternAtom(display, "_NET_WM_PID", False);
    const long pid = long(getpid());
    X11.XChangeProperty(display, w, wm_pid, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&pid), 1);

    Atom protocols[1] = {data->WM_DELETE_WINDOW};
    X11.XSetWMProtocols(display, w, protocols, 1);

    if (SetupWindow(device, window, w, true) < 0) {
        X11.XDestroyWindow(display, w);
        X11.XFreeColormap(display, colormap);
        return -1;
    }
    long fevent = 0;
    X11_WindowData *wd = WindowData(window);
    if (wd->ic)
        X11.XGetICValues(wd->ic, XNFilterEvents, &fevent, nullptr);
    X11.XSelectInput(display, w,
                     fevent | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                         EnterWindowMask | LeaveWindowMask | PointerMotionMask | KeymapStateMask |
                         ExposureMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask);
    X11.XFlush(display);
    return 0;
}

int X11_CreateWindowFrom(JEX_VideoDevice *device, JEX_Window *window, const void *data)
{
    const Window w = Window(reinterpret_cast<uintptr_t>(data));
    // Only a window the server knows can be adopted: ask it.
    Display *display = DriverData(device)->display;
    XWindowAttributes attributes{};
    X11_TrapErrors(display);
    const Status known = w != None ? X11.XGetWindowAttributes(display, w, &attributes) : 0;
    if (X11_UntrapErrors(display) != 0 || !known) {
        JEX_SetError("Invalid X window 0x%lx", static_cast<unsigned long>(w));
        return -1;
    }
    char *title = GetWindowTitle(device, w);
    if (title) {
        std::free(window->title);
        window->title = title;
    }
    return SetupWindow(device, window, w, false);
}

void X11_SetWindowTitle(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const Window w = WindowData(window)->xwindow;
    const char *title = window->title ? window->title : "";

    // WM_NAME for older managers; _NET_WM_NAME carries the UTF-8 text.
    char *legacy = Utf8ToLatin1(title);
    if (!legacy) {
        JEX_OutOfMemory();
        return;
    }
    XTextProperty text{};
    if (X11.XStringListToTextProperty(&legacy, 1, &text)) {
        X11.XSetTextProperty(display, w, &text, XA_WM_NAME);
        X11.XFree(text.value);
    }
    std::free(legacy);
    if (JEX_X11_HAVE_UTF8) {
        X11.XChangeProperty(display, w, data->_NET_WM_NAME, data->UTF8_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(title),
                            int(std::strlen(title)));
    }
    X11.XFlush(display);
}

void X11_SetWindowIcon(JEX_VideoDevice *device, JEX_Window *window, JEX_Surface *icon)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const Window w = WindowData(window)->xwindow;
    if (!icon) {
        X11.XDeleteProperty(display, w, data->_NET_WM_ICON);
        X11.XFlush(display);
        return;
    }
    JEX_Surface *argb = JEX_ConvertSurfaceFormat(icon, JEX_PIXELFORMAT_ARGB8888, 0);
    if (!argb)
        return;
    const size_t n = size_t(argb->w) * size_t(argb->h) + 2;
    auto *items = static_cast<long *>(std::malloc(n * sizeof(long)));
    if (!items) {
        JEX_FreeSurface(argb);
        JEX_OutOfMemory();
        return;
    }
    items[0] = argb->w;
    items[1] = argb->h;
    long *out = items + 2;
    for (int y = 0; y < argb->h; ++y) {
        const auto *row = reinterpret_cast<const Uint32 *>(
            static_cast<const Uint8 *>(argb->pixels) + size_t(y) * size_t(argb->pitch));
        for (int x = 0; x < argb->w; ++x)
            *out++ = long(row[x]);
    }
    X11.XChangeProperty(display, w, data->_NET_WM_ICON, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(items), int(n));
    std::free(items);
    JEX_FreeSurface(argb);
    X11.XFlush(display);
}

void X11_SetWindowPosition(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    window->x = ClampPosition(window->x);
    window->y = ClampPosition(window->y);
    X11.XMoveWindow(display, WindowData(window)->xwindow, window->x, window->y);
    X11.XFlush(display);
}

void X11_SetWindowSize(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    const Window w = WindowData(window)->xwindow;
    window->w = ClampSize(window->w);
    window->h = ClampSize(window->h);
    if (window->shaper)
        X11_ResizeWindowShape(device, window);
    if (!(window->flags & JEX_WINDOW_RESIZABLE)) {
        // Fixed-size hints first, or a manager would refuse the new size.
        SetSizeHints(display, w, window, false);
    }
    X11.XResizeWindow(display, w, unsigned(window->w), unsigned(window->h));
    X11.XFlush(display);
}

void X11_ShowWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    X11.XMapRaised(display, WindowData(window)->xwindow);
    X11.XFlush(display);
}

void X11_HideWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    X11.XUnmapWindow(display, WindowData(window)->xwindow);
    X11.XFlush(display);
}

void X11_RaiseWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    X11.XRaiseWindow(display, WindowData(window)->xwindow);
    X11.XFlush(display);
}

void X11_MaximizeWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    const X11_VideoData *data = DriverData(device);
    ChangeState(device, window, true, data->_NET_WM_STATE_MAXIMIZED_VERT,
                data->_NET_WM_STATE_MAXIMIZED_HORZ, (window->flags & JEX_WINDOW_FULLSCREEN) != 0,
                true);
}

void X11_MinimizeWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    Display *display = DriverData(device)->display;
    X11.XIconifyWindow(display, WindowData(window)->xwindow, WindowScreen(window));
    X11.XFlush(display);
}

void X11_RestoreWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    const X11_VideoData *data = DriverData(device);
    ChangeState(device, window, false, data->_NET_WM_STATE_MAXIMIZED_VERT,
                data->_NET_WM_STATE_MAXIMIZED_HORZ, (window->flags & JEX_WINDOW_FULLSCREEN) != 0,
                false);
    X11_ShowWindow(device, window);
}

void X11_SetWindowFullscreen(JEX_VideoDevice *device, JEX_Window *window, JEX_VideoDisplay *,
                             JEX_bool fullscreen)
{
    const X11_VideoData *data = DriverData(device);
    ChangeState(device, window, fullscreen != JEX_FALSE, data->_NET_WM_STATE_FULLSCREEN, 0,
                fullscreen != JEX_FALSE, (window->flags & JEX_WINDOW_MAXIMIZED) != 0);
}

int X11_SetWindowGammaRamp(JEX_VideoDevice *device, JEX_Window *window, const Uint16 *ramp)
{
    Display *display = DriverData(device)->display;
    X11_WindowData *wd = WindowData(window);
    if (!wd->visual || wd->visual->c_class != DirectColor) {
        JEX_SetError("Window doesn't have DirectColor visual");
        return -1;
    }
    if (StoreRamp(display, wd->colormap, wd->visual, [ramp](int channel, int i) {
            return ramp[channel * 256 + (i > 255 ? 255 : i)];
        }) < 0)
        return -1;
    X11.XFlush(display);
    return 0;
}

void X11_SetWindowGrab(JEX_VideoDevice *device, JEX_Window *window)
{
    const X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const Window w = WindowData(window)->xwindow;
    const bool wants = (window->flags & JEX_WINDOW_INPUT_FOCUS) &&
                       ((window->flags & JEX_WINDOW_INPUT_GRABBED) ||
                        ((window->flags & JEX_WINDOW_FULLSCREEN) && !data->net_wm));
    if (!wants) {
        X11.XUngrabPointer(display, CurrentTime);
        X11.XUngrabKeyboard(display, CurrentTime);
        X11.XSync(display, False);
        return;
    }
    // Another client may hold the pointer for a moment (a menu, a drag);
    // give it a while, but never hang on it.
    bool grabbed = false;
    for (int attempt = 0; attempt < X11_GRAB_ATTEMPTS && !grabbed; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        grabbed = X11.XGrabPointer(display, w, True, 0, GrabModeAsync, GrabModeAsync, w, None,
                                   CurrentTime) == GrabSuccess;
    }
    if (!grabbed)
        JEX_LogWarn(JEX_LOG_CATEGORY_VIDEO, "X11: the pointer grab was refused");
    X11.XRaiseWindow(display, w);
    X11.XGrabKeyboard(display, w, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    X11.XSync(display, False);
}

void X11_DestroyWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_VideoData *data = DriverData(device);
    X11_WindowData *wd = WindowData(window);
    X11_DestroyShaper(window);
    if (!wd)
        return;
    // The core has released the framebuffer already; this only guards the
    // shared segment against a caller that did not.
    X11_DestroyWindowFramebuffer(device, window);
    window->driverdata = nullptr;
    for (int i = 0; i < data->numwindows; ++i) {
        if (data->windowlist[i] == wd) {
            data->windowlist[i] = data->windowlist[data->numwindows - 1];
            data->windowlist[--data->numwindows] = nullptr;
            break;
        }
    }
    if (wd->ic)
        X11.XDestroyIC(wd->ic);
    if (wd->created) {
        X11.XDestroyWindow(data->display, wd->xwindow);
        if (wd->colormap)
            X11.XFreeColormap(data->display, wd->colormap);
        X11.XFlush(data->display);
    }
    std::free(wd);
}

JEX_bool X11_GetWindowWMInfo(JEX_VideoDevice *device, JEX_Window *window,
                             struct JEX_SysWMinfo *info)
{
    auto *out = reinterpret_cast<X11_SysWMinfo *>(info);
    if (out->major != 1 || out->minor != 3) {
        JEX_SetError("Application not compiled with JEX %d.%d\n", 1, 3);
        return JEX_FALSE;
    }
    out->subsystem = 2;
    out->info.x11.display = DriverData(device)->display;
    out->info.x11.window = WindowData(window)->xwindow;
    return JEX_TRUE;
}
