#include "index/agreement.h"

#include <cmath>

namespace kalp {

double coveredshare(const IndexResult& r, const IndexData& d, const Model& m) {
    double covered = 0;
    for (const IndexComponent& c : r.components) {
        const int k = d.traits[static_cast<size_t>(c.trait)].number;
        if (k == 0 || !hasweight(m, k)) continue;
        const bool direct = c.effect == Effect::direct;
        if ((direct ? m.delta_d[k] : m.delta_m[k]) != 1) continue;
        covered += std::fabs(static_cast<double>(direct ? m.ewst_d[k] : m.ewst_m[k]));
    }
    const double sum = m.ewsum;
    return sum > 0 ? 100 * covered / sum : 0;
}

std::vector<SdDifference> sddifferences(const IndexResult& r, const IndexData& d, const Model& m) {
    std::vector<SdDifference> v;
    for (size_t j = 0; j < r.components.size(); ++j) {
        const IndexComponent& c = r.components[j];
        const int k = d.traits[static_cast<size_t>(c.trait)].number;
        if (k == 0 || !hasweight(m, k)) continue; // the run reads no deviation for it
        const double run = c.effect == Effect::direct ? m.gstd_d[k] : m.gstd_m[k];
        if (std::fabs(c.sd - run) > 0.01 * std::fabs(run))
            v.push_back({static_cast<int>(j), c.sd, run});
    }
    return v;
}

} // namespace kalp
