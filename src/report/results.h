// The results section of the results file: the traced class, the period,
// the discounted gene flow by class and the trait tables, each value after
// its template segment.
#pragma once

#include <string>

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// The numbers of the results file's tables as it prints them: economic
// and standardised weights with their sums and shares ("%10.4f"), relative
// weights and their shares ("%10.3f"), the discounted gene flow of a class
// ("%8.3f").
std::string weighttext(double v);
std::string relativetext(double v);
std::string flowtext(double v);

// Consumes 55 template segments, or 169 when gstd is 2, and sets ac.
void writeresults(Model& m, Streams& s);

// The results section of a complete run as text: the report template from
// its segment 129 on (the echo of the input files takes segments 1 to 128),
// read through `files`.
std::string resultssection(Model& m, const Folder& files);

} // namespace kalp
