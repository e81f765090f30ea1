// The selection index at its largest: an objective of 70 components (35
// lamb traits with direct and maternal effects) with all six sources of
// every trait on both paths, 210 sources a path; the figure that counts is
// the processor time (CPU) of the whole index. Beside it, the index of a
// computed path evaluated for new economic weights, as draws of uncertain
// economic values do it many times.
#include <benchmark/benchmark.h>

#include <string>

#include "index/index.h"
#include "index/worth.h"

namespace {

kalp::IndexInputs largest() {
    using namespace kalp;
    IndexInputs in;
    const int traits = 35;
    for (int k = 1; k <= traits; ++k) {
        IndexTrait t;
        t.name = std::to_string(k);
        t.number = k;
        t.sd = 1 + 0.1 * k;
        t.h2 = 0.2 + 0.005 * k;
        t.h2m = 0.1;
        t.rdm = -0.2;
        t.c2 = 0.05;
        t.repeatability = 0.5;
        in.data.traits.push_back(t);
    }
    for (int a = 0; a < traits; ++a)
        for (int b = a + 1; b < traits; ++b) {
            in.data.genetic.push_back({a, Effect::direct, b, Effect::direct, 0.2});
            in.data.genetic.push_back({a, Effect::maternal, b, Effect::maternal, 0.2});
            in.data.genetic.push_back({a, Effect::direct, b, Effect::maternal, -0.04});
            in.data.genetic.push_back({a, Effect::maternal, b, Effect::direct, -0.04});
            in.data.phenotypic.push_back({a, b, 0.2});
            in.data.litter.push_back({a, b, 0.1});
        }
    const struct {
        Source s;
        int records;
    } sources[] = {{Source::own, 1},      {Source::dam, 3},      {Source::sire, 1},
                   {Source::fullsibs, 2}, {Source::halfsibs, 30}, {Source::progeny, 20}};
    for (const Path p : {Path::rams, Path::ewes}) {
        for (const auto& s : sources)
            for (int t = 0; t < traits; ++t)
                in.data.sources.push_back({p, s.s, t, s.records});
        Selection sel;
        sel.path = p;
        sel.proportion = p == Path::rams ? 0.05 : 0.4;
        in.data.selection.push_back(sel);
    }
    for (ObjectiveWeights& w : in.weights)
        for (int k = 1; k <= traits; ++k) {
            w.direct[k] = k % 3 == 0 ? -1.0 / k : 2.0 / k;
            w.maternal[k] = 0.5 / k;
        }
    in.interval[0] = 2.5;
    in.interval[1] = 3.5;
    return in;
}

void BM_index70(benchmark::State& state) {
    const kalp::IndexInputs in = largest();
    for (auto _ : state) {
        const kalp::IndexResult r = kalp::computeindex(in);
        benchmark::DoNotOptimize(r.yearresponse);
        if (r.paths.size() != 2 || r.components.size() != 70 || r.paths[0].sources.size() != 210)
            state.SkipWithError("not the index of 70 components and 210 sources a path");
    }
}

void BM_reweigh70(benchmark::State& state) {
    const kalp::IndexResult r = kalp::computeindex(largest());
    Eigen::VectorXd v = r.paths[0].v;
    double sum = 0;
    for (auto _ : state) {
        v(0) += 1e-3;
        sum += kalp::evaluate(r.paths[0], v).response;
    }
    benchmark::DoNotOptimize(sum);
}

// What the report adds to the index: the value of each of the 420 sources
// (without it and with one more record) and the sensitivity to each of the
// 140 economic weights.
void BM_worth70(benchmark::State& state) {
    const kalp::IndexInputs in = largest();
    const kalp::IndexResult r = kalp::computeindex(in);
    for (auto _ : state) {
        const std::vector<kalp::SourceValue> values = kalp::sourcevalues(in.data, r);
        const std::vector<kalp::Sensitivity> sensitivity = kalp::sensitivities(r);
        benchmark::DoNotOptimize(values.data());
        if (values.size() != 420 || sensitivity.size() != 140) state.SkipWithError("not every source and weight");
    }
}

// The index restricted to hold five components, on top of the index.
void BM_restricted70(benchmark::State& state) {
    kalp::IndexInputs in = largest();
    for (int t = 0; t < 5; ++t)
        in.held.push_back({t, kalp::Effect::direct});
    for (auto _ : state) {
        const kalp::IndexResult r = kalp::computeindex(in);
        benchmark::DoNotOptimize(r.restricted.data());
    }
}

} // namespace

BENCHMARK(BM_index70)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reweigh70)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_worth70)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_restricted70)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
