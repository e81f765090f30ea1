// kalp index end to end, in process: the worked example's files, weights
// from --weights, bending, the folder's lock and the sets of files that
// replace each other.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

const fs::path expected = fs::path(KALP_SOURCE_DIR) / "tests" / "expected" / "index";
const char* const indexfiles[] = {"kalp-index.csv",         "kalp-index-weights.csv",     "kalp-index-response.csv",
                                  "kalp-index-sources.csv", "kalp-index-sensitivity.csv", "kalp-index.json",
                                  "kalp-index.svg"};

// The rows of a CSV file without quoted fields, by column name.
std::vector<std::map<std::string, std::string>> rowsof(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::vector<std::string> head;
    auto split = [](const std::string& l) {
        std::vector<std::string> v(1);
        for (const char c : l)
            if (c == ',')
                v.emplace_back();
            else
                v.back() += c;
        return v;
    };
    head = split(line);
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        const std::vector<std::string> cells = split(line);
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < head.size() && i < cells.size(); ++i)
            row[head[i]] = cells[i];
        rows.push_back(row);
    }
    return rows;
}

void edit(Workdir& w, const std::string& name, const std::string& from, const std::string& to) {
    std::string text = w.read(name);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << name << ": " << from;
    text.replace(at, from.size(), to);
    w.write(name, text);
}

// The worked example gives the checked-in files, the same bytes on every
// platform (this test runs under Wine too), and its plain run is that of
// any scenario.
TEST(IndexRun, TheWorkedExampleGivesItsFiles) {
    Workdir w;
    copyexample(w, "index");
    const Outcome r = w.run("index --csv --json --plot");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(r.endswithtime());
    EXPECT_EQ(r.beforetime(), slurp(expected / "console.txt"));
    for (const char* f : indexfiles)
        EXPECT_EQ(w.read(f), slurp(expected / f)) << f;
    EXPECT_TRUE(nlohmann::json::accept(w.read("kalp-index.json")));
    // Nothing else: no results file, no run exports.
    for (const char* f : {"resgfps01", "CHECKVRD", "kalp-weights.csv"})
        EXPECT_FALSE(w.exists(f)) << f;
}

TEST(IndexRun, ItsRowsJoinTheWeightsOfTheRun) {
    Workdir w;
    copyexample(w, "index");
    ASSERT_EQ(w.run("--csv").status, 0);
    ASSERT_EQ(w.run("index --csv").status, 0);
    std::map<std::pair<std::string, std::string>, std::map<std::string, std::string>> weights;
    for (const auto& row : rowsof(w.read("kalp-weights.csv")))
        weights[{row.at("trait"), row.at("component")}] = row;
    int joined = 0;
    for (const auto& row : rowsof(w.read("kalp-index-response.csv"))) {
        if (row.at("path") != "rams" || row.at("trait").empty()) continue;
        const auto& run = weights.at({row.at("trait"), row.at("component")});
        EXPECT_EQ(row.at("name"), run.at("name"));
        // The rams' objective is the run's own traced group: the weights are
        // the run's, written alike.
        EXPECT_EQ(row.at("economic_weight"), run.at("economic_weight"))
            << row.at("trait") << " " << row.at("component");
        ++joined;
    }
    EXPECT_EQ(joined, 10); // every component with parameters but the recorded-only fat depth
    // The share of the standardised weights that the rams' objective
    // covers: the relative weights of its components in the total.
    double covered = 0;
    for (const auto& row : rowsof(w.read("kalp-weights.csv"))) {
        const bool given = row.at("trait") == "1" || row.at("trait") == "2" || row.at("trait") == "4" ||
                           row.at("trait") == "8" || row.at("trait") == "9" || row.at("trait") == "11" ||
                           row.at("trait") == "24";
        if (given && row.at("included") == "TRUE") covered += std::fabs(std::stod(row.at("relative_in_total")));
    }
    const std::string said = w.run("index").output;
    const std::string covers = "The objective of the rams covers ";
    const size_t at = said.find(covers);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::stod(said.substr(at + covers.size())), covered, 0.05);
    // The share of each component adds up to the whole response.
    double share = 0;
    for (const auto& row : rowsof(w.read("kalp-index-response.csv")))
        if (row.at("path") == "year") share += std::stod(row.at("share"));
    EXPECT_NEAR(share, 100, 1e-9);
}

