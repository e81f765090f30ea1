// The covariances of the index against a simulation of the standard
// pedigree: many families drawn with a fixed seed, each animal's breeding
// values the mean of its parents' and a Mendelian sampling term, records
// formed as the model says (a lamb's own direct value and its dam's
// maternal value, a ewe's own maternal value, a litter effect shared by
// littermates), and the sample covariances compared with P and G.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "index/covariance.h"
#include "index/pedigree.h"
#include "indexcases.h"

using namespace kalp;
using namespace kalp::test;

namespace {

// Standard normal values by Box and Muller, from a generator of fixed
// algorithm.
class Normals {
public:
    explicit Normals(unsigned long long seed) : g_(seed) {}
    double operator()() {
        if (has_) {
            has_ = false;
            return spare_;
        }
        const double u1 = (static_cast<double>(g_() >> 11) + 0.5) * 0x1p-53;
        const double u2 = static_cast<double>(g_() >> 11) * 0x1p-53;
        const double r = std::sqrt(-2 * std::log(u1));
        spare_ = r * std::sin(2 * std::numbers::pi * u2);
        has_ = true;
        return r * std::cos(2 * std::numbers::pi * u2);
    }

private:
    std::mt19937_64 g_;
    double spare_ = 0;
    bool has_ = false;
};

struct Case {
    IndexData d;
    std::vector<IndexComponent> comps;
    Eigen::MatrixXd C;
};

Case sheep() {
    Case c;
    // A lamb trait with a maternal effect and a litter effect, and a trait
    // of the ewe, genetically correlated with both of its components.
    c.d.traits = {lambtrait("3", 3, 2.0, 0.3, 0.15, -0.4, 0.1), ewetrait("8", 8, 1.0, 0.2, 0.05)};
    c.d.genetic = {{0, Effect::maternal, 1, Effect::maternal, 0.3},
                   {0, Effect::direct, 1, Effect::maternal, 0.2}};
    c.d.litter = {{0, 1, 0.3}};
    c.comps = indexcomponents(c.d);
    c.C = geneticcovariances(c.d, c.comps);
    return c;
}

TEST(IndexSimulation, MaternalCovariancesOfTheStandardPedigree) {
    const Case c = sheep();
    ASSERT_EQ(c.comps.size(), 3u); // 3 direct, 3 maternal, 8 (the ewe's)
    // Plain arrays in the loop, so that it stays fast in a build without
    // optimisation and under the sanitizers.
    const Eigen::MatrixXd factor = c.C.llt().matrixL();
    double L[3][3], half[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            L[i][j] = factor(i, j);
            half[i][j] = factor(i, j) * std::sqrt(0.5);
        }
    const double sd[2] = {2.0, 1.0}, c2[2] = {0.1, 0.05};
    const double litter[2] = {c2[0] * sd[0] * sd[0], c2[1] * sd[1] * sd[1]};
    const double litterr = 0.3; // the litter correlation of the two traits
    // The genetic variance of a record: direct and dam's maternal with
    // their covariance (relationship 1/2, twice), or the ewe's own.
    const double genetic[2] = {c.C(0, 0) + c.C(1, 1) + c.C(0, 1), c.C(2, 2)};

    // The sources with one record each on both paths (a ram has no record
    // of the ewe trait, nor has his sire), and the groups again with two
    // records, whose covariance between two members P gives.
    const Source all[] = {Source::own,      Source::dam,      Source::sire,
                          Source::fullsibs, Source::halfsibs, Source::progeny};
    const Animal first[] = {candidate, dam, sire, fullsib1, halfsib1, progeny1};
    const Animal second[] = {candidate, dam, sire, fullsib2, halfsib2, progeny2};
    for (const Path path : {Path::rams, Path::ewes}) {
        SCOPED_TRACE(pathname(path));
        std::vector<IndexSource> one, two;
        for (int s = 0; s < 6; ++s)
            for (int t = 0; t < 2; ++t) {
                if (t == 1 && (all[s] == Source::sire || (all[s] == Source::own && path == Path::rams)))
                    continue;
                one.push_back({path, all[s], t, 1});
                two.push_back({path, all[s], t, s >= 3 ? 2 : 1});
            }
        Eigen::MatrixXd P, G, P2, G2;
        indexmatrices(c.d, c.comps, c.C, path, one, P, G);
        indexmatrices(c.d, c.comps, c.C, path, two, P2, G2);

        const int n = static_cast<int>(one.size());
        const int dims = 2 * n + 3; // first members, second members, the candidate's values
        std::vector<double> sums(static_cast<size_t>(dims * dims)), mean(static_cast<size_t>(dims)), x(mean);
        Normals z(20260101 + static_cast<unsigned>(path == Path::ewes));
        const int families = 100000;
        double bv[animals][3];
        for (int f = 0; f < families; ++f) {
            for (int a = 0; a < animals; ++a) {
                const Parents p = parentsof(static_cast<Animal>(a));
                const double draw[3] = {z(), z(), z()};
                for (int i = 0; i < 3; ++i) {
                    double v = p.sire < 0 ? 0 : (bv[p.sire][i] + bv[p.dam][i]) / 2;
                    for (int j = 0; j <= i; ++j)
                        v += (p.sire < 0 ? L[i][j] : half[i][j]) * draw[j];
                    bv[a][i] = v;
                }
            }
            const double u1 = z(), u2 = z();
            const double shared[2] = {std::sqrt(litter[0]) * u1,
                                      std::sqrt(litter[1]) * (litterr * u1 + std::sqrt(1 - litterr * litterr) * u2)};
            auto record = [&](int t, int a) {
                const bool mates = a == candidate || a == fullsib1 || a == fullsib2;
                const double env = sd[t] * sd[t] - genetic[t] - (mates ? litter[t] : 0);
                const double r = std::sqrt(env) * z() + (mates ? shared[t] : 0);
                if (t == 1) return r + bv[a][2];
                int mother = parentsof(static_cast<Animal>(a)).dam;
                if (a == progeny1 || a == progeny2)
                    mother = path == Path::ewes ? candidate : a == progeny1 ? mate1 : mate2;
                return r + bv[a][0] + bv[mother][1];
            };
            for (int k = 0; k < n; ++k) {
                const int s = static_cast<int>(one[static_cast<size_t>(k)].source);
                x[static_cast<size_t>(k)] = record(one[static_cast<size_t>(k)].trait, first[s]);
                x[static_cast<size_t>(n + k)] = record(one[static_cast<size_t>(k)].trait, second[s]);
            }
            for (int i = 0; i < 3; ++i)
                x[static_cast<size_t>(2 * n + i)] = bv[candidate][i];
            for (int i = 0; i < dims; ++i) {
                const double xi = x[static_cast<size_t>(i)];
                mean[static_cast<size_t>(i)] += xi;
                double* row = &sums[static_cast<size_t>(i * dims)];
                for (int j = 0; j <= i; ++j)
                    row[j] += xi * x[static_cast<size_t>(j)];
            }
        }
        Eigen::MatrixXd cov(dims, dims);
        for (int i = 0; i < dims; ++i)
            for (int j = 0; j <= i; ++j)
                cov(i, j) = cov(j, i) = sums[static_cast<size_t>(i * dims + j)] / families -
                                        mean[static_cast<size_t>(i)] / families * mean[static_cast<size_t>(j)] / families;

        // Within sampling error: 4.5 standard errors of a covariance.
        auto close = [&](double sample, double model, double vk, double vl, const std::string& what) {
            EXPECT_NEAR(sample, model, 4.5 * std::sqrt(vk * vl / families)) << what;
        };
        for (int k = 0; k < n; ++k) {
            const IndexSource& sk = one[static_cast<size_t>(k)];
            const std::string name = std::string(sourcename(sk.source)) + " " + c.d.traits[static_cast<size_t>(sk.trait)].name;
            close(cov(k, k), P(k, k), P(k, k), P(k, k), name);
            for (int l = 0; l < k; ++l)
                if (one[static_cast<size_t>(l)].source != sk.source)
                    close(cov(k, l), P(k, l), P(k, k), P(l, l), name + " with row " + std::to_string(l));
            for (int j = 0; j < 3; ++j)
                close(cov(k, 2 * n + j), G(k, j), P(k, k), c.C(j, j), name + " with component " + std::to_string(j));
            // Two members of a group: P of the mean of two records is
            // (near + far) / 2, near being one animal's records.
            if (sk.source >= Source::fullsibs)
                for (int l = 0; l < n; ++l)
                    if (one[static_cast<size_t>(l)].source == sk.source) {
                        const double near = l == k ? P(k, k) : 0; // no phenotypic correlation given
                        close(cov(k, n + l), 2 * P2(k, l) - near, P(k, k), P(l, l), name + " between members");
                    }
        }
    }
}

} // namespace
