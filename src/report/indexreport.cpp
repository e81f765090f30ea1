#include "report/indexreport.h"

#include <algorithm>
#include <cmath>

#include "report/exports.h"
#include "report/indextable.h"
#include "report/indexworth.h"
#include "textio/numbers.h"
#include "textio/utf8.h"

namespace kalp {

using namespace tables;

namespace {

const PathIndex* selected(const IndexView& v, Path p) {
    const auto x = std::find_if(v.result.paths.begin(), v.result.paths.end(),
                                [&](const PathIndex& y) { return y.path == p; });
    return x == v.result.paths.end() ? nullptr : &*x;
}

bool bothpaths(const IndexView& v) { return v.result.paths.size() == 2; }

double years(const IndexView& v) { return v.result.interval[0] + v.result.interval[1]; }

// The KALP number of a component's trait, or 0, and its name.
int number(const IndexView& v, const IndexComponent& c) {
    return v.data.traits[static_cast<size_t>(c.trait)].number;
}
std::string traitname(const IndexView& v, int trait) { return indextraitname(v, trait); }
Cell traitcell(const IndexView& v, int trait) {
    const int k = v.data.traits[static_cast<size_t>(trait)].number;
    return k ? whole(k) : none();
}

bool sameleftout(const IndexResult& r) {
    return std::equal(r.leftout[0].begin(), r.leftout[0].end(), r.leftout[1].begin(), r.leftout[1].end(),
                      [](const LeftOut& a, const LeftOut& b) { return a.number == b.number && a.effect == b.effect; });
}

} // namespace

Table indextable(const IndexView& v) {
    Table t{{"path", "sd_index", "sd_objective", "accuracy", "intensity", "generation_interval",
             "response_generation", "response_year"},
            {}};
    for (const PathIndex& p : v.result.paths) {
        const double l = v.result.interval[pathindex(p.path)];
        t.rows.push_back({text(pathname(p.path)), real(p.at.sdindex), real(p.at.sdobjective),
                          real(p.at.accuracy), real(p.intensity), l > 0 ? real(l) : none(),
                          real(p.at.response),
                          v.result.peryear ? real(p.at.response / years(v)) : none()});
    }
    if (bothpaths(v) && v.result.peryear)
        t.rows.push_back({text("year"), none(), none(), none(), none(), none(), none(),
                          real(v.result.yearresponse)});
    return t;
}

Table weightstable(const IndexView& v) {
    Table t{{"path", "source", "trait", "name", "records", "b", "b_sd"}, {}};
    for (const PathIndex& p : v.result.paths)
        for (size_t k = 0; k < p.sources.size(); ++k) {
            const IndexSource& s = p.sources[k];
            const Eigen::Index i = static_cast<Eigen::Index>(k);
            t.rows.push_back({text(pathname(p.path)), text(sourcename(s.source)), traitcell(v, s.trait),
                              text(traitname(v, s.trait)), whole(s.records), real(p.at.b(i)),
                              real(p.at.b(i) * p.sourcesd(i))});
        }
    return t;
}

Table responsetable(const IndexView& v) {
    Table t{{"path", "trait", "name", "component", "economic_weight", "response_generation",
             "response_year", "value_year", "share"},
            {}};
    const std::vector<IndexComponent>& comps = v.result.components;
    for (const PathIndex& p : v.result.paths)
        for (size_t j = 0; j < comps.size(); ++j) {
            const Eigen::Index i = static_cast<Eigen::Index>(j);
            const double gain = p.at.gain(i), value = p.v(i) * gain;
            t.rows.push_back({text(pathname(p.path)), traitcell(v, comps[j].trait),
                              text(traitname(v, comps[j].trait)), text(effectname(comps[j].effect)),
                              weight(p.v(i)), real(gain),
                              v.result.peryear ? real(gain / years(v)) : none(),
                              v.result.peryear ? real(value / years(v)) : none(),
                              p.at.response > 0 ? real(100 * value / p.at.response) : none()});
        }
    if (bothpaths(v) && v.result.peryear) {
        const PathIndex &a = v.result.paths[0], &b = v.result.paths[1];
        for (size_t j = 0; j < comps.size(); ++j) {
            const Eigen::Index i = static_cast<Eigen::Index>(j);
            const double value = (a.v(i) * a.at.gain(i) + b.v(i) * b.at.gain(i)) / years(v);
            t.rows.push_back({text("year"), traitcell(v, comps[j].trait),
                              text(traitname(v, comps[j].trait)), text(effectname(comps[j].effect)),
                              a.v(i) == b.v(i) ? weight(a.v(i)) : none(), none(),
                              real(v.result.yeargain(i)), real(value),
                              v.result.yearresponse > 0 ? real(100 * value / v.result.yearresponse)
                                                        : none()});
        }
    }
    return t;
}

std::string indextraitname(const IndexView& v, int trait) {
    const IndexTrait& t = v.data.traits[static_cast<size_t>(trait)];
    return t.number ? v.names[static_cast<size_t>(t.number)] : t.name;
}

std::string indexcomponentlabel(const IndexView& v, const IndexComponent& c) {
    const int k = number(v, c);
    return (k ? std::to_string(k) + " " : std::string()) + traitname(v, c.trait) + ", " +
           effectname(c.effect);
}

std::string indexcsv(const IndexView& v) { return csv(indextable(v)); }
std::string indexweightscsv(const IndexView& v) { return csv(weightstable(v)); }
std::string indexresponsecsv(const IndexView& v) { return csv(responsetable(v)); }

std::string indexjson(const IndexView& v) {
    std::string out = "{\n  \"version\": " + jsonstring(KALP_VERSION) + ",\n";
    out += "  \"weights_from\": " + (v.weights.empty() ? std::string("null") : jsonstring(v.weights)) + ",\n";
    out += "  \"traced_group\": {";
    for (int k = 0; k < pathcount; ++k)
        out += std::string(k ? ", " : "") + jsonstring(pathname(static_cast<Path>(k))) + ": " +
               (v.path[k].traced ? std::to_string(v.path[k].traced) : "null");
    out += "},\n  \"index\": " + json(indextable(v), "  ") + ",\n";
    out += "  \"weights\": " + json(weightstable(v), "  ") + ",\n";
    out += "  \"response\": " + json(responsetable(v), "  ") + ",\n";
    Table left{{"path", "trait", "name", "component", "economic_weight"}, {}};
    for (int k = 0; k < pathcount; ++k)
        for (const LeftOut& l : v.result.leftout[k])
            left.rows.push_back({text(pathname(static_cast<Path>(k))), whole(l.number),
                                 text(v.names[static_cast<size_t>(l.number)]), text(effectname(l.effect)),
                                 weight(l.weight)});
    out += "  \"left_out\": " + json(left, "  ") + ",\n";
    Table sds{{"trait", "name", "component", "sd_index", "sd_run"}, {}};
    for (const SdDifference& d : v.sds) {
        const IndexComponent& c = v.result.components[static_cast<size_t>(d.component)];
        sds.rows.push_back({traitcell(v, c.trait), text(traitname(v, c.trait)), text(effectname(c.effect)),
                            real(d.index), real(d.run)});
    }
    out += "  \"sd_differences\": " + json(sds, "  ") + ",\n";
    Table bent{{"path", "row_a", "row_b", "before", "after"}, {}};
    auto rowname = [&](const PathIndex* p, int k) {
        if (p && k < static_cast<int>(p->sources.size())) {
            const IndexSource& s = p->sources[static_cast<size_t>(k)];
            return std::string(sourcename(s.source)) + " " + v.data.traits[static_cast<size_t>(s.trait)].name;
        }
        const size_t j = static_cast<size_t>(k) - (p ? p->sources.size() : 0);
        return indexcomponentlabel(v, v.result.components[j]);
    };
    for (const Moved& m : v.result.bentgenetic)
        bent.rows.push_back({none(), text(rowname(nullptr, m.i)), text(rowname(nullptr, m.j)), real(m.before),
                             real(m.after)});
    for (const PathIndex& p : v.result.paths)
        for (const Moved& m : p.bent)
            bent.rows.push_back({text(pathname(p.path)), text(rowname(&p, m.i)), text(rowname(&p, m.j)),
                                 real(m.before), real(m.after)});
    out += "  \"bent\": " + json(bent, "  ") + ",\n";
    out += "  \"sources\": " + json(sourcestable(v), "  ") + ",\n";
    out += "  \"sensitivity\": " + json(sensitivitytable(v), "  ") + ",\n";
    if (constrained(v)) {
        out += "  \"constrained\": " + json(constrainedtable(v), "  ") + ",\n";
        out += "  \"constrained_weights\": " + json(constrainedweightstable(v), "  ") + ",\n";
        out += "  \"constrained_response\": " + json(constrainedresponsetable(v), "  ") + ",\n";
    }
    out += "  \"pairs_not_given\": {\"genetic\": " + std::to_string(v.result.notgiven[0]) +
           ", \"phenotypic\": " + std::to_string(v.result.notgiven[1]) +
           ", \"litter\": " + std::to_string(v.result.notgiven[2]) + "}\n}\n";
    return out;
}

std::string indexreport(const IndexView& v) {
    const IndexResult& r = v.result;
    std::string out = "\nSelection index and response (kalp index)\n\n";
    for (const PathIndex& p : r.paths) {
        const IndexPathFacts& f = v.path[pathindex(p.path)];
        out += "Objective of the " + std::string(pathname(p.path)) + ": the economic weights of " +
               (v.weights.empty() ? "traced group " + std::to_string(f.traced) + " (" + f.group + ")"
                                  : v.weights) +
               ".\n";
    }
    out += "\n  path  sd(index)  sd(objective)  accuracy  intensity  interval  "
           "response/generation  response/year\n";
    for (const PathIndex& p : r.paths) {
        const double l = r.interval[pathindex(p.path)];
        out += pad(pathname(p.path), 6) + pad(fixed(p.at.sdindex), 11) + pad(fixed(p.at.sdobjective), 15) +
               pad(fixed(p.at.accuracy, "%.3f"), 10) + pad(fixed(p.intensity, "%.3f"), 11) +
               pad(l > 0 ? fixed(l, "%.2f") : "-", 10) + pad(fixed(p.at.response), 21) +
               pad(r.peryear ? fixed(p.at.response / years(v)) : "-", 15) + "\n";
    }
    if (bothpaths(v) && r.peryear)
        out += pad("both", 6) + pad("", 11 + 15 + 10 + 11 + 10 + 21) + pad(fixed(r.yearresponse), 15) + "\n";
    if (!r.peryear)
        out += "  (no response per year: the generation interval of " +
               std::string(r.interval[0] > 0 ? "the ewes" : r.interval[1] > 0 ? "the rams" : "both paths") +
               " is not known; give it in index-selection.csv, with proportion 1 for a path that is "
               "not selected)\n";

    // The components that bring most of the value.
    struct Part {
        size_t j;
        double value, gain;
    };
    std::vector<Part> parts;
    const double total = r.peryear ? r.yearresponse : r.paths.empty() ? 0 : r.paths[0].at.response;
    for (size_t j = 0; j < r.components.size(); ++j) {
        const Eigen::Index i = static_cast<Eigen::Index>(j);
        double value = 0, gain = 0;
        for (const PathIndex& p : r.paths)
            if (r.peryear || &p == &r.paths[0]) {
                value += p.v(i) * p.at.gain(i) / (r.peryear ? years(v) : 1);
                gain += p.at.gain(i) / (r.peryear ? years(v) : 1);
            }
        parts.push_back({j, value, gain});
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return std::fabs(a.value) > std::fabs(b.value); });
    if (total > 0) {
        out += "\nLargest contributions to the response " +
               std::string(r.peryear ? "per year" : "per generation of the " +
                                                         std::string(pathname(r.paths[0].path))) +
               ":\n";
        std::vector<std::string> labels;
        size_t width = 9;
        for (size_t k = 0; k < parts.size() && k < 5 && parts[k].value != 0; ++k) {
            labels.push_back(indexcomponentlabel(v, r.components[parts[k].j]));
            width = std::max(width, utf8length(labels.back()));
        }
        auto left = [&](const std::string& t) { return t + std::string(width - utf8length(t), ' '); };
        out += "  " + left("component") + "    response       value   share\n";
        for (size_t k = 0; k < labels.size(); ++k)
            out += "  " + left(labels[k]) + pad(fixed(parts[k].gain), 12) + pad(fixed(parts[k].value), 12) +
                   pad(fixed(100 * parts[k].value / total, "%.1f"), 6) + " %\n";
    }
    out += constrainedreport(v) + worthreport(v);

