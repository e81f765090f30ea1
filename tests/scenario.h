// Complete working directories for the end-to-end tests: small hand-checked
// runs of one and of two production systems, using a report template whose
// n-th segment reads "{n}".
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "workdir.h"

namespace kalp::test {

std::string spaces(int n);

// The economic values of a system, one per trait, as text.
std::string values35(const char* const* given);

struct Scenario {
    std::string error = "0\n";
    std::string prods = "1\n";
    std::string paravrd = "KALP\"Parameters of the run\"\n1   \"Standardisation (2 = yes)\"\n";
    std::string tpl = numberedtemplate();
    std::string a, b, settings2, settings3, deviations, flags;

    // One system, 8 classes: RRA 2 (0.6 0.4), LLA 3 (0.5 0.3 0.2), both ages
    // 365 days, u 0.05; traced class 1 over 3 years, the sire path given.
    static Scenario one();
    // Two systems, 24 classes (see twentyfourclasses in fixtures.h).
    static Scenario two();
    // Writes every non-empty file into the working folder.
    void write(Workdir& w) const;
    void write(const Diskdir& w) const;
    // The non-empty files by name.
    std::vector<std::pair<std::string, std::string>> files() const;
};

} // namespace kalp::test
