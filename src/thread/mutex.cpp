// Recursive mutexes and condition variables on POSIX threads.
#include <errno.h>
#include <stdlib.h>

#include <new>

#include "thread/thread_internal.h"

namespace {

// A per-thread address identifies the caller without a library call.
const void *ThreadTag()
{
    static thread_local char tag __attribute__((tls_model("initial-exec")));
    return &tag;
}

// Failure paths, kept out of line so the lock paths stay short.
[[gnu::noinline, gnu::cold]] int NullMutex()
{
    JEX_SetError("Passed a NULL mutex");
    return -1;
}

[[gnu::noinline, gnu::cold]] int Failed(const char *message)
{
    JEX_SetError("%s", message);
    return -1;
}

}  // namespace

extern "C" {

JEX_mutex *JEX_CreateMutex(void)
{
    auto *mutex = new (std::nothrow) JEX_mutex;
    if (!mutex) {
        JEX_OutOfMemory();
        return nullptr;
    }
    mutex->owner.store(nullptr, std::memory_order_relaxed);
    mutex->recursion = 0;
    if (pthread_mutex_init(&mutex->id, nullptr) != 0) {
        JEX_SetError("pthread_mutex_init() failed");
        delete mutex;
        return nullptr;
    }
    return mutex;
}

void JEX_DestroyMutex(JEX_mutex *mutex)
{
    if (mutex) {
        pthread_mutex_destroy(&mutex->id);
        delete mutex;
    }
}

int JEX_mutexP(JEX_mutex *mutex)
{
    if (__builtin_expect(!mutex, 0))
        return NullMutex();
    if (mutex->owner.load(std::memory_order_relaxed) == ThreadTag()) {
        ++mutex->recursion;
        return 0;
    }
    if (__builtin_expect(pthread_mutex_lock(&mutex->id) != 0, 0))
        return Failed("pthread_mutex_lock() failed");
    mutex->owner.store(ThreadTag(), std::memory_order_relaxed);
    mutex->recursion = 1;
    return 0;
}

int JEX_mutexV(JEX_mutex *mutex)
{
    if (__builtin_expect(!mutex, 0))
        return NullMutex();
    // Only the owner may unlock.
    if (__builtin_expect(mutex->owner.load(std::memory_order_relaxed) != ThreadTag(), 0))
        return Failed("pthread_mutex_unlock() failed");
    if (--mutex->recursion != 0)
        return 0;
    mutex->owner.store(nullptr, std::memory_order_relaxed);
    // Unlocking a plain mutex its owner holds cannot fail (the check above
    // ruled out the only error), so its result, 0, is passed straight on.
    return pthread_mutex_unlock(&mutex->id);
}

JEX_cond *JEX_CreateCond(void)
{
    auto *cond = static_cast<JEX_cond *>(calloc(1, sizeof(JEX_cond)));
    if (!cond)
        return nullptr;
    if (!jex::thread::InitMonotonicCond(&cond->cond)) {
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
    if (ms == JEX_MUTEX_MAXWAIT)
        return jex::thread::CondWaitUntil(cond, mutex, nullptr);
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

bool InitMonotonicCond(pthread_cond_t *cond)
{
    // Timed waits run on the monotonic clock so that a change of the
    // wall-clock time neither cuts them short nor stretches them.
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0)
        return false;
    const bool ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
                    pthread_cond_init(cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
    return ok;
}

int RawCondWaitUntil(pthread_cond_t *cond, pthread_mutex_t *mutex, const timespec *deadline)
{
    if (!deadline) {
        if (pthread_cond_wait(cond, mutex) != 0) {
            JEX_SetError("pthread_cond_wait() failed");
            return -1;
        }
        return 0;
    }
    int rc;
    do {
        rc = pthread_cond_timedwait(cond, mutex, deadline);
    } while (rc == EINTR);
    if (rc == ETIMEDOUT)
        return JEX_MUTEX_TIMEDOUT;
    if (rc != 0) {
        JEX_SetError("pthread_cond_timedwait() failed");
        return -1;
    }
    return 0;
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
    // Waiting needs the mutex held; the wait releases every level of it
    // and restores them when it returns.
    const void *self = ThreadTag();
    if (mutex->owner.load(std::memory_order_relaxed) != self) {
        JEX_SetError(deadline ? "pthread_cond_timedwait() failed" : "pthread_cond_wait() failed");
        return -1;
    }
    const Uint32 depth = mutex->recursion;
    mutex->owner.store(nullptr, std::memory_order_relaxed);
    mutex->recursion = 0;
    const int result = RawCondWaitUntil(&cond->cond, &mutex->id, deadline);
    mutex->owner.store(self, std::memory_order_relaxed);
    mutex->recursion = depth;
    return result;
}

}  // namespace jex::thread