    out += "\n";
    for (int k = 0; k < pathcount; ++k) {
        if (!selected(v, static_cast<Path>(k))) {
            if (v.path[k].sources)
                out += "Not computed: index-sources.csv gives sources for the " +
                       std::string(pathname(static_cast<Path>(k))) + ", but index-selection.csv "
                       "does not select them.\n";
            continue;
        }
        // The same list for both paths is given once.
        const bool same = bothpaths(v) && k == 1 && sameleftout(r);
        if (!r.leftout[k].empty() && !same) {
            const bool both = bothpaths(v) && k == 0 && sameleftout(r);
            out += "Left out of the objective of " +
                   (both ? std::string("both paths") : "the " + std::string(pathname(static_cast<Path>(k)))) +
                   " (an economic weight, but no parameters in index-traits.csv):";
            for (const LeftOut& l : r.leftout[k])
                out += "\n  " + std::to_string(l.number) + " " + v.names[static_cast<size_t>(l.number)] + ", " +
                       effectname(l.effect);
            out += "\n";
        }
        if (v.path[k].covered >= 0)
            out += "The objective of the " + std::string(pathname(static_cast<Path>(k))) + " covers " +
                   fixed(v.path[k].covered, "%.1f") + " % of the standardised weights.\n";
    }
    out += "Pairs that index-correlations.csv does not give, taken as 0: " + std::to_string(r.notgiven[0]) +
           " genetic, " + std::to_string(r.notgiven[1]) + " phenotypic, " + std::to_string(r.notgiven[2]) +
           " litter.\n";
    for (int k = 0; k < pathcount; ++k)
        if (r.interval[k] > 0 && !v.path[k].interval.empty())
            out += "The generation interval of the " + std::string(pathname(static_cast<Path>(k))) + ", " +
                   fixed(r.interval[k], "%.3g") + " years, comes from " + v.path[k].interval +
                   " (a class of age a has its lambs a + 1 years after its birth).\n";
    for (const SdDifference& d : v.sds)
        out += "The genetic standard deviation of " + indexcomponentlabel(v, r.components[static_cast<size_t>(d.component)]) +
               " is " + fixed(d.index) + " here and " + fixed(d.run) + " in INPUTVRD04.TXT.\n";
    auto bent = [&](const std::vector<Moved>& moved, const std::string& what, auto name) {
        if (moved.empty()) return;
        out += "--bend moved " + std::to_string(moved.size()) + " " + what + " by more than 0.01:\n";
        for (const Moved& m : moved)
            out += "  " + name(m.i) + " with " + name(m.j) + ": " + fixed(m.before, "%.3f") + " to " +
                   fixed(m.after, "%.3f") + "\n";
    };
    bent(r.bentgenetic, "genetic correlations", [&](int j) {
        return indexcomponentlabel(v, r.components[static_cast<size_t>(j)]);
    });
    for (const PathIndex& p : r.paths)
        bent(p.bent, "correlations of the sources and components of the " + std::string(pathname(p.path)),
             [&](int k) {
                 if (k >= static_cast<int>(p.sources.size()))
                     return indexcomponentlabel(v, r.components[static_cast<size_t>(k) - p.sources.size()]);
                 const IndexSource& s = p.sources[static_cast<size_t>(k)];
                 return std::string(sourcename(s.source)) + " " +
                        v.data.traits[static_cast<size_t>(s.trait)].name + " (" + std::to_string(s.records) +
                        (s.records == 1 ? " record)" : " records)");
             });
    return out;
}

} // namespace kalp
