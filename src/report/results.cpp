#include "report/results.h"

#include <cmath>

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
        std::fprintf(s.res.fp, "%3d", m.ac);
        copy(s);
    } else {
        skip(s);
    }
}

void classrows(Streams& s, const Model& m, int first, int size) {
    for (int i = 1; i <= size; ++i)
        std::fprintf(s.res.fp, "          %3d                                     %8.3f\n", i,
                     static_cast<double>(m.m_sum[first + i - 1]));
}

void lastclassrow(Streams& s, float v) {
    std::fprintf(s.res.fp, "          %3d                                     %8.3f", 1,
                 static_cast<double>(v));
}

// One trait row by trait type: both values, direct only or maternal only;
// weights with 4 decimals, relative weights with 3.
void traitrow(Streams& s, int type, float d, float mat, bool relative) {
    FILE* out = s.res.fp;
    const int decimals = relative ? 3 : 4;
    const double x = d, y = mat;
    if (type == 2)
        std::fprintf(out, "%44s%10.*f%9s%10.*f\n", "", decimals, x, "", decimals, y);
    else if (type == 0)
        std::fprintf(out, "%44s%10.*f%15s-\n", "", decimals, x, "");
    else
        std::fprintf(out, "%50s-%12s%10.*f\n", "", "", decimals, y);
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

} // namespace

void writeresults(Model& m, Streams& s) {
    FILE* out = s.res.fp;
    copy(s);
    std::fprintf(out, "%2d.\n", m.prods);
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
    std::fprintf(out, "%4d\n", m.l_inv);
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
    std::fprintf(out, "                                            %10.4f         %10.4f\n", sd,
                 sm);
    copy(s);

    copy(s);
    traittable(m, s, m.ewr_dd, m.ewr_mm, m.ewr_dd, m.ewr_mm, true);
    copy(s);

    copy(s);
    traittable(m, s, m.ewr_da, m.ewr_ma, m.ewr_da, m.ewr_ma, true);
    copy(s);
    std::fprintf(out, "                                         %10.3f         %10.3f", sd, sm);
    copy(s);
}

std::string resultssection(Model& m, const FileSource& files) {
    Text text;
    Streams s;
    s.files = &files;
    s.res = text.s;
    s.tpl = openin(s, "TEXTVRD_OUT.TXT");
    try {
        skip(s, 128);
        writeresults(m, s);
    } catch (const RunStop&) {
        closein(s.tpl);
        throw;
    }
    closein(s.tpl);
    return text.str();
}

} // namespace kalp
