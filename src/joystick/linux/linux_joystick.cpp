// Joysticks on Linux: the kernel's event devices that carry joystick or
// gamepad buttons, read without blocking on every update.
#include <fcntl.h>
#include <linux/input.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "JEX_error.h"
#include "joystick/joystick_internal.h"
#include "joystick/linux/evdev_backend.h"
#include "joystick/linux/evdev_caps.h"

namespace {

struct LinuxDevice {
    std::string path;
    std::string name;
};

struct AxisState {
    int code;
    int min;  // calibration: the declared range, widened by readings outside it
    int max;
    Sint16 value;  // last reported
};

struct HatState {
    int x = 0;
    int y = 0;
    Uint8 value = JEX_HAT_CENTERED;  // last reported
};

struct JoystickHw {
    int fd = -1;
    std::string path;
    std::array<int, ABS_CNT> axis_of_code;
    std::array<int, KEY_CNT> button_of_code;
    std::vector<AxisState> axes;
    std::vector<HatState> hats;
    std::vector<int> button_codes;
    std::vector<Uint8> buttons;  // last reported
    bool synced = false;         // the first update reads the state the device opened with
    bool dropping = false;       // events were lost: skip to the next report, then re-read
    bool gone = false;
};

// Belongs to the application's thread. devices is filled at init; open
// lists the records of opened joysticks so that a foreign hwdata is never
// taken for ours.
struct LinuxJoystickState {
    std::vector<LinuxDevice> devices;
    std::vector<JoystickHw *> open;
};
LinuxJoystickState g_linux_joy;

constexpr int kMaxDevices = 255;  // indices travel in 8-bit event fields

bool IsHatCode(int code)
{
    return code >= ABS_HAT0X && code <= ABS_HAT3Y;
}

Uint8 HatValue(const HatState &hat)
{
    Uint8 value = JEX_HAT_CENTERED;
    if (hat.x < 0)
        value |= JEX_HAT_LEFT;
    else if (hat.x > 0)
        value |= JEX_HAT_RIGHT;
    if (hat.y < 0)
        value |= JEX_HAT_UP;
    else if (hat.y > 0)
        value |= JEX_HAT_DOWN;
    return value;
}

// Maps the calibrated range onto -32768..32767. The range is widened
// before scaling so that a reading outside the declared range never
// overflows the 16-bit value.
Sint16 ScaleAxis(AxisState &axis, int raw)
{
    axis.min = std::min(axis.min, raw);
    axis.max = std::max(axis.max, raw);
    const long long range = static_cast<long long>(axis.max) - axis.min;
    long long value = raw;
    if (range != 0)
        value = (static_cast<long long>(raw) - axis.min) * 65535 / range - 32768;
    return static_cast<Sint16>(std::clamp<long long>(value, -32768, 32767));
}

void ReportAxis(JEX_Joystick *joystick, JoystickHw &hw, int index, Sint16 value)
{
    if (hw.axes[index].value == value)
        return;
    hw.axes[index].value = value;
    JEX_PrivateJoystickAxis(joystick, static_cast<Uint8>(index), value);
}

void ReportHat(JEX_Joystick *joystick, JoystickHw &hw, int index)
{
    const Uint8 value = HatValue(hw.hats[index]);
    if (hw.hats[index].value == value)
        return;
    hw.hats[index].value = value;
    JEX_PrivateJoystickHat(joystick, static_cast<Uint8>(index), value);
}

void ReportButton(JEX_Joystick *joystick, JoystickHw &hw, int index, Uint8 state)
{
    if (hw.buttons[index] == state)
        return;
    hw.buttons[index] = state;
    JEX_PrivateJoystickButton(joystick, static_cast<Uint8>(index), state);
}

void HandleAbs(JEX_Joystick *joystick, JoystickHw &hw, int code, int raw)
{
    if (IsHatCode(code)) {
        const int index = (code - ABS_HAT0X) / 2;
        if (index >= static_cast<int>(hw.hats.size()))
            return;
        HatState &hat = hw.hats[index];
        ((code - ABS_HAT0X) % 2 ? hat.y : hat.x) = raw;
        ReportHat(joystick, hw, index);
        return;
    }
    const int index = hw.axis_of_code[code];
    if (index >= 0)
        ReportAxis(joystick, hw, index, ScaleAxis(hw.axes[index], raw));
}

// Reads the whole state from the device: at the first update and after the
// kernel dropped events.
void Resync(JEX_Joystick *joystick, JoystickHw &hw)
{
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    JEX_EvdevBits keys{};
    if (evdev.ioctl(hw.fd, EVIOCGKEY(sizeof(keys.key)), keys.key.data()) >= 0) {
        for (size_t i = 0; i < hw.button_codes.size(); ++i)
            ReportButton(joystick, hw, static_cast<int>(i),
                         JEX_EvdevTest(keys.key, hw.button_codes[i]) ? 1 : 0);
    }
    for (int code = 0; code < ABS_CNT; ++code) {
        if (hw.axis_of_code[code] < 0 &&
            !(IsHatCode(code) && (code - ABS_HAT0X) / 2 < static_cast<int>(hw.hats.size())))
            continue;
        input_absinfo info{};
        if (evdev.ioctl(hw.fd, EVIOCGABS(code), &info) >= 0)
            HandleAbs(joystick, hw, code, info.value);
    }
}

// The device went away: report everything at rest once, then stay quiet.
void Detach(JEX_Joystick *joystick, JoystickHw &hw)
{
    for (size_t i = 0; i < hw.axes.size(); ++i)
        ReportAxis(joystick, hw, static_cast<int>(i), 0);
    for (size_t i = 0; i < hw.buttons.size(); ++i)
        ReportButton(joystick, hw, static_cast<int>(i), 0);
    for (size_t i = 0; i < hw.hats.size(); ++i) {
        hw.hats[i].x = hw.hats[i].y = 0;
        ReportHat(joystick, hw, static_cast<int>(i));
    }
    JEX_Evdev().close(hw.fd);
    hw.fd = -1;
    hw.gone = true;
}

void HandleEvent(JEX_Joystick *joystick, JoystickHw &hw, const input_event &event)
{
    if (hw.dropping) {
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            hw.dropping = false;
            Resync(joystick, hw);
        }
        return;
    }
    switch (event.type) {
    case EV_SYN:
        if (event.code == SYN_DROPPED)
            hw.dropping = true;
        break;
    case EV_KEY:
        // 2 is the kernel's auto-repeat of a held key, not a new press.
        if (event.code < KEY_CNT && hw.button_of_code[event.code] >= 0 && event.value != 2)
            ReportButton(joystick, hw, hw.button_of_code[event.code], event.value ? 1 : 0);
        break;
    case EV_ABS:
        if (event.code < ABS_CNT)
            HandleAbs(joystick, hw, event.code, event.value);
        break;
    default: break;
    }
}

