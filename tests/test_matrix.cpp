// The transmission matrix for one and two systems and its row sums.
#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.h"
#include "memstream.h"
#include "model/matrix.h"

using namespace kalp;
using kalp::test::stopreport;

namespace {
Model m;

// Non-zero entries of row r as (column, value) pairs.
std::vector<std::pair<int, float>> row(int r) {
    std::vector<std::pair<int, float>> v;
    for (int j = 1; j <= m.acm; ++j)
        if (m.P[r][j] != 0) v.emplace_back(j, m.P[r][j]);
    return v;
}
using Row = std::vector<std::pair<int, float>>;
} // namespace

TEST(MatrixOne, EightClasses) {
    kalp::test::eightclasses(m);
    ASSERT_EQ(m.acm, 8);
    buildone(m);
    const Row newborn = {{2, 0.3f}, {3, 0.2f}, {5, 0.25f}, {6, 0.15f}, {7, 0.1f}};
    EXPECT_EQ(row(1), newborn);
    EXPECT_EQ(row(4), newborn);
    EXPECT_EQ(row(8), newborn);
    const int from[9] = {0, 0, 1, 2, 0, 4, 5, 6, 0};
    for (int r : {2, 3, 5, 6, 7})
        EXPECT_EQ(row(r), (Row{{from[r], 1.0f}})) << r;
    EXPECT_EQ(badrow(m), 0);
    EXPECT_FLOAT_EQ(m.a2, 1.0f); // the sum of the last row
}

TEST(MatrixOne, PathOptionsAndBadRows) {
    kalp::test::eightclasses(m);
    m.pgssA = 0; // sire half of row 1 stays empty
    buildone(m);
    EXPECT_EQ(badrow(m), 1);
    EXPECT_EQ(stopreport([&] { nonsense01(1, 1, "INPUTVRD02.TXT", "P[1]"); }),
              "\nError message:\nSomething is going wrong with matrix P.\n  The row # 1 does not "
              "sum to 1.\n  Check your data in input files INPUTVRD01A.TXT and INPUTVRD02.TXT. "
              "\n\n\n");

    // Given values stay as read, also in the pre-use class.
    kalp::test::eightclasses(m);
    m.pgssA = 1;
    m.P[1][1] = 0.1f;
    m.P[1][2] = 0.2f;
    m.P[1][3] = 0.2f;
    buildone(m);
    EXPECT_EQ(row(1), (Row{{1, 0.1f}, {2, 0.2f}, {3, 0.2f}, {5, 0.25f}, {6, 0.15f}, {7, 0.1f}}));
    EXPECT_EQ(badrow(m), 0);

    // Rows 1 and 4 both wrong: the first is reported.
    kalp::test::eightclasses(m);
    m.l4RA[1] = 0.7;
    buildone(m);
    EXPECT_EQ(badrow(m), 1);

    // Weights summing to 0.99999: row sums of 0.999995 pass.
    kalp::test::eightclasses(m);
    m.l4RA[2] = 0.39999;
    buildone(m);
    EXPECT_EQ(badrow(m), 0);
}

TEST(MatrixOne, RowSumBoundsInSinglePrecision) {
    reset(m);
    m.acm = 1;
    auto passes = [&](float sum) {
        m.P[1][1] = sum;
        return badrow(m) == 0;
    };
    EXPECT_FALSE(passes(0.99998999f));
    EXPECT_TRUE(passes(0.99999005f));
    EXPECT_FALSE(passes(1.00001001f));
    EXPECT_TRUE(passes(1.00000989f));
    EXPECT_FALSE(passes(std::nanf("")));
    EXPECT_FALSE(passes(INFINITY));
    m.P[1][1] = 0;
    EXPECT_EQ(badrow(m), 1);
}

