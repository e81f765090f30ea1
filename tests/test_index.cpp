// The selection index's model on inputs in memory: published examples,
// the invariants of every index, the relationships of the standard
// pedigree and the normal distribution behind the intensity.
#include <gtest/gtest.h>

#include <cmath>

#include "core/stop.h"
#include "index/covariance.h"
#include "index/index.h"
#include "index/normal.h"
#include "index/pedigree.h"
#include "indexcases.h"

using namespace kalp;
using namespace kalp::test;

namespace {

TEST(Index, VanDerWerfWeightAndFeedIntake) {
    // Own records of body weight (h2 0.40, sd 17) and feed intake (h2 0.25,
    // sd 2), genetic correlation 0.5, phenotypic 0.2; H = weight - 4 feed.
    IndexInputs in;
    in.data.traits = {lambtrait("4", 4, 17, 0.40), lambtrait("10", 10, 2, 0.25)};
    in.data.genetic = {{0, Effect::direct, 1, Effect::direct, 0.5}};
    in.data.phenotypic = {{0, 1, 0.2}};
    in.data.sources = {{Path::rams, Source::own, 0, 1}, {Path::rams, Source::own, 1, 1}};
    in.data.selection = {intensityof(Path::rams, 1)};
    in.weights[0].direct[4] = 1;
    in.weights[0].direct[10] = -4;
    const IndexResult r = computeindex(in);
    ASSERT_EQ(r.paths.size(), 1u);
    const PathIndex& p = r.paths[0];
    // His covariance of 5.38 (printed 5.68 in the text, used as 5.38).
    EXPECT_NEAR(p.G(0, 1), 5.376, 1e-3);
    EXPECT_NEAR(p.at.b(0), 0.331, 5e-4);
    EXPECT_NEAR(p.at.b(1), -0.218, 5e-4);
    EXPECT_NEAR(p.at.sdindex * p.at.sdindex, 30.82, 5e-3);
    EXPECT_NEAR(p.at.accuracy, 0.59, 5e-3);
}

} // namespace

