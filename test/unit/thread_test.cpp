// Threads and synchronisation primitives, exercised by real threads.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <atomic>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>
#include "JEX_error.h"
#include "JEX_mutex.h"
#include "JEX_thread.h"
#include "JEX_timer.h"
#include "thread/thread_internal.h"

namespace {

template <typename Fn>
int Trampoline(void *fn)
{
    return (*static_cast<Fn *>(fn))();
}

// Starts `count` library threads on each of fns, in order.
template <typename... Fn>
std::vector<JEX_Thread *> StartThreads(int count, Fn &...fns)
{
    std::vector<JEX_Thread *> threads;
    auto start = [&](auto &fn) {
        for (int i = 0; i < count; ++i) {
            threads.push_back(
                JEX_CreateThread(&Trampoline<std::remove_reference_t<decltype(fn)>>, &fn));
            EXPECT_NE(threads.back(), nullptr) << JEX_GetError();
        }
    };
    (start(fns), ...);
    return threads;
}

// Waits for every thread; each must have returned 0.
void JoinThreads(const std::vector<JEX_Thread *> &threads)
{
    for (JEX_Thread *t : threads) {
        int status = -1;
        JEX_WaitThread(t, &status);
        EXPECT_EQ(status, 0);
    }
}

TEST(Thread, LifecycleAndTheThreadTable)
{
    JEX_threadID id = 0;
    pthread_t self{};
    bool signals_blocked = false;
    std::string before, after;
    auto body = [&]() {
        id = JEX_ThreadID();
        self = pthread_self();
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        signals_blocked = sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM) &&
                          sigismember(&mask, SIGPIPE) && sigismember(&mask, SIGCHLD);
        before = JEX_GetError();  // each library thread starts with an empty record
        JEX_SetError("worker %s", "failed");
        after = JEX_GetError();
        return 7;
    };
    JEX_SetError("main thread %d", 1);
    JEX_Thread *t = StartThreads(1, body)[0];
    const JEX_threadID stored = JEX_GetThreadID(t);  // stored before JEX_CreateThread returns
    EXPECT_NE(stored, JEX_ThreadID());
    int status = 0;
    JEX_WaitThread(t, &status);
    // The identity keeps every bit of the system's handle.
    EXPECT_EQ(std::tuple(status, id, signals_blocked, before, after),
              std::tuple(7, stored, true, "", "worker failed"));
    EXPECT_EQ(id, static_cast<JEX_threadID>(self));
    EXPECT_STREQ(JEX_GetError(), "main thread 1");
    EXPECT_EQ(JEX_GetThreadID(nullptr), JEX_ThreadID());
    EXPECT_EQ(JEX_SetThreadPriority(JEX_THREAD_PRIORITY_NORMAL), 0) << JEX_GetError();
    // A null status pointer and a null thread are both fine.
    JEX_WaitThread(JEX_CreateThread([](void *) { return 3; }, nullptr), nullptr);
    JEX_WaitThread(nullptr, nullptr);
    EXPECT_EQ(JEX_CreateThread(nullptr, nullptr), nullptr);
    // A thread waiting for itself gets an error instead of hanging.
    JEX_sem *go = JEX_CreateSemaphore(0);
    JEX_Thread *me = nullptr;
    std::string error;
    auto waits_for_itself = [&]() {
        JEX_SemWait(go);
        JEX_WaitThread(me, nullptr);
        error = JEX_GetError();
        return 0;
    };
    const auto started = StartThreads(1, waits_for_itself);
    me = started[0];
    JEX_SemPost(go);
    JoinThreads(started);
    EXPECT_FALSE(error.empty());
    JEX_DestroySemaphore(go);
    // The table grows, closes gaps and is freed when empty.
    JEX_sem *release = JEX_CreateSemaphore(33);
    std::vector<JEX_Thread *> threads;
    for (int i = 0; i < 33; ++i)
        threads.push_back(JEX_CreateThread(
            [](void *p) { return JEX_SemWait(static_cast<JEX_sem *>(p)); }, release));
    EXPECT_EQ(jex::thread::GetThreadTableStats().maxthreads, 64);  // grown past 32
    // Waiting out of creation order closes gaps in the middle of the table.
    for (size_t i = 1; i < threads.size(); i += 2)
        JEX_WaitThread(threads[i], nullptr);
    EXPECT_EQ(jex::thread::GetThreadTableStats().numthreads, 17);
    for (size_t i = 0; i < threads.size(); i += 2)
        JEX_WaitThread(threads[i], nullptr);
    const auto stats = jex::thread::GetThreadTableStats();
    EXPECT_EQ(stats.numthreads + stats.maxthreads, 0);
    JEX_DestroySemaphore(release);
}

