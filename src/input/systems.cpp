#include "input/systems.h"

#include <cmath>
#include <string>

#include "core/stop.h"
#include "textio/segments.h"

namespace kalp {

namespace {

void heading(Model& m, const Streams& s, int n3) {
    m.n2 = 1;
    m.n3 = n3;
    ++m.zz;
    inp00(s.res, m.n2, m.n3, m.zz);
}

// A count of reproductive classes: a whole number from 1 to `limit`.
int readcount(Stream& in, const Value& v, int limit) {
    const int n = scanint(in, v);
    const std::string what = v.text();
    if (n < 1)
        failat(in, v, "In " + std::string(in.name) + ", " + what + " is " + std::to_string(n) +
                 ", fewer than the 1 that the model needs.",
             "Give at least 1 class in " + std::string(in.name) + " and restart the program.");
    if (n > limit)
        failat(in, v, "In " + std::string(in.name) + ", " + what + " is " + std::to_string(n) +
                 ", more than the " + std::to_string(limit) + " that the model holds.",
             "Give at most " + std::to_string(limit) + " classes in " + in.name +
                 " and restart the program.");
    return n;
}

// Age weights 1..n, one line each; the last line has no line break.
void readweights(Stream& in, const Sink& out, double* w, int n, const char* what, const char* var) {
    for (int i = 1; i <= n; ++i) {
        const Value v{what, indexed(var, i), i};
        w[i] = scandouble(in, v);
        if (w[i] < 0) outofrange(in, v, w[i], "at least 0");
        out.format(i < n ? "   %8d                 %12.5f\n" : "   %8d                 %12.5f", i,
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

// The count of reproductive classes (model variable `countvar`) and their
// age weights (`weightvar`), each echoed after its template segment;
// returns the count.
int readclasses(Streams& s, double* weights, const Classes& c, const char* countvar,
                const char* weightvar) {
    const int n = readcount(s.in, {c.count, countvar}, c.limit);
    outputrw(s.tpl, s.res);
    s.res.format("%4d", n);
    outputrw(s.tpl, s.res);
    readweights(s.in, s.res, weights, n, c.weight, weightvar);
    outputrw(s.tpl, s.res);
    return n;
}

void echovalue(const Sink& out, float v) {
    if (std::fabs(static_cast<double>(v)) < 1e-6)
        out.put(" not calculated");
    else
        out.format("%9.3f", static_cast<double>(v));
}

// 35 economic values into column `col`, each after the next segment.
void readvalues(Streams& s, float (*evp)[3], int col, const char* what, const char* var) {
    for (int i = 1; i <= 35; ++i) {
        evp[i][col] = scanfloat(s.in, {what, indexed(var, i, col), i});
        outputrw(s.tpl, s.res);
        echovalue(s.res, evp[i][col]);
    }
}

} // namespace

void readsystemA(Model& m, Streams& s) {
    reading(s, "INPUTVRD01A.TXT");
    heading(m, s, 1);
    s.in = openin(s, "INPUTVRD01A.TXT");
    s.in.bare = true;
    Stream& in = s.in;
    const Sink& out = s.res;

    const Value rate{"the discount rate", "u"};
    m.u = scanfloat(in, rate);
    if (m.u <= -1) outofrange(in, rate, m.u, "above -1");
    outputrw(s.tpl, s.res);
    out.format("%7.2f", static_cast<double>(m.u));

    m.RRA = readclasses(s, m.l4RA, rams, "RRA", "l4RA");
    m.LLA = readclasses(s, m.l4EA, ewes, "LLA", "l4EA");

    readvalues(s, m.evpA, 1, "the economic value of trait", "evpA");

    m.ageR11A = scanfloat(in, {"the age of the rams at first use", "ageR11A"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR11A));
    m.ageE1A = scanfloat(in, {"the age of the ewes at first use", "ageE1A"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f\n\n", static_cast<double>(m.ageE1A));
    closein(s.in);
}

void dropsystemB(Streams& s) {
    for (int i = 48; i <= 128; ++i)
        outputr(s.tpl);
}

void readsystemB(Model& m, Streams& s) {
    reading(s, "INPUTVRD01B.TXT");
    heading(m, s, 2);
    s.in = openin(s, "INPUTVRD01B.TXT");
    s.in.bare = true;
    Stream& in = s.in;
    const Sink& out = s.res;

    m.RRB = readclasses(s, m.l4RB, rams, "RRB", "l4RB");
    m.LLB = readclasses(s, m.l4EB, ewes, "LLB", "l4EB");

    readvalues(s, m.evpB, 1, "the economic value for purebred progeny of trait", "evpB");
    readvalues(s, m.evpB, 2, "the economic value for crossbred progeny of trait", "evpB");

    m.ageR11B = scanfloat(in, {"the age of the B rams at first use", "ageR11B"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR11B));
    m.ageR12A = scanfloat(in, {"the age of the A rams at first use on B ewes", "ageR12A"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR12A));
    m.ageE1B = scanfloat(in, {"the age of the B ewes at first use", "ageE1B"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageE1B));
    outputrw(s.tpl, s.res);

    for (int i = 1; i <= m.LLB; ++i) {
        const Value share{"the crossing share of ewe class", indexed("pcrossE", i), i};
        m.pcrossE[i] = scanfloat(in, share);
        if (m.pcrossE[i] < 0 || m.pcrossE[i] > 1)
            outofrange(in, share, m.pcrossE[i], "between 0 and 1");
        out.format(i < m.LLB ? "   %8d            %12.5f\n" : "   %8d            %12.5f", i,
                     static_cast<double>(m.pcrossE[i]));
    }
    outputrw(s.tpl, s.res);
    closein(s.in);
}

} // namespace kalp
