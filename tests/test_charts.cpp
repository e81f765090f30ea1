// The charts as a reader meets them: no label over another, struck through
// by a gridline or outside the picture (from the layout the SVG builder
// records), the data that each mark carries, and the same bytes for the
// same scenario every time and on every thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "../bench/cases.h"
#include "chartruns.h"
#include "report/charts.h"
#include "report/svg.h"
#include "workdir.h"

namespace fs = std::filesystem;
namespace svg = kalp::svg;
using kalp::test::example;
using kalp::test::faults;
using kalp::test::joined;
using kalp::test::notxml;
using kalp::test::runfolder;
using kalp::test::sweepchartof;
using kalp::test::values;

namespace {

const fs::path source = KALP_SOURCE_DIR;

} // namespace

TEST(Charts, AxisStepsAreReadableAndExact) {
    struct Row {
        double lo, hi;
        int most;
        std::vector<std::string> labels;
    };
    const Row rows[] = {
        {0, 1, 5, {"0", "0.2", "0.4", "0.6", "0.8", "1"}},
        {0, 0.25, 5, {"0", "0.05", "0.1", "0.15", "0.2", "0.25"}},
        {-4.5, 14.6, 8, {"-5", "-2.5", "0", "2.5", "5", "7.5", "10", "12.5", "15"}},
        {0.1, 0.30000000000000004, 4, {"0.1", "0.15", "0.2", "0.25", "0.3"}},
        {0, 1000000, 5, {"0", "200000", "400000", "600000", "800000", "1000000"}},
        {-0.013, -0.002, 6, {"-0.014", "-0.012", "-0.01", "-0.008", "-0.006", "-0.004", "-0.002"}},
        {5, 5, 4, {"4.5", "4.75", "5", "5.25", "5.5"}}, // one value: an axis around it
        {0, 0, 4, {"0", "0.25", "0.5", "0.75", "1"}},
    };
    for (const Row& r : rows) {
        const svg::Ticks t = svg::ticks(r.lo, r.hi, r.most);
        EXPECT_EQ(t.labels, r.labels) << r.lo << " to " << r.hi;
        EXPECT_LE(t.lo, r.lo + 1e-12);
        EXPECT_GE(t.hi, r.hi - 1e-12);
    }
}

TEST(Charts, NumbersAndTextsAsTheDocumentHoldsThem) {
    const std::pair<double, const char*> numbers[] = {{12.345, "12.3"}, {-0.04, "0"}, {0.15, "0.2"},
                                                      {-7.25, "-7.3"},  {1e-9, "0"},  {300, "300"}};
    for (const auto& [v, text] : numbers)
        EXPECT_EQ(svg::number(v), text) << v;
    EXPECT_EQ(svg::escape("a<b & \"c\"\x01>"), "a&lt;b &amp; &quot;c&quot; &gt;");
    const svg::Font f{12, false};
    const std::string name = "Lamb survival from weaning to the end of fattening (%)";
    EXPECT_EQ(svg::fit(name, f, 1000), name);
    const std::string cut = svg::fit(name, f, 150);
    EXPECT_LE(svg::textwidth(cut, f), 150);
    EXPECT_EQ(cut.substr(cut.size() - 3), "\u2026");
    EXPECT_EQ(svg::fit(name, f, 150, true), "Lamb survival from\u2026");
    const auto lines = svg::wrap(name, f, 150, 2);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& l : lines)
        EXPECT_LE(svg::textwidth(l, f), 150) << l;
    // Wide characters are taken as wide.
    EXPECT_GT(svg::textwidth("\u65e5\u672c", f), svg::textwidth("MM", f));
}

