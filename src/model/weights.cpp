#include "model/weights.h"

#include <cmath>

namespace kalp {

namespace {
// x + y * z, formed in double and rounded to single precision.
float addproduct(float x, double y, double z) {
    return static_cast<float>(static_cast<double>(x) + y * z);
}
} // namespace

void weightsone(Model& m) {
    const int s1 = m.acsA + m.acdA;
    m.h_d[m.acm] = 1;
    for (int i = 1; i <= m.LLA; ++i)
        m.h_m[s1 - m.LLA + i] = static_cast<float>(m.l4EA[i]);
    m.a3 = 0;
    m.a2 = 0;
    for (int j = 1; j <= m.acm; ++j) {
        m.a2 = addproduct(m.a2, m.h_d[j], m.m_sum[j]);
        m.a3 = addproduct(m.a3, m.h_m[j], m.m_sum[j]);
    }
    for (int k = 1; k <= 35; ++k) {
        const double value = m.evpA[k][1];
        if (std::fabs(value) < 0.000001) {
            m.ew_d[k] = 0;
            m.ew_m[k] = 0;
            continue;
        }
        m.ew_d[k] = hasdirect(m, k) ? static_cast<float>(value * m.a2) : 0.0f;
        m.ew_m[k] = hasmaternal(m, k) ? static_cast<float>(value * m.a3) : 0.0f;
    }
}

void weightstwo(Model& m) {
    const int s1 = m.acsA + m.acdA;
    const int s4 = m.acm - 3; // last class of the B-dam block
    m.h_d[m.acm - 2] = m.pdA;
    m.h_d[m.acm] = m.pdB;
    m.h_d[m.acm - 1] = m.pdB;
    for (int i = 1; i <= m.LLA; ++i)
        m.h_m[s1 - m.LLA + i] = static_cast<float>(static_cast<double>(m.pdA) * m.l4EA[i]);
    for (int i = 1; i <= m.LLB; ++i)
        m.h_m[s4 - m.LLB + i] = static_cast<float>(static_cast<double>(m.pdB) * m.l4EB[i]);

    for (int k = 1; k <= 35; ++k) {
        const double a = m.evpA[k][1];
        const double pure = m.evpB[k][1];
        const double cross = m.evpB[k][2];
        float* hd = m.he_d[k];
        float* hm = m.he_m[k];
        hd[m.acm - 2] = static_cast<float>(static_cast<double>(m.h_d[m.acm - 2]) * a);
        hd[m.acm - 1] = static_cast<float>(static_cast<double>(m.h_d[m.acm - 1]) * pure);
        hd[m.acm] = static_cast<float>(static_cast<double>(m.h_d[m.acm]) * cross);
        for (int j = m.acsA + 1; j <= s1; ++j)
            hm[j] = static_cast<float>(static_cast<double>(m.h_m[j]) * a);
        for (int j = m.acm - m.acdB - 2; j <= s4; ++j)
            hm[j] = static_cast<float>((pure + cross) * static_cast<double>(m.h_m[j]));
        m.ew_m[k] = 0;
        m.ew_d[k] = 0;
        for (int j = 1; j <= m.acm; ++j) {
            if (hasdirect(m, k)) m.ew_d[k] = addproduct(m.ew_d[k], hd[j], m.m_sum[j]);
            if (hasmaternal(m, k)) m.ew_m[k] = addproduct(m.ew_m[k], hm[j], m.m_sum[j]);
        }
    }
}

void economicweights(Model& m) {
    if (m.prods == 1)
        weightsone(m);
    else
        weightstwo(m);
}

} // namespace kalp
