// The one way a run ends early.
//
// Every condition that ends a run before its end is thrown as a RunStop: what
// kind of stop it is, the file and the model variable it is about, the line
// saying what is wrong and the line saying what to correct. The console
// report is formed from these parts in one place, report().
#pragma once

#include <string>

namespace kalp {

enum class StopKind {
    gate,      // ERROR.TXT holds 1
    traced,    // the traced group lies outside the parental classes
    matrix,    // a row of P does not sum to 1
    input,     // a file that is missing, unreadable or holds a value it may not
    notfinite, // a result that is not a finite number
    output,    // a file that cannot be written
    option,    // a value given on the command line
};

struct RunStop {
    StopKind kind = StopKind::input;
    std::string file;  // the file the stop is about, "" when none
    std::string value; // the model variable as CHECKVRD names it ("u", "l4RA[2]"), or ""
    std::string what;  // what is wrong (it may run over more than one line)
    std::string fix;   // what to correct
    // For a scenario of a sweep: its values, "u = 0.02, l_inv = 5, n_sac = 1".
    std::string scenario;
    // Where the fault lies, more closely than the report can say, for a
    // line on standard error after it: "INPUTVRD02.TXT, line 5: ...". The
    // report itself keeps its fixed words.
    std::string detail = "";
    // The line of `file` the stop is about, 0 when it names none (a table
    // of CSV cells, whose reports name the line in their words).
    int line = 0;
    // The report on the console, from "Error message:" to the blank lines.
    std::string report() const;
};

// Ends the run with `stop`.
[[noreturn]] void halt(RunStop stop);
// Ends the run with an input error report that names no file of its own.
[[noreturn]] void fail(const std::string& what, const std::string& fix);
// Ends the run with a report about `value` (a model variable, or "") in `file`.
[[noreturn]] void failin(const std::string& file, const std::string& value, const std::string& what,
                         const std::string& fix, StopKind kind = StopKind::input);

// A matrix row whose sum is not 1; `file` and `value` name what to blame,
// `detail` which list and its sum.
[[noreturn]] void nonsense01(int row, int prods, const std::string& file,
                             const std::string& value, const std::string& detail = "");
// A traced class n_sac outside 1..acm-1 (one system) or 1..acm-3 (two
// systems); the classes above those are the progeny classes.
[[noreturn]] void nonsense02(int acm, int prods, int n_sac, const std::string& detail = "");
// ERROR.TXT holds 1: a preceding run of TORM2 failed.
[[noreturn]] void gatestop();

} // namespace kalp
