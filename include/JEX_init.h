/* Starting and stopping the library and its subsystems.

   Thread use: every call here belongs to one thread, the application's
   thread that starts video; JEX_WasInit may be read from any thread but
   then only gives a snapshot. */
#ifndef JEX_INIT_H
#define JEX_INIT_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_INIT_TIMER 0x00000001u
#define JEX_INIT_AUDIO 0x00000010u
#define JEX_INIT_VIDEO 0x00000020u
#define JEX_INIT_JOYSTICK 0x00000200u
#define JEX_INIT_HAPTIC 0x00001000u
/* JEX_Init leaves the fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGQUIT)
   alone instead of shutting the library down when they arrive. */
#define JEX_INIT_NOPARACHUTE 0x00100000u
#define JEX_INIT_EVERYTHING 0x0000FFFFu

/* Starts the subsystems in flags (video, audio, the tick counter, timers,
   joysticks, force feedback, in that order) and, unless flags hold
   JEX_INIT_NOPARACHUTE, the fatal-signal handler. 0, or -1 with the failing
   subsystem's message; subsystems started before the failure keep running. */
JEX_API int JEX_Init(Uint32 flags);

/* As JEX_Init without the signal handler; subsystems already running are
   left as they are. */
JEX_API int JEX_InitSubSystem(Uint32 flags);

/* Stops the running subsystems in flags: joysticks, force feedback,
   timers, audio, video. One call stops a subsystem however often it was
   started. */
JEX_API void JEX_QuitSubSystem(Uint32 flags);

/* The subsystems in flags (every one when flags is 0) that were started
   through JEX_Init or JEX_InitSubSystem and are still running. */
JEX_API Uint32 JEX_WasInit(Uint32 flags);

/* Stops every subsystem, removes the signal handler, forgets the hints,
   prints the assertion report (when the program installed its own
   assertion handler) and resets the log priorities. JEX_Init may follow. */
JEX_API void JEX_Quit(void);

/* Install and remove the fatal-signal handler. Handlers the program set
   itself are never replaced. */
JEX_API void JEX_InstallParachute(void);
JEX_API void JEX_UninstallParachute(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_INIT_H */
