// Drawn economic values: the generator, the logarithm and the normal
// quantile against references, draws that depend on their seed alone, the
// distributions against their exact quantiles, and the spread of numbers
// over draws, exact and from histograms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/draws.h"
#include "index/normal.h"
#include "index/spread.h"

using namespace kalp;

namespace {

TEST(Draws, TheGeneratorIsSplitMix64) {
    // The first numbers of SplitMix64 from the seeds 0 and 1234567, as its
    // authors' code gives them.
    EXPECT_EQ(splitmix(0, 0), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(splitmix(0, 1), 0x6E789E6AA1B965F4ULL);
    EXPECT_EQ(splitmix(1234567, 0), 6457827717110365317ULL);
    EXPECT_EQ(splitmix(1234567, 1), 3203168211198807973ULL);
    for (const std::uint64_t x : {0ULL, 1ULL, 0xFFFFFFFFFFFFFFFFULL, 0x8000000000000000ULL}) {
        EXPECT_GT(uniform(x), 0);
        EXPECT_LT(uniform(x), 1);
    }
}

TEST(Draws, TheLogarithmAndTheNormalQuantile) {
    for (const double x : {1e-300, 3e-17, 0.001, 0.2, 0.5, 0.7071, 0.99999, 1.0, 1.0000001, 2.0, 10.0, 12345.678,
                           1e200}) {
        const double exact = std::log(x);
        EXPECT_NEAR(logarithm(x), exact, 4e-16 * std::max(1.0, std::fabs(exact))) << x;
    }
    // Against the bisection of the tail of the normal distribution that
    // the index's intensity uses.
    for (const double p : {1e-300, 1e-20, 1e-9, 1e-4, 0.01, 0.025, 0.05, 0.0749, 0.075, 0.2, 0.4999, 0.5, 0.6,
                           0.925, 0.95, 0.99}) {
        const double x = normalquantile(p);
        EXPECT_NEAR(x, -truncationpoint(p), 1e-13 * std::max(1.0, std::fabs(x))) << p;
    }
    EXPECT_EQ(normalquantile(0.5), 0);
    EXPECT_NEAR(normalquantile(0.975), 1.959963984540054, 1e-15);
}

Draws drawsof(std::vector<UncertainValue> values, long long n, std::uint64_t seed) {
    Draws d;
    d.values = std::move(values);
    d.count = n;
    d.seed = seed;
    return d;
}

UncertainValue value(Distribution d, double x, double a, double b = 0, int trait = 8) {
    UncertainValue v;
    v.system = ValueSystem::A;
    v.trait = trait;
    v.distribution = d;
    v.value = x;
    v.a = a;
    v.b = b;
    return v;
}

TEST(Draws, EachDrawDependsOnItsSeedAndNumberAlone) {
    const std::vector<UncertainValue> values = {value(Distribution::normal, 18, 4),
                                                value(Distribution::uniform, 0.5, 0.3, 0.8, 24),
                                                value(Distribution::triangular, 0.9, 0.5, 1.5, 11)};
    const Draws a = drawsof(values, 1000, 7), again = drawsof(values, 1000, 7), other = drawsof(values, 1000, 8);
    // Backwards, as another worker might take them.
    for (long long i = 999; i >= 0; --i) {
        const std::vector<double> x = a.draw(i);
        EXPECT_EQ(x, again.draw(i));
        EXPECT_NE(x, other.draw(i));
        EXPECT_GE(x[1], 0.3f);
        EXPECT_LE(x[1], 0.8f);
        EXPECT_GE(x[2], 0.5f);
        EXPECT_LE(x[2], 1.5f);
        // As the input files would read them: single precision.
        for (const double v : x)
            EXPECT_EQ(v, static_cast<float>(v));
        const std::vector<Change> c = a.changes(i);
        ASSERT_EQ(c.size(), 3u);
        EXPECT_EQ(paramname(*c[2].p, c[2].trait), "evpA:11");
        EXPECT_EQ(c[2].value, x[2]);
    }
}

TEST(Draws, QuantilesOfTheDrawsAreThoseOfTheirDistributions) {
    // Every distribution, its exact 5, 50 and 95 % points and its density
    // there; the quantiles of n draws lie within four standard errors,
    // sqrt(p (1 - p) / n) / density, exactly kept (10000 draws) and from
    // histograms (100000).
    const double z = 1.6448536269514722;
    const double pi = 3.14159265358979323846;
    const double dz = std::exp(-z * z / 2) / std::sqrt(2 * pi);
    const double d0 = 1 / std::sqrt(2 * pi);
    // Triangular 0.5 to 1.5, peak 0.9: F(x) = (x - a)^2 / ((b - a)(c - a)) below the peak.
    auto tri = [](double p) { return p < 0.4 ? 0.5 + std::sqrt(p * 0.4) : 1.5 - std::sqrt((1 - p) * 0.6); };
    auto tridensity = [](double x) { return x < 0.9 ? 2 * (x - 0.5) / 0.4 : 2 * (1.5 - x) / 0.6; };
    const struct {
        const char* what;
        UncertainValue v;
        double q[3], density[3];
    } rows[] = {
        {"normal", value(Distribution::normal, 18, 4), {18 - 4 * z, 18, 18 + 4 * z}, {dz / 4, d0 / 4, dz / 4}},
        {"uniform", value(Distribution::uniform, 0.5, 0.3, 0.8), {0.325, 0.55, 0.775}, {2, 2, 2}},
        {"triangular", value(Distribution::triangular, 0.9, 0.5, 1.5),
         {tri(0.05), tri(0.5), tri(0.95)},
         {tridensity(tri(0.05)), tridensity(tri(0.5)), tridensity(tri(0.95))}},
    };
    const double ps[3] = {0.05, 0.5, 0.95};
    for (const auto& row : rows)
        for (const long long n : {10000LL, 100000LL}) {
            SCOPED_TRACE(std::string(row.what) + " " + std::to_string(n));
            const Draws d = drawsof({row.v}, n, 11);
            Spread s(1);
            for (long long i = 0; i < n; ++i)
                s.add(d.draw(i).data());
            EXPECT_EQ(s.exact(), n <= 16384);
            for (int k = 0; k < 3; ++k) {
                const double se = std::sqrt(ps[k] * (1 - ps[k]) / static_cast<double>(n)) / row.density[k];
                EXPECT_NEAR(s.quantile(0, ps[k]), row.q[k], 4 * se) << ps[k];
            }
        }
}

// The quantile of type 7 of sorted values.
double type7(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double h = static_cast<double>(v.size() - 1) * p;
    const size_t lo = static_cast<size_t>(std::floor(h)), hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (h - static_cast<double>(lo)) * (v[hi] - v[lo]);
}

TEST(Draws, TheSpreadOfNumbersIsExactWhileItKeepsThemAndCloseAfter) {
    // Three columns: uneven values, a value that is always the same, and
    // one that only every third draw gives.
    const size_t kept = 500, bins = 200;
    Spread exact(3), histogram(3, kept, bins);
    std::vector<double> a, c;
    for (int i = 0; i < 3000; ++i) {
        const double x = std::pow(uniform(splitmix(3, static_cast<std::uint64_t>(i))), 3) * 100 - 20;
        const double row[3] = {x, 2.5, i % 3 == 0 ? x / 2 : std::nan("")};
        exact.add(row);
        histogram.add(row);
        a.push_back(x);
        if (i % 3 == 0) c.push_back(x / 2);
    }
    EXPECT_TRUE(exact.exact());
    EXPECT_FALSE(histogram.exact());
    EXPECT_EQ(exact.count(2), 1000);
    const double mean = std::accumulate(a.begin(), a.end(), 0.0) / static_cast<double>(a.size());
    double ss = 0;
    for (const double x : a)
        ss += (x - mean) * (x - mean);
    EXPECT_NEAR(histogram.mean(0), mean, 1e-12 * 100);
    EXPECT_NEAR(histogram.sd(0), std::sqrt(ss / 2999), 1e-11);
    // The range of the first 500 draws, widened by a fifth on each side,
    // in 200 cells: a quantile within a cell of the exact one.
    const auto [lo, hi] = std::minmax_element(a.begin(), a.begin() + kept);
    const double cell = (*hi - *lo) * 1.4 / bins;
    for (const double p : {0.0, 0.01, 0.05, 0.25, 0.5, 0.95, 0.999, 1.0}) {
        EXPECT_EQ(exact.quantile(0, p), type7(a, p)) << p;
        EXPECT_NEAR(histogram.quantile(0, p), type7(a, p), cell) << p;
        EXPECT_EQ(histogram.quantile(1, p), 2.5) << p;
        EXPECT_NEAR(histogram.quantile(2, p), type7(c, p), cell / 2) << p;
    }
    EXPECT_EQ(histogram.quantile(0, 0), *std::min_element(a.begin(), a.end()));
    EXPECT_EQ(histogram.quantile(0, 1), *std::max_element(a.begin(), a.end()));
}

} // namespace
