#include "report/indexscenarios.h"

#include <cmath>
#include <iterator>
#include <numeric>

#include "report/indextable.h"
#include "report/sweepchart.h"
#include "textio/numbers.h"

namespace kalp {

using namespace tables;

namespace {

// The responses of the draws of path k.
double lossshare(const IndexDraws& d, size_t k) {
    const double loss = d.spread.mean(2 * k + 1) * static_cast<double>(d.spread.count(2 * k + 1));
    return d.best[k] > 0 ? 100 * loss / d.best[k] : 0;
}

std::string row(const std::vector<Cell>& cells) {
    std::string s;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) s += ',';
        s += csvfield(cells[i].text);
    }
    s += '\n';
    return s;
}

bool peryear(const IndexScenario& s) { return s.interval[0] > 0 && s.interval[1] > 0; }
double years(const IndexScenario& s) { return s.interval[0] + s.interval[1]; }

Cell traitcell(const IndexData& d, int trait) {
    const int k = d.traits[static_cast<size_t>(trait)].number;
    return k ? whole(k) : none();
}
std::string traitname(const IndexScenario& s, int trait) {
    const IndexTrait& t = s.data.traits[static_cast<size_t>(trait)];
    return t.number ? s.t.names.csv[static_cast<size_t>(t.number)] : csvfield(t.name);
}

} // namespace

std::string indexdrawscsv(const IndexDrawsView& v) {
    Table t{{"path", "draws", "seed", "mean", "sd", "q05", "q50", "q95", "loss_mean", "loss_share"}, {}};
    const IndexDraws& d = v.draws;
    for (size_t k = 0; k < v.result.paths.size(); ++k)
        t.rows.push_back({text(pathname(v.result.paths[k].path)), whole(d.spread.count(2 * k)),
                          text(std::to_string(d.draws.seed)), real(d.spread.mean(2 * k)), real(d.spread.sd(2 * k)),
                          real(d.spread.quantile(2 * k, 0.05)), real(d.spread.quantile(2 * k, 0.5)),
                          real(d.spread.quantile(2 * k, 0.95)), real(d.spread.mean(2 * k + 1)),
                          real(lossshare(d, k))});
    return csv(t);
}

std::string indexdrawsreport(const IndexDrawsView& v) {
    const IndexDraws& d = v.draws;
    std::string out = "\nUncertain economic values: the efficiency of each index on the given values when the "
                      "true\neconomic values are each of " + std::to_string(d.count) + " draws (seed " +
                      std::to_string(d.draws.seed) + "), and the expected loss per generation:\n";
    out += "  path     mean       sd      5 %     50 %     95 %     expected loss\n";
    for (size_t k = 0; k < v.result.paths.size(); ++k) {
        const size_t e = 2 * k;
        out += pad(pathname(v.result.paths[k].path), 6) + pad(fixed(d.spread.mean(e), "%.4f"), 9) +
               pad(fixed(d.spread.sd(e), "%.4f"), 9) + pad(fixed(d.spread.quantile(e, 0.05), "%.4f"), 9) +
               pad(fixed(d.spread.quantile(e, 0.5), "%.4f"), 9) + pad(fixed(d.spread.quantile(e, 0.95), "%.4f"), 9) +
               pad(fixed(d.spread.mean(e + 1)) + " (" + fixed(lossshare(d, k), "%.2f") + " %)", 18) + "\n";
    }
    out += "  The expected loss is in the value of the drawn objective, as a share of the response that the\n"
           "  index of the drawn values would bring.\n";
    return out;
}

std::string indexsweepheader(const SweepTables& t) {
    return rowkey(t.base).header() +
           "path,sd_index,sd_objective,accuracy,intensity,generation_interval,response_generation,response_year\n";
}

std::string indexsweepresponseheader(const SweepTables& t) {
    return rowkey(t.base).header() +
           "path,trait,name,component,economic_weight,response_generation,response_year,value_year,share\n";
}

std::string indexsweepscenariosheader(const SweepTables&) { return scenarioheader(); }

void indexsweeprows(const IndexScenario& s, std::string& text, std::vector<double>&) {
    const std::string key = s.row.key.csv();
    double year = 0;
    for (size_t k = 0; k < s.at.size(); ++k) {
        const PathIndex& p = s.result.paths[k];
        const Evaluation& e = s.at[k];
        const double l = s.interval[pathindex(p.path)];
        if (peryear(s)) year += e.response / years(s);
        text += key + row({tables::text(pathname(p.path)), real(e.sdindex), real(e.sdobjective), real(e.accuracy),
                           real(p.intensity), l > 0 ? real(l) : none(), real(e.response),
                           peryear(s) ? real(e.response / years(s)) : none()});
    }
    if (s.at.size() == 2 && peryear(s))
        text += key + row({tables::text("year"), none(), none(), none(), none(), none(), none(), real(year)});
}

