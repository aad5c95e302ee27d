// X events to library events; the screen saver; the PRIMARY selection as
// the clipboard.
#include "video/x11/x11_events.h"

#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_log.h"
#include "JEX_timer.h"
#include "events/events_internal.h"
#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "video/x11/x11_keyboard.h"
#include "video/x11/x11_window.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

X11_VideoData *DriverData(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata);
}

X11_WindowData *FindWindow(const X11_VideoData *data, Window w)
{
    for (int i = 0; i < data->numwindows; ++i)
        if (data->windowlist[i]->xwindow == w)
            return data->windowlist[i];
    return nullptr;
}

// Whether the connection has an event for us, without blocking longer than
// `timeout_ms` (0: not at all).
bool EventsReady(Display *display, int timeout_ms)
{
    X11.XFlush(display);
    if (X11.XEventsQueued(display, QueuedAlready))
        return true;
    pollfd p{ConnectionNumber(display), POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0)
        return false;
    return X11.XPending(display) > 0;
}

int EncodeUtf8(Uint32 c, char *out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

void SendSysWM(const XEvent &event)
{
    if (JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY) != JEX_ENABLE)
        return;
    // Version 1.3.0, window system 2 (X11), then as much of the event as
    // the queue's message slot holds: the 96 bytes every event type fits
    // in on the hosts that first defined the record.
    alignas(8) unsigned char msg[JEX_SYSWM_MSG_SIZE] = {1, 3, 0};
    const Uint32 subsystem = 2;
    std::memcpy(msg + 4, &subsystem, sizeof(subsystem));
    const size_t room = sizeof(msg) - 8;
    std::memcpy(msg + 8, &event, room < sizeof(event) ? room : sizeof(event));
    JEX_SendSysWMEvent(reinterpret_cast<JEX_SysWMmsg *>(msg));
}

void ReapInhibitor(X11_VideoData *data)
{
    if (data->screensaver_inhibit_pid > 0 &&
        waitpid(data->screensaver_inhibit_pid, nullptr, WNOHANG) == data->screensaver_inhibit_pid)
        data->screensaver_inhibit_pid = 0;
}

// Answers another client's request for the selection we own, from cut
// buffer 0. The requestor may be gone by the time the answer is written.
void AnswerSelectionRequest(Display *display, const XSelectionRequestEvent &req)
{
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = req.requestor;
    reply.xselection.selection = req.selection;
    reply.xselection.target = None;
    reply.xselection.property = None;
    reply.xselection.time = req.time;
    // Clients from before the conventions settled ask with no property and
    // expect the answer under the target's name.
    const Atom property = req.property != None ? req.property : req.target;

    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    const long max_length = X11.XMaxRequestSize(display);
    X11_TrapErrors(display);
    if (X11.XGetWindowProperty(display, RootWindow(display, DefaultScreen(display)), XA_CUT_BUFFER0,
                               0, max_length, False, req.target, &type, &format, &count, &after,
                               &data) == Success) {
        reply.xselection.target = type;
        if (type == req.target && data) {
            X11.XChangeProperty(display, req.requestor, property, type, format, PropModeReplace,
                                data, int(count));
            reply.xselection.property = property;
        }
    }
    if (data)
        X11.XFree(data);
    X11.XSendEvent(display, req.requestor, False, 0, &reply);
    if (X11_UntrapErrors(display) != 0)
        JEX_LogDebug(JEX_LOG_CATEGORY_VIDEO, "X11: a selection requestor went away");
}