namespace {

// One trait, one kind of source on the rams path, objective its direct
// value with weight 1.
PathIndex single(const IndexTrait& t, Source s, int records, double i = 1) {
    IndexInputs in;
    in.data.traits = {t};
    in.data.sources = {{Path::rams, s, 0, records}};
    in.data.selection = {intensityof(Path::rams, i)};
    in.weights[0].direct[t.number] = 1;
    return computeindex(in).paths.at(0);
}

TEST(Index, TextbookAccuracies) {
    // Progeny tests: sqrt(n / (n + a)), a = (4 - h2) / h2; n own records:
    // sqrt(n h2 / (1 + (n - 1) r)); a parent's, half of that; sib means.
    const struct {
        Source source;
        double h2, repeatability;
        int n;
        double accuracy;
    } rows[] = {
        {Source::progeny, 0.25, -1, 1, std::sqrt(1 / (1 + 15.0))},
        {Source::progeny, 0.25, -1, 20, std::sqrt(20 / (20 + 15.0))},
        {Source::progeny, 0.1, -1, 50, std::sqrt(50 / (50 + 39.0))},
        {Source::progeny, 0.5, -1, 1000, std::sqrt(1000 / (1000 + 7.0))},
        {Source::own, 0.3, -1, 1, std::sqrt(0.3)},
        {Source::own, 0.04, -1, 1, 0.2},
        {Source::own, 0.3, 0.5, 4, std::sqrt(4 * 0.3 / (1 + 3 * 0.5))},
        {Source::sire, 0.3, -1, 1, 0.5 * std::sqrt(0.3)},
        {Source::dam, 0.3, 0.6, 3, 0.5 * std::sqrt(3 * 0.3 / (1 + 2 * 0.6))},
        // The mean of n sibs: r = a h sqrt(n / (1 + (n - 1) a h2)), a = 1/2 or 1/4.
        {Source::fullsibs, 0.3, -1, 10, 0.5 * std::sqrt(0.3 * 10 / (1 + 9 * 0.15))},
        {Source::halfsibs, 0.3, -1, 40, 0.25 * std::sqrt(0.3 * 40 / (1 + 39 * 0.075))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(sourcename(row.source)) + " " + std::to_string(row.n));
        const PathIndex p =
            single(lambtrait("4", 4, 2.5, row.h2, 0, 0, 0, row.repeatability), row.source, row.n);
        EXPECT_NEAR(p.at.accuracy, row.accuracy, 1e-12);
        // One source: var(I) = b^2 var(x), response = i sd(I).
        EXPECT_NEAR(p.at.sdindex, std::fabs(p.at.b(0)) * p.sourcesd(0), 1e-12);
        EXPECT_NEAR(p.at.response, p.at.sdindex, 1e-12);
    }
}

TEST(Index, EveryIndexKeepsItsInvariants) {
    // A sheep case with lamb traits with maternal effects, a trait of the
    // ewe and a trait only recorded, every source on both paths: v'dG =
    // dH, accuracy at most 1, P b = G v, dH = i sd(I).
    IndexInputs in;
    in.data.traits = {lambtrait("3", 3, 4.0, 0.25, 0.12, -0.3, 0.15, 0.6),
                      ewetrait("8", 8, 0.6, 0.1, 0.0, 0.15),
                      lambtrait("fat", 0, 1.2, 0.35, 0, 0, 0.05, 0.6),
                      lambtrait("12", 12, 0.5, 0.35, 0, 0, 0.05, 0.6)};
    in.data.genetic = {{0, Effect::maternal, 1, Effect::maternal, 0.2},
                       {0, Effect::direct, 2, Effect::direct, 0.3},
                       {2, Effect::direct, 3, Effect::direct, -0.2}};
    in.data.phenotypic = {{0, 2, 0.3}, {0, 1, 0.1}, {2, 3, -0.1}, {0, 3, 0.2}};
    in.data.litter = {{0, 2, 0.4}};
    for (const Path path : {Path::rams, Path::ewes})
        for (const Source s : {Source::own, Source::dam, Source::sire, Source::fullsibs,
                               Source::halfsibs, Source::progeny})
            for (int t = 0; t < 4; ++t) {
                const bool ram = path == Path::rams && s == Source::own;
                if (t == 1 && (ram || s == Source::sire)) continue; // no ram has a litter
                in.data.sources.push_back({path, s, t, s == Source::progeny ? 12 : 2});
            }
    in.data.selection = {intensityof(Path::rams, 2.0), intensityof(Path::ewes, 0.8)};
    for (ObjectiveWeights& w : in.weights) {
        w.direct[3] = 1.5;
        w.maternal[3] = 0.8;
        w.maternal[8] = 20;
        w.direct[12] = 4;
    }
    in.interval[0] = 2.5;
    in.interval[1] = 3.5;
    const IndexResult r = computeindex(in);
    ASSERT_EQ(r.paths.size(), 2u);
    for (const PathIndex& p : r.paths) {
        SCOPED_TRACE(pathname(p.path));
        EXPECT_EQ(p.P.rows(), static_cast<Eigen::Index>(p.sources.size()));
        EXPECT_EQ(p.G.cols(), 5); // 3 direct and maternal, 8, fat, 12
        EXPECT_NEAR(p.v.dot(p.at.gain), p.at.response, 1e-10 * p.at.response);
        EXPECT_NEAR(p.at.response, p.intensity * p.at.sdindex, 1e-12);
        EXPECT_LE(p.at.accuracy, 1.0);
        EXPECT_GT(p.at.accuracy, 0.3);
        EXPECT_LT((p.P * p.at.b - p.G * p.v).norm(), 1e-9 * (p.G * p.v).norm());
        EXPECT_NEAR(p.at.sdindex * p.at.sdindex, p.at.b.dot(p.P * p.at.b), 1e-9);
        // The recorded-only trait has no weight but responds.
        EXPECT_EQ(p.v(3), 0);
        EXPECT_NE(p.at.gain(3), 0);
    }
    EXPECT_TRUE(r.peryear);
    EXPECT_NEAR(r.yearresponse, (r.paths[0].at.response + r.paths[1].at.response) / 6.0, 1e-12);
    EXPECT_NEAR(r.yeargain(1), (r.paths[0].at.gain(1) + r.paths[1].at.gain(1)) / 6.0, 1e-12);
    // Another objective on the same index: evaluate gives what a new index gives.
    Eigen::VectorXd v = r.paths[0].v;
    v(0) = -2;
    in.weights[0].direct[3] = -2;
    const IndexResult again = computeindex(in);
    const Evaluation e = evaluate(r.paths[0], v);
    EXPECT_NEAR(e.response, again.paths[0].at.response, 1e-10);
    EXPECT_NEAR(e.accuracy, again.paths[0].at.accuracy, 1e-12);
    EXPECT_LT((e.b - again.paths[0].at.b).norm(), 1e-10);
}

TEST(Index, RelationshipsOfTheStandardPedigree) {
    const Relationships& a = relationships();
    const struct {
        Animal x, y;
        double r;
    } rows[] = {
        {candidate, candidate, 1},    {candidate, sire, 0.5},      {candidate, dam, 0.5},
        {candidate, damofdam, 0.25},  {candidate, sireofsire, 0.25}, {candidate, fullsib1, 0.5},
        {fullsib1, fullsib2, 0.5},    {candidate, halfsib1, 0.25}, {halfsib1, halfsib2, 0.25},
        {halfsib1, fullsib1, 0.25},   {candidate, progeny1, 0.5},  {progeny1, progeny2, 0.25},
        {progeny1, sire, 0.25},       {progeny1, damofdam, 0.125}, {halfsib1, dam, 0},
        {sire, dam, 0},               {mate1, candidate, 0},       {progeny1, mate1, 0.5},
        {halfdam1, halfsib1, 0.5},    {progeny2, fullsib1, 0.25},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(a.a[row.x][row.y], row.r) << row.x << " " << row.y;
        EXPECT_EQ(a.a[row.y][row.x], row.r);
    }
    for (int i = 0; i < animals; ++i)
        EXPECT_EQ(a.a[i][i], 1) << i; // no inbreeding
}

TEST(Index, IntensityOfTruncationSelection) {
    // Falconer and Mackay's table: p 0.5, 0.2, 0.1, 0.05, 0.01, 0.001.
    const struct {
        double p, i;
    } rows[] = {{0.5, 0.797884560802865}, {0.2, 1.39981}, {0.1, 1.75498}, {0.05, 2.06271},
                {0.01, 2.66521},          {0.001, 3.36709}, {1, 0}};
    for (const auto& row : rows)
        EXPECT_NEAR(intensity(row.p), row.i, 1e-5) << row.p;
    // Against the C library, over the whole range.
    for (double x = -8; x <= 8; x += 0.0625) {
        const double tail = 0.5 * std::erfc(x / std::sqrt(2.0));
        // The rounding of x * x grows with x in the density.
        EXPECT_NEAR(uppertail(x), tail, 4e-15 * (1 + x * x) * tail) << x;
        EXPECT_NEAR(exponential(x * 11), std::exp(x * 11), 1e-15 * std::exp(x * 11)) << x;
    }
    for (double p : {1e-9, 1e-4, 0.0123, 0.3, 0.7, 0.99, 0.999999}) {
        const double x = truncationpoint(p);
        EXPECT_NEAR(0.5 * std::erfc(x / std::sqrt(2.0)), p, 1e-13 * p) << p;
    }
}

} // namespace
