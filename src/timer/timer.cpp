// Callback timers, all served by one library thread.
//
// Callers hand new timers to the thread through the `pending` list and wake
// it with a semaphore; the thread alone owns the queue of live timers and
// sleeps until the earliest is due. Finished records come back through the
// free list for reuse. Identifiers find their records through a map.
#include <mutex>
#include <new>
#include <unordered_map>

#include "JEX_error.h"
#include "JEX_mutex.h"
#include "JEX_thread.h"
#include "thread/thread_internal.h"
#include "timer/timer_internal.h"

namespace {

// Everything the timers share. Which thread touches what:
// - `lifecycle_lock` serialises starting and stopping the timer thread, which
//   write `thread`, `sem` and `active`;
// - `timermap` (identifier to record) is guarded by `timermap_lock`;
// - `pending` (new timers, newest first) and `freelist` (records for reuse)
//   are guarded by the spin lock `lock`, held only to link or unlink;
// - `nextID`, `active`, `removed` and `record_count` are atomics;
// - `timers`, the queue of live timers, belongs to the timer thread alone.
struct TimerData {
    std::mutex lifecycle_lock;
    JEX_Thread *thread = nullptr;
    std::atomic<int> nextID{1};
    std::mutex timermap_lock;
    std::unordered_map<JEX_TimerID, JEX_Timer *> timermap;
    std::atomic<size_t> record_count{0};  // records allocated, for tests

    // Shared with the timer thread; kept off the callers' cache lines.
    alignas(128) JEX_SpinLock lock = 0;
    JEX_sem *sem = nullptr;
    JEX_Timer *pending = nullptr;
    JEX_Timer *freelist = nullptr;
    std::atomic<bool> active{false};
    // Live timers cancelled since the thread last swept its queue.
    std::atomic<Uint32> removed{0};

    // Timer thread only.
    alignas(128) jex::timer::TimerQueue timers;
};

// Never destroyed: the timer thread may outlive static destruction when a
// program exits without stopping it.
TimerData &g_timers = *new TimerData;

void DeleteRecord(JEX_Timer *timer)
{
    delete timer;
    g_timers.record_count.fetch_sub(1, std::memory_order_relaxed);
}

void FreeList(JEX_Timer *list)
{
    while (list) {
        JEX_Timer *next = list->next;
        DeleteRecord(list);
        list = next;
    }
}

// Finished records of one pass of the timer thread, in order.
struct Retired {
    JEX_Timer *head = nullptr;
    JEX_Timer *tail = nullptr;

