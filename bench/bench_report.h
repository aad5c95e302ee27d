// Console output plus a record of each benchmark's CPU time per iteration
// (the machine is shared, so wall time carries other processes' load), and
// the RATIO lines `make bench` prints against a peer run in the same process.
#ifndef JEX_BENCH_REPORT_H
#define JEX_BENCH_REPORT_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

class Recorder : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal, so that logs and the RATIO lines stay plain.
    Recorder() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// Peer time over ours; goal 0 marks a figure reported for reference only.
inline void PrintRatio(const Recorder &rec, const char *label, const char *ours, const char *peer,
                       double goal)
{
    const auto o = rec.times.find(ours), p = rec.times.find(peer);
    if (o == rec.times.end() || p == rec.times.end() || o->second <= 0) {
        std::printf("RATIO %s: n/a\n", label);
        return;
    }
    const double ratio = p->second / o->second;
    if (goal > 0)
        std::printf("RATIO %s: %.2f (goal %.1f) %s\n", label, ratio, goal,
                    ratio >= goal ? "met" : "NOT met");
    else
        std::printf("RATIO %s: %.2f (reference, no goal)\n", label, ratio);
}

#endif
