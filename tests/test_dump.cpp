// The variable dump CHECKVRD of whole runs.
#include <gtest/gtest.h>

#include <sstream>

#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

std::string notcalculated(const char* name, const char* column, int from, int to) {
    std::string s;
    for (int k = from; k <= to; ++k)
        s += std::string(name) + "[" + std::to_string(k) + "]" + column + " = not calculated\n";
    return s;
}

std::string traittypes() {
    const int types[36] = {0, 2, 2, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 1, 1, 2, 2, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    std::string s;
    for (int k = 1; k <= 35; ++k)
        s += "tt[" + std::to_string(k) + "] =   " + std::to_string(types[k]) + "\n";
    return s;
}

// The names that start the lines of a dump, in order, without repeats.
std::vector<std::string> names(const std::string& dump) {
    std::vector<std::string> v;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        const std::string name = line.substr(0, line.find_first_of("[ "));
        if (!name.empty() && (v.empty() || v.back() != name)) v.push_back(name);
    }
    return v;
}

} // namespace

// The one-system run of Scenario::one: 8 classes, u 0.05, traced class 1
// over 3 years. Values worked out by hand from the gene flow: year 1 puts
// the genes in class 2, year 2 shares 0.3 in classes 1, 4 and 8 and 1 in
// class 3, year 3 0.2 in classes 1, 4, 8 and 0.3 in classes 2 and 5.
TEST(Dump, OneSystemWhole) {
    Workdir w;
    Scenario::one().write(w);
    ASSERT_EQ(w.run().status, 0);
    auto parents = [](int r) {
        const std::string n = "P[" + std::to_string(r) + "]";
        return n + "[2] =     0.300000\n" + n + "[3] =     0.200000\n" + n +
               "[5] =     0.250000\n" + n + "[6] =     0.150000\n" + n + "[7] =     0.100000\n";
    };
    const std::string want =
        "a2 =    0.445\na3 =    0.130\nac =    0\nacdA =    4\nACM =   80\nacm =    8\n"
        "acsA =    3\nageE1A =    365.0\nageR11A =    365.0\nCB =    3\n\n"
        "errmess =    0\n\n"
        "evpA[1][1] =       2.5000\n" +
        notcalculated("evpA", "[1]", 2, 3) + "evpA[4][1] =       0.0000\n" +
        notcalculated("evpA", "[1]", 5, 7) + "evpA[8][1] =      -1.2500\n" +
        notcalculated("evpA", "[1]", 9, 35) + "\n" + "ew_d[1] =       1.1122\n" +
        notcalculated("ew_d", "", 2, 35) + "\n" + "ew_m[1] =       0.3239\n" +
        notcalculated("ew_m", "", 2, 7) + "ew_m[8] =      -0.1620\n" +
        notcalculated("ew_m", "", 9, 35) + "\n" +
        "gstd =    1\n\n"
        "h_d[8] =  1.00000\n\n"
        "h_m[5] =  0.50000\nh_m[6] =  0.30000\nh_m[7] =  0.20000\n\n"
        "L =   16\nl_inv =    3\n\n"
        "l4EA[1] =  0.50000\nl4EA[2] =  0.30000\nl4EA[3] =  0.20000\n\n"
        "l4RA[1] =  0.60000\nl4RA[2] =  0.40000\n\n"
        "LLA =    3\n\n"
        "m_gf[1] =  0.20000\nm_gf[2] =  0.30000\nm_gf[4] =  0.20000\nm_gf[5] =  0.30000\n"
        "m_gf[8] =  0.20000\n\n"
        "m_gft[1] =  0.20000\nm_gft[2] =  0.30000\nm_gft[4] =  0.20000\nm_gft[5] =  0.30000\n"
        "m_gft[8] =  0.20000\n\n"
        "m_sum[1] =  0.44488\nm_sum[2] =  1.21153\nm_sum[3] =  0.90703\nm_sum[4] =  0.44488\n"
        "m_sum[5] =  0.25915\nm_sum[8] =  0.44488\n"
        "\n"
        "n_sac =    1\nn2 =    2\nn3 =    0\nNT =   36\n\n" +
        parents(1) + "P[2][1] =     1.000000\nP[3][2] =     1.000000\n" + parents(4) +
        "P[5][4] =     1.000000\nP[6][5] =     1.000000\nP[7][6] =     1.000000\n" + parents(8) +
        "\n"
        "pgdsA =    2\npgssA =    1\nprods =    1\nR =    6\nRRA =    2\n\n" +
        traittypes() + "\nu =    0.05\nzz =    2\n";
    EXPECT_EQ(w.read("CHECKVRD"), want);
}

// Two systems with standardisation: the rows that only these runs have, in
// the order of the listing.
TEST(Dump, RowsOfTwoSystemsAndStandardisation) {
    Workdir w;
    Scenario s = Scenario::two();
    s.paravrd = "KALP\"Parameters\"\n2 \"Standardisation\"\n";
    std::string deviations = "/ deviations /\n";
    for (int i = 1; i <= 35; ++i)
        deviations += "0.5 0.5 \"Trait " + std::to_string(i) + "\" \"T\"\n";
    s.deviations = deviations;
    s.flags = "// 2 \"a\" \"f1\" 4 \"b\" \"f2\" 0 \"c\" \"f3\" 0 \"d\" \"f4\" 0 \"e\" \"f5\" 0 "
              "\"f\" \"f6\"";
    s.write(w);
    ASSERT_EQ(w.run().status, 0);
    const std::vector<std::string> want = {
        "a2",      "a3",      "ac",      "acdA",   "acdB",    "ACM",     "acm",     "acsA",
        "acsAB",   "acsB",    "ageE1A",  "ageE1B", "ageR11A", "ageR11B", "ageR12A", "CB",
        "delta_d", "delta_m", "errmess", "evpA",   "evpB",    "ew_d",    "ew_m",    "ewr_da",
        "ewr_dd",  "ewr_ma",  "ewr_mm",  "ewst_d", "ewst_m",  "ewsum",   "ewsum_d", "ewsum_m",
        "flag",    "gstd",    "gstd_d",  "gstd_m", "h_d",     "h_m",     "he_d",    "he_m",
        "L",       "l_inv",   "l4EA",    "l4EB",   "l4RA",    "l4RB",    "LLA",     "LLB",
        "m_gf",    "m_gft",   "m_sum",   "n_sac",  "n2",      "n3",      "NT",      "P",
        "pcrossE", "pdA",     "pdB",     "pgdsA",  "pgdsB",   "pgssA",   "pgssB",   "prods",
        "R",       "RRA",     "RRB",     "tt",     "u",       "zz"};
    const std::string dump = w.read("CHECKVRD");
    EXPECT_EQ(names(dump), want);
    EXPECT_NE(dump.find("\npcrossE[4] =    0.500\n\npdA =    0.400\npdB =    0.600\n"),
              std::string::npos);
    EXPECT_NE(dump.find("\nflag[1] =   2\nflag[2] =   4\n"), std::string::npos);
    EXPECT_NE(dump.find("\ndelta_d[3] =   0\n"), std::string::npos);
    EXPECT_NE(dump.find("\ndelta_d[5] =   0\n"), std::string::npos);
    EXPECT_NE(dump.find("\nzz =    5\n"), std::string::npos);
    EXPECT_EQ(dump.substr(dump.size() - 11), "\nzz =    5\n");
    // The sum of the last matrix row stays in a2; a3 is not computed.
    EXPECT_EQ(dump.substr(0, 28), "a2 =    1.000\na3 =    0.000\n");
}
