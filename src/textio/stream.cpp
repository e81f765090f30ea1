#include "textio/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/stop.h"
#include "platform/platform.h"

namespace kalp {

namespace {

std::string file(const Stream& s) { return std::string(s.name); }

[[noreturn]] void failon(const Stream& in, const Value& v, const std::string& what,
                         const std::string& fix) {
    halt(RunStop{StopKind::input, file(in), v.var, what, fix, "", whereabouts(in)});
}

// Where a bare-number file that ended before its last value ran out: the
// line says that it ends, how many numbers it holds, how many its counts
// call for and the block of values it was in.
std::string ending(const Stream& in) {
    const std::string f = file(in);
    const size_t last = in.text.find_last_not_of(" \t\r\n\v\f\x1a");
    const std::string end = in.numbers == 0 || last == std::string::npos
                                ? f + " holds no number"
                                : f + " ends in line " + std::to_string(lineof(in, last)) +
                                      " after " + numbers(in.numbers);
    return end + ", where its counts call for " + (in.atleast ? "at least " : "") +
           std::to_string(in.calledfor) + ": it ran out in " + in.block +
           " (a value left out earlier moves every later value one place back)";
}

[[noreturn]] void nonumber(const Stream& in, const Value& v) {
    const std::string what = "The file " + file(in) + " holds no readable number for " + v.text() + ".";
    const std::string fix = "Write that value as a number in " + file(in) + " and restart the program.";
    // A bare-number file ends a number only at white space: a missing
    // number is the end of the file.
    if (in.bare && in.calledfor > 0 && in.wordat >= in.text.size())
        halt(RunStop{StopKind::input, file(in), v.var, what, fix, "", ending(in)});
    failon(in, v, what, fix);
}

[[noreturn]] void badnumber(const Stream& in, const Value& v) {
    failon(in, v,
           "The value of " + v.text() + " in " + file(in) + " is not a finite number or is too large.",
           "Correct the value in " + file(in) + " and restart the program.");
}

// The text of a number as a message quotes it: control bytes as \xNN, and
// a long text cut short.
std::string quoted(const std::string& text) {
    std::string s = "\"";
    for (size_t i = 0; i < text.size() && i < 24; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + (text.size() > 24 ? "...\"" : "\"");
}

enum class Kind { integer, real };

// Ctrl-Z, which ends a text file for some Windows programs.
constexpr int ctrlz = 0x1A;

bool hexadecimal(const std::string& w) {
    const size_t sign = w[0] == '+' || w[0] == '-' ? 1 : 0;
    return w.size() > sign + 1 && w[sign] == '0' && (w[sign + 1] | 0x20) == 'x';
}

// A number followed by text that does not belong to it (1e3 for a whole
// number, 0,6, 3abc), or a hexadecimal number.
[[noreturn]] void notdecimal(const Stream& in, const Value& v, const std::string& text, Kind kind,
                             const std::string& tail) {
    const std::string f = file(in);
    const std::string what = v.text();
    const std::string written = "In " + f + ", " + what + " is written as " + quoted(text);
    if (in.bare && kind == Kind::integer)
        failon(in, v, "In " + f + ", " + what + " is not followed by a blank or a line break.",
               "Write it as a whole number without a decimal point in " + f +
                   " and restart the program.");
    if (hexadecimal(text))
        failon(in, v, written + ", a hexadecimal number.",
               "Write it as a decimal number in " + f + " and restart the program.");
    if (kind == Kind::integer)
        failon(in, v, written + ", which is not a whole number.",
               "Write it with digits only, without a decimal fraction or exponent, in " + f +
                   " and restart the program.");
    if (!tail.empty() && tail[0] == ',') {
        std::string point = text;
        point[text.size() - tail.size()] = '.';
        failon(in, v, written + " with a decimal comma.",
               "Write decimals with a point (" + point + ", not " + text + ") in " + f +
                   " and restart the program.");
    }
    failon(in, v, written + ", which is not a number.",
           "Write it as a decimal number (such as 0.05, -1.5 or 2e-3) followed by a blank in " + f +
               " and restart the program.");
}

bool blank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Gives back the `n` bytes read last.
void unread(Stream& in, size_t n) { in.at -= n; }

// The next byte as the file holds it.
int nextbyte(Stream& in) {
    if (in.at >= in.text.size()) return EOF;
    return static_cast<unsigned char>(in.text[in.at++]);
}

// Whether the first bytes of a file are those of UTF-16 text: a byte-order
// mark, or NULs beside ASCII characters, as Notepad's "Unicode" writes them
// (a file of one character is two bytes).
bool utf16(const std::string& start) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(start[i]); };
    const auto ascii = [](unsigned char c) { return c > 0 && c < 0x80; };
    if (start.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF)))
        return true;
    if (start.size() == 2) return (ascii(at(0)) && at(1) == 0) || (at(0) == 0 && ascii(at(1)));
    return start.size() >= 4 && ((ascii(at(0)) && at(1) == 0 && ascii(at(2)) && at(3) == 0) ||
                                 (at(0) == 0 && ascii(at(1)) && at(2) == 0 && ascii(at(3))));
}

