// The standardisation data, read when gstd is 2: the genetic standard
// deviations of INPUTVRD04.TXT and the trait-pair choices of INPUTVRD05.TXT.
#pragma once

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// Standard deviations of the traits that carry a weight; the records of the
// other traits are skipped without echo.
void readdeviations(Model& m, Streams& s);
// flag[1..6]: the trait that counts in each pair of alternatives.
void readflags(Model& m, Streams& s);

} // namespace kalp
