#include "engine/draws.h"

#include <cmath>

namespace kalp {

namespace {

// ln 2 in two parts: the first has zeros in its last bits, so that k times
// it is exact for the k of a double's exponent.
constexpr double ln2hi = 6.93147180369123816490e-01;
constexpr double ln2lo = 1.90821492927058770002e-10;

double polynomial(const double (&c)[8], double x) {
    double s = c[7];
    for (int i = 6; i >= 0; --i)
        s = s * x + c[i];
    return s;
}

// Wichura (1988), Algorithm AS 241, PPND16: rational functions of
// q = p - 1/2 near the centre, of r = sqrt(-log(min(p, 1 - p))) in the tails.
constexpr double a[8] = {3.3871328727963666080e0, 1.3314166789178437745e+2, 1.9715909503065514427e+3,
                         1.3731693765509461125e+4, 4.5921953931549871457e+4, 6.7265770927008700853e+4,
                         3.3430575583588128105e+4, 2.5090809287301226727e+3};
constexpr double b[8] = {1.0, 4.2313330701600911252e+1, 6.8718700749205790830e+2, 5.3941960214247511077e+3,
                         2.1213794301586595867e+4, 3.9307895800092710610e+4, 2.8729085735721942674e+4,
                         5.2264952788528545610e+3};
constexpr double c[8] = {1.42343711074968357734e0, 4.63033784615654529590e0, 5.76949722146069140550e0,
                         3.64784832476320460504e0, 1.27045825245236838258e0, 2.41780725177450611770e-1,
                         2.27238449892691845833e-2, 7.74545014278341407640e-4};
constexpr double d[8] = {1.0, 2.05319162663775882187e0, 1.67638483018380384940e0, 6.89767334985100004550e-1,
                         1.48103976427480074590e-1, 1.51986665636164571966e-2, 5.47593808499534494600e-4,
                         1.05075007164441684324e-9};
constexpr double e[8] = {6.65790464350110377720e0, 5.46378491116411436990e0, 1.78482653991729133580e0,
                         2.96560571828504891230e-1, 2.65321895265761230930e-2, 1.24266094738807843860e-3,
                         2.71155556874348757815e-5, 2.01033439929228813265e-7};
constexpr double f[8] = {1.0, 5.99832206555887937690e-1, 1.36929880922735805310e-1, 1.48753612908506148525e-2,
                         7.86869131145613259100e-4, 1.84631831751005468180e-5, 1.42151175831644588870e-7,
                         2.04426310338993978564e-15};

} // namespace

std::uint64_t splitmix(std::uint64_t seed, std::uint64_t k) {
    std::uint64_t z = seed + (k + 1) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double uniform(std::uint64_t x) { return (static_cast<double>(x >> 12) + 0.5) * 0x1.0p-52; }

double logarithm(double x) {
    // x = m 2^k with sqrt(1/2) <= m < sqrt(2), and ln m = 2 atanh(s),
    // s = (m - 1) / (m + 1), |s| < 0.172, by its series in s^2.
    int k = 0;
    double m = std::frexp(x, &k);
    if (m < 0.70710678118654752440) {
        m *= 2;
        --k;
    }
    const double s = (m - 1) / (m + 1), s2 = s * s;
    double sum = 0;
    for (int n = 27; n >= 3; n -= 2)
        sum = (1.0 / n + sum) * s2;
    const double lnm = 2 * s + 2 * s * sum;
    return k * ln2hi + (k * ln2lo + lnm);
}

double normalquantile(double p) {
    const double q = p - 0.5;
    if (std::fabs(q) <= 0.425) {
        const double r = 0.180625 - q * q;
        return q * polynomial(a, r) / polynomial(b, r);
    }
    double r = std::sqrt(-logarithm(q < 0 ? p : 1 - p));
    double value;
    if (r <= 5) {
        r -= 1.6;
        value = polynomial(c, r) / polynomial(d, r);
    } else {
        r -= 5;
        value = polynomial(e, r) / polynomial(f, r);
    }
    return q < 0 ? -value : value;
}

namespace {

// The value of `v` at the point u of its distribution, 0 < u < 1.
double inverse(const UncertainValue& v, double u) {
    switch (v.distribution) {
    case Distribution::normal: return v.value + v.a * normalquantile(u);
    case Distribution::uniform: return v.a + (v.b - v.a) * u;
    case Distribution::triangular: {
        const double width = v.b - v.a, below = v.value - v.a;
        if (width <= 0) return v.a;
        if (u * width < below) return v.a + std::sqrt(u * width * below);
        return v.b - std::sqrt((1 - u) * width * (v.b - v.value));
    }
    }
    return v.value;
}

} // namespace

std::vector<double> Draws::draw(long long i) const {
    std::vector<double> out(values.size());
    const std::uint64_t first = static_cast<std::uint64_t>(i) * values.size();
    for (size_t j = 0; j < values.size(); ++j)
        out[j] = static_cast<float>(inverse(values[j], uniform(splitmix(seed, first + j))));
    return out;
}

std::vector<Change> Draws::changes(long long i) const {
    static const Parameter* const params[3] = {findparameter("evpA"), findparameter("evpB"),
                                               findparameter("evpBx")};
    const std::vector<double> x = draw(i);
    std::vector<Change> out(values.size());
    for (size_t j = 0; j < values.size(); ++j)
        out[j] = {params[static_cast<int>(values[j].system)], values[j].trait, x[j]};
    return out;
}

} // namespace kalp
