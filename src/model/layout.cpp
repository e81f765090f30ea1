#include "model/layout.h"

#include <string>

#include "core/stop.h"

namespace kalp {

namespace {
// The most whole years a block can have and still fit the model.
constexpr double maxyears = ACM - 1;
} // namespace

int wholeyears(float days) { return static_cast<int>(static_cast<double>(days) / 365.0); }

namespace {

[[noreturn]] void outside(const char* file, const char* var, const std::string& what) {
    failin(file, var,
           "The data in " + std::string(file) + " give a class layout outside the model: " + what +
               ".",
           "Correct the counts and ages in " + std::string(file) + " and restart the program.");
}

// Classes of one block: reproductive classes plus the whole years before
// their first use. The input stages give every block at least one
// reproductive class; the test keeps P's indices inside the arrays for
// any other caller.
int blocksize(int reproductive, float age, const char* file, const char* agename,
              const char* agevar, const char* block) {
    const double years = static_cast<double>(age) / 365.0;
    if (years <= -1.0)
        outside(file, agevar, std::string(agename) + " is 365 days or more below zero");
    if (years >= maxyears) outside(file, agevar, std::string(agename) + " is too high");
    const int n = reproductive + wholeyears(age);
    if (n < 1)
        outside(file, agevar, std::string("the ") + block +
                          " block has no class (no reproductive class and no year before the "
                          "first use)");
    return n;
}

} // namespace

void layclasses(Model& m) {
    const char* a = "INPUTVRD01A.TXT";
    m.acsA = blocksize(m.RRA, m.ageR11A, a, "the age of the rams at first use", "ageR11A",
                       "A-sire");
    m.acdA = blocksize(m.LLA, m.ageE1A, a, "the age of the ewes at first use", "ageE1A",
                       "A-dam");
    if (m.prods == 1) {
        m.acm = m.acdA + m.acsA + 1;
    } else {
        const char* b = "INPUTVRD01B.TXT";
        m.acsB = blocksize(m.RRB, m.ageR11B, b, "the age of the B rams at first use", "ageR11B",
                           "B-sire");
        m.acdB = blocksize(m.LLB, m.ageE1B, b, "the age of the B ewes at first use", "ageE1B",
                           "B-dam");
        m.acsAB = blocksize(m.RRB, m.ageR12A, b, "the age of the A rams at first use on B ewes",
                            "ageR12A", "crossing-sire");
        m.acm = m.acdA + m.acsA + m.acsAB + m.acsB + m.acdB + 3;
    }
    if (m.acm > ACM - 1)
        outside(m.prods == 1 ? a : "INPUTVRD01A.TXT and INPUTVRD01B.TXT", "acm",
                "it has " + std::to_string(m.acm) + " sex-age classes, more than the " +
                    std::to_string(ACM - 1) + " that the model holds");
}

} // namespace kalp
