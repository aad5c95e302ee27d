// The video core: driver selection, the current device, displays and their
// mode lists.
#include "video/gl_internal.h"
#include "video/sysvideo.h"

#include "events/events_internal.h"
#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "events/touch_internal.h"

#include "JEX_error.h"
#include "JEX_pixels.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

namespace {

// The video core belongs to the thread that started video; only the pump
// hook below is reached from other threads, through the event queue, and it
// reads the device pointer the application's thread sets and clears around
// starting and stopping the queue.
struct VideoState {
    JEX_VideoDevice *device = nullptr;
};

VideoState g_video;

// The order is the auto-selection order.
constexpr const VideoBootStrap *kBootstrap[] = {
#if JEX_VIDEO_DRIVER_X11
    &X11_bootstrap,
#endif
    &DUMMY_bootstrap};
constexpr int kNumBootstrap = int(std::size(kBootstrap));

bool NoDeviceError()
{
    if (!g_video.device) {
        JEX_SetError("Video subsystem has not been initialized");
        return true;
    }
    return false;
}

JEX_VideoDisplay *CheckedDisplay(int index)
{
    if (NoDeviceError())
        return nullptr;
    if (index < 0 || index >= g_video.device->num_displays) {
        JEX_SetError("displayIndex must be in the range 0 - %d", g_video.device->num_displays - 1);
        return nullptr;
    }
    return &g_video.device->displays[index];
}

bool ModesEqual(const JEX_DisplayMode &a, const JEX_DisplayMode &b)
{
    return a.format == b.format && a.w == b.w && a.h == b.h && a.refresh_rate == b.refresh_rate &&
           a.driverdata == b.driverdata;
}

// Descending by width, height, bits per pixel, layout, refresh rate.
int CompareModes(const JEX_DisplayMode &a, const JEX_DisplayMode &b)
{
    if (a.w != b.w)
        return b.w > a.w ? 1 : -1;
    if (a.h != b.h)
        return b.h > a.h ? 1 : -1;
    if (JEX_BITSPERPIXEL(a.format) != JEX_BITSPERPIXEL(b.format))
        return int(JEX_BITSPERPIXEL(b.format)) - int(JEX_BITSPERPIXEL(a.format));
    if (JEX_PIXELLAYOUT(a.format) != JEX_PIXELLAYOUT(b.format))
        return int(JEX_PIXELLAYOUT(b.format)) - int(JEX_PIXELLAYOUT(a.format));
    if (a.refresh_rate != b.refresh_rate)
        return b.refresh_rate > a.refresh_rate ? 1 : -1;
    return 0;
}

void SortModes(JEX_VideoDisplay *display)
{
    if (display->num_display_modes > 1) {
        std::stable_sort(
            display->display_modes, display->display_modes + display->num_display_modes,
            [](const JEX_DisplayMode &a, const JEX_DisplayMode &b) {
                return CompareModes(a, b) < 0;
            });
    }
}

// The driver lists a display's modes once, the first time they are needed.
void ListModes(JEX_VideoDisplay *display)
{
    if (display->num_display_modes == 0 && g_video.device && g_video.device->GetDisplayModes) {
        g_video.device->GetDisplayModes(g_video.device, display);
        SortModes(display);
    }
}

// The event pump reaches the platform through this.
void PumpPlatform()
{
    if (g_video.device && g_video.device->PumpEvents)
        g_video.device->PumpEvents(g_video.device);
}

// Restores the error record after clean-up steps that may overwrite it.
class ErrorKeeper {
public:
    ErrorKeeper() { saved_ = *JEX_GetErrBuf(); }
    ~ErrorKeeper() { *JEX_GetErrBuf() = saved_; }

private:
    JEX_ErrorRecord saved_;
};

// Undoes the input sources started by video initialisation, last first.
// Runs while the driver still exists, so touch devices it added are freed
// through it.
void StopInput(int started)
{
    if (started > 4)
        JEX_QuitQuit();
    if (started > 3)
        JEX_TouchQuit();
    if (started > 2)
        JEX_MouseQuit();
    if (started > 1)
        JEX_KeyboardQuit();
    if (started > 0)
        JEX_StopEventLoop();
}

int StartVideo(const char *driver_name, const VideoBootStrap *entry)
{
    if (g_video.device)
        JEX_VideoQuit();

    // A failure before the device exists leaves nothing running: signal
    // handlers and the queue started here are undone again.
    int started = 0;
    if (JEX_StartEventLoop() < 0)
        return -1;
    started = 1;
    if (JEX_KeyboardInit() < 0) {
        ErrorKeeper keep;
        StopInput(started);
        return -1;
    }
    started = 2;
    if (JEX_MouseInit() < 0) {
        ErrorKeeper keep;
        StopInput(started);
        return -1;
    }
    started = 3;
    if (JEX_TouchInit() < 0) {
        ErrorKeeper keep;
        StopInput(started);
        return -1;
    }
    started = 4;
    if (JEX_QuitInit() < 0) {
        ErrorKeeper keep;
        StopInput(started);
        return -1;
    }
    started = 5;

    JEX_VideoDevice *device = nullptr;
    if (entry) {
        device = entry->create(0);
        if (!device) {
            if (!entry->name)
                JEX_SetError("Video driver not available");
            else
                JEX_SetError("%s not available", entry->name);
        }
    } else {
        if (!driver_name)
            driver_name = std::getenv("JEX_VIDEODRIVER");
        if (driver_name) {
            for (int i = 0; i < kNumBootstrap; ++i) {
                if (strcasecmp(kBootstrap[i]->name, driver_name) == 0) {
                    entry = kBootstrap[i];
                    device = entry->create(0);
                    break;
                }
            }
            if (!device)
                JEX_SetError("%s not available", driver_name);
        } else {
            // A driver that says why it is unavailable keeps its reason.
            char before[256];
            std::snprintf(before, sizeof(before), "%s", JEX_GetError());
            for (int i = 0; i < kNumBootstrap; ++i) {
                if (kBootstrap[i]->available()) {
                    device = kBootstrap[i]->create(0);
                    if (device) {
                        entry = kBootstrap[i];
                        break;
                    }
                }
            }
            if (!device && std::strcmp(before, JEX_GetError()) == 0)
                JEX_SetError("No available video device");
        }
    }
    if (!device) {
        ErrorKeeper keep;
        StopInput(started);
        return -1;
    }

    device->name = entry->name;
    device->next_object_id = 1;
    JEX_GL_ResetConfig(device->gl_config);
    g_video.device = device;
    JEX_SetPlatformPumpHook(PumpPlatform);

    if (g_video.device->VideoInit(g_video.device) < 0) {
        ErrorKeeper keep;
        JEX_VideoQuit();
        return -1;
    }
    if (g_video.device->num_displays == 0) {
        JEX_SetError("The video driver did not add any displays");
        ErrorKeeper keep;
        JEX_VideoQuit();
        return -1;
    }
    JEX_ChooseWindowFramebuffer(g_video.device);
    return 0;
}

}  // namespace

