// Counting semaphores: an atomic count with a mutex and condition variable
// for the threads that have to sleep.
//
// A waiter that must sleep registers itself under the mutex; a post adds its
// unit without the lock only while nobody is registered, and otherwise adds
// it and signals under the mutex. Either the registered waiter then finds
// the unit before it sleeps, or it is asleep when the signal comes.
#include <new>

#include "thread/thread_internal.h"
#include "timer/timer_internal.h"

namespace {

constexpr Uint64 kOneWaiter = Uint64{1} << 32;
constexpr Uint32 kMaxCount = 0xFFFFFFFFu;

Uint32 CountOf(Uint64 state)
{
    return static_cast<Uint32>(state);
}

Uint32 WaitersOf(Uint64 state)
{
    return static_cast<Uint32>(state >> 32);
}

bool TryTake(JEX_sem *sem)
{
    Uint64 state = sem->state.load();
    while (CountOf(state) > 0)
        if (sem->state.compare_exchange_weak(state, state - 1))
            return true;
    return false;
}

[[gnu::noinline, gnu::cold]] int NullSemaphore()
{
    JEX_SetError("Passed a NULL semaphore");
    return -1;
}

enum class Added { kDone, kWaiters, kOverflow };

// Adds one unit. With only_if_no_waiters, gives up (kWaiters) as soon as a
// waiter is registered.
Added AddUnit(JEX_sem *sem, bool only_if_no_waiters)
{
    Uint64 state = sem->state.load();
    for (;;) {
        if (only_if_no_waiters && WaitersOf(state) != 0)
            return Added::kWaiters;
        if (CountOf(state) == kMaxCount)
            return Added::kOverflow;
        if (sem->state.compare_exchange_weak(state, state + 1))
            return Added::kDone;
    }
}

// The slow half of a post: a waiter is registered, so the unit is added and
// signalled under the mutex the waiter sleeps with.
[[gnu::noinline]] int PostToWaiters(JEX_sem *sem, Added added)
{
    if (added == Added::kWaiters) {
        pthread_mutex_lock(&sem->count_lock);
        added = AddUnit(sem, false);
        if (added == Added::kDone)
            pthread_cond_signal(&sem->count_nonzero);
        pthread_mutex_unlock(&sem->count_lock);
    }
    if (added == Added::kOverflow) {
        JEX_SetError("Semaphore value overflow");
        return -1;
    }
    return 0;
}

// Takes one unit, sleeping until one is posted or the absolute deadline
// passes (null: no limit).
[[gnu::noinline]] int WaitUntil(JEX_sem *sem, const timespec *deadline)
{
    if (TryTake(sem))
        return 0;
    pthread_mutex_lock(&sem->count_lock);
    sem->state.fetch_add(kOneWaiter);
    int result;
    for (;;) {
        if (TryTake(sem)) {
            result = 0;
            break;
        }
        const int rc =
            jex::thread::RawCondWaitUntil(&sem->count_nonzero, &sem->count_lock, deadline);
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
    sem->state.fetch_sub(kOneWaiter);
    pthread_mutex_unlock(&sem->count_lock);
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
    sem->state.store(initial_value);
    if (pthread_mutex_init(&sem->count_lock, nullptr) != 0) {
        JEX_SetError("pthread_mutex_init() failed");
        delete sem;
        return nullptr;
    }
    if (!jex::thread::InitMonotonicCond(&sem->count_nonzero)) {
        JEX_SetError("pthread_cond_init() failed");
        pthread_mutex_destroy(&sem->count_lock);
        delete sem;
        return nullptr;
    }
    return sem;
}

void JEX_DestroySemaphore(JEX_sem *sem)
{
    if (!sem)
        return;
    // Let every thread still waiting leave before the storage goes.
    pthread_mutex_lock(&sem->count_lock);
    Uint64 state = sem->state.load();
    while (!sem->state.compare_exchange_weak(state, (state & ~Uint64{kMaxCount}) | kMaxCount)) {
    }
    pthread_mutex_unlock(&sem->count_lock);
    while (WaitersOf(sem->state.load()) != 0) {
        pthread_mutex_lock(&sem->count_lock);
        pthread_cond_broadcast(&sem->count_nonzero);
        pthread_mutex_unlock(&sem->count_lock);
        JEX_Delay(1);
    }
    // The last waiter, or a post that found it, may still hold the mutex.
    pthread_mutex_lock(&sem->count_lock);
    pthread_mutex_unlock(&sem->count_lock);
    pthread_cond_destroy(&sem->count_nonzero);
    pthread_mutex_destroy(&sem->count_lock);
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
    if (ms == 0)
        return TryTake(sem) ? 0 : JEX_MUTEX_TIMEDOUT;
    if (ms == JEX_MUTEX_MAXWAIT)
        return WaitUntil(sem, nullptr);
    // One deadline for the whole wait: wake-ups that find the unit taken by
    // another thread do not restart the clock.
    const timespec deadline = jex::thread::DeadlineAfter(ms);
    return WaitUntil(sem, &deadline);
}

int JEX_SemWait(JEX_sem *sem)
{
    if (__builtin_expect(!sem, 0))
        return NullSemaphore();
    return TryTake(sem) ? 0 : WaitUntil(sem, nullptr);
}

int JEX_SemPost(JEX_sem *sem)
{
    if (__builtin_expect(!sem, 0))
        return NullSemaphore();
    const Added added = AddUnit(sem, true);
    if (__builtin_expect(added == Added::kDone, 1))
        return 0;
    return PostToWaiters(sem, added);
}

Uint32 JEX_SemValue(JEX_sem *sem)
{
    if (!sem) {
        JEX_SetError("Passed a NULL semaphore");
        return 0;
    }
    return CountOf(sem->state.load());
}

}  // extern "C"
