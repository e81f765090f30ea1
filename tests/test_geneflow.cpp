// The yearly gene flow and its discounting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fixtures.h"
#include "model/geneflow.h"
#include "model/matrix.h"
#include "plainflow.h"

using namespace kalp;

namespace {
Model m;

void eight(float u, int years) {
    kalp::test::eightclasses(m);
    buildone(m);
    m.n_sac = 1;
    m.u = u;
    m.l_inv = years;
    geneflow(m);
}
} // namespace

TEST(Geneflow, EightClassesUndiscounted) {
    eight(0, 2);
    const float want2[9] = {0, 0.3f, 1, 1, 0.3f, 0, 0, 0, 0.3f};
    for (int i = 1; i <= 8; ++i) {
        EXPECT_FLOAT_EQ(m.m_sum[i], want2[i]) << i;
        EXPECT_EQ(m.m_gft[i], m.m_gf[i]) << i;
    }
    EXPECT_FLOAT_EQ(m.m_gf[3], 1);
    EXPECT_FLOAT_EQ(m.m_gf[8], 0.3f);

    eight(0, 3);
    const float want3[9] = {0, 0.5f, 1.3f, 1, 0.5f, 0.3f, 0, 0, 0.5f};
    for (int i = 1; i <= 8; ++i)
        EXPECT_FLOAT_EQ(m.m_sum[i], want3[i]) << i;
    EXPECT_FLOAT_EQ(m.m_gf[2], 0.3f);
    EXPECT_FLOAT_EQ(m.m_gf[5], 0.3f);
    EXPECT_FLOAT_EQ(m.m_gf[1], 0.2f);
}

TEST(Geneflow, EightClassesDiscounted) {
    eight(0.1f, 2);
    EXPECT_NEAR(m.m_sum[1], 0.24793, 1e-5);
    EXPECT_NEAR(m.m_sum[4], 0.24793, 1e-5);
    EXPECT_NEAR(m.m_sum[8], 0.24793, 1e-5);
    EXPECT_NEAR(m.m_sum[2], 0.90909, 1e-5);
    EXPECT_NEAR(m.m_sum[3], 0.82645, 1e-5);
}

TEST(Geneflow, NoYears) {
    for (int years : {0, -4}) {
        eight(0, years);
        for (int i = 1; i <= 8; ++i) {
            EXPECT_EQ(m.m_sum[i], 0) << i;
            EXPECT_EQ(m.m_gft[i], 0) << i;
            EXPECT_EQ(m.m_gf[i], i == 1 ? 1 : 0) << i;
        }
    }
}

// The program's loop against the plain row-by-row loop, bit for bit, on
// dense random matrices with negative entries (which also overflow to
// infinity and give not-a-number values) and on model matrices.
TEST(Geneflow, BitIdenticalToThePlainLoop) {
    static Model a, b;
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<float> entry(-1.5f, 1.5f);
    std::uniform_int_distribution<int> size(1, ACM - 1);
    for (int round = 0; round < 60; ++round) {
        reset(a);
        a.acm = size(rng);
        a.n_sac = 1 + round % a.acm;
        a.l_inv = 1 + round * 7;
        a.u = round % 3 == 0 ? 0.0f : 0.05f * static_cast<float>(round % 5);
        for (int i = 1; i <= a.acm; ++i)
            for (int j = 1; j <= a.acm; ++j)
                a.P[i][j] = round % 4 == 0 && j % 3 == 0 ? 0.0f : entry(rng) / (round % 2 ? 1 : 40);
        b = a;
        geneflow(a);
        kalp::test::plainflow(b);
        EXPECT_EQ(std::memcmp(a.m_gf, b.m_gf, sizeof a.m_gf), 0) << round;
        EXPECT_EQ(std::memcmp(a.m_gft, b.m_gft, sizeof a.m_gft), 0) << round;
        EXPECT_EQ(std::memcmp(a.m_sum, b.m_sum, sizeof a.m_sum), 0) << round;
    }
    kalp::test::twentyfourclasses(a);
    buildtwo(a);
    a.n_sac = 5;
    a.l_inv = 500;
    a.u = 0.03f;
    b = a;
    geneflow(a);
    kalp::test::plainflow(b);
    EXPECT_EQ(std::memcmp(a.m_sum, b.m_sum, sizeof a.m_sum), 0);
    EXPECT_EQ(std::memcmp(a.m_gf, b.m_gf, sizeof a.m_gf), 0);
}

// A sum that underflows to -0 before a zero entry of a non-zero gene share:
// the plain loop turns it into +0 with that entry's product.
TEST(Geneflow, NegativeZeroSumsMatchThePlainLoop) {
    static Model a, b;
    reset(a);
    a.acm = 2;
    a.n_sac = 2;
    a.l_inv = 1;
    a.m_gf[1] = 0.4f;
    a.P[1][1] = -std::numeric_limits<float>::denorm_min();
    b = a;
    geneflow(a);
    kalp::test::plainflow(b);
    EXPECT_FALSE(std::signbit(b.m_gft[1]));
    EXPECT_EQ(std::memcmp(a.m_gft, b.m_gft, sizeof a.m_gft), 0);
    EXPECT_EQ(std::memcmp(a.m_sum, b.m_sum, sizeof a.m_sum), 0);
}
