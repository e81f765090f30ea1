#include "core/model.h"

#include <cmath>

namespace kalp {

namespace {
// Trait type: 0 direct only, 1 maternal only, 2 direct and maternal.
constexpr int trait_type[NT] = {
    0,                            // unused slot
    2, 2, 2,                      // 1-3
    0, 0, 0, 0,                   // 4-7
    1,                            // 8
    0, 0, 0, 0, 0, 0,             // 9-14
    0, 0, 0, 0, 0, 0,             // 15-20
    1, 1,                         // 21-22
    2, 2,                         // 23-24
    0,                            // 25
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 26-35
};
} // namespace

bool negligible(float v) { return std::fabs(static_cast<double>(v)) < 1e-6; }

bool hasdirect(const Model& m, int k) { return m.tt[k] == 0 || m.tt[k] == 2; }
bool hasmaternal(const Model& m, int k) { return m.tt[k] == 1 || m.tt[k] == 2; }
bool hasweight(const Model& m, int k) { return !negligible(m.ew_d[k]) || !negligible(m.ew_m[k]); }

int traittype(int k) { return k > 0 && k < NT ? trait_type[k] : 0; }

int tracedbound(int acm, int prods) { return prods == 1 ? acm - 1 : acm - 3; }
int tracedbound(const Model& m) { return tracedbound(m.acm, m.prods); }

const TraitPair traitpairs[7] = {{0, 0, false, false},  {2, 3, true, true},
                                 {4, 5, true, false},   {26, 27, false, true},
                                 {28, 29, false, true}, {30, 31, false, true},
                                 {32, 33, false, true}};

Blocks blocks(const Model& m) {
    const int s1 = m.acsA + m.acdA;
    const int s2 = s1 + m.acsAB;
    return Blocks{s1, s2, s2 + m.acsB};
}

void reset(Model& m) {
    m = Model{};
    for (int i = 1; i < NT; ++i) {
        m.tt[i] = trait_type[i];
        m.delta_d[i] = hasdirect(m, i) ? 1 : 0;
        m.delta_m[i] = hasmaternal(m, i) ? 1 : 0;
    }
}

} // namespace kalp
