#include "report/messages.h"

#include <cstdio>

namespace kalp {

void banner() {
    std::printf("\nRunning KALP Version %s, 2011\n", KALP_VERSION);
    std::printf("Economic weights of sheep traits by the gene flow method\n");
    std::printf("Part of the program suite for the economics of sheep breeding\n");
}

void farewell(int prods) {
    std::printf("\nThank you for using the program KALP.\n");
    std::printf("The results are given in the file resgfps0%d.\n", prods);
    std::printf("The values of all variables are given in the file CHECKVRD.\n");
}

void timeline(std::clock_t zac, std::clock_t kon) {
    // clock() counts CLOCKS_PER_SEC ticks per second of processor time.
    const unsigned long ticks = static_cast<unsigned long>(kon - zac);
    std::printf("The program needed %6.2f seconds.\n",
                static_cast<double>(ticks) / static_cast<double>(CLOCKS_PER_SEC));
}

} // namespace kalp