// A NUL byte where a number is written: no text file holds one, and the C
// library's conversions would read the number as ending there.
[[noreturn]] void nulbyte(const Stream& in, const Value& v) {
    const std::string f = file(in);
    failon(in, v,
           "The file " + f + " holds a NUL byte (a byte of value 0) where " + v.text() +
               " is written; a text file holds none.",
           "Open " + f + " in an editor, save it as plain text (ANSI or UTF-8) and restart the program.");
}

// No number is longer than this; a longer text is no number.
constexpr size_t longest = 512;

// The offset in the file of the next byte that readbyte gives.
long position(const Stream& in) { return static_cast<long>(in.at); }

// Skips white space and returns the next word: the bytes up to white
// space, the end of the input or, outside bare-number files, a double
// quote. The byte that ends it is given back. With a recorder, the word's
// span is added under `var`.
std::string word(Stream& in, const std::string& var) {
    int c = readbyte(in);
    while (c != EOF && blank(c))
        c = readbyte(in);
    const long start = position(in) - (c == EOF ? 0 : 1);
    in.wordat = static_cast<size_t>(start);
    std::string w;
    while (c != EOF && !blank(c) && (in.bare || c != '"')) {
        if (w.size() <= longest) w += static_cast<char>(c);
        c = readbyte(in);
    }
    if (c != EOF) unread(in, 1);
    if (in.spans) in.spans->push_back({in.name, start, position(in) - start, var});
    return w;
}

// The number at the start of `w` by the C library's conversion `convert`
// (strtol, strtof, strtod: what "%d", "%f", "%lf" use); the text after it
// in `tail`; `range` tells whether it lies outside the type. False when `w`
// does not begin with a number.
template <class T, class F>
bool convert(const std::string& w, T& v, std::string& tail, bool& range, F f) {
    const char* start = w.c_str();
    char* end = nullptr;
    errno = 0;
    v = f(start, &end);
    range = errno == ERANGE;
    if (end == start) return false;
    tail = w.substr(static_cast<size_t>(end - start));
    return true;
}

bool zerosafterpoint(const std::string& tail) {
    return !tail.empty() && tail[0] == '.' && tail.find_first_not_of('0', 1) == std::string::npos;
}

// Whether `text` begins with a no-break space: 0xA0 in Windows-1252, C2 A0
// in UTF-8. Word processors and spreadsheets put it between numbers.
bool nobreak(const std::string& text) {
    return (!text.empty() && static_cast<unsigned char>(text[0]) == 0xA0) ||
           text.rfind("\xC2\xA0", 0) == 0;
}

