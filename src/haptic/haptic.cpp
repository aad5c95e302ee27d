// Haptic core: the device list, open devices with their effect slots, the
// checks every call passes before it reaches the driver, and the rumble.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <new>

#include "JEX_error.h"
#include "haptic/haptic_internal.h"
#include "joystick/joystick_internal.h"

namespace {

// Belongs to the application's thread; no field is shared with another.
struct HapticState {
    const JEX_HapticDriver *driver = nullptr;  // null while the subsystem is stopped
    int count = 0;
    // Open devices, in order of opening. Every handle passed in is looked
    // up here before use.
    std::vector<JEX_Haptic *> opened;
};
HapticState g_haptic;

constexpr unsigned int kEffectKinds = 0x0FFF;
// rumble_id of a device whose rumble effect was destroyed through its id:
// initialised, so playing it makes the effect anew.
constexpr int kRumbleDestroyed = -2;

const JEX_HapticDriver &Driver()
{
    return g_haptic.driver ? *g_haptic.driver : JEX_NullHapticDriver;
}

bool Valid(JEX_Haptic *haptic)
{
    if (haptic && std::ranges::find(g_haptic.opened, haptic) != g_haptic.opened.end())
        return true;
    JEX_SetError("Haptic: Invalid haptic device identifier");
    return false;
}

// A slot that holds an effect: a free one has nothing for the driver to act on.
JEX_HapticEffectSlot *UsedSlot(JEX_Haptic *haptic, int id)
{
    if (id < 0 || id >= haptic->neffects || !haptic->effects[id].hwdata) {
        JEX_SetError("Haptic: Invalid effect identifier.");
        return nullptr;
    }
    return &haptic->effects[id];
}

bool KnownKind(Uint16 type)
{
    return std::has_single_bit(static_cast<unsigned int>(type)) && (type & kEffectKinds);
}

// The description as the slot will keep it: custom samples copied into
// the slot's own storage.
bool CheckAndCopy(const JEX_HapticEffect &effect, JEX_HapticEffect &copy,
                  std::vector<Uint16> &samples)
{
    if (effect.constant.direction.type > JEX_HAPTIC_SPHERICAL) {
        JEX_SetError("Haptic: Unknown direction type.");
        return false;
    }
    copy = effect;
    if (effect.type != JEX_HAPTIC_CUSTOM)
        return true;
    const size_t count = size_t{effect.custom.channels} * effect.custom.samples;
    if (count == 0 || !effect.custom.data) {
        JEX_SetError("Haptic: Custom effect has no samples.");
        return false;
    }
    try {
        samples.assign(effect.custom.data, effect.custom.data + count);
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return false;
    }
    copy.custom.data = samples.data();
    return true;
}

void Store(JEX_HapticEffectSlot &slot, const JEX_HapticEffect &copy, std::vector<Uint16> &samples)
{
    slot.effect = copy;
    slot.custom_data.swap(samples);
    if (copy.type == JEX_HAPTIC_CUSTOM)
        slot.effect.custom.data = slot.custom_data.data();
}

// Registers a record the driver has opened: its slots, its place in the
// list, its first open. False (record released) when memory runs out.
bool Register(JEX_Haptic *haptic)
{
    try {
        haptic->effects.resize(std::max(haptic->neffects, 0));
        g_haptic.opened.push_back(haptic);
    } catch (const std::bad_alloc &) {
        Driver().close(haptic);
        delete haptic;
        JEX_OutOfMemory();
        return false;
    }
    haptic->ref_count = 1;
    return true;
}

// Stops and erases every effect, then lets the driver go of the device.
void Release(JEX_Haptic *haptic)
{
    for (JEX_HapticEffectSlot &slot : haptic->effects)
        if (slot.hwdata) {
            Driver().stop_effect(haptic, &slot);
            Driver().destroy_effect(haptic, &slot);
        }
    Driver().close(haptic);
    std::erase(g_haptic.opened, haptic);
    delete haptic;
}

// JEX_HAPTIC_GAIN_MAX as a decimal clamped to 0..100 (out-of-range values
// saturate); 100 when unset or not a number.
int GainMax()
{
    const char *text = std::getenv("JEX_HAPTIC_GAIN_MAX");
    if (!text)
        return 100;
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text)
        return 100;
    return static_cast<int>(std::clamp(value, 0L, 100L));
}

