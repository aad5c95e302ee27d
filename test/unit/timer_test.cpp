// Ticks, sleeping and callback timers; timing only as "never early" and "in order".
#include <gtest/gtest.h>
#include <time.h>
#include <atomic>
#include <numeric>
#include <random>
#include <string>
#include <vector>
#include "JEX_error.h"
#include "JEX_mutex.h"
#include "JEX_timer.h"
#include "timer/timer_internal.h"

namespace {

constexpr Uint32 kPatienceMs = 10000;

class Timers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(JEX_TimerInit(), 0); }
    void TearDown() override
    {
        JEX_TimerQuit();
        jex::timer::SetTicksOffsetForTesting(0);
    }
};

// Counts calls and reports each one through a semaphore.
struct Counter {
    JEX_sem *fired = JEX_CreateSemaphore(0);
    std::atomic<int> calls{0};
    std::atomic<Uint32> bad_interval{0};
    Uint32 expected_interval = 0, result = 0;  // what the callback expects and returns
    ~Counter() { JEX_DestroySemaphore(fired); }
    static Uint32 Callback(Uint32 interval, void *param)
    {
        auto *self = static_cast<Counter *>(param);
        if (interval != self->expected_interval)
            self->bad_interval = interval;
        self->calls++;
        JEX_SemPost(self->fired);
        return self->result;
    }
    bool WaitCalls(int n)
    {
        for (int i = 0; i < n; ++i)
            if (JEX_SemWaitTimeout(fired, kPatienceMs) != 0)
                return false;
        return true;
    }
};

TEST(Ticks, AdvanceWithDelayAndFollowTheMonotonicClock)
{
    JEX_StartTicks();
    EXPECT_EQ(JEX_GetPerformanceFrequency(), 1000000u);
    const Uint32 t0 = JEX_GetTicks();
    const Uint64 p0 = JEX_GetPerformanceCounter();
    JEX_Delay(30);
    EXPECT_GE(JEX_GetTicks() - t0, 30u);  // never early
    EXPECT_GE(JEX_GetPerformanceCounter() - p0, 30000u);
    JEX_Delay(0);
    // Read from the monotonic clock, not the wall clock (decades away from it).
    timespec mono;
    clock_gettime(CLOCK_MONOTONIC, &mono);
    const Uint64 counter = JEX_GetPerformanceCounter();
    const Uint64 mono_us = static_cast<Uint64>(mono.tv_sec) * 1000000u + mono.tv_nsec / 1000;
    EXPECT_GE(counter, mono_us);
    EXPECT_LT(counter - mono_us, Uint64{86400} * 1000000u);
}

struct SelfManaging {
    JEX_TimerID own = 0;
    std::atomic<int> calls{0};
    std::atomic<bool> removed_self{false}, removed_again{true};
    Counter child{.expected_interval = 5};
};

TEST_F(Timers, OneShotPeriodicAndRemoval)
{
    Counter once{.expected_interval = 10};
    const Uint32 added = JEX_GetTicks();
    const JEX_TimerID id = JEX_AddTimer(10, Counter::Callback, &once);
    ASSERT_NE(id, 0);
    ASSERT_TRUE(once.WaitCalls(1));
    EXPECT_GE(JEX_GetTicks() - added, 10u);
    // A periodic timer's return value changes its delay, not what the callback receives.
    Counter periodic{.expected_interval = 7, .result = 3};
    const JEX_TimerID pid = JEX_AddTimer(7, Counter::Callback, &periodic);
    ASSERT_NE(pid, 0);
    ASSERT_TRUE(periodic.WaitCalls(5));
    EXPECT_TRUE(JEX_RemoveTimer(pid));
    EXPECT_FALSE(JEX_RemoveTimer(pid));
    const int at_removal = periodic.calls.load();  // one call may have been under way
    JEX_Delay(60);
    EXPECT_LE(periodic.calls.load(), at_removal + 1);
    EXPECT_EQ(once.calls.load(), 1);
    EXPECT_FALSE(JEX_RemoveTimer(id));  // a one-shot that ran is gone
    EXPECT_FALSE(JEX_RemoveTimer(12345));
    EXPECT_EQ(once.bad_interval.load() + periodic.bad_interval.load(), 0u);
    // Callbacks add and remove timers.
    SelfManaging s;
    // Hold the thread so the id is published before the callback can run.
    JEX_sem *hold = JEX_CreateSemaphore(0);
    JEX_AddTimer(
        1, [](Uint32, void *p) -> Uint32 { return JEX_SemWait(static_cast<JEX_sem *>(p)) * 0; },
        hold);
    s.own = JEX_AddTimer(
        2,
        [](Uint32, void *param) -> Uint32 {
            auto *s = static_cast<SelfManaging *>(param);
            s->calls++;
            s->removed_self = JEX_RemoveTimer(s->own);
            s->removed_again = JEX_RemoveTimer(s->own);
            JEX_AddTimer(5, Counter::Callback, &s->child);
            return 5;  // ignored: the timer was removed
        },
        &s);
    ASSERT_NE(s.own, 0);
    JEX_SemPost(hold);
    ASSERT_TRUE(s.child.WaitCalls(1));
    JEX_Delay(40);
    EXPECT_EQ(s.calls.load(), 1);
    EXPECT_TRUE(s.removed_self.load());
    EXPECT_FALSE(s.removed_again.load());
    EXPECT_EQ(s.child.calls.load(), 1);
    JEX_DestroySemaphore(hold);
}

