/* Hints: named string settings that steer choices inside the library.
   An environment variable of the same name wins over any hint that was
   not set with JEX_HINT_OVERRIDE.
   Threads: every call may be made from any thread; change callbacks run
   on the thread that changes the value, without any library lock held. */
#ifndef JEX_HINTS_H
#define JEX_HINTS_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_HINT_FRAMEBUFFER_ACCELERATION "JEX_FRAMEBUFFER_ACCELERATION"
#define JEX_HINT_RENDER_DRIVER "JEX_RENDER_DRIVER"
#define JEX_HINT_RENDER_VSYNC "JEX_RENDER_VSYNC"
#define JEX_HINT_RENDER_SCALE_QUALITY "JEX_RENDER_SCALE_QUALITY"
#define JEX_HINT_RENDER_OPENGL_SHADERS "JEX_RENDER_OPENGL_SHADERS"

typedef enum { JEX_HINT_DEFAULT = 0, JEX_HINT_NORMAL = 1, JEX_HINT_OVERRIDE = 2 } JEX_HintPriority;

/* Told before a hint's value changes, with the old value still in place. */
typedef void (*JEX_HintChangedCb)(const char *name, const char *oldValue, const char *newValue);

/* 1 when the value was stored, 0 when it was refused (lower priority than the
   stored value, an environment variable of that name without
   JEX_HINT_OVERRIDE, a priority above JEX_HINT_OVERRIDE, a null argument)
   or could not be stored. No error message is recorded. */
JEX_API JEX_bool JEX_SetHintWithPriority(const char *name, const char *value,
                                         JEX_HintPriority priority);

/* JEX_SetHintWithPriority with JEX_HINT_NORMAL. */
JEX_API JEX_bool JEX_SetHint(const char *name, const char *value);

/* The effective value, or null. The string stays valid until the hint's
   value changes or hints are cleared. */
JEX_API const char *JEX_GetHint(const char *name);

/* Attaches one callback to an existing hint, replacing any earlier one;
   0 when no hint of that name has been set. */
JEX_API JEX_bool JEX_RegisterHintChangedCb(const char *name, JEX_HintChangedCb callback);

/* Forgets every hint and callback; callbacks are not called. */
JEX_API void JEX_ClearHints(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_HINTS_H */
