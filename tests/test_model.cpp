// The reset of the model state.
#include <gtest/gtest.h>

#include "core/model.h"

using namespace kalp;

TEST(Reset, TraitTypesAndDefaultInclusion) {
    static Model m;
    m.acm = 7;
    m.P[3][4] = 1;
    m.delta_d[8] = 1;
    reset(m);
    EXPECT_EQ(m.acm, 0);
    EXPECT_EQ(m.P[3][4], 0.0f);
    const int types[36] = {0, 2, 2, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 1, 1, 2, 2, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int i = 1; i <= 35; ++i) {
        EXPECT_EQ(m.tt[i], types[i]) << i;
        EXPECT_EQ(m.delta_d[i], types[i] != 1) << i;
        EXPECT_EQ(m.delta_m[i], types[i] != 0) << i;
    }
    EXPECT_EQ(m.delta_d[8], 0);
    EXPECT_EQ(m.delta_m[8], 1);
    EXPECT_EQ(m.delta_d[25], 1);
    EXPECT_EQ(m.delta_m[25], 0);
    EXPECT_EQ(m.tt[0], 0);
}
