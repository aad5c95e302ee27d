/* Force feedback: devices that push back, their effects, and a simple
   rumble on top.

   Threads: every call here belongs to the application's thread. */
#ifndef JEX_HAPTIC_H
#define JEX_HAPTIC_H

#include "JEX_joystick.h"
#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An opened force-feedback device. A handle stays valid until its last
   close or until the subsystem stops; a stale handle is refused. */
typedef struct JEX_Haptic JEX_Haptic;

/* Effect kinds (an effect's type is exactly one of them) and device
   capabilities. */
#define JEX_HAPTIC_CONSTANT (1u << 0)
#define JEX_HAPTIC_SINE (1u << 1)
#define JEX_HAPTIC_SQUARE (1u << 2)
#define JEX_HAPTIC_TRIANGLE (1u << 3)
#define JEX_HAPTIC_SAWTOOTHUP (1u << 4)
#define JEX_HAPTIC_SAWTOOTHDOWN (1u << 5)
#define JEX_HAPTIC_RAMP (1u << 6)
#define JEX_HAPTIC_SPRING (1u << 7)
#define JEX_HAPTIC_DAMPER (1u << 8)
#define JEX_HAPTIC_INERTIA (1u << 9)
#define JEX_HAPTIC_FRICTION (1u << 10)
#define JEX_HAPTIC_CUSTOM (1u << 11)
#define JEX_HAPTIC_GAIN (1u << 12)
#define JEX_HAPTIC_AUTOCENTER (1u << 13)
#define JEX_HAPTIC_STATUS (1u << 14)
#define JEX_HAPTIC_PAUSE (1u << 15)

/* Direction types. Polar: dir[0] in hundredths of a degree, 0 north (up),
   9000 east, clockwise. Cartesian: dir[0] to the right, dir[1] downward.
   Spherical: dir[0] in hundredths of a degree from east, clockwise. */
#define JEX_HAPTIC_POLAR 0
#define JEX_HAPTIC_CARTESIAN 1
#define JEX_HAPTIC_SPHERICAL 2

/* An effect length or iteration count without end. */
#define JEX_HAPTIC_INFINITY 4294967295u

typedef struct JEX_HapticDirection {
    Uint8 type;
    Sint32 dir[3];
} JEX_HapticDirection;

/* Lengths and delays in milliseconds; levels and magnitudes up to 32767
   (envelope levels of 32768 and above count as full). button is the
   trigger button, 0 for none. */
typedef struct JEX_HapticConstant {
    Uint16 type;
    JEX_HapticDirection direction;
    Uint32 length;
    Uint16 delay;
    Uint16 button;
    Uint16 interval;
    Sint16 level;
    Uint16 attack_length;
    Uint16 attack_level;
    Uint16 fade_length;
    Uint16 fade_level;
} JEX_HapticConstant;

typedef struct JEX_HapticPeriodic {
    Uint16 type;
    JEX_HapticDirection direction;
    Uint32 length;
    Uint16 delay;
    Uint16 button;
    Uint16 interval;
    Uint16 period;
    Sint16 magnitude;
    Sint16 offset;
    Uint16 phase;
    Uint16 attack_length;
    Uint16 attack_level;
    Uint16 fade_length;
    Uint16 fade_level;
} JEX_HapticPeriodic;

/* One entry per axis. */
typedef struct JEX_HapticCondition {
    Uint16 type;
    JEX_HapticDirection direction;
    Uint32 length;
    Uint16 delay;
    Uint16 button;
    Uint16 interval;
    Uint16 right_sat[3];
    Uint16 left_sat[3];
    Sint16 right_coeff[3];
    Sint16 left_coeff[3];
    Uint16 deadband[3];
    Sint16 center[3];
} JEX_HapticCondition;

typedef struct JEX_HapticRamp {
    Uint16 type;
    JEX_HapticDirection direction;
    Uint32 length;
    Uint16 delay;
    Uint16 button;
    Uint16 interval;
    Sint16 start;
    Sint16 end;
    Uint16 attack_length;
    Uint16 attack_level;
    Uint16 fade_length;
    Uint16 fade_level;
} JEX_HapticRamp;

