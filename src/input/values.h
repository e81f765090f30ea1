// The values of the input files as people are told of them: one row per
// model variable (per list or table of values), with its file, its label
// in forms and on chart axes and its noun in sentences. The editor's form
// and the table of swept parameters both take their words from here.
#pragma once

#include <string>
#include <vector>

namespace kalp {

struct ValueInfo {
    const char* var;   // the model variable ("u", "l4RA"); "evpBx" for evpB[K][2]
    const char* file;  // the file that holds it
    const char* label; // "%d" standing for the trait or class: "Discount rate per year"
    const char* noun;  // in a sentence: "discount rate", "economic value of trait %d (A)"
    const char* unit;  // of a value, singular ("year"), or ""
};
const std::vector<ValueInfo>& values();
// The row of `var` (a name without indices); null for a variable that
// has none.
const ValueInfo* findvalue(const std::string& var);

// `text` with its "%d" replaced by `n`.
std::string withnumber(const char* text, int n);

} // namespace kalp
