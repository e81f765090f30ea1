// Named C streams, byte input that stops at the end of a file, and the
// checked number scans of the input files.
#pragma once

#include <cstdio>
#include <string>

namespace kalp {

// A C stream together with the file name that messages give for it.
struct Stream {
    std::FILE* fp = nullptr;
    const char* name = "";
    // A bare-number file (INPUTVRD01A/01B.TXT): a number ends at white space
    // or the end of the file. In the other files it may also end at a double
    // quote, and an integer may carry a decimal point and zeros (2.0), which
    // then belong to the text after the number.
    bool bare = false;
    // Bytes read ahead and given back; they come before the file's next byte.
    std::string back;
};

// The streams a run owns: the input file being read (one at a time), the
// report template, the results file and the variable dump.
struct Streams {
    Stream in, tpl, res, dump;
    // No console lines: the input is read for another purpose than a run
    // (the class table).
    bool quiet = false;
    // The echo goes into the results file; without it nowhere (a sweep
    // writes no results file).
    bool echo = true;
};

// Opens a file for reading and skips a UTF-8 byte-order mark at its start;
// a file that cannot be opened or read ends the run.
Stream openin(const char* name);
// Creates (or empties) a file for writing; failure ends the run.
Stream openout(const char* name);
// A stream that takes the echo and keeps nothing.
Stream opensink();
// Closes an input stream, if open.
void closein(Stream& s);
// Closes an output stream; a write that did not reach the file ends the run.
void closeout(Stream& s);

// The next byte, or EOF at the end of the input.
int readbyte(Stream& in);

// What a byte-wise reader is walking through when its input ends.
enum class Unit { record, comment, segment };

// The next byte of a unit; the end of the input inside a unit ends the run.
int getch(Stream& in, Unit unit);

// Number scans: white space first, then a decimal number that ends where
// the file's kind allows (see Stream::bare). "%d", "%f" and "%lf" give the
// value: the same number and rounding as the formatted scan of the C
// library. `what` names the value in messages, `index` (when above 0) its
// position in a list.
//
// tryscan...: false when no number stands there because the next byte that
//             is not white space is a double quote or the end of the file;
//             nothing is stored then.
// scan...:    a missing number ends the run.
// Both end the run for text that is not a decimal number, a number followed
// by other text, and a value that is not finite or does not fit its type.
bool tryscanint(Stream& in, int& v, const char* what, int index = 0);
bool tryscanfloat(Stream& in, float& v, const char* what, int index = 0);
int scanint(Stream& in, const char* what, int index = 0);
float scanfloat(Stream& in, const char* what, int index = 0);
double scandouble(Stream& in, const char* what, int index = 0);

// The gate flag: the integer at the start of the input, whatever follows it
// (1.0 counts as 1). False when the input does not begin with an integer.
bool leadingint(Stream& in, int& v, const char* what);

// The name of a value in a list: "the age weight of ram class 2".
std::string numbered(const char* what, int index);

// Ends the run for a value outside the range that `allowed` names (for
// example "above -1", "between 0 and 1").
[[noreturn]] void outofrange(const Stream& in, const std::string& what, double value,
                             const char* allowed);

// The console line "Reading data from NAME" that starts the stage of an
// input file.
void reading(const Streams& s, const char* name);

} // namespace kalp
