#include "model/standardise.h"

#include <cmath>

namespace kalp {

namespace {

// |x| x 100 / sum in percent, or 0 when there is nothing to divide by.
float percent(float x, float sum) {
    if (sum == 0) return 0;
    return static_cast<float>(std::fabs(static_cast<double>(x)) * 100.0 / static_cast<double>(sum));
}

float addabs(float sum, float x) {
    return static_cast<float>(static_cast<double>(sum) + std::fabs(static_cast<double>(x)));
}

} // namespace

double sharepercent(float part, float total) {
    if (total == 0) return 0;
    return 100.0 * static_cast<double>(part) / static_cast<double>(total);
}

float signedshare(float share, float ew) { return ew < 0 && share != 0 ? -share : share; }

void choosepairs(Model& m) {
    // flag k keeps one trait of its pair; direct-only pairs touch delta_d,
    // maternal-only pairs delta_m, the pair 2/3 both.
    for (int k = 1; k <= 6; ++k) {
        const TraitPair& p = traitpairs[k];
        int dropped = 0;
        if (m.flag[k] == p.first) dropped = p.second;
        if (m.flag[k] == p.second) dropped = p.first;
        if (dropped == 0) continue;
        if (p.direct) m.delta_d[dropped] = 0;
        if (p.maternal) m.delta_m[dropped] = 0;
    }
}

void standardise(Model& m) {
    m.ewsum_d = 0;
    m.ewsum_m = 0;
    for (int i = 1; i <= 35; ++i) {
        if (!hasweight(m, i)) continue;
        if (hasdirect(m, i)) {
            m.ewst_d[i] = static_cast<float>(static_cast<double>(m.ew_d[i]) *
                                             static_cast<double>(m.gstd_d[i]));
            if (m.delta_d[i] == 1) m.ewsum_d = addabs(m.ewsum_d, m.ewst_d[i]);
        }
        if (hasmaternal(m, i)) {
            m.ewst_m[i] = static_cast<float>(static_cast<double>(m.ew_m[i]) *
                                             static_cast<double>(m.gstd_m[i]));
            if (m.delta_m[i] == 1) m.ewsum_m = addabs(m.ewsum_m, m.ewst_m[i]);
        }
    }
    m.ewsum = static_cast<float>(static_cast<double>(m.ewsum_d) + static_cast<double>(m.ewsum_m));
    for (int i = 1; i <= 35; ++i) {
        if (!hasweight(m, i)) continue;
        if (m.delta_d[i] == 1) {
            m.ewr_dd[i] = percent(m.ewst_d[i], m.ewsum_d);
            m.ewr_da[i] = percent(m.ewst_d[i], m.ewsum);
        }
        if (m.delta_m[i] == 1) {
            m.ewr_mm[i] = percent(m.ewst_m[i], m.ewsum_m);
            m.ewr_ma[i] = percent(m.ewst_m[i], m.ewsum);
        }
    }
}

} // namespace kalp