extern "C" {

int JEX_GetNumVideoDrivers(void)
{
    return kNumBootstrap;
}

const char *JEX_GetVideoDriver(int index)
{
    if (index >= 0 && index < kNumBootstrap)
        return kBootstrap[index]->name;
    return nullptr;
}

int JEX_VideoInit(const char *driver_name)
{
    return StartVideo(driver_name, nullptr);
}

int JEX_VideoInitWithBootstrap(const VideoBootStrap *entry)
{
    if (!entry || !entry->create) {
        JEX_SetError("Parameter '%s' is invalid", "bootstrap");
        return -1;
    }
    return StartVideo(nullptr, entry);
}

void JEX_VideoQuit(void)
{
    if (!g_video.device)
        return;
    if (g_video.device->suspend_screensaver) {
        g_video.device->suspend_screensaver = 0;
        if (g_video.device->SuspendScreenSaver)
            g_video.device->SuspendScreenSaver(g_video.device);
    }
    // Windows go while the queue still runs, so their last events neither
    // fail at a stopped queue nor overwrite the error record.
    while (g_video.device->windows)
        JEX_DestroyWindow(g_video.device->windows);
    StopInput(5);
    JEX_SetPlatformPumpHook(nullptr);

    // A library load the application never gave back is released here, so
    // the driver's handle does not outlive the device.
    JEX_GL_ReleaseLibrary(g_video.device);
    // Cursors are the driver's: they go through it while it still runs.
    JEX_MouseReleaseDriver();
    g_video.device->VideoQuit(g_video.device);

    for (int i = 0; i < g_video.device->num_displays; ++i) {
        JEX_VideoDisplay *display = &g_video.device->displays[i];
        for (int j = 0; j < display->num_display_modes; ++j)
            std::free(display->display_modes[j].driverdata);
        std::free(display->display_modes);
        std::free(display->desktop_mode.driverdata);
        std::free(display->driverdata);
    }
    std::free(g_video.device->displays);
    std::free(g_video.device->clipboard_text);
    JEX_VideoDevice *device = g_video.device;
    g_video.device = nullptr;
    device->displays = nullptr;
    device->num_displays = 0;
    device->clipboard_text = nullptr;
    device->free(device);
}

const char *JEX_GetCurrentVideoDriver(void)
{
    if (NoDeviceError())
        return nullptr;
    return g_video.device->name;
}

JEX_VideoDevice *JEX_GetVideoDevice(void)
{
    return g_video.device;
}

int JEX_GetNumVideoDisplays(void)
{
    if (NoDeviceError())
        return 0;
    return g_video.device->num_displays;
}

int JEX_AddVideoDisplay(const JEX_VideoDisplay *display)
{
    if (NoDeviceError())
        return -1;
    if (!display) {
        JEX_SetError("Parameter '%s' is invalid", "display");
        return -1;
    }
    if (g_video.device->num_displays == INT_MAX) {
        JEX_OutOfMemory();
        return -1;
    }
    const size_t count = size_t(g_video.device->num_displays) + 1;
    auto *displays = static_cast<JEX_VideoDisplay *>(
        std::realloc(g_video.device->displays, count * sizeof(JEX_VideoDisplay)));
    if (!displays) {
        JEX_OutOfMemory();
        return -1;
    }
    const int index = g_video.device->num_displays;
    displays[index] = *display;
    displays[index].device = g_video.device;
    g_video.device->displays = displays;
    g_video.device->num_displays = index + 1;
    return index;
}

int JEX_AddBasicVideoDisplay(const JEX_DisplayMode *desktop_mode)
{
    JEX_VideoDisplay display;
    std::memset(&display, 0, sizeof(display));
    if (desktop_mode)
        display.desktop_mode = *desktop_mode;
    display.current_mode = display.desktop_mode;
    return JEX_AddVideoDisplay(&display);
}

int JEX_GetIndexOfDisplay(JEX_VideoDisplay *display)
{
    if (g_video.device && display) {
        for (int i = 0; i < g_video.device->num_displays; ++i)
            if (display == &g_video.device->displays[i])
                return i;
    }
    return 0;
}

JEX_VideoDisplay *JEX_GetFirstDisplay(void)
{
    if (!g_video.device || g_video.device->num_displays == 0)
        return nullptr;
    return &g_video.device->displays[0];
}

JEX_bool JEX_AddDisplayMode(JEX_VideoDisplay *display, const JEX_DisplayMode *mode)
{
    if (!display || !mode)
        return JEX_FALSE;
    for (int i = 0; i < display->num_display_modes; ++i)
        if (ModesEqual(display->display_modes[i], *mode))
            return JEX_FALSE;
    if (display->num_display_modes >= display->max_display_modes) {
        // A list that cannot grow is out of memory either way.
        const int capacity =
            display->max_display_modes <= INT_MAX - 32 ? display->max_display_modes + 32 : 0;
        auto *modes = capacity
                          ? static_cast<JEX_DisplayMode *>(std::realloc(
                                display->display_modes, size_t(capacity) * sizeof(JEX_DisplayMode)))
                          : nullptr;
        if (!modes) {
            JEX_OutOfMemory();
            return JEX_FALSE;
        }
        display->display_modes = modes;
        display->max_display_modes = capacity;
    }
    display->display_modes[display->num_display_modes++] = *mode;
    SortModes(display);
    return JEX_TRUE;
}

int JEX_GetDisplayBounds(int displayIndex, JEX_Rect *rect)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return -1;
    if (!rect)
        return 0;
    if (g_video.device->GetDisplayBounds &&
        g_video.device->GetDisplayBounds(g_video.device, display, rect) == 0)
        return 0;
    if (displayIndex == 0) {
        rect->x = 0;
        rect->y = 0;
    } else {
        JEX_Rect left;
        JEX_GetDisplayBounds(displayIndex - 1, &left);
        const long long x = (long long)left.x + left.w;
        rect->x = int(std::clamp<long long>(x, INT_MIN, INT_MAX));
        rect->y = left.y;
    }
    rect->w = display->desktop_mode.w;
    rect->h = display->desktop_mode.h;
    return 0;
}

