// The sex-age class layout and its limits.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "memstream.h"
#include "model/layout.h"

using namespace kalp;
using kalp::test::stopreport;

TEST(Layout, WholeYearsTruncateTowardZero) {
    EXPECT_EQ(wholeyears(364.9f), 0);
    EXPECT_EQ(wholeyears(365.0f), 1);
    EXPECT_EQ(wholeyears(729.9f), 1);
    EXPECT_EQ(wholeyears(730.0f), 2);
    EXPECT_EQ(wholeyears(-100.0f), 0);
}

TEST(Layout, OneAndTwoSystems) {
    static Model m;
    reset(m);
    m.prods = 1;
    m.RRA = 3;
    m.ageR11A = 365;
    m.LLA = 5;
    m.ageE1A = 730;
    layclasses(m);
    EXPECT_EQ(m.acsA, 4);
    EXPECT_EQ(m.acdA, 7);
    EXPECT_EQ(m.acm, 12);
    EXPECT_EQ(m.acsB + m.acdB + m.acsAB, 0);

    kalp::test::twentyfourclasses(m);
    EXPECT_EQ(m.acsB, 3);
    EXPECT_EQ(m.acdB, 5);
    EXPECT_EQ(m.acsAB, 2); // follows RRB, not RRA
    EXPECT_EQ(m.acm, 24);
    const Blocks b = blocks(m);
    EXPECT_EQ(b.s1, 11);
    EXPECT_EQ(b.s2, 13);
    EXPECT_EQ(b.s3, 16);
}

TEST(Layout, OutsideTheModelEndsTheRun) {
    static Model m;
    auto layout = [&](int rra, float age, int lla, float agee) {
        reset(m);
        m.prods = 1;
        m.RRA = rra;
        m.ageR11A = age;
        m.LLA = lla;
        m.ageE1A = agee;
        return stopreport([&] { layclasses(m); });
    };
    EXPECT_EQ(layout(3, -100, 5, 0), "");
    EXPECT_EQ(layout(3, -365, 5, 0),
              "\nError message:\nThe data in INPUTVRD01A.TXT give a class layout outside the "
              "model: the age of the rams at first use is 365 days or more below zero.\n  Correct "
              "the counts and ages in INPUTVRD01A.TXT and restart the program.\n\n");
    EXPECT_NE(layout(0, 100, 5, 0).find("the A-sire block has no class"), std::string::npos);
    EXPECT_NE(layout(5, 1e30f, 5, 0).find("too high"), std::string::npos);
    // 78 classes fit, 79 is the largest layout, 80 does not fit.
    EXPECT_EQ(layout(5, 365 * 57, 15, 0), "");
    EXPECT_EQ(m.acm, 78);
    EXPECT_EQ(layout(5, 365 * 58, 15, 0), "");
    EXPECT_EQ(m.acm, 79);
    EXPECT_NE(layout(5, 365 * 59, 15, 0).find("80 sex-age classes"), std::string::npos);

    kalp::test::twentyfourclasses(m);
    m.ageE1B = -800;
    EXPECT_NE(stopreport([&] { layclasses(m); }).find("INPUTVRD01B.TXT"), std::string::npos);
}
