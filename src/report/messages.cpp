#include "report/messages.h"

#include <cstdio>

namespace kalp {

std::string banner() {
    // The results follow this version of KALP, whatever the version of the
    // program (kalp --version).
    return "\nRunning KALP Version 1.0.3, 2011\n"
           "Economic weights of sheep traits by the gene flow method\n"
           "Part of the program suite for the economics of sheep breeding\n";
}

std::string farewell(int prods) {
    return "\nThank you for using the program KALP.\n"
           "The results are given in the file resgfps0" +
           std::to_string(prods) +
           ".\n"
           "The values of all variables are given in the file CHECKVRD.\n";
}

std::string timeline(std::clock_t zac, std::clock_t kon) {
    // clock() counts CLOCKS_PER_SEC ticks per second of processor time.
    const unsigned long ticks = static_cast<unsigned long>(kon - zac);
    char line[64];
    std::snprintf(line, sizeof line, "The program needed %6.2f seconds.\n",
                  static_cast<double>(ticks) / static_cast<double>(CLOCKS_PER_SEC));
    return line;
}

} // namespace kalp
