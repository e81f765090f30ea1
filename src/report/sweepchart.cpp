#include "report/sweepchart.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>

#include "report/chartkit.h"
#include "report/charts.h"
#include "report/sweepwords.h"

namespace kalp {

using chartkit::datum;
using chartkit::sentence;
using chartkit::sentences;
using namespace sweepwords;

namespace {

// The chart draws at most about this many values of its axis as lines; a
// heat map at most about this many of each of its two axes.
constexpr size_t chartvalues = 2000;
constexpr size_t heatcolumns = 40, heatrows = 30;
// The chart draws at most this many values of the second swept parameter
// as lines of their own, and more as a heat map per component.
constexpr size_t chartseries = 8;
// The chart draws at most this many trait components in panels of their
// own.
constexpr size_t chartpanels = 12;
// The relative weight within the total (signed), or the economic weight
// itself without standardisation.
double chartvalue(const Model& m, const Component& c) { return m.gstd != 2 ? c.ew : c.total; }

// Every `stride`-th of n values and the last.
size_t strideof(size_t n, size_t most) { return std::max<size_t>(1, (n + most - 1) / most); }

} // namespace

bool heatmap(const SweepPlan& plan) {
    return plan.second != SIZE_MAX && plan.axes[plan.second].values.size() > chartseries;
}

void chartpicks(const SweepPlan& plan, size_t& stride, std::vector<size_t>& series) {
    const bool heat = heatmap(plan);
    const Axis& x = plan.axes[plan.first];
    // Traced groups are categories: every one is drawn.
    stride = traced(x) ? 1 : strideof(x.values.size(), heat ? heatcolumns : chartvalues);
    series.clear();
    const size_t m = plan.second == SIZE_MAX ? 1 : plan.axes[plan.second].values.size();
    const size_t step = heat && !traced(plan.axes[plan.second]) ? strideof(m, heatrows) : 1;
    for (size_t k = 0; k < m; k += step)
        series.push_back(k);
    if (series.back() != m - 1) series.push_back(m - 1);
}

bool charted(const SweepTables& t, const Scenario& sc, size_t& series) {
    // The chart follows the first parameter and the chosen values of the
    // second, the others at their first value.
    const SweepPlan& plan = *t.plan;
    for (size_t i = 0; i < sc.at.size(); ++i)
        if (i != plan.first && i != plan.second && sc.at[i] != 0) return false;
    const size_t x = sc.at[plan.first];
    if (x % t.stride != 0 && x + 1 != plan.axes[plan.first].values.size()) return false;
    const size_t second = plan.second == SIZE_MAX ? 0 : sc.at[plan.second];
    const auto found = std::find(t.series.begin(), t.series.end(), second);
    series = static_cast<size_t>(found - t.series.begin());
    return found != t.series.end();
}

void chartpoints(const SweepTables& t, const Scenario& sc, const Model& m,
                 std::vector<double>& numbers) {
    size_t series = 0;
    if (!charted(t, sc, series)) return;
    const SweepPlan& plan = *t.plan;
    const size_t x = sc.at[plan.first];
    const double at = sc.value(plan.first);
    for (const Component& c : components(m, false)) {
        if (m.gstd == 2 && !c.included) {
            // Named once, under the chart.
            if (x == 0 && series == 0)
                numbers.insert(numbers.end(), {2.0 * c.trait + (c.direct ? 0 : 1), at, 0, -1});
            continue;
        }
        numbers.insert(numbers.end(),
                       {2.0 * c.trait + (c.direct ? 0 : 1), at, chartvalue(m, c), static_cast<double>(series)});
    }
}

namespace {

// What the chart draws of a component: a line per series, and the range of
// its values over the sweep.
struct Course {
    std::map<int, Line> lines;
    double lo = 0, hi = 0, top = 0;
    size_t count = 0;
};

// The courses of the components from the chart's points, each line from
// left to right; the components left out by the pair choices in `leftout`.
std::map<int, Course> coursesof(const std::vector<double>& points, const Axis& x, bool categories,
                                std::set<int>& leftout) {
    std::map<int, Course> courses; // by component: 2k direct, 2k + 1 maternal
    for (size_t i = 0; i + 3 < points.size(); i += 4) {
        const int key = static_cast<int>(points[i]);
        const int series = static_cast<int>(points[i + 3]);
        if (series < 0) {
            leftout.insert(key);
            continue;
        }
        Course& c = courses[key];
        Line& l = c.lines[series];
        l.series = series;
        l.trait = key / 2;
        l.maternal = key % 2 == 1;
        double at = points[i + 1];
        if (categories)
            at = static_cast<double>(std::find(x.values.begin(), x.values.end(), at) -
                                     x.values.begin());
        const double y = points[i + 2];
        l.x.push_back(at);
        l.y.push_back(y);
        c.lo = c.count ? std::min(c.lo, y) : y;
        c.hi = c.count ? std::max(c.hi, y) : y;
        c.top = std::max(c.top, std::fabs(y));
        ++c.count;
    }
    // A list of values may come in any order; a line runs from left to right.
    for (auto& [key, c] : courses)
        for (auto& entry : c.lines) {
            Line& l = entry.second;
            std::vector<size_t> order(l.x.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(),
                             [&](size_t a, size_t b) { return l.x[a] < l.x[b]; });
            std::vector<double> xs, ys;
            for (const size_t k : order) {
                xs.push_back(l.x[k]);
                ys.push_back(l.y[k]);
            }
            l.x = std::move(xs);
            l.y = std::move(ys);
        }
    return courses;
}

// Whether the lines of every series of a component coincide: its weight
// does not depend on the second parameter.
bool alike(const Course& c) {
    if (c.lines.size() < 2) return false;
    const Line& first = c.lines.begin()->second;
    return std::all_of(c.lines.begin(), c.lines.end(), [&](const auto& entry) {
        return entry.second.x == first.x && entry.second.y == first.y;
    });
}

// Whether every line of a component is flat: its weight does not depend on
// the first parameter.
bool flat(const Course& c) {
    return std::all_of(c.lines.begin(), c.lines.end(), [](const auto& entry) {
        const std::vector<double>& y = entry.second.y;
        return y.size() > 1 && std::all_of(y.begin(), y.end(), [&](double v) { return v == y[0]; });
    });
}

} // namespace

std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points, svg::Layout* layout) {
    const SweepPlan& plan = *t.plan;
    const Axis& x = plan.axes[plan.first];
    const Axis* second = plan.second == SIZE_MAX ? nullptr : &plan.axes[plan.second];
    const bool heat = heatmap(plan);
    // Traced groups are categories; so is a single value, a point.
    const bool groups = traced(x);
    const bool categories = groups || x.values.size() == 1;
    std::set<int> leftout;
    std::map<int, Course> courses = coursesof(points, x, categories, leftout);

    // A component whose weight is the same in every scenario drawn has no
    // panel: the notes give its value. So has one whose weight is 0.
    bool single = true;
    for (const auto& [key, c] : courses)
        single = single && c.count <= 1;
    std::vector<int> zeros, constant, changing;
    for (const auto& [key, c] : courses) {
        if (c.lo == 0 && c.hi == 0)
            zeros.push_back(key);
        else if (c.lo == c.hi && !single)
            constant.push_back(key);
        else
            changing.push_back(key);
    }
    // The components of the swept traits first, then the others by how
    // much they change over the sweep: in percentage points for relative
    // weights, as a share of their largest size for economic weights, whose
    // units differ from trait to trait.
    std::vector<int> order, swept;
    for (const size_t a : {plan.first, plan.second})
        if (a != SIZE_MAX && plan.axes[a].p->pertrait) {
            const int k = plan.axes[a].trait;
            if (std::find(swept.begin(), swept.end(), k) != swept.end()) continue;
            swept.push_back(k);
            for (const int key : {2 * k, 2 * k + 1})
                if (std::find(changing.begin(), changing.end(), key) != changing.end())
                    order.push_back(key);
        }
    const auto own = static_cast<long>(order.size());
    auto change = [&](int key) {
        const Course& c = courses[key];
        return t.standardised ? c.hi - c.lo : (c.hi - c.lo) / c.top;
    };
    for (const int key : changing)
        if (std::find(order.begin(), order.begin() + own, key) == order.begin() + own)
            order.push_back(key);
    std::stable_sort(order.begin() + own, order.end(),
                     [&](int a, int b) { return change(a) > change(b); });
    // Relative weights share one unit: the rest of their lines fit one grey
    // panel. Economic weights do not, nor do heat maps; the rest are named.
    const bool greypanel = t.standardised && !heat && order.size() > chartpanels;
    const size_t drawn = std::min(order.size(), greypanel ? chartpanels - 1 : chartpanels);

    Multiples chart;
    chart.heat = heat;
    std::string groupkey; // the names of the traced groups of the rows
    chart.xlabel = axistitle(x, names);
    for (size_t i = 0; categories && i < x.values.size(); ++i)
        chart.categories.push_back(axistext(x, i));
    for (size_t i = 0; groups && i < x.values.size(); ++i)
        chart.xlabel += (i ? ", " : ": ") + axistext(x, i) + " " + t.groups[i];
    if (groups) {
        std::vector<size_t> all(x.values.size());
        std::iota(all.begin(), all.end(), 0);
        chart.bands = groupbands(t, all);
    }
    const SweepMeasure* kind = t.measure;
    const std::string measure = kind ? kind->title : t.standardised ? "Relative economic weights" : "Economic weights";
    const std::string noun = kind ? kind->noun : "weight";
    chart.title = measure + " against the " + axisnoun(x, names);
    if (heat) {
        chart.title += " and the " + axisnoun(*second, names);
        chart.ylabel = axistitle(*second, names);
        for (const size_t k : t.series) {
            if (traced(*second))
                chart.rowcategories.push_back(axistext(*second, k));
            else
                chart.rowvalues.push_back(second->values[k]);
        }
        if (traced(*second)) chart.rowbands = groupbands(t, t.series);
        if (traced(*second)) {
            groupkey = axistitle(*second, names);
            for (size_t i = 0; i < t.series.size(); ++i)
                groupkey += (i ? ", " : ": ") + axistext(*second, t.series[i]) + " " +
                            t.groups[t.series[i]];
        }
    } else {
        chart.ylabel = kind ? kind->ylabel
                           : t.standardised ? "Relative weight in the total (%)"
                                            : "Economic weight per unit of the trait";
    }
    std::string others;
    for (size_t i = 0; i < plan.axes.size(); ++i) {
        if (i == plan.first || i == plan.second) continue;
        const Axis& a = plan.axes[i];
        others += ", " + axisnoun(a, names) + " " + valuetext(t, a, 0);
    }
    chart.subtitle = t.scenario + others;
    if (second && !heat) {
        chart.serieslabel = axistitle(*second, names);
        for (const size_t k : t.series) {
            chart.series.push_back(axistext(*second, k) +
                                   (traced(*second) ? " (" + t.groups[k] + ")" : ""));
            chart.serieskeys.push_back(axistext(*second, k));
        }
    }
    bool direct = false, maternal = false;
    std::vector<int> same, level, grey;
    for (size_t i = 0; i < order.size(); ++i) {
        const int key = order[i];
        const int k = key / 2;
        const bool isdirect = key % 2 == 0;
        if (i < drawn) {
            Panel panel;
            panel.key = std::to_string(k) + "-" + componentname(isdirect);
            if (t.standardised) {
                panel.title = std::to_string(k) + " " + chartname(names[k]);
                panel.tail = std::string(", ") + componentname(isdirect);
            } else {
                const NameUnit n = nameunit(names[k]);
                panel.title = std::to_string(k) + " " + n.name;
                panel.tail = " (" + (n.unit.empty() ? std::string("no unit given") : n.unit) +
                             "), " + componentname(isdirect);
            }
            if (alike(courses[key])) same.push_back(key);
            if (flat(courses[key])) level.push_back(key);
            panel.alike = !heat && alike(courses[key]);
            chart.panels.push_back(panel);
        } else if (greypanel && i == drawn) {
            Panel rest;
            rest.title = std::to_string(order.size() - drawn) + " other components, changing less";
            rest.key = "others";
            rest.grey = true;
            chart.panels.push_back(rest);
        } else if (!greypanel) {
            continue;
        }
        if (i >= drawn) grey.push_back(key);
        (isdirect ? direct : maternal) = true;
        for (auto& [series, line] : courses[key].lines)
            chart.panels.back().lines.push_back(std::move(line));
    }

    std::string what;
    if (kind)
        what = std::string(heat ? kind->heatwhat : kind->what) +
               (heat ? "; each panel on its own scale, beside it: blue below 0 and red above where "
                       "its values have both signs, else from dark violet (the lowest) to yellow (the "
                       "highest)"
                     : "");
    else if (heat)
        what = std::string(t.standardised
                               ? "Colour: the relative weight, a share of the sum of the absolute "
                                 "standardised weights (%), negative where the economic weight is "
                                 "negative"
                               : "Colour: the economic weight per unit of each trait, with the "
                                 "unit of its trait in its title as the trait's name in the report "
                                 "template gives it (\"no unit given\" where the name has none)") +
               "; each panel on its own scale, beside it: blue below 0 and red above where "
               "its weights have both signs, else from dark violet (the lowest) to yellow (the "
               "highest)";
    else
        what = t.standardised ? "Relative weights are shares of the sum of the absolute "
                                "standardised weights, negative where the economic weight is "
                                "negative"
                              : "Economic weights per unit of each trait, each panel on its own "
                                "scale, with the unit of its trait in its title as the trait's "
                                "name in the report template gives it (\"no unit given\" where "
                                "the name has none)";
    std::string sorted;
    for (size_t i = 0; i < swept.size(); ++i)
        sorted +=
            (i ? " and " : "") + std::to_string(swept[i]) + " (" + traitnoun(names, swept[i]) + ")";
    if (sorted.empty() || drawn > static_cast<size_t>(own)) {
        if (!sorted.empty())
            sorted = "The first panels are those of trait " + sorted +
                     ", whose value is swept; the others ";
        else
            sorted = "The panels ";
        sorted += "show the components whose " + noun + " changes most over the sweep";
        if (!t.standardised) sorted += ", as a share of its size";
    } else {
        sorted = "The panels are those of trait " + sorted + ", whose value is swept";
    }
    chart.notes.push_back(sentences({what, sorted}));
    if (!groupkey.empty()) chart.notes.push_back(sentence(groupkey));
    if (!heat && (direct || maternal)) {
        const char* shape = categories ? "points" : "lines";
        const char* solid = categories ? "Filled" : "Solid";
        const char* broken = categories ? "open" : "dashed";
        std::string s;
        if (direct) s = solid + std::string(" ") + shape + ": direct components";
        if (direct && maternal)
            s += "; " + std::string(broken) + " " + shape + ": maternal components";
        if (!direct)
            s = std::string(categories ? "Open " : "Dashed ") + shape + ": maternal components";
        chart.notes.push_back(sentence(s));
    }
    std::sort(level.begin(), level.end());
    std::sort(same.begin(), same.end());
    if (!level.empty())
        chart.notes.push_back("The " + noun + "s of " + listof(level) + " do not depend on the " +
                              axisnoun(x, names) + ".");
    if (!same.empty())
        chart.notes.push_back("The " + noun + "s of " + listof(same) + " do not depend on the " +
                              axisnoun(*second, names) +
                              (heat ? "."
                                    : std::string(": the ") + (categories ? "points" : "lines") +
                                          " of its values coincide, labelled \"all\"."));
    if (const std::string s = picknote(t, names, heat); !s.empty())
        chart.notes.push_back(sentence(s));
    for (const std::string& s : otheraxes(t, names))
        chart.notes.push_back(sentence(s));
    if (!greypanel && order.size() > drawn) {
        std::vector<int> rest(order.begin() + static_cast<long>(drawn), order.end());
        std::sort(rest.begin(), rest.end());
        chart.notes.push_back("Not drawn, as they change less: " + listof(rest) + " (" +
                              (kind ? kind->file : "kalp-sweep.csv") + " holds them all).");
    }
    if (!grey.empty()) {
        std::sort(grey.begin(), grey.end());
        chart.notes.push_back("The grey panel holds, not told apart: " + listof(grey) + ".");
    }
    // The scenarios the chart draws: all of them, or those it picks.
    bool everything = t.stride == 1 && (!second || t.series.size() == second->values.size());
    for (size_t i = 0; i < plan.axes.size(); ++i)
        if (i != plan.first && i != plan.second)
            everything = everything && plan.axes[i].values.size() == 1;
    const std::string every = everything ? "in every scenario" : "in every scenario drawn";
    if (!constant.empty()) {
        // Economic values change only the weights of their own trait.
        bool values = !t.standardised && !kind;
        std::string nouns;
        for (const Axis* a : {&x, second})
            if (a && a->values.size() > 1) {
                values = values && a->p->stage == Stage::weights;
                nouns += (nouns.empty() ? "" : " or the ") + axisnoun(*a, names);
            }
        for (const int key : changing)
            values = values && std::find(swept.begin(), swept.end(), key / 2) != swept.end();
        std::string s;
        if (values)
            s = "No other weight depends on the " + nouns + "; each of the others is the same " +
                every + ", so not drawn: ";
        else
            s = "The same " + every + ", so not drawn: ";
        for (size_t i = 0; i < constant.size(); ++i)
            s += (i ? ", " : "") + shortname(constant[i]) + " (" + datum(courses[constant[i]].lo) +
                 ")";
        chart.notes.push_back(sentence(s));
    }
    if (!zeros.empty())
        chart.notes.push_back("0 " + every + ", so not drawn: " + listof(zeros) + ".");
    if (!leftout.empty()) {
        std::string s =
            "Left out of the sums by the pair choices of INPUTVRD05.TXT, so not drawn: ";
        bool first = true;
        for (const int key : leftout) {
            s += (first ? "" : "; ") + std::to_string(key / 2) + " " + chartname(names[key / 2]) +
                 ", " + componentname(key % 2 == 0);
            first = false;
        }
        chart.notes.push_back(sentence(s));
    }
    for (const std::string& u : t.undrawn)
        chart.notes.push_back(sentence(u));
    if (chart.panels.empty() && !constant.empty())
        chart.none = "No " + noun + " changes over the sweep: the notes below give them.";
    return multipleschart(chart, layout);
}

} // namespace kalp
