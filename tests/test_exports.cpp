// The options beyond the plain run: the class table, the CSV and JSON
// exports and the charts, end to end.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <csignal>
#include <thread>
#include <fstream>
#include <functional>
#include <iostream>

#include <charconv>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "report/svg.h"
#include "engine/parameters.h"
#include "report/catalogue.h"
#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

const fs::path expected = fs::path(KALP_SOURCE_DIR) / "tests" / "expected";

const char* const exports[] = {"kalp-classes.csv",  "kalp-geneflow.csv", "kalp-weights.csv",
                               "kalp-results.json", "kalp-geneflow.svg", "kalp-weights.svg"};

// The records of a CSV file (RFC 4180): a field in double quotes may hold
// commas, line breaks and doubled quotes.
std::vector<std::vector<std::string>> csvrows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            row.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            row.emplace_back();
        } else if (!quoted && c == '\n') {
            rows.push_back(row);
            row.assign(1, "");
        } else {
            row.back() += c;
        }
    }
    return rows;
}

// Text as the charts hold it.
std::string svgtext(const std::string& utf8) { return kalp::svg::escape(utf8); }

// The dump's lines "name[i] = value" as name[i] -> value text.
std::map<std::string, std::string> dumpvalues(const std::string& dump) {
    std::map<std::string, std::string> v;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find(" = ");
        if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 3);
    }
    return v;
}

std::string format(const char* fmt, const std::string& value) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, std::stod(value));
    return text;
}

// Start and end tags pair up, in order.
bool wellformed(const std::string& xml) {
    std::vector<std::string> open;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const size_t end = xml.find('>', at);
        if (end == std::string::npos) return false;
        const std::string tag = xml.substr(at + 1, end - at - 1);
        if (tag[0] == '?' || tag[0] == '!') continue;
        const std::string name =
            tag.substr(tag[0] == '/', tag.find_first_of(" \n\t/", 1) - (tag[0] == '/'));
        if (tag[0] == '/') {
            if (open.empty() || open.back() != name) return false;
            open.pop_back();
        } else if (tag.back() != '/') {
            open.push_back(name);
        }
    }
    return open.empty();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(Exports, OneExampleGivesTheCheckedInFiles) {
    Workdir w;
    copyexample(w, "one-system-standardised");
    const Outcome r = w.run("--csv --json --plot");
    ASSERT_EQ(r.status, 0) << r.output;
    // The results file and the dump are those of a plain run.
    const fs::path plain = expected / "one-system-standardised";
    EXPECT_EQ(w.read("resgfps01"), slurp(plain / "resgfps01"));
    EXPECT_EQ(w.read("CHECKVRD"), slurp(plain / "CHECKVRD"));
    for (const char* name :
         {"kalp-scenarios.csv", "kalp-classes.csv", "kalp-weights.csv", "kalp-results.json"})
        EXPECT_EQ(w.read(name), slurp(plain / "exports" / name)) << name;
    EXPECT_NE(
        r.beforetime().find("in the file CHECKVRD.\n"
                            "The file kalp-scenarios.csv holds the values of the scenario.\n"
                            "The file kalp-classes.csv holds the sex and age groups.\n"
                            "The file kalp-geneflow.csv holds the gene flow by year.\n"
                            "The file kalp-weights.csv holds the economic weights.\n"
                            "The file kalp-results.json holds the results of the run.\n"
                            "The file kalp-geneflow.svg holds the chart of the gene flow.\n"
                            "The file kalp-weights.svg holds the chart of the relative weights.\n"),
        std::string::npos)
        << r.output;
    for (const std::string& f : w.files())
        EXPECT_EQ(f.find(".part"), std::string::npos) << f;
}