TEST(Mutex, MutexAndSpinLockProtectCountersUnderContention)
{
    JEX_mutex *m = JEX_CreateMutex();
    ASSERT_NE(m, nullptr);
    constexpr int kThreads = 8, kIncrements = 100000;
    long counter = 0, spun = 0;
    auto worker = [&]() {
        for (int i = 0; i < kIncrements; ++i) {
            if (JEX_mutexP(m) != 0 || ((i & 1) && JEX_mutexP(m) != 0))  // odd passes re-enter
                return -1;
            counter = counter + 1;
            if (((i & 1) && JEX_mutexV(m) != 0) || JEX_mutexV(m) != 0)
                return -1;
        }
        return 0;
    };
    JEX_SpinLock lock = 0;
    EXPECT_TRUE(JEX_AtomicTryLock(&lock));
    EXPECT_FALSE(JEX_AtomicTryLock(&lock));
    JEX_AtomicUnlock(&lock);
    auto spinner = [&]() {
        for (int i = 0; i < kIncrements / 2; ++i) {
            JEX_AtomicLock(&lock);
            spun = spun + 1;
            JEX_AtomicUnlock(&lock);
        }
        return 0;
    };
    JoinThreads(StartThreads(kThreads, worker, spinner));
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kIncrements);
    EXPECT_EQ(spun, static_cast<long>(kThreads) * kIncrements / 2);
    EXPECT_EQ(lock, 0);
    JEX_DestroyMutex(m);
}

