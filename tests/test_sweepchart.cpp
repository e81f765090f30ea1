// The chart of a sweep hides nothing: every series of its second value or
// every cell of a heat map, a note for every component, value and swept
// parameter it leaves out, axis titles with the trait and its unit, traced
// groups in bands by sex and system, and lines that carry their values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "chartruns.h"
#include "core/model.h"
#include "engine/parameters.h"
#include "report/sweepchart.h"
#include "workdir.h"

namespace svg = kalp::svg;
using kalp::test::example;
using kalp::test::runfolder;
using kalp::test::sweepchartof;
using kalp::test::values;

namespace {

// The text of the chart's <desc>: its scenario and its notes.
std::string desc(const std::string& svg) {
    const size_t from = svg.find("<desc>") + 6;
    std::string s = svg.substr(from, svg.find("</desc>") - from);
    for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&quot;", "\""},
                                    {"&lt;", "<"},
                                    {"&gt;", ">"},
                                    {"&amp;", "&"}})
        for (size_t at = s.find(entity); at != std::string::npos; at = s.find(entity, at + 1))
            s.replace(at, entity.size(), c);
    return s;
}

// The body of each panel, by its data-panel: the group up to its end.
std::map<std::string, std::string> panels(const std::string& svg) {
    std::map<std::string, std::string> out;
    for (size_t at = svg.find("<g data-panel="); at != std::string::npos;
         at = svg.find("<g data-panel=", at + 1)) {
        size_t end = at + 1;
        for (int depth = 1; depth > 0;) {
            const size_t open = svg.find("<g ", end), close = svg.find("</g>", end);
            depth += open < close ? 1 : -1;
            end = (open < close ? open : close) + 1;
        }
        const std::string body = svg.substr(at, end - at);
        out[values(body, "data-panel").at(0)] = body;
    }
    return out;
}

// The elements of one tag, each as its text up to its end.
std::vector<std::string> tags(const std::string& body, const std::string& tag) {
    std::vector<std::string> v;
    for (size_t at = body.find("<" + tag + " "); at != std::string::npos;
         at = body.find("<" + tag + " ", at + 1))
        v.push_back(body.substr(at, body.find('>', at) - at + 1));
    return v;
}

// The words of the texts of a body, in order.
std::vector<std::string> texts(const std::string& body, const std::string& attributes = "") {
    std::vector<std::string> v;
    const std::regex re("<text [^>]*" + attributes + "[^>]*>([^<]*)</text>");
    for (auto i = std::sregex_iterator(body.begin(), body.end(), re); i != std::sregex_iterator();
         ++i)
        v.push_back((*i)[1]);
    return v;
}

std::vector<double> numbers(const std::string& list) {
    std::vector<double> v;
    std::istringstream in(list);
    for (double x = 0; in >> x;)
        v.push_back(x);
    return v;
}

} // namespace

// The sweep of the fault table: 10 values of the discount rate and 20 of
// an economic value draw every scenario, as cells of a heat map per
// component; eight values or fewer are lines, every one in every panel.
TEST(SweepChart, EverySeriesOrEveryCellOfTheSweep) {
    const auto one = runfolder(example("one-system"));
    struct Row {
        std::vector<std::string> args;
        bool heat;
        size_t xs, ys;
    };
    const Row rows[] = {
        {{"u=0:0.09:0.01", "evpA:8=1:20:1"}, true, 10, 20},
        {{"evpA:8=1:20:1", "u=0:0.09:0.01"}, true, 20, 10},
        {{"u=0:0.09:0.01", "evpA:8=1:8:1"}, false, 10, 8},
        {{"u=0:0.09:0.01", "l_inv=5,10,20"}, false, 10, 3},
    };
    for (const Row& r : rows) {
        const std::string svg = sweepchartof(*one, r.args);
        const auto all = panels(svg);
        ASSERT_FALSE(all.empty()) << r.args[0];
        for (const auto& [name, body] : all) {
            if (name == "others") continue;
            if (r.heat) {
                EXPECT_TRUE(tags(body, "polyline").empty()) << name;
                std::set<std::pair<std::string, std::string>> cells;
                std::set<std::string> xs, ys;
                for (const std::string& cell : tags(body, "rect")) {
                    if (values(cell, "data-x").empty()) continue;
                    cells.insert({values(cell, "data-x")[0], values(cell, "data-y")[0]});
                    xs.insert(values(cell, "data-x")[0]);
                    ys.insert(values(cell, "data-y")[0]);
                    EXPECT_EQ(values(cell, "data-value").size(), 1u) << name;
                }
                EXPECT_EQ(cells.size(), r.xs * r.ys) << r.args[0] << " " << name;
                EXPECT_EQ(xs.size(), r.xs) << name;
                EXPECT_EQ(ys.size(), r.ys) << name;
            } else {
                const auto lines = tags(body, "polyline");
                std::set<std::string> series, looks;
                for (const std::string& l : lines) {
                    series.insert(values(l, "data-series").at(0));
                    looks.insert(values(l, "stroke").at(0));
                    EXPECT_EQ(numbers(values(l, "data-y").at(0)).size(), r.xs) << name;
                }
                EXPECT_EQ(lines.size(), r.ys) << r.args[0] << " " << name;
                EXPECT_EQ(series.size(), r.ys) << name;
                EXPECT_EQ(looks.size(), r.ys) << name; // a hue of its own each
            }
        }
    }
}

