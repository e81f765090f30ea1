#include "run/sweepargs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace kalp {

namespace {

// More values than anyone sweeps; it keeps the scenarios countable.
constexpr long long mostvalues = 100000;

// A plain decimal number: optional sign, digits, optional point and
// digits, as scaled units: 0.05 is 5 units of 10^-2.
bool parsedecimal(const std::string& t, long long& units, int& places) {
    if (t.empty()) return false;
    size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    units = 0;
    places = -1;
    int digits = 0;
    for (; i < t.size(); ++i) {
        if (t[i] == '.' && places < 0) {
            places = 0;
            continue;
        }
        if (t[i] < '0' || t[i] > '9' || ++digits > 15) return false;
        units = units * 10 + (t[i] - '0');
        if (places >= 0) ++places;
    }
    if (digits == 0) return false;
    if (places < 0) places = 0;
    if (t[0] == '-') units = -units;
    return true;
}

std::string formatunits(long long units, int places) {
    const unsigned long long whole = units < 0 ? -static_cast<unsigned long long>(units) : units;
    unsigned long long scale = 1;
    for (int p = 0; p < places; ++p)
        scale *= 10;
    char text[64];
    if (places == 0)
        std::snprintf(text, sizeof text, "%s%llu", units < 0 ? "-" : "", whole);
    else
        std::snprintf(text, sizeof text, "%s%llu.%0*llu", units < 0 ? "-" : "", whole / scale,
                      places, whole % scale);
    return text;
}

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = s.find(by, from)) != std::string::npos; from = at + 1)
        parts.push_back(s.substr(from, at - from));
    parts.push_back(s.substr(from));
    return parts;
}

std::string names() {
    std::string s;
    for (const Parameter& p : parameters())
        s += (s.empty() ? "" : ", ") + std::string(p.name) + (p.pertrait ? ":K" : "");
    return s;
}

// NAME or NAME:K.
Axis parsename(const std::string& name) {
    const size_t colon = name.find(':');
    const Parameter* p = findparameter(name.substr(0, colon));
    Axis a;
    a.p = p;
    if (!p || p->pertrait != (colon != std::string::npos))
        throw BadSweep("NAME is one of " + names() + " (K a trait, 1 to 35), not \"" + name +
                       "\"");
    if (p->pertrait) {
        const std::string k = name.substr(colon + 1);
        char* end = nullptr;
        const long trait = std::strtol(k.c_str(), &end, 10);
        if (k.empty() || *end != '\0' || trait < 1 || trait > 35)
            throw BadSweep("the trait of " + name + " is a number from 1 to 35");
        a.trait = static_cast<int>(trait);
    }
    return a;
}

// Item `i` of a list, `plain` without its leading zeros: "0,05" may be the
// two values 0 and 05, or 0.05 written with a decimal comma.
[[noreturn]] void ambiguous(const std::vector<std::string>& items, size_t i, const std::string& plain) {
    const std::string& t = items[i];
    if (i == 0)
        throw BadSweep("\"" + t + "\" begins with a 0 before a digit, which makes it unclear; write " + plain);
    const std::string& before = items[i - 1];
    throw BadSweep("\"" + before + "," + t + "\" may be the decimal " + before + "." + t +
                   " written with a comma, or the two values " + before + " and " + t + "; write " + before +
                   "." + t + " (decimals take a point), or " + before + "," + plain + " for two values");
}

// A list item with a leading zero before a digit is refused as ambiguous,
// with the decimal it may have meant.
void leadingzeros(const std::vector<std::string>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string& t = items[i];
        const size_t digit = t.find_first_not_of("+-");
        if (digit == std::string::npos || t.size() < digit + 2 || t[digit] != '0' || t[digit + 1] < '0' ||
            t[digit + 1] > '9')
            continue;
        // The item without its leading zeros: 05 is 5, 00 is 0.
        size_t first = t.find_first_not_of('0', digit);
        if (first == std::string::npos)
            first = t.size() - 1;
        else if (t[first] < '0' || t[first] > '9')
            --first; // 00.5 is 0.5
        ambiguous(items, i, t.substr(0, digit) + t.substr(first));
    }
}

[[noreturn]] void unreadable(const std::string& t, bool whole, const std::string& name) {
    throw BadSweep("\"" + t + "\" is no " + (whole ? "whole" : "decimal") + " number for " + name);
}

[[noreturn]] void notallowed(const std::string& name, const std::string& t, const char* need) {
    throw BadSweep(name + " " + t + " is not " + need);
}

} // namespace

