// What the command line asks of a run.
#pragma once

#include <vector>

#include "engine/sweep.h"

namespace kalp {

struct Options {
    bool csv = false;  // kalp-classes.csv, kalp-geneflow.csv, kalp-weights.csv
    bool json = false; // kalp-results.json, or with a sweep kalp-sweep.json
    bool plot = false; // kalp-geneflow.svg, kalp-weights.svg, or with a sweep kalp-sweep.svg
    std::vector<Axis> sweeps;
    bool exports() const { return csv || json || plot || !sweeps.empty(); }
};

} // namespace kalp
