#include "report/dump.h"

#include <cmath>

namespace kalp {

namespace {

bool above(float v) { return std::fabs(static_cast<double>(v)) > 1e-6; }

struct Dump {
    const Sink& out;
    bool two, std;

    void blank() { out.put('\n'); }
    void i(const char* name, int v) { out.format("%s = %4d\n", name, v); }
    void f(const char* fmt, float v) { out.format(fmt, static_cast<double>(v)); }

    // One line per trait, "not calculated" for a negligible value. `index`
    // is the text after the trait number: "" or "[1]", "[2]" for a column.
    void line(const char* name, int k, const char* index, float v) {
        if (std::fabs(static_cast<double>(v)) < 1e-6)
            out.format("%s[%d]%s = not calculated\n", name, k, index);
        else
            out.format("%s[%d]%s = %12.4f\n", name, k, index, static_cast<double>(v));
    }
    void orcalc(const char* name, const float* v) {
        for (int k = 1; k <= 35; ++k)
            line(name, k, "", v[k]);
        blank();
    }
    // Economic values of one column.
    void values(const char* name, const float (*v)[3], int col) {
        for (int k = 1; k <= 35; ++k)
            line(name, k, col == 1 ? "[1]" : "[2]", v[k][col]);
        blank();
    }
    // Elements 1..n whose `test` element is not negligible.
    void nonzero(const char* fmt, const float* v, const float* test, int n) {
        for (int k = 1; k <= n; ++k)
            if (above(test[k])) out.format(fmt, k, static_cast<double>(v[k]));
        blank();
    }
    void all(const char* fmt, const double* v, int n) {
        for (int k = 1; k <= n; ++k)
            out.format(fmt, k, v[k]);
        blank();
    }
    void ints(const char* fmt, const int* v, int n) {
        for (int k = 1; k <= n; ++k)
            out.format(fmt, k, v[k]);
        blank();
    }
    void matrix(const char* fmt, const float (*v)[ACM], int rows, int cols) {
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c)
                if (above(v[r][c])) out.format(fmt, r, c, static_cast<double>(v[r][c]));
        blank();
    }
};

} // namespace