JEX_Haptic *NewRecord()
{
    JEX_Haptic *haptic = new (std::nothrow) JEX_Haptic;
    if (!haptic)
        JEX_OutOfMemory();
    return haptic;
}

}  // namespace

int JEX_HapticInit(void)
{
#ifdef __linux__
    g_haptic.driver = &JEX_LinuxHapticDriver;
#else
    g_haptic.driver = &JEX_NullHapticDriver;
#endif
    g_haptic.count = 0;
    const int n = Driver().init();
    if (n < 0) {
        Driver().quit();
        g_haptic.driver = nullptr;
        return n;
    }
    g_haptic.count = std::min(n, 255);
    return 0;
}

void JEX_HapticQuit(void)
{
    // Devices left open would keep playing after the program is done.
    while (!g_haptic.opened.empty())
        Release(g_haptic.opened.back());
    Driver().quit();
    g_haptic.count = 0;
    g_haptic.driver = nullptr;
}

extern "C" {

int JEX_NumHaptics(void)
{
    return g_haptic.count;
}

const char *JEX_HapticName(int device_index)
{
    if (device_index < 0 || device_index >= g_haptic.count) {
        JEX_SetError("Haptic: There are %d haptic devices available", g_haptic.count);
        return nullptr;
    }
    return Driver().device_name(device_index);
}

JEX_Haptic *JEX_HapticOpen(int device_index)
{
    if (device_index < 0 || device_index >= g_haptic.count) {
        JEX_SetError("Haptic: There are %d haptic devices available", g_haptic.count);
        return nullptr;
    }
    for (JEX_Haptic *h : g_haptic.opened)
        if (h->index == device_index) {
            ++h->ref_count;
            return h;
        }
    JEX_Haptic *haptic = NewRecord();
    if (!haptic)
        return nullptr;
    haptic->index = static_cast<Uint8>(device_index);
    if (Driver().open(haptic) < 0) {
        delete haptic;
        return nullptr;
    }
    if (!Register(haptic))
        return nullptr;
    if (haptic->supported & JEX_HAPTIC_GAIN)
        JEX_HapticSetGain(haptic, 100);
    if (haptic->supported & JEX_HAPTIC_AUTOCENTER)
        Driver().set_autocenter(haptic, 0);
    return haptic;
}

int JEX_HapticOpened(int device_index)
{
    for (JEX_Haptic *h : g_haptic.opened)
        if (h->index == device_index)
            return 1;
    return 0;
}

int JEX_HapticIndex(JEX_Haptic *haptic)
{
    return Valid(haptic) ? haptic->index : -1;
}

int JEX_MouseIsHaptic(void)
{
    return Driver().mouse() >= 0 ? 1 : 0;
}

JEX_Haptic *JEX_HapticOpenFromMouse(void)
{
    const int index = Driver().mouse();
    if (index < 0) {
        JEX_SetError("Haptic: Mouse isn't a haptic device.");
        return nullptr;
    }
    return JEX_HapticOpen(index);
}

int JEX_JoystickIsHaptic(JEX_Joystick *joystick)
{
    if (!JEX_PrivateJoystickValid(&joystick))
        return -1;
    const int result = Driver().joystick_is_haptic(joystick);
    return result > 0 ? 1 : result < 0 ? -1 : 0;
}

JEX_Haptic *JEX_HapticOpenFromJoystick(JEX_Joystick *joystick)
{
    if (!g_haptic.driver) {
        JEX_SetError("Haptic subsystem not started");
        return nullptr;
    }
    if (!JEX_PrivateJoystickValid(&joystick)) {
        JEX_SetError("Haptic: Joystick isn't valid.");
        return nullptr;
    }
    if (Driver().joystick_is_haptic(joystick) <= 0) {
        JEX_SetError("Haptic: Joystick isn't a haptic device.");
        return nullptr;
    }
    for (JEX_Haptic *h : g_haptic.opened)
        if (Driver().joystick_same_haptic(h, joystick)) {
            ++h->ref_count;
            return h;
        }
    JEX_Haptic *haptic = NewRecord();
    if (!haptic)
        return nullptr;
    if (Driver().open_from_joystick(haptic, joystick) < 0) {
        delete haptic;
        return nullptr;
    }
    return Register(haptic) ? haptic : nullptr;
}

void JEX_HapticClose(JEX_Haptic *haptic)
{
    if (!Valid(haptic) || --haptic->ref_count > 0)
        return;
    Release(haptic);
}

int JEX_HapticNumEffects(JEX_Haptic *haptic)
{
    return Valid(haptic) ? haptic->neffects : -1;
}

int JEX_HapticNumEffectsPlaying(JEX_Haptic *haptic)
{
    return Valid(haptic) ? haptic->nplaying : -1;
}

unsigned int JEX_HapticQuery(JEX_Haptic *haptic)
{
    return Valid(haptic) ? haptic->supported : 0;
}

int JEX_HapticNumAxes(JEX_Haptic *haptic)
{
    return Valid(haptic) ? haptic->naxes : -1;
}

int JEX_HapticEffectSupported(JEX_Haptic *haptic, JEX_HapticEffect *effect)
{
    if (!Valid(haptic))
        return -1;
    return effect && KnownKind(effect->type) && (haptic->supported & effect->type) ? 1 : 0;
}

int JEX_HapticNewEffect(JEX_Haptic *haptic, JEX_HapticEffect *effect)
{
    if (!Valid(haptic))
        return -1;
    if (JEX_HapticEffectSupported(haptic, effect) != 1) {
        JEX_SetError("Haptic: Effect not supported by haptic device.");
        return -1;
    }
    auto free_slot = std::ranges::find(haptic->effects, nullptr, &JEX_HapticEffectSlot::hwdata);
    if (free_slot == haptic->effects.end()) {
        JEX_SetError("Haptic: Device has no free space left.");
        return -1;
    }
    JEX_HapticEffect copy;
    std::vector<Uint16> samples;
    if (!CheckAndCopy(*effect, copy, samples) || Driver().new_effect(haptic, &*free_slot, &copy))
        return -1;
    Store(*free_slot, copy, samples);
    return static_cast<int>(free_slot - haptic->effects.begin());
}

int JEX_HapticUpdateEffect(JEX_Haptic *haptic, int effect, JEX_HapticEffect *data)
{
    if (!Valid(haptic))
        return -1;
    JEX_HapticEffectSlot *slot = UsedSlot(haptic, effect);
    if (!slot)
        return -1;
    if (!data || data->type != slot->effect.type) {
        JEX_SetError("Haptic: Updating effect type is illegal.");
        return -1;
    }
    JEX_HapticEffect copy;
    std::vector<Uint16> samples;
    if (!CheckAndCopy(*data, copy, samples) || Driver().update_effect(haptic, slot, &copy) < 0)
        return -1;
    Store(*slot, copy, samples);
    return 0;
}

int JEX_HapticRunEffect(JEX_Haptic *haptic, int effect, Uint32 iterations)
{
    if (!Valid(haptic))
        return -1;
    JEX_HapticEffectSlot *slot = UsedSlot(haptic, effect);
    return slot && Driver().run_effect(haptic, slot, iterations) >= 0 ? 0 : -1;
}

int JEX_HapticStopEffect(JEX_Haptic *haptic, int effect)
{
    if (!Valid(haptic))
        return -1;
    JEX_HapticEffectSlot *slot = UsedSlot(haptic, effect);
    return slot && Driver().stop_effect(haptic, slot) >= 0 ? 0 : -1;
}

void JEX_HapticDestroyEffect(JEX_Haptic *haptic, int effect)
{
    if (!Valid(haptic))
        return;
    if (JEX_HapticEffectSlot *slot = UsedSlot(haptic, effect)) {
        Driver().destroy_effect(haptic, slot);
        slot->hwdata = nullptr;
        slot->custom_data.clear();
        if (effect == haptic->rumble_id)
            haptic->rumble_id = kRumbleDestroyed;
    }
}

int JEX_HapticGetEffectStatus(JEX_Haptic *haptic, int effect)
{
    if (!Valid(haptic))
        return -1;
    JEX_HapticEffectSlot *slot = UsedSlot(haptic, effect);
    if (!slot)
        return -1;
    if (!(haptic->supported & JEX_HAPTIC_STATUS)) {
        JEX_SetError("Haptic: Device does not support status queries.");
        return -1;
    }
    const int status = Driver().get_effect_status(haptic, slot);
    return status < 0 ? -1 : status;
}

int JEX_HapticSetGain(JEX_Haptic *haptic, int gain)
{
    if (!Valid(haptic))
        return -1;
    if (!(haptic->supported & JEX_HAPTIC_GAIN)) {
        JEX_SetError("Haptic: Device does not support setting gain.");
        return -1;
    }
    if (gain < 0 || gain > 100) {
        JEX_SetError("Haptic: Gain must be between 0 and 100.");
        return -1;
    }
    return Driver().set_gain(haptic, gain * GainMax() / 100) < 0 ? -1 : 0;
}

int JEX_HapticSetAutocenter(JEX_Haptic *haptic, int autocenter)
{
    if (!Valid(haptic))
        return -1;
    if (!(haptic->supported & JEX_HAPTIC_AUTOCENTER)) {
        JEX_SetError("Haptic: Device does not support setting autocenter.");
        return -1;
    }
    if (autocenter < 0 || autocenter > 100) {
        JEX_SetError("Haptic: Autocenter must be between 0 and 100.");
        return -1;
    }
    return Driver().set_autocenter(haptic, autocenter) < 0 ? -1 : 0;
}

int JEX_HapticPause(JEX_Haptic *haptic)
{
    if (!Valid(haptic))
        return -1;
    if (!(haptic->supported & JEX_HAPTIC_PAUSE)) {
        JEX_SetError("Haptic: Device does not support setting pausing.");
        return -1;
    }
    return Driver().pause(haptic);
}

int JEX_HapticUnpause(JEX_Haptic *haptic)
{
    if (!Valid(haptic))
        return -1;
    if (!(haptic->supported & JEX_HAPTIC_PAUSE))
        return 0;
    return Driver().unpause(haptic);
}

int JEX_HapticStopAll(JEX_Haptic *haptic)
{
    return Valid(haptic) ? Driver().stop_all(haptic) : -1;
}

int JEX_HapticRumbleSupported(JEX_Haptic *haptic)
{
    if (!Valid(haptic))
        return -1;
    return (haptic->supported & JEX_HAPTIC_SINE) ? 1 : 0;
}

int JEX_HapticRumbleInit(JEX_Haptic *haptic)
{
    if (!Valid(haptic))
        return -1;
    if (haptic->rumble_id >= 0)
        return 0;
    JEX_HapticEffect &effect = haptic->rumble_effect;
    effect = JEX_HapticEffect{};
    effect.type = JEX_HAPTIC_SINE;
    effect.periodic.direction.type = JEX_HAPTIC_POLAR;
    effect.periodic.period = 1000;
    effect.periodic.magnitude = 0x4000;
    effect.periodic.length = 5000;
    haptic->rumble_id = JEX_HapticNewEffect(haptic, &effect);
    return haptic->rumble_id < 0 ? -1 : 0;
}

int JEX_HapticRumblePlay(JEX_Haptic *haptic, float strength, Uint32 length)
{
    if (!Valid(haptic))
        return -1;
    if (haptic->rumble_id == -1) {
        JEX_SetError("Haptic: Rumble effect not initialized on haptic device");
        return -1;
    }
    if (haptic->rumble_id == kRumbleDestroyed && JEX_HapticRumbleInit(haptic) < 0)
        return -1;
    Sint16 magnitude = 0;
    if (strength > 1.0f)
        magnitude = 32767;
    else if (strength > 0.0f)  // below zero and NaN stay 0
        magnitude = static_cast<Sint16>(strength * 32767.0f);
    JEX_HapticEffect effect = haptic->rumble_effect;
    effect.periodic.magnitude = magnitude;
    effect.periodic.length = length;
    if (JEX_HapticUpdateEffect(haptic, haptic->rumble_id, &effect) < 0)
        return -1;
    haptic->rumble_effect = effect;
    return JEX_HapticRunEffect(haptic, haptic->rumble_id, 1);
}

int JEX_HapticRumbleStop(JEX_Haptic *haptic)
{
    if (!Valid(haptic))
        return -1;
    if (haptic->rumble_id == kRumbleDestroyed)
        return 0;  // nothing left to stop
    if (haptic->rumble_id < 0) {
        JEX_SetError("Haptic: Rumble effect not initialized on haptic device");
        return -1;
    }
    return JEX_HapticStopEffect(haptic, haptic->rumble_id);
}

}  // extern "C"
