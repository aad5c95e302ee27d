/* The input sources that video start-up and shut-down drive. */
#ifndef JEX_VIDEO_INPUT_H
#define JEX_VIDEO_INPUT_H

#include "events/events_internal.h"
#include "events/keyboard_internal.h"
#include "events/mouse_internal.h"
#include "events/touch_internal.h"
#include "events/windowevents_internal.h"

#endif /* JEX_VIDEO_INPUT_H */