// UTF-8 text of the key event, through the window's input context when it
// has one, else from the key symbol. Returns the byte count.
int LookupKeyText(XIC ic, XKeyEvent *event, char *text, int size)
{
    std::memset(text, 0, size_t(size));
    if (ic && X11.Xutf8LookupString) {
        KeySym keysym = NoSymbol;
        Status status = 0;
        const int n = X11.Xutf8LookupString(ic, event, text, size - 1, &keysym, &status);
        if (status == XLookupChars || status == XLookupBoth) {
            text[n < size ? n : size - 1] = '\0';
            return n;
        }
        std::memset(text, 0, size_t(size));
        return 0;
    }
    // No input method: the key symbol after the modifiers is the text.
    char latin[8] = {};
    KeySym keysym = NoSymbol;
    X11.XLookupString(event, latin, int(sizeof(latin)), &keysym, nullptr);
    const Uint32 ucs = X11_KeySymToUcs4(keysym);
    if (ucs == 0 || size < 5)
        return 0;
    return EncodeUtf8(ucs, text);
}

void Dispatch(JEX_VideoDevice *device, X11_VideoData *data, X11_WindowData *wd, XEvent &event)
{
    Display *display = data->display;
    JEX_Window *window = wd->window;
    switch (event.type) {
    case KeyPress: {
        const unsigned keycode = event.xkey.keycode;
        const JEX_Scancode scancode = keycode < 256 ? data->key_layout[keycode] : 0;
        JEX_SendKeyboardKey(JEX_PRESSED, scancode);
        if (scancode == 0) {
            KeySym keysym = NoSymbol;
            XKeyEvent plain = event.xkey;
            plain.state = 0;
            X11.XLookupString(&plain, nullptr, 0, &keysym, nullptr);
            const char *name = X11.XKeysymToString(keysym);
            std::fprintf(
                stderr,
                "The key you just pressed is not recognized by JEX. To help get this "
                "fixed, please report this (X11 KeyCode %u (%u), X11 KeySym 0x%lX (%s)).\n",
                keycode, keycode - unsigned(data->min_keycode), keysym, name ? name : "NoSymbol");
        }
        char text[32] = {};
        if (LookupKeyText(wd->ic, &event.xkey, text, int(sizeof(text))) > 0)
            JEX_SendKeyboardText(text);
        break;
    }
    case KeyRelease: {
        // The server repeats a held key as release/press pairs with one
        // time stamp; fold them so the key simply stays down.
        if (X11.XPending(display)) {
            XEvent next{};
            X11.XPeekEvent(display, &next);
            if (next.type == KeyPress && next.xkey.keycode == event.xkey.keycode &&
                next.xkey.window == event.xkey.window &&
                Time(next.xkey.time - event.xkey.time) <= 1)
                break;
        }
        const unsigned keycode = event.xkey.keycode;
        JEX_SendKeyboardKey(JEX_RELEASED, keycode < 256 ? data->key_layout[keycode] : 0);
        break;
    }
    case ButtonPress:
        // Buttons 4 to 7 are the wheel: each press is one step, and its
        // release means nothing.
        switch (event.xbutton.button) {
        case 4: JEX_SendMouseWheel(window, 0, 1); break;
        case 5: JEX_SendMouseWheel(window, 0, -1); break;
        case 6: JEX_SendMouseWheel(window, -1, 0); break;
        case 7: JEX_SendMouseWheel(window, 1, 0); break;
        default: JEX_SendMouseButton(window, JEX_PRESSED, Uint8(event.xbutton.button)); break;
        }
        break;
    case ButtonRelease:
        if (event.xbutton.button < 4 || event.xbutton.button > 7)
            JEX_SendMouseButton(window, JEX_RELEASED, Uint8(event.xbutton.button));
        break;
    case MotionNotify: JEX_SendMouseMotion(window, 0, event.xmotion.x, event.xmotion.y); break;
    case EnterNotify: JEX_SetMouseFocus(window); break;
    case LeaveNotify:
        if (event.xcrossing.mode != NotifyGrab && event.xcrossing.mode != NotifyUngrab &&
            event.xcrossing.detail != NotifyInferior)
            JEX_SetMouseFocus(nullptr);
        break;
    case FocusIn:
        JEX_SetKeyboardFocus(window);
        if (wd->ic)
            X11.XSetICFocus(wd->ic);
        break;
    case FocusOut:
        JEX_SetKeyboardFocus(nullptr);
        if (wd->ic)
            X11.XUnsetICFocus(wd->ic);
        break;
    case Expose: JEX_SendWindowEvent(window, JEX_WINDOWEVENT_EXPOSED, 0, 0); break;
    case UnmapNotify:
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_HIDDEN, 0, 0);
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_MINIMIZED, 0, 0);
        break;
    case MapNotify:
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_SHOWN, 0, 0);
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_RESTORED, 0, 0);
        break;
    case ConfigureNotify: {
        // A real event from a reparented window is relative to the
        // manager's frame; a synthetic one from the manager is already in
        // root coordinates.
        int x = event.xconfigure.x, y = event.xconfigure.y;
        if (!event.xconfigure.send_event)
            X11_GetRootPosition(display, wd->xwindow, &x, &y);
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_MOVED, x, y);
        JEX_SendWindowEvent(window, JEX_WINDOWEVENT_RESIZED, event.xconfigure.width,
                            event.xconfigure.height);
        break;
    }
    case ClientMessage:
        if (event.xclient.format == 32 && Atom(event.xclient.data.l[0]) == data->WM_DELETE_WINDOW)
            JEX_SendWindowEvent(window, JEX_WINDOWEVENT_CLOSE, 0, 0);
        break;
    case SelectionRequest: AnswerSelectionRequest(display, event.xselectionrequest); break;
    case SelectionNotify: data->selection_waiting = false; break;
    case MappingNotify:
        X11.XRefreshKeyboardMapping(&event.xmapping);
        X11_UpdateKeymap(device);
        break;
    default: break;
    }
}

