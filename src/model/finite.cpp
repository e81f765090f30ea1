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

// `file` and `var` name the file and the model variable of the stop.
void require(float v, const std::string& what, const std::string& check, const char* file,
             const std::string& var) {
    if (!std::isfinite(v))
        failin(file, var, "The " + what + " is not a finite number.",
               "Check " + check + " and restart the program.", StopKind::notfinite);
}

std::string at(const char* var, int k) { return std::string(var) + "[" + std::to_string(k) + "]"; }

std::string trait(const char* quantity, int k, const char* component) {
    return std::string(quantity) + " of trait " + std::to_string(k) + ", " + component + ",";
}

} // namespace

void requirefiniteweights(const Model& m) {
    for (int i = 1; i <= m.acm; ++i)
        require(m.m_sum[i], "discounted gene flow of class " + std::to_string(i),
                "the discount rate in INPUTVRD01A.TXT", "INPUTVRD01A.TXT", "u");
    const char* a = "INPUTVRD01A.TXT";
    for (int k = 1; k <= 35; ++k) {
        require(m.ew_d[k], trait("economic weight", k, "direct"), valuefiles(m), a, at("ew_d", k));
        require(m.ew_m[k], trait("economic weight", k, "maternal"), valuefiles(m), a, at("ew_m", k));
    }
}

void requirefinitestandardised(const Model& m) {
    const std::string check = valuefiles(m) + " and the standard deviations in INPUTVRD04.TXT";
    const char* f = "INPUTVRD04.TXT";
    for (int k = 1; k <= 35; ++k) {
        require(m.ewst_d[k], trait("standardised weight", k, "direct"), check, f, at("gstd_d", k));
        require(m.ewst_m[k], trait("standardised weight", k, "maternal"), check, f, at("gstd_m", k));
    }
    require(m.ewsum_d, "sum of the standardised weights, direct", check, f, "ewsum_d");
    require(m.ewsum_m, "sum of the standardised weights, maternal", check, f, "ewsum_m");
    require(m.ewsum, "sum of the standardised weights, direct and maternal", check, f, "ewsum");
    for (int k = 1; k <= 35; ++k) {
        require(m.ewr_dd[k], trait("relative weight within the component", k, "direct"), check, f,
                at("ewr_dd", k));
        require(m.ewr_da[k], trait("relative weight within the total", k, "direct"), check, f,
                at("ewr_da", k));
        require(m.ewr_mm[k], trait("relative weight within the component", k, "maternal"), check, f,
                at("ewr_mm", k));
        require(m.ewr_ma[k], trait("relative weight within the total", k, "maternal"), check, f,
                at("ewr_ma", k));
    }
}

} // namespace kalp
