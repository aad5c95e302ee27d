// Force feedback on Linux: event devices with EV_FF. Effects are uploaded
// with EVIOCSFF, played and stopped by writing EV_FF events, and erased
// with EVIOCRMFF; gain and autocentre are EV_FF writes too.
#include <fcntl.h>
#include <linux/input.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "JEX_error.h"
#include "haptic/haptic_internal.h"
#include "joystick/linux/evdev_backend.h"
#include "joystick/linux/evdev_caps.h"

namespace {

struct HapticDevice {
    std::string path;
    std::string name;
};

struct HapticHw {
    int fd = -1;
    std::string path;
    // Pads that only rumble take sines as rumble effects.
    bool rumble_only = false;
};

struct EffectHw {
    Sint16 id;  // the kernel's
};

// Belongs to the application's thread; filled at init.
struct LinuxHapticState {
    std::vector<HapticDevice> devices;
};
LinuxHapticState g_linux_haptic;

constexpr struct {
    int ff;
    unsigned int jex;
} kWaveforms[] = {{FF_SINE, JEX_HAPTIC_SINE},
                  {FF_SQUARE, JEX_HAPTIC_SQUARE},
                  {FF_TRIANGLE, JEX_HAPTIC_TRIANGLE},
                  {FF_SAW_UP, JEX_HAPTIC_SAWTOOTHUP},
                  {FF_SAW_DOWN, JEX_HAPTIC_SAWTOOTHDOWN},
                  {FF_CUSTOM, JEX_HAPTIC_CUSTOM}};

constexpr struct {
    int ff;
    unsigned int jex;
} kKinds[] = {{FF_CONSTANT, JEX_HAPTIC_CONSTANT}, {FF_RAMP, JEX_HAPTIC_RAMP},
              {FF_SPRING, JEX_HAPTIC_SPRING},     {FF_DAMPER, JEX_HAPTIC_DAMPER},
              {FF_INERTIA, JEX_HAPTIC_INERTIA},   {FF_FRICTION, JEX_HAPTIC_FRICTION},
              {FF_GAIN, JEX_HAPTIC_GAIN},         {FF_AUTOCENTER, JEX_HAPTIC_AUTOCENTER}};

bool OnlyRumbles(const JEX_EvdevCaps &caps)
{
    return JEX_EvdevTest(caps.ff, FF_RUMBLE) && !JEX_EvdevTest(caps.ff, FF_PERIODIC);
}

unsigned int Supported(const JEX_EvdevCaps &caps)
{
    unsigned int supported = 0;
    for (auto [ff, jex] : kKinds)
        if (JEX_EvdevTest(caps.ff, ff))
            supported |= jex;
    if (JEX_EvdevTest(caps.ff, FF_PERIODIC))
        for (auto [ff, jex] : kWaveforms)
            if (JEX_EvdevTest(caps.ff, ff))
                supported |= jex;
    if (OnlyRumbles(caps))
        supported |= JEX_HAPTIC_SINE;
    return supported;
}

int FindDevice(const char *path)
{
    for (size_t i = 0; i < g_linux_haptic.devices.size(); ++i)
        if (path && g_linux_haptic.devices[i].path == path)
            return static_cast<int>(i);
    return -1;
}

// Hundredths of a degree clockwise from north, as the kernel's 16-bit
// turn that counts 0 as down and 0x8000 as up.
Uint16 KernelDirection(const JEX_HapticDirection &direction)
{
    double degrees = 0;
    switch (direction.type) {
    case JEX_HAPTIC_POLAR: degrees = direction.dir[0] / 100.0; break;
    case JEX_HAPTIC_SPHERICAL: degrees = direction.dir[0] / 100.0 + 90.0; break;
    default:  // cartesian: x right, y down
        degrees = std::atan2(static_cast<double>(direction.dir[0]),
                             -static_cast<double>(direction.dir[1])) *
                  180.0 / M_PI;
        break;
    }
    const double turn = std::fmod(degrees + 180.0, 360.0);
    return static_cast<Uint16>(
        static_cast<long>(std::lround((turn < 0 ? turn + 360.0 : turn) * 65536.0 / 360.0)) &
        0xFFFF);
}

Uint16 Level(Uint16 level)
{
    return std::min<Uint16>(level, 0x7FFF);
}

Uint16 Time(Uint32 ms)
{
    return static_cast<Uint16>(std::min<Uint32>(ms, 0x7FFF));
}

template <typename Variant>
void Envelope(const Variant &v, ff_envelope &e)
{
    e.attack_length = Time(v.attack_length);
    e.attack_level = Level(v.attack_level);
    e.fade_length = Time(v.fade_length);
    e.fade_level = Level(v.fade_level);
}

// The kernel's description of an effect. custom_data points into samples,
// which must live until the upload.
ff_effect ToKernel(const JEX_HapticEffect &src, bool rumble_only, std::vector<Sint16> &samples)
{
    ff_effect dst;
    std::memset(&dst, 0, sizeof(dst));
    const JEX_HapticConstant &common = src.constant;
    dst.direction = KernelDirection(common.direction);
    // The kernel's length 0 plays for ever.
    dst.replay.length = common.length == JEX_HAPTIC_INFINITY ? 0 : Time(common.length);
    dst.replay.delay = Time(common.delay);
    dst.trigger.button = common.button ? static_cast<Uint16>(BTN_TRIGGER + common.button - 1) : 0;
    dst.trigger.interval = Time(common.interval);
    switch (src.type) {
    case JEX_HAPTIC_CONSTANT:
        dst.type = FF_CONSTANT;
        dst.u.constant.level = src.constant.level;
        Envelope(src.constant, dst.u.constant.envelope);
        break;
    case JEX_HAPTIC_RAMP:
        dst.type = FF_RAMP;
        dst.u.ramp.start_level = src.ramp.start;
        dst.u.ramp.end_level = src.ramp.end;
        Envelope(src.ramp, dst.u.ramp.envelope);
        break;
    case JEX_HAPTIC_SPRING:
    case JEX_HAPTIC_DAMPER:
    case JEX_HAPTIC_INERTIA:
    case JEX_HAPTIC_FRICTION: {
        dst.type = src.type == JEX_HAPTIC_SPRING    ? FF_SPRING
                   : src.type == JEX_HAPTIC_DAMPER  ? FF_DAMPER
                   : src.type == JEX_HAPTIC_INERTIA ? FF_INERTIA
                                                    : FF_FRICTION;
        const JEX_HapticCondition &c = src.condition;
        for (int axis = 0; axis < 2; ++axis) {
            ff_condition_effect &k = dst.u.condition[axis];
            k.right_saturation = c.right_sat[axis];
            k.left_saturation = c.left_sat[axis];
            k.right_coeff = c.right_coeff[axis];
            k.left_coeff = c.left_coeff[axis];
            k.deadband = c.deadband[axis];
            k.center = c.center[axis];
        }
        break;
    }
    case JEX_HAPTIC_CUSTOM:
        dst.type = FF_PERIODIC;
        dst.u.periodic.waveform = FF_CUSTOM;
        dst.u.periodic.period = Time(src.custom.period);
        dst.u.periodic.magnitude = 0x7FFF;
        samples.resize(size_t{src.custom.channels} * src.custom.samples);
        std::memcpy(samples.data(), src.custom.data, samples.size() * sizeof(Sint16));
        dst.u.periodic.custom_len = static_cast<__u32>(samples.size());
        dst.u.periodic.custom_data = samples.data();
        Envelope(src.custom, dst.u.periodic.envelope);
        break;
    default: {  // the periodic waveforms
        const JEX_HapticPeriodic &p = src.periodic;
        if (rumble_only) {
            dst.type = FF_RUMBLE;
            const int strength = std::min(std::abs(static_cast<int>(p.magnitude)) * 2, 0xFFFF);
            dst.u.rumble.strong_magnitude = static_cast<Uint16>(strength);
            dst.u.rumble.weak_magnitude = static_cast<Uint16>(strength);
            break;
        }
        dst.type = FF_PERIODIC;
        for (auto [ff, jex] : kWaveforms)
            if (jex == src.type)
                dst.u.periodic.waveform = static_cast<Uint16>(ff);
        dst.u.periodic.period = p.period;
        dst.u.periodic.magnitude = p.magnitude;
        dst.u.periodic.offset = p.offset;
        dst.u.periodic.phase = p.phase;
        Envelope(p, dst.u.periodic.envelope);
        break;
    }
    }
    return dst;
}

int Upload(JEX_Haptic *haptic, Sint16 id, const JEX_HapticEffect *effect, Sint16 *assigned)
{
    auto &hw = *static_cast<HapticHw *>(haptic->hwdata);
    try {
        std::vector<Sint16> samples;
        ff_effect kernel = ToKernel(*effect, hw.rumble_only, samples);
        kernel.id = id;
        if (JEX_Evdev().ioctl(hw.fd, EVIOCSFF, &kernel) < 0) {
            JEX_SetError("Haptic: Error uploading effect to the device: %s", std::strerror(errno));
            return -1;
        }
        *assigned = kernel.id;
        return 0;
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return -1;
    }
}

int WriteFF(JEX_Haptic *haptic, int code, int value)
{
    input_event event;
    std::memset(&event, 0, sizeof(event));
    event.type = EV_FF;
    event.code = static_cast<Uint16>(code);
    event.value = value;
    const int fd = static_cast<HapticHw *>(haptic->hwdata)->fd;
    if (JEX_Evdev().write(fd, &event, sizeof(event)) != static_cast<ssize_t>(sizeof(event))) {
        JEX_SetError("Haptic: Error writing to the device: %s", std::strerror(errno));
        return -1;
    }
    return 0;
}

int LINUX_HapticInit()
{
    g_linux_haptic.devices.clear();
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    try {
        for (const std::string &path : evdev.enumerate()) {
            if (g_linux_haptic.devices.size() >= 255)
                break;
            const int fd = evdev.open(path.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd < 0)
                continue;
            JEX_EvdevCaps caps;
            const bool haptic = JEX_EvdevProbe(fd, caps) && (Supported(caps) & 0x0FFF) != 0;
            std::string name = haptic ? JEX_EvdevName(fd) : std::string();
            evdev.close(fd);
            if (haptic)
                g_linux_haptic.devices.push_back({path, std::move(name)});
        }
    } catch (const std::bad_alloc &) {
        g_linux_haptic.devices.clear();
        JEX_OutOfMemory();
        return -1;
    }
    return static_cast<int>(g_linux_haptic.devices.size());
}

const char *LINUX_HapticName(int index)
{
    return g_linux_haptic.devices[index].name.c_str();
}

int LINUX_HapticOpen(JEX_Haptic *haptic)
{
    const JEX_EvdevBackend &evdev = JEX_Evdev();
    const std::string &path = g_linux_haptic.devices[haptic->index].path;
    // Playing needs writes: read-only access is not enough.
    const int fd = evdev.open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        JEX_SetError("Haptic: Unable to open %s: %s", path.c_str(), std::strerror(errno));
        return -1;
    }
    JEX_EvdevCaps caps;
    int slots = 0;
    if (!JEX_EvdevProbe(fd, caps) || evdev.ioctl(fd, EVIOCGEFFECTS, &slots) < 0) {
        JEX_SetError("Haptic: Unable to query %s: %s", path.c_str(), std::strerror(errno));
        evdev.close(fd);
        return -1;
    }
    auto *hw = new (std::nothrow) HapticHw;
    if (!hw) {
        evdev.close(fd);
        JEX_OutOfMemory();
        return -1;
    }
    try {
        hw->path = path;
    } catch (const std::bad_alloc &) {
        delete hw;
        evdev.close(fd);
        JEX_OutOfMemory();
        return -1;
    }
    hw->fd = fd;
    hw->rumble_only = OnlyRumbles(caps);
    haptic->hwdata = hw;
    haptic->supported = Supported(caps);
    haptic->neffects = std::max(slots, 0);
    haptic->nplaying = haptic->neffects;
    haptic->naxes = JEX_EvdevTest(caps.abs, ABS_Y) ? 2 : 1;
    return 0;
}

