#include "model/geneflow.h"

#include <cmath>

#include "platform/platform.h"

namespace kalp {

namespace {

// m_gft[i] + P[i][j] x m_gf[j], formed in double and rounded to single.
float term(float sum, float p, float g) {
    return static_cast<float>(static_cast<double>(sum) + static_cast<double>(p) * g);
}

} // namespace

// Each m_gft[i] takes its terms in increasing j with a rounding after every
// term, as in the plain row-by-row loop. The loop runs over the columns j
// and, within a column, only over the rows whose entry is not zero: with a
// finite gene share g a zero entry adds a zero, which leaves the sum as it
// is, except that it may turn a sum of -0 into +0. Such a sum is formed
// again over the whole row. A share that is infinite or not a number meets
// every row (0 x inf is not a number). P itself is finite: a row holding an
// infinity fails the row-sum validation.
void geneflow(Model& m, const YearHook& after) {
    const int n = m.acm;
    int rows[ACM][ACM]; // rows[j][0..count[j]-1]: rows with P[i][j] != 0
    int count[ACM] = {};
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
            if (m.P[i][j] != 0) rows[j][count[j]++] = i;

    m.m_gf[m.n_sac] = 1;
    if (after) after(m, 0);
    for (int t = 1; t <= m.l_inv; ++t) {
        for (int j = 1; j <= n; ++j) {
            const float g = m.m_gf[j];
            if (g == 0) continue;
            if (std::isfinite(g)) {
                for (int k = 0; k < count[j]; ++k) {
                    const int i = rows[j][k];
                    m.m_gft[i] = term(m.m_gft[i], m.P[i][j], g);
                }
            } else {
                for (int i = 1; i <= n; ++i)
                    m.m_gft[i] = term(m.m_gft[i], m.P[i][j], g);
            }
        }
        for (int i = 1; i <= n; ++i) {
            if (m.m_gft[i] == 0 && std::signbit(m.m_gft[i])) {
                m.m_gft[i] = 0;
                for (int j = 1; j <= n; ++j)
                    m.m_gft[i] = term(m.m_gft[i], m.P[i][j], m.m_gf[j]);
            }
        }
        // (1 + u)^t: the pow of Windows' C library rounds otherwise than
        // Linux's, and the platform's power gives Windows Linux's results.
        const double d = platform::power(1.0 + static_cast<double>(m.u), t);
        for (int i = 1; i <= n; ++i) {
            m.m_gf[i] = m.m_gft[i];
            m.m_sum[i] = static_cast<float>(static_cast<double>(m.m_sum[i]) +
                                            static_cast<double>(m.m_gf[i]) / d);
            if (t < m.l_inv) m.m_gft[i] = 0;
        }
        if (after) after(m, t);
    }
}

} // namespace kalp
