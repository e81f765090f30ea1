// The values a sweep may change, one row each: how its text is read, what
// it must be, when it takes effect in a run and how, and how charts and
// tables name it. Adding a swept parameter is adding a row.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"
#include "model/finite.h"

namespace kalp {

// The point of a run at which a value is used first; a changed value
// replaces the value of the file there.
enum class Stage {
    flow,       // the gene flow starts (u, n_sac)
    period,     // the gene flow ends (l_inv)
    weights,    // the economic weights are formed (economic values)
    deviations, // the standard deviations have been read
};

using Fits = bool (*)(const Model& m, int trait, double value, std::string* wrong, std::string* fix);
using Apply = void (*)(Model& m, int trait, double value);
using Get = double (*)(const Model& m, int trait);

struct Parameter {
    const char* name;  // as --sweep gives it: "u", or "evpA" in "evpA:8"
    bool pertrait;     // takes a trait number K, 1..35: "evpA:8"
    bool whole;        // read as a whole number ("%d"), else as a real ("%f")
    Stage stage;
    // The file that holds the value and its words, from the table of input
    // values (input/values.h).
    const char* file;
    const char* label; // for people, "%d" standing for K: "Economic value of trait %d (A)"
    const char* noun;  // in a sentence: "discount rate", "economic value of trait %d (A)"
    const char* unit;  // of a value in a sentence, singular ("year"), or ""
    const char* column; // in the tables, "%d" standing for K: "discount_rate", "evpA_%d"
    // The requirement a value must meet wherever it comes from ("above -1"),
    // or nullptr when every finite value is allowed.
    const char* (*check)(double value);
    // Whether the input files of `m` have a place for `value` of trait K;
    // when they have not, and `wrong` is given, what the option does wrong
    // ("gives the traced group 8, outside the class table") and in `fix`
    // the fix. (Asked for every scenario of a sweep: no text is made then.)
    Fits fits;
    Apply apply;
    // The value in a model.
    Get get;
    // What a result check blames on the value (model/finite.h).
    Given::Of blamed;
};

// The table, in the order in which the scenarios of a sweep vary their
// values: the last row varies fastest.
const std::vector<Parameter>& parameters();
const Parameter* findparameter(const std::string& name);

// A value read as the input files read it: a real as "%f" stores it (a
// single-precision value), a whole number as "%d" does, which may carry a
// point and zeros (20.0). False for any other text.
bool readvalue(const Parameter& p, const std::string& text, double& value);

// One changed value.
struct Change {
    const Parameter* p;
    int trait; // K for a parameter per trait, else 0
    double value;
};
// The text of a parameter with its trait: "u", "evpA:8".
std::string paramname(const Parameter& p, int trait);
// Its column in the tables: "discount_rate", "evpA_8".
std::string paramcolumn(const Parameter& p, int trait);
// The label and the noun of a parameter with its trait filled in.
std::string paramlabel(const Parameter& p, int trait);
std::string paramnoun(const Parameter& p, int trait);

// Applies the changes of `stage` to the model.
void apply(Model& m, const std::vector<Change>& changes, Stage stage);
// The changed values that a result check may blame, named by the option
// that gives them: "--sweep evpA:8".
void optionsof(const std::vector<Change>& changes, Givens& out);

} // namespace kalp