// Every line of a series has a label at its end in the colour of its line,
// or one label "all" where the lines of every value coincide.
TEST(SweepChart, SeriesLabelledAtTheirEnds) {
    const auto one = runfolder(example("one-system"));
    const auto all = panels(sweepchartof(*one, {"u=0:0.09:0.01", "evpA:8=1:8:1"}));
    // Litter size depends on its economic value: eight lines, eight labels.
    const std::string& litter = all.at("8-maternal");
    std::map<std::string, std::string> colour;
    for (const std::string& l : tags(litter, "polyline"))
        colour[values(l, "data-series").at(0)] = values(l, "stroke").at(0);
    ASSERT_EQ(colour.size(), 8u);
    for (const auto& [value, stroke] : colour) {
        const auto labels = texts(litter, "fill=\"" + stroke + "\"");
        EXPECT_EQ(std::count(labels.begin(), labels.end(), value), 1) << value;
    }
    // Birth weight does not: its eight lines coincide, labelled once.
    const std::string& birth = all.at("1-maternal");
    EXPECT_EQ(tags(birth, "polyline").size(), 8u);
    const auto labels = texts(birth, "fill=\"#222\"");
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "all"), 1);
    for (const auto& [value, stroke] : colour)
        EXPECT_TRUE(texts(birth, "fill=\"" + stroke + "\"").empty()) << value;
}