// The exported numbers are the model's: each is the shortest text of its
// single-precision value, and printed in the dump's format it gives the
// dump's digits. Every table names the scenario of its rows, which the
// table of scenarios holds with its values; relative weights carry the sign
// of their economic weight; CSV and JSON use the same names.
TEST(Exports, ValuesEqualTheDump) {
    const auto shortest = [](const std::string& x) {
        const float v = std::strtof(x.c_str(), nullptr);
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
    };
    for (const char* example : {"one-system", "two-systems"}) {
        SCOPED_TRACE(example);
        Workdir w;
        copyexample(w, example);
        ASSERT_EQ(w.run("--csv --json").status, 0);
        auto dump = dumpvalues(w.read("CHECKVRD"));
        const int acm = std::stoi(dump["acm"]), years = std::stoi(dump["l_inv"]);
        const auto scenarios = csvrows(w.read("kalp-scenarios.csv"));
        ASSERT_EQ(scenarios.size(), 2u);
        const std::string id = scenarios[1][0];
        const std::string scenario = id + ",0.05," + std::to_string(years) + ",1";
        std::map<std::string, std::string> values;
        for (size_t i = 0; i < scenarios[0].size(); ++i)
            values[scenarios[0][i]] = scenarios[1][i];
        EXPECT_EQ(values["evpA_8"], shortest(dump["evpA[8][1]"]));
        EXPECT_EQ(values["evpB_1"], std::string(example) == "one-system" ? "" : shortest(dump["evpB[1][1]"]));
        EXPECT_EQ(values["standardisation"], std::string(example) == "one-system" ? "FALSE" : "TRUE");
        const auto flow = csvrows(w.read("kalp-geneflow.csv"));
        ASSERT_EQ(flow.size(), 1u + static_cast<size_t>((years + 1) * acm));
        // The gene flow is named by the values it depends on.
        const std::string flowing = "0.05," + std::to_string(years) + ",1";
        for (size_t i = flow.size() - acm; i < flow.size(); ++i) {
            const std::string c = flow[i][4];
            EXPECT_EQ(flow[i][0] + "," + flow[i][1] + "," + flow[i][2], flowing);
            EXPECT_EQ(std::stoi(flow[i][3]), years);
            for (const auto& [name, col] : {std::pair{"m_gf", 5}, std::pair{"m_sum", 6}}) {
                const std::string key = std::string(name) + "[" + c + "]";
                const std::string want = dump.count(key) ? dump[key] : " 0.00000";
                EXPECT_EQ(format("%8.5f", flow[i][col]), want) << key;
                EXPECT_EQ(shortest(flow[i][col]), flow[i][col]);
            }
        }
        for (const auto& row : csvrows(w.read("kalp-classes.csv"))) {
            if (row[0] == "discount_rate") continue;
            EXPECT_EQ(row[0] + "," + row[1] + "," + row[2], flowing);
            const std::string key = "m_sum[" + row[3] + "]";
            EXPECT_EQ(format("%8.5f", row[8]), dump.count(key) ? dump[key] : " 0.00000") << key;
            EXPECT_TRUE(row[7] == "TRUE" || row[7] == "FALSE");
        }
        const auto weights = csvrows(w.read("kalp-weights.csv"));
        EXPECT_EQ(weights.size(), 41u);
        for (const auto& row : weights) {
            if (row[0] == "scenario") continue;
            EXPECT_EQ(row[0] + "," + row[1] + "," + row[2] + "," + row[3], scenario);
            const std::string key = (row[6] == "direct" ? "ew_d[" : "ew_m[") + row[4] + "]";
            const std::string want = dump[key] == "not calculated" ? "      0.0000" : dump[key];
            EXPECT_EQ(format("%12.4f", row[7]), want) << key;
            EXPECT_EQ(shortest(row[7]), row[7]);
            const std::string share = (row[6] == "direct" ? "ewr_da[" : "ewr_ma[") + row[4] + "]";
            if (row.size() > 8 && dump.count(share)) {
                // The share of the dump, with the economic weight's sign.
                EXPECT_EQ(format("%12.4f", row[12].substr(row[12][0] == '-')), dump[share]) << share;
                EXPECT_EQ(row[12][0] == '-', row[7][0] == '-') << key;
            }
        }
        const auto doc = nlohmann::json::parse(w.read("kalp-results.json"));
        EXPECT_EQ(doc["scenario"]["scenario"], id);
        EXPECT_EQ(doc["scenario"]["traced_group"], 1);
        EXPECT_EQ(doc["scenario"]["period"], years);
        EXPECT_EQ(doc["weights"].size(), 40u);
        for (const auto& x : doc["weights"]) {
            EXPECT_EQ(x["scenario"], id);
            EXPECT_EQ(x["discount_rate"].get<double>(), 0.05);
        }
        for (const auto& c : doc["classes"]) {
            const std::string key = "m_sum[" + std::to_string(c["class"].get<int>()) + "]";
            char text[32];
            std::snprintf(text, sizeof text, "%8.5f", c["cumulative"].get<double>());
            EXPECT_EQ(text, dump.count(key) ? dump[key] : " 0.00000") << key;
        }
    }
}

