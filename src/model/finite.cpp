#include "model/finite.h"

#include <cmath>
#include <string>

#include "core/stop.h"

namespace kalp {

namespace {

// The files whose values feed the economic weights.
std::string valuefiles(const Model& m) {
    return m.prods == 1 ? "the economic values in INPUTVRD01A.TXT"
                        : "the economic values in INPUTVRD01A.TXT and INPUTVRD01B.TXT and the "
                          "expression weights in INPUTVRD03.TXT";
}

void require(float v, const std::string& what, const std::string& check) {
    if (!std::isfinite(v))
        fail("The " + what + " is not a finite number.",
             "Check " + check + " and restart the program.");
}

std::string trait(const char* quantity, int k, const char* component) {
    return std::string(quantity) + " of trait " + std::to_string(k) + ", " + component + ",";
}

} // namespace

void requirefiniteweights(const Model& m) {
    for (int i = 1; i <= m.acm; ++i)
        require(m.m_sum[i], "discounted gene flow of class " + std::to_string(i),
                "the discount rate in INPUTVRD01A.TXT");
    for (int k = 1; k <= 35; ++k) {
        require(m.ew_d[k], trait("economic weight", k, "direct"), valuefiles(m));
        require(m.ew_m[k], trait("economic weight", k, "maternal"), valuefiles(m));
    }
}

void requirefinitestandardised(const Model& m) {
    const std::string check = valuefiles(m) + " and the standard deviations in INPUTVRD04.TXT";
    for (int k = 1; k <= 35; ++k) {
        require(m.ewst_d[k], trait("standardised weight", k, "direct"), check);
        require(m.ewst_m[k], trait("standardised weight", k, "maternal"), check);
    }
    require(m.ewsum_d, "sum of the standardised weights, direct", check);
    require(m.ewsum_m, "sum of the standardised weights, maternal", check);
    require(m.ewsum, "sum of the standardised weights, direct and maternal", check);
    for (int k = 1; k <= 35; ++k) {
        require(m.ewr_dd[k], trait("relative weight within the component", k, "direct"), check);
        require(m.ewr_da[k], trait("relative weight within the total", k, "direct"), check);
        require(m.ewr_mm[k], trait("relative weight within the component", k, "maternal"), check);
        require(m.ewr_ma[k], trait("relative weight within the total", k, "maternal"), check);
    }
}

} // namespace kalp
