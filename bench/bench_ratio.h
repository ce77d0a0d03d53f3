// The console output of Google Benchmark, plus the mean figures of every benchmark, for the
// closing lines that set a measurement against the baseline of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qm::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports) {
            // Each repetition, or only their mean when the runs themselves are not reported.
            const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !mean))
                continue;
            Mean& m = (mean ? aggregated_ : runs_)[run.run_name.function_name];
            m.seconds += run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                m.rate += it->second.value;
            ++m.n;
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // Throughput as a share of the baseline's: "what  55.0% of baseline (r vs b MB/s)".
    void print_ratio(const char* what, const char* name, const char* baseline) const
    {
        const double r = find(name).rate, b = find(baseline).rate;
        if (r > 0 && b > 0)
            std::printf("%-28s %6.1f%% of %s (%.0f vs %.0f MB/s)\n", what, 100.0 * r / b, baseline,
                        r / 1e6, b / 1e6);
    }

    // Time per iteration over the baseline's; 0 when either did not run. CPU time, not wall time:
    // on a busy machine the wall clock also counts the time other processes had the processor.
    double time_ratio(const char* name, const char* baseline) const
    {
        const double t = find(name).seconds, b = find(baseline).seconds;
        return t > 0 && b > 0 ? t / b : 0;
    }

    // "what  3.20 x baseline (t vs b ms of CPU time)".
    void print_time_ratio(const char* what, const char* name, const char* baseline) const
    {
        const double ratio = time_ratio(name, baseline);
        if (ratio > 0)
            std::printf("%-24s %6.2f x %s (%.1f vs %.1f ms of CPU time)\n", what, ratio, baseline,
                        1e3 * find(name).seconds, 1e3 * find(baseline).seconds);
    }

private:
    struct Mean {
        double seconds = 0; // of CPU time per iteration
        double rate = 0;    // bytes per second, when the benchmark counts bytes
        int n = 0;
    };
    // The mean over the runs of one benchmark: its own repetitions when they were reported,
    // else the mean that Google Benchmark aggregated.
    Mean find(const char* name) const
    {
        for (const auto* means : {&runs_, &aggregated_}) {
            const auto it = means->find(name);
            if (it != means->end() && it->second.n > 0) {
                const Mean& m = it->second;
                return Mean{m.seconds / m.n, m.rate / m.n, 1};
            }
        }
        return Mean{};
    }
    std::map<std::string, Mean> runs_;
    std::map<std::string, Mean> aggregated_;
};

// Runs the registered benchmarks with the command line's options, reporting in plain text (the
// closing ratios are read by people and scripts). False when the command line holds options
// Google Benchmark does not know.
inline bool run_benchmarks(int& argc, char** argv, RatioReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    std::printf("\n");
    return true;
}

} // namespace qm::bench
