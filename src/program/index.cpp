#include "program/index.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <memory>
#include <new>

#include "core/stop.h"
#include "engine/engine.h"
#include "index/agreement.h"
#include "index/index.h"
#include "index/intervals.h"
#include "index/worth.h"
#include "program/indexsweep.h"
#include "program/shared.h"
#include "input/indexfiles.h"
#include "platform/platform.h"
#include "model/classes.h"
#include "report/catalogue.h"
#include "report/indexreport.h"
#include "report/messages.h"

namespace kalp {

namespace {

const Selection* selectionof(const IndexData& d, Path p) {
    const auto s = std::find_if(d.selection.begin(), d.selection.end(),
                                [&](const Selection& x) { return x.path == p; });
    return s == d.selection.end() ? nullptr : &*s;
}

void fromweights(const Options& o, const Folder& folder, IndexRun& a) {
    GivenWeights g = readweights(*o.weightsfolder, o.weightsfile, o.weightspath);
    a.in.data = readindexdata(folder, IndexReading{0});
    a.names = std::move(g.names);
    a.weights = o.weightspath;
    std::fill(std::begin(a.in.weights), std::end(a.in.weights), g.weights);
}

// The run of the folder's scenario (`given` when the caller ran it), and
// again for a path whose traced group differs from the scenario's. What
// the run read but doubts goes to the warnings of `a`, also when it stops.
void fromrun(const Folder& folder, IndexRun& a, const Outcome* given) {
    Request r;
    r.files = &folder;
    r.echo = false;
    if (given) {
        a.in.data = readindexdata(folder, IndexReading{tracedbound(*given->model)});
        a.names = given->names;
        a.warnings = given->warnings;
        a.run = std::make_shared<const Model>(*given->model);
    } else {
        const Outcome layout = readlayout(folder);
        if (layout.stop) halt(*layout.stop);
        a.in.data = readindexdata(folder, IndexReading{tracedbound(*layout.model)});
        Outcome base = runscenario(r);
        a.warnings = base.warnings;
        if (base.stop) halt(*base.stop);
        a.names = base.names;
        a.run = std::move(base.model);
    }
    const Model& m = *a.run;
    for (int k = 0; k < pathcount; ++k) {
        const Selection* s = selectionof(a.in.data, static_cast<Path>(k));
        const int traced = s && s->traced ? s->traced : m.n_sac;
        a.models[k] = a.run;
        if (traced != m.n_sac) {
            Request again = r;
            again.changes = {{findparameter("n_sac"), 0, static_cast<double>(traced)}};
            Outcome o = runscenario(again);
            if (o.stop) halt(*o.stop);
            a.models[k] = std::move(o.model);
        }
        a.in.weights[k] = objectiveof(*a.models[k]);
        a.facts[k].traced = traced;
        const ClassInfo c = describeclass(m, traced);
        a.facts[k].group = groupname(c);
        const Intervals l = generationintervals(m, traced);
        a.in.interval[k] = k == pathindex(Path::rams) ? l.rams : l.ewes;
        a.facts[k].interval = "the age weights of system " + std::string(c.block.system);
    }
}

// The components of --restrict among those of the index: each must be in
// the objective, a component of a trait of index-traits.csv.
std::vector<Aim> heldcomponents(const Options& o, const IndexData& d) {
    std::vector<Aim> held;
    for (const std::string& h : o.held) {
        const size_t colon = h.rfind(':');
        std::string trait = h.substr(0, colon);
        const Effect e = h.substr(colon + 1) == "direct" ? Effect::direct : Effect::maternal;
        if (trait.find_first_not_of("0123456789") == std::string::npos && trait.size() < 10)
            trait = std::to_string(std::stol(trait));
        const auto t = std::find_if(d.traits.begin(), d.traits.end(), [&](const IndexTrait& x) { return x.name == trait; });
        auto refuse = [&](const std::string& why) {
            std::string what = "The option --restrict " + h;
            what += " names a component that is not in the objective:\n  ";
            what += why;
            halt(RunStop{StopKind::option, "", "", what,
                         "Restrict a component of a trait of index-traits.csv, by its number or name there.", ""});
        };
        if (t == d.traits.end()) refuse("trait " + trait + " has no row in index-traits.csv.");
        if (!hascomponent(*t, e))
            refuse("trait " + trait + (t->ewe ? " is a trait of the ewe, whose only component is maternal."
                                              : " has no maternal heritability in index-traits.csv."));
        held.push_back({static_cast<int>(t - d.traits.begin()), e});
    }
    return held;
}

IndexView view(const IndexRun& a, const IndexResult& r) {
    IndexView v{a.in.data, r, a.names, a.weights, {}, {}, {}, {}, {}};
    for (int k = 0; k < pathcount; ++k) {
        v.path[k] = a.facts[k];
        v.path[k].sources = std::any_of(a.in.data.sources.begin(), a.in.data.sources.end(),
                                        [&](const IndexSource& s) { return pathindex(s.path) == k; });
        if (a.models[k] && a.models[k]->gstd == 2) v.path[k].covered = coveredshare(r, a.in.data, *a.models[k]);
    }
    if (a.run && a.run->gstd == 2) v.sds = sddifferences(r, a.in.data, *a.run);
    v.values = sourcevalues(a.in.data, r);
    v.sensitivity = sensitivities(r);
    v.held = a.in.held;
    return v;
}

// The index and its files; a fault of the files or of the data ends it.
void compute(Folder& folder, Console& console, const Options& options, std::vector<std::string>& warnings) {
    const std::unique_ptr<Hold> lock = lockfolder(folder);
    removeunfinished(folder, outputnames());
    const Wants wants = options.wants();
    const std::vector<const IndexOutput*> outputs = askedindex(wants);
    for (const IndexOutput* o : outputs)
        requireplace(folder, o->name);
    if (!options.sweeps.empty())
        for (const IndexSweepOutput* o : askedindexsweep(wants))
            requireplace(folder, o->name);
    if (options.draws > 0 && options.csv) requireplace(folder, indexdrawsfile);
    // The earlier index files that the new set replaces or removes.
    if (options.exports())
        for (const std::string& name : indexnames())
            if (folder.entry(name) == Entry::file || folder.entry(name) == Entry::link)
                requireplace(folder, name);
    IndexRun a;
    try {
        runindex(folder, options, a);
    } catch (const RunStop&) {
        warnings = a.warnings;
        throw;
    }
    warnings = a.warnings;
    const IndexResult& result = *a.result;
    const IndexView& v = *a.view;
    std::vector<OutputFile> files, more;
    std::string scenarios;
    if (options.draws > 0 || !options.sweeps.empty()) {
        IndexScenarios x{a.in, result, a.names, *a.run, {0, 0}, {-1, -1}};
        for (const Selection& s : a.in.data.selection) {
            x.traced[pathindex(s.path)] = s.traced;
            x.interval[pathindex(s.path)] = s.interval;
        }
        if (options.draws > 0) scenarios += indexdraws(folder, console, options, x, more);
        if (!options.sweeps.empty()) scenarios += indexsweep(folder, console, options, x, more);
    }
    for (const IndexOutput* o : outputs) {
        if (o->wanted && !o->wanted(v)) continue;
        files.emplace_back(folder, o->name);
        files.back().write(o->whole(v));
        files.back().close();
    }
    files.insert(files.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    std::vector<OutputFile*> all(files.size());
    std::transform(files.begin(), files.end(), all.begin(), [](OutputFile& f) { return &f; });
    // The new set replaces the earlier one: index files that this run does
    // not write go with it, the whole set or none of it.
    std::vector<Removal> stale;
    if (options.exports())
        for (const std::string& name : indexnames())
            if (std::none_of(files.begin(), files.end(), [&](const OutputFile& f) { return f.name() == name; }))
                stale.push_back({&folder, name});
    publish(all, stale);
    std::string announce;
    if (options.exports()) {
        for (const OutputFile& f : files)
            announce += "The file " + f.name() + " holds " + outputholds(f.name()) + ".\n";
    }
    console.print(indexreport(v) + scenarios + (announce.empty() ? "" : "\n" + announce));
}

} // namespace

void runindex(const Folder& folder, const Options& options, IndexRun& a, const Outcome* base) {
    if (options.weightsfolder)
        fromweights(options, folder, a);
    else
        fromrun(folder, a, base);
    // A generation interval given in index-selection.csv replaces the one
    // of the age weights.
    for (const Selection& s : a.in.data.selection)
        if (s.interval > 0) {
            a.in.interval[pathindex(s.path)] = s.interval;
            a.facts[pathindex(s.path)].interval.clear();
        }
    a.in.bend = options.bend;
    a.in.held = heldcomponents(options, a.in.data);
    a.result.emplace(computeindex(a.in));
    a.view.emplace(view(a, *a.result));
}

int index(Folder& folder, Console& console, const Options& options) {
    const std::clock_t zac = platform::processortime();
    std::vector<std::string> warnings;
    int status = 0;
    try {
        try {
            compute(folder, console, options, warnings);
        } catch (const std::bad_alloc&) {
            halt(RunStop{StopKind::output, "", "", "KALP needs more memory than the system gives.",
                         "Close other programs and restart the program.", ""});
        }
    } catch (const RunStop& stop) {
        console.print(stop.report());
        status = 1;
        if (!stop.detail.empty()) console.warn("kalp: " + stop.detail + "\n");
        // Index files without a scenario: the weights may be meant to come
        // from a file.
        const std::vector<std::string> names = inputnames();
        if (stop.kind == StopKind::input && findinput(stop.file) && !options.weightsfolder &&
            std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return folder.entry(n) != Entry::missing; }))
            console.warn("kalp: this folder holds no scenario of KALP; kalp index --weights FILE takes "
                         "the economic weights from a file instead\n");
    }
    warn(console, warnings);
    console.print(timeline(zac, platform::processortime()));
    if (!console.flush()) {
        console.warn("kalp: the console output could not be written; the files of the index are "
                     "in place\n");
        return 1;
    }
    return status;
}

} // namespace kalp
