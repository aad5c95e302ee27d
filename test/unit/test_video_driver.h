// A scriptable video driver for the video core's tests. It is not a row of
// the driver table: tests start it with JEX_VideoInitWithBootstrap. It
// offers configurable displays and modes, records every slot call in order
// ("CreateWindow(1)"), fails slots on request, has GL slots with fake
// contexts, and replays scripted driver-side events from its PumpEvents.
// On request it also installs mouse operations: cursors keep a copy of
// their ARGB pixels, and every cursor operation is logged like a slot.
#ifndef JEX_TEST_VIDEO_DRIVER_H
#define JEX_TEST_VIDEO_DRIVER_H

#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_pixels.h"
#include "events/mouse_internal.h"
#include "video/sysvideo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace jextest {

struct TestDisplay {
    JEX_DisplayMode desktop{JEX_PIXELFORMAT_RGB888, 1024, 768, 60, nullptr};
    std::vector<JEX_DisplayMode> modes;  // added at start-up, or lazily
    bool lazy_modes = false;             // list through GetDisplayModes
    bool has_bounds = false;             // answer GetDisplayBounds
    JEX_Rect bounds{0, 0, 0, 0};
};

inline JEX_DisplayMode Mode(int w, int h, int refresh = 60, Uint32 format = JEX_PIXELFORMAT_RGB888)
{
    return JEX_DisplayMode{format, w, h, refresh, nullptr};
}

inline std::string ModeText(const JEX_DisplayMode *m)
{
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%dx%d@%d", m->w, m->h, m->refresh_rate);
    return buf;
}

class TestVideoDriver {
public:
    // Configuration, read when the device is created and started.
    std::vector<TestDisplay> displays{TestDisplay{}};
    std::set<std::string> omitted;  // slots left empty
    std::set<std::string> failing;  // slots that report failure
    // Called after a window slot has been recorded (e.g. to mimic a driver
    // that answers SetWindowSize with another size).
    std::map<std::string, std::function<void(JEX_Window *)>> after;
    Uint16 driver_ramp_base = 100;           // GetWindowGammaRamp answers base + i
    std::map<std::string, void *> gl_procs;  // GL_GetProcAddress answers
    bool install_mouse = false;              // VideoInit installs the cursor operations
    bool install_default_cursor = false;     // ... and a default cursor (serial 0)

    // Observations.
    std::vector<std::string> log;
    std::vector<Uint16> last_ramp;
    std::string clipboard;
    bool has_clipboard = false;
    int contexts_alive = 0;
    std::set<int *> live_contexts;  // contexts the test never deleted are freed at the end
    JEX_GLContext current_context = nullptr;
    int swap_interval = 1;  // GL_GetSwapInterval answers this
    int cursors_alive = 0;
    int next_cursor_serial = 1;

    // Driver-side events, replayed in order by the next PumpEvents.
    std::vector<std::function<void()>> script;

    static TestVideoDriver *&current()
    {
        static TestVideoDriver *instance = nullptr;
        return instance;
    }

    TestVideoDriver() { current() = this; }
    ~TestVideoDriver()
    {
        if (JEX_GetVideoDevice() && JEX_GetVideoDevice()->driverdata == this)
            JEX_VideoQuit();
        for (int *context : live_contexts)
            delete context;
        if (current() == this)
            current() = nullptr;
    }
    TestVideoDriver(const TestVideoDriver &) = delete;
    TestVideoDriver &operator=(const TestVideoDriver &) = delete;

    int Start()
    {
        current() = this;
        static VideoBootStrap entry = {"test", "JEX test video driver", Available, Create};
        return JEX_VideoInitWithBootstrap(&entry);
    }

    // The log since the last call, which is then cleared.
    std::vector<std::string> Take()
    {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }

    void Omit(std::initializer_list<const char *> names)
    {
        omitted.insert(names.begin(), names.end());
    }

