// The name of a scenario: every value read that changes a result changes
// it, a file laid out differently does not, and a run and a sweep that
// compute the same values give it alike.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

const char* const examples[] = {"one-system", "one-system-standardised", "two-systems",
                                "two-systems-dairy-rams"};

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> v;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, by))
        v.push_back(field);
    if (!line.empty() && line.back() == by) v.emplace_back();
    return v;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v = split(text, '\n');
    if (!v.empty() && v.back().empty()) v.pop_back();
    return v;
}

// The row of a run's kalp-scenarios.csv as column -> value (no field of
// it is quoted).
std::map<std::string, std::string> scenariorow(const Workdir& w) {
    const auto l = lines(w.read("kalp-scenarios.csv"));
    const auto names = split(l.at(0), ','), values = split(l.at(1), ',');
    EXPECT_EQ(names.size(), values.size());
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
        row[names[i]] = values[i];
    return row;
}

// A run with --csv --json of the example (Scenario::one for ""), with one
// text of one file replaced.
std::map<std::string, std::string> run(const std::string& example, const std::string& file,
                                       const std::string& from, const std::string& to) {
    Workdir w;
    if (example.empty())
        Scenario::one().write(w);
    else
        copyexample(w, example);
    if (!file.empty()) {
        std::string text = w.read(file);
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        w.write(file, text);
    }
    const Outcome r = w.run("--csv --json");
    EXPECT_EQ(r.status, 0) << r.output;
    if (r.status != 0) return {};
    auto row = scenariorow(w);
    // The JSON names the scenario and its inputs alike.
    const auto doc = nlohmann::json::parse(w.read("kalp-results.json"));
    EXPECT_EQ(doc["scenario"]["scenario"], row["scenario"]);
    EXPECT_EQ(doc["scenario"]["inputs"], row["inputs"]);
    return row;
}

} // namespace

// Each value changed alone gives another scenario, and exactly its own
// column changes: `inputs` for the values that have no column.
TEST(ScenarioKey, EveryValueThatChangesAResultChangesIt) {
    struct Row {
        const char* name;
        std::string example, file, from, to, column;
    };
    const Row rows[] = {
        {"ewe age weights", "one-system", "INPUTVRD01A.TXT", "0.25 0.22 0.19",
         "0.24 0.23 0.19", "inputs"},
        {"ram age weights", "one-system", "INPUTVRD01A.TXT", "0.5 0.3 0.2", "0.4 0.4 0.2",
         "inputs"},
        {"age of the ewes at first use", "one-system", "INPUTVRD01A.TXT", "365 540", "365 800",
         "inputs"},
        {"age of the A rams on B ewes", "two-systems", "INPUTVRD01B.TXT", "365 365 365",
         "365 730 365", "inputs"},
        {"a crossing share", "two-systems", "INPUTVRD01B.TXT", "0.1 0.3 0.4", "0.2 0.3 0.4",
         "inputs"},
        {"an expression weight", "two-systems", "INPUTVRD03.TXT", "0.3\n", "0.35\n", "inputs"},
        {"a given path", "", "INPUTVRD02.TXT", "0 0.3 0.2 \"Sire", "0 0.2 0.3 \"Sire", "inputs"},
        {"a path option, the same shares computed", "", "INPUTVRD02.TXT", "1 \"Sire path",
         "2 \"Sire path", "inputs"},
        {"a pair choice", "one-system-standardised", "INPUTVRD05.TXT", "4\n\"Daily gain in",
         "5\n\"Daily gain in", "inputs"},
        {"a standard deviation", "one-system-standardised", "INPUTVRD04.TXT", "0.30 0.15",
         "0.31 0.15", "gstd_d_1"},
        {"the discount rate", "one-system", "INPUTVRD01A.TXT", "0.05\n", "0.06\n",
         "discount_rate"},
        {"an economic value", "one-system", "INPUTVRD01A.TXT", "18.00 -1.50", "18.50 -1.50",
         "evpA_8"},
        {"an economic value of crossbred progeny", "two-systems", "INPUTVRD01B.TXT",
         "0.70 0.020", "0.75 0.020", "evpBx_1"},
        {"the period", "two-systems", "INPUTVRD03.TXT", "20\n", "21\n", "period"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto before = run(row.example, "", "", "");
        const auto after = run(row.example, row.file, row.from, row.to);
        ASSERT_EQ(before.size(), after.size());
        std::set<std::string> changed;
        for (const auto& [column, value] : before)
            if (after.at(column) != value) changed.insert(column);
        EXPECT_EQ(changed, (std::set<std::string>{"scenario", row.column}));
    }
}

// The same values in files laid out otherwise: a byte-order mark, Windows
// line ends, blank lines, more blanks between the numbers, 20.0 for 20 in
// the annotated files.
TEST(ScenarioKey, LayoutAloneKeepsIt) {
    for (const char* example : examples) {
        SCOPED_TRACE(example);
        Workdir plain, relaid;
        copyexample(plain, example);
        copyexample(relaid, example);
        for (const std::string& name : relaid.files()) {
            if (name.find(".TXT") == std::string::npos || name == "TEXTVRD_OUT.TXT") continue;
            std::string text;
            for (const std::string& line : lines(relaid.read(name))) {
                const bool whole = line.find_first_not_of("0123456789") == std::string::npos &&
                                   !line.empty() && name.rfind("INPUTVRD01", 0) != 0 &&
                                   name != "P01.TXT" && name != "ERROR.TXT";
                std::string spaced;
                for (const char c : line)
                    spaced += c == ' ' ? std::string(" \t ") : std::string(1, c);
                text += spaced + (whole ? ".0" : "") + "  \r\n\r\n";
            }
            relaid.write(name, "\xEF\xBB\xBF" + text);
        }
        ASSERT_EQ(plain.run("--csv").status, 0);
        const Outcome r = relaid.run("--csv");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(relaid.read("kalp-scenarios.csv"), plain.read("kalp-scenarios.csv"));
        EXPECT_EQ(relaid.read("kalp-weights.csv"), plain.read("kalp-weights.csv"));
    }
}

// The row of every bundled example's run stands as it is among the
// scenarios of a sweep that computes its values; the sweep's other
// scenarios differ in their name and the swept value alone.
TEST(ScenarioKey, ExamplesAndSweepsNameTheirScenariosAlike) {
    for (const char* example : examples) {
        SCOPED_TRACE(example);
        Workdir w;
        copyexample(w, example);
        ASSERT_EQ(w.run("--csv").status, 0);
        const auto run = scenariorow(w);
        const std::string row = lines(w.read("kalp-scenarios.csv")).at(1);
        ASSERT_EQ(w.run("--sweep u=0.07,0.05 --sweep evpA:1=0.8,0.9").status, 0);
        const auto swept = lines(w.read("kalp-sweep-scenarios.csv"));
        ASSERT_EQ(swept.size(), 5u);
        EXPECT_EQ(swept[0], lines(w.read("kalp-scenarios.csv")).at(0));
        const std::set<std::string> rows(swept.begin() + 1, swept.end());
        EXPECT_EQ(rows.count(row), 1u) << row;
        std::set<std::string> names;
        for (const std::string& r : rows) {
            const auto fields = split(r, ',');
            names.insert(fields.front());
            EXPECT_EQ(fields.back(), run.at("inputs"));
        }
        EXPECT_EQ(names.size(), 4u);
    }
}
