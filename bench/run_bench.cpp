// Whole runs with every export (--csv --json --plot): the bundled examples
// and the 79-class two-system case over 100 years; the figure that counts
// is the processor time (CPU) per run.
//
// Sweeps of 100 discount rates x 100 periods (1 to 100 years) on the 79-
// class case, against the shell loop that rewrites INPUTVRD01A.TXT and
// INPUTVRD03.TXT and runs kalp once per scenario, on a sample of 200 of the
// 10,000 scenarios; the figures that count are the wall times.
//
// Sweeps over economic values alone, 10,000 and 1,000,000 scenarios (the
// latter writes 2.6 GB of CSV), by the kalp binary: the figure that counts
// is the peak resident memory of that process, which does not grow with the
// number of scenarios.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <vector>

#include "cases.h"
#include "program/kalp.h"
#include "run/sweepargs.h"

extern char** environ;

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

// Runs the kalp binary with `args` on `dir`, its console going nowhere:
// false when it failed; `peak` is its peak resident memory in MB.
bool child(const std::string& dir, const std::vector<std::string>& args, double& peak) {
    std::vector<std::string> argv = {KALP_BINARY, "-C", dir};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> ptrs;
    for (std::string& a : argv)
        ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, ptrs[0], &actions, nullptr, ptrs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return false;
    int status = 0;
    rusage use{};
    if (wait4(pid, &status, 0, &use) != pid) return false;
    peak = static_cast<double>(use.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Two economic values of 100 (1,000) values each: 10,000 (1,000,000)
// scenarios that share one gene flow, split among the workers.
void BM_sweepvalues(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::copyexample(dir, "one-system");
    const std::string range = "1:" + std::to_string(state.range(0)) + ":1";
    std::vector<std::string> args = {"--sweep", "evpA:8=" + range, "--sweep", "evpA:1=" + range};
    if (state.range(1)) args.emplace_back("--plot");
    double peak = 0;
    for (auto _ : state)
        if (!child(dir, args, peak)) state.SkipWithError("the sweep failed");
    state.counters["scenarios"] = static_cast<double>(state.range(0) * state.range(0));
    state.counters["peak_rss_MB"] = peak;
    kalp::bench::removedir(dir);
}

// The chart of a sweep over two economic values keeps a bounded part of
// it: 100,000 values of the first along lines for each of 8 values of the
// second (800,000 scenarios), or heat maps of at most 41 x 31 cells for
// 1,000 x 1,000 values (BM_sweepvalues).
void BM_sweeplines(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::copyexample(dir, "one-system");
    const std::vector<std::string> args = {"--sweep", "evpA:8=1:100000:1", "--sweep",
                                           "evpA:1=1:8:1", "--plot"};
    double peak = 0;
    for (auto _ : state)
        if (!child(dir, args, peak)) state.SkipWithError("the sweep failed");
    state.counters["scenarios"] = 800000;
    state.counters["peak_rss_MB"] = peak;
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
BENCHMARK(BM_sweepvalues)
    ->ArgNames({"values", "plot"})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_sweeplines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
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
