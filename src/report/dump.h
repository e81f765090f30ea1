// CHECKVRD: every model variable under its own name.
#pragma once

#include <string>

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

void writedump(const Model& m, const Sink& out);
// The dump as text.
std::string dumptext(const Model& m);

} // namespace kalp
