// The millisecond clock, the performance counter and sleeping, all on the
// monotonic clock so that setting the wall clock never moves them.
#include <errno.h>
#include <sched.h>
#include <time.h>

#include <atomic>

#include "timer/timer_internal.h"

namespace {

// Read by every thread, written by the first reading of the clock (and by
// tests); both fields are atomics, so no lock is needed.
struct TickState {
    std::atomic<Sint64> start_ns{0};  // 0 until the clock is started
    std::atomic<Uint32> offset{0};
};
TickState g_ticks;

Sint64 MonotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<Sint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

Sint64 StartNs()
{
    Sint64 start = g_ticks.start_ns.load(std::memory_order_acquire);
    if (start == 0) {
        const Sint64 now = MonotonicNs();
        if (g_ticks.start_ns.compare_exchange_strong(start, now))
            start = now;
    }
    return start;
}

}  // namespace

extern "C" {

void JEX_StartTicks(void)
{
    StartNs();
}

Uint32 JEX_GetTicks(void)
{
    const Sint64 start = StartNs();
    const Sint64 elapsed_ms = (MonotonicNs() - start) / 1000000;
    return static_cast<Uint32>(elapsed_ms) + g_ticks.offset.load(std::memory_order_relaxed);
}

Uint64 JEX_GetPerformanceCounter(void)
{
    return static_cast<Uint64>(MonotonicNs() / 1000);
}

Uint64 JEX_GetPerformanceFrequency(void)
{
    return 1000000;
}

void JEX_Delay(Uint32 ms)
{
    if (ms == 0) {
        sched_yield();
        return;
    }
    // Sleeping to an absolute deadline lets an interrupted sleep resume
    // without drift.
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // extern "C"

namespace jex::timer {

void SetTicksOffsetForTesting(Uint32 offset)
{
    g_ticks.offset.store(offset, std::memory_order_relaxed);
}

}  // namespace jex::timer
