// Internal layout of the thread and synchronisation records.
#ifndef JEX_THREAD_INTERNAL_H
#define JEX_THREAD_INTERNAL_H

#include <pthread.h>
#include <time.h>

#include <atomic>

#include "JEX_error.h"
#include "JEX_mutex.h"
#include "JEX_thread.h"

static_assert(sizeof(JEX_threadID) >= sizeof(pthread_t), "a thread id must hold a pthread_t");

struct JEX_Thread {
    JEX_threadID threadid;  // written by the new thread before its function runs
    pthread_t handle;
    int status;  // the function's result, -1 until it returns
    JEX_ErrorRecord errbuf;
};

// Recursive by counting: a plain POSIX mutex plus the owner and its depth,
// so that re-entry costs no system call and the first lock takes glibc's
// fastest path. The owner is written only by the thread that holds the
// mutex; another thread reading it can never see its own identity there.
struct JEX_mutex {
    pthread_mutex_t id;
    std::atomic<const void *> owner;
    Uint32 recursion;
};

struct JEX_cond {
    pthread_cond_t cond;
};

// The count and the number of sleeping waiters share one atomic word (count
// in the low half, waiters in the high half), so that a post sees "nobody is
// waiting" in the same step as it adds its unit and then touches the
// semaphore no more: the thread it released may destroy it at once. Only
// threads that must sleep, and posts that find sleepers, use the mutex and
// the condition variable.
struct JEX_semaphore {
    std::atomic<Uint64> state;
    pthread_mutex_t count_lock;
    pthread_cond_t count_nonzero;
};

namespace jex::thread {

// The absolute time, on the clock condition variables use, ms milliseconds from now.
timespec DeadlineAfter(Uint32 ms);

// Waits on cond until signalled or until the absolute deadline passes
// (null: no limit). 0, JEX_MUTEX_TIMEDOUT or -1 with an error set.
int CondWaitUntil(JEX_cond *cond, JEX_mutex *mutex, const timespec *deadline);
int RawCondWaitUntil(pthread_cond_t *cond, pthread_mutex_t *mutex, const timespec *deadline);

// Initialises a condition variable whose timed waits use the monotonic clock.
bool InitMonotonicCond(pthread_cond_t *cond);

// True when the caller is the thread behind this record.
bool IsCurrentThread(const JEX_Thread *thread);

// The thread table's bookkeeping, for tests.
struct ThreadTableStats {
    int numthreads;
    int maxthreads;
};
ThreadTableStats GetThreadTableStats();

}  // namespace jex::thread

#endif
