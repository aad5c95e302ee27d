// Event queue throughput: push+poll pairs on one thread with 0 and 8
// watchers, and 4 producers feeding 1 consumer, with the raw cost of the
// queue's lock beside them.

#include "JEX_events.h"
#include "JEX_mutex.h"
#include "events/events_internal.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

int CountingWatch(void *userdata, JEX_Event *)
{
    static_cast<std::atomic<long> *>(userdata)->fetch_add(1, std::memory_order_relaxed);
    return 1;
}

JEX_Event UserEvent()
{
    JEX_Event e{};
    e.type = JEX_USEREVENT;
    return e;
}

void BM_MutexLockUnlock(benchmark::State &state)
{
    JEX_mutex *m = JEX_CreateMutex();
    for (auto _ : state) {
        JEX_mutexP(m);
        JEX_mutexV(m);
    }
    JEX_DestroyMutex(m);
}
BENCHMARK(BM_MutexLockUnlock);

void BM_PushPoll(benchmark::State &state)
{
    JEX_StartEventLoop();
    std::atomic<long> seen{0};
    const int watchers = static_cast<int>(state.range(0));
    for (int i = 0; i < watchers; ++i)
        JEX_AddEventWatch(CountingWatch, &seen);
    JEX_Event in = UserEvent(), out;
    for (auto _ : state) {
        JEX_PushEvent(&in);
        JEX_PollEvent(&out);
        benchmark::DoNotOptimize(out);
    }
    for (int i = 0; i < watchers; ++i)
        JEX_DelEventWatch(CountingWatch, &seen);
    JEX_StopEventLoop();
    state.counters["pairs_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PushPoll)->Arg(0)->Arg(8);

// Four producers push a fixed number of events each; one consumer drains.
void BM_FourProducersOneConsumer(benchmark::State &state)
{
    constexpr int kPerProducer = 50000;
    JEX_StartEventLoop();
    for (auto _ : state) {
        std::atomic<int> done{0};
        std::vector<std::thread> producers;
        for (int p = 0; p < 4; ++p) {
            producers.emplace_back([&] {
                JEX_Event e = UserEvent();
                for (int i = 0; i < kPerProducer;)
                    if (JEX_PushEvent(&e) == 1)
                        ++i;
                    else
                        std::this_thread::yield();  // ring full
                done.fetch_add(1);
            });
        }
        long consumed = 0;
        JEX_Event out;
        while (consumed < 4L * kPerProducer)
            if (JEX_PollEvent(&out))
                ++consumed;
        for (auto &t : producers)
            t.join();
    }
    JEX_StopEventLoop();
    state.counters["events_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 4 * kPerProducer, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FourProducersOneConsumer)->Unit(benchmark::kMillisecond)->UseRealTime();

class Summary : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs)
            ns_[run.benchmark_name()] =
                run.GetAdjustedCPUTime();  // CPU time: robust on a shared machine
        ConsoleReporter::ReportRuns(runs);
    }
    void Print()
    {
        const double pair0 = ns_["BM_PushPoll/0"], pair8 = ns_["BM_PushPoll/8"];
        const double lock = ns_["BM_MutexLockUnlock"];
        if (pair0 > 0)
            std::printf("RATIO push+poll, no watcher: %.1f M pairs/s (goal >= 10 M); "
                        "raw mutex lock+unlock %.1f ns, pair %.1f ns\n",
                        1e3 / pair0, lock, pair0);
        if (pair8 > 0)
            std::printf("RATIO push+poll, 8 watchers: %.1f M pairs/s\n", 1e3 / pair8);
    }

private:
    std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Summary reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print();
    benchmark::Shutdown();
    return 0;
}
