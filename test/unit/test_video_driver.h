// A scripted video driver for the real video core: displays, empty or failing slots, fake GL,
// cursors, events replayed by PumpEvents, and a log of slot calls ("CreateWindow(1)").
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
#include <utility>
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

class TestVideoDriver {
public:
    // Configuration, read when the device is created and started.
    std::vector<TestDisplay> displays{TestDisplay{}};
    std::set<std::string> omitted;  // slots left empty
    std::set<std::string> failing;  // slots that report failure
    // Runs after a slot has been logged, e.g. to answer SetWindowSize with another size.
    std::map<std::string, std::function<void(JEX_Window *)>> after;
    std::map<std::string, void *> gl_procs;  // GL_GetProcAddress answers
    bool install_mouse = false;              // fill the cursor slots
    bool install_default_cursor = false;     // VideoInit sets a default cursor (serial 0)
    // Observations.
    std::vector<std::string> log;
    std::string clipboard;
    std::vector<Uint16> last_ramp;
    int contexts_alive = 0;
    std::set<int *> live_contexts;  // freed at the end if the test never deleted them
    JEX_GLContext current_context = nullptr;
    int swap_interval = 1;
    int cursors_alive = 0;
    int next_cursor_serial = 1;
    int shown_cursor = -2;  // serial ShowCursor last showed, -1 for hidden, -2 never called
    std::vector<std::function<void()>> script;  // replayed by the next PumpEvents
    struct TestCursor {
        int serial = 0;
        int w = 0, h = 0, hot_x = 0, hot_y = 0;
        std::vector<Uint32> pixels;  // ARGB8888, row-major
    };
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
        static VideoBootStrap entry = {"test", "JEX test video driver", [] { return 1; }, Create};
        return JEX_VideoInitWithBootstrap(&entry);
    }
    // The log since the last call, which is then cleared.
    std::vector<std::string> Take() { return std::exchange(log, {}); }
    void Omit(std::initializer_list<const char *> n) { omitted.insert(n.begin(), n.end()); }
    static const TestCursor *CursorData(const JEX_Cursor *cursor)
    {
        return cursor ? static_cast<const TestCursor *>(cursor->driverdata) : nullptr;
    }

private:
    using Device = JEX_VideoDevice;
    static std::string Id(JEX_Window *window) { return std::to_string(window ? window->id : 0); }
    static std::string Str(int v) { return std::to_string(v); }
    static int Index(JEX_VideoDisplay *display) { return JEX_GetIndexOfDisplay(display); }
    // Logs and runs the hook; false with an error if scripted to fail (keeps `slot`'s pointer).
    bool Call(const char *slot, const std::string &args = "", JEX_Window *window = nullptr)
    {
        log.push_back(std::string(slot) + "(" + args + ")");
        if (auto hook = after.find(slot); hook != after.end() && hook->second)
            hook->second(window);
        if (!failing.count(slot))
            return true;
        JEX_SetError("scripted %s failure", slot);
        return false;
    }
    static int VideoInit(Device *d)
    {
        TestVideoDriver &me = Me(d);
        if (!me.Call("VideoInit"))
            return -1;
        for (const TestDisplay &config : me.displays) {
            const int index = JEX_AddBasicVideoDisplay(&config.desktop);
            for (const JEX_DisplayMode &m : config.modes) {
                if (!config.lazy_modes)
                    JEX_AddDisplayMode(&d->displays[index], &m);
            }
        }
        if (me.install_default_cursor) {
            ++me.cursors_alive;
            JEX_SetDefaultCursor(new JEX_Cursor{nullptr, new TestCursor{}});
        }
        return 0;
    }
    static int GetDisplayBounds(Device *d, JEX_VideoDisplay *display, JEX_Rect *rect)
    {
        // A pure query the core makes often: not logged.
        const TestDisplay &config = Me(d).displays[Index(display)];
        if (config.has_bounds)
            *rect = config.bounds;
        return config.has_bounds ? 0 : -1;
    }
    static void GetDisplayModes(Device *d, JEX_VideoDisplay *display)
    {
        Me(d).Call("GetDisplayModes", Str(Index(display)));
        for (const JEX_DisplayMode &m : Me(d).displays[Index(display)].modes)
            JEX_AddDisplayMode(display, &m);
    }
    static int SetDisplayMode(Device *d, JEX_VideoDisplay *display, JEX_DisplayMode *m)
    {
        const std::string mode = Str(m->w) + "x" + Str(m->h) + "@" + Str(m->refresh_rate);
        return Me(d).Call("SetDisplayMode", Str(Index(display)) + "," + mode) ? 0 : -1;
    }
    static int CreateWindow(Device *d, JEX_Window *w)
    {
        return Me(d).Call("CreateWindow", Id(w), w) ? 0 : -1;
    }
    static int CreateWindowFrom(Device *d, JEX_Window *w, const void *)
    {
        return Me(d).Call("CreateWindowFrom", Id(w), w) ? 0 : -1;
    }
    static std::string ContextId(JEX_GLContext c) { return Str(c ? *static_cast<int *>(c) : 0); }
    static int GL_GetSwapInterval(Device *d)
    {
        return Me(d).Call("GL_GetSwapInterval"), Me(d).swap_interval;
    }
    static void SuspendScreenSaver(Device *d)
    {
        Me(d).Call("SuspendScreenSaver", Str(d->suspend_screensaver));
    }
    static TestVideoDriver &Me(Device *d) { return *static_cast<TestVideoDriver *>(d->driverdata); }
    // Slots that only log, with the window's id or without one.
    // clang-format off
