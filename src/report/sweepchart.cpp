#include "report/sweepchart.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>

#include "report/charts.h"

namespace kalp {

namespace {

// The chart draws at most this many trait components in panels of their
// own.
constexpr size_t chartpanels = 12;

// The relative weight within the total (signed), or the economic weight
// itself without standardisation.
double chartvalue(const Model& m, const Component& c) { return m.gstd != 2 ? c.ew : c.total; }

} // namespace

void chartpoints(const SweepTables& t, const Scenario& sc, const Model& m,
                 std::vector<double>& numbers) {
    // The chart follows the first parameter and the chosen values of the
    // second, the others at their first value.
    const SweepPlan& plan = *t.plan;
    for (size_t i = 0; i < sc.at.size(); ++i)
        if (i != plan.first && i != plan.second && sc.at[i] != 0) return;
    const size_t x = sc.at[plan.first];
    if (x % t.stride != 0 && x + 1 != plan.axes[plan.first].values.size()) return;
    const size_t second = plan.second == SIZE_MAX ? 0 : sc.at[plan.second];
    const auto series = std::find(t.series.begin(), t.series.end(), second);
    if (series == t.series.end()) return;
    const double at = sc.value(plan.first);
    for (const Component& c : components(m, false)) {
        if (m.gstd == 2 && !c.included) {
            // Named once, under the chart.
            if (x == 0 && series == t.series.begin() && !negligible(c.ew))
                numbers.insert(numbers.end(), {2.0 * c.trait + (c.direct ? 0 : 1), at, 0, -1});
            continue;
        }
        numbers.insert(numbers.end(), {2.0 * c.trait + (c.direct ? 0 : 1), at, chartvalue(m, c),
                                       static_cast<double>(series - t.series.begin())});
    }
}

namespace {

// What the chart draws of a component: a line per series, and the range of
// its values over the sweep.
struct Course {
    std::map<int, Line> lines;
    double lo = 0, hi = 0, top = 0;
    bool any = false;
};

} // namespace

std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points, svg::Layout* layout) {
    const SweepPlan& plan = *t.plan;
    const Axis& x = plan.axes[plan.first];
    // Traced groups are categories; so is a single value, a point.
    const bool groups = x.p == findparameter("n_sac");
    const bool categories = groups || x.values.size() == 1;
    std::map<int, Course> courses; // by component: 2k direct, 2k + 1 maternal
    std::set<int> leftout;
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
        c.lo = c.any ? std::min(c.lo, y) : y;
        c.hi = c.any ? std::max(c.hi, y) : y;
        c.top = std::max(c.top, std::fabs(y));
        c.any = true;
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
                if (courses.count(key) && courses[key].top >= 1e-6) order.push_back(key);
        }
    const size_t own = order.size();
    auto change = [&](int key) {
        const Course& c = courses[key];
        return t.standardised ? c.hi - c.lo : (c.hi - c.lo) / c.top;
    };
    for (const auto& [key, c] : courses)
        if (c.top >= 1e-6 && std::find(order.begin(), order.begin() + static_cast<long>(own),
                                       key) == order.begin() + static_cast<long>(own))
            order.push_back(key);
    std::stable_sort(order.begin() + static_cast<long>(own), order.end(),
                     [&](int a, int b) { return change(a) > change(b); });
    // Relative weights share one unit: the rest fit one grey panel. Economic
    // weights do not; the rest are named.
    const bool greypanel = t.standardised && order.size() > chartpanels;
    const size_t drawn = std::min(order.size(), greypanel ? chartpanels - 1 : chartpanels);

    Multiples chart;
    chart.xlabel = paramlabel(*x.p, x.trait);
    for (size_t i = 0; categories && i < x.values.size(); ++i)
        chart.categories.push_back(axistext(x, i));
    for (size_t i = 0; groups && i < x.values.size(); ++i)
        chart.xlabel += (i ? ", " : ": ") + axistext(x, i) + " " + t.groups[i];
    chart.ylabel = t.standardised ? "Relative weight in the total (%)"
                                  : "Economic weight per unit of the trait";
    chart.title = std::string(t.standardised ? "Relative economic weights" : "Economic weights") +
                  " against the " + paramnoun(*x.p, x.trait);
    std::string others;
    for (size_t i = 0; i < plan.axes.size(); ++i) {
        if (i == plan.first || i == plan.second) continue;
        const Axis& a = plan.axes[i];
        std::string v = paramnoun(*a.p, a.trait) + " " + axistext(a, 0);
        if (*a.p->unit) v += std::string(" ") + a.p->unit + (a.values[0] == 1 ? "" : "s");
        if (a.p == findparameter("n_sac")) v += " (" + t.traced + ")";
        others += ", " + v;
    }
    chart.subtitle = t.scenario + others;
    if (plan.second != SIZE_MAX) {
        const Axis& s = plan.axes[plan.second];
        for (size_t k : t.series) {
            std::string name = paramnoun(*s.p, s.trait) + " " + axistext(s, k);
            if (s.p == findparameter("n_sac")) name += " (" + t.groups[k] + ")";
            chart.series.push_back(name);
        }
    }
    bool direct = false, maternal = false;
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
            chart.panels.push_back(panel);
        } else if (greypanel && i == drawn) {
            chart.panels.push_back(
                {std::to_string(order.size() - drawn) + " other components, changing less",
                 "",
                 "others",
                 {},
                 true});
        } else if (!greypanel) {
            continue;
        }
        (isdirect ? direct : maternal) = true;
        for (auto& [series, line] : courses[key].lines)
            chart.panels.back().lines.push_back(std::move(line));
    }

    std::string what =
        t.standardised ? "Relative weights are shares of the sum of the absolute standardised "
                         "weights, negative where the economic weight is negative"
                       : "Economic weights per unit of each trait, each panel on its own scale, "
                         "with the unit of its trait in its title as the trait's name in the "
                         "report template gives it (\"no unit given\" where the name has none)";
    std::string sorted;
    for (size_t i = 0; i < swept.size(); ++i)
        sorted += (i ? " and " : "") + std::to_string(swept[i]);
    if (!sorted.empty())
        sorted =
            "The first panels are those of trait " + sorted + ", whose value is swept; the others ";
    else
        sorted = "The panels ";
    sorted += "show the components whose weight changes most over the sweep";
    if (!t.standardised) sorted += ", as a share of its size";
    chart.notes.push_back(what + ". " + sorted + ".");
    if (direct || maternal) {
        const char* shape = categories ? "points" : "lines";
        const char* solid = categories ? "Filled" : "Solid";
        const char* broken = categories ? "open" : "dashed";
        std::string s;
        if (direct) s = solid + std::string(" ") + shape + ": direct components";
        if (direct && maternal)
            s += "; " + std::string(broken) + " " + shape + ": maternal components";
        if (!direct)
            s = std::string(categories ? "Open " : "Dashed ") + shape + ": maternal components";
        chart.notes.push_back(s + ".");
    }
    if (t.stride > 1)
        chart.notes.push_back("The lines take one value of the " + paramnoun(*x.p, x.trait) +
                              " in every " + std::to_string(t.stride) + ", and the last.");
    if (!greypanel && order.size() > drawn) {
        std::vector<int> rest(order.begin() + static_cast<long>(drawn), order.end());
        std::sort(rest.begin(), rest.end());
        std::string s = "Not drawn, as they change less: ";
        for (size_t i = 0; i < rest.size(); ++i)
            s += (i ? ", " : "") + std::to_string(rest[i] / 2) + " " +
                 componentname(rest[i] % 2 == 0);
        chart.notes.push_back(s + " (kalp-sweep.csv holds them all).");
    }
    if (!leftout.empty()) {
        std::string s =
            "Left out of the sums by the pair choices of INPUTVRD05.TXT, so not drawn: ";
        bool first = true;
        for (const int key : leftout) {
            s += (first ? "" : "; ") + std::to_string(key / 2) + " " + chartname(names[key / 2]) +
                 ", " + componentname(key % 2 == 0);
            first = false;
        }
        chart.notes.push_back(s + ".");
    }
    return multipleschart(chart, layout);
}

} // namespace kalp
