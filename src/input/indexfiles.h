// The input files of kalp index: index-traits.csv, index-correlations.csv,
// index-sources.csv and index-selection.csv (CSV tables, input/csv.h), and
// the economic weights of --weights in the columns of kalp-weights.csv.
// Every value is checked as it is read, and every relation between the
// files before anything is computed; a fault ends the run with a report
// that names the file, the line and the column.
#pragma once

#include <string>

#include "core/indexdata.h"
#include "input/control.h"
#include "textio/folder.h"

namespace kalp {

struct IndexFile {
    const char* name;
    const char* holds;
};
// The four index files, in the order they are read.
const IndexFile (&indexfiles())[4];
// The desired gains of an index (trait, component, gain), read when the
// folder holds the file.
constexpr const char* desiredfile = "index-desired.csv";

// What the reading must know beyond the files: the highest traced group of
// the run's layout, 0 when the economic weights come from --weights (then
// a traced group is refused).
struct IndexReading {
    int tracedbound = 0;
};

// Whether trait `t` has the component `e`: a trait of the ewe only its
// maternal one, another trait its direct one and, with a maternal
// heritability, its maternal one.
bool hascomponent(const IndexTrait& t, Effect e);
// Whether a candidate of `path` may have the source `s` of trait `t`: a
// trait of the ewe has no own record of a ram, and no record of a sire.
bool sourceallowed(const IndexTrait& t, Path path, Source s);

// Reads and checks the four index files of `folder`, and index-desired.csv
// where it stands.
IndexData readindexdata(const Folder& folder, const IndexReading& how);

// Economic weights from a CSV file in the columns of kalp-weights.csv
// (trait, component, economic_weight; a name column gives the trait
// names; other columns are ignored): one row per trait component at most,
// each weight read as the single-precision value that KALP computes.
struct GivenWeights {
    ObjectiveWeights weights;
    TraitNames names; // "trait K" where the file names none
};
// `name` is the file's name in `folder`, `shown` how reports name it (the
// path as given).
GivenWeights readweights(const Folder& folder, const std::string& name, const std::string& shown);

} // namespace kalp