    // What the driver keeps for one cursor made by CreateCursor.
    struct TestCursor {
        int serial = 0;
        int w = 0, h = 0, hot_x = 0, hot_y = 0;
        std::vector<Uint32> pixels;  // ARGB8888, row-major, w * h
    };
    static const TestCursor *CursorData(const JEX_Cursor *cursor)
    {
        return cursor ? static_cast<const TestCursor *>(cursor->driverdata) : nullptr;
    }

private:
    static TestVideoDriver &Me(JEX_VideoDevice *device)
    {
        return *static_cast<TestVideoDriver *>(device->driverdata);
    }
    static std::string Id(JEX_Window *window) { return std::to_string(window ? window->id : 0); }
    static int Index(JEX_VideoDisplay *display) { return JEX_GetIndexOfDisplay(display); }

    bool Fails(const std::string &slot) const { return failing.count(slot) != 0; }

    void Record(const std::string &slot, const std::string &args, JEX_Window *window = nullptr)
    {
        log.push_back(slot + "(" + args + ")");
        auto hook = after.find(slot);
        if (hook != after.end() && hook->second)
            hook->second(window);
    }

    static int Available() { return 1; }

    static int VideoInit(JEX_VideoDevice *d)
    {
        TestVideoDriver &me = Me(d);
        me.Record("VideoInit", "");
        if (me.Fails("VideoInit")) {
            JEX_SetError("scripted VideoInit failure");
            return -1;
        }
        for (const TestDisplay &spec : me.displays) {
            const int index = JEX_AddBasicVideoDisplay(&spec.desktop);
            if (index < 0)
                return -1;
            if (!spec.lazy_modes)
                for (const JEX_DisplayMode &m : spec.modes)
                    JEX_AddDisplayMode(&d->displays[index], &m);
        }
        if (me.install_mouse)
            me.InstallMouse();
        return 0;
    }

