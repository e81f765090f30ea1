// Draws of uncertain economic values, by the kalp binary; the figures that
// count are the processor time (user and system) and the peak resident
// memory of that process.
//
// kalp index --draws 10000 on the 79-class two-system case over 100 years,
// with an index of all 35 traits (40 components) and every source a trait
// allows on both paths, the ewes on the weights of another traced group
// (a gene flow of their own): 10,000 scenarios, each giving the index of
// both paths its objective. Beside it kalp --draws 10000 alone, and
// 1,000,000 draws of the one-system example, without and with the rows of
// every scenario (--csv, about 6 GB): the memory does not grow with them.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

#include "cases.h"

extern char** environ;

namespace {

// Runs the kalp binary with `args` on `dir`, its console going nowhere:
// false when it failed; its processor time in seconds and its peak
// resident memory in MB.
bool child(const std::string& dir, const std::vector<std::string>& args, double& cpu, double& peak) {
    std::vector<std::string> argv = {KALP_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"-C", dir});
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
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    cpu = seconds(use.ru_utime) + seconds(use.ru_stime);
    peak = static_cast<double>(use.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void put(const std::string& dir, const char* name, const std::string& text) { std::ofstream(dir + "/" + name) << text; }

// KALP's traits with maternal components beside the direct one, and those
// of the ewe.
bool both(int k) { return k == 1 || k == 2 || k == 3 || k == 23 || k == 24; }
bool ewe(int k) { return k == 8 || k == 21 || k == 22 || k >= 26; }

// The index files of every trait, and uncertain economic values of both
// systems, in the 79-class case; the ewes' objective is traced group
// `ewes` (a group of newborn ewes).
void writeindex79(const std::string& dir, int ewes) {
    std::string traits = "trait,sd,h2,h2_maternal,r_direct_maternal,c2,repeatability\n";
    for (int k = 1; k <= 35; ++k)
        traits += std::to_string(k) + "," + std::to_string(1 + 0.1 * k) + "," + std::to_string(0.15 + 0.005 * k) +
                  (both(k) ? ",0.08,-0.2,0.05,0.6\n" : ",,,0.05,0.6\n");
    put(dir, "index-traits.csv", traits);
    std::string correlations = "kind,trait_a,component_a,trait_b,component_b,value\n";
    for (int a = 1; a <= 35; ++a)
        for (int b = a + 1; b <= 35; ++b) {
            const char* ca = ewe(a) ? "maternal" : "direct";
            const char* cb = ewe(b) ? "maternal" : "direct";
            correlations += "genetic," + std::to_string(a) + "," + ca + "," + std::to_string(b) + "," + cb + ",0.1\n";
            correlations += "phenotypic," + std::to_string(a) + ",," + std::to_string(b) + ",,0.1\n";
        }
    put(dir, "index-correlations.csv", correlations);
    std::string sources = "path,source,trait,records\n";
    for (const char* path : {"rams", "ewes"})
        for (int k = 1; k <= 35; ++k)
            for (const char* s : {"own", "dam", "sire", "fullsibs", "halfsibs", "progeny"}) {
                const std::string source = s;
                if (ewe(k) && (source == "sire" || (source == "own" && std::string(path) == "rams"))) continue;
                const int records = source == "halfsibs" ? 30 : source == "progeny" ? 20 : source == "dam" ? 3 : source == "fullsibs" ? 2 : 1;
                sources += std::string(path) + "," + source + "," + std::to_string(k) + "," + std::to_string(records) + "\n";
            }
    put(dir, "index-sources.csv", sources);
    put(dir, "index-selection.csv",
        "path,proportion,traced_group\nrams,0.05,\newes,0.4," + std::to_string(ewes) + "\n");
    std::string values = "system,trait,distribution,a,b\n";
    for (int k = 1; k <= 35; k += 3) {
        values += "A," + std::to_string(k) + ",normal,0.5,\n";
        values += "B," + std::to_string(k) + ",uniform,0," + std::to_string(k % 7 + 1) + "\n";
        values += "Bx," + std::to_string(k) + ",triangular,0,10\n";
    }
    put(dir, "values-uncertainty.csv", values);
}

void BM_indexdraws79(benchmark::State& state, bool index) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::write79(dir, 100);
    // Traced group 8: the newborn ewes of A in the 79-class layout.
    writeindex79(dir, 8);
    std::vector<std::string> args = {"--draws", "10000"};
    if (index) args.insert(args.begin(), "index");
    double cpu = 0, peak = 0;
    for (auto _ : state)
        if (!child(dir, args, cpu, peak)) state.SkipWithError("the draws failed");
    state.counters["cpu_s"] = cpu;
    state.counters["peak_rss_MB"] = peak;
    kalp::bench::removedir(dir);
}

void BM_drawsmillion(benchmark::State& state) {
    const std::string dir = kalp::bench::scratchdir();
    kalp::bench::copyexample(dir, "index");
    std::vector<std::string> args = {"--draws", std::to_string(state.range(0))};
    if (state.range(1)) args.emplace_back("--csv");
    double cpu = 0, peak = 0;
    for (auto _ : state)
        if (!child(dir, args, cpu, peak)) state.SkipWithError("the draws failed");
    state.counters["cpu_s"] = cpu;
    state.counters["peak_rss_MB"] = peak;
    kalp::bench::removedir(dir);
}

BENCHMARK_CAPTURE(BM_indexdraws79, index, true)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_indexdraws79, weights, false)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_drawsmillion)
    ->ArgNames({"draws", "csv"})
    ->Args({10000, 0})
    ->Args({1000000, 0})
    ->Args({10000, 1})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
