#include "report/sweeprows.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "model/classes.h"
#include "report/charts.h"

namespace kalp {

namespace {

// The chart draws at most about this many values of its axis.
constexpr size_t chartvalues = 2000;
// The chart draws at most this many values of the second swept parameter,
// and this many trait components in panels of their own.
constexpr size_t chartseries = 8;
constexpr size_t chartpanels = 12;

// The relative weight within the total, with the sign of the economic
// weight, or the economic weight itself without standardisation.
double chartvalue(const Model& m, const Component& c) {
    if (m.gstd != 2) return c.ew;
    return c.ew < 0 ? -static_cast<double>(c.total) : static_cast<double>(c.total);
}

} // namespace

SweepTables sweeptables(const SweepPlan& plan, const Model& prepared, const TraitNames& names,
                        bool json) {
    SweepTables t{&plan, "", "", prepared.gstd == 2, json, traitfields(names), {}, 1, {}};
    t.scenario = prepared.prods == 1 ? "One production system" : "Two production systems";
    for (const Axis& a : plan.axes)
        if (a.p == findparameter("n_sac"))
            t.traced = groupname(describeclass(prepared, static_cast<int>(a.values[0])));
    for (const Axis& a : plan.axes)
        t.columns.push_back(paramcolumn(*a.p, a.trait));
    const size_t n = plan.axes[plan.first].values.size();
    t.stride = (n + chartvalues - 1) / chartvalues;
    const size_t m = plan.second == SIZE_MAX ? 1 : plan.axes[plan.second].values.size();
    for (size_t k = 0; k < std::min(m, chartseries); ++k)
        t.series.push_back(m <= chartseries ? k : k * (m - 1) / (chartseries - 1));
    return t;
}

std::string weightsheader(const SweepTables& t) {
    return RowKey{t.columns, {}}.header() + weightsheader(t.standardised);
}

std::string flowheader(const SweepTables& t) {
    return RowKey{t.columns, {}}.header() + cumulativeheader();
}

RowKey sweepkey(const SweepTables& t, const Scenario& sc) {
    RowKey key{t.columns, {}};
    for (size_t i = 0; i < sc.at.size(); ++i)
        key.values.push_back(sc.text(i));
    return key;
}

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
    for (const Component& c : components(m, false)) {
        if (m.gstd == 2 && !c.included) continue;
        numbers.insert(numbers.end(),
                       {2.0 * c.trait + (c.direct ? 0 : 1), sc.value(plan.first),
                        chartvalue(m, c), static_cast<double>(series - t.series.begin())});
    }
}

std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points) {
    const SweepPlan& plan = *t.plan;
    // The lines of each component (key 2k, 2k + 1), one per series.
    std::map<int, std::map<int, Line>> byc;
    std::map<int, double> largest;
    for (size_t i = 0; i + 3 < points.size(); i += 4) {
        const int key = static_cast<int>(points[i]);
        Line& l = byc[key][static_cast<int>(points[i + 3])];
        l.series = static_cast<int>(points[i + 3]);
        l.dashed = key % 2 == 1;
        l.x.push_back(points[i + 1]);
        l.y.push_back(points[i + 2]);
        largest[key] = std::max(largest[key], std::fabs(points[i + 2]));
    }
    std::vector<int> order;
    for (const auto& [key, top] : largest)
        if (top >= 1e-6) order.push_back(key);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return largest[a] > largest[b]; });
    const size_t own = order.size() <= chartpanels ? order.size() : chartpanels - 1;
    Multiples chart;
    const Axis& x = plan.axes[plan.first];
    chart.xlabel = paramlabel(*x.p, x.trait);
    chart.points = x.p->whole && x.p->stage == Stage::flow; // traced groups are categories
    chart.ylabel = t.standardised ? "Relative weight in the total (%)" : "Economic weight";
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
        for (size_t k : t.series)
            chart.series.push_back(paramnoun(*s.p, s.trait) + " " + axistext(s, k));
    }
    for (size_t i = 0; i < order.size(); ++i) {
        const int key = order[i];
        const int k = key / 2;
        const std::string name = std::to_string(k) + " " + chartname(names[k], 30);
        Panel* panel = nullptr;
        if (i < own) {
            chart.panels.push_back({name + (key % 2 ? ", maternal" : ", direct"), {}, false});
            panel = &chart.panels.back();
        } else {
            if (i == own)
                chart.panels.push_back(
                    {std::to_string(order.size() - own) + " smaller components", {}, true});
            panel = &chart.panels.back();
        }
        for (auto& [series, line] : byc[key])
            panel->lines.push_back(std::move(line));
    }
    if (t.standardised)
        chart.note = "Relative weights are shares of the sum of the absolute standardised weights; "
                     "negative where the economic weight is negative. Dashed: maternal.";
    return multipleschart(chart);
}

} // namespace kalp
