// Standardised and relative economic weights.
#pragma once

#include "core/model.h"

namespace kalp {

// Excludes the other trait of each chosen pair from the sums (delta_d,
// delta_m). Runs in every run; flags stay 0 without standardisation.
void choosepairs(Model& m);
// ewst = ew x genetic standard deviation; the sums of their absolute
// values; each included component in percent of its sum and of the total.
// A sum of 0 leaves the relative weights that would divide by it at 0.
void standardise(Model& m);
// The share of a sum in the total in percent, in double precision; 0 when
// the total is 0.
double sharepercent(float part, float total);
// A relative weight (a share of absolute values) with the sign of its
// economic weight, as the exports and the charts give it: negative where
// selection should lower the trait. The results file prints the share.
float signedshare(float share, float ew);

} // namespace kalp
