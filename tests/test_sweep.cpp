// Sweeps: the values of a scenario are exactly those of a normal run on
// input files that hold the scenario's values.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "report/progress.h"
#include "run/sweepargs.h"
#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

// Replaces the value of the record labelled `label`, which stands alone on
// the line before its words.
std::string setrecord(const std::string& text, const std::string& label, const std::string& v) {
    std::string out;
    auto l = lines(text);
    for (size_t i = 1; i < l.size(); ++i)
        if (l[i].find("\"" + label + "\"") != std::string::npos) l[i - 1] = v;
    for (const auto& x : l)
        out += x + "\n";
    return out;
}

// The rows of a CSV file after its header, keyed by the fields before
// `values`, with the rest as text.
std::map<std::string, std::string> keyed(const std::string& csv, size_t keys) {
    std::map<std::string, std::string> rows;
    auto l = lines(csv);
    for (size_t i = 1; i < l.size(); ++i) {
        size_t at = 0;
        for (size_t k = 0; k < keys; ++k)
            at = l[i].find(',', at) + 1;
        rows[l[i].substr(0, at)] = l[i].substr(at);
    }
    return rows;
}

} // namespace

TEST(Sweep, RangesAreTheValuesAPersonWouldType) {
    using kalp::rangetexts;
    EXPECT_EQ(rangetexts("0:0.1:0.01"),
              (std::vector<std::string>{"0.00", "0.01", "0.02", "0.03", "0.04", "0.05", "0.06",
                                        "0.07", "0.08", "0.09", "0.10"}));
    EXPECT_EQ(rangetexts("5:40:5").size(), 8u);
    EXPECT_EQ(rangetexts("10:1:-3"), (std::vector<std::string>{"10", "7", "4", "1"}));
    EXPECT_EQ(rangetexts("-0.05:0.05:0.05"), (std::vector<std::string>{"-0.05", "0.00", "0.05"}));
    EXPECT_EQ(rangetexts("1:1:1"), std::vector<std::string>{"1"});
    for (const char* bad : {"0:1:0", "10:1:1", "1:10:-1", "1:2", "a:2:1", "1e-2:1:1", "0:1:0.000"})
        EXPECT_THROW(rangetexts(bad), kalp::BadSweep) << bad;
    EXPECT_EQ(kalp::parsesweep("l_inv=5,10,20.0").texts.size(), 3u);
    for (const char* bad :
         {"k=1", "u", "u=-1", "u=0,,1", "u=0x1", "l_inv=0", "n_sac=1.5", "l_inv=1:10:0.5", "u=nan",
          "l_inv=1000001"})
        EXPECT_THROW(kalp::parsesweep(bad), kalp::BadSweep) << bad;
}

// A value given twice would compute one scenario twice, and a range
// longer than its exact steps allow cannot be counted: usage errors that
// name the value, before any file is read or written.
TEST(Sweep, ValuesGivenTwiceAndOverlongRangesAreRefused) {
    const struct {
        const char* args;
        const char* says;
    } rows[] = {
        {"--sweep u=0.05,0.05", "u=0.05,0.05: 0.05 is given twice"},
        {"--sweep n_sac=1,2,1", "n_sac=1,2,1: 1 is given twice"},
        {"--sweep l_inv=20,20.0", "l_inv=20,20.0: 20.0 is the value of 20 again, as the input files read it"},
        {"--sweep evpA:8=1,2 --sweep u=0.3:0.3000000001:0.0000000001",
         "u=0.3:0.3000000001:0.0000000001: 0.3000000001 is the value of 0.3000000000 again, as the "
         "input files read it"},
        {"--sweep u=0:0.1:0.000000000000001",
         "u=0:0.1:0.000000000000001: \"0.000000000000001\" in 0:0.1:0.000000000000001 has 16 "
         "digits; the numbers of a range have at most 15"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Workdir w;
        copyexample(w, "one-system");
        const auto before = w.files();
        const Outcome r = w.run(row.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.errors, std::string("kalp: --sweep ") + row.says +
                                "\nTry 'kalp --help' for more information.\n");
        EXPECT_EQ(w.files(), before);
    }
}

// A list item with a leading zero before a digit may be a decimal comma
// ("0,05" as 0 and 05): refused as ambiguous, with the decimal it may mean.
TEST(Sweep, ADecimalCommaIsRefusedAsAmbiguous) {
    const struct {
        const char* arg;
        const char* says; // "" when the list is taken
    } rows[] = {
        {"u=0,05", "\"0,05\" may be the decimal 0.05 written with a comma, or the two values 0 and 05; "
                   "write 0.05 (decimals take a point), or 0,5 for two values"},
        {"u=0.02,0,08", "write 0.08 (decimals take a point), or 0,8 for two values"},
        {"evpA:8=-1,005", "write -1.005 (decimals take a point), or -1,5 for two values"},
        {"l_inv=5,010", "write 5.010"},
        {"l_inv=05,10", "\"05\" begins with a 0 before a digit, which makes it unclear; write 5"},
        {"u=0,00", "write 0.00 (decimals take a point), or 0,0 for two values"},
        {"u=0,0.05,0.1", ""},
        {"u=0.05,0,0.1", ""},
        {"u=0:0.1:0.05", ""},
    };
    for (const auto& r : rows) {
        if (!*r.says) {
            EXPECT_NO_THROW(kalp::parsesweep(r.arg)) << r.arg;
            continue;
        }
        try {
            kalp::parsesweep(r.arg);
            ADD_FAILURE() << r.arg << " was taken";
        } catch (const kalp::BadSweep& e) {
            EXPECT_NE(std::string(e.what()).find(r.says), std::string::npos) << e.what();
        }
    }
    // On the command line: a usage error, nothing written.
    Workdir w;
    kalp::test::copyexample(w, "one-system");
    const auto before = w.files();
    const Outcome r = w.run("--sweep u=0,05");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("--sweep u=0,05: \"0,05\" may be the decimal 0.05"), std::string::npos) << r.errors;
    EXPECT_EQ(w.files(), before);
}