// Whatever a chart leaves out, its notes name: every trait component is a
// panel of its own, a line of the grey panel or named in a note; and the
// notes say why.
TEST(SweepChart, NotesNameWhatIsLeftOut) {
    struct Row {
        const char* folder;
        std::vector<std::string> args;
        std::vector<std::string> said;
    };
    const Row rows[] = {
        {"one-system",
         {"evpA:8=10:30:5"},
         {"No other weight depends on the economic value of litter size (A); each of the others "
          "is the same in every scenario, so not drawn: 1 direct (1.4783196), 1 maternal "
          "(1.1697193), 2 direct",
          "0 in every scenario, so not drawn: 3 direct, 3 maternal, 5 direct"}},
        {"one-system",
         {"u=0.02,0.05", "l_inv=5,10", "evpA:8=1,2,3"},
         {"Drawn at the economic value of litter size (A) 1 only, the first of its 3 values; not "
          "drawn, and in kalp-sweep.csv: 2, 3."}},
        {"one-system",
         {"u=0.02,0.05", "l_inv=5,10", "evpA:8=1:30:1"},
         {"the first of its 30 values; not drawn, and in kalp-sweep.csv: 2, 3, 4, 5, 6, 7, 8, 9, "
          "10, 11, 12, 13 and 17 more, up to 30."}},
        {"one-system",
         {"n_sac=1,5", "u=0.02,0.05", "l_inv=5,10"},
         {"Drawn at the period 5 years only, the first of its 2 values; not drawn, and in "
          "kalp-sweep.csv: 10 years."}},
        {"one-system",
         {"l_inv=1:3000:1"},
         {"The lines take one value of the period in every 2 and its last, 3000 (kalp-sweep.csv "
          "holds every value)."}},
        {"one-system",
         {"u=0:0.0999:0.0001", "evpA:8=1:100:1"},
         {"The heat maps take one value of the discount rate in every 25 and its last, 0.0999; "
          "and one value of the economic value of litter size (A) in every 4 and its last, 100"}},
        {"one-system-standardised",
         {"u=0:0.1:0.01", "l_inv=5,20"},
         {"The grey panel holds, not told apart: 1 direct, 1 maternal"}},
        {"one-system",
         {"evpA:8=10:30:5", "u=0.02,0.05,0.08"},
         {"The weights of 1 maternal, 2 maternal", "do not depend on the economic value of "
                                                   "litter size (A)."}},
        {"one-system",
         {"u=0.02,0.05", "evpA:1=1,2"},
         {"do not depend on the economic value of birth weight (A): the lines of its values "
          "coincide, labelled \"all\"."}},
        {"one-system",
         {"u=0:0.09:0.01", "evpA:8=1:20:1"},
         {"Colour: the economic weight per unit of each trait",
          "do not depend on the economic value of litter size (A)."}},
        {"two-systems",
         {"u=0.02,0.05", "n_sac=1:25:1"},
         {"Traced sex and age group: 1 newborn rams of A, 2 rams of A in reproductive class 1, "}},
    };
    for (const Row& r : rows) {
        const auto run = runfolder(example(r.folder));
        const std::string svg = sweepchartof(*run, r.args);
        const std::string notes = desc(svg);
        for (const std::string& s : r.said)
            EXPECT_NE(notes.find(s), std::string::npos) << r.args[0] << ": " << s << "\n" << notes;
        const auto drawn = panels(svg);
        const kalp::Model& m = *run->o.model;
        for (int k = 1; k <= 35; ++k)
            for (const bool direct : {true, false}) {
                if (!(direct ? kalp::hasdirect(m, k) : kalp::hasmaternal(m, k))) continue;
                const std::string key = std::to_string(k) + " " + (direct ? "direct" : "maternal");
                // "3 direct" in a list, or "3 Weaning weight (kg), direct".
                const std::regex named("(^|[ ,:;(])" + key + "[ ,.;)]|[:;] " + std::to_string(k) +
                                       " [^;:]*, " + (direct ? "direct" : "maternal") + "[;.]");
                EXPECT_TRUE(
                    drawn.count(std::to_string(k) + "-" + (direct ? "direct" : "maternal")) ||
                    std::regex_search(notes, named))
                    << r.args[0] << ": " << key << " neither drawn nor named";
            }
    }
}

TEST(SweepChart, AxisTitlesNameTheTraitAndItsUnit) {
    std::string tpl = kalp::test::slurp(kalp::test::example("..") / "share" / "TEXTVRD_OUT.TXT");
    const std::string caption = "\"\"   1 Birth weight (kg)";
    for (size_t at = tpl.find(caption); at != std::string::npos; at = tpl.find(caption, at))
        tpl.replace(at, caption.size(), "\"\"   1 Birth weight");
    struct Row {
        const char* folder;
        bool unitless;
        std::string arg, title;
    };
    const Row rows[] = {
        {"one-system", false, "evpA:8=10:30:5",
         "Economic value of litter size (A), per lamb per lambing"},
        {"one-system", false, "evpA:17=1,2",
         "Economic value of resistance to gastro-intestinal parasites (A), per egg per g"},
        {"one-system", false, "evpA:22=1,2",
         "Economic value of productive lifetime of ewes (A), per year"},
        {"one-system", false, "evpA:7=1,2",
         "Economic value of carcass conformation (A), per score point"},
        {"one-system", false, "evpA:10=1,2",
         "Economic value of feed conversion in fattening (A), per kg feed per kg gain"},
        {"one-system", false, "evpA:2=1,2",
         "Economic value of daily gain from birth to weaning (A), per g/day"},
        {"one-system", true, "evpA:1=1,2",
         "Economic value of birth weight (A), per unit of the trait (no unit given)"},
        {"one-system-standardised", false, "gstd_d:1=0.1,0.2",
         "Direct genetic standard deviation of birth weight (kg)"},
        {"two-systems", false, "evpB:26=1,2",
         "Economic value of milk yield per lactation (purebred B), per kg"},
        {"one-system", false, "u=0.02,0.05", "Discount rate per year"},
    };
    for (const Row& r : rows) {
        const auto run = r.unitless ? runfolder(example(r.folder), {{"TEXTVRD_OUT.TXT", tpl}})
                                    : runfolder(example(r.folder));
        const auto words = texts(sweepchartof(*run, {r.arg}));
        EXPECT_NE(std::find(words.begin(), words.end(), r.title), words.end()) << r.arg;
    }
}