    void Add(JEX_Timer *timer)
    {
        timer->canceled.store(true);
        timer->next = nullptr;
        if (tail)
            tail->next = timer;
        else
            head = timer;
        tail = timer;
    }
};

// A removed timer stays queued until it comes due; when removals pile up
// (timers with long intervals added and removed again and again), take them
// out now so that their records can be reused. Sweeping only once the
// removals reach half the queue keeps the cost per removal amortised O(log n).
void SweepRemoved(Retired &retired)
{
    const Uint32 removed = g_timers.removed.load(std::memory_order_relaxed);
    if (removed < 64 || removed < g_timers.timers.Size() / 2)
        return;
    g_timers.removed.store(0, std::memory_order_relaxed);
    JEX_Timer *kept = nullptr;
    JEX_Timer *kept_tail = nullptr;
    while (JEX_Timer *timer = g_timers.timers.Pop()) {
        if (timer->canceled.load()) {
            retired.Add(timer);
            continue;
        }
        // Requeued in due order, so ties keep their order.
        timer->next = nullptr;
        if (kept_tail)
            kept_tail->next = timer;
        else
            kept = timer;
        kept_tail = timer;
    }
    while (kept) {
        JEX_Timer *next = kept->next;
        g_timers.timers.Insert(kept);
        kept = next;
    }
}

int TimerThread(void *)
{
    Retired retired;
    for (;;) {
        JEX_AtomicLock(&g_timers.lock);
        JEX_Timer *pending = g_timers.pending;
        g_timers.pending = nullptr;
        if (retired.head) {
            retired.tail->next = g_timers.freelist;
            g_timers.freelist = retired.head;
            retired = Retired{};
        }
        JEX_AtomicUnlock(&g_timers.lock);

        // The pending list is newest first; queue in the order of adding so
        // that timers due at the same tick fire in that order.
        JEX_Timer *in_order = nullptr;
        while (pending) {
            JEX_Timer *next = pending->next;
            pending->next = in_order;
            in_order = pending;
            pending = next;
        }
        while (in_order) {
            JEX_Timer *next = in_order->next;
            g_timers.timers.Insert(in_order);
            in_order = next;
        }

        if (!g_timers.active.load())
            break;
        SweepRemoved(retired);

        Uint32 wait = JEX_MUTEX_MAXWAIT;
        const Uint32 tick = JEX_GetTicks();
        while (JEX_Timer *timer = g_timers.timers.Top()) {
            const auto until_due = static_cast<Sint32>(timer->scheduled - tick);
            if (until_due > 0) {
                wait = static_cast<Uint32>(until_due);
                break;
            }
            g_timers.timers.Pop();
            if (!timer->canceled.load()) {
                const Uint32 next_delay = timer->callback(timer->interval, timer->param);
                // A callback that removed its own timer ends it whatever it returns.
                if (next_delay != 0 && !timer->canceled.load()) {
                    timer->scheduled = tick + next_delay;
                    g_timers.timers.Insert(timer);
                    continue;
                }
            }
            retired.Add(timer);
        }

        // Time spent in callbacks counts against the wait.
        if (wait != JEX_MUTEX_MAXWAIT) {
            const Uint32 elapsed = JEX_GetTicks() - tick;
            wait = wait >= elapsed ? wait - elapsed : 0;
        }
        JEX_SemWaitTimeout(g_timers.sem, wait);
    }
    return 0;
}

}  // namespace

namespace jex::timer {

namespace {

JEX_Timer *Meld(JEX_Timer *a, JEX_Timer *b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    if (DueBefore(b, a)) {
        JEX_Timer *t = a;
        a = b;
        b = t;
    }
    b->sibling = a->child;
    a->child = b;
    return a;
}

// The standard two-pass merge of a removed root's children, done without
// recursion so that a long child list cannot exhaust the stack.
JEX_Timer *MergePairs(JEX_Timer *first)
{
    // Pass one: meld neighbours left to right, collecting the results in a
    // reversed list linked through `sibling`.
    JEX_Timer *paired = nullptr;
    while (first) {
        JEX_Timer *a = first;
        JEX_Timer *b = a->sibling;
        first = b ? b->sibling : nullptr;
        a->sibling = nullptr;
        if (b)
            b->sibling = nullptr;
        JEX_Timer *m = Meld(a, b);
        m->sibling = paired;
        paired = m;
    }
    // Pass two: meld them right to left.
    JEX_Timer *root = nullptr;
    while (paired) {
        JEX_Timer *next = paired->sibling;
        paired->sibling = nullptr;
        root = Meld(root, paired);
        paired = next;
    }
    return root;
}

}  // namespace

void TimerQueue::Insert(JEX_Timer *timer)
{
    ++size_;
    timer->child = nullptr;
    timer->sibling = nullptr;
    timer->seq = seq_++;
    root_ = Meld(root_, timer);
}

size_t TimerRecordCount()
{
    return g_timers.record_count.load(std::memory_order_relaxed);
}

JEX_Timer *TimerQueue::Pop()
{
    JEX_Timer *top = root_;
    if (top) {
        --size_;
        root_ = MergePairs(top->child);
        top->child = nullptr;
    }
    return top;
}

}  // namespace jex::timer

