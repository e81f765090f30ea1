#include "input/values.h"

#include <algorithm>

namespace kalp {

const std::vector<ValueInfo>& values() {
    static const std::vector<ValueInfo> rows = {
        {"errmess", "ERROR.TXT", "Error flag of the preceding program TORM2 (1 stops the run)",
         "error flag of TORM2", ""},
        {"prods", "P01.TXT", "Production systems", "number of production systems", ""},
        {"gstd", "PARAVRD.TXT", "Standardise the economic weights by genetic standard deviations",
         "standardisation switch", ""},
        {"u", "INPUTVRD01A.TXT", "Discount rate per year", "discount rate", ""},
        {"RRA", "INPUTVRD01A.TXT", "Number of reproductive ram classes (at most 5)",
         "number of reproductive ram classes", ""},
        {"l4RA", "INPUTVRD01A.TXT", "Age weights of the reproductive ram classes",
         "age weight of ram class %d", ""},
        {"LLA", "INPUTVRD01A.TXT", "Number of reproductive ewe classes (at most 15)",
         "number of reproductive ewe classes", ""},
        {"l4EA", "INPUTVRD01A.TXT", "Age weights of the reproductive ewe classes",
         "age weight of ewe class %d", ""},
        {"evpA", "INPUTVRD01A.TXT", "Economic value of trait %d (A)",
         "economic value of trait %d (A)", ""},
        {"ageR11A", "INPUTVRD01A.TXT", "Age of the rams at first use (days)",
         "age of the rams at first use", "day"},
        {"ageE1A", "INPUTVRD01A.TXT", "Age of the ewes at first use (days)",
         "age of the ewes at first use", "day"},
        {"RRB", "INPUTVRD01B.TXT", "Number of reproductive ram classes (at most 5)",
         "number of reproductive ram classes of B", ""},
        {"l4RB", "INPUTVRD01B.TXT", "Age weights of the reproductive ram classes",
         "age weight of ram class %d of B", ""},
        {"LLB", "INPUTVRD01B.TXT", "Number of reproductive ewe classes (at most 15)",
         "number of reproductive ewe classes of B", ""},
        {"l4EB", "INPUTVRD01B.TXT", "Age weights of the reproductive ewe classes",
         "age weight of ewe class %d of B", ""},
        {"evpB", "INPUTVRD01B.TXT", "Economic value of trait %d (purebred B)",
         "economic value of trait %d (purebred B)", ""},
        {"evpBx", "INPUTVRD01B.TXT", "Economic value of trait %d (crossbred)",
         "economic value of trait %d (crossbred)", ""},
        {"ageR11B", "INPUTVRD01B.TXT", "Age of the B rams at first use (days)",
         "age of the B rams at first use", "day"},
        {"ageR12A", "INPUTVRD01B.TXT", "Age of the A rams used on B ewes at first use (days)",
         "age of the A rams at first use on B ewes", "day"},
        {"ageE1B", "INPUTVRD01B.TXT", "Age of the B ewes at first use (days)",
         "age of the B ewes at first use", "day"},
        {"pcrossE", "INPUTVRD01B.TXT",
         "Crossing share of each reproductive ewe class (share of those ewes mated to A rams)",
         "crossing share of ewe class %d", ""},
        {"n_sac", "INPUTVRD02.TXT", "Traced sex and age group", "traced group", ""},
        {"l_inv", "INPUTVRD02.TXT", "Period of the gene flow (years)", "period", "year"},
        {"gstd_d", "INPUTVRD04.TXT", "Direct genetic standard deviation of trait %d",
         "direct standard deviation of trait %d", ""},
        {"gstd_m", "INPUTVRD04.TXT", "Maternal genetic standard deviation of trait %d",
         "maternal standard deviation of trait %d", ""},
    };
    return rows;
}

const ValueInfo* findvalue(const std::string& var) {
    const auto& rows = values();
    const auto found =
        std::find_if(rows.begin(), rows.end(), [&](const ValueInfo& v) { return var == v.var; });
    return found == rows.end() ? nullptr : &*found;
}

std::string withnumber(const char* text, int n) {
    std::string s = text;
    const size_t at = s.find("%d");
    if (at != std::string::npos) s.replace(at, 2, std::to_string(n));
    return s;
}

} // namespace kalp