TEST(Mutex, OnlyTheOwnerUnlocksAndCondWaitReleasesEveryLevel)
{
    JEX_mutex *m = JEX_CreateMutex();
    JEX_cond *c = JEX_CreateCond();
    ASSERT_TRUE(m && c);
    EXPECT_EQ(JEX_mutexV(m), -1);                 // nobody holds it
    EXPECT_EQ(JEX_CondWaitTimeout(c, m, 1), -1);  // waiting without holding it
    bool flag = false;
    int unlock_foreign = 0;
    auto other = [&]() {
        unlock_foreign = JEX_mutexV(m);
        if (JEX_mutexP(m) != 0)  // gets in only because the waiter released both levels
            return -1;
        flag = true;
        JEX_CondSignal(c);
        return JEX_mutexV(m);
    };
    ASSERT_EQ(JEX_mutexP(m), 0);
    ASSERT_EQ(JEX_mutexP(m), 0);
    const auto t = StartThreads(1, other);
    int rc = 0;
    while (!flag && rc == 0)
        rc = JEX_CondWaitTimeout(c, m, 10000);
    EXPECT_EQ(std::tuple(rc, flag), std::tuple(0, true));
    // Both levels are held again after the wait.
    EXPECT_EQ(JEX_mutexV(m), 0);
    EXPECT_EQ(JEX_mutexV(m), 0);
    EXPECT_EQ(JEX_mutexV(m), -1);
    JoinThreads(t);
    EXPECT_EQ(unlock_foreign, -1);
    JEX_DestroyCond(c);
    JEX_DestroyMutex(m);
    // Null handles fail with a message.
    EXPECT_EQ(JEX_mutexP(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Passed a NULL mutex");
    EXPECT_EQ(JEX_CondSignal(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Passed a NULL condition variable");
    for (int r : {JEX_mutexV(nullptr), JEX_CondBroadcast(nullptr),
                  JEX_CondWaitTimeout(nullptr, nullptr, 1), JEX_SemWait(nullptr),
                  JEX_SemTryWait(nullptr), JEX_SemWaitTimeout(nullptr, 5), JEX_SemPost(nullptr)})
        EXPECT_EQ(r, -1);
    EXPECT_STREQ(JEX_GetError(), "Passed a NULL semaphore");
    EXPECT_EQ(JEX_SemValue(nullptr), 0u);
    JEX_DestroyMutex(nullptr);
    JEX_DestroyCond(nullptr);
    JEX_DestroySemaphore(nullptr);
}

TEST(Semaphore, WaitsAndDestructionWhileInUse)
{
    JEX_sem *s = JEX_CreateSemaphore(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(JEX_SemWaitTimeout(s, 0), JEX_MUTEX_TIMEDOUT);
    EXPECT_EQ(JEX_SemTryWait(s), JEX_MUTEX_TIMEDOUT);
    // A wait whose time runs out reports it, takes nothing and is never cut short.
    const Uint64 t0 = JEX_GetPerformanceCounter();
    EXPECT_EQ(JEX_SemWaitTimeout(s, 30), JEX_MUTEX_TIMEDOUT);
    EXPECT_GE(JEX_GetPerformanceCounter() - t0, 29000u);
    EXPECT_EQ(JEX_SemValue(s), 0u);
    JEX_SemPost(s);
    JEX_SemPost(s);
    EXPECT_EQ(JEX_SemValue(s), 2u);
    EXPECT_EQ(JEX_SemWaitTimeout(s, 0), 0);
    EXPECT_EQ(JEX_SemWaitTimeout(s, 50), 0);
    EXPECT_EQ(JEX_SemValue(s), 0u);
    // A failed try leaves the semaphore usable: a post from another thread wakes a timed waiter.
    EXPECT_EQ(JEX_SemTryWait(s), JEX_MUTEX_TIMEDOUT);
    JEX_Thread *poster = JEX_CreateThread(
        [](void *p) {
            JEX_Delay(20);
            return JEX_SemPost(static_cast<JEX_sem *>(p));
        },
        s);
    EXPECT_EQ(JEX_SemWaitTimeout(s, 10000), 0);
    JoinThreads({poster});
    JEX_DestroySemaphore(s);
    // Deadlines are on the monotonic clock, not the wall clock (decades away).
    timespec mono;
    clock_gettime(CLOCK_MONOTONIC, &mono);
    const timespec deadline = jex::thread::DeadlineAfter(1500);
    const double ahead = static_cast<double>(deadline.tv_sec - mono.tv_sec) +
                         static_cast<double>(deadline.tv_nsec - mono.tv_nsec) / 1e9;
    EXPECT_GE(ahead, 1.5);
    EXPECT_LT(ahead, 86400.0);
    EXPECT_LT(deadline.tv_nsec, 1000000000L);
    // The waiter frees the semaphore on wake-up while the poster may still be in JEX_SemPost.
    for (int i = 0; i < 300; ++i) {
        JEX_sem *once = JEX_CreateSemaphore(0);
        ASSERT_NE(once, nullptr);
        JEX_Thread *t =
            JEX_CreateThread([](void *p) { return JEX_SemPost(static_cast<JEX_sem *>(p)); }, once);
        ASSERT_EQ(JEX_SemWaitTimeout(once, i % 2 ? 10000 : JEX_MUTEX_MAXWAIT), 0);
        JEX_DestroySemaphore(once);
        JoinThreads({t});
    }
    // Destruction releases sleeping waiters (or ones about to sleep).
    s = JEX_CreateSemaphore(0);
    auto wait = [s]() { return JEX_SemWait(s); };
    const auto waiters = StartThreads(3, wait);
    JEX_Delay(20);
    JEX_DestroySemaphore(s);
    JoinThreads(waiters);
}

TEST(Semaphore, ProducersAndConsumersPassEveryItemOnce)
{
    constexpr int kSlots = 16, kProducers = 4, kItemsEach = 20000;  // as many consumers
    struct Ring {
        JEX_sem *free_slots = JEX_CreateSemaphore(kSlots), *filled = JEX_CreateSemaphore(0);
        JEX_mutex *lock = JEX_CreateMutex();
        int items[kSlots] = {};
        int head = 0, tail = 0;
        std::atomic<int> next_producer{0}, consumed_count{0};
        std::atomic<long long> consumed_sum{0};
    } ring;
    ASSERT_TRUE(ring.free_slots && ring.filled && ring.lock);
    auto producer = [&ring]() {
        const int base = ring.next_producer++ * kItemsEach;
        for (int i = 1; i <= kItemsEach; ++i) {
            if (JEX_SemWait(ring.free_slots) != 0)
                return -1;
            JEX_LockMutex(ring.lock);
            ring.items[ring.tail] = base + i;
            ring.tail = (ring.tail + 1) % kSlots;
            JEX_UnlockMutex(ring.lock);
            JEX_SemPost(ring.filled);
        }
        return 0;
    };
    auto consumer = [&ring]() {
        for (int i = 0; i < kItemsEach; ++i) {
            int rc;  // timed waits on a busy semaphore must still deliver every item
            while ((rc = JEX_SemWaitTimeout(ring.filled, 5)) == JEX_MUTEX_TIMEDOUT) {
            }
            if (rc != 0)
                return -1;
            JEX_LockMutex(ring.lock);
            const int item = ring.items[ring.head];
            ring.head = (ring.head + 1) % kSlots;
            JEX_UnlockMutex(ring.lock);
            JEX_SemPost(ring.free_slots);
            ring.consumed_sum += item;
            ring.consumed_count++;
        }
        return 0;
    };
    JoinThreads(StartThreads(kProducers, producer, consumer));
    const long long n = static_cast<long long>(kProducers) * kItemsEach;
    EXPECT_EQ(std::tuple(ring.consumed_count.load(), ring.consumed_sum.load()),
              std::tuple(n, n * (n + 1) / 2));
    EXPECT_EQ(std::tuple(JEX_SemValue(ring.free_slots), JEX_SemValue(ring.filled)),
              std::tuple(Uint32{kSlots}, 0u));
    JEX_DestroySemaphore(ring.free_slots);
    JEX_DestroySemaphore(ring.filled);
    JEX_DestroyMutex(ring.lock);
}

TEST(Cond, SignalBroadcastAndTimeout)
{
    JEX_mutex *m = JEX_CreateMutex();
    JEX_cond *c = JEX_CreateCond();
    ASSERT_TRUE(m && c);
    // A wait nobody signals times out with the mutex held again.
    JEX_LockMutex(m);
    EXPECT_EQ(JEX_CondWaitTimeout(c, m, 20), JEX_MUTEX_TIMEDOUT);
    EXPECT_EQ(JEX_UnlockMutex(m), 0);
    // Broadcast wakes every waiter.
    int generation = 0, woken = 0;
    auto waiter = [&]() {
        JEX_LockMutex(m);
        int rc = 0;
        while (generation == 0 && rc == 0)
            rc = JEX_CondWait(c, m);
        woken += rc == 0;
        JEX_UnlockMutex(m);
        return rc;
    };
    const auto threads = StartThreads(4, waiter);
    JEX_Delay(10);
    JEX_LockMutex(m);
    generation = 1;
    EXPECT_EQ(JEX_CondBroadcast(c), 0);
    JEX_UnlockMutex(m);
    JoinThreads(threads);
    EXPECT_EQ(woken, 4);
    // Ping-pong with signal: strict alternation between two threads.
    int turn = 0, rounds = 0;  // turn 0: main, 1: other
    auto other = [&]() {
        JEX_LockMutex(m);
        for (int i = 0; i < 1000; ++i) {
            while (turn != 1)
                if (JEX_CondWaitTimeout(c, m, 10000) != 0)
                    return JEX_UnlockMutex(m), -1;
            rounds++;
            turn = 0;
            JEX_CondSignal(c);
        }
        return JEX_UnlockMutex(m);
    };
    const auto partner = StartThreads(1, other);
    JEX_LockMutex(m);
    for (int i = 0; i < 1000; ++i) {
        turn = 1;
        JEX_CondSignal(c);
        while (turn != 0)
            ASSERT_EQ(JEX_CondWaitTimeout(c, m, 10000), 0);
    }
    JEX_UnlockMutex(m);
    JoinThreads(partner);
    EXPECT_EQ(rounds, 1000);
    JEX_DestroyCond(c);
    JEX_DestroyMutex(m);
}

}  // namespace
