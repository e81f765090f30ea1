// One run of KALP in the current working directory.
#pragma once

#include "run/options.h"

namespace kalp {

// Runs every stage in order and writes the exports the options ask for;
// returns the exit status: 0 for a complete run, 1 when the run ended early
// with a report on the console.
int run(const Options& options = {});

// Prints the sex-age classes that the input files lay out; 0, or 1 after a
// report on an error in those files.
int classtable();

} // namespace kalp
