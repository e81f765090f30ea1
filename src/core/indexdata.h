// What the selection index is computed from: the traits with their
// parameters, the correlations between them, what is known of a candidate
// when it is selected on each path, and how each path is selected. The
// index files of a folder are read into it (input/indexfiles.h); the index
// itself (index/) computes from it and from the economic weights alone.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"

namespace kalp {

// The two components of a trait's breeding value: the animal's own effect
// on its record, and its effect on the records of its lambs (or, for a
// trait of the ewe, on her own records).
enum class Effect { direct, maternal };
// The paths of selection: the rams and the ewes that become parents.
enum class Path { rams, ewes };
// The relatives whose records an index uses, as the candidate sees them.
enum class Source { own, dam, sire, fullsibs, halfsibs, progeny };

constexpr int pathcount = 2;
constexpr int sourcecount = 6;

const char* effectname(Effect e);   // "direct", "maternal"
const char* pathname(Path p);       // "rams", "ewes"
const char* sourcename(Source s);   // "own", "dam", ..., "progeny"
int pathindex(Path p);              // rams 0, ewes 1

struct IndexTrait {
    std::string name; // as the files give it: "8", or the name of a trait only recorded
    int number = 0;   // KALP's trait number 1..35; 0 for a trait only recorded
    // A trait of the ewe (KALP's maternal-only traits): her record is her
    // own maternal value, and rams have none.
    bool ewe = false;
    double sd = 0;   // phenotypic standard deviation
    double h2 = 0;   // heritability of what a record expresses in the animal that bears it
    double h2m = 0;  // maternal heritability of a lamb trait, 0 for none
    double rdm = 0;  // genetic correlation of the direct and maternal effects
    double c2 = 0;   // share of the variance common to the littermates
    double repeatability = -1; // share common to repeated records; -1 when not given
    int line = 0;    // where the file gives it
};

// A genetic correlation between components of two traits (indices into
// the traits).
struct GeneticCorrelation {
    int a;
    Effect ea;
    int b;
    Effect eb;
    double r;
};
// A phenotypic correlation between two traits, or one between their
// litter effects.
struct TraitCorrelation {
    int a, b;
    double r;
};

// A source of the index: the mean of `records` records of a trait on one
// animal (own, dam, sire: repeated records) or one record each on
// `records` relatives (full sibs, paternal half sibs, progeny).
struct IndexSource {
    Path path;
    Source source;
    int trait;
    int records;
    int line = 0;
};

// How a path is selected: the proportion kept or the intensity (the other
// one -1), the generation interval when given (else -1), and the traced
// group whose economic weights form the path's objective (0: the run's).
struct Selection {
    Path path;
    double proportion = -1, intensity = -1;
    double interval = -1;
    int traced = 0;
    int line = 0;
};

// The economic weights of KALP's traits that form one path's objective,
// by trait number.
struct ObjectiveWeights {
    double direct[NT] = {}, maternal[NT] = {};
};

// A component of a trait (an index into the traits) that an index aims
// at: held where it is (a restricted index), or with its desired gain.
struct Aim {
    int trait;
    Effect effect;
    double gain = 0;
    int line = 0;
};

struct IndexData {
    std::vector<IndexTrait> traits;
    std::vector<GeneticCorrelation> genetic;
    std::vector<TraitCorrelation> phenotypic, litter;
    std::vector<IndexSource> sources;
    std::vector<Selection> selection;
    // The desired gains of index-desired.csv, in its proportions; none
    // when the folder has no such file.
    std::vector<Aim> desired;
};

} // namespace kalp