TEST(IndexRun, WeightsFromAFileGiveTheSameIndex) {
    Workdir w;
    copyexample(w, "index");
    // Both paths on the run's weights, with the intervals given.
    const std::string selection = "path,proportion,intensity,generation_interval\nrams,0.05,,2.7\newes,0.5,,3.89\n";
    w.write("index-selection.csv", selection);
    ASSERT_EQ(w.run("--csv").status, 0);
    ASSERT_EQ(w.run("index --csv").status, 0);
    // A folder with the index files and the weights alone.
    for (const char* f : {"index-traits.csv", "index-correlations.csv", "index-sources.csv", "index-selection.csv"})
        w.write(std::string("only/") + f, w.read(f));
    w.write("only/run/kalp-weights.csv", w.read("kalp-weights.csv"));
    const Outcome r = w.run("index -C only --csv --weights run/kalp-weights.csv");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* f : {"kalp-index.csv", "kalp-index-weights.csv", "kalp-index-response.csv"})
        EXPECT_EQ(w.read(std::string("only/") + f), w.read(f)) << f;
    EXPECT_NE(r.output.find("the economic weights of run/kalp-weights.csv"), std::string::npos);

    // Without the intervals there is nothing per year.
    w.write("only/index-selection.csv", "path,proportion\nrams,0.05\newes,0.5\n");
    const Outcome plain = w.run("index -C only --csv --weights run/kalp-weights.csv");
    ASSERT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("no response per year"), std::string::npos);
    for (const auto& row : rowsof(w.read("only/kalp-index.csv"))) {
        EXPECT_NE(row.at("path"), "year");
        EXPECT_EQ(row.at("response_year"), "");
    }

    const struct {
        const char* what;
        const char* file;
        std::string text;
        const char* args;
        int status;
        const char* said;
    } faults[] = {
        {"a traced group", "only/index-selection.csv", "path,proportion,traced_group\nrams,0.05,1\n",
         "--weights run/kalp-weights.csv", 1,
         "line 2, column 3 (traced_group), a traced group is given, but the economic weights come from --weights"},
        {"the rows of a sweep", "only/run/sweep.csv",
         "scenario,trait,component,economic_weight\ns1,1,direct,2\ns2,1,direct,3\n", "--weights run/sweep.csv", 1,
         "run/sweep.csv, line 3, column 3 (component), the direct weight of trait 1 is given a second time (first "
         "on line 2): the file holds the rows of more than one scenario"},
        {"a component the trait lacks", "only/run/w.csv", "trait,component,economic_weight\n8,direct,2\n",
         "--weights run/w.csv", 1, "trait 8 has no direct component in KALP"},
        {"no such file", "only/other.csv", "", "--weights run/missing.csv", 2, "--weights run/missing.csv: no such file"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        w.write("only/index-selection.csv", "path,proportion\nrams,0.05\n");
        w.write(f.file, f.text);
        const Outcome bad = w.run(std::string("index -C only --csv ") + f.args);
        EXPECT_EQ(bad.status, f.status);
        EXPECT_NE((bad.output + bad.errors).find(f.said), std::string::npos) << bad.output << bad.errors;
    }
}

TEST(IndexRun, AMatrixThatIsNotPositiveDefiniteIsReportedOrBent) {
    const struct {
        const char* what;
        const char* from;
        const char* to;
        const char* report;
        const char* bent;
    } rows[] = {
        {"phenotypic correlations that contradict each other",
         "phenotypic,1,,2,,0.35\nphenotypic,1,,24,,0.10\nphenotypic,2,,4,,0.30",
         "phenotypic,1,,2,,0.9\nphenotypic,1,,24,,0.10\nphenotypic,2,,4,,0.9\nphenotypic,1,,4,,-0.9",
         "The covariance matrix of the sources of the rams is not positive definite: the correlation\n  matrix "
         "of the sources has the smallest eigenvalue -",
         "--bend moved "},
        {"impossible genetic correlations", "genetic,9,direct,fat_depth,direct,0.70",
         "genetic,9,direct,fat_depth,direct,0.95\ngenetic,2,direct,fat_depth,direct,0.9\n"
         "genetic,1,direct,fat_depth,direct,-0.9",
         "The genetic correlations of the trait components are not possible together",
         "--bend moved "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Workdir w;
        copyexample(w, "index");
        edit(w, "index-correlations.csv", row.from, row.to);
        const Outcome r = w.run("index --csv");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(row.report), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("or give --bend"), std::string::npos);
        EXPECT_FALSE(w.exists("kalp-index.csv"));
        const Outcome bent = w.run("index --csv");
        EXPECT_EQ(bent.status, 1);
        const Outcome ok = w.run("index --csv --bend");
        ASSERT_EQ(ok.status, 0) << ok.output;
        EXPECT_NE(ok.output.find(row.bent), std::string::npos) << ok.output;
        for (const auto& line : rowsof(w.read("kalp-index.csv")))
            if (!line.at("accuracy").empty()) {
                EXPECT_GT(std::stod(line.at("accuracy")), 0);
                EXPECT_LE(std::stod(line.at("accuracy")), 1);
            }
    }
}

