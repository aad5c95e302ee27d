// The joystick driver of a system without one: no devices.
#include "JEX_error.h"
#include "joystick/joystick_internal.h"

namespace {

int NULL_JoystickInit()
{
    return 0;
}

const char *NULL_JoystickName(int)
{
    return nullptr;
}

int NULL_JoystickOpen(JEX_Joystick *)
{
    JEX_SetError("No joystick devices");
    return -1;
}

void NULL_JoystickUpdate(JEX_Joystick *) {}
void NULL_JoystickClose(JEX_Joystick *) {}
void NULL_JoystickQuit() {}

}  // namespace

const JEX_JoystickDriver JEX_NullJoystickDriver = {
    "null",
    NULL_JoystickInit,
    NULL_JoystickName,
    NULL_JoystickOpen,
    NULL_JoystickUpdate,
    NULL_JoystickClose,
    NULL_JoystickQuit,
};
