#include "index/pedigree.h"

namespace kalp {

namespace {

// The mother of a lamb stands second. Which parent of a progeny is the
// candidate does not change a relationship.
constexpr Parents table[animals] = {
    {-1, -1},             // sire of the sire
    {-1, -1},             // dam of the sire
    {-1, -1},             // sire of the dam
    {-1, -1},             // dam of the dam
    {sireofsire, damofsire},
    {sireofdam, damofdam},
    {sire, dam},          // the candidate
    {sire, dam},          // full sibs
    {sire, dam},
    {-1, -1},             // the dams of the half sibs
    {-1, -1},
    {sire, halfdam1},     // paternal half sibs
    {sire, halfdam2},
    {-1, -1},             // the candidate's mates
    {-1, -1},
    {candidate, mate1},   // progeny
    {candidate, mate2},
};

// A_ii = 1 + A(s, d) / 2 and A_ij = (A(j, s) + A(j, d)) / 2 for the animals
// j listed before i; an unknown parent contributes 0.
Relationships tabular() {
    Relationships r{};
    auto of = [&](int i, int j) { return i < 0 || j < 0 ? 0.0 : r.a[i][j]; };
    for (int i = 0; i < animals; ++i) {
        const Parents p = table[i];
        for (int j = 0; j < i; ++j) {
            r.a[i][j] = (of(j, p.sire) + of(j, p.dam)) / 2;
            r.a[j][i] = r.a[i][j];
        }
        r.a[i][i] = 1 + of(p.sire, p.dam) / 2;
    }
    return r;
}

} // namespace

const Parents& parentsof(Animal a) { return table[a]; }

const Relationships& relationships() {
    static const Relationships r = tabular();
    return r;
}

} // namespace kalp
