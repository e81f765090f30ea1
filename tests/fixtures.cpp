#include "fixtures.h"

#include "model/layout.h"

namespace kalp::test {

void eightclasses(Model& m) {
    reset(m);
    m.prods = 1;
    m.RRA = 2;
    m.l4RA[1] = 0.6;
    m.l4RA[2] = 0.4;
    m.LLA = 3;
    m.l4EA[1] = 0.5;
    m.l4EA[2] = 0.3;
    m.l4EA[3] = 0.2;
    m.ageR11A = 365;
    m.ageE1A = 365;
    m.pgssA = 2;
    m.pgdsA = 2;
    layclasses(m);
}

void twentyfourclasses(Model& m) {
    reset(m);
    m.prods = 2;
    m.RRA = 3;
    m.l4RA[1] = 0.5;
    m.l4RA[2] = 0.3;
    m.l4RA[3] = 0.2;
    m.ageR11A = 365;
    m.LLA = 5;
    for (int i = 1; i <= 5; ++i)
        m.l4EA[i] = 0.2;
    m.ageE1A = 730;
    m.RRB = 2;
    m.l4RB[1] = 0.7;
    m.l4RB[2] = 0.3;
    m.ageR11B = 400;
    m.LLB = 4;
    m.l4EB[1] = 0.4;
    m.l4EB[2] = 0.3;
    m.l4EB[3] = 0.2;
    m.l4EB[4] = 0.1;
    for (int i = 1; i <= 4; ++i)
        m.pcrossE[i] = 0.5f;
    m.ageE1B = 365;
    m.ageR12A = 0;
    m.pgssA = m.pgdsA = m.pgssB = m.pgdsB = 2;
    layclasses(m);
}

} // namespace kalp::test