// The UTF-8 text of a property, or null when it is not UTF8_STRING.
char *ReadUtf8Property(Display *display, Window w, Atom property, Atom utf8)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    char *text = nullptr;
    if (X11.XGetWindowProperty(display, w, property, 0, 0x7FFFFFFF / 4, False, utf8, &type, &format,
                               &count, &after, &data) == Success &&
        data && type == utf8 && format == 8) {
        text = static_cast<char *>(std::malloc(count + 1));
        if (text) {
            std::memcpy(text, data, count);
            text[count] = '\0';
        }
    }
    if (data)
        X11.XFree(data);
    return text;
}

char *EmptyText()
{
    return static_cast<char *>(std::calloc(1, 1));
}

Window OwningWindow(JEX_VideoDevice *device)
{
    JEX_Window *window = device->windows;
    if (!window || !window->driverdata)
        return None;
    return static_cast<X11_WindowData *>(window->driverdata)->xwindow;
}

}  // namespace

void X11_PumpEvents(JEX_VideoDevice *device)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;

    if (device->suspend_screensaver) {
        const Uint32 now = JEX_GetTicks();
        if (data->screensaver_activity == 0 || now - data->screensaver_activity >= 30000) {
            X11.XResetScreenSaver(display);
            data->screensaver_activity = now ? now : 1;
        }
    }
    ReapInhibitor(data);

    while (EventsReady(display, 0)) {
        XEvent event{};
        X11.XNextEvent(display, &event);
        if (X11.XFilterEvent(&event, None))
            continue;
        SendSysWM(event);
        if (data->numwindows == 0)
            continue;
        if (X11_WindowData *wd = FindWindow(data, event.xany.window))
            Dispatch(device, data, wd, event);
    }
}

