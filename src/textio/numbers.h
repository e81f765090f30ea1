// Numbers as text for people and programs, beyond the fixed formats of the
// results file.
#pragma once

#include <string>

namespace kalp {

// The shortest text that reads back as the same single-precision value:
// 0.05, not 0.0500000007.
std::string shortest(float v);
// The shortest text that reads back as the same double: 0.1, 1.7549833193248685.
std::string shortest(double v);

} // namespace kalp
