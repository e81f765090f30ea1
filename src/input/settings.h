// The gene-flow settings: INPUTVRD02.TXT (one system) or INPUTVRD03.TXT
// (two systems). The traced class, the number of years, how the newborn
// sire rows get their sire and dam paths, any given path straight into P,
// and with two systems the expression weights of A and B.
#pragma once

#include "core/model.h"
#include "textio/stream.h"

namespace kalp {

// Reads and echoes the file; a traced class outside the parental classes
// ends the run once the whole file has been read.
void readsettings(Model& m, Streams& s);

} // namespace kalp