TEST(Charts, TextIsWellFormedWhateverItsBytes) {
    const std::pair<std::string, std::string> rows[] = {
        {"Birth weight (kg)", "Birth weight (kg)"},
        {"a\x01"
         "b\x1B"
         "c\x7F",
         "a b c "},                                       // controls
        {"x\xC2\x85y", "x y"},                            // C1 control, NEL
        {"\xEF\xBF\xBE\xEF\xBF\xBF!", "\uFFFD\uFFFD!"},   // noncharacters
        {"\xEF\xBF\xBD", "\uFFFD"},                       // U+FFFD itself stays
        {"M\xFCller", "M\uFFFDller"},                     // a Latin-1 byte
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},           // a surrogate
        {"\xC0\xAF", "\uFFFD\uFFFD"},                     // an overlong slash
        {"\xE2\x82", "\uFFFD\uFFFD"},                     // cut short
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"}, // beyond U+10FFFF
        {"Sch\xC3\xA4"
         "ferei \xE6\x97\xA5 \xF0\x9F\x90\x91",
         "Sch\xC3\xA4"
         "ferei \xE6\x97\xA5 \xF0\x9F\x90\x91"}, // beyond ASCII, kept
        {"<&\">", "&lt;&amp;&quot;&gt;"},
    };
    for (const auto& [raw, want] : rows) {
        const std::string got = svg::escape(raw);
        EXPECT_EQ(got, want) << raw;
        EXPECT_EQ(notxml(got), "") << raw;
    }
}

TEST(Charts, ALongLineKeepsAboutOnePointPerPixelColumn) {
    // A million years of a sawtooth on a plot 300 pixels wide: about 150
    // pairs of columns, each with its lowest and highest point.
    std::vector<double> x, y;
    for (int i = 0; i <= 1000000; ++i) {
        x.push_back(i);
        y.push_back(i % 7 == 0 ? 1 : i % 7 == 3 ? -1 : 0);
    }
    const svg::Plot p =
        svg::plot({0, 0, 300, 100}, svg::ticks(0, 1000000, 5), svg::ticks(-1, 1, 2));
    const std::string points = svg::linepoints(p, x, y);
    const auto n = static_cast<size_t>(std::count(points.begin(), points.end(), ' ') + 1);
    EXPECT_LE(n, 310u);
    EXPECT_GE(n, 290u);
    // Every pair of columns still reaches from -1 to 1.
    EXPECT_NE(points.find(",0 "), std::string::npos);
    EXPECT_NE(points.find(",100 "), std::string::npos);
}

TEST(Charts, UnitOfATraitName) {
    const std::pair<const char*, kalp::NameUnit> rows[] = {
        {"Birth weight (kg)", {"Birth weight", "kg"}},
        {"Feed conversion in fattening (kg feed per kg gain)",
         {"Feed conversion in fattening", "kg feed per kg gain"}},
        {"Weight (kg) at 100  days", {"Weight at 100 days", "kg"}},
        {"Fat (per (100 g)) milk", {"Fat milk", "per (100 g)"}},
        {"Lambing ease", {"Lambing ease", ""}},
        {"Pelt quality ( )", {"Pelt quality ( )", ""}},
    };
    for (const auto& [name, want] : rows) {
        const kalp::NameUnit got = kalp::nameunit(name);
        EXPECT_EQ(got.name, want.name) << name;
        EXPECT_EQ(got.unit, want.unit) << name;
    }
}