std::vector<std::string> rangetexts(const std::string& range) {
    const auto parts = split(range, ':');
    if (parts.size() != 3) throw BadSweep("a range is START:STOP:STEP, such as 0:0.1:0.01");
    long long v[3];
    int places[3];
    for (int i = 0; i < 3; ++i) {
        // Steps are counted exactly in whole units of the last place.
        const auto digits = std::count_if(parts[i].begin(), parts[i].end(),
                                          [](char c) { return c >= '0' && c <= '9'; });
        if (digits > 15)
            throw BadSweep("\"" + parts[i] + "\" in " + range + " has " + std::to_string(digits) +
                           " digits; the numbers of a range have at most 15");
        if (!parsedecimal(parts[i], v[i], places[i]))
            throw BadSweep("\"" + parts[i] + "\" in " + range + " is no plain decimal number");
    }
    const int most = std::max({places[0], places[1], places[2]});
    for (int i = 0; i < 3; ++i)
        for (int p = places[i]; p < most; ++p) {
            if (std::llabs(v[i]) > LLONG_MAX / 100) throw BadSweep(range + " has too many digits");
            v[i] *= 10;
        }
    const long long start = v[0], stop = v[1], step = v[2];
    if (step == 0) throw BadSweep("the step of " + range + " is 0");
    if ((stop - start) / step < 0 || (stop != start && (stop - start > 0) != (step > 0)))
        throw BadSweep("the range " + range + " runs the wrong way for its step");
    const long long count = (stop - start) / step + 1;
    if (count > mostvalues) throw BadSweep(range + " gives more than 100000 values");
    std::vector<std::string> texts;
    for (long long k = 0; k < count; ++k)
        texts.push_back(formatunits(start + k * step, most));
    return texts;
}

Axis parsesweep(const std::string& arg) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) throw BadSweep("write NAME=VALUES, such as u=0.02,0.05");
    const std::string name = arg.substr(0, eq), values = arg.substr(eq + 1);
    Axis a = parsename(name);
    a.texts = values.find(':') != std::string::npos ? rangetexts(values) : split(values, ',');
    if (values.find(':') == std::string::npos) leadingzeros(a.texts);
    for (const std::string& t : a.texts) {
        double v = 0;
        if (!readvalue(*a.p, t, v)) unreadable(t, a.p->whole, name);
        if (a.p->check)
            if (const char* need = a.p->check(v)) notallowed(name, t, need);
        a.values.push_back(v);
    }
    // The same value twice would compute the same scenario twice.
    std::map<double, size_t> seen;
    for (size_t i = 0; i < a.values.size(); ++i) {
        const auto [at, fresh] = seen.emplace(a.values[i], i);
        if (fresh) continue;
        const std::string& first = a.texts[at->second];
        throw BadSweep(first == a.texts[i] ? first + " is given twice"
                                           : a.texts[i] + " is the value of " + first +
                                                 " again, as the input files read it");
    }
    return a;
}

std::vector<Axis> parsesweeps(const std::vector<std::string>& args) {
    std::vector<Axis> axes;
    for (const std::string& arg : args) {
        try {
            axes.push_back(parsesweep(arg));
        } catch (const BadSweep& e) {
            throw BadSweep("--sweep " + arg + ": " + e.what());
        }
        const Axis& a = axes.back();
        for (size_t i = 0; i + 1 < axes.size(); ++i)
            if (axes[i].p == a.p && axes[i].trait == a.trait)
                throw BadSweep("--sweep " + arg + ": " + paramname(*a.p, a.trait) +
                               " is swept twice");
    }
    return axes;
}

std::string sweephelp() {
    return "Sweep a value over a list (0.02,0.05) or a range (0:0.1:0.01): " + names() +
           " (K a trait); writes kalp-sweep.csv, kalp-sweep-geneflow.csv and "
           "kalp-sweep-scenarios.csv";
}

namespace {

// Digits alone, without sign or blanks, and their value if it fits.
bool digits(const std::string& t, std::uint64_t& value) {
    if (t.empty() || t.size() > 20 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    value = 0;
    for (const char c : t) {
        const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - d) / 10) return false;
        value = value * 10 + d;
    }
    return true;
}

} // namespace

long long parsedraws(const std::string& text) {
    std::uint64_t n = 0;
    if (!digits(text, n) || n < 1 || n > static_cast<std::uint64_t>(mostdraws))
        throw BadSweep("--draws " + text + ": give the number of scenarios to draw, a whole number from 1 to " +
                       std::to_string(mostdraws));
    return static_cast<long long>(n);
}

std::uint64_t parseseed(const std::string& text) {
    std::uint64_t s = 0;
    if (!digits(text, s))
        throw BadSweep("--seed " + text + ": give a whole number from 0 to 18446744073709551615");
    return s;
}

} // namespace kalp
