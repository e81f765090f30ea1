// Sensitivity sweeps: the weights for every combination of swept discount
// rates, periods and traced groups, in one run.
//
// Each scenario gives exactly the numbers that a normal run gives when its
// values are written into the input files: the same scans of the same
// texts, the same gene flow and the same single-precision arithmetic.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/model.h"
#include "report/exports.h"

namespace kalp {

// One --sweep NAME=VALUES: the parameter and the decimal texts of its values.
struct Sweep {
    std::string name; // "u", "l_inv" or "n_sac"
    std::vector<std::string> texts;
    // The values as the input files read them: the single-precision discount
    // rate, or the whole number, each held exactly.
    std::vector<double> values;
};

// A --sweep argument that cannot be used; the text says why.
struct BadSweep : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Parses NAME=VALUES. VALUES is a comma list or an inclusive range
// START:STOP:STEP whose values are START + k x STEP formed in decimal, so
// that 0:0.1:0.01 gives the eleven texts 0, 0.01, ..., 0.1. Every value is
// checked as the input files check it: a discount rate above -1, a period
// and a traced group of at least 1.
Sweep parsesweep(const std::string& arg);

// The texts of START:STOP:STEP.
std::vector<std::string> rangetexts(const std::string& range);

// Runs every scenario from the checked state of a normal run `base` (its
// gene flow, weights and standardisation done) and writes kalp-sweep.csv,
// kalp-sweep-geneflow.csv and, when asked, kalp-sweep.json and
// kalp-sweep.svg, each under its temporary name; `finished` receives them.
// A traced group outside the class table, or a scenario that a normal run
// would stop on, ends the run.
void runsweeps(const Model& base, const std::vector<Sweep>& sweeps, bool json, bool plot,
               const TraitNames& names, std::vector<Export>& finished);

} // namespace kalp
