// The joystick core's library-side interface: the record behind a handle,
// the driver table, and the senders a driver's update reports through.
#ifndef JEX_JOYSTICK_INTERNAL_H
#define JEX_JOYSTICK_INTERNAL_H

#include <string>
#include <utility>
#include <vector>

#include "JEX_joystick.h"

struct JEX_Joystick {
    Uint8 index = 0;
    std::string name;
    int naxes = 0;
    std::vector<Sint16> axes;
    int nhats = 0;
    std::vector<Uint8> hats;
    int nballs = 0;
    std::vector<std::pair<int, int>> balls;  // dx, dy accumulated since the last query
    int nbuttons = 0;
    std::vector<Uint8> buttons;
    void *hwdata = nullptr;
    int ref_count = 0;
};

// What the core asks of a platform. open receives a fresh record with
// index set and fills name, the four counts and hwdata.
struct JEX_JoystickDriver {
    const char *name;
    int (*init)(void);  // device count, or negative with an error set
    const char *(*device_name)(int index);
    int (*open)(JEX_Joystick *joystick);  // 0, or negative with an error set
    void (*update)(JEX_Joystick *joystick);
    void (*close)(JEX_Joystick *joystick);
    void (*quit)(void);
};

extern const JEX_JoystickDriver JEX_NullJoystickDriver;
#ifdef __linux__
extern const JEX_JoystickDriver JEX_LinuxJoystickDriver;
#endif

int JEX_JoystickInit(void);
void JEX_JoystickQuit(void);

// Driver side. Each updates the record's state and returns 1 when an event
// was queued, 0 otherwise.
int JEX_PrivateJoystickAxis(JEX_Joystick *joystick, Uint8 axis, Sint16 value);
int JEX_PrivateJoystickBall(JEX_Joystick *joystick, Uint8 ball, Sint16 xrel, Sint16 yrel);
int JEX_PrivateJoystickHat(JEX_Joystick *joystick, Uint8 hat, Uint8 value);
int JEX_PrivateJoystickButton(JEX_Joystick *joystick, Uint8 button, Uint8 state);

// True when *joystick is an open record; a null handle is looked up as the
// default joystick. Records "Joystick hasn't been opened yet" otherwise.
bool JEX_PrivateJoystickValid(JEX_Joystick **joystick);

#endif
