// Displays and display modes of the X11 driver.
#include "video/x11/x11_modes.h"

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "video/x11/x11_framebuffer.h"

#include <climits>
#include <cstdlib>
#include <initializer_list>

namespace {

X11_VideoData *DriverData(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata);
}

// Asking a library about an extension the server lacks makes it print a
// warning; ask the server first.
bool ServerHas(Display *display, const char *extension)
{
    int opcode = 0, event_base = 0, error_base = 0;
    return X11.XQueryExtension(display, extension, &opcode, &event_base, &error_base);
}

// An extension is switched off by its variable when the value reads as 0.
bool EnvDisabled(const char *name)
{
    const char *value = std::getenv(name);
    return value && std::strtol(value, nullptr, 0) == 0;
}

// The visual of a screen: the one named by JEX_VIDEO_X11_VISUALID when it
// exists on this screen, else the best class at the default depth.
bool ChooseVisual(Display *display, int screen, XVisualInfo *out)
{
    if (const char *id = std::getenv("JEX_VIDEO_X11_VISUALID")) {
        XVisualInfo wanted{};
        wanted.visualid = VisualID(std::strtoul(id, nullptr, 0));
        wanted.screen = screen;
        int count = 0;
        XVisualInfo *found =
            X11.XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count);
        if (found) {
            const bool ok = count > 0;
            if (ok)
                *out = found[0];
            X11.XFree(found);
            if (ok)
                return true;
        }
    }
    const int depth = DefaultDepth(display, screen);
    if (X11_UseDirectColorVisuals() &&
        X11.XMatchVisualInfo(display, screen, depth, DirectColor, out))
        return true;
    for (int c_class : {TrueColor, PseudoColor, StaticColor})
        if (X11.XMatchVisualInfo(display, screen, depth, c_class, out))
            return true;
    return false;
}

void AddMode(JEX_VideoDisplay *display, int w, int h, int refresh)
{
    JEX_DisplayMode mode{};
    mode.format = display->desktop_mode.format;
    mode.w = w;
    mode.h = h;
    mode.refresh_rate = refresh;
    mode.driverdata = nullptr;
    JEX_AddDisplayMode(display, &mode);
}

void FreeModeLines(XF86VidModeModeInfo **modes, int count)
{
    // The list is one block; each line's private data is separate.
    for (int i = 0; i < count; ++i)
        if (modes[i]->privsize > 0 && modes[i]->c_private)
            X11.XFree(modes[i]->c_private);
    X11.XFree(modes);
}

void ListXinerama(Display *display, X11_DisplayData *data)
{
    if (EnvDisabled("JEX_VIDEO_X11_XINERAMA") || !JEX_X11_HAVE_XINERAMA ||
        !ServerHas(display, "XINERAMA"))
        return;
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!X11.XineramaQueryExtension(display, &event_base, &error_base) ||
        !X11.XineramaQueryVersion(display, &major, &minor) || !X11.XineramaIsActive(display))
        return;
    int count = 0;
    XineramaScreenInfo *screens = X11.XineramaQueryScreens(display, &count);
    if (!screens)
        return;
    for (int i = 0; i < count; ++i) {
        if (screens[i].screen_number == data->screen) {
            data->xinerama_info = screens[i];
            data->use_xinerama = major * 100 + minor;
            break;
        }
    }
    X11.XFree(screens);
}

void ListXRandR(Display *display, JEX_VideoDisplay *jex_display, X11_DisplayData *data)
{
    if (EnvDisabled("JEX_VIDEO_X11_XRANDR") || !JEX_X11_HAVE_XRANDR || !ServerHas(display, "RANDR"))
        return;
    int major = 0, minor = 0;
    if (!X11.XRRQueryVersion(display, &major, &minor) || major < 1)
        return;
    XRRScreenConfiguration *config =
        X11.XRRGetScreenInfo(display, RootWindow(display, data->screen));
    if (!config)
        return;
    int nsizes = 0;
    XRRScreenSize *sizes = X11.XRRConfigSizes(config, &nsizes);
    for (int i = 0; i < nsizes; ++i) {
        int nrates = 0;
        short *rates = X11.XRRConfigRates(config, i, &nrates);
        // A size the server lists without rates is still a mode.
        if (nrates <= 0 || !rates)
            AddMode(jex_display, sizes[i].width, sizes[i].height, 0);
        for (int j = 0; j < nrates && rates; ++j)
            AddMode(jex_display, sizes[i].width, sizes[i].height, rates[j]);
    }
    if (nsizes > 0) {
        if (data->screen_config)
            X11.XRRFreeScreenConfigInfo(data->screen_config);
        data->screen_config = config;
        data->use_xrandr = major * 100 + minor;
        data->saved_size = X11.XRRConfigCurrentConfiguration(config, &data->saved_rotation);
        data->saved_rate = X11.XRRConfigCurrentRate(config);
    } else {
        X11.XRRFreeScreenConfigInfo(config);
    }
}

