// How the index agrees with the run whose economic weights it takes: the
// share of the run's standardised weights that an objective covers, and
// the genetic standard deviations of index-traits.csv that differ from the
// run's own (INPUTVRD04.TXT).
#pragma once

#include <vector>

#include "core/indexdata.h"
#include "core/model.h"
#include "index/index.h"

namespace kalp {

// The share (%) of the sum of the absolute standardised weights of the
// standardised run `m` that the components of the objective (those with
// parameters) make up, of the components that count in the sums.
double coveredshare(const IndexResult& r, const IndexData& d, const Model& m);

// A component whose genetic standard deviation from index-traits.csv
// differs from the run's by more than 1 %.
struct SdDifference {
    int component; // index into IndexResult::components
    double index, run;
};
std::vector<SdDifference> sddifferences(const IndexResult& r, const IndexData& d, const Model& m);

} // namespace kalp
