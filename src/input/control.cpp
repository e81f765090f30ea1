#include "input/control.h"

#include <string>

#include "core/stop.h"
#include "textio/records.h"
#include "textio/segments.h"

namespace kalp {

void readgate(Model& m, Streams& s) {
    s.in = openin("ERROR.TXT");
    // A file without a number leaves the gate open.
    leadingint(s.in, m.errmess, "the error flag of TORM2");
    closein(s.in);
    if (m.errmess == 1) gatestop();
}

// A template with a stray double quote, or with too few segments, would set
// the wording of the results file out of step with its values.
void opentemplate(Streams& s) {
    const char* name = "TEXTVRD_OUT.TXT";
    s.tpl = openin(name);
    const long quotes = countquotes(s.tpl);
    closein(s.tpl);
    const std::string use = "Use a complete TEXTVRD_OUT.TXT, such as the one delivered with KALP, "
                            "in which every text stands between two double quotes, and restart "
                            "the program.";
    if (quotes % 2 != 0)
        fail("The report template TEXTVRD_OUT.TXT holds " + std::to_string(quotes) +
                 " double quotes, an odd number: a quote is missing or one too many.",
             use);
    if (quotes / 2 < templatesegments)
        fail("The report template TEXTVRD_OUT.TXT holds " + std::to_string(quotes / 2) +
                 " text segments, fewer than the " + std::to_string(templatesegments) +
                 " that KALP needs.",
             use);
    s.tpl = openin(name);
}

void readprods(Model& m, Streams& s) {
    s.in = openin("P01.TXT");
    m.prods = scanint(s.in, "the number of production systems");
    closein(s.in);
    if (m.prods != 1 && m.prods != 2)
        fail("The file P01.TXT gives " + std::to_string(m.prods) +
                 " as the number of production systems.",
             "Write 1 (one production system) or 2 (two linked systems) in P01.TXT and restart "
             "the program.");
}

void writepreamble(Model& m, Streams& s) {
    const char* results = m.prods == 1 ? "resgfps01" : "resgfps02";
    s.res = s.echo ? openout(results) : opensink();
    outputrw(s.tpl, s.res);
    std::fprintf(s.res.fp, "%3d", m.prods);
    outputrw(s.tpl, s.res);

    const char* what = "the standardisation switch";
    s.in = openin("PARAVRD.TXT");
    outputrw(s.in, s.res);
    sysvar(s.in, s.res, what);
    closein(s.in);

    s.in = openin("PARAVRD.TXT");
    std::printf("\nI am working\n");
    reading(s, "PARAVRD.TXT");
    outputr(s.in);
    m.gstd = readsyva(s.in, what);
    closein(s.in);

    outputrw(s.tpl, s.res);
}

} // namespace kalp
