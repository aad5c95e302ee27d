/* Joysticks: devices found at start-up, opened by index, their axes, hats,
   trackballs and buttons, and the joystick events on the queue.

   Threads: every call here belongs to the application's thread (the one
   that pumps events, which updates the opened joysticks). */
#ifndef JEX_JOYSTICK_H
#define JEX_JOYSTICK_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An opened joystick. Handles stay valid until their last close or until
   the joystick subsystem stops; a stale handle is refused, never used. */
typedef struct JEX_Joystick JEX_Joystick;

/* Hat positions: a bit set of the four directions. */
#define JEX_HAT_CENTERED 0x00
#define JEX_HAT_UP 0x01
#define JEX_HAT_RIGHT 0x02
#define JEX_HAT_DOWN 0x04
#define JEX_HAT_LEFT 0x08
#define JEX_HAT_RIGHTUP (JEX_HAT_RIGHT | JEX_HAT_UP)
#define JEX_HAT_RIGHTDOWN (JEX_HAT_RIGHT | JEX_HAT_DOWN)
#define JEX_HAT_LEFTUP (JEX_HAT_LEFT | JEX_HAT_UP)
#define JEX_HAT_LEFTDOWN (JEX_HAT_LEFT | JEX_HAT_DOWN)

/* Number of joysticks found when the subsystem started. */
JEX_API int JEX_NumJoysticks(void);

/* The device's name, or null for an index that is not a device. */
JEX_API const char *JEX_JoystickName(int device_index);

/* Opens a device; opening it again returns the same handle and counts one
   more open. Null on failure. */
JEX_API JEX_Joystick *JEX_JoystickOpen(int device_index);

/* 1 when the device is open, else 0. */
JEX_API int JEX_JoystickOpened(int device_index);

/* The device index the handle was opened from, -1 on failure. */
JEX_API int JEX_JoystickIndex(JEX_Joystick *joystick);

/* Counts; -1 on failure. */
JEX_API int JEX_JoystickNumAxes(JEX_Joystick *joystick);
JEX_API int JEX_JoystickNumBalls(JEX_Joystick *joystick);
JEX_API int JEX_JoystickNumHats(JEX_Joystick *joystick);
JEX_API int JEX_JoystickNumButtons(JEX_Joystick *joystick);

/* Reads the devices and queues an event for every change. The event pump
   calls it. */
JEX_API void JEX_JoystickUpdate(void);

/* JEX_ENABLE, JEX_DISABLE or JEX_QUERY for the five joystick event types;
   a query answers JEX_ENABLE when any of them is enabled. */
JEX_API int JEX_JoystickEventState(int state);

/* Axis value from -32768 to 32767, 0 on failure. */
JEX_API Sint16 JEX_JoystickGetAxis(JEX_Joystick *joystick, int axis);

/* Hat position (JEX_HAT_*), 0 on failure. */
JEX_API Uint8 JEX_JoystickGetHat(JEX_Joystick *joystick, int hat);

/* Motion since the last call through the non-null pointers; 0, or -1 on
   failure. */
JEX_API int JEX_JoystickGetBall(JEX_Joystick *joystick, int ball, int *dx, int *dy);

/* 1 pressed, 0 released or on failure. */
JEX_API Uint8 JEX_JoystickGetButton(JEX_Joystick *joystick, int button);

/* Gives back one open; the last one releases the device. */
JEX_API void JEX_JoystickClose(JEX_Joystick *joystick);

#ifdef __cplusplus
}
#endif

#endif /* JEX_JOYSTICK_H */
