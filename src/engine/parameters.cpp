#include "engine/parameters.h"

#include "input/values.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace kalp {

namespace {

const char* aboveminus1(double v) { return v > -1 ? nullptr : "above -1"; }
const char* atleast1(double v) { return v >= 1 ? nullptr : "at least 1"; }
const char* period(double v) {
    if (v < 1) return "at least 1";
    return v > mostyears ? "at most 1000000" : nullptr;
}

bool anywhere(const Model&, int, double, std::string*, std::string*) { return true; }

bool inthetable(const Model& m, int, double value, std::string* wrong, std::string* fix) {
    const int bound = tracedbound(m);
    if (value <= bound) return true;
    if (!wrong) return false;
    *fix = "Give traced groups from 1 to " + std::to_string(bound) +
           " (kalp --classes lists them) and restart the program.";
    const std::string group =
        "gives the traced sex and age group " + std::to_string(static_cast<long long>(value));
    *wrong = value <= m.acm ? group + ", a progeny class, which cannot be traced"
                            : group + ", outside the class table of the input files";
    return false;
}

bool systemB(const Model& m, int k, double, std::string* wrong, std::string* fix) {
    if (m.prods == 2) return true;
    if (!wrong) return false;
    *fix = "Sweep evpA:" + std::to_string(k) + ", or give two systems in P01.TXT, and restart the "
                                               "program.";
    *wrong = "changes an economic value of system B, but P01.TXT gives one production system";
    return false;
}

bool deviation(const Model& m, int k, bool direct, std::string* wrong, std::string* fix) {
    const bool has = direct ? hasdirect(m, k) : hasmaternal(m, k);
    if (has && m.gstd == 2) return true;
    if (!wrong) return false;
    *fix = "Sweep the standard deviations of INPUTVRD04.TXT that a standardised run reads, and "
           "restart the program.";
    *wrong = !has ? "changes the " + std::string(direct ? "direct" : "maternal") +
                        " standard deviation of trait " + std::to_string(k) + ", which has no " +
                        (direct ? "direct" : "maternal") + " component"
                  : "changes a standard deviation, but PARAVRD.TXT asks for no standardisation";
    return false;
}
bool directsd(const Model& m, int k, double, std::string* wrong, std::string* fix) {
    return deviation(m, k, true, wrong, fix);
}
bool maternalsd(const Model& m, int k, double, std::string* wrong, std::string* fix) {
    return deviation(m, k, false, wrong, fix);
}

// A row whose file and words come from the table of input values.
Parameter row(const char* name, bool pertrait, bool whole, Stage stage, const char* column,
              const char* (*check)(double), Fits fits, Apply apply, Get get, Given::Of blamed) {
    const ValueInfo& v = *findvalue(name);
    return Parameter{name,   pertrait, whole, stage, v.file, v.label, v.noun, v.unit,
                     column, check,    fits,  apply, get,    blamed};
}

const std::vector<Parameter>& table() {
    static const std::vector<Parameter> rows = {
        row("u", false, false, Stage::flow, "discount_rate", aboveminus1, anywhere,
            [](Model& m, int, double v) { m.u = static_cast<float>(v); },
            [](const Model& m, int) { return static_cast<double>(m.u); }, Given::Of::rate),
        row("l_inv", false, true, Stage::period, "period", period, anywhere,
            [](Model& m, int, double v) { m.l_inv = static_cast<int>(v); },
            [](const Model& m, int) { return static_cast<double>(m.l_inv); }, Given::Of::none),
        row("n_sac", false, true, Stage::flow, "traced_group", atleast1, inthetable,
            [](Model& m, int, double v) { m.n_sac = static_cast<int>(v); },
            [](const Model& m, int) { return static_cast<double>(m.n_sac); }, Given::Of::none),
        row("evpA", true, false, Stage::weights, "evpA_%d", nullptr, anywhere,
            [](Model& m, int k, double v) { m.evpA[k][1] = static_cast<float>(v); },
            [](const Model& m, int k) { return static_cast<double>(m.evpA[k][1]); },
            Given::Of::value),
        row("evpB", true, false, Stage::weights, "evpB_%d", nullptr, systemB,
            [](Model& m, int k, double v) { m.evpB[k][1] = static_cast<float>(v); },
            [](const Model& m, int k) { return static_cast<double>(m.evpB[k][1]); },
            Given::Of::value),
        row("evpBx", true, false, Stage::weights, "evpBx_%d", nullptr, systemB,
            [](Model& m, int k, double v) { m.evpB[k][2] = static_cast<float>(v); },
            [](const Model& m, int k) { return static_cast<double>(m.evpB[k][2]); },
            Given::Of::value),
        row("gstd_d", true, false, Stage::deviations, "gstd_d_%d", nullptr, directsd,
            [](Model& m, int k, double v) {
                if (hasweight(m, k)) m.gstd_d[k] = static_cast<float>(v);
            },
            [](const Model& m, int k) { return static_cast<double>(m.gstd_d[k]); },
            Given::Of::direct),
        row("gstd_m", true, false, Stage::deviations, "gstd_m_%d", nullptr, maternalsd,
            [](Model& m, int k, double v) {
                if (hasweight(m, k)) m.gstd_m[k] = static_cast<float>(v);
            },
            [](const Model& m, int k) { return static_cast<double>(m.gstd_m[k]); },
            Given::Of::maternal),
    };
    return rows;
}

bool readreal(const std::string& t, double& value) {
    if (t.empty() || t.find_first_of("xX") != std::string::npos) return false;
    char* end = nullptr;
    const float v = std::strtof(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool readwhole(const std::string& t, double& value) {
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(t.c_str(), &end, 10);
    if (end == t.c_str() || errno == ERANGE || x < INT_MIN || x > INT_MAX) return false;
    if (*end == '.')
        for (++end; *end == '0';)
            ++end;
    value = static_cast<double>(x);
    return *end == '\0';
}

} // namespace

const std::vector<Parameter>& parameters() { return table(); }

const Parameter* findparameter(const std::string& name) {
    const auto& rows = table();
    const auto p = std::find_if(rows.begin(), rows.end(),
                                [&](const Parameter& r) { return name == r.name; });
    return p == rows.end() ? nullptr : &*p;
}

bool readvalue(const Parameter& p, const std::string& text, double& value) {
    return p.whole ? readwhole(text, value) : readreal(text, value);
}

std::string paramname(const Parameter& p, int trait) {
    return p.pertrait ? std::string(p.name) + ":" + std::to_string(trait) : p.name;
}

std::string paramcolumn(const Parameter& p, int trait) { return withnumber(p.column, trait); }
std::string paramlabel(const Parameter& p, int trait) { return withnumber(p.label, trait); }
std::string paramnoun(const Parameter& p, int trait) { return withnumber(p.noun, trait); }

void apply(Model& m, const std::vector<Change>& changes, Stage stage) {
    for (const Change& c : changes)
        if (c.p->stage == stage) c.p->apply(m, c.trait, c.value);
}

void optionsof(const std::vector<Change>& changes, Givens& out) {
    for (const Change& c : changes)
        if (c.p->blamed != Given::Of::none)
            out.push_back({c.p->blamed, c.trait, "--sweep " + paramname(*c.p, c.trait)});
}

} // namespace kalp
