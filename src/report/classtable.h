// The class table of `kalp --classes`: which class number is which sex,
// age and system, and which may be the traced group.
#pragma once

#include <string>

#include "core/model.h"

namespace kalp {

std::string classtable(const Model& m);

} // namespace kalp
