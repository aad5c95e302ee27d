// The force-feedback driver of a system without one: no devices, and every
// operation refused (the core lets none through without a device).
#include "JEX_error.h"
#include "haptic/haptic_internal.h"

namespace {

int NULL_HapticInit()
{
    return 0;
}

const char *NULL_HapticName(int)
{
    return nullptr;
}

int NULL_HapticOpen(JEX_Haptic *)
{
    JEX_SetError("Haptic: No haptic devices");
    return -1;
}

int NULL_HapticMouse()
{
    return -1;
}

int NULL_JoystickIsHaptic(JEX_Joystick *)
{
    return 0;
}

int NULL_JoystickSameHaptic(JEX_Haptic *, JEX_Joystick *)
{
    return 0;
}

int NULL_HapticOpenFromJoystick(JEX_Haptic *haptic, JEX_Joystick *)
{
    return NULL_HapticOpen(haptic);
}

void NULL_HapticClose(JEX_Haptic *) {}
void NULL_HapticQuit() {}

int NULL_HapticEffect(JEX_Haptic *, JEX_HapticEffectSlot *, const JEX_HapticEffect *)
{
    return -1;
}

int NULL_HapticRun(JEX_Haptic *, JEX_HapticEffectSlot *, Uint32)
{
    return -1;
}

int NULL_HapticSlot(JEX_Haptic *, JEX_HapticEffectSlot *)
{
    return -1;
}

void NULL_HapticDestroy(JEX_Haptic *, JEX_HapticEffectSlot *) {}

int NULL_HapticValue(JEX_Haptic *, int)
{
    return -1;
}

int NULL_HapticDevice(JEX_Haptic *)
{
    return -1;
}

}  // namespace

const JEX_HapticDriver JEX_NullHapticDriver = {
    "null",
    NULL_HapticInit,
    NULL_HapticName,
    NULL_HapticOpen,
    NULL_HapticMouse,
    NULL_JoystickIsHaptic,
    NULL_JoystickSameHaptic,
    NULL_HapticOpenFromJoystick,
    NULL_HapticClose,
    NULL_HapticQuit,
    NULL_HapticEffect,
    NULL_HapticEffect,
    NULL_HapticRun,
    NULL_HapticSlot,
    NULL_HapticDestroy,
    NULL_HapticSlot,
    NULL_HapticValue,
    NULL_HapticValue,
    NULL_HapticDevice,
    NULL_HapticDevice,
    NULL_HapticDevice,
};
