// The event queue's library-side interface: start and stop, the senders that
// only the library calls, quit requests, and the hook points through which
// the video, joystick and gesture cores join the pump and the post.
#ifndef JEX_EVENTS_INTERNAL_H
#define JEX_EVENTS_INTERNAL_H

#include "JEX_events.h"

#ifdef __cplusplus
extern "C" {
#endif

// Slots of the ring; at most JEX_MAXEVENTS - 1 events are held.
#define JEX_MAXEVENTS 128

// The queue treats a platform message as an opaque block of this size.
#define JEX_SYSWM_MSG_SIZE 104

int JEX_StartEventLoop(void);
void JEX_StopEventLoop(void);

// 1 when the record was queued, else 0.
int JEX_SendSysWMEvent(JEX_SysWMmsg *msg);
int JEX_SendClipboardUpdate(void);

// Quit requests.
int JEX_SendQuit(void);
int JEX_QuitInit(void);
void JEX_QuitQuit(void);
void JEX_HandleSIG(int sig);
// Called by the pump: turns a signal noted by JEX_HandleSIG into a JEX_QUIT.
void JEX_DeliverPendingQuit(void);

// Hook points, null until the owning core installs them; each may be set
// or cleared at any time from any thread.
//   platform pump: the current video device's PumpEvents.
//   joystick: the number of joysticks, JEX_JoystickEventState and
//   JEX_JoystickUpdate.
//   gesture: JEX_GestureProcessEvent, called for every queued event.
typedef void (*JEX_PlatformPumpHook)(void);
typedef int (*JEX_JoystickCountHook)(void);
typedef int (*JEX_JoystickEventStateHook)(int state);
typedef void (*JEX_JoystickUpdateHook)(void);
typedef void (*JEX_GestureProcessHook)(JEX_Event *event);

void JEX_SetPlatformPumpHook(JEX_PlatformPumpHook pump);
void JEX_SetJoystickHooks(JEX_JoystickCountHook count, JEX_JoystickEventStateHook event_state,
                          JEX_JoystickUpdateHook update);
void JEX_SetGestureHook(JEX_GestureProcessHook process);

// Whether any type of the family (t >> 8) & 0xFF has been disabled since the
// queue was last started.
JEX_bool JEX_EventFamilyTouched(Uint8 family);

#ifdef __cplusplus
}
#endif

#endif  // JEX_EVENTS_INTERNAL_H
