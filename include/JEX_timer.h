/* Millisecond ticks, the performance counter, sleeping and callback timers.
   Threads: every call here may be made from any thread. Callbacks run on
   the one timer thread, one at a time; a callback may add and remove timers
   but cannot stop the timer subsystem. */
#ifndef JEX_TIMER_H
#define JEX_TIMER_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Milliseconds since the library started its clock; wraps after ~49.7 days. */
JEX_API Uint32 JEX_GetTicks(void);

/* A monotonic counter and its ticks per second. */
JEX_API Uint64 JEX_GetPerformanceCounter(void);
JEX_API Uint64 JEX_GetPerformanceFrequency(void);

/* Sleeps at least ms milliseconds; 0 yields the processor. */
JEX_API void JEX_Delay(Uint32 ms);

/* Runs on the timer thread. The result is the delay before the next call
   in milliseconds, or 0 to end the timer. */
typedef Uint32 (*JEX_TimerCallback)(Uint32 interval, void *param);

typedef int JEX_TimerID;

/* Returns a new non-zero identifier, or 0 on failure. */
JEX_API JEX_TimerID JEX_AddTimer(Uint32 interval, JEX_TimerCallback callback, void *param);
/* True when this call cancelled a live timer. */
JEX_API JEX_bool JEX_RemoveTimer(JEX_TimerID id);

#ifdef __cplusplus
}
#endif

#endif /* JEX_TIMER_H */
