#include "report/sweeprows.h"

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "report/charts.h"
#include "report/exports.h"

namespace kalp {

namespace {

// The chart draws at most about this many values of its axis.
constexpr size_t chartvalues = 2000;

} // namespace

SweepTables sweeptables(const SweepPlan& plan, const TraitNames& names, bool standardised,
                        bool json) {
    SweepTables t{&plan, standardised, json, {}, {}, {}, 1};
    for (int k = 1; k <= 35; ++k) {
        t.csvnames[k] = csvfield(names[k]);
        t.jsonnames[k] =
            nlohmann::json(names[k]).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    for (const Axis& a : plan.axes)
        t.columns.push_back(paramcolumn(*a.p, a.trait));
    const size_t n = plan.axes[plan.first].values.size();
    t.stride = (n + chartvalues - 1) / chartvalues;
    return t;
}

std::string weightsheader(const SweepTables& t) {
    std::string h;
    for (const std::string& c : t.columns)
        h += c + ",";
    h += weightcolumns(t.standardised, false);
    return h + "\n";
}

std::string flowheader(const SweepTables& t) {
    std::string h;
    for (const std::string& c : t.columns)
        h += c + ",";
    return h + "class,cumulative\n";
}

void formatscenario(const SweepTables& t, const Scenario& sc, const Model& m, Chunk& out) {
    std::string key, jsonkey = ",\n{";
    for (size_t i = 0; i < sc.at.size(); ++i) {
        const std::string v = sc.text(i);
        key += v;
        key += ',';
        jsonkey += '"' + t.columns[i] + "\":" + v + ',';
    }
    const std::vector<Component> cs = components(m);
    for (const Component& c : cs) {
        std::string& csv = out.text[0];
        csv += key;
        weightrow(csv, c, t.csvnames[c.trait], t.standardised, false);
        if (!t.json) continue;
        std::string& j = out.text[2];
        j += jsonkey;
        j += "\"trait\":";
        j += std::to_string(c.trait);
        j += ",\"name\":";
        j += t.jsonnames[c.trait];
        j += ",\"component\":\"";
        j += componentname(c.direct);
        j += "\",\"economic_weight\":";
        append9(j, c.ew);
        if (t.standardised) {
            j += ",\"standardised\":";
            append9(j, c.standardised);
            j += ",\"relative_in_component\":";
            if (c.included) {
                append9(j, c.within);
                j += ",\"relative_in_total\":";
                append9(j, c.total);
            } else {
                j += "null,\"relative_in_total\":null";
            }
        }
        j += '}';
    }
    for (int c = 1; c <= m.acm; ++c) {
        std::string& flow = out.text[1];
        flow += key;
        flow += std::to_string(c);
        flow += ',';
        append9(flow, m.m_sum[c]);
        flow += '\n';
    }
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
            l.label =
                std::to_string(k) + " " + chartname(names[k], 44) + ", " + componentname(direct);
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