void writedump(const Model& m, const Sink& out) {
    Dump d{out, m.prods >= 2, m.gstd == 2};
    d.f("a2 = %8.3f\n", m.a2);
    d.f("a3 = %8.3f\n", m.a3);
    d.i("ac", m.ac);
    d.i("acdA", m.acdA);
    if (d.two) d.i("acdB", m.acdB);
    d.i("ACM", ACM);
    d.i("acm", m.acm);
    d.i("acsA", m.acsA);
    if (d.two) {
        d.i("acsAB", m.acsAB);
        d.i("acsB", m.acsB);
    }
    d.f("ageE1A = %8.1f\n", m.ageE1A);
    if (d.two) d.f("ageE1B = %8.1f\n", m.ageE1B);
    d.f("ageR11A = %8.1f\n", m.ageR11A);
    if (d.two) {
        d.f("ageR11B = %8.1f\n", m.ageR11B);
        d.f("ageR12A = %8.1f\n", m.ageR12A);
    }
    d.i("CB", CB);
    d.blank();
    if (d.std) {
        d.ints("delta_d[%d] = %3d\n", m.delta_d, 35);
        d.ints("delta_m[%d] = %3d\n", m.delta_m, 35);
    }
    d.i("errmess", m.errmess);
    d.blank();
    d.values("evpA", m.evpA, 1);
    if (d.two) {
        d.values("evpB", m.evpB, 1);
        d.values("evpB", m.evpB, 2);
    }
    d.orcalc("ew_d", m.ew_d);
    d.orcalc("ew_m", m.ew_m);
    if (d.std) {
        d.nonzero("ewr_da[%d] = %12.4f\n", m.ewr_da, m.ewr_da, 35);
        d.nonzero("ewr_dd[%d] = %12.4f\n", m.ewr_dd, m.ewr_dd, 35);
        d.nonzero("ewr_ma[%d] = %12.4f\n", m.ewr_ma, m.ewr_ma, 35);
        d.nonzero("ewr_mm[%d] = %12.4f\n", m.ewr_mm, m.ewr_mm, 35);
        d.nonzero("ewst_d[%d] = %12.4f\n", m.ewst_d, m.ew_d, 35);
        d.nonzero("ewst_m[%d] = %12.4f\n", m.ewst_m, m.ew_m, 35);
        d.f("ewsum = %10.3f\n", m.ewsum);
        d.f("ewsum_d = %10.3f\n", m.ewsum_d);
        d.f("ewsum_m = %10.3f\n", m.ewsum_m);
        d.blank();
        d.ints("flag[%d] = %3d\n", m.flag, 6);
    }
    d.i("gstd", m.gstd);
    d.blank();
    if (d.std) {
        d.nonzero("gstd_d[%d] = %12.4f\n", m.gstd_d, m.ew_d, 35);
        d.nonzero("gstd_m[%d] = %12.4f\n", m.gstd_m, m.ew_m, 35);
    }
    d.nonzero("h_d[%d] = %8.5f\n", m.h_d, m.h_d, m.acm);
    d.nonzero("h_m[%d] = %8.5f\n", m.h_m, m.h_m, m.acm);
    if (d.two) {
        d.matrix("he_d[%d][%d] = %12.4f\n", m.he_d, 35, m.acm);
        d.matrix("he_m[%d][%d] = %12.4f\n", m.he_m, 35, m.acm);
    }
    d.i("L", L);
    d.i("l_inv", m.l_inv);
    d.blank();
    d.all("l4EA[%d] = %8.5f\n", m.l4EA, m.LLA);
    if (d.two) d.all("l4EB[%d] = %8.5f\n", m.l4EB, m.LLB);
    d.all("l4RA[%d] = %8.5f\n", m.l4RA, m.RRA);
    if (d.two) d.all("l4RB[%d] = %8.5f\n", m.l4RB, m.RRB);
    d.i("LLA", m.LLA);
    if (d.two) d.i("LLB", m.LLB);
    d.blank();
    d.nonzero("m_gf[%d] = %8.5f\n", m.m_gf, m.m_gf, m.acm);
    d.nonzero("m_gft[%d] = %8.5f\n", m.m_gft, m.m_gft, m.acm);
    d.nonzero("m_sum[%d] = %8.5f\n", m.m_sum, m.m_sum, m.acm);
    d.i("n_sac", m.n_sac);
    d.i("n2", m.n2);
    d.i("n3", m.n3);
    d.i("NT", NT);
    d.blank();
    d.matrix("P[%d][%d] = %12.6f\n", m.P, m.acm, m.acm);
    if (d.two) {
        for (int k = 1; k <= m.LLB; ++k)
            out.format("pcrossE[%d] = %8.3f\n", k, static_cast<double>(m.pcrossE[k]));
        d.blank();
        d.f("pdA = %8.3f\n", m.pdA);
        d.f("pdB = %8.3f\n", m.pdB);
    }
    d.i("pgdsA", m.pgdsA);
    if (d.two) d.i("pgdsB", m.pgdsB);
    d.i("pgssA", m.pgssA);
    if (d.two) d.i("pgssB", m.pgssB);
    d.i("prods", m.prods);
    d.i("R", R);
    d.i("RRA", m.RRA);
    if (d.two) d.i("RRB", m.RRB);
    d.blank();
    d.ints("tt[%d] = %3d\n", m.tt, 35);
    d.f("u = %7.2f\n", m.u);
    d.i("zz", m.zz);
}

std::string dumptext(const Model& m) {
    std::string text;
    writedump(m, Sink{&text});
    return text;
}

} // namespace kalp