// A no-break space after `number`, or where the value begins when `number`
// is empty.
[[noreturn]] void nobreakspace(const Stream& in, const Value& v, const std::string& number) {
    const std::string f = file(in);
    const std::string where = number.empty() ? "stands where " + v.text() + " begins"
                                             : "follows " + number + ", " + v.text();
    failon(in, v, "In " + f + ", a no-break space " + where + "; use an ordinary blank.",
           "Replace the no-break space by an ordinary blank in " + f + " and restart the program.");
}

// The next word as a number of the given kind, by `f`; false when absent.
template <class T, class F>
bool scannumber(Stream& in, T& out, const Value& v, Kind kind, F f) {
    const std::string w = word(in, v.var);
    if (w.empty()) return false;
    if (w[0] == '\0') nulbyte(in, v);
    if (nobreak(w)) nobreakspace(in, v, "");
    if (w.size() > longest) notdecimal(in, v, w, kind, w);
    std::string tail;
    T x{};
    bool range = false;
    if (!convert(w, x, tail, range, f)) nonumber(in, v);
    if (nobreak(tail)) nobreakspace(in, v, w.substr(0, w.size() - tail.size()));
    if (hexadecimal(w)) notdecimal(in, v, w, kind, tail);
    if (!tail.empty()) {
        if (kind == Kind::real || in.bare || !zerosafterpoint(tail))
            notdecimal(in, v, w, kind, tail);
        // 2.0 for an integer: the fraction stays in the text that follows.
        unread(in, tail.size());
    }
    if (range && kind == Kind::integer) badnumber(in, v);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(x)) badnumber(in, v);
    }
    out = x;
    ++in.numbers;
    return true;
}

long tolong(const char* s, char** end) { return std::strtol(s, end, 10); }

bool intvalue(Stream& in, int& out, const Value& v) {
    long x = 0;
    if (!scannumber(in, x, v, Kind::integer, tolong)) return false;
    if (x < INT_MIN || x > INT_MAX) badnumber(in, v);
    out = static_cast<int>(x);
    return true;
}

} // namespace

std::string Value::text() const {
    std::string s = what;
    if (number > 0) {
        s += ' ';
        s += std::to_string(number);
    }
    return s;
}

std::string indexed(const char* var, int i, int j) {
    std::string s = var;
    for (const int k : {i, j}) {
        if (k <= 0) continue;
        s += '[';
        s += std::to_string(k);
        s += ']';
    }
    return s;
}

Unopened unopened(const std::string& n, int error) {
    if (error == ENOENT)
        return {"The input file " + n + " cannot be opened.",
                "Put the file " + n + " into the working directory and restart the program."};
    // Reading anything but a plain file could wait forever or read a device.
    const char* what = error == EISDIR             ? " is a folder, not a file."
                       : error == platform::notplain ? " is not a plain file but a named pipe (FIFO), a "
                                                       "device or a socket, which KALP does not read."
                                                     : nullptr;
    if (what)
        return {"The input file " + n + what,
                "Put the file " + n + " itself in its place in the working directory and restart the "
                "program."};
    return {"The input file " + n + " cannot be opened: " + platform::errortext(error) + ".",
            "Replace " + n + " by a readable file in the working directory and restart the program."};
}

Stream openin(const Streams& from, const char* name) {
    Stream s;
    s.name = name;
    s.spans = from.spans;
    s.warnings = from.warnings;
    const std::string n = name;
    int error = 0;
    if (!from.files->read(n, s.text, error)) {
        const Unopened u = unopened(n, error);
        failin(n, "", u.what, u.fix);
    }
    if (utf16(s.text.substr(0, 4)))
        failin(n, "",
               "The file " + n + " is saved as UTF-16 (\"Unicode\"), which KALP cannot read.",
               "Open " + n +
                   " in an editor, save it as plain text (ANSI or UTF-8) and restart the "
                   "program.");
    // Some editors begin a text file with a UTF-8 byte-order mark.
    if (s.text.rfind("\xEF\xBB\xBF", 0) == 0) s.at = 3;
    return s;
}

