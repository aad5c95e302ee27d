/* Gesture recognition as the event queue and the touch devices see it. */
#ifndef JEX_GESTURE_INTERNAL_H
#define JEX_GESTURE_INTERNAL_H

#include "JEX_events.h"
#include "JEX_gesture.h"
#include "JEX_touch.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_DOLLARNPOINTS 64
#define JEX_DOLLARSIZE 256
#define JEX_MAXPATHSIZE 1024

typedef struct JEX_FloatPoint {
    float x, y;
} JEX_FloatPoint;

typedef struct JEX_GestureTouch JEX_GestureTouch;

/* 0, or -1 when out of memory. */
int JEX_GestureAddTouch(const JEX_Touch *touch);
/* Drops the device's state and templates: 1, or -1 for an unknown id. */
int JEX_GestureRemoveTouch(JEX_TouchID id);
JEX_GestureTouch *JEX_GetGestureTouch(JEX_TouchID id);

/* Adds a template to the device, or to every device when state is null;
   returns its index (on the last device) or -1. */
int JEX_AddDollarGesture(JEX_GestureTouch *state, const JEX_FloatPoint *points);
/* The template id of 64 points. */
Uint32 JEX_HashDollar(const JEX_FloatPoint *points);

/* Follows finger events; posts gesture events of its own. */
void JEX_GestureProcessEvent(JEX_Event *event);

#ifdef __cplusplus
}
#endif

#endif /* JEX_GESTURE_INTERNAL_H */
