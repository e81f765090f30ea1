// A run of KALP: the stages in order, then the results file, the dump and
// the exports, all published together; or a sweep over the scenarios of
// swept values; or the class table.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/stop.h"
#include "engine/engine.h"
#include "engine/sweep.h"
#include "platform/platform.h"
#include "program/draws.h"
#include "program/index.h"
#include "program/init.h"
#include "program/kalp.h"
#include "program/shared.h"
#include "report/catalogue.h"
#include "report/classtable.h"
#include "report/dump.h"
#include "report/messages.h"
#include "report/progress.h"
#include "report/results.h"
#include "report/sweeprows.h"

namespace kalp {

namespace {

// The files of a run written year by year as the gene flow runs, and the
// years the chart of the gene flow keeps.
struct Years {
    Years(Folder& f, Console& c, const Options& o)
        : folder(f), options(o), progress(startprogress(c, "Gene flow", "years")) {}
    Folder& folder;
    const Options& options;
    std::vector<std::pair<const RunOutput*, OutputFile>> files;
    YearTable chart;
    Progress progress;
    Every every;

    void year(const Model& m, int t) {
        showprogress(progress, t, m.l_inv);
        if (t == 0)
            for (const RunOutput* o : asked(options.wants(), &m))
                if (o->year) {
                    files.emplace_back(o, OutputFile(folder, o->name));
                    files.back().second.write(o->head(m));
                }
        const bool check = every.due();
        for (auto& [o, f] : files) {
            std::string rows;
            o->year(m, t, rows);
            f.write(rows);
            if (check) f.check();
        }
        if (options.plot) {
            if (t == 0) chart = yeartable(m.l_inv);
            keepyear(chart, m, t, m.m_gf);
        }
    }
};

// A run: every stage in order, then the results file, the dump and the
// exports, all put in place together at the end. A run that stops puts
// the results file in place as far as it was written (the echo of the
// input files), and the dump when it was complete.
void plainrun(Folder& folder, Console& console, const Options& options,
              std::vector<std::string>& warnings) {
    OutputFile results, dump;
    bool dumped = false, whole = false;
    Years years(folder, console, options);
    Request r;
    r.files = &folder;
    r.say = [&](const std::string& line) { console.print(line); };
    r.begun = [&](int prods) {
        results = OutputFile(folder, prods == 1 ? "resgfps01" : "resgfps02");
    };
    r.year = [&](const Model& m, int t) { years.year(m, t); };
    Outcome o = runscenario(r);
    warnings = o.warnings;
    endprogress(years.progress);
    try {
        if (o.resultsfile) results.write(o.echo);
        if (o.stop) halt(*o.stop);
        Model& m = *o.model;
        const RunView view{m, o.names, years.chart};
        console.print("Writing results to file CHECKVRD\n");
        dump = OutputFile(folder, "CHECKVRD");
        dump.write(dumptext(m));
        dump.close();
        dumped = true;
        console.print("Writing the results to the results file resgfps0" +
                      std::to_string(m.prods) + ".\n");
        results.write(resultssection(m, folder));
        Exports x{folder, false, {}};
        for (const RunOutput* out : asked(options.wants(), &m)) {
            if (out->whole) {
                x.add(out->name, out->whole(view));
                continue;
            }
            for (auto& [row, file] : years.files)
                if (row == out) x.add(std::move(file));
        }
        std::vector<OutputFile*> all = x.all();
        all.insert(all.begin(), {&results, &dump});
        // The whole set, or none of it.
        whole = true;
        publish(all, options.exports() ? x.stale() : std::vector<Removal>{});
        console.print(farewell(m.prods) + x.announce());
    } catch (const RunStop&) {
        if (whole) throw;
        std::vector<OutputFile*> kept;
        if (o.resultsfile) kept.push_back(&results);
        if (dumped) kept.push_back(&dump);
        try {
            publish(kept);
        } catch (const RunStop&) {
            // The first failure is the one to report; the earlier files stay.
        }
        throw;
    }
}

// A sweep reads and checks the input files as a run does, without writing
// the results file or the dump, then computes every scenario.
void sweeprun(Folder& folder, Console& console, const Options& options,
              std::vector<std::string>& warnings) {
    Request r;
    r.files = &folder;
    r.say = [&](const std::string& line) { console.print(line); };
    r.echo = false;
    const Outcome base = runscenario(r);
    warnings = base.warnings;
    if (base.stop) halt(*base.stop);
    const std::unique_ptr<MemoryFolder> texts = intomemory(folder);
    const auto prepared = std::make_unique<Model>();
    if (const auto stop = preparesweep(*texts, *prepared)) halt(*stop);
    console.print("Computing the scenarios of the sweep\n");
    const SweepPlan plan = makeplan(options.sweeps, *prepared);
    const SweepTables tables = sweeptables(plan, *prepared, base.names, options.json, base.model.get());

    // The files of the sweep: those written scenario by scenario are open
    // while it runs, the charts are drawn from their numbers at the end.
    const std::vector<const SweepOutput*> outputs = askedsweep(options.wants());
    std::vector<OutputFile> files(outputs.size());
    std::vector<bool> first(outputs.size(), true);
    for (size_t i = 0; i < outputs.size(); ++i)
        if (!outputs[i]->whole) {
            files[i] = OutputFile(folder, outputs[i]->name);
            files[i].write(outputs[i]->head(tables));
        }
    std::vector<std::vector<double>> numbers(outputs.size());
    Every every;
    Progress progress = startprogress(console, "Sweep", "scenarios");
    const auto stop = runsweep(
        *texts, *prepared, plan,
        [&](const Scenario& sc, const Model& m, Chunk& out) {
            out.text.resize(outputs.size());
            const SweepRow row = sweeprow(tables, sc, m);
            for (size_t i = 0; i < outputs.size(); ++i)
                outputs[i]->scenario(tables, row, out.text[i], out.numbers);
        },
        [&](Chunk& c) {
            for (size_t i = 0; i < outputs.size(); ++i) {
                if (outputs[i]->whole) {
                    numbers[i].insert(numbers[i].end(), c.numbers.begin(), c.numbers.end());
                    continue;
                }
                first[i] = writechunk(files[i], c.text[i], outputs[i]->separator, first[i]);
            }
            if (every.due())
                for (const OutputFile& f : files)
                    f.check();
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    Exports x{folder, true, {}};
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i]->whole) {
            x.add(outputs[i]->name, outputs[i]->whole(tables, base.names, numbers[i]));
            continue;
        }
        files[i].write(outputs[i]->tail);
        x.add(std::move(files[i]));
    }
    publish(x.all(), x.stale());
    console.print("\nThank you for using the program KALP.\n" + x.announce());
}

// A console that could not be written leaves the user without the report;
// `after` says what became of the files.
int consolestatus(Console& console, int status,
                  const char* after = "kalp: the console output could not be written; the files "
                                      "of the run are in place\n") {
    if (!console.flush()) {
        console.warn(after);
        return 1;
    }
    return status;
}

const char* const classesunwritten =
    "kalp --classes: the class table could not be written to the console; kalp --classes "
    "writes no file\n";

RunStop systemstop(const std::string& what) {
    return RunStop{StopKind::output, "", "", what, "Close other programs and restart the program.",
                   ""};
}

// A folder without any input file: the user may not know where to start.
void newcomer(const Folder& folder, Console& console, const RunStop& stop) {
    if (stop.kind != StopKind::input) return;
    const std::vector<std::string> names = inputnames();
    if (std::any_of(names.begin(), names.end(),
                    [&](const std::string& n) { return folder.entry(n) != Entry::missing; }))
        return;
    console.warn("kalp: this folder holds none of the input files of KALP; kalp init writes a "
                 "first scenario into it (kalp init, or kalp init DIR for another folder)\n");
}

int run(Folder& folder, Console& console, const Options& options) {
    const std::clock_t zac = platform::processortime();
    console.print(banner());
    int status = 0;
    std::vector<std::string> warnings;
    try {
        try {
            const std::unique_ptr<Hold> lock = lockfolder(folder);
            removeunfinished(folder, outputnames());
            // The files that the run would replace or remove, before it
            // computes anything.
            for (const std::string& name : askednames(options.wants()))
                requireplace(folder, name);
            if (options.exports())
                for (const std::string& name : exportnames(!options.sweeps.empty() || options.draws > 0))
                    if (folder.entry(name) == Entry::file || folder.entry(name) == Entry::link)
                        requireplace(folder, name);
            if (options.draws > 0)
                drawsrun(folder, console, options, warnings);
            else if (options.sweeps.empty())
                plainrun(folder, console, options, warnings);
            else
                sweeprun(folder, console, options, warnings);
        } catch (const std::bad_alloc&) {
            halt(systemstop("KALP needs more memory than the system gives."));
        }
    } catch (const RunStop& stop) {
        console.print(stop.report());
        status = 1;
        if (!stop.detail.empty()) console.warn("kalp: " + stop.detail + "\n");
        newcomer(folder, console, stop);
    }
    warn(console, warnings);
    console.print(timeline(zac, platform::processortime()));
    return consolestatus(console, status);
}

int classes(const Folder& folder, Console& console) {
    const std::clock_t zac = platform::processortime();
    const Outcome o = readlayout(folder);
    if (o.stop) {
        console.print(o.stop->report());
        if (!o.stop->detail.empty()) console.warn("kalp: " + o.stop->detail + "\n");
        warn(console, o.warnings);
        console.print(timeline(zac, platform::processortime()));
        return consolestatus(console, 1, classesunwritten);
    }
    console.print(classtable(*o.model));
    warn(console, o.warnings);
    return consolestatus(console, 0, classesunwritten);
}

} // namespace

int kalp(Folder& folder, Console& console, const Options& options) {
    switch (options.command) {
    case Options::Command::classes: return classes(folder, console);
    case Options::Command::init: return init(folder, console, options);
    case Options::Command::index: return index(folder, console, options);
    case Options::Command::run: break;
    }
    return run(folder, console, options);
}

} // namespace kalp
