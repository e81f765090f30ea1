// Named C streams, byte input that stops at the end of a file, and the
// checked formatted scans of the input files.
#pragma once

#include <cstdio>

namespace kalp {

// A C stream together with the file name that messages give for it.
struct Stream {
    std::FILE* fp = nullptr;
    const char* name = "";
};

// The streams a run owns: the input file being read (one at a time), the
// report template, the results file and the variable dump.
struct Streams {
    Stream in, tpl, res, dump;
};

// Opens a file for reading; a file that cannot be opened ends the run.
Stream openin(const char* name);
// Creates (or empties) a file for writing; failure ends the run.
Stream openout(const char* name);
// Closes an input stream, if open.
void closein(Stream& s);
// Closes an output stream; a write that did not reach the file ends the run.
void closeout(Stream& s);

// What a byte-wise reader is walking through when its input ends.
enum class Unit { record, comment, segment };

// The next byte of a unit; the end of the input inside a unit ends the run.
int getch(Stream& in, Unit unit);

// Formatted scans ("%d", "%f", "%lf" semantics: white space first, then the
// number). `what` names the value in messages, `index` (when above 0) its
// position in a list.
//
// tryscan...: false when no number stands there; nothing is stored then.
// scan...:    a missing number ends the run.
// Both end the run for a value that is not finite or does not fit its type.
bool tryscanint(Stream& in, int& v, const char* what, int index = 0);
bool tryscanfloat(Stream& in, float& v, const char* what, int index = 0);
bool tryscandouble(Stream& in, double& v, const char* what, int index = 0);
int scanint(Stream& in, const char* what, int index = 0);
float scanfloat(Stream& in, const char* what, int index = 0);
double scandouble(Stream& in, const char* what, int index = 0);

// The console line "Reading data from NAME" that starts the stage of an
// input file.
void reading(const char* name);

// A count of a bare-number file must end at white space or the end of file
// ("3.0" would shift every later value).
void endofcount(Stream& in, const char* what);

} // namespace kalp