TEST_F(Timers, RecordsAreReusedSafelyAndDoNotPileUp)
{
    Counter first{.expected_interval = 1}, wake{.expected_interval = 1},
        second{.expected_interval = 20};
    const JEX_TimerID old_id = JEX_AddTimer(1, Counter::Callback, &first);
    ASSERT_TRUE(first.WaitCalls(1));
    // Let the thread retire the finished record so the next timer reuses it.
    ASSERT_NE(JEX_AddTimer(1, Counter::Callback, &wake), 0);
    ASSERT_TRUE(wake.WaitCalls(1));
    JEX_Delay(5);
    const JEX_TimerID new_id = JEX_AddTimer(20, Counter::Callback, &second);
    ASSERT_NE(new_id, 0);
    EXPECT_NE(new_id, old_id);
    EXPECT_FALSE(JEX_RemoveTimer(old_id));
    EXPECT_TRUE(second.WaitCalls(1));
    // Timeouts removed long before they are due come back for reuse at once.
    Counter sync{.expected_interval = 0};
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 100; ++i) {
            const JEX_TimerID id = JEX_AddTimer(
                1000000, [](Uint32, void *) -> Uint32 { return 0; }, nullptr);
            ASSERT_NE(id, 0);
            ASSERT_TRUE(JEX_RemoveTimer(id));
        }
        ASSERT_NE(JEX_AddTimer(0, Counter::Callback, &sync), 0);  // let the thread take a pass
        ASSERT_TRUE(sync.WaitCalls(1));
    }
    EXPECT_LT(jex::timer::TimerRecordCount(), 1000u);
}

struct Log;
struct Ordered {
    Uint32 interval = 0, due_lo = 0, due_hi = 0, fired_at = 0;  // due: ticks before/after adding
    int index = 0;
    Log *log = nullptr;
};

struct Log {
    std::vector<int> order;  // written by the timer thread only
    JEX_sem *all_done = JEX_CreateSemaphore(0);
    int expected = 0;
};

Uint32 RecordOrder(Uint32, void *param)
{
    auto *o = static_cast<Ordered *>(param);
    o->fired_at = JEX_GetTicks();
    o->log->order.push_back(o->index);
    if (static_cast<int>(o->log->order.size()) == o->log->expected)
        JEX_SemPost(o->log->all_done);
    return 0;
}

// Fires `timers`, checks each ran once, never early, in due order; returns the order.
std::vector<int> CheckFiringOrder(std::vector<Ordered> &timers, void (*after_adding)() = nullptr)
{
    Log log;
    log.expected = static_cast<int>(timers.size());
    log.order.reserve(timers.size());
    for (size_t i = 0; i < timers.size(); ++i) {
        Ordered &o = timers[i];
        o.index = static_cast<int>(i);
        o.log = &log;
        o.due_lo = JEX_GetTicks() + o.interval;
        EXPECT_NE(JEX_AddTimer(o.interval, RecordOrder, &o), 0) << JEX_GetError();
        o.due_hi = JEX_GetTicks() + o.interval;
    }
    if (after_adding)
        after_adding();
    EXPECT_EQ(JEX_SemWaitTimeout(log.all_done, kPatienceMs * 3), 0);
    JEX_DestroySemaphore(log.all_done);
    if (log.order.size() != timers.size()) {
        ADD_FAILURE() << log.order.size() << " of " << timers.size() << " timers ran";
        return {};
    }
    std::vector<int> seen(timers.size(), 0);
    for (size_t k = 0; k < log.order.size(); ++k) {
        const Ordered &o = timers[log.order[k]];
        EXPECT_EQ(seen[log.order[k]]++, 0) << "fired twice";
        EXPECT_GE(static_cast<Sint32>(o.fired_at - o.due_lo), 0) << "fired early";
        // The one that ran before cannot have been due strictly later.
        EXPECT_LE(k ? static_cast<Sint32>(timers[log.order[k - 1]].due_lo - o.due_hi) : 0, 0) << k;
    }
    return log.order;
}