// Groups 12 and 16 are both rams, of A and of B: two bands of rams, under
// the points and beside the rows of heat maps.
TEST(SweepChart, TracedGroupsInBandsBySexAndSystem) {
    const auto two = runfolder(example("two-systems"));
    const std::vector<std::string> bands = {"rams", "ewes",     "rams",    "rams",
                                            "ewes", "system A", "system B"};
    for (const auto& args : {std::vector<std::string>{"n_sac=1,5,12,16,20", "l_inv=10,20"},
                             std::vector<std::string>{"u=0.02,0.05", "n_sac=1:25:1"}})
        for (const auto& [name, body] : panels(sweepchartof(*two, args)))
            EXPECT_EQ(texts(body, "font-size=\"11\"[^>]*fill=\"#555\""), bands) << name;
}

// A line carries its values: as many as it has points, in the order of
// the points, and they are the weights it draws.
TEST(SweepChart, LinesCarryTheirValues) {
    const auto one = runfolder(example("one-system"));
    const std::string svg = sweepchartof(*one, {"evpA:8=10:30:5", "u=0.02,0.05,0.08"});
    const auto lines = tags(svg, "polyline");
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines) {
        const std::vector<double> x = numbers(values(l, "data-x").at(0)),
                                  y = numbers(values(l, "data-y").at(0));
        std::vector<double> px, py;
        std::istringstream in(values(l, "points").at(0));
        for (std::string xy; in >> xy;) {
            px.push_back(std::stod(xy.substr(0, xy.find(','))));
            py.push_back(std::stod(xy.substr(xy.find(',') + 1)));
        }
        ASSERT_EQ(x.size(), px.size()) << l;
        ASSERT_EQ(y.size(), py.size()) << l;
        for (size_t i = 1; i < y.size(); ++i) {
            EXPECT_GT(px[i], px[i - 1]);
            if (std::fabs(py[i] - py[i - 1]) > 0.2) { // y runs downwards
                EXPECT_EQ(y[i] > y[i - 1], py[i] < py[i - 1]) << l;
            }
        }
    }
    // The weight of litter size is its economic value times its discounted
    // expressions: the values on the line are proportional to x.
    for (const std::string& l : tags(panels(svg).at("8-maternal"), "polyline")) {
        const std::vector<double> x = numbers(values(l, "data-x").at(0)),
                                  y = numbers(values(l, "data-y").at(0));
        EXPECT_EQ(x.front(), 10);
        EXPECT_EQ(x.back(), 30);
        for (size_t i = 0; i < x.size(); ++i)
            EXPECT_NEAR(y[i] / x[i], y[0] / x[0], 1e-6 * y[0] / x[0]) << l;
    }
}

// What the chart keeps of a big sweep is bounded: at most about 2000 values
// along a line and 41 x 31 cells in a heat map, whatever the sweep's size.
TEST(SweepChart, HeatMapsStayBounded) {
    struct Row {
        const char* first;
        size_t n;
        const char* second;
        size_t m;
        size_t stride, rows;
    };
    const Row rows[] = {
        {"u", 10, "evpA", 20, 1, 20},      {"u", 1000, "evpA", 100, 25, 26},
        {"u", 1000, "evpA", 1000, 25, 31}, {"u", 1000000, nullptr, 0, 500, 1},
        {"u", 100000, "l_inv", 8, 50, 8},  {"n_sac", 79, "u", 1000, 1, 31},
        {"u", 1000, "n_sac", 79, 25, 79},  {"evpA", 9, "u", 9, 1, 9},
    };
    for (const Row& r : rows) {
        kalp::SweepPlan plan;
        kalp::Axis a;
        a.p = kalp::findparameter(r.first);
        a.values.resize(r.n);
        plan.axes.push_back(a);
        plan.first = 0;
        if (r.second) {
            kalp::Axis b;
            b.p = kalp::findparameter(r.second);
            b.values.resize(r.m);
            plan.axes.push_back(b);
            plan.second = 1;
        }
        size_t stride = 0;
        std::vector<size_t> series;
        kalp::chartpicks(plan, stride, series);
        EXPECT_EQ(stride, r.stride) << r.first << " " << r.n;
        EXPECT_EQ(series.size(), r.rows) << r.first << " " << r.n;
        EXPECT_EQ(series.front(), 0u);
        EXPECT_EQ(series.back(), r.second ? r.m - 1 : 0);
    }
}
