/* JEX: windows, input, pixels, audio, threads and timers.
   Including this header brings in the whole public interface. */
#ifndef JEX_H
#define JEX_H

#include "JEX_types.h"
#include "JEX_init.h"
#include "JEX_assert.h"
#include "JEX_version.h"
#include "JEX_error.h"
#include "JEX_log.h"
#include "JEX_hints.h"
#include "JEX_stdinc.h"
#include "JEX_cpuinfo.h"
#include "JEX_endian.h"
#include "JEX_rwops.h"
#include "JEX_mutex.h"
#include "JEX_thread.h"
#include "JEX_timer.h"
#include "JEX_keyboard.h"
#include "JEX_mouse.h"
#include "JEX_events.h"
#include "JEX_touch.h"
#include "JEX_gesture.h"
#include "JEX_pixels.h"
#include "JEX_rect.h"
#include "JEX_blendmode.h"
#include "JEX_surface.h"
#include "JEX_draw.h"
#include "JEX_bmp.h"
#include "JEX_video.h"
#include "JEX_shape.h"
#include "JEX_render.h"
#include "JEX_loadso.h"
#include "JEX_audio.h"
#include "JEX_joystick.h"
#include "JEX_haptic.h"

#endif /* JEX_H */
