#include "run/driver.h"

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
#include "textio/outfile.h"
#include "textio/source.h"

namespace kalp {

namespace {

void console(const std::string& line) { std::fputs(line.c_str(), stdout); }

// The exports of a run, in the order they are announced.
struct Exports {
    std::vector<OutputFile> files;
    void add(OutputFile&& f) { files.push_back(std::move(f)); }
    void add(const char* name, const std::string& text) {
        OutputFile f(name);
        f.write(text);
        f.close();
        add(std::move(f));
    }
    void publish() {
        for (OutputFile& f : files)
            f.publish();
    }
    void announce() const {
        for (const OutputFile& f : files)
            std::printf("The file %s holds %s.\n", f.name().c_str(), exportholds(f.name().c_str()));
    }
};

// The yearly tables of a run, written or kept as the gene flow runs.
struct Years {
    const Options& options;
    OutputFile csv;  // kalp-geneflow.csv
    YearTable chart; // what the chart of the gene flow shows
    Progress progress = startprogress("Gene flow", "years");

    void year(const Model& m, int t) {
        showprogress(progress, t, m.l_inv);
        if (options.csv) {
            if (t == 0) {
                csv = OutputFile("kalp-geneflow.csv");
                writegeneflowheader(csv.fp());
            }
            writegeneflowyear(m, t, m.m_gf, m.m_sum, csv.fp());
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
        classes.close();
        x.add(std::move(classes));
        years.csv.close();
        x.add(std::move(years.csv));
        OutputFile weights("kalp-weights.csv");
        writeweightscsv(m, names, weights.fp());
        weights.close();
        x.add(std::move(weights));
    }
    if (o.json) x.add("kalp-results.json", resultsjson(m, names));
    if (o.plot) {
        x.add("kalp-geneflow.svg", geneflowchart(m, years.chart));
        if (m.gstd == 2) x.add("kalp-weights.svg", weightschart(m, names));
    }
}

// A run: every stage in order, then the results file, the dump and the
// exports. A run that stops keeps the results file as far as it was
// written, and the dump when it was complete.
void plainrun(const FileSource& files, const Options& options) {
    OutputFile results, dump;
    bool dumped = false;
    Years years{options, {}, {}};
    Request r;
    r.files = &files;
    r.say = console;
    r.begun = [&](int prods) { results = OutputFile(prods == 1 ? "resgfps01" : "resgfps02", true); };
    r.year = [&](const Model& m, int t) { years.year(m, t); };
    Outcome o = runscenario(r);
    endprogress(years.progress);
    try {
        if (o.resultsfile) results.write(o.echo);
        if (o.stop) halt(*o.stop);
        Model& m = *o.model;
        console("Writing results to file CHECKVRD\n");
        dump = OutputFile("CHECKVRD", true);
        dump.write(dumptext(m));
        dump.close();
        dumped = true;
        std::printf("Writing the results to the results file resgfps0%d.\n", m.prods);
        results.write(resultssection(m, files));
        results.close();
        Exports x;
        writeexports(m, o.names, years, x);
        dump.publish();
        results.publish();
        x.publish();
        farewell(m.prods);
        x.announce();
    } catch (const RunStop&) {
        if (o.resultsfile) results.publish();
        if (dumped) dump.publish();
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
    const bool standard = prepared->gstd == 2;
    const SweepTables tables = sweeptables(plan, base.names, standard, options.json);

    Exports x;
    OutputFile csv("kalp-sweep.csv"), flow("kalp-sweep-geneflow.csv"), json;
    if (options.json) {
        json = OutputFile("kalp-sweep.json");
        json.write("[\n");
    }
    csv.write(weightsheader(tables));
    flow.write(flowheader(tables));
    std::vector<double> points;
    bool firstrow = true;
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
        },
        [&](long long computed) { showprogress(progress, computed, plan.count()); });
    endprogress(progress);
    if (stop) halt(*stop);
    if (options.json) json.write("\n]\n");
    for (OutputFile* f : {&csv, &flow})
        f->close();
    x.add(std::move(csv));
    x.add(std::move(flow));
    if (options.json) {
        json.close();
        x.add(std::move(json));
    }
    if (options.plot) x.add("kalp-sweep.svg", sweepchart(tables, base.names, points));
    x.publish();
    std::printf("\nThank you for using the program KALP.\n");
    x.announce();
}

// A console that could not be written leaves the user without the report.
int consolestatus(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("kalp: the console output could not be written\n", stderr);
        return 1;
    }
    return status;
}

RunStop systemstop(const std::string& what) {
    return RunStop{StopKind::output, "", "", what,
                   "Close other programs and restart the program.", ""};
}

} // namespace

int run(const Options& options) {
    const std::clock_t zac = std::clock();
    banner();
    // Exports of an earlier run would describe another run than this one.
    if (options.exports()) removeexports();
    int status = 0;
    const FolderSource folder;
    try {
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