void ListVidMode(Display *display, JEX_VideoDisplay *jex_display, X11_DisplayData *data)
{
    if (EnvDisabled("JEX_VIDEO_X11_XVIDMODE") || !JEX_X11_HAVE_XVIDMODE ||
        !ServerHas(display, "XFree86-VidModeExtension"))
        return;
    int event_base = 0, error_base = 0, major = 0, minor = 0, count = 0;
    XF86VidModeModeInfo **modes = nullptr;
    if (!X11.XF86VidModeQueryExtension(display, &event_base, &error_base) ||
        !X11.XF86VidModeQueryVersion(display, &major, &minor) ||
        !X11.XF86VidModeGetAllModeLines(display, data->screen, &count, &modes))
        return;
    for (int i = 0; i < count; ++i) {
        const XF86VidModeModeInfo *m = modes[i];
        AddMode(jex_display, m->hdisplay, m->vdisplay,
                X11_ModeLineRefresh(m->dotclock, m->htotal, m->vtotal));
    }
    FreeModeLines(modes, count);
    data->use_vidmode = major * 100 + minor;

    if (data->saved_mode.privsize > 0 && data->saved_mode.c_private)
        X11.XFree(data->saved_mode.c_private);
    data->saved_mode = XF86VidModeModeLine{};
    int dotclock = 0;
    X11.XF86VidModeGetModeLine(display, data->screen, &dotclock, &data->saved_mode);
    X11.XF86VidModeGetViewPort(display, data->screen, &data->saved_view.x, &data->saved_view.y);
}

// The mode the screen is in now: size and rate.
void CurrentMode(Display *display, X11_DisplayData *data, int *w, int *h, int *rate)
{
    if (data->use_xrandr && data->screen_config) {
        int nsizes = 0;
        XRRScreenSize *sizes = X11.XRRConfigSizes(data->screen_config, &nsizes);
        if (nsizes > 0) {
            Rotation rotation = 0;
            const int current = X11.XRRConfigCurrentConfiguration(data->screen_config, &rotation);
            if (current >= 0 && current < nsizes) {
                *w = sizes[current].width;
                *h = sizes[current].height;
                *rate = X11.XRRConfigCurrentRate(data->screen_config);
                return;
            }
        }
    }
    if (data->use_vidmode) {
        XF86VidModeModeLine line{};
        int dotclock = 0;
        if (X11.XF86VidModeGetModeLine(display, data->screen, &dotclock, &line)) {
            if (line.privsize > 0 && line.c_private)
                X11.XFree(line.c_private);
            *w = line.hdisplay;
            *h = line.vdisplay;
            *rate = X11_ModeLineRefresh(unsigned(dotclock), line.htotal, line.vtotal);
            return;
        }
    }
    if (data->use_xinerama) {
        *w = data->xinerama_info.width;
        *h = data->xinerama_info.height;
    } else {
        *w = DisplayWidth(display, data->screen);
        *h = DisplayHeight(display, data->screen);
    }
    *rate = 0;
}

}  // namespace

int X11_ModeLineRefresh(unsigned dotclock, unsigned htotal, unsigned vtotal)
{
    if (htotal == 0 || vtotal == 0)
        return 0;
    const Uint64 rate = Uint64(dotclock) * 1000u / (Uint64(htotal) * vtotal);
    return rate > INT_MAX ? INT_MAX : int(rate);
}

