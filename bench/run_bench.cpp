// Whole runs with every export (--csv --json --plot): the bundled examples
// and the 79-class two-system case over 100 years; the figure that counts
// is the processor time (CPU) per run.
//
// Sweeps of 100 discount rates x 100 periods (1 to 100 years) on the 79-
// class case, against the shell loop that rewrites INPUTVRD01A.TXT and
// INPUTVRD03.TXT and runs kalp once per scenario, on a sample of 200 of the
// 10,000 scenarios; the figures that count are the wall times.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>

#include "cases.h"
#include "program/kalp.h"
#include "run/sweepargs.h"

namespace {

// The whole program on the folder `dir`, its console kept in memory.
int inprocess(const std::string& dir, const kalp::Options& options) {
    kalp::DiskFolder folder(dir);
    kalp::MemoryConsole console;
    return kalp::kalp(folder, console, options);
}

void runwithexports(benchmark::State& state, const std::string& dir) {
    kalp::Options all;
    all.csv = all.json = all.plot = true;
    for (auto _ : state)
        if (inprocess(dir, all) != 0) state.SkipWithError("the run failed");
}

void BM_example(benchmark::State& state, const char* name) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::copyexample(dir, name);
    runwithexports(state, dir);
    kalp::bench::removedir(dir);
}

void BM_classes79(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::write79(dir, 100);
    runwithexports(state, dir);
    kalp::bench::removedir(dir);
}

void BM_sweep10000(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::write79(dir, 100);
    kalp::Options sweep;
    sweep.sweeps = {kalp::parsesweep("u=0:0.099:0.001"), kalp::parsesweep("l_inv=1:100:1")};
    for (auto _ : state)
        if (inprocess(dir, sweep) != 0) state.SkipWithError("the sweep failed");
    state.counters["scenarios"] = 10000;
    kalp::bench::removedir(dir);
}

// One gene flow of 100,000 years serving 100,000 scenarios, one per period:
// the rows go to their files as they come, so the process stays small. The
// counter is the peak resident memory of the whole benchmark process.
void BM_sweepperiods100000(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::write79(dir, 100);
    kalp::Options sweep;
    sweep.sweeps = {kalp::parsesweep("l_inv=1:100000:1")};
    for (auto _ : state)
        if (inprocess(dir, sweep) != 0) state.SkipWithError("the sweep failed");
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    state.counters["peak_rss_MB"] = static_cast<double>(use.ru_maxrss) / 1024.0;
    kalp::bench::removedir(dir);
}

void BM_shellloop200(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::write79(dir, 100);
    const std::string run = "cd '" + dir + "' && '" KALP_BINARY "' > /dev/null";
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i) {
            // Every 50th scenario of the sweep, in the same order.
            const int scenario = i * 50, u = scenario / 100, years = scenario % 100 + 1;
            char text[16];
            std::snprintf(text, sizeof text, "0.%03d", u);
            kalp::bench::write79scenario(dir, text, years);
            if (std::system(run.c_str()) != 0) state.SkipWithError("a run failed");
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // The time the loop would take for all 10,000 scenarios.
    state.counters["all_10000_s"] = seconds * 50;
    kalp::bench::removedir(dir);
}

BENCHMARK(BM_sweep10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_sweepperiods100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_shellloop200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_example, one_system, "one-system")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, one_system_standardised, "one-system-standardised")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, two_systems, "two-systems")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, two_systems_dairy_rams, "two-systems-dairy-rams")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_classes79)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
