// Timer lateness: how long after its due time a callback runs, with 1, 100
// and 1,000 timers live at once, beside a raw thread sleeping to absolute
// deadlines with clock_nanosleep (the best a sleeping thread can do).
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <vector>

#include "JEX_mutex.h"
#include "JEX_timer.h"
#include "timer/timer_internal.h"

namespace {

struct Lateness {
    double median_us = 0;
    double p99_us = 0;
};
std::map<int, Lateness> results;
Lateness raw_result;

Lateness Summarise(std::vector<double> &samples)
{
    Lateness l;
    if (samples.empty())
        return l;
    std::sort(samples.begin(), samples.end());
    l.median_us = samples[samples.size() / 2];
    l.p99_us = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    return l;
}

struct Shot {
    Uint64 due_us;  // counter at adding + interval
    double *lateness_us;
    std::atomic<int> *left;
    JEX_sem *done;
};

Uint32 RecordLateness(Uint32, void *param)
{
    auto *shot = static_cast<Shot *>(param);
    const Uint64 now = JEX_GetPerformanceCounter();
    *shot->lateness_us = static_cast<double>(static_cast<Sint64>(now - shot->due_us));
    if (--*shot->left == 0)
        JEX_SemPost(shot->done);
    return 0;
}

// One round: `count` one-shot timers with due times spread over 50 ms.
void BM_TimerLateness(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    JEX_TimerInit();
    JEX_sem *done = JEX_CreateSemaphore(0);
    std::vector<double> samples;
    std::vector<Shot> shots(count);
    std::vector<double> lateness(count);
    for (auto _ : state) {
        std::atomic<int> left{count};
        for (int i = 0; i < count; ++i) {
            const Uint32 interval = 10 + static_cast<Uint32>((i * 7919) % 50);
            shots[i] = Shot{JEX_GetPerformanceCounter() + interval * Uint64{1000}, &lateness[i],
                            &left, done};
            JEX_AddTimer(interval, RecordLateness, &shots[i]);
        }
        JEX_SemWait(done);
        samples.insert(samples.end(), lateness.begin(), lateness.end());
    }
    const Lateness l = Summarise(samples);
    results[count] = l;
    state.counters["median_late_us"] = l.median_us;
    state.counters["p99_late_us"] = l.p99_us;
    JEX_DestroySemaphore(done);
    JEX_TimerQuit();
}
BENCHMARK(BM_TimerLateness)->Arg(1)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerLateness)->Arg(100)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimerLateness)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond);

// The peer: a thread that sleeps to each deadline itself.
void BM_RawNanosleepLateness(benchmark::State &state)
{
    std::vector<double> samples;
    for (auto _ : state) {
        const Uint32 interval = 10 + static_cast<Uint32>((samples.size() * 7919) % 50);
        const Uint64 due = JEX_GetPerformanceCounter() + interval * Uint64{1000};
        timespec deadline;
        deadline.tv_sec = static_cast<time_t>(due / 1000000);
        deadline.tv_nsec = static_cast<long>(due % 1000000) * 1000;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
        }
        samples.push_back(
            static_cast<double>(static_cast<Sint64>(JEX_GetPerformanceCounter() - due)));
    }
    raw_result = Summarise(samples);
    state.counters["median_late_us"] = raw_result.median_us;
    state.counters["p99_late_us"] = raw_result.p99_us;
}
BENCHMARK(BM_RawNanosleepLateness)->Iterations(200)->Unit(benchmark::kMillisecond);

// Cost of adding and removing a timer, with 1,000 others live.
void BM_AddRemoveTimer(benchmark::State &state)
{
    JEX_TimerInit();
    std::vector<JEX_TimerID> background;
    auto never = [](Uint32, void *) -> Uint32 { return 0; };
    for (int i = 0; i < 1000; ++i)
        background.push_back(JEX_AddTimer(1000000, never, nullptr));
    for (auto _ : state) {
        JEX_TimerID id = JEX_AddTimer(1000000, never, nullptr);
        JEX_RemoveTimer(id);
    }
    for (JEX_TimerID id : background)
        JEX_RemoveTimer(id);
    JEX_TimerQuit();
}
BENCHMARK(BM_AddRemoveTimer);

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The timer clock counts whole milliseconds, so a timer may run up to
    // 1 ms before the exact microsecond its interval ends (negative lateness).
    std::printf("TIMER raw clock_nanosleep thread: median %.0f us, p99 %.0f us\n",
                raw_result.median_us, raw_result.p99_us);
    for (const auto &[count, l] : results) {
        std::printf("TIMER %d timers: median lateness %.0f us, p99 %.0f us "
                    "(raw sleeper: median %.0f us, p99 %.0f us)\n",
                    count, l.median_us, l.p99_us, raw_result.median_us, raw_result.p99_us);
    }
    return 0;
}
