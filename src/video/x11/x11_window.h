/* The X11 driver's windows: one record per library window, found again by
   its X window when events arrive. */
#ifndef JEX_X11_WINDOW_H
#define JEX_X11_WINDOW_H

#include "video/x11/x11_video.h"

/* The library window's driverdata. */
struct X11_WindowData {
    JEX_Window *window;
    Window xwindow;
    Visual *visual;
    Colormap colormap;
    /* Window framebuffer: its image, in shared memory when use_mitshm. */
    bool use_mitshm;
    XShmSegmentInfo shminfo;
    XImage *ximage;
    GC gc;
    XIC ic;       /* input context, or null */
    bool created; /* false for a foreign window */
    X11_VideoData *videodata;
};

int X11_CreateWindow(JEX_VideoDevice *device, JEX_Window *window);
int X11_CreateWindowFrom(JEX_VideoDevice *device, JEX_Window *window, const void *data);
void X11_SetWindowTitle(JEX_VideoDevice *device, JEX_Window *window);
void X11_SetWindowIcon(JEX_VideoDevice *device, JEX_Window *window, JEX_Surface *icon);
void X11_SetWindowPosition(JEX_VideoDevice *device, JEX_Window *window);
void X11_SetWindowSize(JEX_VideoDevice *device, JEX_Window *window);
void X11_ShowWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_HideWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_RaiseWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_MaximizeWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_MinimizeWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_RestoreWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_SetWindowFullscreen(JEX_VideoDevice *device, JEX_Window *window, JEX_VideoDisplay *display,
                             JEX_bool fullscreen);
int X11_SetWindowGammaRamp(JEX_VideoDevice *device, JEX_Window *window, const Uint16 *ramp);
void X11_SetWindowGrab(JEX_VideoDevice *device, JEX_Window *window);
void X11_DestroyWindow(JEX_VideoDevice *device, JEX_Window *window);
JEX_bool X11_GetWindowWMInfo(JEX_VideoDevice *device, JEX_Window *window,
                             struct JEX_SysWMinfo *info);

/* The window-system information record as this driver fills it: the
   library version the caller was built with (1.3), the kind of window
   system (2 = X11), then the connection and the X window. */
struct X11_SysWMinfo {
    Uint8 major, minor, patch;
    Uint32 subsystem;
    union {
        struct {
            Display *display;
            Window window;
        } x11;
        Uint8 dummy[64];
    } info;
};

/* The window's position in root coordinates. A reparenting window manager
   puts the window inside its frame, where the server reports positions
   relative to the frame. */
void X11_GetRootPosition(Display *display, Window xwindow, int *x, int *y);

/* The largest width or height a window gets; larger requests are clamped.
   The protocol's signed 16-bit coordinates would allow 32767, but GL's
   software paths size a window's 32-bit pixel buffer in a signed int, which
   overflows past about 23170 squared; 16384 squared (1 GiB) stays clear. */
constexpr int X11_MAX_WINDOW_SIZE = 16384;

/* How many times a refused pointer grab is retried, 100 ms apart. */
constexpr int X11_GRAB_ATTEMPTS = 20;

#endif /* JEX_X11_WINDOW_H */
