/* The X11 video driver: its per-device data and the operations shared by
   its parts (displays, windows, events, keyboard, mouse and GLX). */
#ifndef JEX_X11_VIDEO_H
#define JEX_X11_VIDEO_H

#include "JEX_keyboard.h"
#include "video/sysvideo.h"

#include "video/x11/x11_dyn.h"

#include <sys/types.h>

struct X11_WindowData;

/* One per video device (the device's driverdata). */
struct X11_VideoData {
    Display *display;
    char *classname; /* window class name, owned */
    XIM im;          /* input method, or null */
    X11_WindowData **windowlist;
    int numwindows;
    int windowlistlength;
    bool net_wm; /* an extended-hints window manager runs */

    Atom WM_DELETE_WINDOW;
    Atom _NET_WM_STATE;
    Atom _NET_WM_STATE_HIDDEN;
    Atom _NET_WM_STATE_MAXIMIZED_VERT;
    Atom _NET_WM_STATE_MAXIMIZED_HORZ;
    Atom _NET_WM_STATE_FULLSCREEN;
    Atom _NET_WM_NAME;
    Atom _NET_WM_ICON_NAME;
    Atom _NET_WM_ICON;
    Atom UTF8_STRING;

    /* Keyboard part: scancode of every X key code (0 = none), the server's
       key-code range and which built-in table was used (-1: derived). */
    JEX_Scancode key_layout[256];
    int min_keycode;
    int max_keycode;
    int keyboard_table;

    /* Event part; the desktop screen-saver inhibitor's process, or 0. */
    Uint32 screensaver_activity;
    bool selection_waiting;
    pid_t screensaver_inhibit_pid;

    /* GL part: why the GL library did not load, kept for the context
       request that follows ("" when it loaded). */
    char gl_load_error[256];

    /* Mouse part: the invisible cursor, made on first use. */
    Cursor empty_cursor;

    /* The error handler that was installed before the driver's own. */
    XErrorHandler previous_error_handler;
};

int X11_Available(void);
JEX_VideoDevice *X11_CreateDevice(int devindex);
void X11_DeleteDevice(JEX_VideoDevice *device);
int X11_VideoInit(JEX_VideoDevice *device);
void X11_VideoQuit(JEX_VideoDevice *device);
bool X11_UseDirectColorVisuals(void);

/* Protocol errors never end the program: the driver's handler logs them.
   Around requests that may fail, trap errors: X11_TrapErrors synchronises
   (earlier errors go to the enclosing trap or the log) and opens a trap;
   X11_UntrapErrors synchronises, closes the innermost trap and returns the
   first error code caught in it (0 = none), without logging it. Traps nest
   and close in reverse order; an inner trap leaves the outer one's result
   alone (eight levels keep separate results, deeper ones share the last). */
void X11_TrapErrors(Display *display);
int X11_UntrapErrors(Display *display);

#endif /* JEX_X11_VIDEO_H */
