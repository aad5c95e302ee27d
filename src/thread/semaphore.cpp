// Counting semaphores: an atomic count with a mutex and condition variable
// for the threads that have to sleep.
//
// Posting increments the count and then looks for sleepers; a waiter
// registers itself as a sleeper and then looks at the count. Both sides use
// sequentially consistent operations, so at least one of them sees the
// other: either the waiter finds the unit, or the poster finds the waiter
// and signals it under the mutex the waiter holds until it sleeps.
#include <new>

#include "thread/thread_internal.h"
#include "timer/timer_internal.h"

namespace {

bool TryTake(JEX_sem *sem)
{
    Uint32 count = sem->count.load();
    while (count > 0) {
        if (sem->count.compare_exchange_weak(count, count - 1)) {
            return true;
        }
    }
    return false;
}

// Takes one unit, sleeping until one is posted or the absolute deadline
// passes (null: no limit).
int WaitUntil(JEX_sem *sem, const timespec *deadline)
{
    if (TryTake(sem)) {
        return 0;
    }
    pthread_mutex_lock(&sem->count_lock.id);
    sem->waiters_count.fetch_add(1);
    int result;
    for (;;) {
        if (TryTake(sem)) {
            result = 0;
            break;
        }
        const int rc = jex::thread::CondWaitUntil(&sem->count_nonzero, &sem->count_lock, deadline);
        if (rc == JEX_MUTEX_TIMEDOUT) {
            // A post may have landed just as the time ran out.
            result = TryTake(sem) ? 0 : JEX_MUTEX_TIMEDOUT;
            break;
        }
        if (rc < 0) {
            result = -1;
            break;
        }
    }
    sem->waiters_count.fetch_sub(1);
    pthread_mutex_unlock(&sem->count_lock.id);
    return result;
}

}  // namespace

extern "C" {

JEX_sem *JEX_CreateSemaphore(Uint32 initial_value)
{
    auto *sem = new (std::nothrow) JEX_semaphore;
    if (!sem) {
        JEX_OutOfMemory();
        return nullptr;
    }
    sem->count.store(initial_value);
    sem->waiters_count.store(0);
    if (pthread_mutex_init(&sem->count_lock.id, nullptr) != 0) {
        JEX_SetError("pthread_mutex_init() failed");
        delete sem;
        return nullptr;
    }
    pthread_condattr_t attr;
    bool ok = pthread_condattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
             pthread_cond_init(&sem->count_nonzero.cond, &attr) == 0;
        pthread_condattr_destroy(&attr);
    }
    if (!ok) {
        JEX_SetError("pthread_cond_init() failed");
        pthread_mutex_destroy(&sem->count_lock.id);
        delete sem;
        return nullptr;
    }
    return sem;
}

void JEX_DestroySemaphore(JEX_sem *sem)
{
    if (!sem) {
        return;
    }
    // Let every thread still waiting leave before the storage goes.
    sem->count.store(0xFFFFFFFFu);
    while (sem->waiters_count.load() != 0) {
        pthread_mutex_lock(&sem->count_lock.id);
        pthread_cond_broadcast(&sem->count_nonzero.cond);
        pthread_mutex_unlock(&sem->count_lock.id);
        JEX_Delay(1);
    }
    // The last waiter may still hold the mutex after leaving the count.
    pthread_mutex_lock(&sem->count_lock.id);
    pthread_mutex_unlock(&sem->count_lock.id);
    pthread_cond_destroy(&sem->count_nonzero.cond);
    pthread_mutex_destroy(&sem->count_lock.id);
    delete sem;
}

int JEX_SemTryWait(JEX_sem *sem)
{
    if (!sem) {
        JEX_SetError("Passed a NULL semaphore");
        return -1;
    }
    return TryTake(sem) ? 0 : JEX_MUTEX_TIMEDOUT;
}

int JEX_SemWaitTimeout(JEX_sem *sem, Uint32 ms)
{
    if (!sem) {
        JEX_SetError("Passed a NULL semaphore");
        return -1;
    }
    if (ms == 0) {
        return TryTake(sem) ? 0 : JEX_MUTEX_TIMEDOUT;
    }
    if (ms == JEX_MUTEX_MAXWAIT) {
        return WaitUntil(sem, nullptr);
    }
    // One deadline for the whole wait: wake-ups that find the unit taken by
    // another thread do not restart the clock.
    const timespec deadline = jex::thread::DeadlineAfter(ms);
    return WaitUntil(sem, &deadline);
}

int JEX_SemWait(JEX_sem *sem)
{
    return JEX_SemWaitTimeout(sem, JEX_MUTEX_MAXWAIT);
}

int JEX_SemPost(JEX_sem *sem)
{
    if (!sem) {
        JEX_SetError("Passed a NULL semaphore");
        return -1;
    }
    sem->count.fetch_add(1);
    if (sem->waiters_count.load() > 0) {
        pthread_mutex_lock(&sem->count_lock.id);
        pthread_cond_signal(&sem->count_nonzero.cond);
        pthread_mutex_unlock(&sem->count_lock.id);
    }
    return 0;
}

Uint32 JEX_SemValue(JEX_sem *sem)
{
    if (!sem) {
        JEX_SetError("Passed a NULL semaphore");
        return 0;
    }
    return sem->count.load();
}

}  // extern "C"