    void InstallMouse()
    {
        JEX_Mouse *mouse = JEX_GetMouse();
#define JEX_TEST_MOUSE_SLOT(NAME)                                                                  \
    if (!omitted.count(#NAME))                                                                     \
        mouse->NAME = Mouse##NAME;
        JEX_TEST_MOUSE_SLOT(CreateCursor)
        JEX_TEST_MOUSE_SLOT(ShowCursor)
        JEX_TEST_MOUSE_SLOT(FreeCursor)
        JEX_TEST_MOUSE_SLOT(WarpMouse)
        JEX_TEST_MOUSE_SLOT(SetRelativeMouseMode)
#undef JEX_TEST_MOUSE_SLOT
        if (install_default_cursor) {
            auto *data = new TestCursor{};
            data->serial = 0;
            ++cursors_alive;
            JEX_SetDefaultCursor(new JEX_Cursor{nullptr, data});
        }
    }
    static std::string CursorName(const JEX_Cursor *cursor)
    {
        return cursor ? std::to_string(CursorData(cursor)->serial) : "none";
    }
    static JEX_Cursor *MouseCreateCursor(JEX_Surface *surface, int hot_x, int hot_y)
    {
        TestVideoDriver &me = *current();
        me.Record("CreateCursor", std::to_string(surface->w) + "x" + std::to_string(surface->h) +
                                      "," + std::to_string(hot_x) + "," + std::to_string(hot_y));
        if (me.Fails("CreateCursor")) {
            JEX_SetError("scripted CreateCursor failure");
            return nullptr;
        }
        auto *data = new TestCursor{};
        data->serial = me.next_cursor_serial++;
        data->w = surface->w;
        data->h = surface->h;
        data->hot_x = hot_x;
        data->hot_y = hot_y;
        for (int y = 0; y < surface->h; ++y) {
            const auto *row = reinterpret_cast<const Uint32 *>(
                static_cast<const Uint8 *>(surface->pixels) + y * surface->pitch);
            data->pixels.insert(data->pixels.end(), row, row + surface->w);
        }
        ++me.cursors_alive;
        return new JEX_Cursor{nullptr, data};
    }
    static int MouseShowCursor(JEX_Cursor *cursor)
    {
        current()->Record("ShowCursor", CursorName(cursor));
        return 0;
    }
    static void MouseFreeCursor(JEX_Cursor *cursor)
    {
        TestVideoDriver &me = *current();
        me.Record("FreeCursor", CursorName(cursor));
        --me.cursors_alive;
        delete static_cast<TestCursor *>(cursor->driverdata);
        delete cursor;
    }
    static void MouseWarpMouse(JEX_Window *w, int x, int y)
    {
        current()->Record("WarpMouse", Id(w) + "," + std::to_string(x) + "," + std::to_string(y),
                          w);
    }
    static int MouseSetRelativeMouseMode(JEX_bool enabled)
    {
        TestVideoDriver &me = *current();
        me.Record("SetRelativeMouseMode", std::to_string(int(enabled)));
        if (me.Fails("SetRelativeMouseMode")) {
            JEX_SetError("scripted SetRelativeMouseMode failure");
            return -1;
        }
        return 0;
    }
    static void VideoQuit(JEX_VideoDevice *d)
    {
        Me(d).Record("VideoQuit", "");
    }
    static int GetDisplayBounds(JEX_VideoDevice *d, JEX_VideoDisplay *display, JEX_Rect *rect)
    {
        // A pure query that the core makes often; it is not logged.
        TestVideoDriver &me = Me(d);
        const int index = Index(display);
        if (!me.displays[index].has_bounds)
            return -1;
        *rect = me.displays[index].bounds;
        return 0;
    }
    static void GetDisplayModes(JEX_VideoDevice *d, JEX_VideoDisplay *display)
    {
        TestVideoDriver &me = Me(d);
        const int index = Index(display);
        me.Record("GetDisplayModes", std::to_string(index));
        for (const JEX_DisplayMode &m : me.displays[index].modes)
            JEX_AddDisplayMode(display, &m);
    }
    static int SetDisplayMode(JEX_VideoDevice *d, JEX_VideoDisplay *display, JEX_DisplayMode *mode)
    {
        TestVideoDriver &me = Me(d);
        me.Record("SetDisplayMode", std::to_string(Index(display)) + "," + ModeText(mode));
        if (me.Fails("SetDisplayMode")) {
            JEX_SetError("scripted SetDisplayMode failure");
            return -1;
        }
        return 0;
    }
    static int CreateWindow(JEX_VideoDevice *d, JEX_Window *w)
    {
        TestVideoDriver &me = Me(d);
        me.Record("CreateWindow", Id(w), w);
        if (me.Fails("CreateWindow")) {
            JEX_SetError("scripted CreateWindow failure");
            return -1;
        }
        return 0;
    }
    static int CreateWindowFrom(JEX_VideoDevice *d, JEX_Window *w, const void *)
    {
        TestVideoDriver &me = Me(d);
        me.Record("CreateWindowFrom", Id(w), w);
        if (me.Fails("CreateWindowFrom")) {
            JEX_SetError("scripted CreateWindowFrom failure");
            return -1;
        }
        return 0;
    }
#define JEX_TEST_WINDOW_SLOT(NAME)                                                                 \
    static void NAME(JEX_VideoDevice *d, JEX_Window *w)                                            \
    {                                                                                              \
        Me(d).Record(#NAME, Id(w), w);                                                             \
    }
    JEX_TEST_WINDOW_SLOT(SetWindowTitle)
    JEX_TEST_WINDOW_SLOT(SetWindowPosition)
    JEX_TEST_WINDOW_SLOT(SetWindowSize)
    JEX_TEST_WINDOW_SLOT(ShowWindow)
    JEX_TEST_WINDOW_SLOT(HideWindow)
    JEX_TEST_WINDOW_SLOT(RaiseWindow)
    JEX_TEST_WINDOW_SLOT(MaximizeWindow)
    JEX_TEST_WINDOW_SLOT(MinimizeWindow)
    JEX_TEST_WINDOW_SLOT(RestoreWindow)
    JEX_TEST_WINDOW_SLOT(SetWindowGrab)
    JEX_TEST_WINDOW_SLOT(DestroyWindow)
    JEX_TEST_WINDOW_SLOT(DestroyWindowFramebuffer)
#undef JEX_TEST_WINDOW_SLOT
    static void SetWindowIcon(JEX_VideoDevice *d, JEX_Window *w, JEX_Surface *icon)
    {
        Me(d).Record("SetWindowIcon",
                     Id(w) + "," + std::to_string(icon->w) + "x" + std::to_string(icon->h), w);
    }
    static void SetWindowFullscreen(JEX_VideoDevice *d, JEX_Window *w, JEX_VideoDisplay *display,
                                    JEX_bool on)
    {
        Me(d).Record("SetWindowFullscreen",
                     Id(w) + "," + std::to_string(Index(display)) + "," + std::to_string(int(on)),
                     w);
    }
    static int SetWindowGammaRamp(JEX_VideoDevice *d, JEX_Window *w, const Uint16 *ramp)
    {
        TestVideoDriver &me = Me(d);
        me.last_ramp.assign(ramp, ramp + 768);
        me.Record("SetWindowGammaRamp", Id(w), w);
        return me.Fails("SetWindowGammaRamp") ? -1 : 0;
    }
    static int GetWindowGammaRamp(JEX_VideoDevice *d, JEX_Window *w, Uint16 *ramp)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GetWindowGammaRamp", Id(w), w);
        if (me.Fails("GetWindowGammaRamp")) {
            JEX_SetError("scripted GetWindowGammaRamp failure");
            return -1;
        }
        for (int i = 0; i < 768; ++i)
            ramp[i] = Uint16(me.driver_ramp_base + i);
        return 0;
    }
    static int CreateWindowFramebuffer(JEX_VideoDevice *d, JEX_Window *w, Uint32 *, void **, int *)
    {
        Me(d).Record("CreateWindowFramebuffer", Id(w), w);
        return -1;
    }
    static int UpdateWindowFramebuffer(JEX_VideoDevice *d, JEX_Window *w, const JEX_Rect *, int)
    {
        Me(d).Record("UpdateWindowFramebuffer", Id(w), w);
        return 0;
    }
    static JEX_bool GetWindowWMInfo(JEX_VideoDevice *d, JEX_Window *w, struct JEX_SysWMinfo *)
    {
        Me(d).Record("GetWindowWMInfo", Id(w), w);
        return JEX_TRUE;
    }
    // The driver's GL state, made by GL_LoadLibrary. GL_UnloadLibrary frees
    // it but leaves the device's pointer for the core to clear, and the
    // context slots read it as a real driver would, so the address
    // sanitizer catches any use after the library has gone.
    struct TestGLState {
        TestVideoDriver *owner;
    };
    static TestVideoDriver &GLOwner(JEX_VideoDevice *d)
    {
        return *static_cast<TestGLState *>(d->gl_data)->owner;
    }
    static std::string ContextId(JEX_GLContext context)
    {
        return std::to_string(context ? *static_cast<int *>(context) : 0);
    }
    static int GL_LoadLibrary(JEX_VideoDevice *d, const char *path)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_LoadLibrary", path ? path : "");
        if (me.Fails("GL_LoadLibrary")) {
            JEX_SetError("scripted GL_LoadLibrary failure");
            return -1;
        }
        std::snprintf(d->gl_config.driver_path, sizeof(d->gl_config.driver_path), "%s",
                      path ? path : "libTestGL.so");
        d->gl_data = new TestGLState{&me};
        return 0;
    }
    static void *GL_GetProcAddress(JEX_VideoDevice *d, const char *proc)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_GetProcAddress", proc);
        auto found = me.gl_procs.find(proc);
        return found == me.gl_procs.end() ? nullptr : found->second;
    }
    static void GL_UnloadLibrary(JEX_VideoDevice *d)
    {
        Me(d).Record("GL_UnloadLibrary", "");
        delete static_cast<TestGLState *>(d->gl_data);
    }
    static JEX_GLContext GL_CreateContext(JEX_VideoDevice *d, JEX_Window *w)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_CreateContext", Id(w), w);
        if (me.Fails("GL_CreateContext")) {
            JEX_SetError("scripted GL_CreateContext failure");
            return nullptr;
        }
        ++me.contexts_alive;
        int *context = new int(int(w->id));
        me.live_contexts.insert(context);
        return context;
    }
    // Logged as "GL_MakeCurrent(window,context)", the context by the id of
    // the window it was made for (0 for none).
    static int GL_MakeCurrent(JEX_VideoDevice *d, JEX_Window *w, JEX_GLContext context)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_MakeCurrent", Id(w) + "," + ContextId(context), w);
        if (me.Fails("GL_MakeCurrent")) {
            JEX_SetError("scripted GL_MakeCurrent failure");
            return -1;
        }
        me.current_context = context;
        return 0;
    }
    static int GL_SetSwapInterval(JEX_VideoDevice *d, int interval)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_SetSwapInterval", std::to_string(interval));
        if (me.Fails("GL_SetSwapInterval")) {
            JEX_SetError("scripted GL_SetSwapInterval failure");
            return -1;
        }
        me.swap_interval = interval;
        return 0;
    }
    static int GL_GetSwapInterval(JEX_VideoDevice *d)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GL_GetSwapInterval", "");
        return me.swap_interval;
    }
    static void GL_SwapWindow(JEX_VideoDevice *d, JEX_Window *w)
    {
        Me(d).Record("GL_SwapWindow", Id(w), w);
    }
    static void GL_DeleteContext(JEX_VideoDevice *d, JEX_GLContext context)
    {
        TestVideoDriver &me = GLOwner(d);
        me.Record("GL_DeleteContext", ContextId(context));
        --me.contexts_alive;
        me.live_contexts.erase(static_cast<int *>(context));
        if (me.current_context == context)
            me.current_context = nullptr;
        delete static_cast<int *>(context);
    }
    static void PumpEvents(JEX_VideoDevice *d)
    {
        TestVideoDriver &me = Me(d);
        me.Record("PumpEvents", "");
        std::vector<std::function<void()>> pending;
        pending.swap(me.script);
        for (auto &step : pending)
            step();
    }
    static void SuspendScreenSaver(JEX_VideoDevice *d)
    {
        Me(d).Record("SuspendScreenSaver", std::to_string(d->suspend_screensaver));
    }
    static void StartTextInput(JEX_VideoDevice *d)
    {
        Me(d).Record("StartTextInput", "");
    }
    static void StopTextInput(JEX_VideoDevice *d)
    {
        Me(d).Record("StopTextInput", "");
    }
    static void SetTextInputRect(JEX_VideoDevice *d, JEX_Rect *)
    {
        Me(d).Record("SetTextInputRect", "");
    }
    static int SetClipboardText(JEX_VideoDevice *d, const char *text)
    {
        TestVideoDriver &me = Me(d);
        me.Record("SetClipboardText", text);
        me.clipboard = text;
        me.has_clipboard = true;
        return 0;
    }
    static char *GetClipboardText(JEX_VideoDevice *d)
    {
        TestVideoDriver &me = Me(d);
        me.Record("GetClipboardText", "");
        return strdup(me.clipboard.c_str());
    }
    static JEX_bool HasClipboardText(JEX_VideoDevice *d)
    {
        TestVideoDriver &me = Me(d);
        me.Record("HasClipboardText", "");
        return me.has_clipboard ? JEX_TRUE : JEX_FALSE;
    }
    static void Free(JEX_VideoDevice *d)
    {
        std::free(d);
    }

    static JEX_VideoDevice *Create(int)
    {
        TestVideoDriver *me = current();
        if (!me || me->Fails("create"))
            return nullptr;
        auto *d = static_cast<JEX_VideoDevice *>(std::calloc(1, sizeof(JEX_VideoDevice)));
        if (!d)
            return nullptr;
        d->driverdata = me;
        d->free = Free;
#define JEX_TEST_SLOT(NAME)                                                                        \
    if (!me->omitted.count(#NAME))                                                                 \
        d->NAME = NAME;
        JEX_TEST_SLOT(VideoInit)
        JEX_TEST_SLOT(VideoQuit)
        JEX_TEST_SLOT(GetDisplayBounds)
        JEX_TEST_SLOT(GetDisplayModes)
        JEX_TEST_SLOT(SetDisplayMode)
        JEX_TEST_SLOT(CreateWindow)
        JEX_TEST_SLOT(CreateWindowFrom)
        JEX_TEST_SLOT(SetWindowTitle)
        JEX_TEST_SLOT(SetWindowIcon)
        JEX_TEST_SLOT(SetWindowPosition)
        JEX_TEST_SLOT(SetWindowSize)
        JEX_TEST_SLOT(ShowWindow)
        JEX_TEST_SLOT(HideWindow)
        JEX_TEST_SLOT(RaiseWindow)
        JEX_TEST_SLOT(MaximizeWindow)
        JEX_TEST_SLOT(MinimizeWindow)
        JEX_TEST_SLOT(RestoreWindow)
        JEX_TEST_SLOT(SetWindowFullscreen)
        JEX_TEST_SLOT(SetWindowGammaRamp)
        JEX_TEST_SLOT(GetWindowGammaRamp)
        JEX_TEST_SLOT(SetWindowGrab)
        JEX_TEST_SLOT(DestroyWindow)
        JEX_TEST_SLOT(CreateWindowFramebuffer)
        JEX_TEST_SLOT(UpdateWindowFramebuffer)
        JEX_TEST_SLOT(DestroyWindowFramebuffer)
        JEX_TEST_SLOT(GetWindowWMInfo)
        JEX_TEST_SLOT(GL_LoadLibrary)
        JEX_TEST_SLOT(GL_GetProcAddress)
        JEX_TEST_SLOT(GL_UnloadLibrary)
        JEX_TEST_SLOT(GL_CreateContext)
        JEX_TEST_SLOT(GL_MakeCurrent)
        JEX_TEST_SLOT(GL_SetSwapInterval)
        JEX_TEST_SLOT(GL_GetSwapInterval)
        JEX_TEST_SLOT(GL_SwapWindow)
        JEX_TEST_SLOT(GL_DeleteContext)
        JEX_TEST_SLOT(PumpEvents)
        JEX_TEST_SLOT(SuspendScreenSaver)
        JEX_TEST_SLOT(StartTextInput)
        JEX_TEST_SLOT(StopTextInput)
        JEX_TEST_SLOT(SetTextInputRect)
        JEX_TEST_SLOT(SetClipboardText)
        JEX_TEST_SLOT(GetClipboardText)
        JEX_TEST_SLOT(HasClipboardText)
#undef JEX_TEST_SLOT
        return d;
    }
};

// Every queued window event, oldest first, removed from the queue without
// pumping.
inline std::vector<JEX_WindowEvent> TakeWindowEvents()
{
    std::vector<JEX_WindowEvent> out;
    JEX_Event e;
    while (JEX_PeepEvents(&e, 1, JEX_GETEVENT, JEX_WINDOWEVENT, JEX_WINDOWEVENT) == 1)
        out.push_back(e.window);
    return out;
}

// "code:window" strings, e.g. "1:2" for SHOWN of window 2, with the two
// parameters for moves and resizes ("4:1@10,20").
inline std::string Describe(const JEX_WindowEvent &e)
{
    std::string s = std::to_string(int(e.event)) + ":" + std::to_string(e.window_id);
    if (e.event == JEX_WINDOWEVENT_MOVED || e.event == JEX_WINDOWEVENT_RESIZED ||
        e.event == JEX_WINDOWEVENT_SIZE_CHANGED)
        s += "@" + std::to_string(e.param1) + "," + std::to_string(e.param2);
    return s;
}

inline std::vector<std::string> TakeWindowEventText()
{
    std::vector<std::string> out;
    for (const JEX_WindowEvent &e : TakeWindowEvents())
        out.push_back(Describe(e));
    return out;
}

inline int CountQueued(Uint32 type)
{
    JEX_Event events[128];
    return JEX_PeepEvents(events, 128, JEX_PEEKEVENT, type, type);
}

}  // namespace jextest

#endif  // JEX_TEST_VIDEO_DRIVER_H
