#include "core/stop.h"

#include "core/model.h"

namespace kalp {

std::string RunStop::report() const {
    std::string head = "\nError message:\n";
    if (!scenario.empty()) head += "In the sweep scenario " + scenario + ":\n";
    switch (kind) {
    case StopKind::matrix: return head + what + "\n  " + fix + " \n\n\n";
    case StopKind::traced: return "\n\n" + head + what + "\n  " + fix + "\n\n\n";
    default: return head + what + "\n  " + fix + "\n\n";
    }
}

void halt(RunStop stop) { throw stop; }

void fail(const std::string& what, const std::string& fix) {
    halt(RunStop{StopKind::input, "", "", what, fix, ""});
}

void failin(const std::string& file, const std::string& value, const std::string& what,
            const std::string& fix, StopKind kind) {
    halt(RunStop{kind, file, value, what, fix, ""});
}

void nonsense01(int row, int prods, const std::string& file, const std::string& value,
                const std::string& detail) {
    const std::string files = prods == 1 ? "INPUTVRD01A.TXT and INPUTVRD02.TXT"
                                         : "INPUTVRD01A.TXT, INPUTVRD01B.TXT and INPUTVRD03.TXT";
    halt(RunStop{StopKind::matrix, file, value,
                 "Something is going wrong with matrix P.\n  The row # " + std::to_string(row) +
                     " does not sum to 1.",
                 "Check your data in input files " + files + ".", "", detail});
}

void nonsense02(int acm, int prods, int n_sac, const std::string& detail) {
    const int bound = tracedbound(acm, prods);
    const char* file = prods == 1 ? "INPUTVRD02.TXT" : "INPUTVRD03.TXT";
    std::string what = "The number of the sex and age group for which the gene flow will be "
                       "calculated\n  is wrong. ";
    if (n_sac > bound && n_sac <= acm)
        what += "Its value " + std::to_string(n_sac) +
                " is a progeny class, which cannot be traced; it must be\n  between 1 and " +
                std::to_string(bound) + " (kalp --classes lists the traceable groups).";
    else
        what += "Its value must be between 1 and " + std::to_string(bound) + ".";
    halt(RunStop{StopKind::traced, file, "n_sac", what,
                 std::string("Correct the value in ") + file + " and restart the program.", "",
                 detail});
}

void gatestop() {
    halt(RunStop{StopKind::gate, "ERROR.TXT", "errmess",
                 "Program was stopped because there was an error message in one of the",
                 "preceding runs of TORM2.", ""});
}

} // namespace kalp
