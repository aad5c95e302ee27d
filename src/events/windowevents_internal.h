/* Window state reports from the drivers and the video core. */
#ifndef JEX_WINDOWEVENTS_INTERNAL_H
#define JEX_WINDOWEVENTS_INTERNAL_H

#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Updates the window record for the report, runs the core's reaction and
   queues a coalesced window event; 1 when an event was queued. */
int JEX_SendWindowEvent(JEX_Window *window, Uint8 windowevent, int data1, int data2);

#ifdef __cplusplus
}
#endif

#endif /* JEX_WINDOWEVENTS_INTERNAL_H */
