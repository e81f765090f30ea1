// The bare-number data of the production systems: INPUTVRD01A.TXT (system
// A, always) and INPUTVRD01B.TXT (system B, with two systems). Every value
// is echoed after its template segment.
#pragma once

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

void readsystemA(Model& m, Streams& s);
void readsystemB(Model& m, Streams& s);
// One system: the 81 template segments of system B are read and dropped.
void dropsystemB(Streams& s);

} // namespace kalp
