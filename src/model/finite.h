// Results that are not numbers end the run before anything is reported.
//
// Input values are finite, but a discount rate near -1, or economic values
// and standard deviations near the largest float, can overflow on the way to
// the weights.
#pragma once

#include <string>
#include <vector>

#include "core/model.h"

namespace kalp {

// A value that an option gives in place of the one of its input file, as
// the fix of a stop names it: the option, not the file.
struct Given {
    enum class Of {
        none,     // a value that no result check blames
        rate,     // the discount rate
        value,    // an economic value of the trait
        direct,   // the direct standard deviation of the trait
        maternal, // its maternal standard deviation
    };
    Of of = Of::none;
    int trait = 0;      // 1..35, 0 for the discount rate
    std::string option; // "--sweep evpA:8"
};
using Givens = std::vector<Given>;

// The discounted gene flow of every class and the economic weights.
void requirefiniteweights(const Model& m, const Givens& given = {});
// The standardised weights, their sums and the relative weights.
void requirefinitestandardised(const Model& m, const Givens& given = {});

} // namespace kalp
