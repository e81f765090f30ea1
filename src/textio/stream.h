// Input files as named streams of bytes, byte input that stops at the end
// of a file, the checked number scans of the input files, and the sink that
// takes the text of the results file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/folder.h"

namespace kalp {

// A value of an input file: how messages name it ("the age weight of ram
// class 2") and the model variable it is read into ("l4RA[2]").
struct Value {
    // A bare description names a value too: readint(out, in, "the value").
    // cppcheck-suppress noExplicitConstructor
    // NOLINTNEXTLINE(google-explicit-constructor)
    Value(const char* w, std::string v = "", int n = 0) : what(w), var(std::move(v)), number(n) {}
    const char* what;
    std::string var;
    int number; // its number in a list, written after `what`; 0 for none
    std::string text() const;
};
// A model variable with its indices: "l4RA[2]", "evpB[8][2]".
std::string indexed(const char* var, int i, int j = 0);

// Where a scanned number stands in its file: the bytes of its word (the
// number and any text glued to it, "0,05" or "2.0") and the model variable
// it was read into. A word that is missing (the scan met a double quote or
// the end of the file) has length 0 at that place. Tools that edit a file
// value by value replace these bytes and keep all others.
struct Span {
    std::string file;
    long offset = 0;
    long length = 0;
    std::string var;
};

// An input file being read, with the file name that messages give for it.
// The whole file is held in `text`; `at` is the offset of the next byte.
struct Stream {
    std::string text;
    size_t at = 0;
    const char* name = "";
    // A bare-number file (INPUTVRD01A/01B.TXT): a number ends at white space
    // or the end of the file. In the other files it may also end at a double
    // quote, and an integer may carry a decimal point and zeros (2.0), which
    // then belong to the text after the number.
    bool bare = false;
    // When set, every number scan adds the span of its word.
    std::vector<Span>* spans = nullptr;
    // Where the last word began, for the line that a report names.
    size_t wordat = 0;
    // The opening quote of the last quoted text, when that text ran on to
    // a new line that begins with a number: its closing quote is probably
    // missing, so that it took in the next value. npos otherwise.
    size_t suspect = std::string::npos;
    // In a bare-number file: the numbers read so far, how many the counts
    // read so far call for (at least that many while a count is unread),
    // and the block of values being read ("the 35 economic values"), for
    // the line that says where a file that is too short ran out.
    int numbers = 0;
    int calledfor = 0;
    bool atleast = false;
    const char* block = "";
    // Where the warnings of the run go; none when null.
    std::vector<std::string>* warnings = nullptr;
};

// Where written text goes: into a string, or nowhere.
struct Sink {
    std::string* text = nullptr; // none: the text is dropped
    void put(std::string_view s) const {
        if (text) text->append(s);
    }
    void put(char c) const {
        if (text) text->push_back(c);
    }
    // The C library's formatted print, into the text.
    void format(const char* f, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

// Where the console lines of a run go; none when empty.
using Say = std::function<void(const std::string& line)>;

// The streams a run uses: the input file being read (one at a time), the
// report template and the text of the results file; the folder of the
// input files and the console.
struct Streams {
    Stream in, tpl;
    Sink res;
    const Folder* files = nullptr;
    Say say;
    // Given to every input stream that openin opens.
    std::vector<Span>* spans = nullptr;
    // The input files whose reading began, in order.
    std::vector<std::string>* reached = nullptr;
    // Given to every input stream that openin opens: what the run read but
    // doubts, one sentence each.
    std::vector<std::string>* warnings = nullptr;
};

// Opens an input file of `s.files` and skips a UTF-8 byte-order mark at its
// start; a file that cannot be read, or that is saved as UTF-16, ends the
// run.
Stream openin(const Streams& s, const char* name);

// Why the input file `name` cannot be read, as a run reports it: what is
// wrong and what to do. `error` is the one of Folder::read (ENOENT for a
// missing file, EISDIR for a folder, platform::notplain for a FIFO, a
// device or a socket).
struct Unopened {
    std::string what, fix;
};
Unopened unopened(const std::string& name, int error);
// An input stream over `text`, named `name` in messages.
Stream textstream(std::string text, const char* name);
// Ends the reading of an input stream; its name and text stay for the
// messages of checks made after the whole file was read.
void closein(Stream& s);

// The next byte, or EOF at the end of the input. A Ctrl-Z (0x1A) that only
// line ends follow is the end of the input, as some Windows programs write
// it.
int readbyte(Stream& in);

// What a byte-wise reader is walking through when its input ends.
enum class Unit { record, comment, segment };

// The next byte of a unit; the end of the input inside a unit ends the run.
int getch(Stream& in, Unit unit);
// A quoted text has been read: its quotes stand at `open` and `close`.
void quotedtext(Stream& in, size_t open, size_t close);
// The line of the file that holds byte `offset`, from 1.
int lineof(const Stream& in, size_t offset);
// Where a fault of the input lies, for the line after its report: the line
// of the last word, or of an opening quote that is probably not closed.
std::string whereabouts(const Stream& in);

// Number scans: white space first, then a decimal number that ends where
// the file's kind allows (see Stream::bare). "%d", "%f" and "%lf" give the
// value: the same number and rounding as the formatted scan of the C
// library. `v` names the value in messages and in the stop.
//
// tryscan...: false when no number stands there because the next byte that
//             is not white space is a double quote or the end of the file;
//             nothing is stored then.
// scan...:    a missing number ends the run.
// Both end the run for text that is not a decimal number, a number followed
// by other text, and a value that is not finite or does not fit its type.
bool tryscanint(Stream& in, int& x, const Value& v);
bool tryscanfloat(Stream& in, float& x, const Value& v);
int scanint(Stream& in, const Value& v);
float scanfloat(Stream& in, const Value& v);
double scandouble(Stream& in, const Value& v);

// The gate flag: the integer at the start of the input, whatever follows it
// (1.0 counts as 1). False when the input does not begin with an integer; a
// NUL byte in its first word ends the run.
bool leadingint(Stream& in, int& x, const Value& v);

// Ends the run with a report about the value `v` just read from `in`; the
// line on standard error after it names the line of the file.
[[noreturn]] void failat(const Stream& in, const Value& v, const std::string& what,
                         const std::string& fix);
// Ends the run for a value outside the range that `allowed` names (for
// example "above -1", "between 0 and 1").
[[noreturn]] void outofrange(const Stream& in, const Value& v, double value, const char* allowed);

// A warning about what `in` holds, once however often it is found (a
// file may be read twice); the run goes on.
void warn(const Stream& in, const std::string& text);
// Numbers that stand after the value read last and are not read: in a
// bare-number file up to its end, in an annotated file up to the next
// double quote (the words of the record). Text glued to the value (the
// ".0" of 2.0) and words that are not numbers do not count.
struct Leftover {
    int count = 0;
    size_t first = 0; // the offset of the first of them
};
Leftover leftover(const Stream& in);
// "1 number", "2 numbers".
std::string numbers(int n);

// A line on the console, when the run has one.
void say(const Streams& s, const std::string& line);
// The console line "Reading data from NAME" that starts the stage of an
// input file; the file counts as reached.
void reading(const Streams& s, const char* name);

} // namespace kalp