int JEX_GetNumDisplayModes(int displayIndex)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return -1;
    ListModes(display);
    return display->num_display_modes;
}

int JEX_GetDisplayMode(int displayIndex, int modeIndex, JEX_DisplayMode *mode)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return -1;
    ListModes(display);
    if (modeIndex < 0 || modeIndex >= display->num_display_modes) {
        JEX_SetError("index must be in the range of 0 - %d", display->num_display_modes - 1);
        return -1;
    }
    if (mode)
        *mode = display->display_modes[modeIndex];
    return 0;
}

int JEX_GetDesktopDisplayMode(int displayIndex, JEX_DisplayMode *mode)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return -1;
    if (mode)
        *mode = display->desktop_mode;
    return 0;
}

int JEX_GetCurrentDisplayMode(int displayIndex, JEX_DisplayMode *mode)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return -1;
    if (mode)
        *mode = display->current_mode;
    return 0;
}

JEX_DisplayMode *JEX_GetClosestDisplayModeForDisplay(JEX_VideoDisplay *display,
                                                     const JEX_DisplayMode *mode,
                                                     JEX_DisplayMode *closest)
{
    if (!mode || !closest) {
        JEX_SetError("Missing desired mode or closest mode parameter");
        return nullptr;
    }
    if (!display) {
        JEX_SetError("Parameter '%s' is invalid", "display");
        return nullptr;
    }
    const JEX_DisplayMode wanted = *mode;  // closest may be the same record
    const Uint32 target_format = wanted.format ? wanted.format : display->desktop_mode.format;
    const int target_refresh =
        wanted.refresh_rate ? wanted.refresh_rate : display->desktop_mode.refresh_rate;
    const Uint32 target_bpp = JEX_BITSPERPIXEL(target_format);
    const Uint32 target_type = JEX_PIXELTYPE(target_format);

    ListModes(display);
    const JEX_DisplayMode *match = nullptr;
    for (int i = 0; i < display->num_display_modes; ++i) {
        const JEX_DisplayMode *current = &display->display_modes[i];
        if (current->w && current->w < wanted.w)
            break;  // the list is sorted: nothing later is wide enough
        if (current->h && current->h < wanted.h) {
            if (current->w && current->w == wanted.w)
                break;
            continue;  // a narrower mode of another aspect ratio may still fit
        }
        if (!match) {
            match = current;
            continue;
        }
        if (current->w < match->w || current->h < match->h) {
            match = current;
            continue;
        }
        if (current->format == match->format) {
            if (current->refresh_rate == match->refresh_rate ||
                current->refresh_rate < target_refresh)
                continue;
            match = current;
            continue;
        }
        if (current->format == target_format)
            match = current;
        else if (JEX_BITSPERPIXEL(current->format) >= target_bpp &&
                 JEX_PIXELTYPE(current->format) == target_type)
            match = current;
    }
    if (!match)
        return nullptr;
    closest->format = match->format ? match->format : wanted.format;
    if (match->w && match->h) {
        closest->w = match->w;
        closest->h = match->h;
    } else {
        closest->w = wanted.w;
        closest->h = wanted.h;
    }
    closest->refresh_rate = match->refresh_rate ? match->refresh_rate : wanted.refresh_rate;
    closest->driverdata = match->driverdata;
    if (!closest->format)
        closest->format = JEX_PIXELFORMAT_RGB888;
    if (!closest->w)
        closest->w = 640;
    if (!closest->h)
        closest->h = 480;
    return closest;
}

