#include "report/indexworth.h"

#include <algorithm>
#include <cmath>

#include "index/constrain.h"
#include "textio/utf8.h"

namespace kalp {

using namespace tables;

namespace {

double years(const IndexView& v) { return v.result.interval[0] + v.result.interval[1]; }

Cell traitcell(const IndexView& v, int trait) {
    const int k = v.data.traits[static_cast<size_t>(trait)].number;
    return k ? whole(k) : none();
}

const PathIndex& pathof(const IndexView& v, Path p) {
    return *std::find_if(v.result.paths.begin(), v.result.paths.end(),
                         [&](const PathIndex& x) { return x.path == p; });
}

// The constrained indexes of every kind, with their names.
struct Kind {
    const char* name;
    const std::vector<Constrained>& indexes;
};
std::vector<Kind> kinds(const IndexView& v) {
    std::vector<Kind> k;
    if (!v.result.restricted.empty()) k.push_back({"restricted", v.result.restricted});
    if (!v.result.desired.empty()) k.push_back({"desired", v.result.desired});
    return k;
}

std::string left(const std::string& s, size_t width) {
    const size_t n = utf8length(s);
    return n < width ? s + std::string(width - n, ' ') : s;
}

std::string percent(double v) { return fixed(v, std::fabs(v) < 9.95 ? "%.1f %%" : "%.0f %%"); }

} // namespace

Table sourcestable(const IndexView& v) {
    Table t{{"path", "source", "trait", "name", "records", "accuracy_without", "response_without", "share_lost",
             "gain_one_more"},
            {}};
    for (const SourceValue& s : v.values) {
        const IndexSource& x = pathof(v, s.path).sources[s.source];
        t.rows.push_back({text(pathname(s.path)), text(sourcename(x.source)), traitcell(v, x.trait),
                          text(indextraitname(v, x.trait)), whole(x.records), real(s.accuracy), real(s.response),
                          real(s.share), s.more ? real(s.gain) : none()});
    }
    return t;
}

Table sensitivitytable(const IndexView& v) {
    Table t{{"path", "trait", "name", "component", "change", "efficiency"}, {}};
    for (const Sensitivity& s : v.sensitivity) {
        const IndexComponent& c = v.result.components[s.component];
        for (int k = 0; k < weightchanges; ++k)
            t.rows.push_back({text(pathname(s.path)), traitcell(v, c.trait), text(indextraitname(v, c.trait)),
                              text(effectname(c.effect)), text(changename(static_cast<WeightChange>(k))),
                              real(s.efficiency[k])});
    }
    return t;
}

bool constrained(const IndexView& v) { return !kinds(v).empty(); }

Table constrainedtable(const IndexView& v) {
    Table t{{"path", "index", "sd_index", "accuracy", "accuracy_cost", "response_generation", "cost_generation",
             "response_year", "cost_year"},
            {}};
    const bool peryear = v.result.peryear;
    for (const Kind& k : kinds(v)) {
        double year = 0;
        for (const Constrained& c : k.indexes) {
            const PathIndex& p = pathof(v, c.path);
            year += c.response;
            t.rows.push_back({text(pathname(c.path)), text(k.name), real(c.at.sdindex), real(c.accuracy),
                              real(p.at.accuracy - c.accuracy), real(c.response), real(p.at.response - c.response),
                              peryear ? real(c.response / years(v)) : none(),
                              peryear ? real((p.at.response - c.response) / years(v)) : none()});
        }
        if (peryear && k.indexes.size() == 2)
            t.rows.push_back({text("year"), text(k.name), none(), none(), none(), none(), none(),
                              real(year / years(v)), real(v.result.yearresponse - year / years(v))});
    }
    return t;
}

Table constrainedweightstable(const IndexView& v) {
    Table t{{"path", "index", "source", "trait", "name", "records", "b", "b_sd"}, {}};
    for (const Kind& k : kinds(v))
        for (const Constrained& c : k.indexes) {
            const PathIndex& p = pathof(v, c.path);
            for (size_t j = 0; j < p.sources.size(); ++j) {
                const IndexSource& s = p.sources[j];
                const Eigen::Index i = static_cast<Eigen::Index>(j);
                t.rows.push_back({text(pathname(c.path)), text(k.name), text(sourcename(s.source)),
                                  traitcell(v, s.trait), text(indextraitname(v, s.trait)), whole(s.records),
                                  real(c.at.b(i)), real(c.at.b(i) * p.sourcesd(i))});
            }
        }
    return t;
}

Table constrainedresponsetable(const IndexView& v) {
    Table t{{"path", "index", "trait", "name", "component", "economic_weight", "implied_weight",
             "response_generation", "response_year"},
            {}};
    const std::vector<IndexComponent>& comps = v.result.components;
    const bool peryear = v.result.peryear;
    for (const Kind& k : kinds(v)) {
        for (const Constrained& c : k.indexes) {
            const PathIndex& p = pathof(v, c.path);
            for (size_t j = 0; j < comps.size(); ++j) {
                const Eigen::Index i = static_cast<Eigen::Index>(j);
                t.rows.push_back({text(pathname(c.path)), text(k.name), traitcell(v, comps[j].trait),
                                  text(indextraitname(v, comps[j].trait)), text(effectname(comps[j].effect)),
                                  weight(p.v(i)), real(c.weights(i)), real(c.at.gain(i)),
                                  peryear ? real(c.at.gain(i) / years(v)) : none()});
            }
        }
        if (peryear && k.indexes.size() == 2)
            for (size_t j = 0; j < comps.size(); ++j) {
                const Eigen::Index i = static_cast<Eigen::Index>(j);
                t.rows.push_back({text("year"), text(k.name), traitcell(v, comps[j].trait),
                                  text(indextraitname(v, comps[j].trait)), text(effectname(comps[j].effect)),
                                  none(), none(), none(),
                                  real((k.indexes[0].at.gain(i) + k.indexes[1].at.gain(i)) / years(v))});
            }
    }
    return t;
}

std::string worthreport(const IndexView& v) {
    const IndexResult& r = v.result;
    std::string out;
    if (!v.values.empty()) {
        const std::string per = r.peryear ? "per year" : "per generation";
        out += "\nValue of each source: the index without it, the share of the response lost, and the "
               "response\n" + per + " gained by one more record (one more relative of a group, one more "
               "record of an animal):\n";
        size_t width = 5;
        for (const SourceValue& s : v.values)
            width = std::max(width, utf8length(v.data.traits[static_cast<size_t>(
                                        pathof(v, s.path).sources[s.source].trait)].name));
        out += "  path  source    " + left("trait", width) + "  records  accuracy  response/" +
               (r.peryear ? "year" : "generation") + "     lost  one more record\n";
        for (const SourceValue& s : v.values) {
            const IndexSource& x = pathof(v, s.path).sources[s.source];
            out += pad(pathname(s.path), 6) + "  " + left(sourcename(x.source), 8) + "  " +
                   left(v.data.traits[static_cast<size_t>(x.trait)].name, width) + pad(std::to_string(x.records), 9) +
                   pad(fixed(s.accuracy, "%.3f"), 10) + pad(fixed(s.response), r.peryear ? 15 : 21) +
                   pad(percent(s.share), 9) + pad(s.more ? fixed(s.gain, "%+.3g") : "-", 17) + "\n";
        }
    }
    if (!v.sensitivity.empty()) {
        constexpr size_t shown = 8;
        out += "\nSensitivity to each economic weight: the efficiency of the index built with the weight "
               "set to 0,\nhalved, doubled or of the opposite sign, judged against the true objective (1: "
               "as good as the\ntrue weights), " +
               (v.sensitivity.size() > shown ? "the " + std::to_string(shown) + " weights" : std::string("the weights")) +
               " that need most care first:\n";
        std::vector<std::string> labels;
        size_t width = 9;
        for (size_t k = 0; k < v.sensitivity.size() && k < shown; ++k) {
            labels.push_back(indexcomponentlabel(v, r.components[v.sensitivity[k].component]));
            width = std::max(width, utf8length(labels.back()));
        }
        out += "  path  " + left("component", width) + "    zero    half  double    sign\n";
        for (size_t k = 0; k < labels.size(); ++k) {
            const Sensitivity& s = v.sensitivity[k];
            out += pad(pathname(s.path), 6) + "  " + left(labels[k], width);
            for (const double e : s.efficiency)
                out += pad(fixed(e, "%.3f"), 8);
            out += "\n";
        }
    }
    return out;
}

std::string constrainedreport(const IndexView& v) {
    const IndexResult& r = v.result;
    std::string out;
    for (const Kind& k : kinds(v)) {
        const bool held = std::string(k.name) == "restricted";
        out += held ? "\nRestricted index, holding where they are:\n" : "\nIndex for gains in these proportions:\n";
        const std::vector<Aim>& aims = held ? v.held : v.data.desired;
        for (const Aim& a : aims) {
            const int c = findcomponent(r.components, a);
            out += "  " + indexcomponentlabel(v, r.components[static_cast<size_t>(c)]) +
                   (held ? "" : ": " + fixed(a.gain, "%g")) + "\n";
        }
        out += "  path  accuracy  response/generation  response/year   cost in accuracy   cost in response\n";
        double year = 0;
        for (const Constrained& c : k.indexes) {
            const PathIndex& p = pathof(v, c.path);
            year += c.response;
            const double lost = p.at.response > 0 ? 100 * (p.at.response - c.response) / p.at.response : 0;
            out += pad(pathname(c.path), 6) + pad(fixed(c.accuracy, "%.3f"), 10) + pad(fixed(c.response), 21) +
                   pad(r.peryear ? fixed(c.response / years(v)) : "-", 15) +
                   pad(fixed(p.at.accuracy - c.accuracy, "%.3f"), 19) +
                   pad(fixed(p.at.response - c.response) + " (" + percent(lost) + ")", 19) + "\n";
        }
        if (r.peryear && k.indexes.size() == 2) {
            const double lost = r.yearresponse > 0 ? 100 * (r.yearresponse - year / years(v)) / r.yearresponse : 0;
            out += pad("both", 6) + pad("", 10 + 21) + pad(fixed(year / years(v)), 15) + pad("", 19) +
                   pad(fixed(r.yearresponse - year / years(v)) + " (" + percent(lost) + ")", 19) + "\n";
        }
        if (!held) {
            out += "  The economic weights whose index it is (per unit of each trait, for the gains as given):\n";
            for (const Constrained& c : k.indexes) {
                out += "    " + std::string(pathname(c.path)) + ": ";
                for (size_t i = 0; i < aims.size(); ++i) {
                    const int j = findcomponent(r.components, aims[i]);
                    out += (i ? "; " : "") + componenttext(v.data, r.components[static_cast<size_t>(j)]) + " " +
                           fixed(c.weights(j));
                }
                out += ".\n";
            }
        }
        out += "  The response per generation and its cost are in the value of each path's objective; the "
               "costs\n  are against the index on the economic weights.\n";
    }
    return out;
}

} // namespace kalp
