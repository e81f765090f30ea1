// CHECKVRD: every model variable under its own name.
#pragma once

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

void writedump(const Model& m, Stream& out);

} // namespace kalp
