// What an index is worth and how it bends to aims, on inputs in memory:
// each source's value against an index solved again without it (and with
// one more record), the efficiency of changed weights, restricted indexes
// and desired gains.
#include <gtest/gtest.h>

#include <cmath>

#include "core/stop.h"
#include "index/constrain.h"
#include "index/index.h"
#include "index/worth.h"
#include "indexcases.h"

using namespace kalp;
using namespace kalp::test;

namespace {

// Lamb traits with maternal effects, a trait of the ewe and one only
// recorded, with repeated records, groups of relatives and both paths.
IndexInputs sheep() {
    IndexInputs in;
    in.data.traits = {lambtrait("3", 3, 4.0, 0.25, 0.12, -0.3, 0.15, 0.6),
                      ewetrait("8", 8, 0.6, 0.1, 0.0, 0.15),
                      lambtrait("fat", 0, 1.2, 0.35, 0, 0, 0.05, 0.6),
                      lambtrait("12", 12, 0.5, 0.35, 0, 0, 0.05)};
    in.data.genetic = {{0, Effect::maternal, 1, Effect::maternal, 0.2},
                       {0, Effect::direct, 2, Effect::direct, 0.3},
                       {2, Effect::direct, 3, Effect::direct, -0.4}};
    in.data.phenotypic = {{0, 2, 0.3}, {0, 1, 0.1}, {2, 3, -0.2}, {0, 3, 0.2}};
    in.data.litter = {{0, 2, 0.4}};
    // Trait 12 has no repeatability: a second record of the ewes' sires
    // cannot be valued.
    in.data.sources = {{Path::rams, Source::own, 0, 1},      {Path::rams, Source::own, 2, 2},
                       {Path::rams, Source::dam, 1, 3},      {Path::rams, Source::fullsibs, 0, 2},
                       {Path::rams, Source::halfsibs, 3, 20}, {Path::rams, Source::progeny, 0, 15},
                       {Path::ewes, Source::own, 0, 1},      {Path::ewes, Source::own, 1, 2},
                       {Path::ewes, Source::sire, 3, 1},     {Path::ewes, Source::halfsibs, 3, 30}};
    in.data.selection = {intensityof(Path::rams, 2.0), intensityof(Path::ewes, 0.8)};
    for (ObjectiveWeights& w : in.weights) {
        w.direct[3] = 1.5;
        w.maternal[3] = 0.8;
        w.maternal[8] = 20;
        w.direct[12] = -4;
    }
    in.interval[0] = 2.5;
    in.interval[1] = 3.5;
    return in;
}

const PathIndex& pathof(const IndexResult& r, Path p) {
    for (const PathIndex& x : r.paths)
        if (x.path == p) return x;
    throw std::logic_error("no such path");
}

TEST(IndexWorth, EachSourceIsWorthWhatTheIndexWithoutItLoses) {
    // Per year (both intervals known) and per generation of one path.
    for (const bool peryear : {true, false}) {
        SCOPED_TRACE(peryear ? "per year" : "per generation");
        IndexInputs in = sheep();
        if (!peryear) in.interval[1] = -1;
        const IndexResult r = computeindex(in);
        const std::vector<SourceValue> values = sourcevalues(in.data, r);
        ASSERT_EQ(values.size(), in.data.sources.size());
        for (const SourceValue& s : values) {
            const PathIndex& p = pathof(r, s.path);
            const IndexSource& gone = p.sources[s.source];
            SCOPED_TRACE(std::string(pathname(s.path)) + " " + sourcename(gone.source) + " " +
                         std::to_string(gone.trait));
            // The index solved again on the sources that are left.
            IndexInputs less = in;
            less.data.sources.clear();
            for (const IndexSource& x : in.data.sources)
                if (!(x.path == gone.path && x.source == gone.source && x.trait == gone.trait))
                    less.data.sources.push_back(x);
            const IndexResult smaller = computeindex(less);
            const PathIndex& q = pathof(smaller, s.path);
            EXPECT_NEAR(s.accuracy, q.at.accuracy, 1e-12);
            const double whole = peryear ? r.yearresponse : p.at.response;
            const double without = peryear ? smaller.yearresponse : q.at.response;
            EXPECT_NEAR(s.response, without, 1e-12 * whole);
            EXPECT_NEAR(s.share, 100 * (whole - without) / whole, 1e-9);
            EXPECT_GE(s.share, -1e-9);
            // One more record: the index solved again with n + 1.
            const bool repeated = gone.source == Source::own || gone.source == Source::dam ||
                                  gone.source == Source::sire;
            const bool known = in.data.traits[static_cast<size_t>(gone.trait)].repeatability >= 0;
            ASSERT_EQ(s.more, !repeated || known);
            if (!s.more) continue;
            IndexInputs more = in;
            for (IndexSource& x : more.data.sources)
                if (x.path == gone.path && x.source == gone.source && x.trait == gone.trait) ++x.records;
            const IndexResult larger = computeindex(more);
            const double with = peryear ? larger.yearresponse : pathof(larger, s.path).at.response;
            EXPECT_NEAR(s.gain, with - whole, 1e-10 * whole);
            EXPECT_GE(s.gain, -1e-12);
        }
    }
}

TEST(IndexWorth, TheTrueWeightsAreFullyEfficientAndChangedOnesLess) {
    const IndexResult r = computeindex(sheep());
    for (const PathIndex& p : r.paths) {
        EXPECT_NEAR(*Efficiency(p, p.v).of(p.v), 1, 1e-12);
        // A scale does not change the index.
        EXPECT_NEAR(*Efficiency(p, 3 * p.v).of(p.v), 1, 1e-12);
        EXPECT_NEAR(*Efficiency(p, -p.v).of(p.v), -1, 1e-12);
        // An index that selects nothing brings nothing.
        EXPECT_EQ(*Efficiency(p, Eigen::VectorXd::Zero(p.v.size())).of(p.v), 0);
    }
    const std::vector<Sensitivity> s = sensitivities(r);
    ASSERT_EQ(s.size(), 8u); // four weighted components on each path
    double lowest = -1;
    for (const Sensitivity& x : s) {
        const PathIndex& p = pathof(r, x.path);
        const double worst = *std::min_element(x.efficiency, x.efficiency + weightchanges);
        EXPECT_GE(worst, lowest); // the weights that need care first
        lowest = worst;
        // The efficiency is the response of the changed index in the true
        // objective over the response of the true index.
        const double factors[] = {0, 0.5, 2, -1};
        for (int c = 0; c < weightchanges; ++c) {
            Eigen::VectorXd v = p.v;
            v(static_cast<Eigen::Index>(x.component)) *= factors[c];
            const Evaluation e = evaluate(p, v);
            const double response = e.sdindex > 0 ? p.v.dot(e.gain) : 0;
            EXPECT_NEAR(x.efficiency[c], response / p.at.response, 1e-12);
            EXPECT_LE(std::fabs(x.efficiency[c]), 1);
        }
    }
}

TEST(IndexWorth, HeldComponentsDoNotChange) {
    // Each held set on its own, as the restriction's formula gives it.
    const struct {
        std::vector<Aim> held;
    } rows[] = {
        {{{0, Effect::direct}}},
        {{{0, Effect::maternal}, {1, Effect::maternal}}},
        {{{2, Effect::direct}}}, // recorded only: held at no weight of its own
        {{{3, Effect::direct}, {0, Effect::direct}}},
    };
    for (const auto& row : rows) {
        IndexInputs in = sheep();
        in.held = row.held;
        const IndexResult r = computeindex(in);
        ASSERT_EQ(r.restricted.size(), 2u);
        for (const Constrained& c : r.restricted) {
            const PathIndex& p = pathof(r, c.path);
            double largest = 0;
            for (Eigen::Index j = 0; j < c.at.gain.size(); ++j)
                largest = std::max(largest, std::fabs(c.at.gain(j) / r.components[static_cast<size_t>(j)].sd));
            for (const Aim& a : row.held) {
                const int j = findcomponent(r.components, a);
                EXPECT_LE(std::fabs(c.at.gain(j)) / r.components[static_cast<size_t>(j)].sd, 1e-12 * largest);
            }
            // b_R = [I - P^-1 G U (U'G'P^-1 G U)^-1 U'G'] b.
            Eigen::MatrixXd U = Eigen::MatrixXd::Zero(p.G.cols(), static_cast<Eigen::Index>(row.held.size()));
            for (size_t k = 0; k < row.held.size(); ++k)
                U(findcomponent(r.components, row.held[k]), static_cast<Eigen::Index>(k)) = 1;
            const Eigen::MatrixXd PGU = p.cholesky.solve(p.G * U);
            const Eigen::MatrixXd inner = U.transpose() * p.G.transpose() * PGU;
            const Eigen::VectorXd b =
                p.at.b - PGU * inner.ldlt().solve(U.transpose() * p.G.transpose() * p.at.b);
            EXPECT_LE((c.at.b - b).norm(), 1e-10 * b.norm());
            // It costs accuracy and response, never adds to them.
            EXPECT_LE(c.accuracy, p.at.accuracy + 1e-12);
            EXPECT_LE(c.response, p.at.response + 1e-12);
            EXPECT_NEAR(c.response, p.intensity * c.accuracy * p.at.sdobjective, 1e-10);
        }
    }
}

TEST(IndexWorth, DesiredGainsComeInTheirProportions) {
    IndexInputs in = sheep();
    in.data.desired = {{0, Effect::direct, 2}, {3, Effect::direct, -1}, {1, Effect::maternal, 0.05}};
    const IndexResult r = computeindex(in);
    ASSERT_EQ(r.desired.size(), 2u);
    for (const Constrained& c : r.desired) {
        const double scale = c.at.gain(findcomponent(r.components, in.data.desired[0])) / 2;
        EXPECT_GT(scale, 0);
        for (const Aim& a : in.data.desired)
            EXPECT_NEAR(c.at.gain(findcomponent(r.components, a)), scale * a.gain, 1e-12 * scale);
        // The implied weights give the very index.
        const PathIndex& p = pathof(r, c.path);
        EXPECT_LE((p.PinvG * c.weights - c.at.b).norm(), 1e-12 * c.at.b.norm());
    }
}

TEST(IndexWorth, PesekAndBakerOnOwnRecords) {
    // As many own records as components: b is G^-1 d up to its scale.
    IndexInputs in;
    in.data.traits = {lambtrait("4", 4, 17, 0.40), lambtrait("10", 10, 2, 0.25), lambtrait("11", 11, 3, 0.3)};
    in.data.genetic = {{0, Effect::direct, 1, Effect::direct, 0.5}, {1, Effect::direct, 2, Effect::direct, -0.2}};
    in.data.phenotypic = {{0, 1, 0.2}, {1, 2, -0.1}};
    in.data.sources = {{Path::rams, Source::own, 0, 1}, {Path::rams, Source::own, 1, 1}, {Path::rams, Source::own, 2, 1}};
    in.data.selection = {intensityof(Path::rams, 1)};
    in.weights[0].direct[4] = 1;
    in.data.desired = {{0, Effect::direct, 1}, {1, Effect::direct, 0}, {2, Effect::direct, 0.5}};
    const IndexResult r = computeindex(in);
    const PathIndex& p = r.paths.at(0);
    Eigen::VectorXd d(3);
    d << 1, 0, 0.5;
    const Eigen::VectorXd b = p.G.transpose().fullPivLu().solve(d);
    const Eigen::VectorXd got = r.desired.at(0).at.b;
    EXPECT_LE((got / got(0) - b / b(0)).norm(), 1e-12);
}

TEST(IndexWorth, ComponentsThatCannotBeHeldAreReportedNotComputed) {
    // A component the sources tell nothing of; two that they cannot tell
    // apart (one record, two desired gains).
    IndexInputs blind = sheep();
    blind.data.sources = {{Path::rams, Source::halfsibs, 3, 10}};
    blind.data.selection = {intensityof(Path::rams, 2.0)};
    blind.data.genetic.clear();
    blind.held = {{1, Effect::maternal}};
    try {
        computeindex(blind);
        FAIL() << "no stop";
    } catch (const RunStop& s) {
        EXPECT_NE(s.what.find("tell nothing of 8 maternal"), std::string::npos) << s.what;
    }
    IndexInputs apart = sheep();
    apart.data.sources = {{Path::rams, Source::own, 2, 1}};
    apart.data.selection = {intensityof(Path::rams, 2.0)};
    apart.data.desired = {{0, Effect::direct, 1}, {2, Effect::direct, 1}};
    try {
        computeindex(apart);
        FAIL() << "no stop";
    } catch (const RunStop& s) {
        EXPECT_NE(s.what.find("cannot tell the\n  responses of 3 direct, fat direct apart"), std::string::npos)
            << s.what;
    }
}

} // namespace
