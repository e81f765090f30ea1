#include "program/indexsweep.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "core/stop.h"
#include "engine/draws.h"
#include "engine/engine.h"
#include "engine/sweep.h"
#include "index/intervals.h"
#include "index/spread.h"
#include "index/worth.h"
#include "input/uncertainty.h"
#include "program/shared.h"
#include "report/catalogue.h"
#include "report/indexscenarios.h"
#include "report/progress.h"
#include "report/sweepchart.h"
#include "report/sweeprows.h"

namespace kalp {

namespace {

// The economic weights of the paths' traced groups in a scenario, on the
// worker threads: the weights of another traced group than the scenario's
// from a gene flow of its own, kept by each worker for each group.
class Objectives {
public:
    Objectives(const Model& prepared, const IndexScenarios& x) : prepared_(prepared), x_(x) {}
    // The objective weights v of path p in scenario m.
    Eigen::VectorXd of(const PathIndex& p, const Model& m) {
        const int traced = x_.traced[pathindex(p.path)];
        const Model* g = &m;
        if (traced != 0 && traced != m.n_sac) {
            Retrace* r = nullptr;
            {
                const std::lock_guard<std::mutex> lock(mu_);
                std::unique_ptr<Retrace>& own = kept_[{std::this_thread::get_id(), traced}];
                if (!own) own = std::make_unique<Retrace>(prepared_, traced);
                r = own.get();
            }
            g = &r->weighed(m);
        }
        return objectivevector(x_.in.data, x_.result.components, objectiveof(*g));
    }
    // The generation interval of path k in scenario m, or -1.
    double interval(int k, const Model& m) const {
        if (x_.interval[k] > 0) return x_.interval[k];
        const Intervals l = generationintervals(x_.run, x_.traced[k] ? x_.traced[k] : m.n_sac);
        return k == pathindex(Path::rams) ? l.rams : l.ewes;
    }

private:
    const Model& prepared_;
    const IndexScenarios& x_;
    std::mutex mu_;
    std::map<std::pair<std::thread::id, int>, std::unique_ptr<Retrace>> kept_;
};

// The prepared model of the files for the scenarios.
struct Prepared {
    std::unique_ptr<MemoryFolder> texts;
    std::unique_ptr<Model> model = std::make_unique<Model>();
};
Prepared prepare(const Folder& folder) {
    Prepared p;
    p.texts = intomemory(folder);
    if (const auto stop = preparesweep(*p.texts, *p.model)) halt(*stop);
    return p;
}

} // namespace

std::string indexdraws(Folder& folder, Console& console, const Options& o, const IndexScenarios& x,
                       std::vector<OutputFile>& files) {
    Draws draws;
    draws.values = readuncertainty(folder, x.run);
    draws.count = o.draws;
    draws.seed = o.seed;
    const Prepared prepared = prepare(folder);
    SweepPlan plan = makeplan({}, *prepared.model);
    plan.draws = &draws;
    Objectives objectives(*prepared.model, x);
    const std::vector<PathIndex>& paths = x.result.paths;
    // Each path's index built on the files' weights.
    std::vector<Efficiency> built;
    built.reserve(paths.size());
    std::transform(paths.begin(), paths.end(), std::back_inserter(built),
                   [](const PathIndex& p) { return Efficiency(p, p.v); });
    const size_t width = 2 * paths.size();
    IndexDraws summary{draws, Spread(width), std::vector<double>(paths.size(), 0), 0};
    Progress progress = startprogress(console, "Draws", "scenarios");
    const auto stop = runsweep(
        *prepared.texts, *prepared.model, plan,
        [&](const Scenario&, const Model& m, Chunk& out) {
            // For each path: the efficiency of its index, and the response
            // that the index of the drawn weights would bring.
            for (size_t k = 0; k < paths.size(); ++k) {
                const Eigen::VectorXd v = objectives.of(paths[k], m);
                const std::optional<double> e = built[k].of(v);
                const double best = v.dot(paths[k].GPG * v);
                out.numbers.push_back(e ? *e : std::nan(""));
                out.numbers.push_back(paths[k].intensity * std::sqrt(std::max(best, 0.0)));
            }
        },
        [&](Chunk& c) {
            std::vector<double> row(width);
            for (size_t i = 0; i + width <= c.numbers.size(); i += width) {
                for (size_t k = 0; k < paths.size(); ++k) {
                    const double e = c.numbers[i + 2 * k], best = c.numbers[i + 2 * k + 1];
                    row[2 * k] = e;
                    row[2 * k + 1] = std::isnan(e) ? e : best * (1 - e);
                    if (!std::isnan(e)) summary.best[k] += best;
                }
                summary.spread.add(row.data());
                ++summary.count;
            }
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    const IndexDrawsView view{x.result, summary};
    if (o.csv) {
        files.emplace_back(folder, indexdrawsfile);
        files.back().write(indexdrawscsv(view));
        files.back().close();
    }
    return indexdrawsreport(view);
}

std::string indexsweep(Folder& folder, Console& console, const Options& o, const IndexScenarios& x,
                       std::vector<OutputFile>& files) {
    const Prepared prepared = prepare(folder);
    const SweepPlan plan = makeplan(o.sweeps, *prepared.model);
    SweepTables tables = sweeptables(plan, *prepared.model, x.names, false, &x.run);
    tables.standardised = false;
    tables.measure = indexsweepmeasure(x.result);
    tables.undrawn = indexsweepundrawn(x.in.data, x.result);
    Objectives objectives(*prepared.model, x);
    const std::vector<const IndexSweepOutput*> outputs = askedindexsweep(o.wants());
    std::vector<OutputFile> open(outputs.size());
    for (size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i]->head) {
            open[i] = OutputFile(folder, outputs[i]->name);
            open[i].write(outputs[i]->head(tables));
        }
    std::vector<double> points;
    Every every;
    Progress progress = startprogress(console, "Sweep", "scenarios");
    const auto stop = runsweep(
        *prepared.texts, *prepared.model, plan,
        [&](const Scenario& sc, const Model& m, Chunk& out) {
            IndexScenario s{tables, sweeprow(tables, sc, m), x.in.data, x.result, {}, {}, {-1, -1}};
            for (const PathIndex& p : x.result.paths) {
                const Eigen::VectorXd v = objectives.of(p, m);
                s.v.push_back(v);
                s.at.push_back(evaluate(p, v));
            }
            for (int k = 0; k < pathcount; ++k)
                s.interval[k] = objectives.interval(k, m);
            out.text.resize(outputs.size());
            for (size_t i = 0; i < outputs.size(); ++i)
                outputs[i]->scenario(s, out.text[i], out.numbers);
        },
        [&](Chunk& c) {
            for (size_t i = 0; i < outputs.size(); ++i)
                if (outputs[i]->head) open[i].write(c.text[i]);
            points.insert(points.end(), c.numbers.begin(), c.numbers.end());
            if (every.due())
                for (const OutputFile& f : open)
                    f.check();
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i]->head) {
            open[i].close();
            files.push_back(std::move(open[i]));
            continue;
        }
        files.emplace_back(folder, outputs[i]->name);
        files.back().write(sweepchart(tables, x.names, points));
        files.back().close();
    }
    return "\nThe index of " + std::to_string(plan.count()) + " scenarios of the sweep is in kalp-index-sweep.csv.\n";
}

} // namespace kalp
