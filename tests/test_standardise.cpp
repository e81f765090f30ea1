// Trait-pair choices, standardised and relative weights.
#include <gtest/gtest.h>

#include "model/standardise.h"

using namespace kalp;

namespace {
Model m;
}

TEST(Pairs, FlagsExcludeTheOtherTrait) {
    reset(m);
    m.flag[1] = 2;
    m.flag[2] = 5;
    m.flag[3] = 7; // names neither trait
    m.flag[6] = 32;
    choosepairs(m);
    EXPECT_EQ(m.delta_d[3] + m.delta_m[3], 0);
    EXPECT_EQ(m.delta_d[2] + m.delta_m[2], 2);
    EXPECT_EQ(m.delta_d[4], 0);
    EXPECT_EQ(m.delta_d[5], 1);
    EXPECT_EQ(m.delta_m[26] + m.delta_m[27], 2);
    EXPECT_EQ(m.delta_m[33], 0);
    EXPECT_EQ(m.delta_m[32], 1);

    reset(m);
    choosepairs(m); // all flags 0: everything counts
    for (int i = 1; i <= 35; ++i) {
        EXPECT_EQ(m.delta_d[i], m.tt[i] != 1);
        EXPECT_EQ(m.delta_m[i], m.tt[i] != 0);
    }
}

TEST(Standardise, SumsAndPercentages) {
    reset(m);
    m.gstd = 2;
    // Two direct traits standardised to 3 and -1, one maternal to 4.
    m.ew_d[4] = 6;
    m.gstd_d[4] = 0.5f;
    m.ew_d[6] = -2;
    m.gstd_d[6] = 0.5f;
    m.ew_m[8] = 8;
    m.gstd_m[8] = 0.5f;
    // Type 2 with zero weights: skipped whatever its deviations.
    m.gstd_d[1] = m.gstd_m[1] = 9;
    // Excluded by a pair choice: standardised, but out of the sums.
    m.ew_d[3] = 10;
    m.ew_m[3] = 10;
    m.gstd_d[3] = m.gstd_m[3] = 1;
    m.flag[1] = 2;
    choosepairs(m);
    standardise(m);
    EXPECT_FLOAT_EQ(m.ewst_d[4], 3);
    EXPECT_FLOAT_EQ(m.ewst_d[6], -1);
    EXPECT_FLOAT_EQ(m.ewst_m[8], 4);
    EXPECT_FLOAT_EQ(m.ewst_d[3], 10);
    EXPECT_EQ(m.ewst_d[1] + m.ewst_m[1], 0);
    EXPECT_FLOAT_EQ(m.ewsum_d, 4);
    EXPECT_FLOAT_EQ(m.ewsum_m, 4);
    EXPECT_FLOAT_EQ(m.ewsum, 8);
    EXPECT_FLOAT_EQ(m.ewr_dd[4], 75);
    EXPECT_FLOAT_EQ(m.ewr_dd[6], 25);
    EXPECT_FLOAT_EQ(m.ewr_da[4], 37.5f);
    EXPECT_FLOAT_EQ(m.ewr_da[6], 12.5f);
    EXPECT_FLOAT_EQ(m.ewr_mm[8], 100);
    EXPECT_FLOAT_EQ(m.ewr_ma[8], 50);
    EXPECT_EQ(m.ewr_dd[3] + m.ewr_da[3] + m.ewr_mm[3] + m.ewr_ma[3], 0);
}

TEST(Standardise, ZeroSumsGiveZeroRelativeWeights) {
    reset(m);
    m.ew_d[4] = 6; // deviation 0
    m.ew_m[8] = 8;
    m.gstd_m[8] = 2;
    standardise(m);
    EXPECT_EQ(m.ewsum_d, 0);
    EXPECT_EQ(m.ewr_dd[4], 0);
    EXPECT_EQ(m.ewr_da[4], 0);
    EXPECT_FLOAT_EQ(m.ewr_mm[8], 100);
    EXPECT_FLOAT_EQ(m.ewr_ma[8], 100);
    reset(m);
    m.ew_d[4] = 6;
    standardise(m);
    EXPECT_EQ(m.ewsum, 0);
    EXPECT_EQ(m.ewr_da[4], 0);
}
