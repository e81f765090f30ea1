#include "report/results.h"

#include <cmath>
#include <cstdio>

#include "core/stop.h"
#include "model/standardise.h"
#include "textio/segments.h"

namespace kalp {

namespace {

void copy(Streams& s) { outputrw(s.tpl, s.res); }
void skip(Streams& s, int n = 1) {
    for (int i = 0; i < n; ++i)
        outputr(s.tpl);
}

// The traced class's position in the block of classes before+1 .. last,
// followed by the block's caption, when it lies there; else the caption is
// skipped.
void tracedcaption(Model& m, Streams& s, int before, int last) {
    if (m.n_sac > before && m.n_sac <= last) {
        m.ac = m.n_sac - before;
        s.res.format("%3d", m.ac);
        copy(s);
    } else {
        skip(s);
    }
}

void classrows(Streams& s, const Model& m, int first, int size) {
    for (int i = 1; i <= size; ++i) {
        s.res.format("          %3d                                     ", i);
        s.res.put(flowtext(m.m_sum[first + i - 1]));
        s.res.put('\n');
    }
}

void lastclassrow(Streams& s, float v) {
    s.res.format("          %3d                                     ", 1);
    s.res.put(flowtext(v));
}

// One trait row by trait type: both values, direct only or maternal only;
// weights with 4 decimals, relative weights with 3.
void traitrow(const Streams& s, int type, float d, float mat, bool relative) {
    const Sink& out = s.res;
    const auto text = relative ? relativetext : weighttext;
    const std::string x = text(d), y = text(mat);
    if (type == 2)
        out.format("%44s%s%9s%s\n", "", x.c_str(), "", y.c_str());
    else if (type == 0)
        out.format("%44s%s%15s-\n", "", x.c_str(), "");
    else
        out.format("%50s-%12s%s\n", "", "", y.c_str());
}

// 35 trait captions, each copied with its row when the trait's test values
// are not both negligible, else skipped.
void traittable(Model& m, Streams& s, const float* testd, const float* testm, const float* d,
                const float* mat, bool relative) {
    for (int i = 1; i <= 35; ++i) {
        if (negligible(testd[i]) && negligible(testm[i])) {
            skip(s);
            continue;
        }
        copy(s);
        traitrow(s, m.tt[i], d[i], mat[i], relative);
    }
}

std::string formatted(const char* f, double v) {
    char text[64];
    std::snprintf(text, sizeof text, f, v);
    return text;
}

} // namespace

std::string weighttext(double v) { return formatted("%10.4f", v); }
std::string relativetext(double v) { return formatted("%10.3f", v); }
std::string flowtext(double v) { return formatted("%8.3f", v); }

void writeresults(Model& m, Streams& s) {
    const Sink& out = s.res;
    copy(s);
    out.format("%2d.\n", m.prods);
    copy(s);

    if (m.prods == 1) {
        tracedcaption(m, s, 0, m.acsA);
        tracedcaption(m, s, m.acsA, m.acm - 1);
    } else {
        skip(s, 2);
    }
    if (m.prods == 2) {
        const Blocks b = blocks(m);
        const int bounds[6] = {0, m.acsA, b.s1, b.s2, b.s3, m.acm - 3};
        for (int k = 1; k <= 5; ++k)
            tracedcaption(m, s, bounds[k - 1], bounds[k]);
    } else {
        skip(s, 5);
    }

    copy(s);
    out.format("%4d\n", m.l_inv);
    copy(s);

    classrows(s, m, 1, m.acsA);
    copy(s);
    classrows(s, m, m.acsA + 1, m.acdA);
    if (m.prods == 2) {
        const Blocks b = blocks(m);
        copy(s);
        classrows(s, m, b.s1 + 1, m.acsAB);
        copy(s);
        classrows(s, m, b.s2 + 1, m.acsB);
        copy(s);
        classrows(s, m, b.s3 + 1, m.acdB);
    } else {
        skip(s, 3);
    }
    copy(s);
    if (m.prods == 1) {
        lastclassrow(s, m.m_sum[m.acm]);
        skip(s, 2);
    } else {
        classrows(s, m, m.acm - 2, 1);
        copy(s);
        classrows(s, m, m.acm - 1, 1);
        copy(s);
        lastclassrow(s, m.m_sum[m.acm]);
    }
    copy(s);

    traittable(m, s, m.ew_d, m.ew_m, m.ew_d, m.ew_m, false);
    copy(s);
    if (m.gstd != 2) return;

    const double sd = sharepercent(m.ewsum_d, m.ewsum), sm = sharepercent(m.ewsum_m, m.ewsum);
    copy(s);
    traittable(m, s, m.ew_d, m.ew_m, m.ewst_d, m.ewst_m, false);
    copy(s);
    traitrow(s, 2, m.ewsum_d, m.ewsum_m, false);
    copy(s);
    out.format("                                            %s         %s\n", weighttext(sd).c_str(),
               weighttext(sm).c_str());
    copy(s);

    copy(s);
    traittable(m, s, m.ewr_dd, m.ewr_mm, m.ewr_dd, m.ewr_mm, true);
    copy(s);

    copy(s);
    traittable(m, s, m.ewr_da, m.ewr_ma, m.ewr_da, m.ewr_ma, true);
    copy(s);
    out.format("                                         %s         %s", relativetext(sd).c_str(),
               relativetext(sm).c_str());
    copy(s);
}

std::string resultssection(Model& m, const Folder& files) {
    std::string text;
    Streams s;
    s.files = &files;
    s.res = Sink{&text};
    s.tpl = openin(s, "TEXTVRD_OUT.TXT");
    skip(s, 128);
    writeresults(m, s);
    return text;
}

} // namespace kalp
