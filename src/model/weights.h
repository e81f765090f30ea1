// Expressions of the traced genes and the economic weights of the traits.
//
// The direct component is expressed in the progeny classes, the maternal
// component in the reproductive ewe classes by their share of the lambs.
#pragma once

#include "core/model.h"

namespace kalp {

// One system: h_d, h_m, the discounted expressions a2 and a3, ew_d, ew_m.
void weightsone(Model& m);
// Two systems: h_d, h_m scaled by pdA/pdB, he_d, he_m, ew_d, ew_m.
void weightstwo(Model& m);
// The weights of the run's systems (requirefiniteweights checks them).
void economicweights(Model& m);

} // namespace kalp