Stream textstream(std::string text, const char* name) {
    Stream s;
    s.text = std::move(text);
    s.name = name;
    return s;
}

void closein(Stream& s) {
    // The name and the text stay until the next file: a check after the
    // file was read still names it and its line.
    s.at = s.text.size();
}

void Sink::format(const char* f, ...) const {
    if (!text) return;
    // Most texts fit the small buffer; a longer one is formed again in place.
    char small[256];
    va_list args;
    va_start(args, f);
    // clang-analyzer does not see the va_start of a member function.
    const int n = std::vsnprintf(small, sizeof small, f, args); // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        text->append(small, static_cast<size_t>(n));
        return;
    }
    const size_t at = text->size();
    text->resize(at + static_cast<size_t>(n) + 1);
    va_start(args, f);
    std::vsnprintf(text->data() + at, static_cast<size_t>(n) + 1, f, args); // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(args);
    text->resize(at + static_cast<size_t>(n));
}

int readbyte(Stream& in) {
    const int c = nextbyte(in);
    if (c != ctrlz) return c;
    // The line ends after it are read ahead, and given back when anything
    // but the end of the file follows them.
    size_t ahead = 0;
    int next = nextbyte(in);
    for (; next == '\r' || next == '\n'; next = nextbyte(in))
        ++ahead;
    if (next == EOF) return EOF;
    unread(in, ahead + 1);
    return c;
}

int getch(Stream& in, Unit unit) {
    const int c = readbyte(in);
    if (c != EOF) return c;
    const std::string f = file(in);
    // The last word read is the value of the record that has no end.
    const std::string detail =
        in.suspect != std::string::npos
            ? whereabouts(in)
            : f + ", line " + std::to_string(lineof(in, in.wordat)) +
                  ": the record of the value there has no end (a double quote is missing)";
    switch (unit) {
    case Unit::comment:
        halt(RunStop{StopKind::input, f, "", "The file " + f + " ends inside its comment.",
                     "Enclose the comment at the start of " + f +
                         " in two slashes and restart the program.",
                     "", f + " ends in line " + std::to_string(lineof(in, in.text.size())) +
                             ": the second slash of its comment is missing"});
    case Unit::segment:
        halt(RunStop{StopKind::input, f, "", "The file " + f + " ends inside a text segment.",
                     "Use a complete " + f +
                         " in which every text stands between two double quotes and restart the "
                         "program.",
                     "", ""});
    case Unit::record: break;
    }
    halt(RunStop{StopKind::input, f, "", "The file " + f + " ends inside a record.",
                 "Give every value of " + f +
                     " its description and its label, each between two double quotes, and "
                     "restart the program.",
                 "", detail});
}

void quotedtext(Stream& in, size_t open, size_t close) {
    in.suspect = std::string::npos;
    // The lines of the text after its first: a line of numbers alone (the
    // value of the next record on its own line, as the files are laid
    // out), or a last line that begins with a number (the value in front
    // of the next record's words), was taken in by a quote left open.
    for (size_t lf = in.text.find('\n', open); lf < close; lf = in.text.find('\n', lf + 1)) {
        const size_t eol = std::min(in.text.find('\n', lf + 1), close);
        const std::string line = in.text.substr(lf + 1, eol - lf - 1);
        int words = 0, numeric = 0;
        for (size_t at = line.find_first_not_of(" \t\r"); at != std::string::npos;
             at = line.find_first_not_of(" \t\r", at)) {
            const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
            const std::string w = line.substr(at, end - at);
            char* stop = nullptr;
            std::strtod(w.c_str(), &stop);
            ++words;
            if (stop != w.c_str() && *stop == '\0') ++numeric;
            else if (words == 1 && eol == close) break;
            at = end;
        }
        if (numeric > 0 && (numeric == words || eol == close)) {
            in.suspect = open;
            return;
        }
    }
}

