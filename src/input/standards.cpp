#include "input/standards.h"

#include <cmath>

#include "textio/records.h"
#include "textio/segments.h"

namespace kalp {

namespace {

void openwithheading(Model& m, Streams& s, int n2, const char* name) {
    reading(s, name);
    std::fputs("\n\n", s.res.fp);
    m.n2 = n2;
    m.n3 = 0;
    ++m.zz;
    inp00(s.res, m.n2, m.n3, m.zz);
    s.in = openin(s, name);
    readcom(s.in);
}

} // namespace

void readdeviations(Model& m, Streams& s) {
    openwithheading(m, s, 4, "INPUTVRD04.TXT");
    const char* dname = "the direct standard deviation of trait";
    const char* mname = "the maternal standard deviation of trait";
    for (int i = 1; i <= 35; ++i) {
        if (negligible(m.ew_d[i]) && negligible(m.ew_m[i])) {
            readdes(s.in);
            continue;
        }
        // A missing value stays 0; its words keep the file in step.
        switch (m.tt[i]) {
        case 2:
            tryscanfloat(s.in, m.gstd_d[i], {dname, indexed("gstd_d", i), i});
            tryscanfloat(s.in, m.gstd_m[i], {mname, indexed("gstd_m", i), i});
            wrides(s.in, s.res);
            std::fprintf(s.res.fp, "%12.4f %12.4f", static_cast<double>(m.gstd_d[i]),
                         static_cast<double>(m.gstd_m[i]));
            break;
        case 0:
            tryscanfloat(s.in, m.gstd_d[i], {dname, indexed("gstd_d", i), i});
            wrides(s.in, s.res);
            std::fprintf(s.res.fp, "%12.4f", static_cast<double>(m.gstd_d[i]));
            break;
        default:
            tryscanfloat(s.in, m.gstd_m[i], {mname, indexed("gstd_m", i), i});
            wrides(s.in, s.res);
            std::fprintf(s.res.fp, "%12.4f", static_cast<double>(m.gstd_m[i]));
            break;
        }
    }
    closein(s.in);
}

void readflags(Model& m, Streams& s) {
    openwithheading(m, s, 5, "INPUTVRD05.TXT");
    static const char* const pairs[7] = {
        "",
        "the choice between traits 2 and 3",
        "the choice between traits 4 and 5",
        "the choice between traits 26 and 27",
        "the choice between traits 28 and 29",
        "the choice between traits 30 and 31",
        "the choice between traits 32 and 33",
    };
    for (int k = 1; k <= 6; ++k)
        m.flag[k] = readint(s.res, s.in, {pairs[k], indexed("flag", k)});
    closein(s.in);
}

} // namespace kalp
