// The gene-flow loop written the plain way, row by row, as the reference
// that the program's loop must match bit for bit.
#pragma once

#include "core/model.h"
#include "platform/platform.h"

namespace kalp::test {

inline void plainflow(Model& m) {
    m.m_gf[m.n_sac] = 1;
    for (int t = 1; t <= m.l_inv; ++t) {
        for (int i = 1; i <= m.acm; ++i)
            for (int j = 1; j <= m.acm; ++j)
                m.m_gft[i] = static_cast<float>(static_cast<double>(m.m_gft[i]) +
                                                static_cast<double>(m.P[i][j]) *
                                                    static_cast<double>(m.m_gf[j]));
        for (int i = 1; i <= m.acm; ++i) {
            m.m_gf[i] = m.m_gft[i];
            const double d = platform::power(1.0 + static_cast<double>(m.u), t);
            m.m_sum[i] = static_cast<float>(static_cast<double>(m.m_sum[i]) +
                                            static_cast<double>(m.m_gf[i]) / d);
            if (t < m.l_inv) m.m_gft[i] = 0;
        }
    }
}

} // namespace kalp::test
