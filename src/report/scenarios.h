// The scenario of a row: the values it was computed from, and the name
// made from them that every row of the weights carries, so that the
// tables of runs and sweeps join.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "engine/parameters.h"

namespace kalp {

// The values read from the input files that are not a column of the
// table of scenarios, as a text ("RRA=3;l4RA[1]=0.5;...;"): the age
// weights and their counts, the ages at first use, the crossing shares,
// the expression weights, the path options and the given paths, the pair
// choices. Each value is the one the model holds, so that the same values
// in another layout of the files (line ends, blanks, 2.0 for 2) give the
// same text.
std::string inputstext(const Model& m);
// Its digest: "i" and 16 hexadecimal digits.
std::string inputsdigest(const Model& m);

// The values of a scenario: the number of systems and whether the weights
// are standardised, then a field for each row of the table of swept
// parameters (one per trait for a value per trait), empty where the input
// files hold no such value (system B with one system, standard deviations
// without standardisation or of a component that the trait lacks), and
// last the digest of every other value read (`inputs`).
struct ScenarioFields {
    std::vector<std::string> values;
    // "s" and 16 hexadecimal digits, formed from the values alone: the same
    // values have the same name in every file and on every platform, and
    // any value that changes a result changes the name.
    std::string id() const;
};
const std::vector<std::string>& scenariocolumns();
ScenarioFields scenariofields(const Model& m);
// Where the value of parameter `p` (with trait K) stands among the fields,
// and its text in `m`.
size_t scenariofield(const Parameter& p, int trait);
std::string scenariovalue(const Parameter& p, const Model& m, int trait);
// The table of scenarios: its header and a row.
std::string scenarioheader();
std::string scenariorow(const ScenarioFields& f);

// The columns that name the scenario of a row, and their values as text.
struct RowKey {
    std::vector<std::string> columns, values; // the first, `scenario`, is a text

    std::string header() const; // "scenario,discount_rate,period,traced_group,"
    std::string csv() const;    // "s...,0.05,20,1,"
    std::string json() const;   // "\"scenario\":\"s...\",...,"
};
RowKey rowkey(const ScenarioFields& f);
// The scenario of a complete run.
RowKey runkey(const Model& m);
// The columns that name the gene flow of a row: discount rate, period and
// traced group.
RowKey flowkey(const ScenarioFields& f);
RowKey flowkey(const Model& m);

} // namespace kalp
