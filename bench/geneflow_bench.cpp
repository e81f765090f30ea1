// Times the program's gene-flow loop against the plain row-by-row loop on a
// 79-class two-system matrix over 100,000 years.
#include <benchmark/benchmark.h>

#include "model/geneflow.h"
#include "model/layout.h"
#include "model/matrix.h"
#include "plainflow.h"

namespace {

kalp::Model& model79() {
    static kalp::Model m;
    kalp::reset(m);
    m.prods = 2;
    m.RRA = 5;
    m.ageR11A = 365 * 2;
    m.LLA = 15;
    m.ageE1A = 365;
    m.RRB = 5;
    m.ageR11B = 365;
    m.ageR12A = 365;
    m.LLB = 15;
    m.ageE1B = 365 * 26;
    for (int i = 1; i <= 5; ++i)
        m.l4RA[i] = m.l4RB[i] = 0.2;
    for (int i = 1; i <= 15; ++i) {
        m.l4EA[i] = m.l4EB[i] = 1.0 / 15;
        m.pcrossE[i] = 0.3f;
    }
    m.pgssA = m.pgdsA = m.pgssB = m.pgdsB = 2;
    kalp::layclasses(m);
    kalp::buildtwo(m);
    m.n_sac = 1;
    m.l_inv = 100000;
    m.u = 0.02f;
    return m;
}

void BM_plain(benchmark::State& state) {
    static kalp::Model m;
    for (auto _ : state) {
        m = model79();
        kalp::test::plainflow(m);
        benchmark::DoNotOptimize(m.m_sum[1]);
    }
}

void BM_program(benchmark::State& state) {
    static kalp::Model m;
    for (auto _ : state) {
        m = model79();
        kalp::geneflow(m);
        benchmark::DoNotOptimize(m.m_sum[1]);
    }
}

BENCHMARK(BM_plain)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_program)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
