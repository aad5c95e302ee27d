/* The X11 driver's event pump, screen-saver suspension and clipboard. */
#ifndef JEX_X11_EVENTS_H
#define JEX_X11_EVENTS_H

#include "video/x11/x11_video.h"

void X11_PumpEvents(JEX_VideoDevice *device);
void X11_SuspendScreenSaver(JEX_VideoDevice *device);

/* Ends the desktop screen-saver inhibitor if one runs, and reaps it. */
void X11_StopScreenSaverInhibitor(JEX_VideoDevice *device);

/* The inhibitor's process id, or 0 when none is running. */
int X11_ScreenSaverInhibitorPid(JEX_VideoDevice *device);

int X11_SetClipboardText(JEX_VideoDevice *device, const char *text);
char *X11_GetClipboardText(JEX_VideoDevice *device);
JEX_bool X11_HasClipboardText(JEX_VideoDevice *device);

/* How long a paste waits for the selection owner's answer. */
constexpr Uint32 X11_SELECTION_TIMEOUT_MS = 1000;

#endif /* JEX_X11_EVENTS_H */
