// Library threads and the table of the threads this library started.
#include <stdlib.h>
#include <string.h>

#include "error_internal.h"
#include "thread/systhread.h"
#include "thread/thread_internal.h"

namespace {

// Everything a new thread needs to start; it lives on the creator's stack,
// which stays valid until the new thread has posted `wait`.
struct StartUp {
    JEX_ThreadFunction fn;
    void *data;
    JEX_Thread *thread;
    JEX_sem *wait;
};

// The table of threads created here. Its lock is statically initialised so
// that two threads creating their first threads at once cannot race to make it.
constexpr int kTableGrowth = 32;
pthread_mutex_t thread_lock = PTHREAD_MUTEX_INITIALIZER;
JEX_Thread **threads = nullptr;
int numthreads = 0;
int maxthreads = 0;

void AddThread(JEX_Thread *thread)
{
    pthread_mutex_lock(&thread_lock);
    if (numthreads == maxthreads) {
        const int capacity = maxthreads + kTableGrowth;
        auto *grown = static_cast<JEX_Thread **>(
            realloc(threads, static_cast<size_t>(capacity) * sizeof(*threads)));
        if (!grown) {
            pthread_mutex_unlock(&thread_lock);
            JEX_OutOfMemory();
            return;
        }
        threads = grown;
        maxthreads = capacity;
    }
    threads[numthreads++] = thread;
    pthread_mutex_unlock(&thread_lock);
}

void DelThread(JEX_Thread *thread)
{
    pthread_mutex_lock(&thread_lock);
    for (int i = 0; i < numthreads; ++i) {
        if (threads[i] == thread) {
            memmove(&threads[i], &threads[i + 1],
                    static_cast<size_t>(numthreads - i - 1) * sizeof(*threads));
            if (--numthreads == 0) {
                free(threads);
                threads = nullptr;
                maxthreads = 0;
            }
            break;
        }
    }
    pthread_mutex_unlock(&thread_lock);
}

}  // namespace

void JEX_RunThread(void *arg)
{
    JEX_SYS_SetupThread();

    auto *startup = static_cast<StartUp *>(arg);
    const JEX_ThreadFunction fn = startup->fn;
    void *const data = startup->data;
    JEX_Thread *const thread = startup->thread;
    thread->threadid = JEX_ThreadID();
    JEX_SetThreadErrorRecord(&thread->errbuf);
    // The start-up record may be gone once this post returns.
    JEX_SemPost(startup->wait);

    thread->status = fn(data);
}

extern "C" {

JEX_Thread *JEX_CreateThread(JEX_ThreadFunction fn, void *data)
{
    if (!fn) {
        JEX_SetError("Passed a NULL thread function");
        return nullptr;
    }
    auto *thread = static_cast<JEX_Thread *>(calloc(1, sizeof(JEX_Thread)));
    if (!thread) {
        JEX_OutOfMemory();
        return nullptr;
    }
    thread->status = -1;

    StartUp startup{fn, data, thread, JEX_CreateSemaphore(0)};
    if (!startup.wait) {
        free(thread);
        return nullptr;
    }

    AddThread(thread);
    if (JEX_SYS_CreateThread(thread, &startup) < 0) {
        DelThread(thread);
        free(thread);
        thread = nullptr;
    } else {
        // Do not return before the new thread has stored its identity.
        JEX_SemWait(startup.wait);
    }
    JEX_DestroySemaphore(startup.wait);
    return thread;
}

JEX_threadID JEX_ThreadID(void)
{
    return static_cast<JEX_threadID>(pthread_self());
}

JEX_threadID JEX_GetThreadID(JEX_Thread *thread)
{
    return thread ? thread->threadid : JEX_ThreadID();
}

int JEX_SetThreadPriority(JEX_ThreadPriority priority)
{
    return JEX_SYS_SetThreadPriority(priority);
}

void JEX_WaitThread(JEX_Thread *thread, int *status)
{
    if (!thread)
        return;
    // Joining itself would never return.
    if (jex::thread::IsCurrentThread(thread)) {
        JEX_SetError("A thread cannot wait for itself");
        return;
    }
    JEX_SYS_WaitThread(thread);
    if (status)
        *status = thread->status;
    DelThread(thread);
    free(thread);
}

}  // extern "C"

namespace jex::thread {

ThreadTableStats GetThreadTableStats()
{
    pthread_mutex_lock(&thread_lock);
    const ThreadTableStats stats{numthreads, maxthreads};
    pthread_mutex_unlock(&thread_lock);
    return stats;
}

}  // namespace jex::thread
