// Drawn scenarios: economic values drawn from their distributions
// (values-uncertainty.csv), each draw a scenario of a sweep whose gene flow
// the draws share. The draws are the same bits on every platform for the
// same seed: SplitMix64 (Steele, Lea and Flood 2014), whose k-th number is a
// function of the seed and k alone, so that a draw does not depend on
// which worker computes it; uniform values in (0, 1) from its upper 52
// bits; normal values by the inverse of the normal distribution (Wichura's
// algorithm AS 241) with a logarithm of our own, all from additions,
// multiplications, divisions and square roots (the C library's log, exp
// and the standard library's distributions differ between systems).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/parameters.h"
#include "input/uncertainty.h"

namespace kalp {

// The most draws a run takes.
constexpr long long mostdraws = 10000000;

// The k-th number of SplitMix64 from `seed`, k = 0, 1, 2, ...
std::uint64_t splitmix(std::uint64_t seed, std::uint64_t k);
// A uniform value in (0, 1) from a number: never 0, never 1.
double uniform(std::uint64_t x);
// The natural logarithm of x > 0, within an ulp or two.
double logarithm(double x);
// The value that a proportion p of the standard normal distribution lies
// below, 0 < p < 1 (AS 241, to about 1e-16).
double normalquantile(double p);

struct Draws {
    std::vector<UncertainValue> values;
    long long count = 0;
    std::uint64_t seed = 1;
    // The values of draw `i` (0-based) in the order of `values`, each as the
    // input files would read it: a single-precision value.
    std::vector<double> draw(long long i) const;
    // The same as the changes of a scenario.
    std::vector<Change> changes(long long i) const;
};

} // namespace kalp
