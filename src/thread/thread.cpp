// Library g_table.threads and the table of the g_table.threads this library started.
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

// The table of the threads created here, shared by every thread that
// creates, waits for or looks up a library thread; `lock` guards every field.
// The lock is statically initialised so that two threads creating their
// first threads at once cannot race to make it.
constexpr int kTableGrowth = 32;
struct ThreadTable {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    JEX_Thread **threads = nullptr;
    int numthreads = 0;
    int maxthreads = 0;
};
ThreadTable g_table;

bool AddThread(JEX_Thread *thread)
{
    pthread_mutex_lock(&g_table.lock);
    if (g_table.numthreads == g_table.maxthreads) {
        const int capacity = g_table.maxthreads + kTableGrowth;
        auto *grown = static_cast<JEX_Thread **>(
            realloc(g_table.threads, static_cast<size_t>(capacity) * sizeof(*g_table.threads)));
        if (!grown) {
            pthread_mutex_unlock(&g_table.lock);
            JEX_OutOfMemory();
            return false;
        }
        g_table.threads = grown;
        g_table.maxthreads = capacity;
    }
    g_table.threads[g_table.numthreads++] = thread;
    pthread_mutex_unlock(&g_table.lock);
    return true;
}

void DelThread(JEX_Thread *thread)
{
    pthread_mutex_lock(&g_table.lock);
    for (int i = 0; i < g_table.numthreads; ++i) {
        if (g_table.threads[i] == thread) {
            memmove(&g_table.threads[i], &g_table.threads[i + 1],
                    static_cast<size_t>(g_table.numthreads - i - 1) * sizeof(*g_table.threads));
            if (--g_table.numthreads == 0) {
                free(g_table.threads);
                g_table.threads = nullptr;
                g_table.maxthreads = 0;
            }
            break;
        }
    }
    pthread_mutex_unlock(&g_table.lock);
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

    if (!AddThread(thread)) {
        free(thread);
        thread = nullptr;
    } else if (JEX_SYS_CreateThread(thread, &startup) < 0) {
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
    pthread_mutex_lock(&g_table.lock);
    const ThreadTableStats stats{g_table.numthreads, g_table.maxthreads};
    pthread_mutex_unlock(&g_table.lock);
    return stats;
}

}  // namespace jex::thread
