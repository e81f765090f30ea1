#include "model/finite.h"

#include <cmath>

#include "core/stop.h"

namespace kalp {

namespace {

// The options that give values `of` trait k, or of any trait when k is 0.
void options(const Givens& g, Given::Of of, int k, std::vector<std::string>& found) {
    for (const Given& x : g)
        if (x.of == of && (k == 0 || x.trait == k)) found.push_back(x.option);
}

// "the economic value given with --sweep evpA:8", "the economic values
// given with --sweep evpB:8 and --sweep evpBx:8".
std::string givenwith(const char* noun, const std::vector<std::string>& options) {
    std::string s = noun;
    if (options.size() > 1) s += 's';
    s += " given with ";
    for (size_t i = 0; i < options.size(); ++i) {
        if (i > 0) s += i + 1 < options.size() ? ", " : " and ";
        s += options[i];
    }
    return s;
}

// The economic values behind the weights of trait k, or of every trait
// when k is 0.
std::string values(const Model& m, const Givens& g, int k) {
    const char* files = m.prods == 1
                            ? "the economic values in INPUTVRD01A.TXT"
                            : "the economic values in INPUTVRD01A.TXT and INPUTVRD01B.TXT and the "
                              "expression weights in INPUTVRD03.TXT";
    std::vector<std::string> given;
    options(g, Given::Of::value, k, given);
    if (given.empty()) return files;
    const std::string s = givenwith("the economic value", given);
    // With one system the option gives trait k its only economic value.
    return m.prods == 1 && k > 0 ? s : s + ", " + files;
}

// The standard deviations behind trait k (0: every trait), of its direct
// or maternal component or of both.
std::string deviations(const Givens& g, int k, bool direct, bool maternal) {
    const char* file = "the standard deviations in INPUTVRD04.TXT";
    std::vector<std::string> given;
    if (direct) options(g, Given::Of::direct, k, given);
    if (maternal) options(g, Given::Of::maternal, k, given);
    if (given.empty()) return file;
    const std::string s = givenwith("the standard deviation", given);
    return k > 0 ? s : s + ", " + file;
}

// `file` and `var` name the file and the model variable of the stop.
[[noreturn]] void notfinite(const std::string& what, const std::string& check, const char* file,
                            const std::string& var) {
    failin(file, var, "The " + what + " is not a finite number.",
           "Check " + check + " and restart the program.", StopKind::notfinite);
}

std::string at(const char* var, int k) { return std::string(var) + "[" + std::to_string(k) + "]"; }

std::string trait(const char* quantity, int k, const char* component) {
    return std::string(quantity) + " of trait " + std::to_string(k) + ", " + component + ",";
}

} // namespace

void requirefiniteweights(const Model& m, const Givens& g) {
    for (int i = 1; i <= m.acm; ++i)
        if (!std::isfinite(m.m_sum[i])) {
            const std::string what = "discounted gene flow of class " + std::to_string(i);
            std::vector<std::string> rate;
            options(g, Given::Of::rate, 0, rate);
            if (rate.empty())
                notfinite(what, "the discount rate in INPUTVRD01A.TXT", "INPUTVRD01A.TXT", "u");
            notfinite(what, givenwith("the discount rate", rate), "", "u");
        }
    const char* a = "INPUTVRD01A.TXT";
    for (int k = 1; k <= 35; ++k) {
        if (!std::isfinite(m.ew_d[k]))
            notfinite(trait("economic weight", k, "direct"), values(m, g, k), a, at("ew_d", k));
        if (!std::isfinite(m.ew_m[k]))
            notfinite(trait("economic weight", k, "maternal"), values(m, g, k), a, at("ew_m", k));
    }
}

void requirefinitestandardised(const Model& m, const Givens& g) {
    // What to check for trait k (0: every trait), by component.
    const auto check = [&](int k, bool direct, bool maternal) {
        return values(m, g, k) + " and " + deviations(g, k, direct, maternal);
    };
    const char* f = "INPUTVRD04.TXT";
    for (int k = 1; k <= 35; ++k) {
        if (!std::isfinite(m.ewst_d[k]))
            notfinite(trait("standardised weight", k, "direct"), check(k, true, false), f,
                      at("gstd_d", k));
        if (!std::isfinite(m.ewst_m[k]))
            notfinite(trait("standardised weight", k, "maternal"), check(k, false, true), f,
                      at("gstd_m", k));
    }
    const struct {
        float v;
        const char* what;
        bool direct, maternal;
        const char* var;
    } sums[] = {
        {m.ewsum_d, "sum of the standardised weights, direct", true, false, "ewsum_d"},
        {m.ewsum_m, "sum of the standardised weights, maternal", false, true, "ewsum_m"},
        {m.ewsum, "sum of the standardised weights, direct and maternal", true, true, "ewsum"},
    };
    for (const auto& sum : sums)
        if (!std::isfinite(sum.v))
            notfinite(sum.what, check(0, sum.direct, sum.maternal), f, sum.var);
    const struct {
        const float* v;
        const char* quantity;
        const char* component;
        const char* var;
    } relative[] = {
        {m.ewr_dd, "relative weight within the component", "direct", "ewr_dd"},
        {m.ewr_da, "relative weight within the total", "direct", "ewr_da"},
        {m.ewr_mm, "relative weight within the component", "maternal", "ewr_mm"},
        {m.ewr_ma, "relative weight within the total", "maternal", "ewr_ma"},
    };
    for (int k = 1; k <= 35; ++k)
        for (const auto& r : relative)
            if (!std::isfinite(r.v[k]))
                notfinite(trait(r.quantity, k, r.component), check(0, true, true), f,
                          at(r.var, k));
}

} // namespace kalp