int X11_ChooseRandRSize(const XRRScreenSize *sizes, int count, int w, int h)
{
    int best = -1;
    for (int i = 0; i < count; ++i) {
        if (sizes[i].width == w && sizes[i].height == h)
            return i;
        if (sizes[i].width < w || sizes[i].height < h)
            continue;
        if (best < 0 || sizes[i].width < sizes[best].width ||
            (sizes[i].width == sizes[best].width && sizes[i].height < sizes[best].height))
            best = i;
    }
    return best;
}

short X11_ChooseRandRRate(const short *rates, int count, int wanted)
{
    if (count <= 0 || !rates)
        return short(wanted);
    if (rates[0] == wanted)
        return rates[0];
    if (wanted == 0) {
        short highest = rates[0];
        for (int i = 1; i < count; ++i)
            if (rates[i] > highest)
                highest = rates[i];
        return highest;
    }
    short best = rates[0];
    int best_distance = std::abs(rates[0] - wanted);
    for (int i = 1; i < count && best_distance != 0; ++i) {
        const int distance = std::abs(rates[i] - wanted);
        if (distance < best_distance) {
            best = rates[i];
            best_distance = distance;
        }
    }
    return best;
}

int X11_ChooseVidMode(XF86VidModeModeInfo *const *modes, int count, int w, int h, int refresh)
{
    int best = -1;
    int best_refresh = 0;
    for (int i = 0; i < count; ++i) {
        const XF86VidModeModeInfo *m = modes[i];
        if (m->hdisplay < w || m->vdisplay < h)
            continue;
        const int r = X11_ModeLineRefresh(m->dotclock, m->htotal, m->vtotal);
        bool take = false;
        if (best < 0) {
            take = true;
        } else {
            const XF86VidModeModeInfo *b = modes[best];
            if (m->hdisplay != b->hdisplay)
                take = m->hdisplay < b->hdisplay;
            else if (m->vdisplay != b->vdisplay)
                take = m->vdisplay < b->vdisplay;
            else if (refresh == 0)
                take = r > best_refresh;
            else
                take = std::abs(r - refresh) < std::abs(best_refresh - refresh);
        }
        if (take) {
            best = i;
            best_refresh = r;
        }
    }
    return best;
}

int X11_InitModes(JEX_VideoDevice *device)
{
    Display *display = DriverData(device)->display;
    const int screens = ScreenCount(display);
    for (int screen = 0; screen < screens; ++screen) {
        XVisualInfo vinfo{};
        if (!ChooseVisual(display, screen, &vinfo))
            continue;
        const Uint32 format = X11_GetPixelFormatFromVisualInfo(display, &vinfo);
        if (format == 0 || JEX_ISPIXELFORMAT_INDEXED(format))
            continue;
        auto *data = static_cast<X11_DisplayData *>(std::calloc(1, sizeof(X11_DisplayData)));
        if (!data)
            continue;
        data->screen = screen;
        data->visual = vinfo.visual;
        data->depth = vinfo.depth;
        X11_GetPixmapFormat(display, vinfo.depth, nullptr, &data->scanline_pad);

        JEX_VideoDisplay display_record{};
        display_record.desktop_mode.format = format;
        display_record.desktop_mode.w = DisplayWidth(display, screen);
        display_record.desktop_mode.h = DisplayHeight(display, screen);
        display_record.desktop_mode.refresh_rate = 0;
        display_record.desktop_mode.driverdata = nullptr;
        display_record.current_mode = display_record.desktop_mode;
        display_record.driverdata = data;
        if (JEX_AddVideoDisplay(&display_record) < 0)
            std::free(data);
    }
    if (device->num_displays == 0) {
        JEX_SetError("No available displays");
        return -1;
    }
    return 0;
}