int lineof(const Stream& in, size_t offset) {
    offset = std::min(offset, in.text.size());
    return 1 + static_cast<int>(std::count(in.text.begin(),
                                           in.text.begin() + static_cast<long>(offset), '\n'));
}

std::string whereabouts(const Stream& in) {
    const std::string f = file(in);
    if (in.suspect != std::string::npos)
        return f + ", line " + std::to_string(lineof(in, in.suspect)) +
               ": the text that begins with the double quote there runs on to the next line and "
               "takes in the number written there; its closing double quote is missing";
    return f + ", line " + std::to_string(lineof(in, in.wordat)) + " holds that value";
}

bool tryscanint(Stream& in, int& x, const Value& v) { return intvalue(in, x, v); }

bool tryscanfloat(Stream& in, float& x, const Value& v) {
    return scannumber(in, x, v, Kind::real, std::strtof);
}

int scanint(Stream& in, const Value& v) {
    int x = 0;
    if (!tryscanint(in, x, v)) nonumber(in, v);
    return x;
}

float scanfloat(Stream& in, const Value& v) {
    float x = 0;
    if (!tryscanfloat(in, x, v)) nonumber(in, v);
    return x;
}

double scandouble(Stream& in, const Value& v) {
    double x = 0;
    if (!scannumber(in, x, v, Kind::real, std::strtod)) nonumber(in, v);
    return x;
}

bool leadingint(Stream& in, int& out, const Value& v) {
    const std::string w = word(in, v.var);
    if (w.find('\0') != std::string::npos) nulbyte(in, v);
    std::string tail;
    long x = 0;
    bool range = false;
    if (w.empty() || !convert(w, x, tail, range, tolong)) return false;
    if (range || x < INT_MIN || x > INT_MAX) badnumber(in, v);
    out = static_cast<int>(x);
    return true;
}

void failat(const Stream& in, const Value& v, const std::string& what, const std::string& fix) {
    failon(in, v, what, fix);
}

void outofrange(const Stream& in, const Value& v, double value, const char* allowed) {
    // Whole numbers in full (1000001, not 1e+06).
    char text[32];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%g", value);
    failon(in, v, "In " + file(in) + ", " + v.text() + " is " + text + "; it must be " + allowed + ".",
           "Correct the value in " + file(in) + " and restart the program.");
}

std::string numbers(int n) { return std::to_string(n) + (n == 1 ? " number" : " numbers"); }

void warn(const Stream& in, const std::string& text) {
    if (!in.warnings) return;
    if (std::find(in.warnings->begin(), in.warnings->end(), text) == in.warnings->end())
        in.warnings->push_back(text);
}

Leftover leftover(const Stream& in) {
    const std::string& t = in.text;
    // A Ctrl-Z that only line ends follow ends the file.
    size_t end = t.find_last_not_of("\r\n");
    end = end != std::string::npos && t[end] == ctrlz ? end : t.size();
    const auto stops = [&](size_t at) { return at >= end || blank(t[at]) || (!in.bare && t[at] == '"'); };
    Leftover left;
    size_t at = std::min(in.at, end);
    while (!stops(at)) // text glued to the value
        ++at;
    for (;;) {
        while (at < end && blank(t[at]))
            ++at;
        if (at >= end || (!in.bare && t[at] == '"')) break;
        const size_t start = at;
        while (!stops(at))
            ++at;
        // A word that begins as a number does: a digit, or a sign or a
        // point before one.
        size_t d = start + (t[start] == '+' || t[start] == '-' ? 1 : 0);
        if (d < at && t[d] == '.') ++d;
        if (d < at && std::isdigit(static_cast<unsigned char>(t[d]))) {
            if (left.count++ == 0) left.first = start;
        }
    }
    return left;
}

void say(const Streams& s, const std::string& line) {
    if (s.say) s.say(line);
}

void reading(const Streams& s, const char* name) {
    if (s.reached) s.reached->emplace_back(name);
    say(s, std::string("Reading data from ") + name + "\n");
}

} // namespace kalp
