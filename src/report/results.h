// The results section of the results file: the traced class, the period,
// the discounted gene flow by class and the trait tables, each value after
// its template segment.
#pragma once

#include <string>

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// Consumes 55 template segments, or 169 when gstd is 2, and sets ac.
void writeresults(Model& m, Streams& s);

// The results section of a complete run as text: the report template from
// its segment 129 on (the echo of the input files takes segments 1 to 128),
// read through `files`.
std::string resultssection(Model& m, const FileSource& files);

} // namespace kalp