int LINUX_JoystickInit()
{
    g_linux_joy.devices.clear();
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    try {
        for (const std::string &path : evdev.enumerate()) {
            if (g_linux_joy.devices.size() >= kMaxDevices)
                break;
            // Nodes we may not open (EACCES) or that vanished are not ours.
            const int fd = evdev.open(path.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd < 0)
                continue;
            JEX_EvdevCaps caps;
            const bool joystick = JEX_EvdevProbe(fd, caps) && JEX_EvdevIsJoystick(caps);
            std::string name = joystick ? JEX_EvdevName(fd) : std::string();
            evdev.close(fd);
            if (joystick)
                g_linux_joy.devices.push_back({path, std::move(name)});
        }
    } catch (const std::bad_alloc &) {
        g_linux_joy.devices.clear();
        JEX_OutOfMemory();
        return -1;
    }
    return static_cast<int>(g_linux_joy.devices.size());
}

const char *LINUX_JoystickName(int index)
{
    return g_linux_joy.devices[index].name.c_str();
}

int LINUX_JoystickOpen(JEX_Joystick *joystick)
{
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    const LinuxDevice &device = g_linux_joy.devices[joystick->index];
    const int fd = evdev.open(device.path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        JEX_SetError("Couldn't open %s: %s", device.path.c_str(), std::strerror(errno));
        return -1;
    }
    JEX_EvdevCaps caps;
    if (!JEX_EvdevProbe(fd, caps)) {
        JEX_SetError("Couldn't read the capabilities of %s: %s", device.path.c_str(),
                     std::strerror(errno));
        evdev.close(fd);
        return -1;
    }
    try {
        auto hw = std::make_unique<JoystickHw>();
        hw->fd = fd;
        hw->path = device.path;
        hw->axis_of_code.fill(-1);
        hw->button_of_code.fill(-1);
        for (int code = 0; code < ABS_CNT; ++code) {
            if (!JEX_EvdevTest(caps.abs, code) || IsHatCode(code))
                continue;
            input_absinfo info{};
            evdev.ioctl(fd, EVIOCGABS(code), &info);
            hw->axis_of_code[code] = static_cast<int>(hw->axes.size());
            hw->axes.push_back({code, std::min(info.minimum, info.maximum),
                                std::max(info.minimum, info.maximum), 0});
        }
        std::size_t nhats = 0;
        for (int hat = 0; hat < 4; ++hat)
            if (JEX_EvdevTest(caps.abs, ABS_HAT0X + 2 * hat) ||
                JEX_EvdevTest(caps.abs, ABS_HAT0Y + 2 * hat))
                nhats = hat + 1;
        hw->hats.assign(nhats, HatState{});
        // Joystick and gamepad buttons first, so the trigger or A is
        // button 0; then the other buttons in code order.
        for (int code = BTN_JOYSTICK; code < KEY_CNT + BTN_JOYSTICK - BTN_MISC; ++code) {
            const int wrapped = code < KEY_CNT ? code : code - KEY_CNT + BTN_MISC;
            if (!JEX_EvdevTest(caps.key, wrapped))
                continue;
            if (hw->button_codes.size() == 256)
                break;
            hw->button_of_code[wrapped] = static_cast<int>(hw->button_codes.size());
            hw->button_codes.push_back(wrapped);
        }
        hw->buttons.assign(hw->button_codes.size(), 0);
        joystick->name = device.name;
        joystick->naxes = static_cast<int>(hw->axes.size());
        joystick->nhats = static_cast<int>(hw->hats.size());
        joystick->nballs = 0;
        joystick->nbuttons = static_cast<int>(hw->button_codes.size());
        g_linux_joy.open.push_back(hw.get());
        joystick->hwdata = hw.release();
    } catch (const std::bad_alloc &) {
        evdev.close(fd);
        JEX_OutOfMemory();
        return -1;
    }
    return 0;
}