TEST(IndexRun, FilesReplaceTheEarlierSetAndTheLockHolds) {
    Workdir w;
    copyexample(w, "index");
    ASSERT_EQ(w.run("--csv").status, 0);
    ASSERT_EQ(w.run("index --csv").status, 0);
    EXPECT_TRUE(w.exists("kalp-index-weights.csv"));
    // A plain index run leaves the exports; another set replaces them; the
    // run's exports are no part of the index's set.
    ASSERT_EQ(w.run("index").status, 0);
    EXPECT_TRUE(w.exists("kalp-index.csv"));
    ASSERT_EQ(w.run("index --plot").status, 0);
    EXPECT_FALSE(w.exists("kalp-index.csv"));
    EXPECT_TRUE(w.exists("kalp-index.svg"));
    EXPECT_TRUE(w.exists("kalp-weights.csv"));
    ASSERT_EQ(w.run("--json").status, 0);
    EXPECT_TRUE(w.exists("kalp-index.svg"));
    // Another run holds the folder.
    bool held = false;
    int error = 0;
    auto first = w.folder().lock(held, error);
    const Outcome r = w.run("index --csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Another KALP run is working in this folder"), std::string::npos);
    EXPECT_FALSE(w.exists("kalp-index.csv"));
    first.reset();
    // A fault of the scenario is the run's own report.
    edit(w, "INPUTVRD01A.TXT", "0.5 0.3 0.2", "0.5 0.3 0.3");
    const Outcome fault = w.run("index --csv");
    EXPECT_EQ(fault.status, 1);
    EXPECT_NE(fault.output.find("does not sum to 1"), std::string::npos);
    EXPECT_FALSE(w.exists("resgfps01") && w.read("resgfps01").empty());
}

TEST(IndexRun, StandardDeviationsThatDifferFromTheRunsAreNamed) {
    Workdir w;
    copyexample(w, "index");
    // 0.548 is within 1 % of sqrt(0.3) x 1.0; 0.56 is not.
    EXPECT_EQ(w.run("index").output.find("genetic standard deviation"), std::string::npos);
    edit(w, "INPUTVRD04.TXT", "0.548 \"Carcass", "0.56 \"Carcass");
    const Outcome r = w.run("index --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("The genetic standard deviation of 9 Carcass fatness (score points), direct is "
                            "0.5477 here and 0.56 in INPUTVRD04.TXT."),
              std::string::npos)
        << r.output;
    const auto json = nlohmann::json::parse(w.read("kalp-index.json"));
    ASSERT_EQ(json.at("sd_differences").size(), 1u);
    EXPECT_EQ(json.at("sd_differences")[0].at("trait"), 9);
}

