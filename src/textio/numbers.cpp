#include "textio/numbers.h"

#include <charconv>

namespace kalp {

std::string shortest(float v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string shortest(double v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

} // namespace kalp
