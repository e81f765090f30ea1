// The standard pedigree of a candidate for selection and the additive
// relationships of its animals, by the tabular method.
//
// The candidate, its parents and grandparents, two full sibs (its
// littermates), two paternal half sibs by unrelated dams and two progeny
// by unrelated mates. The base animals (grandparents, the half sibs' dams,
// the mates) are unrelated and not inbred. Two of each kind of relative
// are enough for every covariance: one with the candidate, one between two
// members of a group.
#pragma once

namespace kalp {

enum Animal {
    sireofsire,
    damofsire,
    sireofdam,
    damofdam,
    sire,
    dam,
    candidate,
    fullsib1,
    fullsib2,
    halfdam1,
    halfdam2,
    halfsib1,
    halfsib2,
    mate1,
    mate2,
    progeny1,
    progeny2,
    animals
};

// The parents of an animal, -1 for a base animal.
struct Parents {
    int sire, dam;
};
// The parents of every animal, each listed after its parents.
const Parents& parentsof(Animal a);

struct Relationships {
    double a[animals][animals];
};
// The additive relationships of the standard pedigree, by the tabular
// method (computed once).
const Relationships& relationships();

} // namespace kalp