TEST_F(Timers, ThousandTimersFireInOrderOfDueTime)
{
    std::mt19937 rng(99);
    std::vector<Ordered> timers(1000);
    for (Ordered &o : timers)
        o.interval = 20 + rng() % 400;
    CheckFiringOrder(timers);
}

JEX_sem *g_hold, *g_holding;

TEST_F(Timers, TimersWithEqualIntervalsFireInTheOrderAdded)
{
    // Hold the timer thread so all timers below reach it in one batch, due at one tick.
    g_hold = JEX_CreateSemaphore(0);
    g_holding = JEX_CreateSemaphore(0);
    JEX_AddTimer(
        1,
        [](Uint32, void *) -> Uint32 {
            JEX_SemPost(g_holding);
            return JEX_SemWait(g_hold);
        },
        nullptr);
    ASSERT_EQ(JEX_SemWaitTimeout(g_holding, kPatienceMs), 0);
    std::vector<Ordered> timers(50);
    for (Ordered &o : timers)
        o.interval = 5;
    std::vector<int> expected(50);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(CheckFiringOrder(timers, [] { JEX_SemPost(g_hold); }), expected);
    JEX_DestroySemaphore(g_holding);
    JEX_DestroySemaphore(g_hold);
}

TEST_F(Timers, DueTimesStayOrderedAcrossTheTickWrap)
{
    JEX_TimerQuit();
    // Put the clock 60 ms before the 32-bit millisecond count wraps.
    jex::timer::SetTicksOffsetForTesting(0xFFFFFFFFu - 60u - JEX_GetTicks());
    ASSERT_EQ(JEX_TimerInit(), 0);
    ASSERT_GT(JEX_GetTicks(), 0xFFFFFF00u);
    std::vector<Ordered> timers(6);
    const Uint32 intervals[] = {150, 20, 90, 40, 120, 70};
    for (size_t i = 0; i < timers.size(); ++i)
        timers[i].interval = intervals[i];
    CheckFiringOrder(timers);
    EXPECT_LT(JEX_GetTicks(), 0x10000000u);
}

TEST_F(Timers, BadCallsAndQuitWithLiveTimers)
{
    EXPECT_EQ(JEX_AddTimer(10, nullptr, nullptr), 0);
    EXPECT_STRNE(JEX_GetError(), "");
    // Stopping the timers from a callback would wait for itself; it is refused.
    struct Result {
        std::string error;
        JEX_sem *done = JEX_CreateSemaphore(0);
    } r;
    JEX_AddTimer(
        1,
        [](Uint32, void *p) -> Uint32 {
            auto *r = static_cast<Result *>(p);
            JEX_ClearError();
            JEX_TimerQuit();
            r->error = JEX_GetError();
            return JEX_SemPost(r->done) * 0;
        },
        &r);
    ASSERT_EQ(JEX_SemWaitTimeout(r.done, kPatienceMs), 0);
    EXPECT_FALSE(r.error.empty());
    Counter served{.expected_interval = 1};  // the thread still serves timers
    ASSERT_NE(JEX_AddTimer(1, Counter::Callback, &served), 0);
    EXPECT_TRUE(served.WaitCalls(1));
    JEX_DestroySemaphore(r.done);
    // Quitting with live timers frees them; ids restart.
    JEX_TimerQuit();
    Counter c{.expected_interval = 3, .result = 3};
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(JEX_TimerInit(), 0);
        for (int i = 0; i < 50; ++i)
            ASSERT_EQ(JEX_AddTimer(i % 2 ? 3 : 100000, Counter::Callback, &c), i + 1);
        ASSERT_TRUE(c.WaitCalls(10));
        JEX_TimerQuit();
        const int calls = c.calls.load();  // nothing fires once the thread is gone
        JEX_Delay(10);
        EXPECT_EQ(c.calls.load(), calls);
        while (JEX_SemTryWait(c.fired) == 0) {
        }
    }
    EXPECT_EQ(c.bad_interval.load(), 0u);
    // Adding a timer starts the thread again on demand, numbering from 1.
    Counter lazy{.expected_interval = 5};
    EXPECT_EQ(JEX_AddTimer(5, Counter::Callback, &lazy), 1);
    EXPECT_TRUE(lazy.WaitCalls(1));
}

}  // namespace
