/* The X11 driver's displays and display modes: one display per X screen
   with a usable visual; modes from Xinerama, RandR or the XFree86
   video-mode extension, each of which can be turned off. */
#ifndef JEX_X11_MODES_H
#define JEX_X11_MODES_H

#include "video/x11/x11_video.h"

/* The display's driverdata. */
struct X11_DisplayData {
    int screen;
    Visual *visual;
    int depth;
    int scanline_pad;
    int use_xinerama; /* 0, or version major * 100 + minor */
    int use_xrandr;
    int use_vidmode;
    XineramaScreenInfo xinerama_info;
    XRRScreenConfiguration *screen_config;
    int saved_size;
    Rotation saved_rotation;
    short saved_rate;
    XF86VidModeModeLine saved_mode;
    struct {
        int x, y;
    } saved_view;
};

int X11_InitModes(JEX_VideoDevice *device);
void X11_GetDisplayModes(JEX_VideoDevice *device, JEX_VideoDisplay *display);
int X11_SetDisplayMode(JEX_VideoDevice *device, JEX_VideoDisplay *display, JEX_DisplayMode *mode);
void X11_QuitModes(JEX_VideoDevice *device);

/* The choices behind a mode switch, separate so they can be checked
   without a server that offers them. */

/* Refresh rate of a mode line in Hz from its dot clock (kHz) and totals;
   0 when a total is 0. */
int X11_ModeLineRefresh(unsigned dotclock, unsigned htotal, unsigned vtotal);

/* Index of the RandR size equal to w x h, else of the smallest one at least
   that large (narrower first, then lower); -1 when none is. */
int X11_ChooseRandRSize(const XRRScreenSize *sizes, int count, int w, int h);

/* The rate to ask for: `wanted` when it is the first rate, the highest
   when `wanted` is 0, else the closest (an earlier rate wins a tie). */
short X11_ChooseRandRRate(const short *rates, int count, int wanted);

/* Index of the video-mode line to switch to for w x h at `refresh`
   (0 = any): among the lines at least that large the narrowest, then the
   lowest, then the highest refresh (refresh 0) or the closest one; -1 when
   no line is large enough. */
int X11_ChooseVidMode(XF86VidModeModeInfo *const *modes, int count, int w, int h, int refresh);

#endif /* JEX_X11_MODES_H */
