#include "index/normal.h"

#include <cmath>

namespace kalp {

namespace {

// ln 2 in two parts: the first has zeros in its last bits, so that k times
// it is exact for the k that occur.
constexpr double ln2hi = 6.93147180369123816490e-01;
constexpr double ln2lo = 1.90821492927058770002e-10;
constexpr double sqrt2pi = 2.50662827463100050242;

} // namespace

double exponential(double x) {
    if (x < -745.2) return 0;
    if (x > 709.7) return HUGE_VAL;
    // x = k ln 2 + r, |r| <= ln 2 / 2, and e^r by its Taylor series in
    // Horner's form, 1 + r (1 + r/2 (1 + r/3 (...))).
    const double k = std::nearbyint(x / 0.69314718055994530942);
    const double r = (x - k * ln2hi) - k * ln2lo;
    double sum = 1;
    for (int n = 20; n >= 1; --n)
        sum = 1 + r * sum / n;
    return std::ldexp(sum, static_cast<int>(k));
}

double normaldensity(double x) { return exponential(-x * x / 2) / sqrt2pi; }

double uppertail(double x) {
    if (x < 0) return 1 - uppertail(-x);
    if (x < 1.5) {
        // Marsaglia's series: 1/2 - density(x) (x + x^3/3 + x^5/(3 5) + ...).
        double term = x, sum = x;
        for (int n = 3; n < 400; n += 2) {
            term = term * x * x / n;
            const double next = sum + term;
            if (next == sum) break;
            sum = next;
        }
        return 0.5 - normaldensity(x) * sum;
    }
    // Laplace's continued fraction density(x) / (x + 1/(x + 2/(x + 3/(x + ...)))),
    // from its 400th level back: as exact as the double allows from x = 1.5.
    double f = x;
    for (int n = 400; n >= 1; --n)
        f = x + n / f;
    return normaldensity(x) / f;
}

double truncationpoint(double p) {
    // The tail falls as x grows: halve the interval that holds the point
    // until it holds no other double.
    double lo = -40, hi = 40;
    for (int step = 0; step < 200; ++step) {
        const double mid = (lo + hi) / 2;
        if (mid == lo || mid == hi) break;
        if (uppertail(mid) > p)
            lo = mid;
        else
            hi = mid;
    }
    return (lo + hi) / 2;
}

double intensity(double p) {
    if (p >= 1) return 0;
    return normaldensity(truncationpoint(p)) / p;
}

} // namespace kalp
