#include "run/driver.h"

#include <cstdio>
#include <ctime>

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
#include "report/dump.h"
#include "report/messages.h"
#include "report/progress.h"
#include "report/results.h"
#include "textio/stream.h"

namespace kalp {

namespace {

// Everything between the banner and the time line. The order is fixed: each
// stage consumes the next segments of the report template.
void stages(Model& m, Streams& s) {
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
    Progress years = startprogress("Gene flow", "years");
    geneflow(m, [&](const Model&, int t) { showprogress(years, t, m.l_inv); });
    endprogress(years);
    if (m.prods == 1)
        weightsone(m);
    else
        weightstwo(m);
    requirefiniteweights(m);

    if (m.gstd == 2) {
        readdeviations(m, s);
        readflags(m, s);
    }
    choosepairs(m);
    if (m.gstd == 2) {
        standardise(m);
        requirefinitestandardised(m);
    }

    std::printf("Writing results to file CHECKVRD\n");
    s.dump = openout("CHECKVRD");
    writedump(m, s.dump);
    closeout(s.dump);

    std::printf("Writing the results to the results file resgfps0%d.\n", m.prods);
    writeresults(m, s);
    closein(s.tpl);
    closeout(s.res);
    farewell(m.prods);
}

// After an early end: whatever was written so far stays in the files.
void closeall(Streams& s) {
    for (Stream* f : {&s.in, &s.tpl, &s.res, &s.dump})
        if (f->fp) std::fclose(f->fp);
}

} // namespace

int run() {
    const std::clock_t zac = std::clock();
    static Model m;
    reset(m);
    banner();
    Streams s;
    int status = 0;
    try {
        stages(m, s);
    } catch (const RunStop& stop) {
        std::fputs(stop.report.c_str(), stdout);
        closeall(s);
        status = 1;
    }
    timeline(zac, std::clock());
    // A console that could not be written leaves the user without the report.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("kalp: the console output could not be written\n", stderr);
        return 1;
    }
    return status;
}

} // namespace kalp