// The class table gives the numbers that the traced group refers to: each
// class it calls traceable runs, and the report names the same group.
TEST(Exports, ClassTableNamesTheTracedGroups) {
    Workdir w;
    copyexample(w, "two-systems");
    const auto files = w.files();
    const Outcome table = w.run("--classes");
    ASSERT_EQ(table.status, 0);
    EXPECT_EQ(w.files(), files); // it writes no file
    const std::map<std::string, std::string> captions = {
        {"rams of A", "rams of system A."},
        {"ewes of A", "ewes of system A."},
        {"crossing rams of A", "rams of system A used on ewes of system B."},
        {"rams of B", "rams of system B."},
        {"ewes of B", "ewes of system B."}};
    std::istringstream in(table.output);
    std::string line, block;
    int position = 0, traceable = 0;
    const std::string settings = w.read("INPUTVRD03.TXT");
    while (std::getline(in, line)) {
        std::istringstream l(line);
        int c, age;
        std::string system, may;
        if (!(l >> c >> system >> age >> may)) continue;
        std::string group;
        std::getline(l >> std::ws, group);
        if (may == "no") continue;
        ++traceable;
        std::string name = group.rfind("newborn ", 0) == 0 ? group.substr(8) : group;
        name = name.substr(0, std::min(name.find(" in reproductive"), name.find(" before")));
        position = name == block ? position + 1 : 1;
        block = name;
        std::string s = settings;
        s.replace(s.find("\n1\n\"Traced"), 3, "\n" + std::to_string(c) + "\n");
        w.write("INPUTVRD03.TXT", s);
        ASSERT_EQ(w.run().status, 0) << c;
        char caption[200];
        std::snprintf(caption, sizeof caption, "from sex and age group%3d of the %s", position,
                      captions.at(block).c_str());
        EXPECT_NE(w.read("resgfps02").find(caption), std::string::npos) << c << " " << group;
    }
    EXPECT_EQ(traceable, 25);
}

TEST(Exports, ChartsAreWellFormedWithALinePerClass) {
    Workdir w;
    copyexample(w, "two-systems");
    ASSERT_EQ(w.run("--plot").status, 0);
    const std::string flow = w.read("kalp-geneflow.svg"), weights = w.read("kalp-weights.svg");
    EXPECT_TRUE(wellformed(flow));
    EXPECT_TRUE(wellformed(weights));
    // One line per class that the traced genes reach: the rams and ewes of
    // B and the purebred progeny of B are not reached from the newborn rams
    // of A, and the note names them.
    EXPECT_EQ(count(flow, "<polyline"), 17u);
    EXPECT_EQ(flow.find("data-class=\"27\""), std::string::npos);
    EXPECT_NE(flow.find("Not reached by the traced genes"), std::string::npos);
    EXPECT_NE(flow.find("class 27 (purebred progeny of B)"), std::string::npos);
    EXPECT_GT(count(weights, "data-value="), 20u); // the bars
    // Without standardisation there are no relative weights to draw.
    Workdir one;
    copyexample(one, "one-system");
    ASSERT_EQ(one.run("--plot").status, 0);
    EXPECT_EQ(count(one.read("kalp-geneflow.svg"), "<polyline"), 12u);
    EXPECT_FALSE(one.exists("kalp-weights.svg"));
}

