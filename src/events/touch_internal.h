/* Touch devices as the video core and the platform drivers see them. */
#ifndef JEX_TOUCH_INTERNAL_H
#define JEX_TOUCH_INTERNAL_H

#include "JEX_events.h"
#include "JEX_touch.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Touch devices exist only while a driver has added them. Init installs
   gesture recognition on the event queue; quit deletes every device. */
int JEX_TouchInit(void);
void JEX_TouchQuit(void);

/* Copies the template (x_res and y_res become 32768) and registers the
   device with gesture recognition; returns the new device's index or -1. */
int JEX_AddTouch(const JEX_Touch *touch, const char *name);
/* Frees the device, its fingers and its gesture state. */
void JEX_DelTouch(JEX_TouchID id);

/* Moves a device's focus, sending LEAVE and ENTER as devices stop or start
   sharing a window. */
void JEX_SetTouchFocus(JEX_TouchID id, JEX_Window *window);

/* Copies the template; returns the finger's index or -1. */
int JEX_AddFinger(JEX_Touch *touch, const JEX_Finger *finger);
/* 0, or -1 when the device has no such finger. */
int JEX_DelFinger(JEX_Touch *touch, JEX_FingerID fingerid);

/* Reports from the driver with raw values; each returns 1 when an event was
   queued, else 0. */
int JEX_SendFingerDown(JEX_TouchID id, JEX_FingerID fingerid, JEX_bool down, float x, float y,
                       float pressure);
int JEX_SendTouchMotion(JEX_TouchID id, JEX_FingerID fingerid, int relative, float x, float y,
                        float pressure);
int JEX_SendTouchButton(JEX_TouchID id, Uint8 state, Uint8 button);

#ifdef __cplusplus
}
#endif

#endif /* JEX_TOUCH_INTERNAL_H */