int LINUX_HapticMouse()
{
    return -1;
}

int LINUX_JoystickIsHaptic(JEX_Joystick *joystick)
{
    return FindDevice(JEX_LinuxJoystickDevicePath(joystick)) >= 0 ? 1 : 0;
}

int LINUX_JoystickSameHaptic(JEX_Haptic *haptic, JEX_Joystick *joystick)
{
    const char *path = JEX_LinuxJoystickDevicePath(joystick);
    return path && static_cast<HapticHw *>(haptic->hwdata)->path == path ? 1 : 0;
}

int LINUX_HapticOpenFromJoystick(JEX_Haptic *haptic, JEX_Joystick *joystick)
{
    const int index = FindDevice(JEX_LinuxJoystickDevicePath(joystick));
    if (index < 0) {
        JEX_SetError("Haptic: Joystick isn't a haptic device.");
        return -1;
    }
    haptic->index = static_cast<Uint8>(index);
    return LINUX_HapticOpen(haptic);
}

void LINUX_HapticClose(JEX_Haptic *haptic)
{
    auto *hw = static_cast<HapticHw *>(haptic->hwdata);
    JEX_Evdev().close(hw->fd);
    delete hw;
    haptic->hwdata = nullptr;
}

void LINUX_HapticQuit()
{
    g_linux_haptic.devices.clear();
}

