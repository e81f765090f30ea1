#include "report/sweeprows.h"

#include <algorithm>
#include <cmath>

#include "model/classes.h"
#include "report/sweepchart.h"

namespace kalp {

SweepTables sweeptables(const SweepPlan& plan, const Model& prepared, const TraitNames& names,
                        bool json, const Model* complete) {
    SweepTables t{&plan, "", "", {}, prepared.gstd == 2, json, traitfields(names),
                  scenariofields(complete ? *complete : prepared), {}, 1, {}, {}, {}, nullptr, {}};
    t.scenario = prepared.prods == 1 ? "One production system" : "Two production systems";
    for (const Axis& a : plan.axes)
        if (a.p == findparameter("n_sac")) {
            for (const double v : a.values) {
                const ClassInfo c = describeclass(prepared, static_cast<int>(v));
                t.groups.push_back(groupname(c));
                t.sexes.emplace_back(c.block.sex);
                t.systems.emplace_back(c.block.system);
            }
            t.traced = t.groups.front();
        }
    for (const Axis& a : plan.axes)
        t.fields.push_back(scenariofield(*a.p, a.trait));
    chartpicks(plan, t.stride, t.series);
    return t;
}

std::string weightsheader(const SweepTables& t) {
    return rowkey(t.base).header() + weightsheader(t.standardised);
}

std::string flowheader(const SweepTables& t) { return flowkey(t.base).header() + cumulativeheader(); }

SweepRow sweeprow(const SweepTables& t, const Scenario& sc, const Model& m) {
    // The swept values differ from those of the files, and the standard
    // deviations, which are read only for the traits that get a weight in
    // the scenario.
    SweepRow r{sc, m, t.base, {}};
    for (size_t i = 0; i < t.fields.size(); ++i) {
        const Axis& a = t.plan->axes[i];
        r.fields.values[t.fields[i]] = scenariovalue(*a.p, m, a.trait);
    }
    if (t.plan->draws)
        for (const Change& c : t.plan->draws->changes(sc.draw))
            r.fields.values[scenariofield(*c.p, c.trait)] = scenariovalue(*c.p, m, c.trait);
    for (const Parameter& p : parameters())
        if (p.stage == Stage::deviations)
            for (int k = 1; k <= 35; ++k)
                r.fields.values[scenariofield(p, k)] = scenariovalue(p, m, k);
    r.key = rowkey(r.fields);
    return r;
}

} // namespace kalp
