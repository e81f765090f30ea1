// What each sex-age class is: its system, its block, its age and whether
// its genes may be traced. The numbers are those of P and of the traced
// group in INPUTVRD02/03.TXT.
#pragma once

#include <string>

#include "core/model.h"

namespace kalp {

// A block of classes: the yearly age classes of one kind of parent, or one
// progeny class.
struct Block {
    const char* system; // "A", "B", or "A x B" for the crossbred progeny
    const char* sex;    // "rams", "ewes", or "progeny" for a progeny class
    const char* name;   // "rams of A", ..., "purebred progeny of B"
    int first, size;    // classes first .. first + size - 1
    int reproductive;   // the last ones are the reproductive classes
    bool progeny;       // receives genes but passes none on
};

// The blocks of the layout in class order; returns how many there are
// (3 with one system, 8 with two).
int layoutblocks(const Model& m, Block out[8]);

struct ClassInfo {
    Block block;
    int position;     // within the block, from 1
    int age;          // whole years: the newborn class is 0
    int reproductive; // 1..block.reproductive for a reproductive class, else 0
    bool traceable;   // may be the traced group
};

// Class c, 1 <= c <= acm, of a laid-out model.
ClassInfo describeclass(const Model& m, int c);

// "newborn rams of A", "ewes of B in reproductive class 3", "rams of A
// before first use", "crossbred progeny (A rams x B ewes)".
std::string groupname(const ClassInfo& c);

} // namespace kalp
