// Index data for the tests, in memory.
#pragma once

#include "core/indexdata.h"

namespace kalp::test {

// A lamb trait (direct, and maternal with h2m > 0) and a trait of the ewe.
inline IndexTrait lambtrait(const char* name, int number, double sd, double h2, double h2m = 0,
                            double rdm = 0, double c2 = 0, double repeatability = -1) {
    IndexTrait t;
    t.name = name;
    t.number = number;
    t.sd = sd;
    t.h2 = h2;
    t.h2m = h2m;
    t.rdm = rdm;
    t.c2 = c2;
    t.repeatability = repeatability;
    return t;
}
inline IndexTrait ewetrait(const char* name, int number, double sd, double h2, double c2 = 0,
                           double repeatability = -1) {
    IndexTrait t = lambtrait(name, number, sd, h2, 0, 0, c2, repeatability);
    t.ewe = true;
    return t;
}
inline Selection intensityof(Path p, double i) {
    Selection s;
    s.path = p;
    s.intensity = i;
    return s;
}

} // namespace kalp::test
