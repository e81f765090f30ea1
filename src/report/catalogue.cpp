#include "report/catalogue.h"

#include <algorithm>
#include <iterator>

#include "report/drawsreport.h"
#include "report/exports.h"
#include "report/indexreport.h"
#include "report/indexscenarios.h"
#include "report/indexworth.h"

namespace kalp {

namespace {

const std::vector<InputFile> inputs = {
    {"ERROR.TXT", "the error flag of the preceding program TORM2 (1 stops the run)", "always",
     false},
    {"P01.TXT", "the number of production systems, 1 or 2", "always", false},
    {"PARAVRD.TXT", "the title and the standardisation switch (2 standardises)", "always", true},
    {"TEXTVRD_OUT.TXT", "the report template: all wording of the results file", "always", true},
    {"INPUTVRD01A.TXT",
     "system A: discount rate, ram and ewe classes with their age weights, 35 economic values, "
     "ages at first use",
     "always", false},
    {"INPUTVRD01B.TXT",
     "system B: ram and ewe classes with their age weights, 35 economic values for purebred and "
     "for crossbred progeny, ages at first use, crossing shares",
     "with two systems", false},
    {"INPUTVRD02.TXT", "the gene flow: traced group, years and paths", "with one system", true},
    {"INPUTVRD03.TXT", "the gene flow through both systems: expression weights, traced group, "
                       "years and paths",
     "with two systems", true},
    {"INPUTVRD04.TXT", "the genetic standard deviations of the traits", "with standardisation",
     true},
    {"INPUTVRD05.TXT", "the trait that counts in each pair of alternative traits",
     "with standardisation", true},
};

bool oneprod(const Model& m) { return m.prods == 1; }
bool twoprods(const Model& m) { return m.prods == 2; }
bool standardised(const Model& m) { return m.gstd == 2; }

std::string scenariosfile(const RunView& v) {
    return scenarioheader() + scenariorow(scenariofields(v.m));
}
std::string classesfile(const RunView& v) { return classescsv(v.m); }

std::string weightsfile(const RunView& v) {
    const RowKey key = runkey(v.m);
    std::string rows = key.header() + weightsheader(v.m.gstd == 2);
    weightrows(v.m, key, traitfields(v.names), &rows, nullptr);
    return rows;
}

std::string jsonfile(const RunView& v) { return resultsjson(v.m, v.names); }
std::string flowchartfile(const RunView& v) { return geneflowchart(v.m, v.years); }
std::string weightschartfile(const RunView& v) { return weightschart(v.m, v.names); }

std::string yearshead(const Model& m) { return flowkey(m).header() + yearsheader(); }
void yearsrows(const Model& m, int t, std::string& out) {
    yearrows(m, flowkey(m).csv(), t, m.m_gf, m.m_sum, out);
}

// The results file and the dump are written by the driver: the echo of
// the input files, the results section, every variable.
const std::vector<RunOutput> runs = {
    {"resgfps01", "the results file", Ask::plain, oneprod, nullptr, nullptr, nullptr},
    {"resgfps02", "the results file", Ask::plain, twoprods, nullptr, nullptr, nullptr},
    {"CHECKVRD", "every model variable", Ask::plain, nullptr, nullptr, nullptr, nullptr},
    {"kalp-scenarios.csv", "the values of the scenario", Ask::csv, nullptr, scenariosfile, nullptr,
     nullptr},
    {"kalp-classes.csv", "the sex and age groups", Ask::csv, nullptr, classesfile, nullptr,
     nullptr},
    {"kalp-geneflow.csv", "the gene flow by year", Ask::csv, nullptr, nullptr, yearshead,
     yearsrows},
    {"kalp-weights.csv", "the economic weights", Ask::csv, nullptr, weightsfile, nullptr, nullptr},
    {"kalp-results.json", "the results of the run", Ask::json, nullptr, jsonfile, nullptr,
     nullptr},
    {"kalp-geneflow.svg", "the chart of the gene flow", Ask::plot, nullptr, flowchartfile,
     nullptr, nullptr},
    {"kalp-weights.svg", "the chart of the relative weights", Ask::plot, standardised,
     weightschartfile, nullptr, nullptr},
};

void sweepweights(const SweepTables& t, const SweepRow& r, std::string& text, std::vector<double>&) {
    weightrows(r.m, r.key, t.names, &text, nullptr);
}
void sweepjson(const SweepTables& t, const SweepRow& r, std::string& text, std::vector<double>&) {
    weightrows(r.m, r.key, t.names, nullptr, &text);
}
void sweepflow(const SweepTables& t, const SweepRow& r, std::string& text, std::vector<double>&) {
    // One gene flow serves the scenarios that differ in values it does not
    // use: its rows come once, with the first of them.
    for (size_t i = 0; i < r.sc.at.size(); ++i)
        if (t.plan->axes[i].p->stage != Stage::flow && t.plan->axes[i].p->stage != Stage::period &&
            r.sc.at[i] != 0)
            return;
    cumulativerows(r.m, flowkey(r.fields).csv(), text);
}
void sweepscenarios(const SweepTables&, const SweepRow& r, std::string& text, std::vector<double>&) {
    text += scenariorow(r.fields);
}
void sweeppoints(const SweepTables& t, const SweepRow& r, std::string&, std::vector<double>& numbers) {
    chartpoints(t, r.sc, r.m, numbers);
}
std::string jsonhead(const SweepTables&) { return "[\n"; }
std::string scenarioshead(const SweepTables&) { return scenarioheader(); }
std::string sweepchartfile(const SweepTables& t, const TraitNames& names,
                           const std::vector<double>& points) {
    return sweepchart(t, names, points);
}

const std::vector<SweepOutput> sweeps = {
    {"kalp-sweep.csv", "the weights of every scenario of the sweep", Ask::plain, weightsheader,
     sweepweights, "", "", nullptr},
    {"kalp-sweep-geneflow.csv", "the discounted gene flow of every scenario", Ask::plain,
     flowheader, sweepflow, "", "", nullptr},
    {"kalp-sweep-scenarios.csv", "the values of every scenario", Ask::plain, scenarioshead,
     sweepscenarios, "", "", nullptr},
    {"kalp-sweep.json", "the weights of every scenario", Ask::json, jsonhead, sweepjson, ",\n",
     "\n]\n", nullptr},
    {"kalp-sweep.svg", "the chart of the sweep", Ask::plot, nullptr, sweeppoints, "", "",
     sweepchartfile},
};

const std::vector<DrawOutput> draws = {
    {"kalp-draws.csv", "the spread of every weight over the drawn scenarios", Ask::plain, drawscsv},
    {"kalp-draws.svg", "the chart of the relative weights over the drawn scenarios", Ask::plot,
     [](const DrawsView& v) { return drawschart(v); }, standardised},
};

const std::vector<IndexOutput> indexes = {
    {"kalp-index.csv", "the index of each path and its response", Ask::csv, indexcsv},
    {"kalp-index-weights.csv", "the weights of the index's sources", Ask::csv, indexweightscsv},
    {"kalp-index-response.csv", "the response of every trait component", Ask::csv, indexresponsecsv},
    {"kalp-index-sources.csv", "the value of each source of the index", Ask::csv,
     [](const IndexView& v) { return tables::csv(sourcestable(v)); }},
    {"kalp-index-sensitivity.csv", "the efficiency of the index under changed economic weights", Ask::csv,
     [](const IndexView& v) { return tables::csv(sensitivitytable(v)); }},
    {"kalp-index-constrained.csv", "the restricted index and the index of desired gains", Ask::csv,
     [](const IndexView& v) { return tables::csv(constrainedtable(v)); }, constrained},
    {"kalp-index-constrained-weights.csv", "the weights of their sources", Ask::csv,
     [](const IndexView& v) { return tables::csv(constrainedweightstable(v)); }, constrained},
    {"kalp-index-constrained-response.csv", "their response in every trait component", Ask::csv,
     [](const IndexView& v) { return tables::csv(constrainedresponsetable(v)); }, constrained},
    {"kalp-index.json", "the index and its response", Ask::json, indexjson},
    {"kalp-index.svg", "the chart of the response by trait component", Ask::plot,
     [](const IndexView& v) { return indexchart(v); }},
};

const std::vector<IndexSweepOutput> indexsweeps = {
    {"kalp-index-sweep.csv", "the index of every scenario of the sweep", Ask::plain, indexsweepheader,
     indexsweeprows},
    {"kalp-index-sweep-response.csv", "the response of every trait component in every scenario", Ask::plain,
     indexsweepresponseheader, indexsweepresponserows},
    {"kalp-index-sweep-scenarios.csv", "the values of every scenario", Ask::plain, indexsweepscenariosheader,
     indexsweepscenariorow},
    {"kalp-index-sweep.svg", "the chart of the response over the sweep", Ask::plot, nullptr, indexsweeppoints},
};

// Every file of kalp index beyond those formed from the index itself.
const char* const indexmore[][2] = {
    {indexdrawsfile, "the efficiency of the index over the drawn economic values"},
};

bool wanted(Ask a, const Wants& w) {
    switch (a) {
    case Ask::plain: return true;
    case Ask::csv: return w.csv;
    case Ask::json: return w.json;
    case Ask::plot: return w.plot;
    }
    return false;
}

template <class Row> std::vector<std::string> namesof(const std::vector<Row>& rows) {
    std::vector<std::string> v(rows.size());
    std::transform(rows.begin(), rows.end(), v.begin(), [](const Row& r) { return r.name; });
    return v;
}
template <class Row> std::vector<std::string> namesof(const std::vector<const Row*>& rows) {
    std::vector<std::string> v(rows.size());
    std::transform(rows.begin(), rows.end(), v.begin(), [](const Row* r) { return r->name; });
    return v;
}

} // namespace

const std::vector<InputFile>& inputfiles() { return inputs; }

std::vector<std::string> inputnames() { return namesof(inputs); }

const InputFile* findinput(const std::string& name) {
    const auto f = std::find_if(inputs.begin(), inputs.end(),
                                [&](const InputFile& i) { return name == i.name; });
    return f == inputs.end() ? nullptr : &*f;
}

const std::vector<RunOutput>& runoutputs() { return runs; }
const std::vector<SweepOutput>& sweepoutputs() { return sweeps; }

const std::vector<IndexOutput>& indexoutputs() { return indexes; }

std::vector<const IndexOutput*> askedindex(const Wants& w) {
    std::vector<const IndexOutput*> v;
    for (const IndexOutput& o : indexes)
        if (wanted(o.ask, w)) v.push_back(&o);
    return v;
}

const std::vector<IndexSweepOutput>& indexsweepoutputs() { return indexsweeps; }

std::vector<const IndexSweepOutput*> askedindexsweep(const Wants& w) {
    std::vector<const IndexSweepOutput*> v;
    for (const IndexSweepOutput& o : indexsweeps)
        if (wanted(o.ask, w)) v.push_back(&o);
    return v;
}

std::vector<std::string> indexnames() {
    std::vector<std::string> v = namesof(indexes), sweep = namesof(indexsweeps);
    v.insert(v.end(), sweep.begin(), sweep.end());
    std::transform(std::begin(indexmore), std::end(indexmore), std::back_inserter(v),
                   [](const auto& more) { return std::string(more[0]); });
    return v;
}

const std::vector<DrawOutput>& drawoutputs() { return draws; }

std::vector<const DrawOutput*> askeddraws(const Wants& w, const Model* m) {
    std::vector<const DrawOutput*> v;
    for (const DrawOutput& o : draws)
        if (wanted(o.ask, w) && (!m || !o.wanted || o.wanted(*m))) v.push_back(&o);
    return v;
}

std::vector<const SweepOutput*> askeddrawnrows(const Wants& w) {
    std::vector<const SweepOutput*> v;
    for (const SweepOutput& o : sweeps)
        if (!o.whole && (o.ask == Ask::plain ? w.csv : wanted(o.ask, w))) v.push_back(&o);
    return v;
}

std::vector<std::string> outputnames() {
    std::vector<std::string> v = namesof(runs);
    for (const std::vector<std::string>& more : {namesof(sweeps), namesof(draws), indexnames()})
        v.insert(v.end(), more.begin(), more.end());
    return v;
}

const char* outputholds(const std::string& name) {
    const auto run = std::find_if(runs.begin(), runs.end(),
                                  [&](const RunOutput& o) { return name == o.name; });
    if (run != runs.end()) return run->holds;
    const auto sweep = std::find_if(sweeps.begin(), sweeps.end(),
                                    [&](const SweepOutput& o) { return name == o.name; });
    if (sweep != sweeps.end()) return sweep->holds;
    const auto drawn = std::find_if(draws.begin(), draws.end(),
                                    [&](const DrawOutput& o) { return name == o.name; });
    if (drawn != draws.end()) return drawn->holds;
    const auto index = std::find_if(indexes.begin(), indexes.end(),
                                    [&](const IndexOutput& o) { return name == o.name; });
    if (index != indexes.end()) return index->holds;
    const auto indexsweep = std::find_if(indexsweeps.begin(), indexsweeps.end(),
                                    [&](const IndexSweepOutput& o) { return name == o.name; });
    if (indexsweep != indexsweeps.end()) return indexsweep->holds;
    const auto more = std::find_if(std::begin(indexmore), std::end(indexmore),
                                   [&](const auto& m) { return name == m[0]; });
    return more == std::end(indexmore) ? "" : (*more)[1];
}

std::vector<const RunOutput*> asked(const Wants& w, const Model* m) {
    std::vector<const RunOutput*> v;
    for (const RunOutput& o : runs)
        if (o.ask != Ask::plain && wanted(o.ask, w) && (!m || !o.wanted || o.wanted(*m)))
            v.push_back(&o);
    return v;
}

std::vector<const SweepOutput*> askedsweep(const Wants& w) {
    std::vector<const SweepOutput*> v;
    for (const SweepOutput& o : sweeps)
        if (wanted(o.ask, w)) v.push_back(&o);
    return v;
}

std::vector<std::string> askednames(const Wants& w) {
    if (w.draws) {
        std::vector<std::string> v = namesof(askeddraws(w)), rows = namesof(askeddrawnrows(w));
        v.insert(v.end(), rows.begin(), rows.end());
        return v;
    }
    return w.sweep ? namesof(askedsweep(w)) : namesof(asked(w));
}

std::vector<std::string> exportnames(bool sweep) {
    if (sweep) {
        std::vector<std::string> v = namesof(sweeps), drawn = namesof(draws);
        v.insert(v.end(), drawn.begin(), drawn.end());
        return v;
    }
    std::vector<const RunOutput*> exports;
    for (const RunOutput& o : runs)
        if (o.ask != Ask::plain) exports.push_back(&o);
    return namesof(exports);
}

} // namespace kalp