/* data holds channels x samples values; the library keeps its own copy. */
typedef struct JEX_HapticCustom {
    Uint16 type;
    JEX_HapticDirection direction;
    Uint32 length;
    Uint16 delay;
    Uint16 button;
    Uint16 interval;
    Uint8 channels;
    Uint16 period;
    Uint16 samples;
    Uint16 *data;
    Uint16 attack_length;
    Uint16 attack_level;
    Uint16 fade_length;
    Uint16 fade_level;
} JEX_HapticCustom;

typedef union JEX_HapticEffect {
    Uint16 type;
    JEX_HapticConstant constant;
    JEX_HapticPeriodic periodic;
    JEX_HapticCondition condition;
    JEX_HapticRamp ramp;
    JEX_HapticCustom custom;
} JEX_HapticEffect;

JEX_API int JEX_NumHaptics(void);
/* Null for an index that is not a device. */
JEX_API const char *JEX_HapticName(int device_index);
/* Opening an open device again returns the same handle and counts one more
   open. Null on failure. */
JEX_API JEX_Haptic *JEX_HapticOpen(int device_index);
JEX_API int JEX_HapticOpened(int device_index);
JEX_API int JEX_HapticIndex(JEX_Haptic *haptic);
JEX_API int JEX_MouseIsHaptic(void);
JEX_API JEX_Haptic *JEX_HapticOpenFromMouse(void);
/* 1, 0, or -1 for an invalid joystick. */
JEX_API int JEX_JoystickIsHaptic(JEX_Joystick *joystick);
JEX_API JEX_Haptic *JEX_HapticOpenFromJoystick(JEX_Joystick *joystick);
JEX_API void JEX_HapticClose(JEX_Haptic *haptic);

/* Effect slots, effects playing at once, capability bits, force axes;
   -1 (or 0 for the bits) for an invalid device. */
JEX_API int JEX_HapticNumEffects(JEX_Haptic *haptic);
JEX_API int JEX_HapticNumEffectsPlaying(JEX_Haptic *haptic);
JEX_API unsigned int JEX_HapticQuery(JEX_Haptic *haptic);
JEX_API int JEX_HapticNumAxes(JEX_Haptic *haptic);
JEX_API int JEX_HapticEffectSupported(JEX_Haptic *haptic, JEX_HapticEffect *effect);

/* The new effect's id, or -1. */
JEX_API int JEX_HapticNewEffect(JEX_Haptic *haptic, JEX_HapticEffect *effect);
/* Same type only; 0 or -1, and on failure the old effect stays. */
JEX_API int JEX_HapticUpdateEffect(JEX_Haptic *haptic, int effect, JEX_HapticEffect *data);
JEX_API int JEX_HapticRunEffect(JEX_Haptic *haptic, int effect, Uint32 iterations);
JEX_API int JEX_HapticStopEffect(JEX_Haptic *haptic, int effect);
JEX_API void JEX_HapticDestroyEffect(JEX_Haptic *haptic, int effect);
/* 1 playing, 0 not, -1 on failure. */
JEX_API int JEX_HapticGetEffectStatus(JEX_Haptic *haptic, int effect);

/* 0 to 100; the environment variable JEX_HAPTIC_GAIN_MAX scales gains. */
JEX_API int JEX_HapticSetGain(JEX_Haptic *haptic, int gain);
/* 0 (off) to 100. */
JEX_API int JEX_HapticSetAutocenter(JEX_Haptic *haptic, int autocenter);
JEX_API int JEX_HapticPause(JEX_Haptic *haptic);
JEX_API int JEX_HapticUnpause(JEX_Haptic *haptic);
JEX_API int JEX_HapticStopAll(JEX_Haptic *haptic);

/* A sine effect per device played at a strength from 0 to 1 for a length
   in milliseconds. */
JEX_API int JEX_HapticRumbleSupported(JEX_Haptic *haptic);
JEX_API int JEX_HapticRumbleInit(JEX_Haptic *haptic);
JEX_API int JEX_HapticRumblePlay(JEX_Haptic *haptic, float strength, Uint32 length);
JEX_API int JEX_HapticRumbleStop(JEX_Haptic *haptic);

#ifdef __cplusplus
}
#endif

#endif /* JEX_HAPTIC_H */
