// write79 DIR [YEARS]: writes the largest layout the model holds (bench/cases.h)
// into DIR, for timing the editor of kalp serve on it.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "cases.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: write79 DIR [YEARS]\n");
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(argv[1], ec)) {
        std::fprintf(stderr, "write79: %s is no folder; make it first (mkdir %s)\n", argv[1], argv[1]);
        return 2;
    }
    const int years = argc > 2 ? std::atoi(argv[2]) : 20;
    if (years < 1) {
        std::fprintf(stderr, "write79: the years must be a whole number of at least 1\n");
        return 2;
    }
    try {
        kalp::bench::write79(argv[1], years);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "write79: %s could not be written: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
