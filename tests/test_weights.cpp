// Expressions and economic weights.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "model/geneflow.h"
#include "model/matrix.h"
#include "model/weights.h"

using namespace kalp;

namespace {
Model m;

void eight(int years) {
    kalp::test::eightclasses(m);
    buildone(m);
    m.n_sac = 1;
    m.l_inv = years;
    for (int k = 1; k <= 35; ++k)
        m.evpA[k][1] = 10;
    geneflow(m);
}
} // namespace

TEST(WeightsOne, ExpressionsAndWeightsByTraitType) {
    eight(3);
    weightsone(m);
    EXPECT_EQ(m.h_d[8], 1);
    EXPECT_FLOAT_EQ(m.h_m[5], 0.5f);
    EXPECT_FLOAT_EQ(m.h_m[6], 0.3f);
    EXPECT_FLOAT_EQ(m.h_m[7], 0.2f);
    EXPECT_FLOAT_EQ(m.a2, 0.5f);
    EXPECT_FLOAT_EQ(m.a3, 0.15f);
    EXPECT_FLOAT_EQ(m.ew_d[1], 5);
    EXPECT_FLOAT_EQ(m.ew_m[1], 1.5f);
    EXPECT_FLOAT_EQ(m.ew_d[4], 5);
    EXPECT_EQ(m.ew_m[4], 0);
    EXPECT_EQ(m.ew_d[8], 0);
    EXPECT_FLOAT_EQ(m.ew_m[8], 1.5f);

    eight(2); // no gene has reached the ewes yet
    weightsone(m);
    EXPECT_EQ(m.a3, 0);
    for (int k = 1; k <= 35; ++k)
        EXPECT_EQ(m.ew_m[k], 0) << k;
}

TEST(WeightsOne, NegligibleEconomicValues) {
    eight(3);
    m.evpA[1][1] = 0.0000005f;
    m.evpA[2][1] = -0.0000005f;
    m.evpA[3][1] = 0.000001f; // stored just below 1e-6
    m.evpA[23][1] = 0.000002f;
    weightsone(m);
    for (int k : {1, 2, 3}) {
        EXPECT_EQ(m.ew_d[k], 0) << k;
        EXPECT_EQ(m.ew_m[k], 0) << k;
    }
    EXPECT_GT(m.ew_d[23], 0);
    EXPECT_GT(m.ew_m[23], 0);

    eight(0);
    weightsone(m);
    for (int k = 1; k <= 35; ++k)
        EXPECT_EQ(m.ew_d[k] + m.ew_m[k], 0) << k;
}

TEST(WeightsTwo, ClassesOfSystemBAlone) {
    kalp::test::twentyfourclasses(m);
    buildtwo(m);
    m.n_sac = 14; // newborn B sires
    m.l_inv = 20;
    m.pdA = 0;
    m.pdB = 1;
    for (int k = 1; k <= 35; ++k) {
        m.evpA[k][1] = 100; // pdA = 0: system A expresses nothing
        m.evpB[k][1] = 2;
        m.evpB[k][2] = 3;
    }
    const float a2 = m.a2;
    geneflow(m);
    weightstwo(m);
    EXPECT_EQ(m.a2, a2);
    EXPECT_EQ(m.a3, 0);
    EXPECT_EQ(m.h_d[22], 0);
    EXPECT_EQ(m.h_d[23], 1);
    EXPECT_EQ(m.h_d[24], 1);
    EXPECT_FLOAT_EQ(m.h_m[18], 0.4f);
    EXPECT_FLOAT_EQ(m.he_m[8][18], 2.0f);
    EXPECT_FLOAT_EQ(m.he_d[1][24], 3);
    // Direct: purebred progeny x 2 + crossbred x 3, summed in class order.
    float d = 0, mat = 0;
    for (int j = 1; j <= 24; ++j) {
        d = static_cast<float>(d + static_cast<double>(m.he_d[1][j]) * m.m_sum[j]);
        mat = static_cast<float>(mat + static_cast<double>(m.he_m[1][j]) * m.m_sum[j]);
    }
    EXPECT_EQ(m.ew_d[1], d);
    EXPECT_EQ(m.ew_m[1], mat);
    EXPECT_GT(d, 0);
    EXPECT_GT(mat, 0);
    EXPECT_EQ(m.ew_m[4], 0); // type 0
    EXPECT_EQ(m.ew_d[8], 0); // type 1
}
