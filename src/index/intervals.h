// Generation intervals from the age structure of a run: the mean age of
// the parents at the birth of their lambs, weighted by the age weights of
// their reproductive classes.
//
// A class of age a (the age in whole years that kalp --classes gives, the
// newborn class 0) has its lambs a + 1 years after its own birth: the
// matings of a year give the newborn class of the next year in the gene
// flow. Rams first used at 365 days (reproductive class 1 is of age 1)
// count 2 years for their first lambs, as the gene flow does.
#pragma once

#include "core/model.h"

namespace kalp {

struct Intervals {
    double rams = 0, ewes = 0;
};

// The intervals of the rams and ewes of the system whose newborn the
// traced group descends from: system A for the rams and ewes of A and the
// rams of A used on B ewes, system B for the rams and ewes of B.
Intervals generationintervals(const Model& m, int traced);

} // namespace kalp
