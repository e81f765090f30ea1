// Results that are not numbers end the run before anything is reported.
//
// Input values are finite, but a discount rate near -1, or economic values
// and standard deviations near the largest float, can overflow on the way to
// the weights.
#pragma once

#include "core/model.h"

namespace kalp {

// The discounted gene flow of every class and the economic weights.
void requirefiniteweights(const Model& m);
// The standardised weights, their sums and the relative weights.
void requirefinitestandardised(const Model& m);

} // namespace kalp
