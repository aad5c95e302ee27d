// POSIX threads behind the library's thread functions.
#include <signal.h>

#include "thread/systhread.h"
#include "thread/thread_internal.h"

namespace {

void *ThreadEntry(void *startup)
{
    JEX_RunThread(startup);
    return nullptr;
}

}  // namespace

int JEX_SYS_CreateThread(JEX_Thread *thread, void *startup)
{
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        JEX_SetError("Couldn't initialize pthread attributes");
        return -1;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    const int rc = pthread_create(&thread->handle, &attr, ThreadEntry, startup);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        JEX_SetError("Not enough resources to create thread");
        return -1;
    }
    return 0;
}

void JEX_SYS_SetupThread(void)
{
    // Signals meant for the process go to the application's own threads.
    // Cancellation stays deferred: nothing here cancels threads, and
    // asynchronous cancellation could strike inside malloc or a lock.
    static const int kBlocked[] = {SIGHUP,  SIGINT,  SIGQUIT,  SIGPIPE,   SIGALRM,
                                   SIGTERM, SIGCHLD, SIGWINCH, SIGVTALRM, SIGPROF};
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : kBlocked)
        sigaddset(&mask, sig);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
}

void JEX_SYS_WaitThread(JEX_Thread *thread)
{
    pthread_join(thread->handle, nullptr);
}

int JEX_SYS_SetThreadPriority(JEX_ThreadPriority priority)
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
    if (priority == JEX_THREAD_PRIORITY_LOW)
        param.sched_priority = min_priority;
    else if (priority == JEX_THREAD_PRIORITY_HIGH)
        param.sched_priority = max_priority;
    else
        param.sched_priority = min_priority + (max_priority - min_priority) / 2;
    if (pthread_setschedparam(self, policy, &param) != 0) {
        JEX_SetError("pthread_setschedparam() failed");
        return -1;
    }
    return 0;
}

namespace jex::thread {

bool IsCurrentThread(const JEX_Thread *thread)
{
    return thread && pthread_equal(thread->handle, pthread_self());
}

}  // namespace jex::thread
