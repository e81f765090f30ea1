#include "core/stop.h"

namespace kalp {

void fail(const std::string& what, const std::string& fix) {
    throw RunStop{"\nError message:\n" + what + "\n  " + fix + "\n\n"};
}

void nonsense01(int row, int prods) {
    std::string r = "\nError message:\n"
                    "Something is going wrong with matrix P.\n"
                    "  The row # " +
                    std::to_string(row) + " does not sum to 1.\n";
    if (prods == 1)
        r += "  Check your data in input files INPUTVRD01A.TXT and INPUTVRD02.TXT. \n\n\n";
    else
        r += "  Check your data in input files INPUTVRD01A.TXT, INPUTVRD01B.TXT and "
             "INPUTVRD03.TXT. \n\n\n";
    throw RunStop{r};
}

void nonsense02(int acm, int prods) {
    const int bound = prods == 1 ? acm - 1 : acm - 3;
    std::string r =
        "\n\n\nError message:\n"
        "The number of the sex and age group for which the gene flow will be calculated\n"
        "  is wrong. Its value must be between 1 and " +
        std::to_string(bound) + ".\n";
    if (prods == 1)
        r += "  Correct the value in INPUTVRD02.TXT and restart the program.";
    else
        r += "  Correct the value in INPUTVRD03.TXT and restart the program.";
    r += "\n\n\n";
    throw RunStop{r};
}

void gatestop() {
    throw RunStop{"\nError message:\n"
                  "Program was stopped because there was an error message in one of the\n"
                  "  preceding runs of TORM2.\n\n"};
}

} // namespace kalp