JEX_DisplayMode *JEX_GetClosestDisplayMode(int displayIndex, const JEX_DisplayMode *mode,
                                           JEX_DisplayMode *closest)
{
    JEX_VideoDisplay *display = CheckedDisplay(displayIndex);
    if (!display)
        return nullptr;
    return JEX_GetClosestDisplayModeForDisplay(display, mode, closest);
}

int JEX_SetDisplayModeForDisplay(JEX_VideoDisplay *display, const JEX_DisplayMode *mode)
{
    if (!g_video.device || !display) {
        JEX_SetError("Video subsystem has not been initialized");
        return -1;
    }
    JEX_DisplayMode target;
    if (mode) {
        target = *mode;
        if (!target.format)
            target.format = display->current_mode.format;
        if (!target.w)
            target.w = display->current_mode.w;
        if (!target.h)
            target.h = display->current_mode.h;
        if (!target.refresh_rate)
            target.refresh_rate = display->current_mode.refresh_rate;
        const int w = target.w, h = target.h;
        if (!JEX_GetClosestDisplayModeForDisplay(display, &target, &target)) {
            JEX_SetError("No video mode large enough for %dx%d", w, h);
            return -1;
        }
    } else {
        target = display->desktop_mode;
    }
    if (ModesEqual(target, display->current_mode))
        return 0;
    if (!g_video.device->SetDisplayMode) {
        JEX_SetError("Video driver doesn't support changing display mode");
        return -1;
    }
    if (g_video.device->SetDisplayMode(g_video.device, display, &target) < 0)
        return -1;
    display->current_mode = target;
    return 0;
}

}  // extern "C"
