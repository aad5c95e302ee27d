// Uncontended synchronisation costs against raw POSIX threads.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <semaphore.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "JEX_mutex.h"
#include "JEX_thread.h"

namespace {

void BM_JexMutex(benchmark::State &state)
{
    JEX_mutex *m = JEX_CreateMutex();
    for (auto _ : state) {
        JEX_mutexP(m);
        JEX_mutexV(m);
    }
    JEX_DestroyMutex(m);
}
BENCHMARK(BM_JexMutex);

void RawMutex(benchmark::State &state, int type)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, type);
    pthread_mutex_t m;
    pthread_mutex_init(&m, &attr);
    pthread_mutexattr_destroy(&attr);
    for (auto _ : state) {
        pthread_mutex_lock(&m);
        pthread_mutex_unlock(&m);
    }
    pthread_mutex_destroy(&m);
}

// Like for like: the library's mutex is recursive by contract.
void BM_PthreadRecursiveMutex(benchmark::State &state)
{
    RawMutex(state, PTHREAD_MUTEX_RECURSIVE);
}
BENCHMARK(BM_PthreadRecursiveMutex);

void BM_PthreadDefaultMutex(benchmark::State &state)
{
    RawMutex(state, PTHREAD_MUTEX_DEFAULT);
}
BENCHMARK(BM_PthreadDefaultMutex);

void BM_JexSemPostWait(benchmark::State &state)
{
    JEX_sem *s = JEX_CreateSemaphore(0);
    for (auto _ : state) {
        JEX_SemPost(s);
        JEX_SemWait(s);
    }
    JEX_DestroySemaphore(s);
}
BENCHMARK(BM_JexSemPostWait);

void BM_PosixSemPostWait(benchmark::State &state)
{
    sem_t s;
    sem_init(&s, 0, 0);
    for (auto _ : state) {
        sem_post(&s);
        sem_wait(&s);
    }
    sem_destroy(&s);
}
BENCHMARK(BM_PosixSemPostWait);

void BM_JexSpinLock(benchmark::State &state)
{
    JEX_SpinLock lock = 0;
    for (auto _ : state) {
        JEX_AtomicLock(&lock);
        JEX_AtomicUnlock(&lock);
    }
}
BENCHMARK(BM_JexSpinLock);

void BM_PthreadSpinLock(benchmark::State &state)
{
    pthread_spinlock_t lock;
    pthread_spin_init(&lock, PTHREAD_PROCESS_PRIVATE);
    for (auto _ : state) {
        pthread_spin_lock(&lock);
        pthread_spin_unlock(&lock);
    }
    pthread_spin_destroy(&lock);
}
BENCHMARK(BM_PthreadSpinLock);

// Thread start and join round trip, including the start-up handshake.
void BM_JexCreateWaitThread(benchmark::State &state)
{
    for (auto _ : state) {
        JEX_Thread *t = JEX_CreateThread([](void *) { return 0; }, nullptr);
        JEX_WaitThread(t, nullptr);
    }
}
BENCHMARK(BM_JexCreateWaitThread);

void BM_PthreadCreateJoin(benchmark::State &state)
{
    for (auto _ : state) {
        pthread_t t;
        pthread_create(
            &t, nullptr, [](void *) -> void * { return nullptr; }, nullptr);
        pthread_join(t, nullptr);
    }
}
BENCHMARK(BM_PthreadCreateJoin);

// Paired measurement: short alternating bursts of ours and the peer's, so
// that load from other processes hits both alike; the median of the
// per-burst speed ratios is the figure. Thread CPU time skips preemption.
double ThreadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <typename Ours, typename Peer>
double PairedRatio(Ours ours, Peer peer)
{
    constexpr int kBurst = 20000;
    constexpr int kRounds = 301;
    std::vector<double> ratios;
    ratios.reserve(kRounds);
    for (int r = 0; r < kRounds; ++r) {
        const double t0 = ThreadCpuNs();
        for (int i = 0; i < kBurst; ++i)
            ours();
        const double t1 = ThreadCpuNs();
        for (int i = 0; i < kBurst; ++i)
            peer();
        const double t2 = ThreadCpuNs();
        if (t1 > t0 && t2 > t1)
            ratios.push_back((t2 - t1) / (t1 - t0));
    }
    std::sort(ratios.begin(), ratios.end());
    return ratios.empty() ? 0.0 : ratios[ratios.size() / 2];
}

