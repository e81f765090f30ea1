// A whole power rounded once, in double-double arithmetic: only + - * / on
// doubles and exact scalings by powers of two, so that it gives the same
// bits on every IEEE 754 machine (with -ffp-contract=off, as the whole
// program is built).
#include <cfloat>
#include <cmath>

#include "platform/platform.h"

namespace kalp::platform {

namespace {

// A number h + l with |l| at most half a unit in the last place of h.
struct Pair {
    double h, l;
};

// a + b exactly, for |a| >= |b|.
Pair quicksum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a in two halves of 26 bits each, whose products are exact.
void halves(double a, double& hi, double& lo) {
    const double c = 134217729.0 * a; // 2^27 + 1
    hi = c - (c - a);
    lo = a - hi;
}

// a x b exactly, as a pair.
Pair product(double a, double b) {
    const double p = a * b;
    double ah = 0, al = 0, bh = 0, bl = 0;
    halves(a, ah, al);
    halves(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// a x b to about 2^-104 relative.
Pair times(Pair a, Pair b) {
    Pair p = product(a.h, b.h);
    p.l += a.h * b.l + a.l * b.h;
    return quicksum(p.h, p.l);
}

// Keeps h in [0.5, 1), the binary exponent in `e`: the powers of numbers
// far from 1 leave the range of a double long before the result does.
void scale(Pair& a, long long& e) {
    int k = 0;
    a.h = std::frexp(a.h, &k);
    a.l = std::ldexp(a.l, -k);
    e += k;
}

// (h + l) x 2^e as a double, rounded once: also where it is subnormal or
// beyond the largest double.
double place(Pair a, long long e) {
    if (e > DBL_MAX_EXP) return HUGE_VAL;
    // h is h + l rounded to nearest: scaling it is exact.
    if (e >= DBL_MIN_EXP) return std::ldexp(a.h, static_cast<int>(e));
    // Subnormal: in units of 2^-1074, h x 2^(e + 1074) is a whole number of
    // fewer than 53 bits and a fraction, rounded here to nearest, ties to
    // the even unit.
    const long long k = e - (DBL_MIN_EXP - DBL_MANT_DIG);
    if (k < 0) return 0.0;
    const double scaled = std::ldexp(a.h, static_cast<int>(k));
    const double whole = std::floor(scaled);
    const double beyond = ((scaled - whole) - 0.5) + std::ldexp(a.l, static_cast<int>(k));
    double units = whole;
    if (beyond > 0 || (beyond == 0 && std::fmod(whole, 2.0) != 0)) units += 1;
    return std::ldexp(units, DBL_MIN_EXP - DBL_MANT_DIG);
}

} // namespace

double roundedpower(double x, int n) {
    if (n <= 0) return 1.0;
    int ex = 0;
    Pair b{std::frexp(x, &ex), 0.0};
    long long eb = ex;
    Pair r{1.0, 0.0};
    long long er = 0;
    // Squares of x, multiplied in for each bit of n.
    for (unsigned bits = static_cast<unsigned>(n);;) {
        if (bits & 1u) {
            r = times(r, b);
            er += eb;
            scale(r, er);
        }
        bits >>= 1;
        if (bits == 0) break;
        b = times(b, b);
        eb *= 2;
        scale(b, eb);
        // Far beyond the range of a double either way: the result is 0 or
        // infinite, whatever the bits still to come.
        constexpr long long far = 4LL * DBL_MAX_EXP;
        if (eb > far || eb < -far) return eb > 0 ? HUGE_VAL : 0.0;
    }
    return place(r, er);
}

} // namespace kalp::platform
