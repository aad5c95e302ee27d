// A log call below its category's threshold must cost about as much as a
// plain function call: nothing is formatted, nothing is locked.

#include "JEX_log.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

__attribute__((noinline)) void EmptyCall(int category, const char *fmt, ...)
{
    benchmark::DoNotOptimize(category);
    benchmark::DoNotOptimize(fmt);
}

void BM_EmptyFunction(benchmark::State &state)
{
    for (auto _ : state)
        EmptyCall(JEX_LOG_CATEGORY_VIDEO, "frame %d took %f ms (%s)", 42, 3.5, "slow");
}
BENCHMARK(BM_EmptyFunction);

void BM_FilteredLog(benchmark::State &state)
{
    JEX_LogResetPriorities();
    for (auto _ : state)
        JEX_LogDebug(JEX_LOG_CATEGORY_VIDEO, "frame %d took %f ms (%s)", 42, 3.5, "slow");
}
BENCHMARK(BM_FilteredLog);

void BM_FilteredLogCustomCategory(benchmark::State &state)
{
    JEX_LogResetPriorities();
    JEX_LogSetPriority(123456, JEX_LOG_PRIORITY_ERROR);
    for (auto _ : state)
        JEX_LogDebug(123456, "frame %d took %f ms (%s)", 42, 3.5, "slow");
    JEX_LogResetPriorities();
}
BENCHMARK(BM_FilteredLogCustomCategory);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs)
            ns_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Summary()
    {
        const double empty = ns_["BM_EmptyFunction"];
        if (empty <= 0)
            return;
        std::printf("RATIO filtered log call vs empty function call: %.2fx the time "
                    "(goal: same order, no formatting)\n",
                    ns_["BM_FilteredLog"] / empty);
        std::printf("RATIO filtered log call, category outside the fast table: %.2fx\n",
                    ns_["BM_FilteredLogCustomCategory"] / empty);
    }

private:
    std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Summary();
    benchmark::Shutdown();
    return 0;
}
