#include "input/systems.h"

#include <cmath>
#include <cstdio>
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

// The line of the value read last, for a warning.
std::string line(const Stream& in) {
    return std::string(in.name) + ", line " + std::to_string(lineof(in, in.wordat)) + ": ";
}

// A real as a warning quotes it.
std::string real(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Age weights 1..n, one line each; the last line has no line break. One
// class that holds nearly all the weight among several is worth a
// second look: a value shifted from another place may stand there.
void readweights(Stream& in, const Sink& out, double* w, int n, const char* what, const char* var,
                 const char* classes) {
    for (int i = 1; i <= n; ++i) {
        const Value v{what, indexed(var, i), i};
        w[i] = scandouble(in, v);
        if (w[i] < 0) outofrange(in, v, w[i], "at least 0");
        if (n > 1 && w[i] > 0.9)
            warn(in, line(in) + v.text() + " is " + real(w[i]) + ", above 0.9, among " +
                         std::to_string(n) + " " + classes +
                         ": nearly all genes would come from that class; check the list of "
                         "age weights");
        out.format(i < n ? "   %8d                 %12.5f\n" : "   %8d                 %12.5f", i,
                   w[i]);
    }
}

struct Classes {
    const char* count;  // the count in messages
    const char* weight; // one weight in messages
    const char* plural; // the classes in a sentence
    int limit;
};
const Classes rams = {"the number of reproductive ram classes", "the age weight of ram class",
                      "ram classes", R - 1};
const Classes ewes = {"the number of reproductive ewe classes", "the age weight of ewe class",
                      "ewe classes", L - 1};

// How many numbers a bare-number file calls for: `fixed` values, and for
// each count a list of at least one value until the count is read.
struct Calls {
    int fixed, unread;
    void tell(Stream& in) const {
        in.calledfor = fixed;
        in.atleast = unread > 0;
    }
};

// The count of reproductive classes (model variable `countvar`) and their
// age weights (`weightvar`), each echoed after its template segment;
// returns the count, which calls for `lists` lists of that length.
int readclasses(Streams& s, double* weights, const Classes& c, const char* countvar,
                const char* weightvar, Calls& calls, int lists = 1) {
    const int n = readcount(s.in, {c.count, countvar}, c.limit);
    calls.fixed += lists * (n - 1);
    --calls.unread;
    calls.tell(s.in);
    outputrw(s.tpl, s.res);
    s.res.format("%4d", n);
    outputrw(s.tpl, s.res);
    readweights(s.in, s.res, weights, n, c.weight, weightvar, c.plural);
    outputrw(s.tpl, s.res);
    return n;
}

// An age at first use far outside the usual: a value shifted from
// another place may stand there.
float readage(Stream& in, const Value& v) {
    const float age = scanfloat(in, v);
    if (age < 60 || age > 3650)
        warn(in, line(in) + v.text() + " is " + real(age) + " days, " +
                     (age < 60 ? "below 60 days" : "above 10 years (3650 days)") +
                     ": check it, and whether a value before it is missing or one too many");
    return age;
}

// Numbers after the last value of a bare-number file, `last`, are not
// read; a value too many earlier would have shifted every later one.
void surplus(const Stream& in, const char* last) {
    const Leftover left = leftover(in);
    if (left.count == 0) return;
    warn(in, std::string(in.name) + ", line " + std::to_string(lineof(in, left.first)) + ": " +
                 numbers(left.count) + " after the last value, " + last + ", " +
                 (left.count == 1 ? "is" : "are") + " not read; the file holds " +
                 numbers(in.numbers + left.count) + " where its counts call for " +
                 std::to_string(in.calledfor) +
                 ", and one value too many earlier in the file shifts every later value one "
                 "place on");
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

    // The rate, two counts, 35 values and two ages, and the two lists.
    Calls calls{1 + 2 + 35 + 2 + 2, 2};
    calls.tell(in);
    in.block = "the discount rate";
    const Value rate{"the discount rate", "u"};
    m.u = scanfloat(in, rate);
    if (m.u <= -1) outofrange(in, rate, m.u, "above -1");
    outputrw(s.tpl, s.res);
    out.format("%7.2f", static_cast<double>(m.u));

    in.block = "the ram classes and their age weights";
    m.RRA = readclasses(s, m.l4RA, rams, "RRA", "l4RA", calls);
    in.block = "the ewe classes and their age weights";
    m.LLA = readclasses(s, m.l4EA, ewes, "LLA", "l4EA", calls);

    in.block = "the 35 economic values";
    readvalues(s, m.evpA, 1, "the economic value of trait", "evpA");

    in.block = "the ages at first use";
    m.ageR11A = readage(in, {"the age of the rams at first use", "ageR11A"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR11A));
    m.ageE1A = readage(in, {"the age of the ewes at first use", "ageE1A"});
    surplus(in, "the age of the ewes at first use");
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

    // Two counts, 70 values and three ages, and the three lists (the ewe
    // count gives the age weights and the crossing shares).
    Calls calls{2 + 70 + 3 + 3, 2};
    calls.tell(in);
    in.block = "the ram classes and their age weights";
    m.RRB = readclasses(s, m.l4RB, rams, "RRB", "l4RB", calls);
    in.block = "the ewe classes and their age weights";
    m.LLB = readclasses(s, m.l4EB, ewes, "LLB", "l4EB", calls, 2);

    in.block = "the 35 economic values for purebred progeny";
    readvalues(s, m.evpB, 1, "the economic value for purebred progeny of trait", "evpB");
    in.block = "the 35 economic values for crossbred progeny";
    readvalues(s, m.evpB, 2, "the economic value for crossbred progeny of trait", "evpB");

    in.block = "the ages at first use";
    m.ageR11B = readage(in, {"the age of the B rams at first use", "ageR11B"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR11B));
    m.ageR12A = readage(in, {"the age of the A rams at first use on B ewes", "ageR12A"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageR12A));
    m.ageE1B = readage(in, {"the age of the B ewes at first use", "ageE1B"});
    outputrw(s.tpl, s.res);
    out.format("%8.1f", static_cast<double>(m.ageE1B));
    outputrw(s.tpl, s.res);

    in.block = "the crossing shares";
    for (int i = 1; i <= m.LLB; ++i) {
        const Value share{"the crossing share of ewe class", indexed("pcrossE", i), i};
        m.pcrossE[i] = scanfloat(in, share);
        if (m.pcrossE[i] < 0 || m.pcrossE[i] > 1)
            outofrange(in, share, m.pcrossE[i], "between 0 and 1");
        if (i == m.LLB) surplus(in, "the crossing share of the last ewe class");
        out.format(i < m.LLB ? "   %8d            %12.5f\n" : "   %8d            %12.5f", i,
                     static_cast<double>(m.pcrossE[i]));
    }
    outputrw(s.tpl, s.res);
    closein(s.in);
}

} // namespace kalp
