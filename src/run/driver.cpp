#include "run/driver.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/stop.h"
#include "input/control.h"
#include "input/settings.h"
#include "input/standards.h"
#include "input/systems.h"
#include "model/finite.h"
#include "model/geneflow.h"
#include "model/layout.h"
#include "model/matrix.h"
#include "model/standardise.h"
#include "model/weights.h"
#include "report/charts.h"
#include "report/classtable.h"
#include "report/dump.h"
#include "report/exports.h"
#include "report/messages.h"
#include "report/progress.h"
#include "report/results.h"
#include "run/sweep.h"
#include "textio/stream.h"

namespace kalp {

namespace {

// The exports of a run: finished ones wait under their temporary names
// until the run is complete.
struct Exports {
    Options options;
    Export geneflow; // written year by year while the gene flow runs
    YearTable years; // what the chart of the gene flow shows
    std::vector<Export> finished;
};

// Closes an export and keeps it for the end of the run.
void keep(Exports& x, const Export& e) {
    x.finished.push_back(e);
    endexport(x.finished.back());
}

void exporttext(Exports& x, const char* name, const std::string& text) {
    const Export e = beginexport(name);
    std::fputs(text.c_str(), e.fp);
    keep(x, e);
}

// The yearly tables start with year 0: the traced genes all in n_sac.
void beginyears(const Model& m, Exports& x) {
    float share[ACM] = {};
    share[m.n_sac] = 1;
    if (x.options.csv) {
        const float cumulative[ACM] = {};
        x.geneflow = beginexport("kalp-geneflow.csv");
        writegeneflowheader(x.geneflow.fp);
        writegeneflowyear(m, 0, share, cumulative, x.geneflow.fp);
    }
    if (x.options.plot) {
        x.years = yeartable(m.l_inv);
        keepyear(x.years, m, 0, share);
    }
}

// Year t of the gene flow: the progress line and the yearly tables.
void onyear(const Model& m, int t, Exports& x, Progress& progress) {
    showprogress(progress, t, m.l_inv);
    if (x.geneflow.fp) writegeneflowyear(m, t, m.m_gf, m.m_sum, x.geneflow.fp);
    if (x.options.plot) keepyear(x.years, m, t, m.m_gf);
}

void writeexports(const Model& m, Exports& x) {
    if (!x.options.csv && !x.options.json && !x.options.plot) return;
    const TraitNames names = readtraitnames();
    if (x.options.csv) {
        const Export classes = beginexport("kalp-classes.csv");
        writeclassescsv(m, classes.fp);
        keep(x, classes);
        keep(x, x.geneflow);
        x.geneflow = Export{};
        const Export weights = beginexport("kalp-weights.csv");
        writeweightscsv(m, names, weights.fp);
        keep(x, weights);
    }
    if (x.options.json) exporttext(x, "kalp-results.json", resultsjson(m, names));
    if (x.options.plot) {
        exporttext(x, "kalp-geneflow.svg", geneflowchart(m, x.years));
        if (m.gstd == 2) exporttext(x, "kalp-weights.svg", weightschart(m, names));
    }
    for (const Export& e : x.finished)
        publishexport(e);
}

void announce(const Exports& x) {
    for (const Export& e : x.finished)
        std::printf("The file %s holds %s.\n", e.name, exportholds(e.name));
}

void discardall(Exports& x) {
    discardexport(x.geneflow);
    for (Export& e : x.finished)
        discardexport(e);
}

// The stages from the gate to the standardised weights. The order is fixed:
// each stage consumes the next segments of the report template.
void compute(Model& m, Streams& s, Exports& x) {
    readgate(m, s);
    opentemplate(s);
    readprods(m, s);
    writepreamble(m, s);

    readsystemA(m, s);
    if (m.prods > 1)
        readsystemB(m, s);
    else
        dropsystemB(s);
    layclasses(m);
    readsettings(m, s);

    buildmatrix(m);
    beginyears(m, x);
    Progress progress = startprogress("Gene flow", "years");
    geneflow(m, [&](const Model& g, int t) { onyear(g, t, x, progress); });
    endprogress(progress);
    economicweights(m);

    if (m.gstd == 2) {
        readdeviations(m, s);
        readflags(m, s);
    }
    choosepairs(m);
    if (m.gstd == 2) {
        standardise(m);
        requirefinitestandardised(m);
    }
}

// Everything between the banner and the time line.
void stages(Model& m, Streams& s, Exports& x) {
    compute(m, s, x);
    std::printf("Writing results to file CHECKVRD\n");
    s.dump = openout("CHECKVRD");
    writedump(m, s.dump);
    closeout(s.dump);

    std::printf("Writing the results to the results file resgfps0%d.\n", m.prods);
    writeresults(m, s);
    closein(s.tpl);
    closeout(s.res);
    writeexports(m, x);
    farewell(m.prods);
    announce(x);
}

// A sweep reads and checks the input files as a run does, without writing
// the results file or the dump, then computes every scenario.
void sweepstages(Model& m, Streams& s, Exports& x) {
    s.echo = false;
    compute(m, s, x);
    closein(s.tpl);
    closeout(s.res);
    const auto& sw = x.options.sweeps;
    std::printf("Computing the scenarios of the sweep\n");
    runsweeps(m, sw, x.options.json, x.options.plot, readtraitnames(), x.finished);
    for (const Export& e : x.finished)
        publishexport(e);
    std::printf("\nThank you for using the program KALP.\n");
    announce(x);
}

// After an early end: whatever was written so far stays in the files.
void closeall(Streams& s) {
    for (Stream* f : {&s.in, &s.tpl, &s.res, &s.dump})
        if (f->fp) std::fclose(f->fp);
}

// A console that could not be written leaves the user without the report.
int consolestatus(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("kalp: the console output could not be written\n", stderr);
        return 1;
    }
    return status;
}

} // namespace

int run(const Options& options) {
    const std::clock_t zac = std::clock();
    static Model m;
    reset(m);
    banner();
    // Exports of an earlier run would describe another run than this one.
    if (options.exports()) removeexports();
    Streams s;
    Exports x;
    x.options = options;
    int status = 0;
    try {
        if (options.sweeps.empty())
            stages(m, s, x);
        else
            sweepstages(m, s, x);
    } catch (const RunStop& stop) {
        std::fputs(stop.report.c_str(), stdout);
        closeall(s);
        discardall(x);
        status = 1;
    }
    timeline(zac, std::clock());
    return consolestatus(status);
}

int classtable() {
    const std::clock_t zac = std::clock();
    static Model m;
    reset(m);
    // The system files are read as in a run, their echo going nowhere
    // against a template of empty segments.
    Streams s;
    s.quiet = true;
    std::string empty;
    for (int i = 0; i < 128; ++i)
        empty += "\"\"";
    try {
        readprods(m, s);
        s.tpl.fp = fmemopen(empty.data(), empty.size(), "r");
        if (!s.tpl.fp) fail("The class table cannot be prepared.", "Restart the program.");
        s.res = opensink();
        readsystemA(m, s);
        if (m.prods > 1) readsystemB(m, s);
        layclasses(m);
    } catch (const RunStop& stop) {
        std::fputs(stop.report.c_str(), stdout);
        closeall(s);
        timeline(zac, std::clock());
        return consolestatus(1);
    }
    closeall(s);
    printclasses(m);
    return consolestatus(0);
}

} // namespace kalp
