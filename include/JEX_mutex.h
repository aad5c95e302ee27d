/* Mutexes, condition variables, semaphores and spin locks.
   Threads: these exist to be shared; every call may be made from any
   thread. A mutex is unlocked only by the thread that holds it, and a
   primitive is destroyed only once no other thread uses it. */
#ifndef JEX_MUTEX_H
#define JEX_MUTEX_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A timed wait that ended because its time ran out. */
#define JEX_MUTEX_TIMEDOUT 1

/* Wait without a time limit. */
#define JEX_MUTEX_MAXWAIT (~(Uint32)0)

/* Recursive mutex: the owner may lock it again and must unlock it as often. */
struct JEX_mutex;
typedef struct JEX_mutex JEX_mutex;

JEX_API JEX_mutex *JEX_CreateMutex(void);
JEX_API int JEX_mutexP(JEX_mutex *mutex);
JEX_API int JEX_mutexV(JEX_mutex *mutex);
JEX_API void JEX_DestroyMutex(JEX_mutex *mutex);

#define JEX_LockMutex(m) JEX_mutexP(m)
#define JEX_UnlockMutex(m) JEX_mutexV(m)

/* Counting semaphore. */
struct JEX_semaphore;
typedef struct JEX_semaphore JEX_sem;

JEX_API JEX_sem *JEX_CreateSemaphore(Uint32 initial_value);
JEX_API void JEX_DestroySemaphore(JEX_sem *sem);
/* 0 when a unit was taken, JEX_MUTEX_TIMEDOUT when none was available
   in time, -1 on error. */
JEX_API int JEX_SemWait(JEX_sem *sem);
JEX_API int JEX_SemTryWait(JEX_sem *sem);
JEX_API int JEX_SemWaitTimeout(JEX_sem *sem, Uint32 ms);
JEX_API int JEX_SemPost(JEX_sem *sem);
JEX_API Uint32 JEX_SemValue(JEX_sem *sem);

/* Condition variable; timed waits measure time on a monotonic clock. */
struct JEX_cond;
typedef struct JEX_cond JEX_cond;

JEX_API JEX_cond *JEX_CreateCond(void);
JEX_API void JEX_DestroyCond(JEX_cond *cond);
JEX_API int JEX_CondSignal(JEX_cond *cond);
JEX_API int JEX_CondBroadcast(JEX_cond *cond);
JEX_API int JEX_CondWait(JEX_cond *cond, JEX_mutex *mutex);
JEX_API int JEX_CondWaitTimeout(JEX_cond *cond, JEX_mutex *mutex, Uint32 ms);

/* Busy-wait lock for very short critical sections: 0 free, 1 held. */
typedef int JEX_SpinLock;

JEX_API JEX_bool JEX_AtomicTryLock(JEX_SpinLock *lock);
JEX_API void JEX_AtomicLock(JEX_SpinLock *lock);
JEX_API void JEX_AtomicUnlock(JEX_SpinLock *lock);

#ifdef __cplusplus
}
#endif

#endif /* JEX_MUTEX_H */
