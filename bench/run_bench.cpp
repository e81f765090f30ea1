// Whole runs with every export (--csv --json --plot): the bundled examples
// and the 79-class two-system case over 100 years. The figure that counts
// is the processor time (CPU) per run.
#include <benchmark/benchmark.h>

#include "cases.h"
#include "run/driver.h"

namespace {

void runwithexports(benchmark::State& state, const std::string& dir) {
    kalp::Options all;
    all.csv = all.json = all.plot = true;
    for (auto _ : state)
        kalp::bench::indir(dir, [&] {
            if (kalp::run(all) != 0) state.SkipWithError("the run failed");
        });
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

BENCHMARK_CAPTURE(BM_example, one_system, "one-system")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, one_system_standardised, "one-system-standardised")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, two_systems, "two-systems")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_example, two_systems_dairy_rams, "two-systems-dairy-rams")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_classes79)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