void LINUX_JoystickUpdate(JEX_Joystick *joystick)
{
    JoystickHw &hw = *static_cast<JoystickHw *>(joystick->hwdata);
    if (hw.gone)
        return;
    if (!hw.synced) {
        hw.synced = true;
        Resync(joystick, hw);
    }
    std::array<input_event, 32> events;
    for (;;) {
        const ssize_t got = JEX_Evdev().read(hw.fd, events.data(), sizeof(events));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == ENODEV) {
            Detach(joystick, hw);
            return;
        }
        // EAGAIN: everything pending is read. Anything else: try next time.
        if (got <= 0)
            return;
        const size_t count = static_cast<size_t>(got) / sizeof(input_event);
        for (size_t i = 0; i < count; ++i)
            HandleEvent(joystick, hw, events[i]);
    }
}

void LINUX_JoystickClose(JEX_Joystick *joystick)
{
    auto *hw = static_cast<JoystickHw *>(joystick->hwdata);
    if (!hw)
        return;
    if (hw->fd >= 0)
        JEX_Evdev().close(hw->fd);
    std::erase(g_linux_joy.open, hw);
    delete hw;
    joystick->hwdata = nullptr;
}

void LINUX_JoystickQuit()
{
    g_linux_joy.devices.clear();
}

}  // namespace

const char *JEX_LinuxJoystickDevicePath(JEX_Joystick *joystick)
{
    auto *hw = static_cast<JoystickHw *>(joystick->hwdata);
    if (std::ranges::find(g_linux_joy.open, hw) == g_linux_joy.open.end() || hw->gone)
        return nullptr;
    return hw->path.c_str();
}

const JEX_JoystickDriver JEX_LinuxJoystickDriver = {
    "linux",
    LINUX_JoystickInit,
    LINUX_JoystickName,
    LINUX_JoystickOpen,
    LINUX_JoystickUpdate,
    LINUX_JoystickClose,
    LINUX_JoystickQuit,
};