void X11_GetDisplayModes(JEX_VideoDevice *device, JEX_VideoDisplay *jex_display)
{
    Display *display = DriverData(device)->display;
    auto *data = static_cast<X11_DisplayData *>(jex_display->driverdata);
    data->use_xinerama = 0;
    data->use_xrandr = 0;
    data->use_vidmode = 0;
    const int screen_w = DisplayWidth(display, data->screen);
    const int screen_h = DisplayHeight(display, data->screen);

    ListXinerama(display, data);
    if (data->use_xinerama) {
        const XineramaScreenInfo &xs = data->xinerama_info;
        if (xs.width < screen_w || xs.height < screen_h)
            AddMode(jex_display, screen_w, screen_h, 0);
        AddMode(jex_display, xs.width, xs.height, 0);
    }

    ListXRandR(display, jex_display, data);
    if (data->use_xrandr)
        return;
    if (!data->use_xinerama || data->xinerama_info.screen_number == 0)
        ListVidMode(display, jex_display, data);
    if (!data->use_vidmode)
        AddMode(jex_display, screen_w, screen_h, 0);
}

int X11_SetDisplayMode(JEX_VideoDevice *device, JEX_VideoDisplay *jex_display,
                       JEX_DisplayMode *mode)
{
    Display *display = DriverData(device)->display;
    auto *data = static_cast<X11_DisplayData *>(jex_display->driverdata);

    // The configuration read at listing time goes stale with the first
    // switch (ours or another client's); judged by it, a switch back to the
    // listed size would look like "already there" and never happen.
    if (data->use_xrandr && data->screen_config) {
        if (XRRScreenConfiguration *fresh =
                X11.XRRGetScreenInfo(display, RootWindow(display, data->screen))) {
            X11.XRRFreeScreenConfigInfo(data->screen_config);
            data->screen_config = fresh;
        }
    }

    int w = 0, h = 0, rate = 0;
    CurrentMode(display, data, &w, &h, &rate);
    if (mode->w == w && mode->h == h && (mode->refresh_rate == 0 || mode->refresh_rate == rate))
        return 0;

    if (data->use_xrandr && data->screen_config) {
        int nsizes = 0;
        XRRScreenSize *sizes = X11.XRRConfigSizes(data->screen_config, &nsizes);
        const int size = X11_ChooseRandRSize(sizes, nsizes, mode->w, mode->h);
        if (size < 0) {
            JEX_SetError("No X display mode of at least %dx%d", mode->w, mode->h);
            return -1;
        }
        int nrates = 0;
        short *rates = X11.XRRConfigRates(data->screen_config, size, &nrates);
        const short new_rate = X11_ChooseRandRRate(rates, nrates, mode->refresh_rate);
        const Status status = X11.XRRSetScreenConfigAndRate(
            display, data->screen_config, RootWindow(display, data->screen), size,
            data->saved_rotation, new_rate, CurrentTime);
        if (status != Success) {
            JEX_SetError("Couldn't switch the X display to %dx%d", mode->w, mode->h);
            return -1;
        }
        return 0;
    }

    if (data->use_vidmode) {
        int count = 0;
        XF86VidModeModeInfo **modes = nullptr;
        if (!X11.XF86VidModeGetAllModeLines(display, data->screen, &count, &modes)) {
            JEX_SetError("Couldn't read the X display modes");
            return -1;
        }
        const int best = X11_ChooseVidMode(modes, count, mode->w, mode->h, mode->refresh_rate);
        const bool switched =
            best >= 0 && X11.XF86VidModeSwitchToMode(display, data->screen, modes[best]);
        FreeModeLines(modes, count);
        if (!switched) {
            JEX_SetError("Couldn't switch the X display to %dx%d", mode->w, mode->h);
            return -1;
        }
        X11.XFlush(display);
        return 0;
    }

    // Reporting success here would make the core believe in a mode the
    // screen never took.
    JEX_SetError("The X server offers no way to change the display mode");
    return -1;
}

void X11_QuitModes(JEX_VideoDevice *device)
{
    for (int i = 0; i < device->num_displays; ++i) {
        auto *data = static_cast<X11_DisplayData *>(device->displays[i].driverdata);
        if (!data)
            continue;
        if (data->screen_config) {
            X11.XRRFreeScreenConfigInfo(data->screen_config);
            data->screen_config = nullptr;
        }
        if (data->saved_mode.privsize > 0 && data->saved_mode.c_private)
            X11.XFree(data->saved_mode.c_private);
        data->saved_mode = XF86VidModeModeLine{};
    }
}