std::map<std::string, double> paired;

void BM_PairedMutexVsPthreadRecursive(benchmark::State &state)
{
    JEX_mutex *m = JEX_CreateMutex();
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_t raw;
    pthread_mutex_init(&raw, &attr);
    pthread_mutexattr_destroy(&attr);
    double ratio = 0;
    for (auto _ : state) {
        ratio = PairedRatio(
            [m] {
                JEX_mutexP(m);
                JEX_mutexV(m);
            },
            [&raw] {
                pthread_mutex_lock(&raw);
                pthread_mutex_unlock(&raw);
            });
    }
    state.counters["ratio_vs_pthread"] = ratio;
    paired["mutex lock/unlock vs pthread recursive mutex (paired)"] = ratio;
    pthread_mutex_destroy(&raw);
    JEX_DestroyMutex(m);
}
BENCHMARK(BM_PairedMutexVsPthreadRecursive)->Iterations(1)->Repetitions(1);

void BM_PairedSemVsPosixSem(benchmark::State &state)
{
    JEX_sem *s = JEX_CreateSemaphore(0);
    sem_t raw;
    sem_init(&raw, 0, 0);
    double ratio = 0;
    for (auto _ : state) {
        ratio = PairedRatio(
            [s] {
                JEX_SemPost(s);
                JEX_SemWait(s);
            },
            [&raw] {
                sem_post(&raw);
                sem_wait(&raw);
            });
    }
    state.counters["ratio_vs_sem_t"] = ratio;
    paired["semaphore post/wait vs POSIX sem_t (paired)"] = ratio;
    sem_destroy(&raw);
    JEX_DestroySemaphore(s);
}
BENCHMARK(BM_PairedSemVsPosixSem)->Iterations(1)->Repetitions(1);

// Keeps each benchmark's CPU time per iteration for the ratio summary (CPU
// time, because on a shared machine wall time mostly measures the neighbours).
// With repetitions the median stands for the benchmark.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns_per_iter;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_.insert(name);
                ns_per_iter[name] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
                ns_per_iter[name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> medians_;
};

void PrintRatio(const RecordingReporter &r, const char *label, const char *ours, const char *peer,
                const char *goal)
{
    auto a = r.ns_per_iter.find(ours);
    auto b = r.ns_per_iter.find(peer);
    if (a == r.ns_per_iter.end() || b == r.ns_per_iter.end() || a->second <= 0)
        return;
    // Speed relative to the peer: above 1 means faster.
    std::printf("RATIO %s: %.2f (%s%s)\n", label, b->second / a->second,
                goal[0] ? "goal >= " : "informational", goal);
}

}  // namespace

int main(int argc, char **argv)
{
    // Several repetitions in shuffled order unless asked otherwise: single
    // runs on a shared machine are too noisy for a ratio.
    std::vector<char *> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=5";
    std::string shuffle = "--benchmark_enable_random_interleaving=true";
    bool has_reps = false;
    for (int i = 1; i < argc; ++i)
        has_reps |= std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!has_reps) {
        args.push_back(reps.data());
        args.push_back(shuffle.data());
    }
    argc = static_cast<int>(args.size());
    args.push_back(nullptr);
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatio(reporter, "mutex lock/unlock vs pthread recursive mutex", "BM_JexMutex",
               "BM_PthreadRecursiveMutex", "0.9");
    PrintRatio(reporter, "mutex lock/unlock vs pthread default mutex", "BM_JexMutex",
               "BM_PthreadDefaultMutex", "");
    PrintRatio(reporter, "semaphore post/wait vs POSIX sem_t", "BM_JexSemPostWait",
               "BM_PosixSemPostWait", "0.9");
    PrintRatio(reporter, "spin lock vs pthread_spin_lock", "BM_JexSpinLock", "BM_PthreadSpinLock",
               "");
    PrintRatio(reporter, "thread create+wait vs pthread_create+join", "BM_JexCreateWaitThread",
               "BM_PthreadCreateJoin", "");
    for (const auto &[label, ratio] : paired)
        std::printf("RATIO %s: %.2f (goal >= 0.9)\n", label.c_str(), ratio);
    return 0;
}
