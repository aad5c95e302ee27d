// Recursive mutexes and condition variables on POSIX threads.
#include <errno.h>
#include <stdlib.h>

#include <new>

#include "thread/thread_internal.h"

extern "C" {

JEX_mutex *JEX_CreateMutex(void)
{
    auto *mutex = static_cast<JEX_mutex *>(calloc(1, sizeof(JEX_mutex)));
    if (!mutex) {
        JEX_OutOfMemory();
        return nullptr;
    }
    pthread_mutexattr_t attr;
    bool ok = pthread_mutexattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
             pthread_mutex_init(&mutex->id, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
    }
    if (!ok) {
        JEX_SetError("pthread_mutex_init() failed");
        free(mutex);
        return nullptr;
    }
    return mutex;
}

void JEX_DestroyMutex(JEX_mutex *mutex)
{
    if (mutex) {
        pthread_mutex_destroy(&mutex->id);
        free(mutex);
    }
}

int JEX_mutexP(JEX_mutex *mutex)
{
    if (!mutex) {
        JEX_SetError("Passed a NULL mutex");
        return -1;
    }
    if (pthread_mutex_lock(&mutex->id) != 0) {
        JEX_SetError("pthread_mutex_lock() failed");
        return -1;
    }
    return 0;
}

int JEX_mutexV(JEX_mutex *mutex)
{
    if (!mutex) {
        JEX_SetError("Passed a NULL mutex");
        return -1;
    }
    if (pthread_mutex_unlock(&mutex->id) != 0) {
        JEX_SetError("pthread_mutex_unlock() failed");
        return -1;
    }
    return 0;
}

JEX_cond *JEX_CreateCond(void)
{
    auto *cond = static_cast<JEX_cond *>(calloc(1, sizeof(JEX_cond)));
    if (!cond) {
        return nullptr;
    }
    // Timed waits run on the monotonic clock so that a change of the
    // wall-clock time neither cuts them short nor stretches them.
    pthread_condattr_t attr;
    bool ok = pthread_condattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
             pthread_cond_init(&cond->cond, &attr) == 0;
        pthread_condattr_destroy(&attr);
    }
    if (!ok) {
        JEX_SetError("pthread_cond_init() failed");
        free(cond);
        return nullptr;
    }
    return cond;
}

void JEX_DestroyCond(JEX_cond *cond)
{
    if (cond) {
        pthread_cond_destroy(&cond->cond);
        free(cond);
    }
}

int JEX_CondSignal(JEX_cond *cond)
{
    if (!cond) {
        JEX_SetError("Passed a NULL condition variable");
        return -1;
    }
    if (pthread_cond_signal(&cond->cond) != 0) {
        JEX_SetError("pthread_cond_signal() failed");
        return -1;
    }
    return 0;
}

int JEX_CondBroadcast(JEX_cond *cond)
{
    if (!cond) {
        JEX_SetError("Passed a NULL condition variable");
        return -1;
    }
    if (pthread_cond_broadcast(&cond->cond) != 0) {
        JEX_SetError("pthread_cond_broadcast() failed");
        return -1;
    }
    return 0;
}

int JEX_CondWait(JEX_cond *cond, JEX_mutex *mutex)
{
    return jex::thread::CondWaitUntil(cond, mutex, nullptr);
}

int JEX_CondWaitTimeout(JEX_cond *cond, JEX_mutex *mutex, Uint32 ms)
{
    if (ms == JEX_MUTEX_MAXWAIT) {
        return jex::thread::CondWaitUntil(cond, mutex, nullptr);
    }
    const timespec deadline = jex::thread::DeadlineAfter(ms);
    return jex::thread::CondWaitUntil(cond, mutex, &deadline);
}

}  // extern "C"

namespace jex::thread {

timespec DeadlineAfter(Uint32 ms)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    timespec deadline;
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(ms / 1000);
    long nsec = now.tv_nsec + static_cast<long>(ms % 1000) * 1000000L;
    if (nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        nsec -= 1000000000L;
    }
    deadline.tv_nsec = nsec;
    return deadline;
}

int CondWaitUntil(JEX_cond *cond, JEX_mutex *mutex, const timespec *deadline)
{
    if (!cond) {
        JEX_SetError("Passed a NULL condition variable");
        return -1;
    }
    if (!mutex) {
        JEX_SetError("Passed a NULL mutex");
        return -1;
    }
    if (!deadline) {
        if (pthread_cond_wait(&cond->cond, &mutex->id) != 0) {
            JEX_SetError("pthread_cond_wait() failed");
            return -1;
        }
        return 0;
    }
    int rc;
    do {
        rc = pthread_cond_timedwait(&cond->cond, &mutex->id, deadline);
    } while (rc == EINTR);
    if (rc == ETIMEDOUT) {
        return JEX_MUTEX_TIMEDOUT;
    }
    if (rc != 0) {
        JEX_SetError("pthread_cond_timedwait() failed");
        return -1;
    }
    return 0;
}

}  // namespace jex::thread
