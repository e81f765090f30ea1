// kalp --draws end to end, in process: every drawn scenario is the normal
// run of its values, the summary is that of the rows, the same seed gives
// the same bytes (this test runs under Wine too, against the files of the
// worked example), and every fault of values-uncertainty.csv and of the
// arguments is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

const fs::path expected = fs::path(KALP_SOURCE_DIR) / "tests" / "expected" / "index";

std::vector<std::string> splitcsv(const std::string& line) {
    std::vector<std::string> v(1);
    bool quoted = false;
    for (const char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            v.emplace_back();
        else
            v.back() += c;
    }
    return v;
}

// The rows of a CSV file by column name.
std::vector<std::map<std::string, std::string>> rowsof(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> head = splitcsv(line);
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        const std::vector<std::string> cells = splitcsv(line);
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < head.size() && i < cells.size(); ++i)
            row[head[i]] = cells[i];
        rows.push_back(row);
    }
    return rows;
}

// INPUTVRD01A.TXT with the 35 economic values of a scenario's row.
std::string withvalues(const std::string& text, const std::map<std::string, std::string>& scenario) {
    std::istringstream in(text);
    std::vector<std::string> t;
    for (std::string x; in >> x;)
        t.push_back(x);
    const size_t rams = std::stoul(t[1]), ewes = std::stoul(t[2 + rams]);
    for (int k = 1; k <= 35; ++k)
        t[3 + rams + ewes + static_cast<size_t>(k) - 1] = scenario.at("evpA_" + std::to_string(k));
    std::string out;
    for (const std::string& x : t)
        out += x + "\n";
    return out;
}

TEST(DrawsRun, EveryDrawIsTheNormalRunOfItsValues) {
    Workdir w;
    copyexample(w, "index");
    const Outcome r = w.run("--draws 40 --seed 3 --csv");
    ASSERT_EQ(r.status, 0) << r.output << r.errors;
    const auto scenarios = rowsof(w.read("kalp-sweep-scenarios.csv"));
    ASSERT_EQ(scenarios.size(), 40u);
    std::map<std::string, std::vector<std::map<std::string, std::string>>> weights;
    for (const auto& row : rowsof(w.read("kalp-sweep.csv")))
        weights[row.at("scenario")].push_back(row);
    EXPECT_EQ(weights.size(), 40u);
    std::map<std::string, int> values8;
    for (const auto& s : scenarios) {
        ++values8[s.at("evpA_8")];
        EXPECT_EQ(s.at("evpA_1"), "0.8"); // not drawn
    }
    EXPECT_GT(values8.size(), 35u);
    // Three of the scenarios written into the input files.
    for (const size_t i : {0u, 17u, 39u}) {
        SCOPED_TRACE(i);
        Workdir one;
        copyexample(one, "index");
        one.write("INPUTVRD01A.TXT", withvalues(one.read("INPUTVRD01A.TXT"), scenarios[i]));
        ASSERT_EQ(one.run("--csv").status, 0);
        const auto run = rowsof(one.read("kalp-weights.csv"));
        const auto& drawn = weights.at(scenarios[i].at("scenario"));
        ASSERT_EQ(run.size(), drawn.size());
        for (size_t k = 0; k < run.size(); ++k)
            EXPECT_EQ(run[k], drawn[k]);
    }
    // The summary is that of the rows: the mean and the quantiles of type 7
    // (exact for so few draws), as single-precision values.
    std::vector<double> litter;
    for (const auto& [key, rows] : weights)
        for (const auto& row : rows)
            if (row.at("trait") == "8") litter.push_back(std::stod(row.at("economic_weight")));
    std::sort(litter.begin(), litter.end());
    double mean = 0;
    for (const double x : litter)
        mean += x / 40;
    for (const auto& row : rowsof(w.read("kalp-draws.csv"))) {
        if (row.at("trait") != "8") continue;
        EXPECT_NEAR(std::stod(row.at("mean")), mean, 1e-5 * mean);
        EXPECT_EQ(std::stof(row.at("q05")), static_cast<float>(litter[1] + 0.95 * (litter[2] - litter[1])));
        EXPECT_EQ(std::stof(row.at("q50")), static_cast<float>((litter[19] + litter[20]) / 2));
        EXPECT_EQ(row.at("draws"), "40");
        EXPECT_EQ(row.at("seed"), "3");
    }
}

TEST(DrawsRun, TheSameSeedGivesTheSameBytes) {
    Workdir w;
    copyexample(w, "index");
    ASSERT_EQ(w.run("--draws 2000 --plot").status, 0);
    // The worked example's files, the same on every platform.
    for (const char* f : {"kalp-draws.csv", "kalp-draws.svg"})
        EXPECT_EQ(w.read(f), slurp(expected / f)) << f;
    const std::string first = w.read("kalp-draws.csv");
    ASSERT_EQ(w.run("--draws 2000 --seed 1").status, 0);
    EXPECT_EQ(w.read("kalp-draws.csv"), first);
    ASSERT_EQ(w.run("--draws 2000 --seed 2").status, 0);
    EXPECT_NE(w.read("kalp-draws.csv"), first);
    // The chart is gone with the set it belonged to; a sweep replaces the
    // draws as another sweep would.
    EXPECT_FALSE(w.exists("kalp-draws.svg"));
    ASSERT_EQ(w.run("--sweep u=0.02,0.05").status, 0);
    EXPECT_FALSE(w.exists("kalp-draws.csv"));
    EXPECT_TRUE(w.exists("kalp-sweep.csv"));
}

