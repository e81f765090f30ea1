// values-uncertainty.csv: how uncertain the economic values of a scenario
// are, one row per value that kalp --draws draws (system, trait,
// distribution, a, b), read by the index's CSV reader (input/csv.h) and
// checked against the scenario's own values; a fault ends the run with a
// report that names the file, the line and the column.
#pragma once

#include <vector>

#include "core/model.h"
#include "textio/folder.h"

namespace kalp {

constexpr const char* uncertaintyfile = "values-uncertainty.csv";

// The distribution of a value: normal about the file's value with SD a,
// uniform between a and b, or triangular between a and b with its peak at
// the file's value.
enum class Distribution { normal, uniform, triangular };
const char* distributionname(Distribution d); // "normal", "uniform", "triangular"

// The economic values of a system: A, the purebred progeny of B, the
// crossbred progeny (as --sweep names them, evpA, evpB, evpBx).
enum class ValueSystem { A, B, Bx };
const char* systemname(ValueSystem s); // "A", "B", "Bx"

struct UncertainValue {
    ValueSystem system;
    int trait = 0; // 1..35
    Distribution distribution = Distribution::normal;
    double a = 0, b = 0;
    double value = 0; // the scenario's own value, as the input files read it
    int line = 0;
};

// Reads and checks values-uncertainty.csv of `folder` against the
// economic values of the model `m` (its input files read): a file that is
// missing ends the run too.
std::vector<UncertainValue> readuncertainty(const Folder& folder, const Model& m);

} // namespace kalp
