#include "scenario.h"

namespace kalp::test {

std::string spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }

std::string values35(const char* const* given) {
    std::string s;
    for (int i = 0; i < 35; ++i)
        s += std::string(given[i] ? given[i] : "0") + (i % 7 == 6 ? "\n" : " ");
    return s;
}

Scenario Scenario::one() {
    Scenario s;
    const char* v[35] = {};
    v[0] = "2.5";      // trait 1
    v[2] = "0.000001"; // trait 3: stored below 1e-6
    v[3] = "0.000002"; // trait 4
    v[7] = "-1.25";    // trait 8
    s.a = "0.05\n2\n0.6 0.4\n3\n0.5 0.3 0.2\n" + values35(v) + "365 365\n";
    s.settings2 = "/ Gene flow of young rams /\n"
                  "1 \"Traced class\" \"n_sac\"\n"
                  "3 \"Years\" \"l_inv\"\n"
                  "1 \"Sire path given\" \"pgssA\"\n"
                  "2 \"Dam path computed\" \"pgdsA\"\n"
                  "0 0.3 0.2 \"Sire path\" \"PS\"\n"
                  "\"Dam path\" \"PD\"\n";
    return s;
}

Scenario Scenario::two() {
    Scenario s;
    s.prods = "2\n";
    const char* va[35] = {};
    va[0] = "2";
    va[7] = "4";
    const char* vp[35] = {};
    vp[0] = "1";
    vp[3] = "3";
    vp[7] = "2";
    const char* vc[35] = {};
    vc[0] = "1.5";
    vc[3] = "3.5";
    s.a = "0.03\n3\n0.5 0.3 0.2\n5\n0.2 0.2 0.2 0.2 0.2\n" + values35(va) + "365 730\n";
    s.b = "2\n0.7 0.3\n4\n0.4 0.3 0.2 0.1\n" + values35(vp) + values35(vc) +
          "400 0 365\n0.5 0.5 0.5 0.5\n";
    s.settings3 = "/ Crossing of B ewes with A rams /\n"
                  "0.4 \"Expression weight of A\" \"pdA\"\n"
                  "0.6 \"Expression weight of B\" \"pdB\"\n"
                  "17 \"Traced class\" \"n_sac\"\n"
                  "10 \"Years\" \"l_inv\"\n"
                  "2 \"A sire path\" \"pgssA\"\n"
                  "2 \"A dam path\" \"pgdsA\"\n"
                  "2 \"B sire path\" \"pgssB\"\n"
                  "2 \"B dam path\" \"pgdsB\"\n"
                  "\"A-sire path\" \"PSA\"\n\"A-dam path\" \"PDA\"\n"
                  "\"B-sire path\" \"PSB\"\n\"B-dam path\" \"PDB\"\n";
    return s;
}

std::vector<std::pair<std::string, std::string>> Scenario::files() const {
    const std::pair<const char*, const std::string*> all[] = {
        {"ERROR.TXT", &error},           {"P01.TXT", &prods},
        {"PARAVRD.TXT", &paravrd},       {"TEXTVRD_OUT.TXT", &tpl},
        {"INPUTVRD01A.TXT", &a},         {"INPUTVRD01B.TXT", &b},
        {"INPUTVRD02.TXT", &settings2},  {"INPUTVRD03.TXT", &settings3},
        {"INPUTVRD04.TXT", &deviations}, {"INPUTVRD05.TXT", &flags},
    };
    std::vector<std::pair<std::string, std::string>> v;
    for (const auto& [name, text] : all)
        if (!text->empty()) v.emplace_back(name, *text);
    return v;
}

void Scenario::write(Workdir& w) const {
    for (const auto& [name, text] : files())
        w.write(name, text);
}

void Scenario::write(const Diskdir& w) const {
    for (const auto& [name, text] : files())
        w.write(name, text);
}

} // namespace kalp::test
