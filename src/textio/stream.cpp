#include "textio/stream.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <string>

#include "core/stop.h"

namespace kalp {

namespace {

std::string valuename(const char* what, int index) {
    std::string s = what;
    if (index > 0) s += " " + std::to_string(index);
    return s;
}

std::string file(const Stream& s) { return std::string(s.name); }

[[noreturn]] void nonumber(const Stream& in, const char* what, int index) {
    fail("The file " + file(in) + " holds no readable number for " + valuename(what, index) + ".",
         "Write that value as a number in " + file(in) + " and restart the program.");
}

[[noreturn]] void badnumber(const Stream& in, const char* what, int index) {
    fail("The value of " + valuename(what, index) + " in " + file(in) +
             " is not a finite number or is too large.",
         "Correct the value in " + file(in) + " and restart the program.");
}

} // namespace

Stream openin(const char* name) {
    Stream s{std::fopen(name, "r"), name};
    if (!s.fp)
        fail("The input file " + std::string(name) + " cannot be opened.",
             "Put the file " + std::string(name) +
                 " into the working directory and restart the program.");
    return s;
}

Stream openout(const char* name) {
    Stream s{std::fopen(name, "w"), name};
    if (!s.fp)
        fail("The output file " + std::string(name) + " cannot be created.",
             "Make sure that " + std::string(name) +
                 " can be written in the working directory and restart the program.");
    return s;
}

void closein(Stream& s) {
    if (s.fp) std::fclose(s.fp);
    s.fp = nullptr;
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

int getch(Stream& in, Unit unit) {
    const int c = std::getc(in.fp);
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
    long x = 0;
    if (std::fscanf(in.fp, "%ld", &x) != 1) return false;
    if (x < INT_MIN || x > INT_MAX) badnumber(in, what, index);
    v = static_cast<int>(x);
    return true;
}

bool tryscanfloat(Stream& in, float& v, const char* what, int index) {
    float x = 0;
    if (std::fscanf(in.fp, "%f", &x) != 1) return false;
    if (!std::isfinite(x)) badnumber(in, what, index);
    v = x;
    return true;
}

bool tryscandouble(Stream& in, double& v, const char* what, int index) {
    double x = 0;
    if (std::fscanf(in.fp, "%lf", &x) != 1) return false;
    if (!std::isfinite(x)) badnumber(in, what, index);
    v = x;
    return true;
}

int scanint(Stream& in, const char* what, int index) {
    int v = 0;
    if (!tryscanint(in, v, what, index)) nonumber(in, what, index);
    return v;
}

float scanfloat(Stream& in, const char* what, int index) {
    float v = 0;
    if (!tryscanfloat(in, v, what, index)) nonumber(in, what, index);
    return v;
}

double scandouble(Stream& in, const char* what, int index) {
    double v = 0;
    if (!tryscandouble(in, v, what, index)) nonumber(in, what, index);
    return v;
}

void reading(const char* name) { std::printf("Reading data from %s\n", name); }

void endofcount(Stream& in, const char* what) {
    const int c = std::getc(in.fp);
    if (c == EOF) return;
    std::ungetc(c, in.fp);
    if (!std::isspace(c))
        fail("In " + file(in) + ", " + what + " is not followed by a blank or a line break.",
             "Write it as a whole number without a decimal point in " + file(in) +
                 " and restart the program.");
}

} // namespace kalp
