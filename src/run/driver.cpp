#include "run/driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/stop.h"
#include "engine/engine.h"
#include "engine/sweep.h"
#include "report/charts.h"
#include "report/classtable.h"
#include "report/dump.h"
#include "report/exports.h"
#include "report/messages.h"
#include "report/progress.h"
#include "report/results.h"
#include "report/sweeprows.h"
#include "textio/lock.h"
#include "textio/outfile.h"
#include "textio/source.h"

namespace kalp {

namespace {

void console(const std::string& line) { std::fputs(line.c_str(), stdout); }

// True about once a second: when the files being written are checked, so
// that a full disk ends a long run soon.
struct Every {
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
    bool due() {
        const auto now = std::chrono::steady_clock::now();
        if (now < next) return false;
        next = now + std::chrono::seconds(1);
        return true;
    }
};

// The exports of a run or of a sweep, in the order they are announced.
struct Exports {
    bool sweep;
    std::vector<OutputFile> files;
    void add(OutputFile&& f) {
        f.close();
        files.push_back(std::move(f));
    }
    void add(const char* name, const std::string& text) {
        OutputFile f(name);
        f.write(text);
        add(std::move(f));
    }
    std::vector<OutputFile*> all() {
        std::vector<OutputFile*> v(files.size());
        std::transform(files.begin(), files.end(), v.begin(), [](OutputFile& f) { return &f; });
        return v;
    }
    // The new set replaces the earlier one: exports of the same kind that
    // this run does not write go, so that all of them describe one run.
    void replace() {
        for (const std::string& name : exportnames(sweep)) {
            const bool mine = std::any_of(files.begin(), files.end(),
                                          [&](const OutputFile& f) { return f.name() == name; });
            struct stat st {};
            if (!mine && lstat(name.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
                unlink(name.c_str());
        }
    }
    void announce() const {
        for (const OutputFile& f : files)
            std::printf("The file %s holds %s.\n", f.name().c_str(), exportholds(f.name().c_str()));
    }
};

// The yearly tables of a run, written or kept as the gene flow runs.
struct Years {
    explicit Years(const Options& o) : options(o) {}
    const Options& options;
    OutputFile csv;  // kalp-geneflow.csv
    std::string key; // the scenario columns of its rows
    YearTable chart; // what the chart of the gene flow shows
    Progress progress = startprogress("Gene flow", "years");
    Every every;

    void year(const Model& m, int t) {
        showprogress(progress, t, m.l_inv);
        if (options.csv) {
            if (t == 0) {
                csv = OutputFile("kalp-geneflow.csv");
                const RowKey k = runkey(m);
                csv.write(k.header() + yearsheader());
                key = k.csv();
            }
            std::string rows;
            yearrows(m, key, t, m.m_gf, m.m_sum, rows);
            csv.write(rows);
            if (every.due()) csv.check();
        }
        if (options.plot) {
            if (t == 0) chart = yeartable(m.l_inv);
            keepyear(chart, m, t, m.m_gf);
        }
    }
};

void writeexports(const Model& m, const TraitNames& names, Years& years, Exports& x) {
    const Options& o = years.options;
    if (o.csv) {
        OutputFile classes("kalp-classes.csv");
        writeclassescsv(m, classes.fp());
        x.add(std::move(classes));
        x.add(std::move(years.csv));
        const RowKey key = runkey(m);
        std::string rows = key.header() + weightsheader(m.gstd == 2);
        weightrows(m, key, traitfields(names), rows, nullptr);
        x.add("kalp-weights.csv", rows);
    }
    if (o.json) x.add("kalp-results.json", resultsjson(m, names));
    if (o.plot) {
        x.add("kalp-geneflow.svg", geneflowchart(m, years.chart));
        if (m.gstd == 2) x.add("kalp-weights.svg", weightschart(m, names));
    }
}

// The files that the options ask for: a folder at one of their names ends
// the run before it begins.
std::vector<std::string> asked(const Options& o) {
    std::vector<std::string> v;
    if (!o.sweeps.empty()) {
        v = {"kalp-sweep.csv", "kalp-sweep-geneflow.csv"};
        if (o.json) v.emplace_back("kalp-sweep.json");
        if (o.plot) v.emplace_back("kalp-sweep.svg");
        return v;
    }
    if (o.csv) v = {"kalp-classes.csv", "kalp-geneflow.csv", "kalp-weights.csv"};
    if (o.json) v.emplace_back("kalp-results.json");
    if (o.plot) v.insert(v.end(), {"kalp-geneflow.svg", "kalp-weights.svg"});
    return v;
}

// A run: every stage in order, then the results file, the dump and the
// exports, all put in place together at the end. A run that stops puts
// the results file in place as far as it was written (the echo of the
// input files), and the dump when it was complete.
void plainrun(const FileSource& files, const Options& options) {
    OutputFile results, dump;
    bool dumped = false;
    Years years(options);
    Request r;
    r.files = &files;
    r.say = console;
    r.begun = [&](int prods) { results = OutputFile(prods == 1 ? "resgfps01" : "resgfps02"); };
    r.year = [&](const Model& m, int t) { years.year(m, t); };
    Outcome o = runscenario(r);
    endprogress(years.progress);
    try {
        if (o.resultsfile) results.write(o.echo);
        if (o.stop) halt(*o.stop);
        Model& m = *o.model;
        console("Writing results to file CHECKVRD\n");
        dump = OutputFile("CHECKVRD");
        dump.write(dumptext(m));
        dump.close();
        dumped = true;
        std::printf("Writing the results to the results file resgfps0%d.\n", m.prods);
        results.write(resultssection(m, files));
        Exports x{false, {}};
        writeexports(m, o.names, years, x);
        std::vector<OutputFile*> all = x.all();
        all.insert(all.begin(), {&results, &dump});
        publish(all);
        if (options.csv || options.json || options.plot) x.replace();
        farewell(m.prods);
        x.announce();
    } catch (const RunStop&) {
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

// The texts of the input files that a run of `files` read, for the
// scenarios of a sweep.
TextSource intomemory(const FileSource& files) {
    TextSource texts;
    for (const char* name : {"ERROR.TXT", "P01.TXT", "PARAVRD.TXT", "TEXTVRD_OUT.TXT",
                             "INPUTVRD01A.TXT", "INPUTVRD01B.TXT", "INPUTVRD02.TXT",
                             "INPUTVRD03.TXT", "INPUTVRD04.TXT", "INPUTVRD05.TXT"}) {
        std::FILE* f = files.open(name);
        if (!f) continue;
        std::string text;
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        std::fclose(f);
        texts.set(name, std::move(text));
    }
    return texts;
}

// A sweep reads and checks the input files as a run does, without writing
// the results file or the dump, then computes every scenario.
void sweeprun(const FileSource& files, const Options& options) {
    Request r;
    r.files = &files;
    r.say = console;
    r.echo = false;
    const Outcome base = runscenario(r);
    if (base.stop) halt(*base.stop);
    const TextSource texts = intomemory(files);
    const auto prepared = std::make_unique<Model>();
    if (const auto stop = preparesweep(texts, *prepared)) halt(*stop);
    console("Computing the scenarios of the sweep\n");
    const SweepPlan plan = makeplan(options.sweeps, *prepared);
    const SweepTables tables = sweeptables(plan, *prepared, base.names, options.json);

    OutputFile csv("kalp-sweep.csv"), flow("kalp-sweep-geneflow.csv"), json;
    if (options.json) {
        json = OutputFile("kalp-sweep.json");
        json.write("[\n");
    }
    csv.write(weightsheader(tables));
    flow.write(flowheader(tables));
    std::vector<double> points;
    bool firstrow = true;
    Every every;
    Progress progress = startprogress("Sweep", "scenarios");
    const auto stop = runsweep(
        texts, *prepared, plan,
        [&](const Scenario& sc, const Model& m, Chunk& out) {
            formatscenario(tables, sc, m, out);
        },
        [&](Chunk& c) {
            csv.write(c.text[0]);
            flow.write(c.text[1]);
            if (options.json && !c.text[2].empty()) {
                // Objects come after ",\n"; the first one after "[\n".
                json.write(firstrow ? c.text[2].substr(2) : c.text[2]);
                firstrow = false;
            }
            if (options.plot) points.insert(points.end(), c.numbers.begin(), c.numbers.end());
            if (every.due())
                for (const OutputFile* f : {&csv, &flow, &json})
                    f->check();
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    if (options.json) json.write("\n]\n");
    Exports x{true, {}};
    x.add(std::move(csv));
    x.add(std::move(flow));
    if (options.json) x.add(std::move(json));
    if (options.plot) x.add("kalp-sweep.svg", sweepchart(tables, base.names, points));
    publish(x.all());
    x.replace();
    std::printf("\nThank you for using the program KALP.\n");
    x.announce();
}

// A console that could not be written leaves the user without the report.
int consolestatus(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("kalp: the console output could not be written; the files of the run are "
                   "in place\n",
                   stderr);
        return 1;
    }
    return status;
}

RunStop systemstop(const std::string& what) {
    return RunStop{StopKind::output, "", "", what,
                   "Close other programs and restart the program.", ""};
}

// Every file a run may write: their temporary files are left only by a
// run that was killed.
std::vector<std::string> outputnames() {
    std::vector<std::string> v = {"resgfps01", "resgfps02", "CHECKVRD"};
    for (bool sweep : {false, true}) {
        const std::vector<std::string> names = exportnames(sweep);
        v.insert(v.end(), names.begin(), names.end());
    }
    return v;
}

} // namespace

int run(const Options& options) {
    const std::clock_t zac = std::clock();
    banner();
    int status = 0;
    const FolderSource folder;
    try {
        const FolderLock lock;
        removeunfinished(outputnames());
        for (const std::string& name : asked(options))
            requireplace(name);
        try {
            if (options.sweeps.empty())
                plainrun(folder, options);
            else
                sweeprun(folder, options);
        } catch (const std::bad_alloc&) {
            halt(systemstop("KALP needs more memory than the system gives."));
        }
    } catch (const RunStop& stop) {
        console(stop.report());
        status = 1;
    }
    timeline(zac, std::clock());
    return consolestatus(status);
}

int classtable() {
    const std::clock_t zac = std::clock();
    const FolderSource folder;
    const Outcome o = readlayout(folder);
    if (o.stop) {
        console(o.stop->report());
        timeline(zac, std::clock());
        return consolestatus(1);
    }
    printclasses(*o.model);
    return consolestatus(0);
}

} // namespace kalp
