#include "input/systems.h"

#include <cmath>
#include <string>

#include "core/stop.h"
#include "textio/segments.h"

namespace kalp {

namespace {

void heading(Model& m, Streams& s, int n3) {
    m.n2 = 1;
    m.n3 = n3;
    ++m.zz;
    inp00(s.res, m.n2, m.n3, m.zz);
}

// A count of reproductive classes: a whole number from 1 to `limit`.
int readcount(Stream& in, const char* what, int limit) {
    const int n = scanint(in, what);
    if (n < 1)
        fail("In " + std::string(in.name) + ", " + what + " is " + std::to_string(n) +
                 ", fewer than the 1 that the model needs.",
             "Give at least 1 class in " + std::string(in.name) + " and restart the program.");
    if (n > limit)
        fail("In " + std::string(in.name) + ", " + what + " is " + std::to_string(n) +
                 ", more than the " + std::to_string(limit) + " that the model holds.",
             "Give at most " + std::to_string(limit) + " classes in " + in.name +
                 " and restart the program.");
    return n;
}

// Age weights 1..n, one line each; the last line has no line break.
void readweights(Stream& in, Stream& out, double* w, int n, const char* what) {
    for (int i = 1; i <= n; ++i) {
        w[i] = scandouble(in, what, i);
        if (w[i] < 0) outofrange(in, numbered(what, i), w[i], "at least 0");
        std::fprintf(out.fp,
                     i < n ? "   %8d                 %12.5f\n" : "   %8d                 %12.5f", i,
                     w[i]);
    }
}

struct Classes {
    const char* count;  // the count in messages
    const char* weight; // one weight in messages
    int limit;
};
const Classes rams = {"the number of reproductive ram classes", "the age weight of ram class",
                      R - 1};
const Classes ewes = {"the number of reproductive ewe classes", "the age weight of ewe class",
                      L - 1};

// The count of reproductive classes and their age weights, each echoed
// after its template segment; returns the count.
int readclasses(Streams& s, double* weights, const Classes& c) {
    const int n = readcount(s.in, c.count, c.limit);
    outputrw(s.tpl, s.res);
    std::fprintf(s.res.fp, "%4d", n);
    outputrw(s.tpl, s.res);
    readweights(s.in, s.res, weights, n, c.weight);
    outputrw(s.tpl, s.res);
    return n;
}

void echovalue(Stream& out, float v) {
    if (std::fabs(static_cast<double>(v)) < 1e-6)
        std::fputs(" not calculated", out.fp);
    else
        std::fprintf(out.fp, "%9.3f", static_cast<double>(v));
}

// 35 economic values into column `col`, each after the next segment.
void readvalues(Streams& s, float (*evp)[3], int col, const char* what) {
    for (int i = 1; i <= 35; ++i) {
        evp[i][col] = scanfloat(s.in, what, i);
        outputrw(s.tpl, s.res);
        echovalue(s.res, evp[i][col]);
    }
}

} // namespace

void readsystemA(Model& m, Streams& s) {
    reading(s, "INPUTVRD01A.TXT");
    heading(m, s, 1);
    s.in = openin("INPUTVRD01A.TXT");
    s.in.bare = true;
    Stream& in = s.in;
    FILE* out = s.res.fp;

    m.u = scanfloat(in, "the discount rate");
    if (m.u <= -1) outofrange(in, "the discount rate", m.u, "above -1");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%7.2f", static_cast<double>(m.u));

    m.RRA = readclasses(s, m.l4RA, rams);
    m.LLA = readclasses(s, m.l4EA, ewes);

    readvalues(s, m.evpA, 1, "the economic value of trait");

    m.ageR11A = scanfloat(in, "the age of the rams at first use");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%8.1f", static_cast<double>(m.ageR11A));
    m.ageE1A = scanfloat(in, "the age of the ewes at first use");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%8.1f\n\n", static_cast<double>(m.ageE1A));
    closein(s.in);
}

void dropsystemB(Streams& s) {
    for (int i = 48; i <= 128; ++i)
        outputr(s.tpl);
}

void readsystemB(Model& m, Streams& s) {
    reading(s, "INPUTVRD01B.TXT");
    heading(m, s, 2);
    s.in = openin("INPUTVRD01B.TXT");
    s.in.bare = true;
    Stream& in = s.in;
    FILE* out = s.res.fp;

    m.RRB = readclasses(s, m.l4RB, rams);
    m.LLB = readclasses(s, m.l4EB, ewes);

    readvalues(s, m.evpB, 1, "the economic value for purebred progeny of trait");
    readvalues(s, m.evpB, 2, "the economic value for crossbred progeny of trait");

    m.ageR11B = scanfloat(in, "the age of the B rams at first use");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%8.1f", static_cast<double>(m.ageR11B));
    m.ageR12A = scanfloat(in, "the age of the A rams at first use on B ewes");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%8.1f", static_cast<double>(m.ageR12A));
    m.ageE1B = scanfloat(in, "the age of the B ewes at first use");
    outputrw(s.tpl, s.res);
    std::fprintf(out, "%8.1f", static_cast<double>(m.ageE1B));
    outputrw(s.tpl, s.res);

    for (int i = 1; i <= m.LLB; ++i) {
        const char* share = "the crossing share of ewe class";
        m.pcrossE[i] = scanfloat(in, share, i);
        if (m.pcrossE[i] < 0 || m.pcrossE[i] > 1)
            outofrange(in, numbered(share, i), m.pcrossE[i], "between 0 and 1");
        std::fprintf(out, i < m.LLB ? "   %8d            %12.5f\n" : "   %8d            %12.5f", i,
                     static_cast<double>(m.pcrossE[i]));
    }
    outputrw(s.tpl, s.res);
    closein(s.in);
}

} // namespace kalp
