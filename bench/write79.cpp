// write79 DIR [YEARS]: writes the largest layout the model holds (bench/cases.h)
// into DIR, for timing the editor of kalp serve on it.
#include <cstdio>
#include <cstdlib>

#include "cases.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: write79 DIR [YEARS]\n");
        return 2;
    }
    kalp::bench::write79(argv[1], argc > 2 ? std::atoi(argv[2]) : 20);
    return 0;
}
