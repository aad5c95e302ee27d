/* Library threads.
   Threads: every call may be made from any thread; a thread is waited for
   once, by a thread other than itself. */
#ifndef JEX_THREAD_H
#define JEX_THREAD_H

#include "JEX_types.h"
#include "JEX_mutex.h"

#ifdef __cplusplus
extern "C" {
#endif

struct JEX_Thread;
typedef struct JEX_Thread JEX_Thread;

/* A system thread identity; wide enough to hold a pthread_t. */
typedef unsigned long JEX_threadID;

typedef enum {
    JEX_THREAD_PRIORITY_LOW = 0,
    JEX_THREAD_PRIORITY_NORMAL = 1,
    JEX_THREAD_PRIORITY_HIGH = 2
} JEX_ThreadPriority;

typedef int (*JEX_ThreadFunction)(void *data);

/* Starts fn(data) on a new thread; returns null on failure. Each thread
   made here has its own error record. */
JEX_API JEX_Thread *JEX_CreateThread(JEX_ThreadFunction fn, void *data);

JEX_API JEX_threadID JEX_ThreadID(void);
/* The thread's identity, or the caller's when thread is null. */
JEX_API JEX_threadID JEX_GetThreadID(JEX_Thread *thread);

JEX_API int JEX_SetThreadPriority(JEX_ThreadPriority priority);

/* Joins the thread, stores its result through status (may be null) and
   frees the record. A null thread is ignored. */
JEX_API void JEX_WaitThread(JEX_Thread *thread, int *status);

#ifdef __cplusplus
}
#endif

#endif /* JEX_THREAD_H */