// Writes the value of a swept economic value (evpA:K) or standard deviation
// (gstd_d:K) into the files of `w`, as a user would.
static void place(Workdir& w, const std::string& name, const std::string& v) {
    const int k = std::stoi(name.substr(name.find(':') + 1));
    if (name.rfind("evpA:", 0) == 0) {
        std::istringstream in(w.read("INPUTVRD01A.TXT"));
        std::vector<std::string> t;
        for (std::string x; in >> x;)
            t.push_back(x);
        const size_t rams = std::stoul(t[1]), ewes = std::stoul(t[2 + rams]);
        t[3 + rams + ewes + k - 1] = v;
        std::string text;
        for (const auto& x : t)
            text += x + "\n";
        w.write("INPUTVRD01A.TXT", text);
        return;
    }
    char label[16];
    std::snprintf(label, sizeof label, "\"T%02d\"", k);
    std::string out;
    for (std::string l : lines(w.read("INPUTVRD04.TXT")))
        out += (l.find(label) != std::string::npos ? v + l.substr(l.find(' ')) : l) + "\n";
    w.write("INPUTVRD04.TXT", out);
}

// Each scenario of a sweep against a normal run on files that hold its
// values: the same 9 digits for every weight, standardised and relative
// weight and discounted gene flow.
TEST(Sweep, EveryScenarioIsTheNormalRunOfItsValues) {
    struct Case {
        const char* example;
        std::string settings, sweeps;
        std::vector<std::string> u, years, traced;
        std::string other = ""; // a swept economic value or standard deviation
        std::vector<std::string> others = {""};
    };
    const Case cases[] = {
        {"one-system",
         "INPUTVRD02.TXT",
         "--sweep l_inv=3,20 --sweep u=0.1,-0.03",
         {"0.1", "-0.03"},
         {"3", "20"},
         {"1"}},
        {"one-system-standardised",
         "INPUTVRD02.TXT",
         "--sweep n_sac=6,1 --sweep u=0.02:0.05:0.03 --sweep l_inv=7",
         {"0.02", "0.05"},
         {"7"},
         {"6", "1"}},
        {"two-systems",
         "INPUTVRD03.TXT",
         "--sweep n_sac=1,16,22 --sweep l_inv=2,25",
         {"0.05"},
         {"2", "25"},
         {"1", "16", "22"}},
        {"one-system-standardised",
         "INPUTVRD02.TXT",
         "--sweep evpA:8=26.5,-3 --sweep u=0.02,0.05",
         {"0.02", "0.05"},
         {"20"},
         {"1"},
         "evpA:8",
         {"26.5", "-3"}},
        {"two-systems",
         "INPUTVRD03.TXT",
         "--sweep gstd_d:1=0.4,7.25 --sweep l_inv=3,30",
         {"0.05"},
         {"3", "30"},
         {"1"},
         "gstd_d:1",
         {"0.4", "7.25"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.example);
        Workdir w;
        copyexample(w, c.example);
        const Outcome r = w.run(c.sweeps);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_FALSE(w.exists("CHECKVRD"));
        EXPECT_FALSE(w.exists("resgfps01") || w.exists("resgfps02"));
        // Rows are keyed by their scenario (its name and the three columns
        // after it), trait, name and component; the gene flow by class.
        const auto weights = keyed(w.read("kalp-sweep.csv"), 7);
        const auto flow = keyed(w.read("kalp-sweep-geneflow.csv"), 4);
        const std::vector<std::string> swept = lines(w.read("kalp-sweep-scenarios.csv"));
        size_t matched = 0, scenarios = 0;
        for (const auto& u : c.u)
            for (const auto& years : c.years)
                for (const auto& traced : c.traced)
                    for (const auto& other : c.others) {
                    ++scenarios;
                    Workdir n;
                    copyexample(n, c.example);
                    std::string a = n.read("INPUTVRD01A.TXT");
                    n.write("INPUTVRD01A.TXT", u + a.substr(a.find('\n')));
                    n.write(c.settings, setrecord(setrecord(n.read(c.settings), "l_inv", years),
                                                  "n_sac", traced));
                    if (!c.other.empty()) place(n, c.other, other);
                    ASSERT_EQ(n.run("--csv").status, 0) << u << " " << years << " " << traced;
                    // The run's scenario is one of the sweep's, under the same
                    // name, and its rows are those of that name in the sweep.
                    const std::string row = lines(n.read("kalp-scenarios.csv")).at(1);
                    EXPECT_NE(std::find(swept.begin(), swept.end(), row), swept.end()) << row;
                    const std::string name = row.substr(0, row.find(','));
                    const std::string scenario = name + "," + u + "," + years + "," + traced + ",";
                    for (const auto& [run, rest] : keyed(n.read("kalp-weights.csv"), 7)) {
                        ASSERT_EQ(run.substr(0, scenario.size()), scenario);
                        const auto got = weights.find(run);
                        ASSERT_NE(got, weights.end()) << run;
                        EXPECT_EQ(got->second, rest) << run;
                        ++matched;
                    }
                    // The gene flow, named by the values it depends on: the
                    // sweep gives it once for every scenario that shares it.
                    const std::string flowing = u + "," + years + "," + traced + ",";
                    for (const auto& [run, rest] : keyed(n.read("kalp-geneflow.csv"), 5)) {
                        if (run.rfind(flowing + years + ",", 0) != 0) continue;
                        const std::string cls = run.substr(flowing.size() + years.size() + 1);
                        const auto got = flow.find(flowing + cls);
                        ASSERT_NE(got, flow.end()) << flowing + cls;
                        EXPECT_EQ(got->second, rest.substr(rest.rfind(',') + 1)) << run;
                    }
                }
        EXPECT_EQ(swept.size(), scenarios + 1);
        // Each gene flow once, however many scenarios share it.
        EXPECT_EQ(flow.size(), lines(w.read("kalp-sweep-geneflow.csv")).size() - 1);
        // Every scenario has a row for each of the 40 trait components.
        EXPECT_EQ(weights.size(), 40 * scenarios);
        EXPECT_EQ(matched, weights.size());
    }
}

TEST(Sweep, InputErrorsAndValuesOutsideTheClassTable) {
    // An error in the input files ends a sweep with the report of a
    // normal run, and no export remains.
    Workdir plain, swept;
    for (Workdir* w : {&plain, &swept}) {
        Scenario s = Scenario::one();
        s.a.replace(s.a.find("0.5 0.3 0.2"), 11, "0.5 0.3 0.3");
        s.write(*w);
    }
    const Outcome p = plain.run(), r = swept.run("--sweep u=0.01,0.02 --json --plot");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.beforetime(), p.beforetime());
    for (const char* name : {"kalp-sweep.csv", "kalp-sweep-geneflow.csv", "kalp-sweep.json",
                             "kalp-sweep.svg", "kalp-sweep.csv.part"})
        EXPECT_FALSE(swept.exists(name)) << name;
    // The class table of Scenario::one has 8 classes: 1 to 7 may be traced,
    // 8 is the progeny class.
    Workdir w;
    Scenario::one().write(w);
    for (const auto& [traced, what] :
         {std::pair{"7,8", "8, a progeny class, which cannot be traced"},
          std::pair{"9", "9, outside the class table of the input files"}}) {
        const Outcome out = w.run(std::string("--sweep n_sac=") + traced);
        EXPECT_EQ(out.status, 1);
        EXPECT_NE(out.output.find(std::string("The option --sweep n_sac gives the traced sex and "
                                              "age group ") +
                                  what +
                                  ".\n  Give traced groups from 1 to 7 (kalp --classes lists "
                                  "them)"),
                  std::string::npos)
            << out.output;
    }
    // A scenario that a normal run stops on stops the sweep, naming it and
    // the option that gave the value at fault.
    for (const auto& [sweep, stop] :
         {std::pair{"--sweep u=0.05,-0.9999 --sweep l_inv=40",
                    "u = -0.9999, l_inv = 40, n_sac = 1:\nThe discounted gene flow of class 1 "
                    "is not a finite number.\n  Check the discount rate given with --sweep u and "
                    "restart the program."},
          std::pair{"--sweep evpA:1=3e38 --sweep l_inv=40",
                    "u = 0.05, l_inv = 40, n_sac = 1, evpA:1 = 3e+38:\nThe economic weight of "
                    "trait 1, direct, is not a finite number.\n  Check the economic value given "
                    "with --sweep evpA:1 and restart the program."}}) {
        const Outcome near = w.run(sweep);
        EXPECT_EQ(near.status, 1);
        EXPECT_NE(near.output.find(std::string("Error message:\nIn the sweep scenario ") + stop),
                  std::string::npos)
            << near.output;
    }
    // Arguments that cannot be read are bad arguments.
    EXPECT_EQ(w.run("--sweep u=1:0:0.1").status, 2);
    EXPECT_EQ(w.run("--sweep u=0.1 --sweep u=0.2").status, 2);
    EXPECT_EQ(w.run("--classes --sweep u=0.1").status, 2);
    EXPECT_EQ(w.run("--sweep evpA:36=1").status, 2);
    // The exports of a run are not those of a sweep: --csv is refused, and
    // nothing is left behind.
    const auto before = w.files();
    EXPECT_EQ(w.run("--csv --sweep u=0.02").status, 2);
    EXPECT_EQ(w.files(), before);
}

