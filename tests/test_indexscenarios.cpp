// kalp index over scenarios, end to end in process: every scenario of
// kalp index --sweep is the index of a folder that holds its values, and
// kalp index --draws judges the index against drawn economic values, the
// same bytes for the same seed on every platform.
#include <gtest/gtest.h>

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

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

// The rows of a CSV file without quoted commas, by column name.
std::vector<std::map<std::string, std::string>> rowsof(const std::string& text) {
    auto split = [](const std::string& l) {
        std::vector<std::string> v(1);
        for (const char c : l)
            if (c == ',')
                v.emplace_back();
            else
                v.back() += c;
        return v;
    };
    const std::vector<std::string> all = lines(text);
    const std::vector<std::string> head = split(all.at(0));
    std::vector<std::map<std::string, std::string>> rows;
    for (size_t i = 1; i < all.size(); ++i) {
        const std::vector<std::string> cells = split(all[i]);
        std::map<std::string, std::string> row;
        for (size_t k = 0; k < head.size() && k < cells.size(); ++k)
            row[head[k]] = cells[k];
        rows.push_back(row);
    }
    return rows;
}

// INPUTVRD01A.TXT with its discount rate and the economic value of trait 8.
std::string withvalues(const std::string& text, const std::string& rate, const std::string& litter) {
    std::istringstream in(text);
    std::vector<std::string> t;
    for (std::string x; in >> x;)
        t.push_back(x);
    const size_t rams = std::stoul(t[1]), ewes = std::stoul(t[2 + rams]);
    t[0] = rate;
    t[3 + rams + ewes + 7] = litter;
    std::string out;
    for (const std::string& x : t)
        out += x + "\n";
    return out;
}

TEST(IndexScenarios, EverySweptScenarioIsTheIndexOfItsValues) {
    Workdir w;
    copyexample(w, "index");
    const Outcome r = w.run("index --sweep evpA:8=10,26.5 --sweep u=0.02,0.08 --csv --plot");
    ASSERT_EQ(r.status, 0) << r.output << r.errors;
    EXPECT_NE(r.output.find("The index of 4 scenarios of the sweep is in kalp-index-sweep.csv."), std::string::npos);
    // The scenario of the files' own values is the folder's index.
    const auto sweep = lines(w.read("kalp-index-sweep.csv"));
    const auto response = lines(w.read("kalp-index-sweep-response.csv"));
    ASSERT_EQ(sweep.size(), 1u + 4 * 3);        // rams, ewes and year of each scenario
    ASSERT_EQ(response.size(), 1u + 4 * 3 * 11); // 11 components
    EXPECT_EQ(rowsof(w.read("kalp-index-sweep-scenarios.csv")).size(), 4u);
    for (const auto& [rate, litter] : {std::pair{"0.02", "10"}, std::pair{"0.08", "26.5"}}) {
        SCOPED_TRACE(std::string(rate) + " " + litter);
        Workdir one;
        copyexample(one, "index");
        one.write("INPUTVRD01A.TXT", withvalues(one.read("INPUTVRD01A.TXT"), rate, litter));
        ASSERT_EQ(one.run("--csv").status, 0);
        const std::string scenario = rowsof(one.read("kalp-scenarios.csv")).at(0).at("scenario");
        ASSERT_EQ(one.run("index --csv").status, 0);
        // The rows of that scenario, without their four key columns, are
        // the folder's rows.
        auto unkeyed = [&](const std::vector<std::string>& rows) {
            std::string out;
            for (const auto& l : rows)
                if (l.rfind(scenario + ",", 0) == 0) {
                    size_t at = 0;
                    for (int k = 0; k < 4; ++k)
                        at = l.find(',', at) + 1;
                    out += l.substr(at) + "\n";
                }
            return out;
        };
        auto body = [](const std::string& text) { return text.substr(text.find('\n') + 1); };
        EXPECT_EQ(unkeyed(sweep), body(one.read("kalp-index.csv")));
        EXPECT_EQ(unkeyed(response), body(one.read("kalp-index-response.csv")));
    }
    EXPECT_TRUE(w.exists("kalp-index-sweep.svg"));
    // A later kalp index without --sweep removes the sweep's files with the set.
    ASSERT_EQ(w.run("index --csv").status, 0);
    EXPECT_FALSE(w.exists("kalp-index-sweep.csv"));
    EXPECT_FALSE(w.exists("kalp-index-sweep.svg"));
}

TEST(IndexScenarios, DrawsJudgeTheIndexOnTheGivenValues) {
    Workdir w;
    copyexample(w, "index");
    ASSERT_EQ(w.run("index --draws 2000 --csv").status, 0);
    // The worked example's file, the same on every platform.
    EXPECT_EQ(w.read("kalp-index-draws.csv"), slurp(expected / "kalp-index-draws.csv"));
    for (const auto& row : rowsof(w.read("kalp-index-draws.csv"))) {
        SCOPED_TRACE(row.at("path"));
        EXPECT_EQ(row.at("draws"), "2000");
        EXPECT_LT(std::stod(row.at("mean")), 1);
        EXPECT_LE(std::stod(row.at("q95")), 1);
        EXPECT_GT(std::stod(row.at("q05")), 0.5);
        EXPECT_GT(std::stod(row.at("loss_mean")), 0);
    }
    // Values that are certain: every draw is the files' scenario, and the
    // index on the given values is the best.
    w.write("values-uncertainty.csv", "system,trait,distribution,a,b\nA,8,normal,0,\nA,24,uniform,0.5,0.5\n");
    const Outcome r = w.run("index --draws 50 --csv");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const auto& row : rowsof(w.read("kalp-index-draws.csv"))) {
        EXPECT_NEAR(std::stod(row.at("mean")), 1, 1e-12);
        EXPECT_NEAR(std::stod(row.at("loss_mean")), 0, 1e-9);
    }
    EXPECT_NE(r.output.find("Uncertain economic values: the efficiency of each index"), std::string::npos);
}

TEST(IndexScenarios, ArgumentsThatDoNotGoTogether) {
    const struct {
        const char* args;
        const char* says;
    } rows[] = {
        {"index --draws 0", "--draws 0: give the number of scenarios to draw"},
        {"index --seed 2", "--seed is the seed of --draws"},
        {"index --draws 10 --weights w.csv", "--draws draws or sweeps the values of the folder's scenario"},
        {"index --sweep u=0.02,0.02", "--sweep u=0.02,0.02: 0.02 is given twice"},
        {"index --sweep k=1", "--sweep k=1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Workdir w;
        copyexample(w, "index");
        w.write("w.csv", "trait,component,economic_weight\n8,maternal,20\n");
        const auto before = w.files();
        const Outcome r = w.run(row.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.errors.find(row.says), std::string::npos) << r.errors;
        EXPECT_EQ(w.files(), before);
    }
}

} // namespace