int LINUX_HapticNewEffect(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot,
                          const JEX_HapticEffect *effect)
{
    auto *effect_hw = new (std::nothrow) EffectHw;
    if (!effect_hw) {
        JEX_OutOfMemory();
        return -1;
    }
    if (Upload(haptic, -1, effect, &effect_hw->id) < 0) {
        delete effect_hw;
        return -1;
    }
    slot->hwdata = effect_hw;
    return 0;
}

int LINUX_HapticUpdateEffect(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot,
                             const JEX_HapticEffect *effect)
{
    auto *effect_hw = static_cast<EffectHw *>(slot->hwdata);
    Sint16 id = effect_hw->id;
    return Upload(haptic, effect_hw->id, effect, &id);
}

int LINUX_HapticRunEffect(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot, Uint32 iterations)
{
    const int count = static_cast<int>(std::min<Uint32>(iterations, INT_MAX));
    return WriteFF(haptic, static_cast<EffectHw *>(slot->hwdata)->id, count);
}

int LINUX_HapticStopEffect(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot)
{
    return WriteFF(haptic, static_cast<EffectHw *>(slot->hwdata)->id, 0);
}

void LINUX_HapticDestroyEffect(JEX_Haptic *haptic, JEX_HapticEffectSlot *slot)
{
    auto *effect_hw = static_cast<EffectHw *>(slot->hwdata);
    // EVIOCRMFF takes the id itself, not a pointer to it.
    JEX_Evdev().ioctl(static_cast<HapticHw *>(haptic->hwdata)->fd, EVIOCRMFF,
                      reinterpret_cast<void *>(static_cast<intptr_t>(effect_hw->id)));
    delete effect_hw;
    slot->hwdata = nullptr;
}

