#include "program/draws.h"

#include <memory>

#include "engine/draws.h"
#include "engine/engine.h"
#include "engine/sweep.h"
#include "input/uncertainty.h"
#include "program/shared.h"
#include "report/catalogue.h"
#include "report/drawsreport.h"
#include "report/progress.h"
#include "report/sweeprows.h"

namespace kalp {

void drawsrun(Folder& folder, Console& console, const Options& options, std::vector<std::string>& warnings) {
    Request r;
    r.files = &folder;
    r.say = [&](const std::string& line) { console.print(line); };
    r.echo = false;
    const Outcome base = runscenario(r);
    warnings = base.warnings;
    if (base.stop) halt(*base.stop);
    Draws draws;
    draws.values = readuncertainty(folder, *base.model);
    draws.count = options.draws;
    draws.seed = options.seed;
    const std::unique_ptr<MemoryFolder> texts = intomemory(folder);
    const auto prepared = std::make_unique<Model>();
    if (const auto stop = preparesweep(*texts, *prepared)) halt(*stop);
    console.print("Computing the " + std::to_string(draws.count) + " drawn scenarios (seed " +
                  std::to_string(draws.seed) + ")\n");
    SweepPlan plan = makeplan({}, *prepared);
    plan.draws = &draws;
    const SweepTables tables = sweeptables(plan, *prepared, base.names, options.json, base.model.get());

    // The rows of every scenario, with --csv and --json, reach their files
    // while the draws run; the summary takes every scenario's numbers.
    const std::vector<const SweepOutput*> rows = askeddrawnrows(options.wants());
    std::vector<OutputFile> files(rows.size());
    std::vector<bool> first(rows.size(), true);
    for (size_t i = 0; i < rows.size(); ++i) {
        files[i] = OutputFile(folder, rows[i]->name);
        files[i].write(rows[i]->head(tables));
    }
    const auto summary = std::make_unique<DrawSummary>();
    Every every;
    Progress progress = startprogress(console, "Draws", "scenarios");
    const auto stop = runsweep(
        *texts, *prepared, plan,
        [&](const Scenario& sc, const Model& m, Chunk& out) {
            out.text.resize(rows.size());
            if (!rows.empty()) {
                const SweepRow row = sweeprow(tables, sc, m);
                std::vector<double> unused;
                for (size_t i = 0; i < rows.size(); ++i)
                    rows[i]->scenario(tables, row, out.text[i], unused);
            }
            drawnnumbers(m, out.numbers);
        },
        [&](Chunk& c) {
            for (size_t i = 0; i < c.numbers.size(); i += drawcolumns)
                summary->add(&c.numbers[i]);
            for (size_t i = 0; i < rows.size(); ++i) {
                first[i] = writechunk(files[i], c.text[i], rows[i]->separator, first[i]);
            }
            if (every.due())
                for (const OutputFile& f : files)
                    f.check();
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    const DrawsView view{*base.model, base.names, draws, *summary};
    Exports x{folder, true, {}};
    for (const DrawOutput* o : askeddraws(options.wants(), base.model.get()))
        x.add(o->name, o->whole(view));
    for (size_t i = 0; i < rows.size(); ++i) {
        files[i].write(rows[i]->tail);
        x.add(std::move(files[i]));
    }
    publish(x.all(), x.stale());
    console.print(drawsreport(view) + "\nThank you for using the program KALP.\n" + x.announce());
}

} // namespace kalp
