// The sex-age classes: yearly age classes of the rams and ewes of each
// system, followed by one progeny class per kind of mating.
//
// One system:  A-sire block, A-dam block, progeny.
// Two systems: A-sire, A-dam, crossing-sire, B-sire, B-dam blocks, then the
//              progeny of A, the purebred progeny of B and the crossbred
//              progeny.
// The first class of a block is its newborn class, the last ones are its
// reproductive classes.
#pragma once

#include "core/model.h"

namespace kalp {

// Whole years in an age given in days, truncated toward zero.
int wholeyears(float days);

// Computes acsA, acdA (and acsAB, acsB, acdB with two systems) and acm.
// A layout that does not fit the model ends the run.
void layclasses(Model& m);

} // namespace kalp