TEST(DrawsRun, EveryFaultOfTheUncertainValuesIsReported) {
    const struct {
        const char* what;
        const char* text; // values-uncertainty.csv, or none
        const char* report;
    } rows[] = {
        {"no file", nullptr, "values-uncertainty.csv"},
        {"a negative SD", "system,trait,distribution,a,b\nA,8,normal,-1,\n",
         "values-uncertainty.csv, line 2, column 4 (a), the standard deviation of a normal distribution is -1"},
        {"b below a", "system,trait,distribution,a,b\nA,8,normal,2,\nA,24,uniform,0.8,0.3\n",
         "line 3, column 5 (b), the upper bound b is 0.3, below the lower bound a, 0.8"},
        {"an unknown distribution", "system,trait,distribution,a,b\nA,8,lognormal,1,\n",
         "line 2, column 3 (distribution), the distribution \"lognormal\" is none of normal, uniform and triangular"},
        {"a second system in a folder of one", "system,trait,distribution,a,b\nBx,8,normal,1,\n",
         "line 2, column 1 (system), an economic value of system B is drawn, but P01.TXT gives one"},
        {"an unknown system", "system,trait,distribution,a,b\nC,8,normal,1,\n", "the system \"C\" is none of A, B and Bx"},
        {"trait 36", "system,trait,distribution,a,b\nA,36,normal,1,\n", "column 2 (trait), trait 36 is no trait of KALP"},
        {"a value twice", "system,trait,distribution,a,b\nA,8,normal,1,\na,8,uniform,1,2\n",
         "line 3, column 2 (trait), the economic value of trait 8 in system A is given a second time (first on line 2)"},
        {"a peak outside its bounds", "system,trait,distribution,a,b\nA,8,triangular,20,30\n",
         "line 2, column 4 (a), the economic value of the input files, 18, the peak of the triangular distribution, "
         "lies outside a to b (20 to 30)"},
        {"b of a normal", "system,trait,distribution,a,b\nA,8,normal,1,2\n",
         "column 5 (b), a normal distribution takes its standard deviation in a; b is 2"},
        {"b missing", "system,trait,distribution,a,b\nA,8,uniform,1,\n", "column 5 (b), the upper bound b is missing"},
        {"a missing", "system,trait,distribution,a,b\nA,8,normal,,\n", "column 4 (a), the value of a is missing"},
        {"a typo in a column", "system,trait,distribution,a,c\nA,8,normal,1,\n", "\"c\", is no column"},
        {"no row", "system,trait,distribution,a,b\n", "The file values-uncertainty.csv names no economic value"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Workdir w;
        copyexample(w, "index");
        ASSERT_EQ(w.run("--draws 5").status, 0);
        const std::string before = w.read("kalp-draws.csv");
        const size_t placed = w.folder().placed().size();
        if (row.text)
            w.write("values-uncertainty.csv", row.text);
        else
            w.remove("values-uncertainty.csv");
        const Outcome r = w.run("--draws 10 --seed 4 --csv --plot");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("Error message:"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(row.report), std::string::npos) << r.output;
        EXPECT_EQ(w.read("kalp-draws.csv"), before);
        EXPECT_FALSE(w.exists("kalp-sweep.csv"));
        EXPECT_EQ(w.folder().placed().size(), placed);
    }
}

TEST(DrawsRun, ArgumentsOutOfRangeAreUsageErrors) {
    const struct {
        const char* args;
        const char* says;
    } rows[] = {
        {"--draws 0", "--draws 0: give the number of scenarios to draw, a whole number from 1 to 10000000"},
        {"--draws 10000001", "--draws 10000001: give the number"},
        {"--draws -5", "--draws -5: give the number"},
        {"--draws 1e3", "--draws 1e3: give the number"},
        {"--seed 5", "--seed is the seed of --draws"},
        {"--draws 10 --seed 18446744073709551616", "--seed 18446744073709551616: give a whole number"},
        {"--draws 10 --sweep u=0.02,0.05", "--draws and --sweep cannot be given together"},
        {"--draws 10 --classes", "--classes prints the class table only"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Workdir w;
        copyexample(w, "index");
        const auto before = w.files();
        const Outcome r = w.run(row.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output, "");
        EXPECT_NE(r.errors.find(row.says), std::string::npos) << r.errors;
        EXPECT_EQ(w.files(), before);
    }
}

} // namespace
