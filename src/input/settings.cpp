#include "input/settings.h"

#include <string>

#include "core/stop.h"
#include "textio/records.h"
#include "textio/segments.h"

namespace kalp {

namespace {

// A path of n values into P[row][first] .. P[row][first + n - 1], given in
// front of its words and echoed behind them. Missing values stay 0. The
// column of a value is the class it comes from.
void readpath(Streams& s, const char* path, float* row, int rownumber, int first, int n) {
    for (int k = 0; k < n; ++k) {
        const std::string what =
            "the share of class " + std::to_string(first + k) + " in the " + path;
        const Value share{what.c_str(), indexed("P", rownumber, first + k)};
        float& v = row[first + k];
        if (tryscanfloat(s.in, v, share) && v < 0) outofrange(s.in, share, v, "at least 0");
    }
    const Leftover left = leftover(s.in);
    if (left.count > 0)
        warn(s.in, std::string(s.in.name) + ", line " + std::to_string(lineof(s.in, left.first)) +
                       ": the " + path + " takes " + numbers(n) + ", one per class of its block; " +
                       (left.count == 1 ? "the number" : "the " + numbers(left.count)) +
                       " after them in front of its words " + (left.count == 1 ? "is" : "are") +
                       " not read");
    wrides(s.in, s.res);
    for (int k = 0; k < n; ++k)
        s.res.format("%6.3f", static_cast<double>(row[first + k]));
}

void pathorskip(Streams& s, int option, const char* path, Model& m, int row, int first, int n) {
    if (option == 1)
        readpath(s, path, m.P[row], row, first, n);
    else
        readdes(s.in);
}

} // namespace

void readsettings(Model& m, Streams& s) {
    const bool one = m.prods == 1;
    const char* name = one ? "INPUTVRD02.TXT" : "INPUTVRD03.TXT";
    reading(s, name);
    m.n2 = one ? 2 : 3;
    m.n3 = 0;
    ++m.zz;
    inp00(s.res, m.n2, m.n3, m.zz);
    s.in = openin(s, name);
    readcom(s.in);
    if (!one) {
        m.pdA = readfloat(s.res, s.in, {"the expression weight of system A", "pdA"});
        m.pdB = readfloat(s.res, s.in, {"the expression weight of system B", "pdB"});
    }
    m.n_sac = readint(s.res, s.in, {"the traced sex and age group", "n_sac"});
    const size_t tracedat = s.in.wordat;
    const Value years{"the number of years", "l_inv"};
    m.l_inv = readint(s.res, s.in, years);
    const size_t yearsat = s.in.wordat;
    m.pgssA = readint(s.res, s.in, {"the sire path option of system A", "pgssA"});
    m.pgdsA = readint(s.res, s.in, {"the dam path option of system A", "pgdsA"});
    if (!one) {
        m.pgssB = readint(s.res, s.in, {"the sire path option of system B", "pgssB"});
        m.pgdsB = readint(s.res, s.in, {"the dam path option of system B", "pgdsB"});
    }
    pathorskip(s, m.pgssA, "sire path of system A", m, 1, 1, m.acsA);
    pathorskip(s, m.pgdsA, "dam path of system A", m, 1, m.acsA + 1, m.acdA);
    if (!one) {
        const Blocks b = blocks(m);
        pathorskip(s, m.pgssB, "sire path of system B", m, b.s2 + 1, b.s2 + 1, m.acsB);
        pathorskip(s, m.pgdsB, "dam path of system B", m, b.s2 + 1, b.s3 + 1, m.acdB);
    }
    closein(s.in);
    // The whole file is read and echoed before its values are checked.
    if (m.n_sac < 1 || m.n_sac > tracedbound(m))
        nonsense02(m.acm, m.prods, m.n_sac,
                   std::string(name) + ", line " + std::to_string(lineof(s.in, tracedat)) +
                       ": the traced group " + std::to_string(m.n_sac) + " stands there");
    s.in.wordat = yearsat;
    s.in.suspect = std::string::npos;
    if (m.l_inv < 1) outofrange(s.in, years, m.l_inv, "at least 1");
    if (m.l_inv > mostyears) outofrange(s.in, years, m.l_inv, "at most 1000000");
}

} // namespace kalp
