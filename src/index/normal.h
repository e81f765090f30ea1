// The standard normal distribution as truncation selection needs it, from
// additions, multiplications, divisions and square roots alone, so that
// every platform gives the same bits (the C library's exp and erfc differ
// in their last bits between systems).
#pragma once

namespace kalp {

// e to the power x, within an ulp or two; 0 below about -745.
double exponential(double x);
// The density of the standard normal distribution at x.
double normaldensity(double x);
// The probability that a standard normal value exceeds x.
double uppertail(double x);
// The point that a proportion p of the standard normal distribution
// exceeds, 0 < p < 1.
double truncationpoint(double p);
// The selection intensity of truncation selection that keeps the best
// proportion p, 0 < p <= 1: the mean of the kept part in standard
// deviations, density(x) / p at the truncation point x; 0 for p = 1.
double intensity(double p);

} // namespace kalp
