#include "textio/numbers.h"

#include <cstdio>
#include <cstdlib>

namespace kalp {

std::string shortest(float v) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
        if (std::strtof(text, nullptr) == v) break;
    }
    return text;
}

} // namespace kalp
