// Capability bits of event devices.
#include "joystick/linux/evdev_caps.h"

#include "joystick/linux/evdev_backend.h"

bool JEX_EvdevProbe(int fd, JEX_EvdevCaps &caps)
{
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    caps = JEX_EvdevCaps{};
    if (evdev.ioctl(fd, EVIOCGBIT(0, sizeof(caps.ev)), caps.ev.data()) < 0)
        return false;
    // A device without a class answers with an error; its bits stay clear.
    if (JEX_EvdevTest(caps.ev, EV_KEY))
        evdev.ioctl(fd, EVIOCGBIT(EV_KEY, sizeof(caps.key)), caps.key.data());
    if (JEX_EvdevTest(caps.ev, EV_ABS))
        evdev.ioctl(fd, EVIOCGBIT(EV_ABS, sizeof(caps.abs)), caps.abs.data());
    if (JEX_EvdevTest(caps.ev, EV_FF))
        evdev.ioctl(fd, EVIOCGBIT(EV_FF, sizeof(caps.ff)), caps.ff.data());
    evdev.ioctl(fd, EVIOCGPROP(sizeof(caps.props)), caps.props.data());
    return true;
}

bool JEX_EvdevIsJoystick(const JEX_EvdevCaps &caps)
{
    if (JEX_EvdevTest(caps.props, INPUT_PROP_ACCELEROMETER))
        return false;
    for (int code = ABS_MT_SLOT; code <= ABS_MT_TOOL_Y; ++code)
        if (JEX_EvdevTest(caps.abs, code))
            return false;
    if (JEX_EvdevTest(caps.key, BTN_TOUCH) || JEX_EvdevTest(caps.key, BTN_TOOL_FINGER))
        return false;
    for (int code = BTN_JOYSTICK; code < BTN_DIGI; ++code)
        if (JEX_EvdevTest(caps.key, code))
            return true;
    for (int code = BTN_TRIGGER_HAPPY; code <= BTN_TRIGGER_HAPPY40; ++code)
        if (JEX_EvdevTest(caps.key, code))
            return true;
    return false;
}

std::string JEX_EvdevName(int fd)
{
    char name[256] = {};
    if (JEX_Evdev().ioctl(fd, EVIOCGNAME(sizeof(name) - 1), name) < 0 || name[0] == '\0')
        return "Unnamed event device";
    return name;
}
