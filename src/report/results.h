// The results section of the results file: the traced class, the period,
// the discounted gene flow by class and the trait tables, each value after
// its template segment.
#pragma once

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// Consumes 55 template segments, or 169 when gstd is 2, and sets ac.
void writeresults(Model& m, Streams& s);

} // namespace kalp