TEST(IndexRun, PathsThatAreNotSelected) {
    Workdir w;
    copyexample(w, "index");
    // The rams alone: their response per year counts the ewes' interval,
    // and the sources of the ewes are named as not computed.
    w.write("index-selection.csv", "path,proportion\nrams,0.05\n");
    const Outcome r = w.run("index --csv");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Not computed: index-sources.csv gives sources for the ewes"), std::string::npos);
    const auto rows = rowsof(w.read("kalp-index.csv"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(std::stod(rows[0].at("response_year")),
                std::stod(rows[0].at("response_generation")) / (2.7 + 3.89), 1e-12);
    // A path kept whole (proportion 1) needs no sources: it brings its
    // interval only.
    w.write("index-sources.csv", "path,source,trait,records\nrams,own,4,1\n");
    w.write("index-selection.csv", "path,proportion,generation_interval\nrams,0.1,2\newes,1,4\n");
    const Outcome kept = w.run("index --csv");
    ASSERT_EQ(kept.status, 0) << kept.output;
    const auto both = rowsof(w.read("kalp-index.csv"));
    ASSERT_EQ(both.size(), 3u);
    EXPECT_EQ(both[1].at("response_generation"), "0");
    EXPECT_EQ(both[2].at("path"), "year");
    EXPECT_NEAR(std::stod(both[2].at("response_year")), std::stod(both[0].at("response_generation")) / 6, 1e-12);
}

} // namespace

namespace {

// The restricted index and the index of desired gains: their files, the
// held response 0 and the gains in their proportions in the files as
// written, and the set replaced by a later kalp index.
TEST(IndexRun, RestrictedAndDesiredIndexesWriteTheirFiles) {
    Workdir w;
    copyexample(w, "index");
    w.write("index-desired.csv", "trait,component,gain\n11,direct,1\n24,direct,2\n8,maternal,0.02\n");
    const Outcome r = w.run("index --csv --restrict 9:direct --restrict fat_depth:direct");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Restricted index, holding where they are:\n  9 Carcass fatness (score points), "
                            "direct\n  fat_depth, direct\n"),
              std::string::npos)
        << r.output;
    std::map<std::string, double> largest; // the largest response of each index and path
    std::map<std::string, std::map<std::string, double>> gains;
    for (const auto& row : rowsof(w.read("kalp-index-constrained-response.csv"))) {
        if (row.at("path") == "year") continue;
        const std::string key = row.at("index") + " " + row.at("path");
        const std::string component = row.at("name") + " " + row.at("component");
        gains[key][component] = std::stod(row.at("response_generation"));
        largest[key] = std::max(largest[key], std::fabs(gains[key][component]));
    }
    ASSERT_EQ(gains.size(), 4u);
    for (const char* path : {"rams", "ewes"}) {
        SCOPED_TRACE(path);
        const auto& held = gains.at(std::string("restricted ") + path);
        const double scale = largest.at(std::string("restricted ") + path);
        EXPECT_LE(std::fabs(held.at("Carcass fatness (score points) direct")), 1e-12 * scale);
        EXPECT_LE(std::fabs(held.at("fat_depth direct")), 1e-12 * scale);
        const auto& d = gains.at(std::string("desired ") + path);
        const double lean = d.at("Lean meat content of the carcass (%) direct");
        EXPECT_GT(lean, 0);
        EXPECT_NEAR(d.at("Lamb survival to weaning (%) direct") / lean, 2, 1e-12);
        EXPECT_NEAR(d.at("Litter size (lambs per lambing) maternal") / lean, 0.02, 1e-12);
    }
    // Each costs response against the index on the economic weights.
    for (const auto& row : rowsof(w.read("kalp-index-constrained.csv")))
        EXPECT_GT(std::stod(row.at("cost_year")), 0) << row.at("path") << " " << row.at("index");
    EXPECT_EQ(rowsof(w.read("kalp-index-constrained-weights.csv")).size(), 2u * (9 + 8));
    // Without them, a later kalp index removes their files with the set.
    w.remove("index-desired.csv");
    ASSERT_EQ(w.run("index --csv").status, 0);
    for (const char* f : {"kalp-index-constrained.csv", "kalp-index-constrained-weights.csv",
                          "kalp-index-constrained-response.csv"})
        EXPECT_FALSE(w.exists(f)) << f;
    EXPECT_TRUE(w.exists("kalp-index-sources.csv"));
}

} // namespace

// The run that gives the index its weights doubts what it reads as a plain
// run does: its warnings stand on standard error, the index is that of the
// numbers it read.
TEST(IndexRun, TheWarningsOfTheRunStandBesideTheIndex) {
    Workdir a, b;
    copyexample(a, "index");
    copyexample(b, "index");
    edit(a, "INPUTVRD01A.TXT", "365 540", "365 540 7");
    const Outcome r = a.run("index --csv"), plain = b.run("index --csv");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.beforetime(), plain.beforetime());
    EXPECT_EQ(plain.errors, "");
    EXPECT_EQ(r.errors.rfind("kalp: INPUTVRD01A.TXT, line 11: 1 number after the last value", 0), 0u)
        << r.errors;
    for (const char* name : {"kalp-index.csv", "kalp-index-weights.csv", "kalp-index-response.csv"})
        EXPECT_EQ(a.read(name), b.read(name)) << name;
}