// A sweep over values alone is split among jobs: its rows are still those
// of each value swept alone, in the order of the values, and the first stop
// in that order is the one reported.
TEST(Sweep, ValuesAloneAreSplitAmongJobs) {
    Workdir w;
    copyexample(w, "one-system-standardised");
    ASSERT_EQ(w.run("--sweep evpA:8=1:1200:1").status, 0);
    const auto all = lines(w.read("kalp-sweep.csv"));
    ASSERT_EQ(all.size(), 1 + 40 * 1200u);
    // Each scenario's 40 rows stand together, named by their first fields.
    const auto named = [&](size_t row) {
        size_t at = 0;
        for (int field = 0; field < 4; ++field)
            at = all[row].find(',', at) + 1;
        return all[row].substr(0, at);
    };
    for (size_t i = 1; i < all.size(); ++i)
        ASSERT_TRUE(i % 40 == 1 ? named(i) != named(i - 1) : named(i) == named(i - 1)) << i << ": " << all[i];
    for (const int v : {1, 255, 256, 257, 600, 601, 1199, 1200}) {
        SCOPED_TRACE(v);
        Workdir one;
        copyexample(one, "one-system-standardised");
        ASSERT_EQ(one.run("--sweep evpA:8=" + std::to_string(v)).status, 0);
        const auto rows = lines(one.read("kalp-sweep.csv"));
        ASSERT_EQ(rows.size(), 41u);
        EXPECT_EQ(std::vector<std::string>(rows.begin() + 1, rows.end()),
                  std::vector<std::string>(all.begin() + 1 + 40 * (v - 1), all.begin() + 1 + 40 * v));
    }
    std::string values;
    for (int v = 1; v <= 1000; ++v)
        values += (v == 1 ? "" : ",") + (v == 900   ? std::string("3e38")
                                         : v == 990 ? std::string("3.1e38")
                                                    : std::to_string(v));
    const Outcome stop = w.run("--sweep evpA:1=" + values);
    EXPECT_EQ(stop.status, 1);
    EXPECT_NE(stop.output.find("In the sweep scenario u = 0.05, l_inv = 20, n_sac = 1, evpA:1 = 3e+38:\n"
                               "The economic weight of trait 1, direct, is not a finite number."),
              std::string::npos)
        << stop.output;
}

// The progress line shows once the work has taken a second, at its first
// call after that, however few the calls are; then at most four times a
// second.
TEST(Sweep, ProgressLineByTimeAlone) {
    kalp::MemoryConsole console;
    console.setterminal(true);
    kalp::Progress p = kalp::startprogress(console, "Sweep", "scenarios");
    p.start -= std::chrono::milliseconds(1500);
    p.drawn = p.start;
    kalp::showprogress(p, 0, 501);
    kalp::showprogress(p, 1, 501);
    kalp::endprogress(p);
    const std::string line = console.progressed();
    EXPECT_EQ(line.rfind("\rSweep: 0 of 501 scenarios (0%)   \r", 0), 0u) << line;
    EXPECT_EQ(line.find("1 of 501"), std::string::npos) << line;
}
