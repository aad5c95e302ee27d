// Internal interface of the clock and the timer thread.
#ifndef JEX_TIMER_INTERNAL_H
#define JEX_TIMER_INTERNAL_H

#include <atomic>

#include "JEX_timer.h"

extern "C" {

// Fixes the origin of JEX_GetTicks. Only the first call (or the first
// reading of the ticks, whichever comes first) counts, so that restarting
// the library never moves the clock under running timers.
void JEX_StartTicks(void);

// Start and stop the timer thread. JEX_AddTimer starts it on demand.
int JEX_TimerInit(void);
void JEX_TimerQuit(void);
}

struct JEX_Timer {
    JEX_TimerID timerID;
    JEX_TimerCallback callback;
    void *param;
    Uint32 interval;             // what every call of the callback receives
    Uint32 scheduled;            // tick at which it is next due
    std::atomic<bool> canceled;  // removed, or finished
    JEX_Timer *next;             // link in the pending list or the free list

    // Timer thread only: place in the queue of live timers.
    JEX_Timer *child;
    JEX_Timer *sibling;
    Uint32 seq;
};

namespace jex::timer {

// True when a is due before b: the earlier tick, compared through the signed
// difference so that the wrap of the 32-bit tick count keeps the order, and
// between timers due at the same tick the one queued first.
inline bool DueBefore(const JEX_Timer *a, const JEX_Timer *b)
{
    const auto diff = static_cast<Sint32>(a->scheduled - b->scheduled);
    if (diff != 0)
        return diff < 0;
    return static_cast<Sint32>(a->seq - b->seq) < 0;
}

// The live timers ordered by due time: a pairing heap threaded through the
// records themselves, so queueing never allocates and costs O(1), and taking
// the earliest costs O(log n) amortised.
class TimerQueue {
public:
    bool Empty() const { return root_ == nullptr; }
    size_t Size() const { return size_; }
    JEX_Timer *Top() const { return root_; }
    void Insert(JEX_Timer *timer);
    JEX_Timer *Pop();
    // Removes every record and hands it to release.
    template <typename F>
    void Drain(F release)
    {
        while (!Empty())
            release(Pop());
    }

private:
    JEX_Timer *root_ = nullptr;
    size_t size_ = 0;
    Uint32 seq_ = 0;
};

// Shifts the tick count by offset, so tests can run timers across the wrap.
void SetTicksOffsetForTesting(Uint32 offset);

// Number of timer records currently allocated, for tests.
size_t TimerRecordCount();

}  // namespace jex::timer

#endif
