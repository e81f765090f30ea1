#include "textio/stream.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/stop.h"

namespace kalp {

namespace {

std::string file(const Stream& s) { return std::string(s.name); }

[[noreturn]] void nonumber(const Stream& in, const std::string& what) {
    fail("The file " + file(in) + " holds no readable number for " + what + ".",
         "Write that value as a number in " + file(in) + " and restart the program.");
}

[[noreturn]] void badnumber(const Stream& in, const std::string& what) {
    fail("The value of " + what + " in " + file(in) + " is not a finite number or is too large.",
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

bool hexadecimal(const std::string& w) {
    const size_t sign = w[0] == '+' || w[0] == '-' ? 1 : 0;
    return w.size() > sign + 1 && w[sign] == '0' && (w[sign + 1] | 0x20) == 'x';
}

// A number followed by text that does not belong to it (1e3 for a whole
// number, 0,6, 3abc), or a hexadecimal number.
[[noreturn]] void notdecimal(const Stream& in, const std::string& what, const std::string& text,
                             Kind kind, const std::string& tail) {
    const std::string f = file(in);
    const std::string written = "In " + f + ", " + what + " is written as " + quoted(text);
    if (in.bare && kind == Kind::integer)
        fail("In " + f + ", " + what + " is not followed by a blank or a line break.",
             "Write it as a whole number without a decimal point in " + f +
                 " and restart the program.");
    if (hexadecimal(text))
        fail(written + ", a hexadecimal number.",
             "Write it as a decimal number in " + f + " and restart the program.");
    if (kind == Kind::integer)
        fail(written + ", which is not a whole number.",
             "Write it with digits only, without a decimal fraction or exponent, in " + f +
                 " and restart the program.");
    if (!tail.empty() && tail[0] == ',') {
        std::string point = text;
        point[text.size() - tail.size()] = '.';
        fail(written + " with a decimal comma.", "Write decimals with a point (" + point +
                                                     ", not " + text + ") in " + f +
                                                     " and restart the program.");
    }
    fail(written + ", which is not a number.",
         "Write it as a decimal number (such as 0.05, -1.5 or 2e-3) followed by a blank in " + f +
             " and restart the program.");
}

bool blank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void unread(Stream& in, const std::string& bytes) { in.back = bytes + in.back; }

// No number is longer than this; a longer text is no number.
constexpr size_t longest = 512;

// Skips white space and returns the next word: the bytes up to white
// space, the end of the input or, outside bare-number files, a double
// quote. The byte that ends it is given back.
std::string word(Stream& in) {
    int c = readbyte(in);
    while (c != EOF && blank(c))
        c = readbyte(in);
    std::string w;
    while (c != EOF && !blank(c) && (in.bare || c != '"')) {
        if (w.size() <= longest) w += static_cast<char>(c);
        c = readbyte(in);
    }
    if (c != EOF) unread(in, std::string(1, static_cast<char>(c)));
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

// The next word as a number of the given kind, by `f`; false when absent.
template <class T, class F>
bool scannumber(Stream& in, T& v, const std::string& what, Kind kind, F f) {
    const std::string w = word(in);
    if (w.empty()) return false;
    if (w.size() > longest) notdecimal(in, what, w, kind, w);
    std::string tail;
    T x{};
    bool range = false;
    if (!convert(w, x, tail, range, f)) nonumber(in, what);
    if (hexadecimal(w)) notdecimal(in, what, w, kind, tail);
    if (!tail.empty()) {
        if (kind == Kind::real || in.bare || !zerosafterpoint(tail))
            notdecimal(in, what, w, kind, tail);
        // 2.0 for an integer: the fraction stays in the text that follows.
        unread(in, tail);
    }
    if (range && kind == Kind::integer) badnumber(in, what);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(x)) badnumber(in, what);
    }
    v = x;
    return true;
}

long tolong(const char* s, char** end) { return std::strtol(s, end, 10); }

bool intvalue(Stream& in, int& v, const std::string& what) {
    long x = 0;
    if (!scannumber(in, x, what, Kind::integer, tolong)) return false;
    if (x < INT_MIN || x > INT_MAX) badnumber(in, what);
    v = static_cast<int>(x);
    return true;
}

} // namespace

std::string numbered(const char* what, int index) {
    std::string s = what;
    if (index > 0) {
        s += ' ';
        s += std::to_string(index);
    }
    return s;
}

Stream openin(const char* name) {
    errno = 0;
    Stream s;
    s.fp = std::fopen(name, "r");
    s.name = name;
    struct stat st {};
    if (s.fp && fstat(fileno(s.fp), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(s.fp);
        s.fp = nullptr;
        errno = EISDIR;
    }
    if (!s.fp && errno == ENOENT)
        fail("The input file " + std::string(name) + " cannot be opened.",
             "Put the file " + std::string(name) +
                 " into the working directory and restart the program.");
    if (!s.fp)
        fail("The input file " + std::string(name) +
                 " cannot be opened: " + std::strerror(errno ? errno : EIO) + ".",
             "Replace " + std::string(name) +
                 " by a readable file in the working directory and restart the program.");
    // Some editors begin a text file with a UTF-8 byte-order mark.
    std::string start;
    for (const unsigned char b : {0xEF, 0xBB, 0xBF}) {
        const int c = readbyte(s);
        if (c == EOF) break;
        start += static_cast<char>(c);
        if (c != b) break;
    }
    if (start != "\xEF\xBB\xBF") unread(s, start);
    return s;
}

Stream openout(const char* name) {
    Stream s;
    s.fp = std::fopen(name, "w");
    s.name = name;
    if (!s.fp)
        fail("The output file " + std::string(name) + " cannot be created.",
             "Make sure that " + std::string(name) +
                 " can be written in the working directory and restart the program.");
    return s;
}

Stream opensink() {
    Stream s;
    s.fp = std::fopen("/dev/null", "w");
    s.name = "/dev/null";
    if (!s.fp)
        fail("The null device /dev/null cannot be opened.",
             "Check the system and restart the program.");
    return s;
}

void closein(Stream& s) {
    if (s.fp) std::fclose(s.fp);
    s.fp = nullptr;
    s.back.clear();
}

void closeout(Stream& s) {
    if (!s.fp) return;
    const bool bad = std::ferror(s.fp) != 0;
    const bool closed = std::fclose(s.fp) == 0;
    s.fp = nullptr;
    if (bad || !closed)
        fail("The output file " + file(s) + " could not be written completely.",
             "Make room on the disk or check the permissions of " + file(s) +
                 " and restart the program.");
}

int readbyte(Stream& in) {
    if (in.back.empty()) return std::getc(in.fp);
    const auto c = static_cast<unsigned char>(in.back[0]);
    in.back.erase(0, 1);
    return c;
}

int getch(Stream& in, Unit unit) {
    const int c = readbyte(in);
    if (c != EOF) return c;
    switch (unit) {
    case Unit::comment:
        fail("The file " + file(in) + " ends inside its comment.",
             "Enclose the comment at the start of " + file(in) +
                 " in two slashes and restart the program.");
    case Unit::segment:
        fail("The file " + file(in) + " ends inside a text segment.",
             "Use a complete " + file(in) +
                 " in which every text stands between two double quotes and restart the program.");
    case Unit::record: break;
    }
    fail("The file " + file(in) + " ends inside a record.",
         "Give every value of " + file(in) +
             " its description and its label, each between two double quotes, and restart the "
             "program.");
}

bool tryscanint(Stream& in, int& v, const char* what, int index) {
    return intvalue(in, v, numbered(what, index));
}

bool tryscanfloat(Stream& in, float& v, const char* what, int index) {
    return scannumber(in, v, numbered(what, index), Kind::real, std::strtof);
}

int scanint(Stream& in, const char* what, int index) {
    int v = 0;
    if (!tryscanint(in, v, what, index)) nonumber(in, numbered(what, index));
    return v;
}

float scanfloat(Stream& in, const char* what, int index) {
    float v = 0;
    if (!tryscanfloat(in, v, what, index)) nonumber(in, numbered(what, index));
    return v;
}

double scandouble(Stream& in, const char* what, int index) {
    double v = 0;
    const std::string name = numbered(what, index);
    if (!scannumber(in, v, name, Kind::real, std::strtod)) nonumber(in, name);
    return v;
}

bool leadingint(Stream& in, int& v, const char* what) {
    const std::string w = word(in);
    std::string tail;
    long x = 0;
    bool range = false;
    if (w.empty() || !convert(w, x, tail, range, tolong)) return false;
    if (range || x < INT_MIN || x > INT_MAX) badnumber(in, what);
    v = static_cast<int>(x);
    return true;
}

void outofrange(const Stream& in, const std::string& what, double value, const char* allowed) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    fail("In " + file(in) + ", " + what + " is " + text + "; it must be " + allowed + ".",
         "Correct the value in " + file(in) + " and restart the program.");
}

void reading(const Streams& s, const char* name) {
    if (!s.quiet) std::printf("Reading data from %s\n", name);
}

} // namespace kalp