#define JEX_TEST_WINDOW_SLOTS(X) X(SetWindowTitle) X(SetWindowPosition) X(SetWindowSize) \
    X(ShowWindow) X(HideWindow) X(RaiseWindow) X(MaximizeWindow) X(MinimizeWindow) \
    X(RestoreWindow) X(SetWindowGrab) X(DestroyWindow) X(GL_SwapWindow)
#define JEX_TEST_PLAIN_SLOTS(X) X(VideoQuit) X(StartTextInput) X(StopTextInput)
#define JEX_TEST_WINDOW_SLOT(NAME) \
    static void NAME(Device *d, JEX_Window *w) { Me(d).Call(#NAME, Id(w), w); }
#define JEX_TEST_PLAIN_SLOT(NAME) static void NAME(Device *d) { Me(d).Call(#NAME); }
    JEX_TEST_WINDOW_SLOTS(JEX_TEST_WINDOW_SLOT) JEX_TEST_PLAIN_SLOTS(JEX_TEST_PLAIN_SLOT)
#undef JEX_TEST_WINDOW_SLOT
#undef JEX_TEST_PLAIN_SLOT
    static void SetTextInputRect(Device *d, JEX_Rect *) { Me(d).Call("SetTextInputRect"); }
    // clang-format on
    static void SetWindowIcon(Device *d, JEX_Window *w, JEX_Surface *icon)
    {
        Me(d).Call("SetWindowIcon", Id(w) + "," + Str(icon->w) + "x" + Str(icon->h), w);
    }
    static void SetWindowFullscreen(Device *d, JEX_Window *w, JEX_VideoDisplay *display,
                                    JEX_bool on)
    {
        Me(d).Call("SetWindowFullscreen", Id(w) + "," + Str(Index(display)) + "," + Str(on), w);
    }
    static int SetWindowGammaRamp(Device *d, JEX_Window *w, const Uint16 *ramp)
    {
        Me(d).last_ramp.assign(ramp, ramp + 768);
        return Me(d).Call("SetWindowGammaRamp", Id(w), w) ? 0 : -1;
    }
    static int GetWindowGammaRamp(Device *d, JEX_Window *w, Uint16 *ramp)
    {
        for (int i = 0; i < 768; ++i)
            ramp[i] = Uint16(100 + i);  // the driver's ramp
        return Me(d).Call("GetWindowGammaRamp", Id(w), w) ? 0 : -1;
    }
    static JEX_bool GetWindowWMInfo(Device *d, JEX_Window *w, struct JEX_SysWMinfo *)
    {
        return Me(d).Call("GetWindowWMInfo", Id(w), w) ? JEX_TRUE : JEX_FALSE;
    }
    // GL state freed by GL_UnloadLibrary and read by GL_DeleteContext: ASan sees late use.
    struct TestGLState {
        TestVideoDriver *owner;
    };
    static int GL_LoadLibrary(Device *d, const char *path)
    {
        if (!Me(d).Call("GL_LoadLibrary", path ? path : ""))
            return -1;
        std::snprintf(d->gl_config.driver_path, sizeof(d->gl_config.driver_path), "%s",
                      path ? path : "libTestGL.so");
        d->gl_data = new TestGLState{&Me(d)};
        return 0;
    }
    static void *GL_GetProcAddress(Device *d, const char *proc)
    {
        Me(d).Call("GL_GetProcAddress", proc);
        auto found = Me(d).gl_procs.find(proc);
        return found == Me(d).gl_procs.end() ? nullptr : found->second;
    }
    static void GL_UnloadLibrary(Device *d)
    {
        Me(d).Call("GL_UnloadLibrary");
        delete static_cast<TestGLState *>(d->gl_data);
    }
    static JEX_GLContext GL_CreateContext(Device *d, JEX_Window *w)
    {
        TestVideoDriver &me = Me(d);
        if (!me.Call("GL_CreateContext", Id(w), w))
            return nullptr;
        ++me.contexts_alive;
        int *context = new int(int(w->id));  // named after the window it was made for
        me.live_contexts.insert(context);
        return context;
    }
    static int GL_MakeCurrent(Device *d, JEX_Window *w, JEX_GLContext context)
    {
        if (!Me(d).Call("GL_MakeCurrent", Id(w) + "," + ContextId(context), w))
            return -1;
        Me(d).current_context = context;
        return 0;
    }
    static int GL_SetSwapInterval(Device *d, int interval)
    {
        if (!Me(d).Call("GL_SetSwapInterval", Str(interval)))
            return -1;
        Me(d).swap_interval = interval;
        return 0;
    }
    static void GL_DeleteContext(Device *d, JEX_GLContext context)
    {
        TestVideoDriver &me = *static_cast<TestGLState *>(d->gl_data)->owner;
        me.Call("GL_DeleteContext", ContextId(context));
        --me.contexts_alive;
        me.live_contexts.erase(static_cast<int *>(context));
        if (me.current_context == context)
            me.current_context = nullptr;
        delete static_cast<int *>(context);
    }
    static JEX_Cursor *CreateCursor(Device *d, JEX_Surface *surface, int hot_x, int hot_y)
    {
        TestVideoDriver &me = Me(d);
        if (!me.Call("CreateCursor", Str(surface->w) + "x" + Str(surface->h) + "," + Str(hot_x) +
                                         "," + Str(hot_y))) {
            return nullptr;
        }
        auto *data =
            new TestCursor{me.next_cursor_serial++, surface->w, surface->h, hot_x, hot_y, {}};
        for (int y = 0; y < surface->h; ++y) {
            const auto *row = reinterpret_cast<const Uint32 *>(
                static_cast<const Uint8 *>(surface->pixels) + y * surface->pitch);
            data->pixels.insert(data->pixels.end(), row, row + surface->w);
        }
        ++me.cursors_alive;
        return new JEX_Cursor{nullptr, data};
    }
    static int ShowCursor(Device *d, JEX_Cursor *cursor)
    {
        Me(d).shown_cursor = cursor ? CursorData(cursor)->serial : -1;
        return 0;
    }
    static void FreeCursor(Device *d, JEX_Cursor *cursor)
    {
        Me(d).Call("FreeCursor", Str(CursorData(cursor)->serial));
        --Me(d).cursors_alive;
        delete CursorData(cursor);
        delete cursor;
    }
    static void WarpMouse(Device *d, JEX_Window *w, int x, int y)
    {
        Me(d).Call("WarpMouse", Id(w) + "," + Str(x) + "," + Str(y), w);
    }
    static int SetRelativeMouseMode(Device *d, JEX_bool on)
    {
        return Me(d).Call("SetRelativeMouseMode", Str(on)) ? 0 : -1;
    }
    static void PumpEvents(Device *d)
    {
        Me(d).Call("PumpEvents");
        for (auto &step : std::exchange(Me(d).script, {}))
            step();
    }
    static int SetClipboardText(Device *d, const char *text)
    {
        Me(d).Call("SetClipboardText", text);
        Me(d).clipboard = text;
        return 0;
    }
    static char *GetClipboardText(Device *d)
    {
        return strdup(Me(d).clipboard.c_str());
    }
    static JEX_bool HasClipboardText(Device *d)
    {
        return JEX_bool(!Me(d).clipboard.empty());
    }
    static Device *Create(int)
    {
        TestVideoDriver *me = current();
        if (!me || me->failing.count("create"))
            return nullptr;
        auto *d = static_cast<Device *>(std::calloc(1, sizeof(Device)));
        d->driverdata = me;
        d->free = [](Device *device) { std::free(device); };
#define JEX_TEST_SLOT(NAME)                                                                        \
    if (!me->omitted.count(#NAME))                                                                 \
        d->NAME = NAME;
        // clang-format off
#define JEX_TEST_OTHER_SLOTS(X) X(VideoInit) X(GetDisplayBounds) X(GetDisplayModes) \
    X(SetDisplayMode) X(CreateWindow) X(CreateWindowFrom) X(SetWindowIcon) X(SetWindowFullscreen) \
    X(GetWindowWMInfo) X(SetWindowGammaRamp) X(GetWindowGammaRamp) X(PumpEvents) X(GL_LoadLibrary) \
    X(GL_GetProcAddress) X(GL_UnloadLibrary) X(GL_CreateContext) X(GL_MakeCurrent) \
    X(GL_DeleteContext) X(GL_SetSwapInterval) X(GL_GetSwapInterval) X(SuspendScreenSaver) \
    X(SetTextInputRect) X(SetClipboardText) X(GetClipboardText) X(HasClipboardText)
        JEX_TEST_WINDOW_SLOTS(JEX_TEST_SLOT) JEX_TEST_PLAIN_SLOTS(JEX_TEST_SLOT)
        JEX_TEST_OTHER_SLOTS(JEX_TEST_SLOT)
        if (me->install_mouse) {
            JEX_TEST_SLOT(CreateCursor) JEX_TEST_SLOT(ShowCursor) JEX_TEST_SLOT(FreeCursor)
            JEX_TEST_SLOT(WarpMouse) JEX_TEST_SLOT(SetRelativeMouseMode)
        }
        // clang-format on
#undef JEX_TEST_SLOT
#undef JEX_TEST_WINDOW_SLOTS
#undef JEX_TEST_PLAIN_SLOTS
#undef JEX_TEST_OTHER_SLOTS
        return d;
    }
};

// A window event as "code:window", with a move's or resize's parameters ("4:1@10,20").
inline std::string Describe(const JEX_WindowEvent &e)
{
    std::string s = std::to_string(int(e.event)) + ":" + std::to_string(e.window_id);
    if (e.event == JEX_WINDOWEVENT_MOVED || e.event == JEX_WINDOWEVENT_RESIZED ||
        e.event == JEX_WINDOWEVENT_SIZE_CHANGED) {
        s += "@" + std::to_string(e.param1) + "," + std::to_string(e.param2);
    }
    return s;
}
// Queued events of a type range, oldest first, taken out without pumping.
inline std::vector<JEX_Event> TakeAll(Uint32 first = JEX_FIRSTEVENT, Uint32 last = JEX_LASTEVENT)
{
    std::vector<JEX_Event> out;
    JEX_Event e;
    while (JEX_PeepEvents(&e, 1, JEX_GETEVENT, first, last) == 1)
        out.push_back(e);
    return out;
}
inline std::vector<std::string> TakeWindowEventText()
{
    std::vector<std::string> out;
    for (const JEX_Event &e : TakeAll(JEX_WINDOWEVENT, JEX_WINDOWEVENT))
        out.push_back(Describe(e.window));
    return out;
}
inline int CountQueued(Uint32 type)
{
    JEX_Event events[128];
    return JEX_PeepEvents(events, 128, JEX_PEEKEVENT, type, type);
}

}  // namespace jextest

#endif  // JEX_TEST_VIDEO_DRIVER_H