void indexsweepresponserows(const IndexScenario& s, std::string& text, std::vector<double>&) {
    const std::string key = s.row.key.csv();
    const std::vector<IndexComponent>& comps = s.result.components;
    // As kalp-index-response.csv has them: per year the paths' parts summed
    // one after the other.
    auto line = [&](const std::string& path, size_t j, const Cell& weight, const Cell& generation, double gain,
                    double value, double total) {
        const std::string cells[] = {path,
                                     traitcell(s.data, comps[j].trait).text,
                                     traitname(s, comps[j].trait),
                                     effectname(comps[j].effect),
                                     weight.text,
                                     generation.text,
                                     peryear(s) ? real(gain).text : "",
                                     peryear(s) ? real(value).text : "",
                                     total > 0 ? real(100 * value / total).text : ""};
        text += key;
        for (size_t c = 0; c < std::size(cells); ++c) {
            if (c) text += ',';
            text += cells[c];
        }
        text += '\n';
    };
    for (size_t k = 0; k < s.at.size(); ++k)
        for (size_t j = 0; j < comps.size(); ++j) {
            const Eigen::Index i = static_cast<Eigen::Index>(j);
            const double gain = s.at[k].gain(i), value = s.v[k](i) * gain;
            const std::string cells[] = {pathname(s.result.paths[k].path),
                                         traitcell(s.data, comps[j].trait).text,
                                         traitname(s, comps[j].trait),
                                         effectname(comps[j].effect),
                                         tables::weight(s.v[k](i)).text,
                                         real(gain).text,
                                         peryear(s) ? real(gain / years(s)).text : "",
                                         peryear(s) ? real(value / years(s)).text : "",
                                         s.at[k].response > 0 ? real(100 * value / s.at[k].response).text : ""};
            text += key;
            for (size_t c = 0; c < std::size(cells); ++c) {
                if (c) text += ',';
                text += cells[c];
            }
            text += '\n';
        }
    if (s.at.size() == 2 && peryear(s)) {
        const double total = std::accumulate(s.at.begin(), s.at.end(), 0.0, [&](double t, const Evaluation& e) {
            return t + e.response / years(s);
        });
        for (size_t j = 0; j < comps.size(); ++j) {
            const Eigen::Index i = static_cast<Eigen::Index>(j);
            const double a = s.v[0](i), b = s.v[1](i);
            const double gain = std::accumulate(s.at.begin(), s.at.end(), 0.0, [&](double t, const Evaluation& e) {
                return t + e.gain(i) / years(s);
            });
            line("year", j, a == b ? tables::weight(a) : none(), none(), gain,
                 (a * s.at[0].gain(i) + b * s.at[1].gain(i)) / years(s), total);
        }
    }
}

void indexsweepscenariorow(const IndexScenario& s, std::string& text, std::vector<double>&) {
    text += scenariorow(s.row.fields);
}

void indexsweeppoints(const IndexScenario& s, std::string&, std::vector<double>& numbers) {
    size_t series = 0;
    if (s.at.empty() || !charted(s.t, s.row.sc, series)) return;
    const double x = s.row.sc.value(s.t.plan->first);
    const std::vector<IndexComponent>& comps = s.result.components;
    for (size_t j = 0; j < comps.size(); ++j) {
        const int k = s.data.traits[static_cast<size_t>(comps[j].trait)].number;
        if (!k) continue;
        const Eigen::Index i = static_cast<Eigen::Index>(j);
        const double y = peryear(s) ? std::accumulate(s.at.begin(), s.at.end(), 0.0,
                                                      [&](double t, const Evaluation& e) {
                                                          return t + e.gain(i) / years(s);
                                                      })
                                    : s.at[0].gain(i);
        numbers.insert(numbers.end(), {2.0 * k + (comps[j].effect == Effect::maternal), x, y,
                                       static_cast<double>(series)});
    }
}

const SweepMeasure* indexsweepmeasure(const IndexResult& r) {
    static const SweepMeasure year{
        "Response per year",
        "Response per year in the unit of the trait",
        "The response per year of each trait component to the index of each scenario, in the unit of its "
        "trait, each panel on its own scale, with the unit of its trait in its title as the trait's name in "
        "the report template gives it (\"no unit given\" where the name has none)",
        "Colour: the response per year of each trait component to the index of each scenario, in the unit of "
        "its trait",
        "response",
        "kalp-index-sweep-response.csv"};
    static const SweepMeasure generation{
        "Response per generation of the first path",
        "Response per generation in the unit of the trait",
        "The response per generation of the first path's index in each scenario, in the unit of each trait, "
        "each panel on its own scale (the generation intervals are not known)",
        "Colour: the response per generation of the first path's index in each scenario, in the unit of "
        "each trait",
        "response",
        "kalp-index-sweep-response.csv"};
    return r.peryear ? &year : &generation;
}

std::vector<std::string> indexsweepundrawn(const IndexData& d, const IndexResult& r) {
    std::string s;
    for (const IndexComponent& c : r.components)
        if (d.traits[static_cast<size_t>(c.trait)].number == 0)
            s += (s.empty() ? "" : "; ") + d.traits[static_cast<size_t>(c.trait)].name + ", " + effectname(c.effect);
    if (s.empty()) return {};
    return {"The responses of traits only recorded are not drawn: " + s +
            " (kalp-index-sweep-response.csv holds them)"};
}

} // namespace kalp
