// Small model states built by hand for the model tests.
#pragma once

#include "core/model.h"

namespace kalp::test {

// One system: RRA 2 (0.6, 0.4), LLA 3 (0.5, 0.3, 0.2), both ages 365 days,
// both paths computed: acsA 3, acdA 4, acm 8.
void eightclasses(Model& m);

// Two systems: RRA 3, ageR11A 365, LLA 5, ageE1A 730; RRB 2, ageR11B 400,
// LLB 4, ageE1B 365, ageR12A 0; all paths computed: acm 24.
void twentyfourclasses(Model& m);

} // namespace kalp::test
