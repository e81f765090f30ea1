#include "input/standards.h"

#include <cmath>
#include <string>

#include "textio/records.h"
#include "textio/segments.h"

namespace kalp {

namespace {

void openwithheading(Model& m, Streams& s, int n2, const char* name) {
    reading(s, name);
    s.res.put("\n\n");
    m.n2 = n2;
    m.n3 = 0;
    ++m.zz;
    inp00(s.res, m.n2, m.n3, m.zz);
    s.in = openin(s, name);
    readcom(s.in);
}

// The words of a trait's record, after its standard deviations: numbers
// in front of the words beyond those the trait takes are not read.
void words(Streams& s, const Model& m, int k) {
    const Leftover left = leftover(s.in);
    if (left.count > 0) {
        const bool two = m.tt[k] == 2;
        const char* takes = two            ? "two standard deviations (direct and maternal)"
                            : m.tt[k] == 0 ? "one standard deviation (direct)"
                                           : "one standard deviation (maternal)";
        warn(s.in, std::string(s.in.name) + ", line " + std::to_string(lineof(s.in, left.first)) +
                       ": trait " + std::to_string(k) + " takes " + takes + "; " +
                       (left.count == 1 ? "the number" : "the " + numbers(left.count)) +
                       " after " + (two ? "them" : "it") + " in front of its words " +
                       (left.count == 1 ? "is" : "are") + " not read");
    }
    wrides(s.in, s.res);
}

} // namespace

void readdeviations(Model& m, Streams& s) {
    openwithheading(m, s, 4, "INPUTVRD04.TXT");
    const char* dname = "the direct standard deviation of trait";
    const char* mname = "the maternal standard deviation of trait";
    for (int i = 1; i <= 35; ++i) {
        if (!hasweight(m, i)) {
            readdes(s.in);
            continue;
        }
        // A missing value stays 0; its words keep the file in step.
        switch (m.tt[i]) {
        case 2:
            tryscanfloat(s.in, m.gstd_d[i], {dname, indexed("gstd_d", i), i});
            tryscanfloat(s.in, m.gstd_m[i], {mname, indexed("gstd_m", i), i});
            words(s, m, i);
            s.res.format("%12.4f %12.4f", static_cast<double>(m.gstd_d[i]),
                         static_cast<double>(m.gstd_m[i]));
            break;
        case 0:
            tryscanfloat(s.in, m.gstd_d[i], {dname, indexed("gstd_d", i), i});
            words(s, m, i);
            s.res.format("%12.4f", static_cast<double>(m.gstd_d[i]));
            break;
        default:
            tryscanfloat(s.in, m.gstd_m[i], {mname, indexed("gstd_m", i), i});
            words(s, m, i);
            s.res.format("%12.4f", static_cast<double>(m.gstd_m[i]));
            break;
        }
    }
    closein(s.in);
}

void readflags(Model& m, Streams& s) {
    openwithheading(m, s, 5, "INPUTVRD05.TXT");
    for (int k = 1; k <= 6; ++k) {
        const std::string what = "the choice between traits " +
                                 std::to_string(traitpairs[k].first) + " and " +
                                 std::to_string(traitpairs[k].second);
        m.flag[k] = readint(s.res, s.in, {what.c_str(), indexed("flag", k)});
    }
    closein(s.in);
}

} // namespace kalp
