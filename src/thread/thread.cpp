// Library threads and the table of the threads this library started.
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "error_internal.h"
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

// Signals meant for the process go to the application's own threads.
void SetupThread()
{
    static const int kBlocked[] = {SIGHUP,  SIGINT,   SIGQUIT,   SIGPIPE, SIGALRM,
                                   SIGTERM, SIGCHLD, SIGWINCH, SIGVTALRM, SIGPROF};
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : kBlocked) {
        sigaddset(&mask, sig);
    }
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
}

void *RunThread(void *arg)
{
    SetupThread();

    auto *startup = static_cast<StartUp *>(arg);
    const JEX_ThreadFunction fn = startup->fn;
    void *const data = startup->data;
    JEX_Thread *const thread = startup->thread;
    thread->threadid = JEX_ThreadID();
    JEX_SetThreadErrorRecord(&thread->errbuf);
    // The start-up record may be gone once this post returns.
    JEX_SemPost(startup->wait);

    thread->status = fn(data);
    return nullptr;
}

int SysCreateThread(JEX_Thread *thread, StartUp *startup)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        JEX_SetError("Couldn't initialize pthread attributes");
        return -1;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    const int rc = pthread_create(&thread->handle, &attr, RunThread, startup);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        JEX_SetError("Not enough resources to create thread");
        return -1;
    }
    return 0;
}

}  // namespace

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
    if (SysCreateThread(thread, &startup) < 0) {
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
    const pthread_t self = pthread_self();
    int policy;
    sched_param param;
    if (pthread_getschedparam(self, &policy, &param) != 0) {
        JEX_SetError("pthread_getschedparam() failed");
        return -1;
    }
    const int min_priority = sched_get_priority_min(policy);
    const int max_priority = sched_get_priority_max(policy);
    if (priority == JEX_THREAD_PRIORITY_LOW) {
        param.sched_priority = min_priority;
    } else if (priority == JEX_THREAD_PRIORITY_HIGH) {
        param.sched_priority = max_priority;
    } else {
        param.sched_priority = min_priority + (max_priority - min_priority) / 2;
    }
    if (pthread_setschedparam(self, policy, &param) != 0) {
        JEX_SetError("pthread_setschedparam() failed");
        return -1;
    }
    return 0;
}

void JEX_WaitThread(JEX_Thread *thread, int *status)
{
    if (!thread) {
        return;
    }
    // Joining itself would never return.
    if (jex::thread::IsCurrentThread(thread)) {
        JEX_SetError("A thread cannot wait for itself");
        return;
    }
    pthread_join(thread->handle, nullptr);
    if (status) {
        *status = thread->status;
    }
    DelThread(thread);
    free(thread);
}

}  // extern "C"

namespace jex::thread {

bool IsCurrentThread(const JEX_Thread *thread)
{
    return thread && pthread_equal(thread->handle, pthread_self());
}

ThreadTableStats GetThreadTableStats()
{
    pthread_mutex_lock(&thread_lock);
    const ThreadTableStats stats{numthreads, maxthreads};
    pthread_mutex_unlock(&thread_lock);
    return stats;
}

}  // namespace jex::thread
