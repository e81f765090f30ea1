#include "report/sweeprows.h"

#include <cmath>
#include <map>

#include "report/charts.h"

namespace kalp {

namespace {

// The chart draws at most about this many values of its axis.
constexpr size_t chartvalues = 2000;

} // namespace

SweepTables sweeptables(const SweepPlan& plan, const TraitNames& names, bool standardised,
                        bool json) {
    SweepTables t{&plan, standardised, json, traitfields(names), {}, 1};
    for (const Axis& a : plan.axes)
        t.columns.push_back(paramcolumn(*a.p, a.trait));
    const size_t n = plan.axes[plan.first].values.size();
    t.stride = (n + chartvalues - 1) / chartvalues;
    return t;
}

std::string weightsheader(const SweepTables& t) {
    return RowKey{t.columns, {}}.header() + weightsheader(t.standardised);
}

std::string flowheader(const SweepTables& t) {
    return RowKey{t.columns, {}}.header() + cumulativeheader();
}

void formatscenario(const SweepTables& t, const Scenario& sc, const Model& m, Chunk& out) {
    RowKey key{t.columns, {}};
    for (size_t i = 0; i < sc.at.size(); ++i)
        key.values.push_back(sc.text(i));
    weightrows(m, key, t.names, out.text[0], t.json ? &out.text[2] : nullptr);
    cumulativerows(m, key.csv(), out.text[1]);
    // The chart follows the first parameter, the others at their first value.
    const SweepPlan& plan = *t.plan;
    for (size_t i = 0; i < sc.at.size(); ++i)
        if (i != plan.first && sc.at[i] != 0) return;
    const size_t x = sc.at[plan.first];
    if (x % t.stride != 0 && x + 1 != plan.axes[plan.first].values.size()) return;
    for (const Component& c : components(m, false)) {
        if (m.gstd == 2 && !c.included) continue;
        out.numbers.insert(out.numbers.end(), {2.0 * c.trait + (c.direct ? 0 : 1),
                                               sc.value(plan.first),
                                               m.gstd == 2 ? c.total : c.ew});
    }
}

std::string sweepchart(const SweepTables& t, const TraitNames& names,
                       const std::vector<double>& points) {
    const SweepPlan& plan = *t.plan;
    std::map<int, Line> lines;
    for (size_t i = 0; i + 2 < points.size(); i += 3) {
        const int key = static_cast<int>(points[i]);
        const int k = key / 2;
        Line& l = lines[key];
        if (l.label.empty()) {
            const bool direct = key % 2 == 0;
            // Long names are cut so that the legend keeps its columns.
            std::string name = names[k];
            if (name.size() > 44) name.replace(42, std::string::npos, "...");
            l.label = std::to_string(k) + " " + name + ", " + componentname(direct);
            l.dashed = !direct;
        }
        l.x.push_back(points[i + 1]);
        l.y.push_back(points[i + 2]);
    }
    std::vector<Line> drawn;
    for (auto& [key, l] : lines) {
        bool weighted = false;
        for (double y : l.y)
            weighted = weighted || std::fabs(y) >= 1e-6;
        if (weighted) drawn.push_back(std::move(l));
    }
    std::string others;
    for (size_t i = 0; i < plan.axes.size(); ++i) {
        if (i == plan.first) continue;
        const Axis& a = plan.axes[i];
        std::string v = paramnoun(*a.p, a.trait) + " " + axistext(a, 0);
        if (*a.p->unit) v += std::string(" ") + a.p->unit + (a.values[0] == 1 ? "" : "s");
        others += (others.empty() ? "" : ", ") + v;
    }
    const Axis& x = plan.axes[plan.first];
    const std::string title =
        std::string(t.standardised ? "Relative economic weights" : "Economic weights") +
        " against the " + paramnoun(*x.p, x.trait) + " (" + others + ")";
    return lineschart(title, paramlabel(*x.p, x.trait),
                      t.standardised ? "Relative weight within the total (%)" : "Economic weight",
                      drawn);
}

} // namespace kalp