void X11_SuspendScreenSaver(JEX_VideoDevice *device)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const bool suspend = device->suspend_screensaver != 0;
    if (JEX_X11_HAVE_XSS) {
        int event_base = 0, error_base = 0, major = 0, minor = 0;
        int opcode = 0;
        if (X11.XQueryExtension(display, "MIT-SCREEN-SAVER", &opcode, &event_base, &error_base) &&
            X11.XScreenSaverQueryExtension(display, &event_base, &error_base) &&
            X11.XScreenSaverQueryVersion(display, &major, &minor) &&
            (major > 1 || (major == 1 && minor >= 1))) {
            X11.XScreenSaverSuspend(display, suspend ? True : False);
            X11.XResetScreenSaver(display);
        }
    }
    X11.XFlush(display);

    ReapInhibitor(data);
    if (suspend && data->screensaver_inhibit_pid == 0) {
        // Only async-signal-safe calls after fork: the parent may have
        // threads holding locks.
        const pid_t pid = fork();
        if (pid == 0) {
            close(0);
            close(1);
            close(2);
            execl("/usr/bin/gnome-screensaver-command", "gnome-screensaver-command", "--inhibit",
                  "--reason", "GNOME screensaver doesn't respect MIT-SCREEN-SAVER",
                  static_cast<char *>(nullptr));
            _exit(2);
        }
        if (pid > 0)
            data->screensaver_inhibit_pid = pid;
    } else if (!suspend) {
        X11_StopScreenSaverInhibitor(device);
    }
}

void X11_StopScreenSaverInhibitor(JEX_VideoDevice *device)
{
    X11_VideoData *data = DriverData(device);
    if (data->screensaver_inhibit_pid > 0) {
        kill(data->screensaver_inhibit_pid, SIGTERM);
        waitpid(data->screensaver_inhibit_pid, nullptr, 0);
        data->screensaver_inhibit_pid = 0;
    }
}

int X11_ScreenSaverInhibitorPid(JEX_VideoDevice *device)
{
    return int(DriverData(device)->screensaver_inhibit_pid);
}

int X11_SetClipboardText(JEX_VideoDevice *device, const char *text)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const Window owner = OwningWindow(device);
    if (owner == None) {
        JEX_SetError("Couldn't find a window to own the selection");
        return -1;
    }
    if (!text)
        text = "";
    X11.XChangeProperty(display, RootWindow(display, DefaultScreen(display)), XA_CUT_BUFFER0,
                        data->UTF8_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(text), int(std::strlen(text)));
    if (X11.XGetSelectionOwner(display, XA_PRIMARY) != owner)
        X11.XSetSelectionOwner(display, XA_PRIMARY, owner, CurrentTime);
    X11.XFlush(display);
    return 0;
}

char *X11_GetClipboardText(JEX_VideoDevice *device)
{
    X11_VideoData *data = DriverData(device);
    Display *display = data->display;
    const Window mine = OwningWindow(device);
    const Window owner = X11.XGetSelectionOwner(display, XA_PRIMARY);

    Window source = RootWindow(display, DefaultScreen(display));
    Atom property = XA_CUT_BUFFER0;
    if (owner != None && owner != mine) {
        if (mine == None)
            return EmptyText();
        property = X11.XInternAtom(display, "JEX_SELECTION", False);
        source = mine;
        X11.XDeleteProperty(display, mine, property);
        X11.XConvertSelection(display, XA_PRIMARY, data->UTF8_STRING, property, mine, CurrentTime);
        data->selection_waiting = true;
        // Wait on the connection, not in a spin; an owner that never
        // answers costs at most the time-out.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(X11_SELECTION_TIMEOUT_MS);
        while (data->selection_waiting) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            EventsReady(display, int(left));
            JEX_PumpEvents();
        }
        if (data->selection_waiting) {
            data->selection_waiting = false;
            return EmptyText();
        }
    }
    char *text = ReadUtf8Property(display, source, property, data->UTF8_STRING);
    return text ? text : EmptyText();
}

JEX_bool X11_HasClipboardText(JEX_VideoDevice *device)
{
    char *text = X11_GetClipboardText(device);
    const bool has = text && text[0] != '\0';
    std::free(text);
    return has ? JEX_TRUE : JEX_FALSE;
}