int LINUX_HapticGetEffectStatus(JEX_Haptic *, JEX_HapticEffectSlot *)
{
    JEX_SetError("Haptic: Device does not support status queries.");
    return -1;
}

int LINUX_HapticSetGain(JEX_Haptic *haptic, int gain)
{
    return WriteFF(haptic, FF_GAIN, 0xFFFF * gain / 100);
}

int LINUX_HapticSetAutocenter(JEX_Haptic *haptic, int autocenter)
{
    return WriteFF(haptic, FF_AUTOCENTER, 0xFFFF * autocenter / 100);
}

int LINUX_HapticPause(JEX_Haptic *)
{
    JEX_SetError("Haptic: Device does not support setting pausing.");
    return -1;
}

int LINUX_HapticStopAll(JEX_Haptic *haptic)
{
    int result = 0;
    for (JEX_HapticEffectSlot &slot : haptic->effects)
        if (slot.hwdata && LINUX_HapticStopEffect(haptic, &slot) < 0)
            result = -1;
    return result;
}

}  // namespace

const JEX_HapticDriver JEX_LinuxHapticDriver = {
    "linux",
    LINUX_HapticInit,
    LINUX_HapticName,
    LINUX_HapticOpen,
    LINUX_HapticMouse,
    LINUX_JoystickIsHaptic,
    LINUX_JoystickSameHaptic,
    LINUX_HapticOpenFromJoystick,
    LINUX_HapticClose,
    LINUX_HapticQuit,
    LINUX_HapticNewEffect,
    LINUX_HapticUpdateEffect,
    LINUX_HapticRunEffect,
    LINUX_HapticStopEffect,
    LINUX_HapticDestroyEffect,
    LINUX_HapticGetEffectStatus,
    LINUX_HapticSetGain,
    LINUX_HapticSetAutocenter,
    LINUX_HapticPause,
    LINUX_HapticPause,
    LINUX_HapticStopAll,
};