// Trait names in the template as Windows programs save them: every export
// holds them as UTF-8, every chart draws them as they are, cut to its width.
TEST(Exports, TraitNamesOfAnyTemplate) {
    const std::string cp1252 = "Gewicht der L\xe4mmer, \x93gesamt\x94 #u (kg)";
    const std::string utf8 = "Gewicht der L\xc3\xa4mmer, \xe2\x80\x9cgesamt\xe2\x80\x9d #u (kg)";
    std::string longname;
    while (longname.size() < 2000)
        longname += "#u ";
    longname += "end";
    // Trait 8, litter size, has the largest weight of the example: both
    // charts name it.
    struct Row {
        std::string caption, name; // the caption of trait 8 and its name
        std::string drawn;         // how the weights chart begins its label
    };
    const Row rows[] = {
        {cp1252, utf8, svgtext("8 " + utf8)},
        {utf8, utf8, svgtext("8 " + utf8)},
        {"", "trait 8", svgtext("8 trait 8")},
        {longname, longname, svgtext("8 #u #u #u")},
    };
    Workdir plain;
    copyexample(plain, "one-system-standardised");
    ASSERT_EQ(plain.run("--plot").status, 0);
    const size_t bars = count(plain.read("kalp-weights.svg"), "data-value=");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.substr(0, 40));
        Workdir w;
        copyexample(w, "one-system-standardised");
        std::string tpl = w.read("TEXTVRD_OUT.TXT");
        const std::string caption = "\"\"   8 Litter size (lambs per lambing)";
        ASSERT_NE(tpl.find(caption), std::string::npos);
        tpl.replace(tpl.find(caption), caption.size(), "\"\"   8 " + row.caption);
        w.write("TEXTVRD_OUT.TXT", tpl);
        for (const char* options : {"--csv --json --plot", "--sweep u=0.02,0.05 --json --plot"}) {
            SCOPED_TRACE(options);
            ASSERT_EQ(w.run(options).status, 0);
            const bool sweep = std::string(options).find("sweep") != std::string::npos;
            const auto csv = csvrows(w.read(sweep ? "kalp-sweep.csv" : "kalp-weights.csv"));
            const size_t column = 5; // after the scenario columns and the trait
            ASSERT_GT(csv.size(), 1u);
            EXPECT_EQ(csv[0][column], "name");
            const auto eight = std::find_if(csv.begin(), csv.end(),
                                            [](const auto& r) { return r[4] == "8"; });
            ASSERT_NE(eight, csv.end());
            EXPECT_EQ((*eight)[column], row.name);
            // A strict parser: invalid UTF-8 is an error.
            const auto doc =
                nlohmann::json::parse(w.read(sweep ? "kalp-sweep.json" : "kalp-results.json"));
            for (const auto& x : sweep ? doc : doc["weights"])
                if (x["trait"] == 8) {
                    EXPECT_EQ(x["name"], row.name);
                }
            const std::string svg = w.read(sweep ? "kalp-sweep.svg" : "kalp-weights.svg");
            EXPECT_TRUE(wellformed(svg));
            // The sweep chart titles its panels with the first characters.
            EXPECT_NE(svg.find(sweep ? svgtext("8 " + row.name.substr(0, 20)) : row.drawn),
                      std::string::npos);
            if (!sweep) {
                EXPECT_EQ(count(svg, "data-value="), bars);
            }
            if (row.name == longname) {
                EXPECT_NE(svg.find("\u2026"), std::string::npos);
            }
        }
        // The results file keeps the bytes of the template.
        EXPECT_NE(w.read("resgfps01").find(row.caption), std::string::npos);
    }
}

TEST(CommandLine, WorkingDirectoryAndClassTable) {
    Workdir w;
    copyexample(w, "one-system");
    Workdir elsewhere;
    for (const auto& [name, text] : w.folder().files())
        elsewhere.write("flock/" + name, text);
    Outcome r = elsewhere.run("-C 'flock' --csv");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(elsewhere.exists("flock/kalp-weights.csv"));
    EXPECT_FALSE(elsewhere.exists("resgfps01"));
    r = elsewhere.run("-C 'flock/none'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("cannot work in"), std::string::npos);
    // An empty name, as an unset shell variable gives, is no directory.
    r = elsewhere.run("-C ''");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors.rfind("kalp: -C (--dir) needs the name of a directory", 0), 0u) << r.errors;
    EXPECT_EQ(w.run("--classes --csv").status, 2);
    EXPECT_EQ(w.run("--classes").output,
              "Sex and age groups of one production system: 12 in all.\n"
              "The traced group in INPUTVRD02.TXT may be any of 1 to 11.\n\n"
              "class  system  age  traceable  group\n"
              "    1  A         0  yes        newborn rams of A\n"
              "    2  A         1  yes        rams of A in reproductive class 1\n"
              "    3  A         2  yes        rams of A in reproductive class 2\n"
              "    4  A         3  yes        rams of A in reproductive class 3\n"
              "    5  A         0  yes        newborn ewes of A\n"
              "    6  A         1  yes        ewes of A in reproductive class 1\n"
              "    7  A         2  yes        ewes of A in reproductive class 2\n"
              "    8  A         3  yes        ewes of A in reproductive class 3\n"
              "    9  A         4  yes        ewes of A in reproductive class 4\n"
              "   10  A         5  yes        ewes of A in reproductive class 5\n"
              "   11  A         6  yes        ewes of A in reproductive class 6\n"
              "   12  A         0  no         progeny of A\n");
    // An error in the system files is the run's own report.
    w.write("INPUTVRD01A.TXT", "0.05\n0\n");
    r = w.run("--classes");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.beforetime(),
              "\nError message:\nIn INPUTVRD01A.TXT, the number of reproductive ram classes is 0, "
              "fewer than the 1 that the model needs.\n  Give at least 1 class in INPUTVRD01A.TXT "
              "and restart the program.\n\n");
}