// Every chart kind, the largest layout among them.
TEST(Charts, NoLabelOverAnotherOrStruckThrough) {
    kalp::test::Diskdir w79, w79b;
    kalp::bench::write79(w79.path(), 20);
    kalp::bench::write79(w79b.path(), 60);
    std::string traced = kalp::test::slurp(w79b.path() + "/INPUTVRD03.TXT");
    traced.replace(traced.find("1 \"Traced\""), 1, "36"); // the newborn ewes of B
    const auto one = runfolder(example("one-system"));
    const auto standardised = runfolder(example("one-system-standardised"));
    const auto two = runfolder(example("two-systems"));
    const auto big = runfolder(w79.path()),
               bigb = runfolder(w79b.path(), {{"INPUTVRD03.TXT", traced}});
    std::string longer = kalp::test::slurp(example("one-system") / "INPUTVRD02.TXT");
    longer.replace(longer.find("\n20\n"), 4, "\n1000000\n");
    const auto million = runfolder(example("one-system"), {{"INPUTVRD02.TXT", longer}});
    using Draw = std::function<std::string(svg::Layout*)>;
    const std::pair<const char*, Draw> charts[] = {
        {"gene flow, one system",
         [&](svg::Layout* l) { return kalp::geneflowchart(*one->o.model, one->years, l); }},
        {"gene flow, two systems",
         [&](svg::Layout* l) { return kalp::geneflowchart(*two->o.model, two->years, l); }},
        {"gene flow, 79 classes",
         [&](svg::Layout* l) { return kalp::geneflowchart(*big->o.model, big->years, l); }},
        {"gene flow, 79 classes from B",
         [&](svg::Layout* l) { return kalp::geneflowchart(*bigb->o.model, bigb->years, l); }},
        {"gene flow, a million years",
         [&](svg::Layout* l) { return kalp::geneflowchart(*million->o.model, million->years, l); }},
        {"weights, one system",
         [&](svg::Layout* l) {
             return kalp::weightschart(*standardised->o.model, standardised->o.names, l);
         }},
        {"weights, two systems",
         [&](svg::Layout* l) { return kalp::weightschart(*two->o.model, two->o.names, l); }},
        {"sweep, relative",
         [&](svg::Layout* l) {
             return sweepchartof(*standardised, {"evpA:1=-2:2:0.5", "u=0,0.03,0.06,0.09"}, l);
         }},
        {"sweep, economic weights",
         [&](svg::Layout* l) {
             return sweepchartof(*one, {"evpA:1=-2:2:0.5", "u=0,0.03,0.06,0.09"}, l);
         }},
        {"sweep, traced groups",
         [&](svg::Layout* l) {
             return sweepchartof(*two, {"n_sac=1,5,12,16,20", "u=0.02,0.05"}, l);
         }},
        {"sweep, periods",
         [&](svg::Layout* l) {
             return sweepchartof(
                 *big, {"l_inv=1:3000:1", "u=0.01,0.02,0.03,0.04,0.05,0.06,0.07,0.08"}, l);
         }},
        {"sweep, one economic value",
         [&](svg::Layout* l) { return sweepchartof(*one, {"evpA:8=10:30:5"}, l); }},
        {"sweep, three values",
         [&](svg::Layout* l) {
             return sweepchartof(*one, {"u=0.02,0.05", "l_inv=5,10", "evpA:8=1:30:1"}, l);
         }},
        {"sweep, heat maps",
         [&](svg::Layout* l) {
             return sweepchartof(*one, {"u=0:0.09:0.01", "evpA:8=1:20:1"}, l);
         }},
        {"sweep, heat maps over periods",
         [&](svg::Layout* l) {
             return sweepchartof(
                 *big, {"l_inv=1:3000:1", "u=0.01,0.02,0.03,0.04,0.05,0.06,0.07,0.08,0.09"}, l);
         }},
        {"sweep, heat maps of traced groups",
         [&](svg::Layout* l) {
             return sweepchartof(*two, {"u=0.02,0.05", "n_sac=1:25:1"}, l);
         }},
        {"sweep, traced groups across heat maps",
         [&](svg::Layout* l) {
             return sweepchartof(*two, {"n_sac=1:25:1", "u=0.01:0.1:0.01"}, l);
         }},
    };
    for (const auto& [name, draw] : charts) {
        svg::Layout layout;
        const std::string svg = draw(&layout);
        EXPECT_GT(layout.texts.size(), 20u) << name;
        EXPECT_EQ(joined(faults(svg, layout)), "") << name;
        // The charts of a run small enough to draw on every keystroke of the
        // editor; those of a sweep bounded by the values they take.
        EXPECT_LT(svg.size(), std::string(name).rfind("sweep", 0) == 0 ? 2000000u : 200000u)
            << name;
        EXPECT_NE(svg.find("<title>"), std::string::npos) << name;
        const size_t desc = svg.find("<desc>");
        ASSERT_NE(desc, std::string::npos) << name;
        EXPECT_EQ(svg.substr(desc, svg.find("</desc>") - desc).find(".."), std::string::npos)
            << name;
    }
}