TEST(MatrixTwo, TwentyFourClasses) {
    kalp::test::twentyfourclasses(m);
    buildtwo(m);
    const Row a = {{2, 0.25f}, {3, 0.15f}, {4, 0.1f},  {7, 0.1f},
                   {8, 0.1f},  {9, 0.1f},  {10, 0.1f}, {11, 0.1f}};
    EXPECT_EQ(row(1), a);
    EXPECT_EQ(row(5), a);
    EXPECT_EQ(row(22), a);
    EXPECT_EQ(row(12), a); // crossing sires are born like A rams
    const Row b = {{15, 0.35f}, {16, 0.15f}, {18, 0.2f}, {19, 0.15f}, {20, 0.1f}, {21, 0.05f}};
    EXPECT_EQ(row(14), b);
    EXPECT_EQ(row(17), b);
    // Ageing entries; newborn and progeny rows have none.
    for (auto [r, c] : {std::pair{2, 1},
                        {3, 2},
                        {4, 3},
                        {6, 5},
                        {7, 6},
                        {8, 7},
                        {9, 8},
                        {10, 9},
                        {11, 10},
                        {13, 12},
                        {15, 14},
                        {16, 15},
                        {18, 17},
                        {19, 18},
                        {20, 19},
                        {21, 20}})
        EXPECT_EQ(row(r), (Row{{c, 1.0f}})) << r;
    // Purebred progeny from B sires, crossbred from the crossing sires; the
    // newborn crossing-sire class is reproductive (acsAB = RRB).
    const Row pure = {{15, 0.35f}, {16, 0.15f}, {18, 0.2f}, {19, 0.15f}, {20, 0.1f}, {21, 0.05f}};
    EXPECT_EQ(row(23), pure);
    const Row cross = {{12, 0.35f}, {13, 0.15f}, {18, 0.2f}, {19, 0.15f}, {20, 0.1f}, {21, 0.05f}};
    EXPECT_EQ(row(24), cross);
    EXPECT_EQ(badrow(m), 0);
    EXPECT_FLOAT_EQ(m.a2, 1.0f);
}

TEST(MatrixTwo, CrossingNormalisers) {
    kalp::test::twentyfourclasses(m);
    m.LLB = 2;
    m.ageE1B = 365 * 3; // keeps acdB at 5
    m.l4EB[1] = m.l4EB[2] = 0.5;
    m.pcrossE[1] = 0.2f;
    m.pcrossE[2] = 0.6f;
    buildtwo(m);
    EXPECT_NEAR(m.P[23][20], 0.3333, 5e-5);
    EXPECT_NEAR(m.P[23][21], 0.1667, 5e-5);
    EXPECT_FLOAT_EQ(m.P[24][20], 0.125f);
    EXPECT_FLOAT_EQ(m.P[24][21], 0.375f);
    EXPECT_FLOAT_EQ(m.a2, 0.4f); // crossbred normaliser
}

TEST(MatrixTwo, DamWeightsShortOfOneAndGivenPaths) {
    kalp::test::twentyfourclasses(m);
    m.l4EB[4] = 0.0; // l4EB sums to 0.9
    buildtwo(m);
    EXPECT_NEAR(m.P[23][18] + m.P[23][19] + m.P[23][20] + m.P[23][21], 0.5, 1e-6);
    EXPECT_NEAR(m.P[24][18] + m.P[24][19] + m.P[24][20] + m.P[24][21], 0.5, 1e-6);
    EXPECT_EQ(badrow(m), 14);
    EXPECT_NE(stopreport([&] { nonsense01(14, 2, "INPUTVRD01B.TXT", "l4EB"); })
                  .find("  The row # 14 does not sum to 1.\n  Check your data in input files "
                        "INPUTVRD01A.TXT, INPUTVRD01B.TXT and INPUTVRD03.TXT. \n\n\n"),
              std::string::npos);

    kalp::test::twentyfourclasses(m);
    m.pgssA = 1;
    for (int j = 1; j <= 4; ++j)
        m.P[1][j] = 0.125f;
    buildtwo(m);
    for (int j = 1; j <= 4; ++j) {
        EXPECT_EQ(m.P[1][j], 0.125f);
        EXPECT_EQ(m.P[12][j], 0.125f);
    }
}

TEST(MatrixTwo, ZeroNormaliserEndsTheRun) {
    kalp::test::twentyfourclasses(m);
    for (int i = 1; i <= 4; ++i)
        m.pcrossE[i] = 1;
    EXPECT_EQ(stopreport([&] { buildtwo(m); }),
              "\nError message:\nThe crossing shares in INPUTVRD01B.TXT leave the purebred "
              "progeny of system B without dams.\n  Give some reproductive ewe classes of system B "
              "a crossing share below 1 and some above 0 in INPUTVRD01B.TXT and restart the "
              "program.\n\n");
    kalp::test::twentyfourclasses(m);
    for (int i = 1; i <= 4; ++i)
        m.pcrossE[i] = 0;
    EXPECT_NE(stopreport([&] { buildtwo(m); }).find("crossbred progeny"), std::string::npos);
}
