// Joystick core: the device count, the opened records with their reference
// counts and last known state, and the joystick events.
#include <algorithm>
#include <array>
#include <new>

#include "JEX_error.h"
#include "JEX_events.h"
#include "events/events_internal.h"
#include "joystick/joystick_internal.h"

namespace {

// Belongs to the application's thread; no field is shared with another.
struct JoystickState {
    const JEX_JoystickDriver *driver = nullptr;
    int count = 0;
    // Open records in order of opening. Every handle passed in is looked up
    // here before use, so a closed or stale one is refused.
    std::vector<JEX_Joystick *> opened;
};
JoystickState g_joy;

constexpr std::array<Uint32, 5> kEventTypes = {
    JEX_JOYAXISMOTION, JEX_JOYBALLMOTION, JEX_JOYHATMOTION, JEX_JOYBUTTONDOWN, JEX_JOYBUTTONUP};

const JEX_JoystickDriver &Driver()
{
    return g_joy.driver ? *g_joy.driver : JEX_NullJoystickDriver;
}

bool IndexInRange(int index)
{
    if (index >= 0 && index < g_joy.count)
        return true;
    JEX_SetError("There are %d joysticks available", g_joy.count);
    return false;
}

JEX_Joystick *FindOpened(int index)
{
    for (JEX_Joystick *j : g_joy.opened)
        if (j->index == index)
            return j;
    return nullptr;
}

// Releases the record whatever its count: the driver's part, the list
// entry and the memory.
void Release(JEX_Joystick *joystick)
{
    Driver().close(joystick);
    std::erase(g_joy.opened, joystick);
    delete joystick;
}

bool ElementInRange(int element, int count, const char *what)
{
    if (element >= 0 && element < count)
        return true;
    JEX_SetError("Joystick only has %d %s", count, what);
    return false;
}

int Post(JEX_Event &event)
{
    if (JEX_EventState(event.type, JEX_QUERY) != JEX_ENABLE)
        return 0;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

int CountHook()
{
    return g_joy.count;
}

}  // namespace

bool JEX_PrivateJoystickValid(JEX_Joystick **joystick)
{
    // There is no default joystick: a null handle is never valid.
    if (*joystick && std::ranges::find(g_joy.opened, *joystick) != g_joy.opened.end())
        return true;
    JEX_SetError("Joystick hasn't been opened yet");
    return false;
}

int JEX_JoystickInit(void)
{
#ifdef __linux__
    g_joy.driver = &JEX_LinuxJoystickDriver;
#else
    g_joy.driver = &JEX_NullJoystickDriver;
#endif
    g_joy.count = 0;
    const int n = Driver().init();
    if (n < 0) {
        Driver().quit();
        g_joy.driver = nullptr;
        return n;
    }
    g_joy.count = n;
    JEX_SetJoystickHooks(CountHook, JEX_JoystickEventState, JEX_JoystickUpdate);
    return 0;
}

void JEX_JoystickQuit(void)
{
    JEX_SetJoystickHooks(nullptr, nullptr, nullptr);
    // Records still open are closed here: their handles then fail the
    // membership check instead of reaching freed memory.
    while (!g_joy.opened.empty())
        Release(g_joy.opened.back());
    g_joy.count = 0;
    Driver().quit();
    g_joy.driver = nullptr;
}

int JEX_PrivateJoystickAxis(JEX_Joystick *joystick, Uint8 axis, Sint16 value)
{
    if (axis >= joystick->naxes)
        return 0;
    joystick->axes[axis] = value;
    JEX_Event event{};
    event.jaxis = {
        .type = JEX_JOYAXISMOTION, .which = joystick->index, .axis = axis, .value = value};
    return Post(event);
}

int JEX_PrivateJoystickBall(JEX_Joystick *joystick, Uint8 ball, Sint16 xrel, Sint16 yrel)
{
    if (ball >= joystick->nballs)
        return 0;
    joystick->balls[ball].first += xrel;
    joystick->balls[ball].second += yrel;
    JEX_Event event{};
    event.jball = {.type = JEX_JOYBALLMOTION,
                   .which = joystick->index,
                   .ball = ball,
                   .rel_x = xrel,
                   .rel_y = yrel};
    return Post(event);
}

int JEX_PrivateJoystickHat(JEX_Joystick *joystick, Uint8 hat, Uint8 value)
{
    if (hat >= joystick->nhats)
        return 0;
    joystick->hats[hat] = value;
    JEX_Event event{};
    event.jhat = {.type = JEX_JOYHATMOTION, .which = joystick->index, .hat = hat, .value = value};
    return Post(event);
}

int JEX_PrivateJoystickButton(JEX_Joystick *joystick, Uint8 button, Uint8 state)
{
    if (button >= joystick->nbuttons || state > JEX_PRESSED)
        return 0;
    joystick->buttons[button] = state;
    JEX_Event event{};
    event.jbutton = {.type = state ? Uint32{JEX_JOYBUTTONDOWN} : Uint32{JEX_JOYBUTTONUP},
                     .which = joystick->index,
                     .button = button,
                     .state = state};
    return Post(event);
}

extern "C" {

int JEX_NumJoysticks(void)
{
    return g_joy.count;
}

const char *JEX_JoystickName(int device_index)
{
    if (!IndexInRange(device_index))
        return nullptr;
    return Driver().device_name(device_index);
}

JEX_Joystick *JEX_JoystickOpen(int device_index)
{
    if (!IndexInRange(device_index))
        return nullptr;
    if (JEX_Joystick *j = FindOpened(device_index)) {
        ++j->ref_count;
        return j;
    }
    JEX_Joystick *j = new (std::nothrow) JEX_Joystick;
    if (!j) {
        JEX_OutOfMemory();
        return nullptr;
    }
    j->index = static_cast<Uint8>(device_index);
    if (Driver().open(j) < 0) {
        delete j;
        return nullptr;
    }
    try {
        j->axes.assign(std::max(j->naxes, 0), 0);
        j->hats.assign(std::max(j->nhats, 0), 0);
        j->balls.assign(std::max(j->nballs, 0), {0, 0});
        j->buttons.assign(std::max(j->nbuttons, 0), 0);
        g_joy.opened.push_back(j);
    } catch (const std::bad_alloc &) {
        Driver().close(j);
        delete j;
        JEX_OutOfMemory();
        return nullptr;
    }
    j->ref_count = 1;
    return j;
}

int JEX_JoystickOpened(int device_index)
{
    return device_index >= 0 && FindOpened(device_index) ? 1 : 0;
}

int JEX_JoystickIndex(JEX_Joystick *joystick)
{
    return JEX_PrivateJoystickValid(&joystick) ? joystick->index : -1;
}

int JEX_JoystickNumAxes(JEX_Joystick *joystick)
{
    return JEX_PrivateJoystickValid(&joystick) ? joystick->naxes : -1;
}

int JEX_JoystickNumBalls(JEX_Joystick *joystick)
{
    return JEX_PrivateJoystickValid(&joystick) ? joystick->nballs : -1;
}

int JEX_JoystickNumHats(JEX_Joystick *joystick)
{
    return JEX_PrivateJoystickValid(&joystick) ? joystick->nhats : -1;
}

int JEX_JoystickNumButtons(JEX_Joystick *joystick)
{
    return JEX_PrivateJoystickValid(&joystick) ? joystick->nbuttons : -1;
}

Sint16 JEX_JoystickGetAxis(JEX_Joystick *joystick, int axis)
{
    if (!JEX_PrivateJoystickValid(&joystick) || !ElementInRange(axis, joystick->naxes, "axes"))
        return 0;
    return joystick->axes[axis];
}

Uint8 JEX_JoystickGetHat(JEX_Joystick *joystick, int hat)
{
    if (!JEX_PrivateJoystickValid(&joystick) || !ElementInRange(hat, joystick->nhats, "hats"))
        return 0;
    return joystick->hats[hat];
}

int JEX_JoystickGetBall(JEX_Joystick *joystick, int ball, int *dx, int *dy)
{
    if (!JEX_PrivateJoystickValid(&joystick) || !ElementInRange(ball, joystick->nballs, "balls"))
        return -1;
    auto &[x, y] = joystick->balls[ball];
    if (dx)
        *dx = x;
    if (dy)
        *dy = y;
    x = y = 0;
    return 0;
}

Uint8 JEX_JoystickGetButton(JEX_Joystick *joystick, int button)
{
    if (!JEX_PrivateJoystickValid(&joystick) ||
        !ElementInRange(button, joystick->nbuttons, "buttons"))
        return 0;
    return joystick->buttons[button];
}

void JEX_JoystickUpdate(void)
{
    // Indexed: an event watcher called from an update may close records.
    for (size_t i = 0; i < g_joy.opened.size(); ++i)
        Driver().update(g_joy.opened[i]);
}

int JEX_JoystickEventState(int state)
{
    if (state == JEX_QUERY) {
        int result = JEX_DISABLE;
        for (Uint32 type : kEventTypes) {
            result = JEX_EventState(type, JEX_QUERY);
            if (result == JEX_ENABLE)
                break;
        }
        return result;
    }
    for (Uint32 type : kEventTypes)
        JEX_EventState(type, state);
    return state;
}

void JEX_JoystickClose(JEX_Joystick *joystick)
{
    if (!JEX_PrivateJoystickValid(&joystick))
        return;
    if (--joystick->ref_count > 0)
        return;
    Release(joystick);
}

}  // extern "C"