TEST(Charts, WeightsPointTheWayOfTheEconomicWeight) {
    const auto two = runfolder(example("two-systems"));
    const kalp::Model& m = *two->o.model;
    const std::string svg = kalp::weightschart(m, two->o.names);
    // Fatness, feed conversion and parasite resistance (direct), mature
    // weight (maternal): left of 0, every other bar right of it.
    const std::vector<std::string> traits = values(svg, "data-trait"),
                                   value = values(svg, "data-value");
    std::set<std::string> left;
    for (const std::string& v : value)
        if (std::stod(v) < 0) left.insert(v);
    EXPECT_EQ(left.size(), 4u);
    const std::regex bar(
        "<rect x=\"([-0-9.]+)\" y=\"[-0-9.]+\" width=\"([0-9.]+)\"[^>]*data-value=\"([^\"]+)\"");
    double leftend = -1e9, rightstart = 1e9;
    size_t bars = 0;
    for (auto i = std::sregex_iterator(svg.begin(), svg.end(), bar); i != std::sregex_iterator();
         ++i, ++bars) {
        const double x = std::stod((*i)[1]), w = std::stod((*i)[2]);
        if (std::stod((*i)[3]) < 0)
            leftend = std::max(leftend, x + w);
        else
            rightstart = std::min(rightstart, x);
    }
    EXPECT_EQ(bars, value.size());
    EXPECT_NEAR(leftend, rightstart, 0.15); // both end at 0
    // The component left out by the pair choices is named, not drawn.
    const auto standardised = runfolder(example("one-system-standardised"));
    kalp::Model pairs = *standardised->o.model;
    pairs.delta_d[11] = 0; // lean meat content
    const std::string without = kalp::weightschart(pairs, standardised->o.names);
    EXPECT_NE(without.find("pair choices of INPUTVRD05.TXT, so not drawn: 11 Lean meat content of "
                           "the carcass (%), direct."),
              std::string::npos);
    EXPECT_EQ(without.find("data-trait=\"11\" data-component"), std::string::npos);
}

// The labels of the bars of one chart are rounded alike, to as few
// decimals as show every bar as other than 0; a share of 0 is named, not
// left out without a word.
TEST(Charts, BarLabelsShareOneRounding) {
    const auto two = runfolder(example("two-systems"));
    kalp::Model small = *two->o.model, nothing = *two->o.model;
    small.ewr_da[1] = 0.03f; // birth weight, direct: a share of 0.03 %
    small.ewr_da[6] = 0.004f;
    nothing.ewr_da[1] = 0;
    const std::regex label("data-value=\"[^\"]*\"/>\n<text [^>]*>([-0-9.]+)</text>");
    const std::pair<const kalp::Model*, size_t> rows[] = {{two->o.model.get(), 1}, {&small, 3}};
    for (const auto& [m, places] : rows) {
        const std::string svg = kalp::weightschart(*m, two->o.names);
        size_t bars = 0;
        for (auto i = std::sregex_iterator(svg.begin(), svg.end(), label);
             i != std::sregex_iterator(); ++i, ++bars) {
            const std::string text = (*i)[1];
            ASSERT_NE(text.find('.'), std::string::npos) << text;
            EXPECT_EQ(text.size() - text.find('.') - 1, places) << text;
        }
        EXPECT_EQ(bars, values(svg, "data-value").size());
    }
    const std::string svg = kalp::weightschart(nothing, two->o.names);
    EXPECT_NE(svg.find("No bar, as their share is 0: 1 Birth weight (kg), direct."),
              std::string::npos);
}

