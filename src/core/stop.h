// The one way a run ends early.
//
// Every condition that ends a run before its end is thrown as a RunStop
// holding the complete report text; the driver prints it, then the time
// line, and exits with status 1. The reports that the input stages and the
// model raise are built here, so that no floor needs the console texts of
// the reports.
#pragma once

#include <string>

namespace kalp {

struct RunStop {
    std::string report;
};

// Ends the run with an error report: the line saying what is wrong (naming
// the file) and the line saying what to correct.
[[noreturn]] void fail(const std::string& what, const std::string& fix);

// A matrix row whose sum is not 1.
[[noreturn]] void nonsense01(int row, int prods);
// A traced class outside 1..acm-1 (one system) or 1..acm-3 (two systems).
[[noreturn]] void nonsense02(int acm, int prods);
// ERROR.TXT holds 1: a preceding run of TORM2 failed.
[[noreturn]] void gatestop();

} // namespace kalp