extern "C" {

int JEX_TimerInit(void)
{
    std::lock_guard<std::mutex> guard(g_timers.lifecycle_lock);
    if (g_timers.active.load())
        return 0;
    g_timers.sem = JEX_CreateSemaphore(0);
    if (!g_timers.sem)
        return -1;
    g_timers.nextID.store(1);
    g_timers.active.store(true);
    g_timers.thread = JEX_CreateThread(TimerThread, nullptr);
    if (!g_timers.thread) {
        g_timers.active.store(false);
        JEX_DestroySemaphore(g_timers.sem);
        g_timers.sem = nullptr;
        return -1;
    }
    return 0;
}

void JEX_TimerQuit(void)
{
    std::lock_guard<std::mutex> guard(g_timers.lifecycle_lock);
    if (!g_timers.active.load())
        return;
    if (jex::thread::IsCurrentThread(g_timers.thread)) {
        // The thread cannot wait for its own end.
        JEX_SetError("Timers cannot be stopped from a timer callback");
        return;
    }
    g_timers.active.store(false);
    JEX_SemPost(g_timers.sem);
    JEX_WaitThread(g_timers.thread, nullptr);
    g_timers.thread = nullptr;
    JEX_DestroySemaphore(g_timers.sem);
    g_timers.sem = nullptr;

    g_timers.timers.Drain(DeleteRecord);
    g_timers.removed.store(0);
    FreeList(g_timers.pending);
    g_timers.pending = nullptr;
    FreeList(g_timers.freelist);
    g_timers.freelist = nullptr;
    std::lock_guard<std::mutex> map_guard(g_timers.timermap_lock);
    g_timers.timermap.clear();
}

JEX_TimerID JEX_AddTimer(Uint32 interval, JEX_TimerCallback callback, void *param)
{
    if (!callback) {
        JEX_SetError("Passed a NULL timer callback");
        return 0;
    }
    if (!g_timers.active.load() && JEX_TimerInit() < 0)
        return 0;

    JEX_AtomicLock(&g_timers.lock);
    JEX_Timer *timer = g_timers.freelist;
    if (timer)
        g_timers.freelist = timer->next;
    JEX_AtomicUnlock(&g_timers.lock);

    if (!timer) {
        timer = new (std::nothrow) JEX_Timer{};
        if (!timer) {
            JEX_OutOfMemory();
            return 0;
        }
        g_timers.record_count.fetch_add(1, std::memory_order_relaxed);
    } else {
        // A finished timer nobody removed still has its identifier mapped.
        std::lock_guard<std::mutex> guard(g_timers.timermap_lock);
        auto it = g_timers.timermap.find(timer->timerID);
        if (it != g_timers.timermap.end() && it->second == timer)
            g_timers.timermap.erase(it);
    }

    JEX_TimerID id;
    do {
        id = g_timers.nextID.fetch_add(1);
    } while (id == 0);
    timer->timerID = id;
    timer->callback = callback;
    timer->param = param;
    timer->interval = interval;
    timer->scheduled = JEX_GetTicks() + interval;
    timer->canceled.store(false);
    timer->next = nullptr;

    bool mapped = false;
    try {
        std::lock_guard<std::mutex> guard(g_timers.timermap_lock);
        g_timers.timermap.emplace(id, timer);
        mapped = true;
    } catch (const std::bad_alloc &) {
    }
    if (!mapped) {
        timer->canceled.store(true);
        JEX_AtomicLock(&g_timers.lock);
        timer->next = g_timers.freelist;
        g_timers.freelist = timer;
        JEX_AtomicUnlock(&g_timers.lock);
        JEX_OutOfMemory();
        return 0;
    }

    JEX_AtomicLock(&g_timers.lock);
    timer->next = g_timers.pending;
    g_timers.pending = timer;
    JEX_AtomicUnlock(&g_timers.lock);

    JEX_SemPost(g_timers.sem);
    return id;
}

JEX_bool JEX_RemoveTimer(JEX_TimerID id)
{
    std::lock_guard<std::mutex> guard(g_timers.timermap_lock);
    auto it = g_timers.timermap.find(id);
    if (it == g_timers.timermap.end())
        return JEX_FALSE;
    JEX_Timer *timer = it->second;
    g_timers.timermap.erase(it);
    // Under the map lock, so the record cannot be handed to a new timer
    // between finding it and cancelling it. The timer thread retires it
    // when it next comes due.
    if (timer->canceled.exchange(true))
        return JEX_FALSE;
    g_timers.removed.fetch_add(1, std::memory_order_relaxed);
    return JEX_TRUE;
}

}  // extern "C"
