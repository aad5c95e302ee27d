/* Subsystem flags for starting and stopping parts of the library. */
#ifndef JEX_INIT_H
#define JEX_INIT_H

#include "JEX_types.h"

#define JEX_INIT_TIMER 0x00000001u
#define JEX_INIT_AUDIO 0x00000010u
#define JEX_INIT_VIDEO 0x00000020u
#define JEX_INIT_JOYSTICK 0x00000200u
#define JEX_INIT_HAPTIC 0x00001000u
#define JEX_INIT_NOPARACHUTE 0x00100000u
#define JEX_INIT_EVERYTHING 0x0000FFFFu

#endif /* JEX_INIT_H */
