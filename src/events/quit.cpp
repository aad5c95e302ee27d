// Quit requests: JEX_QUIT records posted on request and for the interrupt
// and terminate signals.
#include <signal.h>
#include <string.h>

#include <atomic>

#include "events/events_internal.h"

namespace {

// The signal handler only notes the signal here; the next pump posts the
// JEX_QUIT. Posting from the handler itself would take the queue lock in
// signal context, which deadlocks or corrupts the ring when the signal
// lands on a thread that is inside a queue operation.
struct QuitState {
    std::atomic<int> pending{0};  // set by the handler on any thread
};
QuitState g_quit;
static_assert(std::atomic<int>::is_always_lock_free, "the signal flag must be lock-free");

constexpr int kSignals[] = {SIGINT, SIGTERM};

void InstallIfDefault(int sig)
{
    struct sigaction action;
    if (sigaction(sig, nullptr, &action) != 0)
        return;
    if ((action.sa_flags & SA_SIGINFO) || action.sa_handler != SIG_DFL)
        return;  // the application's own handler stays
    action.sa_handler = JEX_HandleSIG;
    // A one-shot action would hand the next signal back to the default
    // action and end the program; this handler never needs re-installing.
    action.sa_flags &= ~(SA_RESETHAND | SA_SIGINFO);
    sigaction(sig, &action, nullptr);
}

void RemoveIfOurs(int sig)
{
    struct sigaction action;
    if (sigaction(sig, nullptr, &action) != 0)
        return;
    if ((action.sa_flags & SA_SIGINFO) || action.sa_handler != JEX_HandleSIG)
        return;
    action.sa_handler = SIG_DFL;
    sigaction(sig, &action, nullptr);
}

}  // namespace

extern "C" {

int JEX_SendQuit(void)
{
    if (JEX_EventState(JEX_QUIT, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event;
    memset(&event, 0, sizeof(event));
    event.quit.type = JEX_QUIT;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

int JEX_QuitInit(void)
{
    // A signal noted before this start belongs to an earlier session.
    g_quit.pending.store(0);
    for (int sig : kSignals)
        InstallIfDefault(sig);
    return 0;
}

void JEX_QuitQuit(void)
{
    for (int sig : kSignals)
        RemoveIfOurs(sig);
}

void JEX_HandleSIG(int sig)
{
    (void)sig;
    g_quit.pending.store(1, std::memory_order_release);
}

void JEX_DeliverPendingQuit(void)
{
    // Several signals before one pump make one request; with JEX_QUIT
    // disabled the signal is absorbed.
    if (g_quit.pending.load(std::memory_order_relaxed) &&
        g_quit.pending.exchange(0, std::memory_order_acquire))
        JEX_SendQuit();
}

}  // extern "C"