// --help, --version, README.md, the manual page and CHANGELOG.md tell the
// same: every option of the help has a row in the table of README.md that
// names the same files; the manual page holds every option of every
// subcommand, every sweep name, every file and the installed folder; the
// change log names every subcommand and option, and the version is the
// program's own.
TEST(CommandLine, HelpVersionAndReadmeAgree) {
    Workdir w;
    const std::string readme = slurp(fs::path(KALP_SOURCE_DIR) / "README.md");
    const std::string changelog = slurp(fs::path(KALP_SOURCE_DIR) / "CHANGELOG.md");
    const std::string version = w.run("--version").output;
    const std::string first = version.substr(0, version.find('\n'));
    EXPECT_EQ(first, std::string("kalp ") + KALP_VERSION);
    EXPECT_NE(version.find("KALP Version 1.0.3, 2011"), std::string::npos);
    EXPECT_NE(version.find("Licence"), std::string::npos);
    EXPECT_NE(readme.find("`" + first + "`"), std::string::npos) << first;
    EXPECT_EQ(changelog.find("\n## ", 0), changelog.find(std::string("\n## ") + KALP_VERSION + " "));
    const auto files = [](const std::string& text) {
        std::set<std::string> names;
        for (size_t at = text.find("kalp-"); at != std::string::npos;
             at = text.find("kalp-", at + 1))
            names.insert(text.substr(at, text.find_first_of(" ,;)`", at) - at));
        return names;
    };
    std::istringstream help(w.run("--help").output);
    int options = 0;
    std::set<std::string> every; // the options of kalp and of its subcommands
    for (std::string line; std::getline(help, line);) {
        if (line.rfind("  -", 0) != 0) continue;
        ++options;
        // "  -C,--dir DIR   Work in ...": the last name before the text.
        const std::string names = line.substr(2, line.find("  ", 2) - 2);
        const std::string name = names.substr(names.rfind(',') + 1);
        every.insert(name.substr(0, name.find(' ')));
        std::istringstream table(readme);
        std::string row;
        while (std::getline(table, row))
            if (row.rfind("| `", 0) == 0 &&
                row.find("`" + name.substr(0, name.find(' '))) < row.find(" | "))
                break;
        ASSERT_TRUE(table) << name;
        EXPECT_EQ(files(row), files(line)) << name;
        EXPECT_NE(changelog.find("`" + name.substr(0, name.find(' '))), std::string::npos) << name;
    }
    EXPECT_EQ(options, 10);
    for (const char* sub : {"init", "serve", "index"}) {
        EXPECT_NE(readme.find(std::string("| `") + sub), std::string::npos) << sub;
        EXPECT_NE(changelog.find(std::string("`kalp ") + sub), std::string::npos) << sub;
        std::istringstream subhelp(w.run(std::string(sub) + " --help").output);
        for (std::string line; std::getline(subhelp, line);) {
            if (line.rfind("  -", 0) != 0 || line.rfind("  -h,", 0) == 0) continue;
            const std::string names = line.substr(2, line.find("  ", 2) - 2);
            const std::string name = names.substr(names.rfind(',') + 1);
            every.insert(name.substr(0, name.find(' ')));
            EXPECT_NE(readme.find(name.substr(0, name.find(' '))), std::string::npos) << name;
        }
    }
    EXPECT_TRUE(every.count("--two-systems") && every.count("--port"));
    // The manual page, where help2man made it.
    const fs::path manual = fs::path(KALP_BINARY).parent_path() / "kalp.1";
    if (!fs::exists(manual)) {
        std::cout << "(help2man is missing: the manual page is not checked)\n";
        return;
    }
    const auto roff = [](std::string s) {
        for (size_t at = 0; (at = s.find('-', at)) != std::string::npos; at += 2)
            s.replace(at, 1, "\\-");
        return s;
    };
    const std::string man = slurp(manual);
    for (const std::string& option : every)
        EXPECT_NE(man.find(roff(option)), std::string::npos) << option;
    for (const kalp::Parameter& p : kalp::parameters())
        EXPECT_NE(man.find(roff(kalp::paramname(p, p.pertrait ? 1 : 0).substr(0, std::string(p.name).size()))),
                  std::string::npos)
            << p.name;
    for (const std::string& name : kalp::outputnames())
        EXPECT_NE(man.find(roff(name)), std::string::npos) << name;
    EXPECT_EQ(man.find("PREFIX"), std::string::npos);
    EXPECT_NE(man.find("EXIT STATUS"), std::string::npos);
    EXPECT_NE(man.find(".SS \"kalp serve\""), std::string::npos);
}