TEST(Charts, SweptTraitFirstWithItsUnit) {
    const std::vector<std::string> sweep = {"evpA:1=-2:2:0.5", "u=0,0.03,0.06,0.09"};
    const auto standardised = runfolder(example("one-system-standardised"));
    const std::vector<std::string> panels =
        values(sweepchartof(*standardised, sweep), "data-panel");
    ASSERT_GE(panels.size(), 3u);
    EXPECT_EQ(panels[0], "1-direct");
    EXPECT_EQ(panels[1], "1-maternal");
    EXPECT_EQ(panels.back(), "others");
    // Without standardisation every panel names the unit of its trait, and
    // says so where the template gives none.
    std::string tpl = kalp::test::slurp(source / "share" / "TEXTVRD_OUT.TXT");
    const std::string caption = "\"\"   1 Birth weight (kg)";
    for (size_t at = tpl.find(caption); at != std::string::npos; at = tpl.find(caption, at))
        tpl.replace(at, caption.size(), "\"\"   1 Birth weight");
    const auto one = runfolder(example("one-system"), {{"TEXTVRD_OUT.TXT", tpl}});
    const std::string svg = sweepchartof(*one, sweep);
    EXPECT_EQ(values(svg, "data-panel").at(0), "1-direct");
    EXPECT_NE(svg.find(">1 Birth weight (no unit given),"), std::string::npos);
    EXPECT_NE(svg.find(">32 Mature weight of ewes (kg),"), std::string::npos);
    EXPECT_NE(svg.find("Economic weight per unit of the trait"), std::string::npos);
    EXPECT_EQ(svg.find("\"others\""), std::string::npos); // no grey panel of mixed units
    EXPECT_NE(svg.find("Not drawn, as they change less: "), std::string::npos);
    // Dashed lines where the note says so; points where it says points.
    EXPECT_NE(svg.find("dashed lines: maternal"), std::string::npos);
    const std::string groups =
        sweepchartof(*runfolder(example("two-systems")), {"n_sac=1,5", "u=0.02,0.05"});
    EXPECT_NE(groups.find("open points: maternal"), std::string::npos);
    EXPECT_EQ(groups.find("<polyline"), std::string::npos);
    EXPECT_NE(groups.find("1 newborn rams of A, 5 newborn ewes of A"), std::string::npos);
}

TEST(Charts, ClassesOfAPanelDifferAndUnreachedOnesAreNamed) {
    kalp::test::Diskdir w;
    kalp::bench::write79(w.path(), 60);
    std::string traced = kalp::test::slurp(w.path() + "/INPUTVRD03.TXT");
    traced.replace(traced.find("1 \"Traced\""), 1, "36");
    const auto run = runfolder(w.path(), {{"INPUTVRD03.TXT", traced}});
    const std::string svg = kalp::geneflowchart(*run->o.model, run->years);
    // The 41 classes of the ewes of B in four panels; within a panel no two
    // lines share both colour and pattern.
    size_t ewes = 0;
    for (size_t at = svg.find("<g data-panel="); at != std::string::npos;) {
        const size_t next = svg.find("<g data-panel=", at + 1);
        const std::string body = svg.substr(at, next - at);
        const std::string name = values(body, "data-panel").at(0);
        std::set<std::string> looks;
        size_t lines = 0;
        for (size_t l = body.find("<polyline"); l != std::string::npos;
             l = body.find("<polyline", l + 1), ++lines) {
            const std::string tag = body.substr(l, body.find('>', l) - l);
            const auto dashes = values(tag, "stroke-dasharray");
            looks.insert(values(tag, "stroke").at(0) + (dashes.empty() ? "" : dashes[0]));
        }
        EXPECT_EQ(looks.size(), lines) << name;
        EXPECT_LE(lines, 12u) << name;
        if (name.rfind("ewes of B", 0) == 0) ewes += lines;
        at = next;
    }
    EXPECT_EQ(ewes, 41u);
    // Nothing of A is reached from the ewes of B.
    EXPECT_NE(
        svg.find("rams of A (classes 1 to 7), ewes of A (classes 8 to 23), crossing rams of A "
                 "(classes 24 to 29), class 77 (progeny of A)."),
        std::string::npos);
    EXPECT_EQ(svg.find("data-class=\"77\""), std::string::npos);
}

TEST(Charts, SameBytesEveryTimeAndOnEveryThread) {
    const auto two = runfolder(example("two-systems"));
    const auto standardised = runfolder(example("one-system-standardised"));
    auto all = [&] {
        return kalp::geneflowchart(*two->o.model, two->years) +
               kalp::weightschart(*two->o.model, two->o.names) +
               sweepchartof(*standardised, {"evpA:1=-2:2:0.5", "u=0,0.03,0.06,0.09"});
    };
    const std::string first = all();
    EXPECT_EQ(all(), first);
    std::string a, b;
    std::thread ta([&] { a = all(); }), tb([&] { b = all(); });
    ta.join();
    tb.join();
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, first);
}
