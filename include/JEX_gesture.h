/* Gesture recognition over the finger events of every touch device: rotate
   and pinch of two or more fingers (JEX_MULTIGESTURE), and paths matched
   against stored templates (JEX_DOLLARGESTURE) or recorded as new ones
   (JEX_DOLLARRECORD). A template file is a sequence of 512-byte records, each
   64 (x, y) pairs of 32-bit floats in the host's byte order.

   Threads: every call belongs to the thread that started video, and finger
   events must be posted from that thread too. */
#ifndef JEX_GESTURE_H
#define JEX_GESTURE_H

#include "JEX_types.h"
#include "JEX_events.h"
#include "JEX_rwops.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The next path on the device becomes a template; a negative id records on
   every device, and from then on every recording is added to all of them.
   1, or 0 for an unknown device. */
JEX_API int JEX_RecordGesture(JEX_TouchID touchId);

/* Writes every template of every device; returns how many were written
   completely (0 for a null stream). */
JEX_API int JEX_SaveAllDollarTemplates(JEX_RWops *dst);

/* Writes the first template whose id is gestureId: 1 written, 0 not written
   or null stream, -1 for an unknown id. */
JEX_API int JEX_SaveDollarTemplate(JEX_GestureID gestureId, JEX_RWops *dst);

/* Reads templates until the stream ends, adding each to the device (every
   device for a negative id). Returns how many were added; 0 for a null
   stream, -1 for an unknown device. Stops at a record holding a value that is
   not finite, recording an error. */
JEX_API int JEX_LoadDollarTemplates(JEX_TouchID touchId, JEX_RWops *src);

#ifdef __cplusplus
}
#endif

#endif /* JEX_GESTURE_H */
