// What the command line asks of a run.
#pragma once

#include <vector>

#include "run/sweep.h"

namespace kalp {

struct Options {
    bool csv = false;  // kalp-classes.csv, kalp-geneflow.csv, kalp-weights.csv
    bool json = false; // kalp-results.json
    bool plot = false; // kalp-geneflow.svg, kalp-weights.svg
    std::vector<Sweep> sweeps;
    bool exports() const { return csv || json || plot || !sweeps.empty(); }
};

} // namespace kalp
